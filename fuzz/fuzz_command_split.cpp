// Fuzz target: one friend message through the same steps as the daemon takes
// it (copy into the message buffer, which is the length rule, split_command,
// find_command), checked against a small state-machine reference of the
// splitting rules and against invariants of the token slots.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.hpp"
#include "commands/command_table.hpp"
#include "commands/tokenizer.hpp"
#include "fuzz_support.hpp"

namespace {

using zorvik::max_command_length;
using zorvik::max_message_length;
using zorvik::max_tokens;

struct ReferenceSplit {
    bool ok = true;
    std::vector<std::string> tokens;
};

// The splitting rules read one character at a time. At the start of a token
// a double quote opens a quoted token, which ends with the next double quote
// (both kept), and the following token starts right after it; otherwise the
// token runs to the next space, which is dropped. The text's end at the
// start of a token gives one empty token. A quote still open at the end of
// the text fails the whole line; everything after the fourth token is
// ignored.
ReferenceSplit reference_split(std::string_view text)
{
    enum class State { token_start, plain, quoted };
    ReferenceSplit result;
    State state = State::token_start;
    std::string current;
    for (const char c : text) {
        if (result.tokens.size() == static_cast<std::size_t>(max_tokens)) {
            return result;
        }
        switch (state) {
        case State::token_start:
            if (c == '"') {
                current = "\"";
                state = State::quoted;
            } else if (c == ' ') {
                result.tokens.emplace_back();
            } else {
                current = std::string(1, c);
                state = State::plain;
            }
            break;
        case State::plain:
            if (c == ' ') {
                result.tokens.push_back(current);
                state = State::token_start;
            } else {
                current += c;
            }
            break;
        case State::quoted:
            current += c;
            if (c == '"') {
                result.tokens.push_back(current);
                state = State::token_start;
            }
            break;
        }
    }
    if (result.tokens.size() == static_cast<std::size_t>(max_tokens)) {
        return result;
    }
    switch (state) {
    case State::token_start:
        result.tokens.emplace_back();
        break;
    case State::plain:
        result.tokens.push_back(current);
        break;
    case State::quoted:
        result.ok = false;
        result.tokens.clear();
        break;
    }
    return result;
}

// The command words, written out independently of the command table.
constexpr const char *expected_words[] = {
    "default", "group", "gmessage", "help",  "id",    "info",          "invite", "leave",
    "master",  "name",  "passwd",   "purge", "status", "statusmessage", "title",
};

bool is_quoted_token(std::string_view token)
{
    return !token.empty() && token.front() == '"';
}

void check_tokens(std::string_view message, const zorvik::CommandArgs &args, std::int32_t count,
                  const ReferenceSplit &reference)
{
    const std::string shown = fuzz::escaped(message);
    FUZZ_CHECK(count >= 1 && count <= max_tokens, "token count: expected 1..4, got %d for \"%s\"", count,
               shown.c_str());
    FUZZ_CHECK(static_cast<std::size_t>(count) == reference.tokens.size(),
               "token count: expected %zu, got %d for \"%s\"", reference.tokens.size(), count, shown.c_str());

    std::string rebuilt;
    for (std::int32_t i = 0; i < count; ++i) {
        const char *slot = args.arg[i];
        const void *nul = std::memchr(slot, '\0', sizeof args.arg[i]);
        FUZZ_CHECK(nul != nullptr, "slot %d has no NUL within %zu bytes for \"%s\"", i, sizeof args.arg[i],
                   shown.c_str());
        const std::string_view token(slot, static_cast<std::size_t>(static_cast<const char *>(nul) - slot));
        FUZZ_CHECK(token.size() <= static_cast<std::size_t>(max_command_length),
                   "slot %d: expected at most %d bytes, got %zu", i, max_command_length, token.size());
        FUZZ_CHECK(token == reference.tokens[static_cast<std::size_t>(i)],
                   "slot %d: expected \"%s\", got \"%s\" for \"%s\"", i,
                   fuzz::escaped(reference.tokens[static_cast<std::size_t>(i)]).c_str(),
                   fuzz::escaped(token).c_str(), shown.c_str());
        if (is_quoted_token(token)) {
            FUZZ_CHECK(token.size() >= 2 && token.back() == '"' &&
                           token.substr(1, token.size() - 2).find('"') == std::string_view::npos,
                       "slot %d: a quoted token must end at its only other quote, got \"%s\"", i,
                       fuzz::escaped(token).c_str());
        }
        // A plain token is followed by the one space that ended it; a quoted
        // token by nothing, since the next token starts right after the
        // closing quote.
        rebuilt += token;
        if (i + 1 < count && !is_quoted_token(token)) {
            rebuilt += ' ';
        }
    }

    // With fewer than four tokens the split consumed the whole text; with
    // four it consumed a prefix, and a last plain token then ended at a space
    // or at the end of the text.
    if (count < max_tokens) {
        FUZZ_CHECK(rebuilt == message, "tokens rebuild \"%s\", expected the whole text \"%s\"",
                   fuzz::escaped(rebuilt).c_str(), shown.c_str());
    } else {
        FUZZ_CHECK(message.substr(0, rebuilt.size()) == rebuilt, "tokens rebuild \"%s\", not a prefix of \"%s\"",
                   fuzz::escaped(rebuilt).c_str(), shown.c_str());
        const std::string_view last(args.arg[max_tokens - 1]);
        if (!is_quoted_token(last) && rebuilt.size() < message.size()) {
            FUZZ_CHECK(message[rebuilt.size()] == ' ', "fourth plain token \"%s\" not ended by a space in \"%s\"",
                       fuzz::escaped(last).c_str(), shown.c_str());
        }
    }
}

void check_dispatch(const char *word)
{
    const char *expected = nullptr;
    for (const char *candidate : expected_words) {
        if (std::strcmp(candidate, word) == 0) {
            expected = candidate;
            break;
        }
    }
    const zorvik::CommandEntry *row = zorvik::find_command(word);
    const std::string shown = fuzz::escaped(word);
    if (expected == nullptr) {
        FUZZ_CHECK(row == nullptr, "find_command(\"%s\"): expected no row, got \"%s\"", shown.c_str(),
                   row->word == nullptr ? "(end row)" : row->word);
        return;
    }
    FUZZ_CHECK(row != nullptr, "find_command(\"%s\"): expected its row, got none", shown.c_str());
    FUZZ_CHECK(row->word != nullptr && std::strcmp(row->word, word) == 0 && row->handler != nullptr,
               "find_command(\"%s\"): expected the row of that word with a handler", shown.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The friend message handler copies at most 1371 bytes, NUL bytes
    // included, into a message buffer and ignores an empty message.
    char text[max_message_length];
    const std::uint16_t copied =
        zorvik::copy_message_text(text, sizeof text, data, zorvik::clamp_length_u16(size));
    const std::size_t expected_copy = std::min<std::size_t>(size, max_message_length - 1);
    FUZZ_CHECK(copied == expected_copy && text[copied] == '\0' && (copied == 0 || std::memcmp(text, data, copied) == 0),
               "copy_message_text of %zu bytes: expected %zu bytes copied and terminated, got %u", size,
               expected_copy, static_cast<unsigned>(copied));
    if (copied == 0) {
        return 0;
    }

    // run_command splits the message buffer up to its first NUL.
    const std::string_view message(text, strnlen(text, copied));
    const fuzz::ExactText working(message);
    zorvik::CommandArgs args;
    std::memset(&args, 0xA5, sizeof args);  // no NUL anywhere before the split
    std::int32_t count = -7;
    const std::int32_t split = zorvik::split_command(working.get(), &args, &count);
    FUZZ_CHECK(std::string_view(working.get()) == message, "split_command changed its text");

    const ReferenceSplit reference = reference_split(message);
    FUZZ_CHECK(split == 0 || split == -1, "split_command: expected 0 or -1, got %d", split);
    FUZZ_CHECK((split == 0) == reference.ok, "split_command of \"%s\": expected %d, got %d",
               fuzz::escaped(message).c_str(), reference.ok ? 0 : -1, split);
    if (split != 0) {
        return 0;
    }
    // The tail points into the text, at its NUL or at what the fourth token
    // left.
    FUZZ_CHECK(args.tail >= working.get() && args.tail <= working.get() + message.size(),
               "split_command: tail outside the text");
    FUZZ_CHECK(args.tail[0] == '\0' || count == 4, "split_command: a tail after fewer than four tokens");
    check_tokens(message, args, count, reference);
    check_dispatch(args.arg[0]);
    return 0;
}
