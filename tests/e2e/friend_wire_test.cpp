// Friend requests and friend messages over the wire: the bot accepts the
// peer, answers normal messages through the command table, ignores action
// messages, and reads a message up to its first NUL byte and its 1371st byte.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bot_suite.hpp"

namespace zorvik::e2e {
namespace {

using namespace std::string_literals;


class FriendMessages : public BotSuite {};

TEST_F(FriendMessages, CommandWordsMatchOnlyExactlyAndUnquoted)
{
    for (const std::string text : {"Help", "HELP", "\"help\"", " help", "helpme", "frobnicate", "hel",
#if !ZORVIK_CHANNELS
                                   "channel public \"x\"",  // a command only in builds with channels
#endif
         }) {
        EXPECT_EQ(replies_to(text), std::vector<std::string>{invalid_command}) << "message \"" << text << "\"";
    }
}

TEST_F(FriendMessages, ActionMessagesGetNoReply)
{
    const std::size_t out = stdout_mark();
    const std::size_t err = stderr_mark();
    for (const std::string text : {"help", "group text", "nonsense"}) {
        EXPECT_TRUE(replies_to(text, TOX_MESSAGE_TYPE_ACTION).empty()) << "action \"" << text << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "an action message should not be logged\n" << bot().describe_output();
    // The bot reports its own network connection whenever it changes; that
    // is the only stderr line allowed here.
    const std::vector<std::string> errors = bot().stderr_lines();
    for (std::size_t i = err; i < errors.size(); ++i) {
        EXPECT_EQ(errors[i].rfind("Connection to Tox network ", 0), 0u)
            << "an action message should not be logged, got \"" << errors[i] << "\"";
    }
}

TEST_F(FriendMessages, MessageIsReadUpToItsFirstNulByte)
{
    EXPECT_EQ(replies_to("help\0garbage"s), public_help);
    EXPECT_EQ(replies_to("help\0"s), public_help);
    // Nothing before the NUL: an empty command word.
    EXPECT_EQ(replies_to("\0help"s), std::vector<std::string>{invalid_command});
    EXPECT_EQ(replies_to("Help\0help"s), std::vector<std::string>{invalid_command});
}

// The bot reads at most 1371 bytes of a message. Both texts below are built
// so that their last byte decides the outcome.
TEST_F(FriendMessages, LongestMessageIsReadWithoutItsLastByte)
{
    // «help x y "aaa…"»: four tokens, the last one quoted.
    const auto quoted_last = [](std::size_t total) {
        const std::string head = "help x y \"";
        return head + std::string(total - head.size() - 1, 'a') + "\"";
    };
    const std::string whole = quoted_last(1371);
    ASSERT_EQ(whole.size(), 1371u);
    EXPECT_EQ(replies_to(whole), public_help) << "a 1371-byte message should be read whole";

    const std::string cut = quoted_last(1372);
    ASSERT_EQ(cut.size(), 1372u);
    EXPECT_EQ(replies_to(cut), std::vector<std::string>{invalid_command})
        << "a 1372-byte message loses its closing quote, so its quote is unmatched";

    // «help x "aaa…""»: read whole, the last quote would open an unmatched
    // token; without it the message is a valid help with an empty token.
    const std::string head = "help x \"";
    const std::string extra_quote = head + std::string(1372 - head.size() - 2, 'a') + "\"\"";
    ASSERT_EQ(extra_quote.size(), 1372u);
    EXPECT_EQ(replies_to(extra_quote), public_help) << "the 1372nd byte (an opening quote) should be dropped";
}

TEST_F(FriendMessages, PeerSeesTheDefaultProfile)
{
    const bool seen = peer().wait_for_bot_profile(
        [](const FriendProfile &profile) {
            return profile.name == "Zorvik" &&
                   profile.status_message == "Send me the the command 'help' for more info";
        },
        10s);
    const FriendProfile profile = peer().bot_profile();
    EXPECT_TRUE(seen) << "expected the name \"Zorvik\" and the default status message, got \"" << profile.name
                      << "\" and \"" << profile.status_message << "\"";
    EXPECT_EQ(profile.status, TOX_USER_STATUS_NONE);
}

class FriendRequests : public BotSuite {};

TEST_F(FriendRequests, AcceptedFriendIsSavedAndCountedAfterARestart)
{
    // Earlier tests may have brought friends of their own: count them all.
    const std::vector<std::string> info = replies_to("info");
    ASSERT_GE(info.size(), 2u);
    int friends = -1;
    ASSERT_EQ(std::sscanf(info[1].c_str(), "Friends: %d", &friends), 1) << info[1];
    ASSERT_TRUE(restart_bot());
    const std::vector<std::string> banner = bot().stdout_lines();
    ASSERT_GE(banner.size(), 5u) << bot().describe_output();
    EXPECT_EQ(banner[3], "Contacts: " + std::to_string(friends))
        << "the peer's friend request should have been accepted and saved";
    EXPECT_EQ(replies_to("help"), public_help) << "the restarted bot should answer its friend";
}

}  // namespace
}  // namespace zorvik::e2e
