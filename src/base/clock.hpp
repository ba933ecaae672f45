// The monotonic clock, for intervals that a step of the wall clock (NTP, an
// operator's date command) must not stretch or shorten.
#pragma once

#include <cstdint>

namespace zorvik {

// Whole seconds of CLOCK_MONOTONIC (time since an unspecified start, such
// as the boot).
std::uint64_t monotonic_seconds();

}  // namespace zorvik
