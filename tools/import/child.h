// The import of one model runs in a child process under limits of memory,
// processor time and wall time, on a thread with a large stack: whatever the
// model library does with a hostile file (crash, endless loop, gigabytes,
// deep recursion) ends in one line naming the model and status 1, never in
// a crash, a hang or the machine's memory. The child's messages reach the
// user through this process, and only when the child ended as it should.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace kx {

struct ChildLimits {
    uint64_t memoryBytes;  // address space (not in sanitizer builds, which need far more)
    unsigned cpuSeconds;   // processor time from StartLibraryClock
    unsigned wallSeconds;  // wall time from StartLibraryClock
    size_t stackBytes;     // the stack the work runs on
};

// Half the machine's memory (at least 1 GiB, at most 64 GiB), 120 s of
// processor time, 600 s in all, a 512 MiB stack.
ChildLimits DefaultChildLimits();

// Runs work(err) in a child process and returns its status. The child's
// lines go to err as one block when it ends normally; when it dies (a
// signal, a limit) err gets only "<path>: <what happened>" and the status is
// 1. out is flushed before the child starts.
int RunInChild(const std::string& path, const ChildLimits& limits, std::FILE* err,
               const std::function<int(std::FILE* err)>& work);

// Runs work on a thread with a stack of stackBytes (on this thread when no
// such thread can be made) and returns its result.
int RunOnLargeStack(size_t stackBytes, const std::function<int()>& work);

// In the child: the processor and wall time limits count from now (called
// when the input has been read, just before the library starts). Does
// nothing outside a child.
void StartLibraryClock();

}  // namespace kx
