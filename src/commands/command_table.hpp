// The command table and run_command, which turns one friend message into one
// call of a command handler.
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "commands/tokenizer.hpp"

namespace zorvik {

using CommandHandler = void (*)(Tox *tox, std::uint32_t friend_number, std::int32_t num_args,
                                const CommandArgs &args);

struct CommandEntry {
    const char *word;  // null in the row that ends the table
    CommandHandler handler;
};

// Fifteen rows in search order, then an empty row.
extern const CommandEntry command_table[];

// The row whose word equals `word` exactly (case-sensitive), or null.
const CommandEntry *find_command(const char *word);

// Splits `text` (NUL-terminated, `length` bytes as received) and calls the
// matching handler. Returns 0 when a handler ran, -1 when the text was
// refused: longer than 1371 bytes, an unmatched quote, or no such command.
std::int32_t run_command(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t length);

}  // namespace zorvik
