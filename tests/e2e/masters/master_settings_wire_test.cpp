// The master commands that change the bot itself ("master", "name", "status",
// "statusmessage", "purge") over the wire: their refusals, the master list
// file, the profile as the peer sees it, the purge limit as "info" reports
// it, and their log lines.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "master_suite.hpp"

namespace zorvik::e2e {
namespace {


class MasterSettingsCommand : public MasterSuite {
protected:
    void SetUp() override
    {
        MasterSuite::SetUp();
        make_peer_master(true);
    }

    static std::string master_list() { return read_file(bot_file("masterkeys")); }

    // The third line of "info": the purge limit.
    static std::string purge_line()
    {
        const std::vector<std::string> lines = info();
        return lines.size() >= 3 ? lines[2] : std::string();
    }

    // Waits until the peer sees the bot's profile pass `matches`; adds a
    // failure showing what the peer sees otherwise.
    static void expect_profile(const std::function<bool(const FriendProfile &)> &matches, std::string_view what)
    {
        const bool seen = peer().wait_for_bot_profile(matches, 15s);
        const FriendProfile profile = peer().bot_profile();
        EXPECT_TRUE(seen) << "the peer should see " << what << "; it sees the name \"" << profile.name
                          << "\", the status message \"" << profile.status_message << "\" and the status "
                          << profile.status;
    }
};

class MasterCommand : public MasterSettingsCommand {};

TEST_F(MasterCommand, RefusesMissingAndMalformedIds)
{
    const std::string list = master_list();
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("master"), one("Error: Tox ID required"));
    const std::string id = peer().tox_id();
    const std::vector<std::string> refused = {
        id.substr(0, 75),
        id + "0",
        "\"" + id + "\"",
        id.substr(0, 38) + "\n" + id.substr(39),
        id.substr(0, 38) + "\r" + id.substr(39),
        id.substr(0, 75) + "\n",
    };
    for (const std::string &argument : refused) {
        EXPECT_EQ(replies_to("master " + argument), one("Error: Invalid Tox ID"))
            << "argument of " << argument.size() << " bytes: \"" << argument << "\"";
    }
    EXPECT_EQ(master_list(), list) << "a refused ID should not reach the master list";
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"master\" should log nothing\n" << bot().describe_output();
}

TEST_F(MasterCommand, AppendsAnySeventySixCharactersEveryTime)
{
    const std::string list = master_list();
    const std::string hex = "0123456789abcdefABCDEF0123456789abcdefABCDEF0123456789abcdefABCDEF0123456789";
    std::string punctuation;  // no blank: a blank would end the argument
    while (punctuation.size() < 76) {
        punctuation += "x!\"~";
    }
    punctuation.resize(76);
    ASSERT_EQ(hex.size(), 76u);

    // Quotes are no part of the syntax here: a quoted token of 76 bytes,
    // quotes included, is taken as it is.
    const std::string quoted = "\"" + hex.substr(0, 74) + "\"";

    std::string expected = list;
    for (const std::string &id : {hex, punctuation, quoted, hex}) {
        const std::size_t out = stdout_mark();
        EXPECT_EQ(replies_to("master " + id), one("ID added to masterkeys list")) << "ID \"" << id << "\"";
        expected += id + "\n";
        EXPECT_EQ(master_list(), expected) << "the ID should be appended as a line of its own, again when listed";
        expect_stdout_line(out, peer_name + " added master: " + id);
    }
    EXPECT_EQ(replies_to("help").size(), public_help.size() + 1) << "the peer's own line still makes it a master";
}

class NameCommand : public MasterSettingsCommand {};

// "name" answers nothing: replies_to() checks that the next reply is the
// answer to its "id" probe.
TEST_F(NameCommand, SetsTheNameWithoutAReply)
{
    EXPECT_EQ(replies_to("name"), one("Error: Name required"));

    struct Case {
        std::string argument;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"\"My bot name\"", "My bot name"},
        {"First second third", "First"},
        {"\"" + std::string(200, 'a') + "\"", std::string(126, 'a')},
        {std::string(200, 'b'), std::string(127, 'b')},
        {"\"Quoted\" trailing words", "Quoted"},
    };
    for (const Case &c : cases) {
        const std::size_t out = stdout_mark();
        EXPECT_EQ(replies_to("name " + c.argument), no_reply) << "argument \"" << c.argument << "\"";
        expect_stdout_line(out, peer_name + " set name to " + c.name);
        expect_profile([&](const FriendProfile &profile) { return profile.name == c.name; },
                       "the name \"" + c.name + "\"");
    }

    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("name \"\""), no_reply);
    expect_stdout_line(out, peer_name + " set name to ");
    expect_profile([](const FriendProfile &profile) { return profile.name.empty(); }, "an empty name");

    EXPECT_EQ(replies_to("name Zorvik"), no_reply);
    expect_profile([](const FriendProfile &profile) { return profile.name == "Zorvik"; }, "the name \"Zorvik\"");
}

class StatusCommand : public MasterSettingsCommand {};

TEST_F(StatusCommand, SetsEachStatusWordInAnyLetterCase)
{
    const std::string invalid = "Invalid status. Valid statuses are: online, busy and away.";
    const std::size_t refused_from = stdout_mark();
    EXPECT_EQ(replies_to("status"), one("Error: status required"));
    for (const std::string argument : {"\"online\"", "offline", "away!", "on"}) {
        EXPECT_EQ(replies_to("status " + argument), one(invalid)) << "argument \"" << argument << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), refused_from) << "a refused \"status\" should log nothing\n"
                                                 << bot().describe_output();

    struct Case {
        std::string word;
        Tox_User_Status status;
    };
    for (const Case &c : {Case{"AWAY", TOX_USER_STATUS_AWAY}, Case{"Busy", TOX_USER_STATUS_BUSY},
                          Case{"online", TOX_USER_STATUS_NONE}}) {
        const std::size_t out = stdout_mark();
        EXPECT_EQ(replies_to("status " + c.word), no_reply) << "word \"" << c.word << "\"";
        expect_stdout_line(out, peer_name + " set status to " + c.word);
        expect_profile([&](const FriendProfile &profile) { return profile.status == c.status; },
                       "the status " + std::to_string(c.status) + " for \"" + c.word + "\"");
    }
}

class StatusmessageCommand : public MasterSettingsCommand {};

TEST_F(StatusmessageCommand, SetsTheTextBetweenTheQuotes)
{
    const std::size_t refused_from = stdout_mark();
    EXPECT_EQ(replies_to("statusmessage"), one("Error: message required"));
    for (const std::string argument : {"Hello", "Hello\"", "H\"ello\""}) {
        EXPECT_EQ(replies_to("statusmessage " + argument), one("Error: message must be enclosed in quotes"))
            << "argument \"" << argument << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), refused_from) << "a refused \"statusmessage\" should log nothing\n"
                                                 << bot().describe_output();

    std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("statusmessage \"Hello there\""), no_reply);
    expect_stdout_line(out, peer_name + " set status message to \"Hello there\"");
    expect_profile([](const FriendProfile &profile) { return profile.status_message == "Hello there"; },
                   "the status message \"Hello there\"");

    out = stdout_mark();
    EXPECT_EQ(replies_to("statusmessage \"\""), no_reply);
    expect_stdout_line(out, peer_name + " set status message to \"\"");
    expect_profile([](const FriendProfile &profile) { return profile.status_message.empty(); },
                   "an empty status message");

    // Longer than the library takes (1007 bytes): a failure line, no
    // success line, no save (a save would replace the file).
    struct stat before {};
    ASSERT_EQ(stat(bot_file("zorvik_save").c_str(), &before), 0);
    out = stdout_mark();
    const std::size_t err = stderr_mark();
    EXPECT_EQ(replies_to("statusmessage \"" + std::string(1008, 'm') + "\""), no_reply);
    expect_stderr_line(err, peer_name + " failed to set status message (error 2)");
    EXPECT_EQ(bot().stdout_mark(), out) << bot().describe_output();
    struct stat after {};
    ASSERT_EQ(stat(bot_file("zorvik_save").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "a refused status message should not be saved";
    expect_profile([](const FriendProfile &profile) { return profile.status_message.empty(); },
                   "the status message kept");
}

class PurgeCommand : public MasterSettingsCommand {};

TEST_F(PurgeCommand, RefusesCountsThatAreNotPositive)
{
    const std::string before = purge_line();
    ASSERT_EQ(before.rfind("Inactive friends are purged after ", 0), 0u) << before;
    const std::size_t out = stdout_mark();
    for (const std::string command :
         {"purge", "purge 0", "purge -5", "purge abc", "purge \"30\"", "purge -99999999999", "purge 00"}) {
        EXPECT_EQ(replies_to(command), one("Error: number > 0 required")) << "message \"" << command << "\"";
    }
    EXPECT_EQ(purge_line(), before) << "a refused \"purge\" should keep the limit";
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"purge\" should log nothing\n" << bot().describe_output();
}

TEST_F(PurgeCommand, SetsTheLimitThatInfoReports)
{
    struct Case {
        std::string argument;
        std::string days;
    };
    // Digits beyond the signed 32-bit range are held at its largest value.
    for (const Case &c : {Case{"30", "30"}, Case{"12abc", "12"}, Case{"99999999999", "2147483647"},
                          Case{"2147483647", "2147483647"}, Case{"1", "1"}, Case{"365", "365"}}) {
        const std::size_t out = stdout_mark();
        EXPECT_EQ(replies_to("purge " + c.argument), one("Purge time set to " + c.days + " days"))
            << "argument \"" << c.argument << "\"";
        expect_stdout_line(out, "Purge time set to " + c.days + " days by " + peer_name);
        EXPECT_EQ(purge_line(), "Inactive friends are purged after " + c.days + " days");
    }
}

}  // namespace
}  // namespace zorvik::e2e
