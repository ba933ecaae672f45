// Splitting one friend message into a command word and up to three
// arguments. Only the space character separates tokens; a token that begins
// with a double quote runs to the next double quote and keeps both quotes.
#pragma once

#include <cstdint>

#include "bot_state.hpp"

namespace zorvik {

constexpr std::int32_t max_tokens = 4;
constexpr std::int32_t max_command_length = static_cast<std::int32_t>(max_message_length) - 1;  // 1371

// The tokens of one command: arg[0] is the command word, arg[1..3] the
// arguments. Slot i holds defined text only when i <= num_args.
struct CommandArgs {
    char arg[max_tokens][max_message_length];
    // Where splitting stopped in the text: its NUL, or the blank after the
    // fourth token and what follows. A blank right after a quoted token
    // ends an empty token, so `a "b c" d` keeps "d" only here.
    const char *tail;
};

// Index of the first character at or after `start` that is `c` or the
// terminating NUL.
std::int32_t scan_to_char(std::int32_t start, const char *text, char c);

// Splits `text` into `args`; *token_count receives the number of tokens
// (1 to 4). Text after the fourth token is left in args->tail, which points
// into `text`. Returns 0, or -1 for a
// quote opened in one of the first four tokens and never closed.
std::int32_t split_command(const char *text, CommandArgs *args, std::int32_t *token_count);

}  // namespace zorvik
