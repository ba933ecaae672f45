#include "base/memory.hpp"

#include <cstdlib>

namespace zorvik {

void *alloc_or_exit(std::size_t size)
{
    void *block = std::calloc(size == 0 ? 1 : size, 1);
    if (block == nullptr) {
        std::_Exit(1);
    }
    return block;
}

void *realloc_or_exit(void *block, std::size_t size)
{
    void *moved = std::realloc(block, size == 0 ? 1 : size);
    if (moved == nullptr) {
        std::_Exit(1);
    }
    return moved;
}

}  // namespace zorvik
