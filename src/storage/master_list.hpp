// The master list: the plain text file "masterkeys", one Tox ID per line.
// It is read afresh at every question, so edits count without a restart.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

inline constexpr const char *master_list_path = "masterkeys";

// True when the friend's public key stands in the master list. A missing
// file is created empty (with a warning) and means no masters; an unreadable
// file warns and answers false. Every failure answers false.
bool is_master(const Tox *tox, std::uint32_t friend_number);

// True when one line (a piece of at most 255 characters, newline included)
// names `public_key`: it is longer than 32 characters and its first 64
// characters are hexadecimal digits that decode to the key.
bool master_line_matches(const char *line, const std::uint8_t *public_key);

}  // namespace zorvik
