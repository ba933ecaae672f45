// The command table and run_command, which turns one friend message into one
// call of a command handler.
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "commands/tokenizer.hpp"

namespace zorvik {

using CommandHandler = void (*)(Tox *tox, std::uint32_t friend_number, std::int32_t num_args,
                                const CommandArgs &args);

// Who may run a command.
enum class Access : std::uint8_t {
    anyone,
    master,  // a friend whose key stands in "masterkeys"
};

// One command and its rules, which run_command enforces before the handler
// runs, in this order: a command for masters answers "Invalid command." to
// anybody else, whatever the arguments; fewer than `min_args` arguments
// answer `missing_args_reply`. Each refusal is the one reply and changes
// nothing. Then a first argument that begins with '#' names a channel, and
// `channel_handler` runs instead of `handler` where the row has one (builds
// without channels have none, so such an argument is an invalid number as
// it always was).
struct CommandEntry {
    const char *word;  // null in the row that ends the table
    Access access;
    std::int32_t min_args;
    const char *missing_args_reply;  // null when min_args is 0
    CommandHandler handler;
    CommandHandler channel_handler;  // null: "#n" goes to `handler`
};

// The rows in search order (fifteen, and "channel" in builds with
// channels), then an empty row: the whole boundary between friends and
// masters.
extern const CommandEntry command_table[];

// The row whose word equals `word` exactly (case-sensitive), or null.
const CommandEntry *find_command(const char *word);

// Splits `text` up to its first NUL, applies the row's rules and calls the
// matching handler. `text` is the friend message handler's buffer: at most
// 1371 bytes and a NUL (the one length rule, applied where a message
// arrives). Returns 0 when the command was answered (by its handler or by a
// refusal of its rules), -1 when the text was refused: an unmatched quote,
// or no such command.
std::int32_t run_command(Tox *tox, std::uint32_t friend_number, const char *text);

}  // namespace zorvik
