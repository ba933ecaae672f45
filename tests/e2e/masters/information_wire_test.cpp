// "help" and "id" over the wire, and what a restart keeps: the profile set by
// a master comes back from the save file, while conferences, the purge limit
// and the uptime start afresh.
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "master_suite.hpp"

namespace zorvik::e2e {
namespace {

const std::vector<std::string> public_help = {
    "info : Print my current status and list active group chats",
    "id : Print my Tox ID",
    "invite : Request invite to default group chat",
    "invite <n> <p> : Request invite to group chat n (with password p if protected)",
    "group <type> <pass> : Creates a new groupchat with type: text | audio (optional password)",
};

class HelpCommand : public MasterSuite {};

TEST_F(HelpCommand, AnswersFiveLinesToAFriendAndSixToAMaster)
{
    EXPECT_EQ(replies_to("help"), public_help);
    EXPECT_EQ(replies_to("help me please"), public_help) << "arguments should be ignored";

    make_peer_master(true);
    std::vector<std::string> master_help = public_help;
    master_help.push_back("For a list of master commands see the commands.txt file");
    EXPECT_EQ(replies_to("help"), master_help);
}

TEST_F(HelpCommand, WithoutAMasterListLeavesAnEmptyOneAndWarns)
{
    std::filesystem::remove(bot_file("masterkeys"));
    const std::size_t err = stderr_mark();
    EXPECT_EQ(replies_to("help"), public_help);
    EXPECT_TRUE(std::filesystem::exists(bot_file("masterkeys"))) << "the master list should have been created";
    EXPECT_EQ(read_file(bot_file("masterkeys")), "");
    expect_stderr_line(err, "Warning: creating new masterkeys file. Did you lose the old one?");

    const std::size_t err_again = stderr_mark();
    EXPECT_EQ(replies_to("help"), public_help);
    EXPECT_EQ(stderr_lines_after(err_again), std::vector<std::string>{}) << "the empty list is there now: no warning";
}

class IdCommand : public MasterSuite {};

TEST_F(IdCommand, AnswersTheIdOfTheBanner)
{
    for (const std::string command : {"id", "id 1 2 3"}) {
        const std::vector<std::string> replies = peer().ask(command, 1);
        ASSERT_EQ(replies.size(), 1u) << "message \"" << command << "\"";
        EXPECT_TRUE(std::regex_match(replies[0], std::regex("[0-9A-F]{76}")))
            << "expected 76 digits 0-9A-F, got \"" << replies[0] << "\"";
        EXPECT_EQ(replies[0], bot_id());
        const std::vector<std::string> banner = bot().stdout_lines();
        ASSERT_GE(banner.size(), 2u) << bot().describe_output();
        EXPECT_EQ(banner[1], "ID: " + replies[0]);
    }
    EXPECT_TRUE(peer().collect_replies_until_quiet(500ms, 5s).empty()) << "\"id\" should answer one line";
}

// Every start begins with an empty conference list, the default purge limit
// and a fresh uptime; the name and status message come from the save file.
class Restart : public MasterSuite {};

TEST_F(Restart, KeepsTheProfileButNeitherConferencesNorThePurgeLimit)
{
    make_peer_master(true);
    EXPECT_EQ(replies_to("name \"Zorvik Renamed\""), std::vector<std::string>{});
    EXPECT_EQ(replies_to("statusmessage \"Back soon\""), std::vector<std::string>{});
    EXPECT_EQ(replies_to("purge 30"), one("Purge time set to 30 days"));
    ASSERT_GE(create_group("group text"), 0);
    ASSERT_GE(create_group("group audio"), 0);
    const std::vector<std::string> before = info();
    ASSERT_EQ(before.size(), 3u + conference_lines(before).size());
    ASSERT_GE(conference_lines(before).size(), 2u) << ::testing::PrintToString(before);
    EXPECT_EQ(before[2], "Inactive friends are purged after 30 days");

    const std::time_t restarted_at = std::time(nullptr);
    ASSERT_TRUE(restart_bot());
    const std::vector<std::string> banner = bot().stdout_lines();
    ASSERT_GE(banner.size(), 5u) << bot().describe_output();
    EXPECT_EQ(banner[0], "Zorvik version 0.0.2");
    EXPECT_EQ(banner[1], "ID: " + bot_id());
    EXPECT_EQ(banner[2], "Name: Zorvik Renamed") << "the name set by a master should be loaded again";
    EXPECT_EQ(banner[3], "Contacts: 1");
    EXPECT_EQ(banner[4], "Inactive contacts purged after 365 days");

    const std::vector<std::string> lines = info();
    const std::time_t answered_at = std::time(nullptr);
    ASSERT_EQ(lines.size(), 4u) << "no conference should survive the restart: " << ::testing::PrintToString(lines);
    // The uptime can be no longer than the time since the restart began.
    const long most_minutes = static_cast<long>(answered_at - restarted_at) / 60;
    if (most_minutes == 0) {
        EXPECT_EQ(lines[0], "Uptime: 0d 0h 0m");
    } else {
        long minutes = -1;
        EXPECT_EQ(std::sscanf(lines[0].c_str(), "Uptime: 0d 0h %ldm", &minutes), 1) << lines[0];
        EXPECT_LE(minutes, most_minutes) << lines[0];
    }
    EXPECT_EQ(lines[1], "Friends: 1 (1 online)");
    EXPECT_EQ(lines[2], "Inactive friends are purged after 365 days") << "the purge limit is not saved";
    EXPECT_EQ(lines[3], "No active groupchats");

    EXPECT_TRUE(peer().wait_for_bot_profile(
        [](const FriendProfile &profile) {
            return profile.name == "Zorvik Renamed" && profile.status_message == "Back soon";
        },
        15s))
        << "the peer should see the saved name and status message, got \"" << peer().bot_profile().name << "\" and \""
        << peer().bot_profile().status_message << "\"";
    for (const std::string &line : bot().stderr_lines()) {
        EXPECT_EQ(line.rfind("Deleting empty group", 0), std::string::npos)
            << "the registry starts empty, so the first sweep deletes nothing: " << line;
    }
}

}  // namespace
}  // namespace zorvik::e2e
