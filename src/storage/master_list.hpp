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

// Outcome of append_master_line.
enum class MasterAppend {
    added,        // the whole line is in the file
    not_opened,   // the file could not be opened (or is not a regular file)
    not_written,  // a write, flush or close failed; the file is as it was
};

// Appends `id` and a line feed to the master list, creating the file when
// it is missing. When the file does not end in a line feed, one is written
// first, so the new ID always starts a line of its own. A failed write
// takes back whatever part of the line reached the file. `id` is at most
// 76 bytes.
MasterAppend append_master_line(const char *id);

// True when one line (a piece of at most 255 characters, newline included)
// names `public_key`: it is longer than 32 characters and its first 64
// characters are hexadecimal digits that decode to the key.
bool master_line_matches(const char *line, const std::uint8_t *public_key);

}  // namespace zorvik
