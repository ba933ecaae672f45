// The master commands that manage conferences ("leave", "passwd", "title",
// "gmessage", "default") over the wire: their refusals, their effects as the
// peer and "info" see them, their log lines; and the refusal of all ten
// master commands to a friend who is not a master.
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "master_suite.hpp"

namespace zorvik::e2e {
namespace {


// A master talks to the bot in every test here but the last.
class MasterGroupCommand : public MasterSuite {
protected:
    void SetUp() override
    {
        MasterSuite::SetUp();
        make_peer_master(true);
    }
};

class LeaveCommand : public MasterGroupCommand {};

TEST_F(LeaveCommand, RefusesMissingAndUnknownNumbers)
{
    const std::vector<std::string> before = conferences();
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("leave"), one("Error: Group number required"));
    for (const std::string argument : {"abc", "00", "999", "-1", "2147483647",
#if !ZORVIK_CHANNELS
                                       "#0",  // names a channel only in builds with channels
#endif
         }) {
        EXPECT_EQ(replies_to("leave " + argument), one(invalid_group_number)) << "argument \"" << argument << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"leave\" should log nothing\n" << bot().describe_output();
    EXPECT_EQ(conferences(), before);
}

TEST_F(LeaveCommand, LeavesTheConferenceAndABareInviteThenFindsNoDefaultRoom)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const std::string n = std::to_string(created);
    EXPECT_EQ(replies_to("default " + n), one("Default room number set to " + n));
    EXPECT_EQ(replies_to("invite"), no_reply);
    EXPECT_TRUE(peer().wait_for_invite()) << "a bare \"invite\" should name the default room " << n;

    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
    expect_stdout_line(out, "Left group " + n + " (" + peer_name + ")");
    for (const std::string &line : conferences()) {
        EXPECT_NE(line.rfind("Group " + n + " |", 0), 0u) << "conference " << n << " should be gone: " << line;
    }
    EXPECT_EQ(replies_to("invite"), one("Group doesn't exist.")) << "the default room was left";
    EXPECT_EQ(replies_to("leave " + n), one(invalid_group_number)) << "conference " << n << " is no more";

    EXPECT_EQ(replies_to("default 0"), one("Default room number set to 0"));
}

class PasswdCommand : public MasterGroupCommand {};

TEST_F(PasswdCommand, RefusesMissingAndUnregisteredNumbers)
{
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("passwd"), one("Error: group number required"));
    for (const std::string arguments : {"999", "999 secret", "abc secret", "00 secret", "-1",
#if !ZORVIK_CHANNELS
                                        "#0 secret",  // names a channel only in builds with channels
#endif
         }) {
        EXPECT_EQ(replies_to("passwd " + arguments), one(invalid_group_number)) << "arguments \"" << arguments << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"passwd\" should log nothing\n" << bot().describe_output();
}

TEST_F(PasswdCommand, SetsAndClearsThePasswordThatInviteAsksFor)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const std::string n = std::to_string(created);
    const auto invited_with = [&](const std::string &password) {
        const std::vector<std::string> replies = replies_to("invite " + n + password);
        if (replies == one("Invalid password.")) {
            return false;
        }
        EXPECT_EQ(replies, no_reply) << "\"invite " << n << password << "\"";
        EXPECT_TRUE(peer().wait_for_invite()) << "no invitation after \"invite " << n << password << "\"";
        return true;
    };

    std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("passwd " + n + " secret"), one("Password set"));
    expect_stdout_line(out, "Password for group " + n + " set by " + peer_name);
    EXPECT_FALSE(invited_with("")) << "a protected conference needs its password";
    EXPECT_TRUE(invited_with(" secret"));

    const std::string too_long(64, 'p');
    out = stdout_mark();
    EXPECT_EQ(replies_to("passwd " + n + " " + too_long), one("Password too long"));
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused password should log nothing\n" << bot().describe_output();
    EXPECT_TRUE(invited_with(" secret")) << "the old password should stay in force";
    EXPECT_FALSE(invited_with(" " + too_long));

    const std::string longest(63, 'q');
    EXPECT_EQ(replies_to("passwd " + n + " " + longest), one("Password set"));
    EXPECT_TRUE(invited_with(" " + longest)) << "a 63-byte password should be accepted";
    EXPECT_FALSE(invited_with(" secret")) << "the new password replaces the old one";

    out = stdout_mark();
    EXPECT_EQ(replies_to("passwd " + n), one("No password set"));
    expect_stdout_line(out, "No password set for group " + n + " by " + peer_name);
    EXPECT_TRUE(invited_with("")) << "a cleared password lets a bare invitation through";

    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
}

class TitleCommand : public MasterGroupCommand {};

TEST_F(TitleCommand, RefusesMissingUnquotedAndInvalidArguments)
{
    const std::size_t out = stdout_mark();
    for (const std::string command : {"title", "title 1", "title abc"}) {
        EXPECT_EQ(replies_to(command), one("Error: Two arguments are required")) << "message \"" << command << "\"";
    }
    for (const std::string command : {"title 1 Room", "title abc Room", "title 1 Room\"", "title 1 R\"oom\""}) {
        EXPECT_EQ(replies_to(command), one("Error: title must be enclosed in quotes")) << "message \"" << command
                                                                                        << "\"";
    }
    for (const std::string command : {"title abc \"Room\"", "title 00 \"Room\"", "title -x \"Room\"",
#if !ZORVIK_CHANNELS
                                      "title #0 \"Room\"",  // names a channel only in builds with channels
#endif
         }) {
        EXPECT_EQ(replies_to(command), one(invalid_group_number)) << "message \"" << command << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"title\" should log nothing\n" << bot().describe_output();
}

TEST_F(TitleCommand, ReportsTheLibraryRefusalForAnUnknownConference)
{
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("title 999 \"Lost\""),
              one("Failed to set title. This may be caused by an invalid group number or an empty room (error " +
                  std::to_string(TOX_ERR_CONFERENCE_TITLE_CONFERENCE_NOT_FOUND) + ")"));
    expect_stdout_line(out, peer_name + " failed to set the title 'Lost' for group 999");
}

// The library takes a title for a conference that holds only the bot.
TEST_F(TitleCommand, SetsTheTitleOfAConferenceWithoutOtherPeers)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const auto number = static_cast<std::uint32_t>(created);
    const std::string n = std::to_string(created);
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("title " + n + " \"Alone\""), one("Group title set"));
    expect_stdout_line(out, peer_name + " set group " + n + " title to Alone");
    const std::vector<std::string> lines = conferences();
    EXPECT_NE(std::find(lines.begin(), lines.end(), conference_line(number, "Text", 1, "Alone")), lines.end())
        << ::testing::PrintToString(lines);
    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
}

TEST_F(TitleCommand, SetsATitleThatThePeerAndInfoSee)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const auto number = static_cast<std::uint32_t>(created);
    const std::string n = std::to_string(created);
    const std::optional<std::uint32_t> joined = join_bot_conference(number);
    ASSERT_TRUE(joined);
    peer().take_conference_titles();

    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("title " + n + " \"My room\""), one("Group title set"));
    expect_stdout_line(out, peer_name + " set group " + n + " title to My room");
    const std::optional<ConferenceTitle> title = peer().wait_for_conference_title();
    ASSERT_TRUE(title) << "the peer should see the new title";
    EXPECT_EQ(title->conference, *joined);
    EXPECT_EQ(title->title, "My room");
    std::vector<std::string> last;
    EXPECT_TRUE(wait_for_conference_line(conference_line(number, "Text", 2, "My room"), &last))
        << ::testing::PrintToString(last);

    const std::string longest(TOX_MAX_NAME_LENGTH, 'L');
    EXPECT_EQ(replies_to("title " + n + " \"" + longest + "\""), one("Group title set"));
    EXPECT_TRUE(wait_for_conference_line(conference_line(number, "Text", 2, longest), &last))
        << "a 128-byte title should be stored whole; got " << ::testing::PrintToString(last);
    const std::optional<ConferenceTitle> whole = peer().wait_for_conference_title();
    ASSERT_TRUE(whole) << "the peer should see the 128-byte title";
    EXPECT_EQ(whole->title, longest);

    // Titles the library cannot hold whole are refused before it sees them:
    // it refuses an empty one and one of 129 to 256 bytes, but keeps only the
    // low 8 bits of a longer one's length and sets a cut title (1 byte of
    // 257, 44 of 300, 39 of 1,319). Neither the peer nor "info" sees a change.
    const std::string invalid_length = "Failed to set title. This may be caused by an invalid group number or an "
                                       "empty room (error " +
                                       std::to_string(TOX_ERR_CONFERENCE_TITLE_INVALID_LENGTH) + ")";
    for (const std::size_t length : {0u, 129u, 257u, 300u, 1319u}) {
        const std::string refused(length, 'x');
        const std::size_t refused_from = stdout_mark();
        EXPECT_EQ(replies_to("title " + n + " \"" + refused + "\""), one(invalid_length))
            << "a title of " << length << " bytes";
        expect_stdout_line(refused_from, peer_name + " failed to set the title '" + refused + "' for group " + n);
        EXPECT_EQ(conferences(), std::vector<std::string>{conference_line(number, "Text", 2, longest)})
            << "a refused title of " << length << " bytes should leave the stored one";
    }
    // Title changes reach the peer in order: the next one it sees must be
    // the next one set.
    EXPECT_EQ(replies_to("title " + n + " \"After\""), one("Group title set"));
    const std::optional<ConferenceTitle> next = peer().wait_for_conference_title();
    ASSERT_TRUE(next) << "the peer should see the title \"After\"";
    EXPECT_EQ(next->title, "After") << "a refused title reached the peer before it (" << next->title.size()
                                    << " bytes)";

    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
    peer().leave_conference(*joined);
}

class GmessageCommand : public MasterGroupCommand {};

TEST_F(GmessageCommand, RefusesMissingUnregisteredAndUnquotedArguments)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const std::string n = std::to_string(created);
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("gmessage"), one("Error: Group number required"));
    EXPECT_EQ(replies_to("gmessage " + n), one("Error: Message required"));
    for (const std::string arguments : {"999 \"hi\"", "abc \"hi\"", "00 \"hi\"", "999 hi", "abc hi",
#if !ZORVIK_CHANNELS
                                        "#0 \"hi\"",  // names a channel only in builds with channels
#endif
         }) {
        EXPECT_EQ(replies_to("gmessage " + arguments), one(invalid_group_number)) << "arguments \"" << arguments
                                                                                 << "\"";
    }
    EXPECT_EQ(replies_to("gmessage " + n + " hi"), one("Error: Message must be enclosed in quotes"));
    // Nobody else is in the new conference: the library refuses to send.
    EXPECT_EQ(replies_to("gmessage " + n + " \"Anybody?\""),
              one("Error: Failed to send message. (error " +
                  std::to_string(TOX_ERR_CONFERENCE_SEND_MESSAGE_NO_CONNECTION) + ")"));
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"gmessage\" should log nothing\n" << bot().describe_output();
    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
}

TEST_F(GmessageCommand, SendsTheTextBetweenTheQuotesIntoTheConference)
{
    const int created = create_group("group text");
    ASSERT_GE(created, 0);
    const auto number = static_cast<std::uint32_t>(created);
    const std::string n = std::to_string(created);
    const std::optional<std::uint32_t> joined = join_bot_conference(number);
    ASSERT_TRUE(joined);
    peer().take_conference_messages();

    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("gmessage " + n + " \"Hello everyone\""), one("Message sent."));
    expect_stdout_line(out, "<" + peer_name + "> message to group " + n + ": Hello everyone");
    const std::optional<ConferenceMessage> message = peer().wait_for_conference_message();
    ASSERT_TRUE(message) << "the peer should receive the message in the conference";
    EXPECT_EQ(message->conference, *joined);
    EXPECT_EQ(message->type, TOX_MESSAGE_TYPE_NORMAL);
    EXPECT_EQ(message->text, "Hello everyone");

    EXPECT_EQ(replies_to("leave " + n), one("Left group " + n));
    peer().leave_conference(*joined);
}

class DefaultCommand : public MasterGroupCommand {};

TEST_F(DefaultCommand, RefusesMissingNegativeAndNonNumericRooms)
{
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("default"), one("Error: Room number required"));
    for (const std::string argument : {"-1", "00", "abc", "-2147483648", "\"5\""}) {
        EXPECT_EQ(replies_to("default " + argument), one("Error: Invalid room number")) << "argument \"" << argument
                                                                                        << "\"";
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "a refused \"default\" should log nothing\n" << bot().describe_output();
}

// Any room number is taken, registered or not; its log line ends with a line
// feed, so the next log line stands on a line of its own.
TEST_F(DefaultCommand, TakesAnyRoomNumberAndLogsALineOfItsOwn)
{
    for (const std::string &line : conferences()) {
        ASSERT_NE(line.rfind("Group 5 |", 0), 0u) << "this test needs conference 5 not to exist";
    }
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("default 5"), one("Default room number set to 5"));
    EXPECT_EQ(replies_to("invite"), one("Group doesn't exist.")) << "the default room is now 5, which does not exist";
    EXPECT_EQ(replies_to("default 0"), one("Default room number set to 0"));
    EXPECT_TRUE(peer().iterate_until([&] { return bot().stdout_mark() >= out + 2; }, 5s));
    const std::vector<std::string> lines = bot().stdout_lines();
    ASSERT_GE(lines.size(), out + 2) << bot().describe_output();
    EXPECT_EQ(lines[out], "Default room number set to 5 by " + peer_name);
    EXPECT_EQ(lines[out + 1], "Default room number set to 0 by " + peer_name);
    EXPECT_EQ(bot().stdout_text().back(), '\n') << "the last log line should be complete";
}

class NonMaster : public MasterSuite {};

TEST_F(NonMaster, GetsInvalidCommandForEveryMasterCommandAndChangesNothing)
{
    ASSERT_EQ(create_group("group text"), 0) << "with no conference left the next one should be number 0";
    const std::optional<std::uint32_t> joined = join_bot_conference(0);
    ASSERT_TRUE(joined);
    peer().take_conference_messages();
    peer().take_conference_titles();

    const std::vector<std::string> info_before = info();
    const FriendProfile profile_before = peer().bot_profile();
    const std::string masterkeys_before = read_file(bot_file("masterkeys"));
    ASSERT_EQ(masterkeys_before, "");
    const std::size_t out = stdout_mark();

    const std::vector<std::string> commands = {
        "default 5",
        "gmessage 0 \"hello\"",
        "leave 0",
        "master " + peer().tox_id(),
        "name NewName",
        "passwd 0 secret",
        "purge 30",
        "status busy",
        "statusmessage \"Changed\"",
        "title 0 \"Changed\"",
    };
    for (const std::string &command : commands) {
        EXPECT_EQ(replies_to(command), one(master_refusal)) << "message \"" << command << "\"";
    }

    EXPECT_EQ(bot().stdout_mark(), out) << "a refused master command should log nothing\n" << bot().describe_output();
    EXPECT_EQ(read_file(bot_file("masterkeys")), masterkeys_before) << "the master list should not grow";
    const std::vector<std::string> info_after = info();
    ASSERT_EQ(info_after.size(), info_before.size()) << ::testing::PrintToString(info_after);
    for (std::size_t i = 1; i < info_after.size(); ++i) {
        EXPECT_EQ(info_after[i], info_before[i]) << "conference, title and purge limit should stay";
    }
    const FriendProfile profile_after = peer().bot_profile();
    EXPECT_EQ(profile_after.name, profile_before.name);
    EXPECT_EQ(profile_after.status_message, profile_before.status_message);
    EXPECT_EQ(profile_after.status, profile_before.status);
    EXPECT_TRUE(peer().take_conference_messages().empty()) << "no conference message should have been sent";
    EXPECT_TRUE(peer().take_conference_titles().empty()) << "no title should have been set";
    // The peer is in room 0 already, so the library drops the invitation on
    // its side; the bot's log shows that it was sent.
    const std::size_t invite_from = stdout_mark();
    EXPECT_EQ(replies_to("invite"), no_reply) << "the default room should still be 0, without a password";
    expect_stdout_line(invite_from, "Invited " + peer_name + " to group 0");

    start_from_known_state();
    peer().leave_conference(*joined);
}

}  // namespace
}  // namespace zorvik::e2e
