// GoogleTest fixture for tests that talk to the real bot over Tox. One bot
// process (in a fresh temporary folder) and one test peer serve every test
// of the test binary: the first suite that uses the fixture starts them and
// waits for the friend connection (LAN discovery, about 10 s); at the end of
// the binary the bot is stopped with SIGINT and must exit with status 0.
//
// Typical use:
//
//     class HelpCommand : public zorvik::e2e::BotSuite {};
//     TEST_F(HelpCommand, ListsFivePublicLines) {
//         make_peer_master(false);
//         EXPECT_EQ(replies_to("help").size(), 5u);
//     }
//
// Every test starts from the same bot state: no conferences and no
// channels, default room 0, the default purge limit of 365 days, and the
// peer a plain friend (the master list holds nothing else). The bot's profile and the peer's name
// carry over from test to test.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bot_process.hpp"
#include "test_peer.hpp"

namespace zorvik::e2e {

inline constexpr std::string_view default_peer_name = "E2E Peer";

// The lines "help" answers every friend with: five, and one for channels
// where the bot has them.
inline const std::vector<std::string> public_help = {
    "info : Print my current status and list active group chats",
    "id : Print my Tox ID",
    "invite : Request invite to default group chat",
    "invite <n> <p> : Request invite to group chat n (with password p if protected)",
    "group <type> <pass> : Creates a new groupchat with type: text | audio (optional password)",
#if ZORVIK_CHANNELS
    "invite #<n> <p> : Request invite to channel n (with password p if protected)",
#endif
};

// The peer's name in the bot's log lines, no reply at all, and the reply to
// a message that is no command.
inline const std::string peer_name(default_peer_name);
inline const std::vector<std::string> no_reply;
inline const std::string invalid_command = "Invalid command. Type help for a list of commands";

// A list of one reply.
inline std::vector<std::string> one(const std::string &reply)
{
    return {reply};
}

// The "Group N | ..." lines of an "info" answer.
std::vector<std::string> conference_lines(const std::vector<std::string> &info);

class BotSuite : public ::testing::Test {
protected:
    // Starts the shared bot and peer on first use.
    static void SetUpTestSuite();
    // Fails the test when the shared setup failed or the bot is gone; drops
    // the peer's records of earlier tests and puts the bot in its known
    // state (start_from_known_state).
    void SetUp() override;
    // Has the bot leave every conference and channel, sets the default room
    // to 0 and the purge limit to 365 days, and leaves the peer a plain
    // friend.
    static void start_from_known_state();

    static BotProcess &bot();
    static TestPeer &peer();
    // The bot's 76-digit Tox ID from its banner.
    static const std::string &bot_id();
    // Path of a file in the bot's working folder.
    static std::string bot_file(std::string_view name);
    // Replaces a file in the bot's working folder with `content`.
    static void write_bot_file(std::string_view name, std::string_view content);

    // Rewrites the bot's "masterkeys": the peer's Tox ID on one line, or an
    // empty file. The bot reads the file at every check, so this counts from
    // the next command on.
    static void make_peer_master(bool master);

    // Sends one message and returns exactly the replies it caused: after the
    // message an "id" probe is sent, and every reply before the bot's ID is
    // an answer to the message (the bot answers in order). Adds a failure
    // when the probe is not answered in time.
    static std::vector<std::string> replies_to(std::string_view bytes,
                                               Tox_Message_Type type = TOX_MESSAGE_TYPE_NORMAL);

    // Sends one message and asserts that its only reply is `expected`.
    static void expect_reply(std::string_view bytes, std::string_view expected);

    // "Group chat N created..." reply to `command` ("group text", ...): N,
    // or -1 (with a failure added) when the reply is anything else.
    static int create_group(std::string_view command);

    // How restart_bot ends the running bot: SIGINT, after which it must exit
    // with status 0 (leaving its conferences and saving on the way out), or
    // SIGKILL, after which only what it saved while running is left.
    enum class BotEnd { interrupt, kill };

    // Ends the bot as `end` says and starts it again in the same folder; its
    // banner is then in bot().stdout_lines(). The peer is replaced by a new
    // one (new identity, default name) that befriends the bot in about 10 s:
    // in this network a peer that keeps its identity can take minutes to find
    // a restarted bot. So afterwards the bot has one more, offline, friend;
    // peer() is the new peer (references to the old one dangle), and it is
    // not a master until make_peer_master(true). False (with a failure
    // added) when any step fails.
    static bool restart_bot(BotEnd end = BotEnd::interrupt);

    // Replaces the peer by a new one (new identity, default name, not a
    // master) that befriends the running bot in about 10 s; the old peer
    // stays the bot's friend, offline. False (with a failure added) when the
    // new peer does not connect.
    static bool replace_peer();

    // Line index marks of the bot's streams, for waits on newer lines only.
    static std::size_t stdout_mark() { return bot().stdout_mark(); }
    static std::size_t stderr_mark() { return bot().stderr_mark(); }

    // Waits (5 s) for a line at or after `from_line` on that stream that
    // equals `line` exactly; adds a failure showing the output otherwise.
    static void expect_stdout_line(std::size_t from_line, std::string_view line);
    static void expect_stderr_line(std::size_t from_line, std::string_view line);
};

}  // namespace zorvik::e2e
