#include "commands/tokenizer.hpp"

#include <cstring>

namespace zorvik {

namespace {

// Copies text[begin, end) into one slot; a token never exceeds the command
// text, which is at most 1371 bytes, and the copy is bounded by the slot.
void store_token(char (&slot)[max_message_length], const char *text, std::int32_t begin, std::int32_t end)
{
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (length > sizeof slot - 1) {
        length = sizeof slot - 1;
    }
    std::memcpy(slot, text + begin, length);
    slot[length] = '\0';
}

}  // namespace

std::int32_t scan_to_char(std::int32_t start, const char *text, char c)
{
    std::int32_t i = start;
    while (text[i] != c && text[i] != '\0') {
        ++i;
    }
    return i;
}

std::int32_t split_command(const char *text, CommandArgs *args, std::int32_t *token_count)
{
    std::int32_t rest = 0;
    std::int32_t count = 0;
    for (;;) {
        if (text[rest] == '"') {
            const std::int32_t closing = scan_to_char(rest + 1, text, '"');
            if (text[closing] == '\0') {
                return -1;  // unmatched quote
            }
            store_token(args->arg[count], text, rest, closing + 1);
            ++count;
            rest = closing + 1;  // no blank is skipped after a closing quote
            if (count == max_tokens) {
                args->tail = text + rest;
                break;
            }
        } else {
            const std::int32_t end = scan_to_char(rest, text, ' ');
            store_token(args->arg[count], text, rest, end);
            ++count;
            if (text[end] == '\0' || count == max_tokens) {
                args->tail = text + end;
                break;
            }
            rest = end + 1;
        }
    }
    *token_count = count;
    return 0;
}

}  // namespace zorvik
