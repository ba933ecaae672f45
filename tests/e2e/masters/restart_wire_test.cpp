// What a restart keeps and what it drops: the profile that a master set and
// the friend list come back from the save file, while conferences, the purge
// limit and the uptime start afresh.
//
// This test runs its own bot instead of the shared one: after a restart the
// old peer can take from ten seconds to minutes to find the bot again, while
// a new peer befriends it in about ten seconds. So the first friend sets
// everything up and goes away before the restart, and a second friend looks
// at the restarted bot.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "bot_process.hpp"
#include "bot_suite.hpp"
#include "test_peer.hpp"

namespace zorvik::e2e {
namespace {

constexpr auto connect_timeout = 90s;

class Restart : public ::testing::Test {
protected:
    void TearDown() override
    {
        bot.set_idle_hook(nullptr);
        if (bot.running()) {
            EXPECT_EQ(bot.stop(), 0) << "the bot should exit with status 0 on SIGINT\n" << bot.describe_output();
        }
    }

    // Starts the bot and waits for its banner's ID.
    void start_bot()
    {
        ASSERT_TRUE(bot.start());
        const std::string id = bot.tox_id(15s);
        ASSERT_FALSE(id.empty()) << "the bot printed no \"ID: \" line\n" << bot.describe_output();
        if (bot_id.empty()) {
            bot_id = id;
        }
        EXPECT_EQ(id, bot_id) << "the bot should keep its ID across a restart";
    }

    // Has `peer` befriend the bot (each iterating the other while the test
    // waits) and waits for the connection.
    void befriend(TestPeer &peer)
    {
        const std::string problem = e2e::befriend(peer, bot, bot_id, connect_timeout);
        ASSERT_EQ(problem, "") << "the peer should befriend the bot";
    }

    // The replies to one message (see e2e::replies_to).
    std::vector<std::string> replies_to(TestPeer &peer, std::string_view text)
    {
        return e2e::replies_to(peer, bot, bot_id, text);
    }

    void make_master(const TestPeer &peer)
    {
        std::ofstream file(folder.file("masterkeys"), std::ios::trunc);
        file << peer.tox_id() << "\n";
    }

    TempDir folder;
    BotProcess bot{folder.path()};
    std::string bot_id;
};

TEST_F(Restart, KeepsProfileAndFriendsButNeitherConferencesNorThePurgeLimitNorTheDefaultRoom)
{
    ASSERT_NO_FATAL_FAILURE(start_bot());
    {
        TestPeer first("E2E Peer");
        ASSERT_NO_FATAL_FAILURE(befriend(first));
        make_master(first);
        const std::vector<std::string> none;
        EXPECT_EQ(replies_to(first, "name \"Zorvik Renamed\""), none);
        EXPECT_EQ(replies_to(first, "statusmessage \"Back soon\""), none);
        EXPECT_EQ(replies_to(first, "purge 30"), std::vector<std::string>{"Purge time set to 30 days"});
        EXPECT_EQ(replies_to(first, "default 1"), std::vector<std::string>{"Default room number set to 1"});
        EXPECT_EQ(replies_to(first, "group text"), std::vector<std::string>{"Group chat 0 created"});
        EXPECT_EQ(replies_to(first, "group audio"), std::vector<std::string>{"Group chat 1 created"});
        const std::vector<std::string> before = replies_to(first, "info");
        ASSERT_EQ(before.size(), 5u) << ::testing::PrintToString(before);
        EXPECT_EQ(before[2], "Inactive friends are purged after 30 days");
        EXPECT_EQ(conference_lines(before).size(), 2u);

        bot.set_idle_hook(nullptr);
        ASSERT_EQ(bot.stop(), 0) << bot.describe_output();
    }  // the first friend goes offline for good

    const std::time_t restarted_at = std::time(nullptr);
    ASSERT_NO_FATAL_FAILURE(start_bot());
    ASSERT_TRUE(bot.wait_for_stdout("Inactive contacts purged after ", 10s))
        << "the banner should end with the purge limit\n" << bot.describe_output();
    const std::vector<std::string> banner = bot.stdout_lines();
    ASSERT_GE(banner.size(), 5u) << bot.describe_output();
    EXPECT_EQ(banner[2], "Name: Zorvik Renamed") << "the name set by a master should be loaded again";
    EXPECT_EQ(banner[3], "Contacts: 1") << "the first friend should be loaded again";
    EXPECT_EQ(banner[4], "Inactive contacts purged after 365 days");

    TestPeer second("Second Peer");
    ASSERT_NO_FATAL_FAILURE(befriend(second));
    const std::vector<std::string> info = replies_to(second, "info");
    const std::time_t answered_at = std::time(nullptr);
    ASSERT_EQ(info.size(), 4u) << "no conference should survive the restart: " << ::testing::PrintToString(info);
    // The uptime can be no longer than the time since the restart began.
    const long most_minutes = static_cast<long>(answered_at - restarted_at) / 60;
    if (most_minutes == 0) {
        EXPECT_EQ(info[0], "Uptime: 0d 0h 0m");
    } else {
        long minutes = -1;
        EXPECT_EQ(std::sscanf(info[0].c_str(), "Uptime: 0d 0h %ldm", &minutes), 1) << info[0];
        EXPECT_LE(minutes, most_minutes) << info[0];
    }
    EXPECT_EQ(info[1], "Friends: 2 (1 online)") << "the first friend, seen a moment ago, should not be purged";
    EXPECT_EQ(info[2], "Inactive friends are purged after 365 days") << "the purge limit is not saved";
    EXPECT_EQ(info[3], "No active groupchats");
    // The default room is 0 again: a bare "invite" finds the first new
    // conference, and answers with the invitation alone.
    EXPECT_EQ(replies_to(second, "group text"), std::vector<std::string>{"Group chat 0 created"});
    EXPECT_EQ(replies_to(second, "invite"), std::vector<std::string>{}) << "the default room should be 0";
    EXPECT_TRUE(second.wait_for_invite()) << "a bare \"invite\" should invite into conference 0";

    EXPECT_TRUE(second.wait_for_bot_profile(
        [](const FriendProfile &profile) {
            return profile.name == "Zorvik Renamed" && profile.status_message == "Back soon";
        },
        15s))
        << "the new friend should see the saved name and status message, got \"" << second.bot_profile().name
        << "\" and \"" << second.bot_profile().status_message << "\"";
    for (const std::string &line : bot.stderr_lines()) {
        EXPECT_NE(line.rfind("Deleting empty group", 0), 0u)
            << "the registry starts empty, so the first sweep deletes nothing: " << line;
    }

    bot.set_idle_hook(nullptr);
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
}

}  // namespace
}  // namespace zorvik::e2e
