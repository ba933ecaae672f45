// Decoding of hexadecimal text (bootstrap node keys, master list lines).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvik {

// Decodes `text` two characters per byte: byte i comes from characters 2i and
// 2i+1 (or from the single last character of an odd-length text). Decoding
// stops at the first position whose characters are not all hexadecimal
// digits (either case); *decoded receives the number of leading bytes
// decoded. Returns a zeroed buffer of strlen(text) bytes (at least one) that
// the caller frees with std::free; out of memory ends the process (status 1).
std::uint8_t *hex_to_bytes(const char *text, std::size_t *decoded);

}  // namespace zorvik
