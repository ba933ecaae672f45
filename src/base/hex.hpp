// Public keys written as hexadecimal text (bootstrap node keys, master list
// lines).
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// Decodes the first 64 characters of `text` (NUL-terminated) as a 32-byte
// public key, two digits of either case per byte. True when all 64 are
// hexadecimal digits; what follows them is not looked at. On false `key`
// holds no meaning. Reads no character past the first that is not a digit
// (the NUL of a shorter text among them).
bool parse_public_key(const char *text, std::uint8_t (&key)[TOX_PUBLIC_KEY_SIZE]);

}  // namespace zorvik
