// Hexadecimal text for tests and benchmarks, written apart from the
// daemon's own decoder on purpose: a check must not rely on the code it
// checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvik::test {

// `count` bytes as upper-case hexadecimal digits, two per byte.
std::string to_hex(const std::uint8_t *bytes, std::size_t count);

// Decodes exactly `count` bytes from the first 2 * count characters of
// `text` (digits of either case); false when they are not all digits.
bool from_hex(const std::string &text, std::uint8_t *bytes, std::size_t count);

}  // namespace zorvik::test
