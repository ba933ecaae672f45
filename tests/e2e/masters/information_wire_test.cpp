// "help" and "id" over the wire: the public help lines, the master's extra
// line, the master list created on demand, and the bot's Tox ID.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "master_suite.hpp"

namespace zorvik::e2e {
namespace {

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

}  // namespace
}  // namespace zorvik::e2e
