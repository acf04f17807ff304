// Checks made before the library reads a model: where a format's header
// says how many items follow, the count is compared with what the file's
// size can hold, so that a short file claiming billions of vertices is
// refused at once rather than having the library reserve room for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kx {

// How many bytes of a file's start the check wants.
constexpr size_t kClaimsHeadBytes = 1 << 16;

// head: the file's first bytes (up to kClaimsHeadBytes), size: its whole
// size, ext: the format's extension in lower case (off, ply, stl; others
// pass). Returns "" or what is wrong ("claims 353535235358 vertices and 6
// faces, more than its 309 bytes can hold").
std::string CheckClaims(const std::string& ext, const char* head, size_t headSize, uint64_t size);

}  // namespace kx
