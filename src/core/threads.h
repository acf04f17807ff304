// How many threads an engine runs when the scene leaves it to the machine.
//
// Both drawing engines ask here: with OptionReal "Threads" 0 (the default)
// they run one thread per CPU this process may use. That is the process's
// CPU affinity set, which taskset, cgroup cpusets and batch systems such as
// Slurm narrow to the CPUs a job was given, not every core of the machine.
#pragma once

namespace kx {

// The number of CPUs in this process's affinity set (sched_getaffinity),
// read anew at every call; when the set cannot be read, the number of
// cores the system reports; 1 when that is unknown too.
int UsableCpus();

// The threads a request stands for: a request above 0 as it is, 0 or less
// one per usable CPU; never more than most, never less than 1.
int ThreadsFor(int requested, int most);

}  // namespace kx
