// Friend-supplied text made safe for the log: standard output and error are
// read line by line (journal, terminal), so a control byte in a name or a
// title must not start a line of its own or reach a terminal raw.
#pragma once

#include <cstddef>

#include <tox/tox.h>

namespace zorvik {

// A buffer for the log form of one friend-supplied text of any length a
// message can carry.
using LogText = char[TOX_MAX_MESSAGE_LENGTH];

// Copies the NUL-terminated `text` into `out` (at most out_size - 1 bytes,
// then a NUL), with every byte below 0x20 and 0x7F replaced by '?'. Returns
// `out`, so a call can stand as a printf argument. `out_size` must be >= 1.
const char *log_text(char *out, std::size_t out_size, const char *text);

// The same, in place.
void make_log_safe(char *text);

}  // namespace zorvik
