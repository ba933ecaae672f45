// Writing whole blocks to a file descriptor.
#pragma once

#include <cstddef>

namespace zorvik {

// Writes all `size` bytes of `data` to `fd`, retrying short writes and
// interruptions. True when every byte was written.
bool write_all(int fd, const void *data, std::size_t size);

}  // namespace zorvik
