// Hostile and malformed friend messages: whatever a friend sends, the bot
// answers as its command rules say, keeps running and changes nothing on a
// refusal. Every replies_to() call ends with an "id" probe, so each case also
// checks that the bot still answers afterwards.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "bot_suite.hpp"

namespace zorvik::e2e {
namespace {

using namespace std::string_literals;

const std::vector<std::string> invalid = {invalid_command};
const std::size_t public_help_lines = public_help.size();

// Every byte value from `first` to 0xFF, in order, leaving out `skipped`.
std::string byte_range(unsigned first, std::string_view skipped = "")
{
    std::string bytes;
    for (unsigned value = first; value <= 0xFF; ++value) {
        const char c = static_cast<char>(value);
        if (skipped.find(c) == std::string_view::npos) {
            bytes.push_back(c);
        }
    }
    return bytes;
}

std::string tokens(const std::string &first, std::size_t count)
{
    std::string text = first;
    for (std::size_t i = 1; i < count; ++i) {
        text += " t" + std::to_string(i);
    }
    return text;
}

class BadInput : public BotSuite {
protected:
    std::vector<std::string> conferences() { return conference_lines(replies_to("info")); }

    void TearDown() override
    {
        EXPECT_TRUE(bot().running()) << "the bot should survive every message\n" << bot().describe_output();
    }
};

TEST_F(BadInput, BlanksAloneAreAnInvalidCommand)
{
    for (const std::string &text : {" "s, "  "s, std::string(100, ' '), std::string(1371, ' '), "\t"s, "\n"s, "\r\n"s}) {
        EXPECT_EQ(replies_to(text), invalid) << "a message of " << text.size() << " blanks";
    }
}

TEST_F(BadInput, QuotesAloneAreAnInvalidCommand)
{
    for (std::size_t count : {1u, 2u, 3u, 4u, 7u, 8u, 9u, 100u}) {
        const std::string text(count, '"');
        EXPECT_EQ(replies_to(text), invalid) << "a message of " << count << " double quotes";
    }
    for (const std::string text : {"\" \"", "\"help\" \"", "help \"", "invite 0 \"unclosed", "help a \"b"}) {
        EXPECT_EQ(replies_to(text), invalid) << "message \"" << text << "\"";
    }
}

TEST_F(BadInput, TokensBeyondTheFourthAreIgnored)
{
    EXPECT_EQ(replies_to(tokens("help", 4)).size(), public_help_lines);
    EXPECT_EQ(replies_to(tokens("help", 40)).size(), public_help_lines);
    EXPECT_EQ(replies_to(tokens("invite", 4)), one("Error: Invalid group number"));
    EXPECT_EQ(replies_to(tokens("invite", 40)), one("Error: Invalid group number"));
}

TEST_F(BadInput, UnmatchedQuoteAfterTheFourthTokenIsIgnored)
{
    EXPECT_EQ(replies_to("help a b c \"unclosed").size(), public_help_lines);
    EXPECT_EQ(replies_to("help a b \"unclosed"), invalid);
    EXPECT_EQ(replies_to("invite 00 a b c d e f g h"), one("Error: Invalid group number"));
}

TEST_F(BadInput, EveryByteValueIsHandled)
{
    const std::vector<std::string> before = conferences();

    // In 0x01..0xFF the blank is followed by «!"#…»: one plain token in
    // which the double quote is an ordinary character.
    EXPECT_EQ(replies_to(byte_range(1)), invalid);
    EXPECT_EQ(replies_to("help " + byte_range(1)).size(), public_help_lines);
    EXPECT_EQ(replies_to("help " + byte_range(0x22)), invalid) << "here the quote opens a token and stays unmatched";
    // Without quote and blank: one long token.
    EXPECT_EQ(replies_to("invite " + byte_range(1, "\" ")), one("Error: Invalid group number"));
    EXPECT_EQ(replies_to("group text " + byte_range(1, "\" ")),
              one("Group chat instance failed to initialize: Password too long"));
    EXPECT_EQ(replies_to(byte_range(0x80)), invalid) << "bytes that are not UTF-8";
    EXPECT_EQ(replies_to("invite \xff\xfe"), one("Error: Invalid group number"));
    // Each byte alone, sent in bursts of 85 (a friend may leave only so many
    // replies unread): none is a command word.
    for (unsigned first = 1; first <= 0xFF; first += 85) {
        for (unsigned value = first; value < first + 85; ++value) {
            ASSERT_TRUE(peer().send(std::string(1, static_cast<char>(value))));
        }
        EXPECT_EQ(peer().collect_replies(85, 30s), std::vector<std::string>(85, invalid_command))
            << "bytes " << first << " to " << first + 84;
    }

    EXPECT_EQ(conferences(), before) << "no refused message may leave a conference behind";
}

TEST_F(BadInput, FormatDirectivesInArgumentsAreTakenLiterally)
{
    const std::string directives = "%s%n%x%p%n%s%99999999d";
    EXPECT_EQ(replies_to("invite " + directives), one("Error: Invalid group number"));
    EXPECT_EQ(replies_to(directives), invalid);
    EXPECT_EQ(replies_to("%s %n %x %s"), invalid);
    EXPECT_EQ(replies_to("help " + directives).size(), public_help_lines);

    const std::vector<std::string> created = replies_to("group text " + directives);
    ASSERT_EQ(created.size(), 1u);
    int n = -1;
    ASSERT_EQ(std::sscanf(created[0].c_str(), "Group chat %d", &n), 1) << created[0];
    EXPECT_EQ(created[0], "Group chat " + std::to_string(n) + " created (Password protected)");

    EXPECT_EQ(replies_to("invite " + std::to_string(n) + " %s%n"), one("Invalid password."));
    EXPECT_EQ(replies_to("invite " + std::to_string(n) + " " + directives), std::vector<std::string>{});
    EXPECT_TRUE(peer().wait_for_invite()) << "the password with directives should match itself, byte for byte";
}

// A friend's name goes into log lines on both streams: format directives in
// it are printed as they are, and its control bytes as '?', so that a line
// feed cannot forge a log line of its own and an escape sequence never
// reaches a terminal.
TEST_F(BadInput, ThePeersNameIsLoggedLiterallyButForControlBytesWhichBecomeQuestionMarks)
{
    make_peer_master(true);  // four rooms: more than a plain friend may hold
    const std::vector<std::string> created = replies_to("group text pw");
    ASSERT_EQ(created.size(), 1u);
    int n = -1;
    ASSERT_EQ(std::sscanf(created[0].c_str(), "Group chat %d", &n), 1) << created[0];
    const std::string number = std::to_string(n);

    // The longest name the library allows, all directives.
    std::string long_name;
    while (long_name.size() + 2 <= TOX_MAX_NAME_LENGTH) {
        long_name += "%n";
    }
    const std::string forged = "Forged line";
    struct Case {
        std::string name;
        std::string logged;
    };
    const std::vector<Case> cases = {
        {"%s%n%x%p%n", "%s%n%x%p%n"},
        {long_name, long_name},
        {"x\n" + forged + "\x1b[31m\x7f", "x?" + forged + "?[31m?"},
    };
    for (const Case &c : cases) {
        ASSERT_TRUE(peer().set_name(c.name));
        // The bot learns the name at its next iterations; the refusal log
        // below (on stderr) names the peer, so retry until it shows the new
        // name.
        const std::string expected = "Failed to invite " + c.logged + " to group " + number + " (invalid password)";
        bool logged = false;
        for (int attempt = 0; attempt < 20 && !logged; ++attempt) {
            const std::size_t err = stderr_mark();
            // No password at all: refused and logged like a wrong one, but
            // not a guess, so the retries never lock the peer out.
            EXPECT_EQ(replies_to("invite " + number), one("Invalid password."));
            peer().iterate_until(
                [&] {
                    const std::vector<std::string> lines = bot().stderr_lines();
                    return std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(err, lines.size())),
                                     lines.end(), expected) != lines.end();
                },
                500ms);
            const std::vector<std::string> lines = bot().stderr_lines();
            logged = std::find(lines.begin() + static_cast<std::ptrdiff_t>(std::min(err, lines.size())),
                               lines.end(), expected) != lines.end();
        }
        EXPECT_TRUE(logged) << "expected the line \"" << expected << "\" on stderr\n" << bot().describe_output();

        const std::size_t out = stdout_mark();
        const int m = create_group("group text");
        ASSERT_GE(m, 0);
        expect_stdout_line(out, "Group chat " + std::to_string(m) + " created by " + c.logged);
    }
    const std::vector<std::pair<const char *, std::string>> streams = {{"stdout", bot().stdout_text()},
                                                                       {"stderr", bot().stderr_text()}};
    for (const auto &[stream, text] : streams) {
        EXPECT_EQ(text.find_first_of("\x1b\x7f"), std::string::npos)
            << "no escape or DEL byte should reach the bot's " << stream;
        const std::vector<std::string> lines = split_lines(text);
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string &line) { return line.rfind(forged, 0) == 0; }),
                  0)
            << "no line feed in a name should start a line \"" << forged << "...\" on the bot's " << stream;
    }
    ASSERT_TRUE(peer().set_name(default_peer_name));
    peer().iterate_for(500ms);
}

TEST_F(BadInput, RapidBurstOfMessagesIsAnsweredInOrder)
{
    // Twenty messages without waiting in between; each gets its one reply.
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(peer().send("invite x" + std::to_string(i)));
    }
    const std::vector<std::string> replies = peer().collect_replies(20, 20s);
    EXPECT_EQ(replies, std::vector<std::string>(20, "Error: Invalid group number"));
    EXPECT_EQ(replies_to("id"), std::vector<std::string>{});
}

}  // namespace
}  // namespace zorvik::e2e
