// Splitting a command text into the command word and up to three arguments:
// every worked example of the tokenizer, the extra empty token after a
// closing quote, and unmatched quotes.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/command_table.hpp"
#include "commands/tokenizer.hpp"

namespace {

using namespace zorvik;

struct Split {
    std::int32_t result = 0;
    std::int32_t tokens = 0;
    std::vector<std::string> slots;  // the filled slots only
    std::string tail;                // the text after the fourth token
};

Split split(const std::string &text)
{
    Split out;
    auto args = std::make_unique<CommandArgs>();
    out.result = split_command(text.c_str(), args.get(), &out.tokens);
    if (out.result == 0) {
        for (std::int32_t i = 0; i < out.tokens; ++i) {
            out.slots.emplace_back(args->arg[i]);
        }
        out.tail = args->tail;
    }
    return out;
}

using Slots = std::vector<std::string>;

struct Example {
    const char *text;
    bool dispatches;  // a row of the command table matches slot 0
    Slots slots;      // num_args is slots.size() - 1
    const char *tail = "";  // what is left after the fourth token
};

// Texts that split: the worked examples and the rules that follow from
// them, with whether a handler runs and the tokens character for character.
const Example examples[] = {
    {"help", true, {"help"}},
    {"leave 2", true, {"leave", "2"}},
    {"leave  2", true, {"leave", "", "2"}},
    {"leave 2 ", true, {"leave", "2", ""}},
    {"title 1 \"My room\"", true, {"title", "1", "\"My room\"", ""}},
    {"statusmessage \"Hello\"", true, {"statusmessage", "\"Hello\"", ""}},
    {"gmessage 1 \"hi\" extra", true, {"gmessage", "1", "\"hi\"", ""}, " extra"},
    {"title 1 a b c", true, {"title", "1", "a", "b"}, " c"},
    {"Help", false, {"Help"}},
    {" help", false, {"", "help"}},
    {"\"help\"", false, {"\"help\"", ""}},
    // A quote after the fourth token has no effect.
    {"title 1 a b \"never closed", true, {"title", "1", "a", "b"}, " \"never closed"},
    // A closing quote at the end adds an empty token, unless four are there.
    {"a \"b\"", false, {"a", "\"b\"", ""}},
    {"a b c \"d\"", false, {"a", "b", "c", "\"d\""}},
    {"a b \"c d\"", false, {"a", "b", "\"c d\"", ""}},
    // No blank is skipped after a closing quote.
    {"a \"b\" c", false, {"a", "\"b\"", "", "c"}},
    {"a \"b\"c d", false, {"a", "\"b\"", "c", "d"}},
    {"\"a\"\"b\"", false, {"\"a\"", "\"b\"", ""}},
    // What a blank after a quoted third token leaves: the rest of the text.
    {"a b \"c d\" e f", false, {"a", "b", "\"c d\"", ""}, " e f"},
    // A quote inside a plain token is an ordinary character.
    {"ab\"c", false, {"ab\"c"}},
    {"name ab\"c d", true, {"name", "ab\"c", "d"}},
    // Only the space character separates.
    {"leave\t2", false, {"leave\t2"}},
    {"leave\n2", false, {"leave\n2"}},
    // Empty texts and blanks alone.
    {"", false, {""}},
    {" ", false, {"", ""}},
    {"    ", false, {"", "", "", ""}, " "},
};

TEST(SplitCommand, WorkedExamplesGiveTheDocumentedTokens)
{
    for (const Example &example : examples) {
        SCOPED_TRACE(std::string("text «") + example.text + "»");
        const Split got = split(example.text);
        ASSERT_EQ(got.result, 0);
        EXPECT_EQ(got.tokens - 1, static_cast<std::int32_t>(example.slots.size()) - 1) << "num_args";
        EXPECT_EQ(got.slots, example.slots);
        EXPECT_EQ(got.tail, example.tail);
        EXPECT_EQ(find_command(got.slots.at(0).c_str()) != nullptr, example.dispatches)
            << "command word «" << got.slots.at(0) << "»";
    }
}

TEST(SplitCommand, UnmatchedQuoteInTheFirstFourTokensRefusesTheLine)
{
    EXPECT_EQ(split("title 1 \"My room").result, -1);
    EXPECT_EQ(split("\"help").result, -1);
    EXPECT_EQ(split("a b c \"d").result, -1) << "the fourth token opens a quote";
    EXPECT_EQ(split("a b c \"").result, -1) << "a lone quote is an unmatched quote";
}

TEST(SplitCommand, LongestCommandFitsInASlot)
{
    const std::string word(max_command_length, 'w');
    const Split got = split(word);
    ASSERT_EQ(got.result, 0);
    EXPECT_EQ(got.slots, (Slots{word}));

    const std::string quoted = "\"" + std::string(max_command_length - 2, 'q') + "\"";
    EXPECT_EQ(split(quoted).slots, (Slots{quoted, ""}));
}

}  // namespace
