// Allocation that ends the process with status 1, silently, when memory runs
// out: the daemon has no sensible way to go on without it.
#pragma once

#include <cstddef>

namespace zorvik {

// Returns a zeroed block of `size` bytes (at least one byte is allocated);
// never returns null. Release with std::free.
void *alloc_or_exit(std::size_t size);

// Resizes `block` to `size` bytes (at least one); never returns null.
void *realloc_or_exit(void *block, std::size_t size);

}  // namespace zorvik
