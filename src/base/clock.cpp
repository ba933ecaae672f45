#include "base/clock.hpp"

#include <ctime>

namespace zorvik {

std::uint64_t monotonic_seconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec);
}

}  // namespace zorvik
