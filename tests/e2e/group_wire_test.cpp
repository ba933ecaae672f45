// "group" and "invite" over the wire: conferences created on request, with or
// without a password, and invitations into them, as the peer sees them and as
// the bot logs them.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bot_suite.hpp"

namespace zorvik::e2e {
namespace {


class GroupCommand : public BotSuite {
protected:
    std::vector<std::string> conferences() { return conference_lines(replies_to("info")); }
};

TEST_F(GroupCommand, WithoutTypeAsksForOne)
{
    const std::vector<std::string> before = conferences();
    EXPECT_EQ(replies_to("group"), one("Please specify the group type: audio or text"));
    EXPECT_EQ(conferences(), before) << "a refused \"group\" should create nothing";
}

// The type word (audio in any letter case, anything else text) and an
// optional password: the reply, the log line and the line "info" shows.
TEST_F(GroupCommand, CreatesAConferenceOfTheTypeAskedForWithOrWithoutAPassword)
{
    const struct {
        const char *command;
        const char *type;
        const char *suffix;
    } cases[] = {
        {"group text", "Text", ""},
        {"group audio", "Audio", ""},
        {"group AuDiO", "Audio", ""},
        {"group video", "Text", ""},
        {"group text pw", "Text", " (Password protected)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.command);
        start_from_known_state();  // no conference: the new one is number 0
        const std::size_t out = stdout_mark();
        EXPECT_EQ(replies_to(c.command), one(std::string("Group chat 0 created") + c.suffix));
        expect_stdout_line(out, "Group chat 0 created by " + peer_name + c.suffix);
        EXPECT_EQ(conferences(), one(std::string("Group 0 | ") + c.type + " | peers: 1 | Title: None"));
    }
}

TEST_F(GroupCommand, RefusesA64BytePasswordAndLeavesNoConference)
{
    const std::vector<std::string> before = conferences();
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("group text " + std::string(64, 'p')),
              one("Group chat instance failed to initialize: Password too long"));
    expect_stdout_line(out, "Group chat creation by " + peer_name + " failed: Password too long");
    EXPECT_EQ(conferences(), before) << "the conference made for the refused password should be deleted again";
    EXPECT_EQ(replies_to("group audio " + std::string(200, 'p')),
              one("Group chat instance failed to initialize: Password too long"));
    EXPECT_EQ(conferences(), before);
}

TEST_F(GroupCommand, AcceptsA63BytePasswordAndInvitesWithIt)
{
    const std::string password(63, 'p');
    const std::vector<std::string> replies = replies_to("group text " + password);
    ASSERT_EQ(replies.size(), 1u);
    int n = -1;
    ASSERT_EQ(std::sscanf(replies[0].c_str(), "Group chat %d", &n), 1) << replies[0];
    EXPECT_EQ(replies[0], "Group chat " + std::to_string(n) + " created (Password protected)");

    EXPECT_EQ(replies_to("invite " + std::to_string(n) + " " + password.substr(0, 62)), one("Invalid password."));
    EXPECT_EQ(replies_to("invite " + std::to_string(n) + " " + password), no_reply);
    EXPECT_TRUE(peer().wait_for_invite()) << "the right 63-byte password should bring the invitation";
}

// Conferences are part of the library's save data, and only an orderly stop
// leaves them before its last save. A bot killed after a save with two
// conferences in it starts without them all the same: "info" lists none and
// numbering starts at 0 again.
TEST_F(GroupCommand, ConferencesSavedBeforeAKillAreGoneAfterTheRestart)
{
    ASSERT_GE(create_group("group text"), 0);
    ASSERT_GE(create_group("group text"), 0);
    // A master's "name" saves (the name stays what it was).
    make_peer_master(true);
    EXPECT_EQ(replies_to("name Zorvik"), no_reply);

    ASSERT_TRUE(restart_bot(BotEnd::kill));
    const std::vector<std::string> info = replies_to("info");
    ASSERT_EQ(info.size(), 4u) << "\"info\" should list no conference after the restart; got "
                               << ::testing::PrintToString(info);
    EXPECT_EQ(info[3], "No active groupchats");
    EXPECT_EQ(replies_to("group text"), one("Group chat 0 created"));
}

class InviteCommand : public BotSuite {};

// The default room is 0: absent at first, then the first conference created.
TEST_F(InviteCommand, BareInviteAsksForTheDefaultRoom)
{
    EXPECT_EQ(replies_to("invite"), one("Group doesn't exist."));
    EXPECT_TRUE(peer().take_invites().empty());

    ASSERT_EQ(create_group("group text"), 0) << "with no conference left the next one should be number 0";
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("invite"), no_reply) << "the invitation itself is the answer";
    const std::optional<ConferenceInvite> invite = peer().wait_for_invite();
    ASSERT_TRUE(invite) << "expected a conference invitation for room 0";
    EXPECT_EQ(invite->type, TOX_CONFERENCE_TYPE_TEXT);
    expect_stdout_line(out, "Invited " + peer_name + " to group 0");

    EXPECT_EQ(replies_to("invite 0"), no_reply);
    EXPECT_TRUE(peer().wait_for_invite()) << "\"invite 0\" names room 0 as well";
}

TEST_F(InviteCommand, ByNumberSendsAnInvitationThatCanBeJoined)
{
    const int n = create_group("group text");
    ASSERT_GE(n, 0);
    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("invite " + std::to_string(n) + " ignored-password"), no_reply)
        << "a password for an unprotected conference is ignored";
    const std::optional<ConferenceInvite> invite = peer().wait_for_invite();
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite->type, TOX_CONFERENCE_TYPE_TEXT);
    expect_stdout_line(out, "Invited " + peer_name + " to group " + std::to_string(n));

    const std::optional<std::uint32_t> joined = peer().join_conference(*invite);
    ASSERT_TRUE(joined) << "the invitation's cookie should let the peer join";
    const std::string two_peers = "Group " + std::to_string(n) + " | Text | peers: 2 | Title: None";
    bool seen = false;
    for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
        const std::vector<std::string> lines = conference_lines(replies_to("info"));
        seen = std::count(lines.begin(), lines.end(), two_peers) == 1;
        if (!seen) {
            peer().iterate_for(250ms);
        }
    }
    EXPECT_TRUE(seen) << "\"info\" should show the joined peer: " << two_peers;
    peer().leave_conference(*joined);
}

TEST_F(InviteCommand, AudioConferenceInvitationHasTheAudioType)
{
    const int n = create_group("group audio");
    ASSERT_GE(n, 0);
    EXPECT_EQ(replies_to("invite " + std::to_string(n)), no_reply);
    const std::optional<ConferenceInvite> invite = peer().wait_for_invite();
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite->type, TOX_CONFERENCE_TYPE_AV);
}

TEST_F(InviteCommand, RefusesNumbersThatAreNotNumbers)
{
    for (const std::string argument : {"00", "abc", "x1", "\"1\"", " ", "0x",
#if !ZORVIK_CHANNELS
                                       "#0",  // names a channel only in builds with channels
#endif
         }) {
        const std::string command = "invite " + argument;
        EXPECT_EQ(replies_to(command), one("Error: Invalid group number")) << "message \"" << command << "\"";
    }
    EXPECT_TRUE(peer().take_invites().empty());
}

TEST_F(InviteCommand, UnknownNumberIsNoGroup)
{
    for (const std::string argument : {"999", "-1", "2147483647", "12345678"}) {
        const std::string command = "invite " + argument;
        EXPECT_EQ(replies_to(command), one("Group doesn't exist.")) << "message \"" << command << "\"";
    }
    EXPECT_TRUE(peer().take_invites().empty());
}

TEST_F(InviteCommand, ProtectedConferenceNeedsItsExactPassword)
{
    const std::vector<std::string> created = replies_to("group text secret");
    ASSERT_EQ(created.size(), 1u);
    int n = -1;
    ASSERT_EQ(std::sscanf(created[0].c_str(), "Group chat %d", &n), 1) << created[0];
    const std::string number = std::to_string(n);
    const std::string refusal_log = "Failed to invite " + peer_name + " to group " + number + " (invalid password)";

    for (const std::string password : {"", " wrong", " Secret", " secret2", " \"secret\""}) {
        const std::size_t err = stderr_mark();
        const std::string command = "invite " + number + password;
        EXPECT_EQ(replies_to(command), one("Invalid password.")) << "message \"" << command << "\"";
        expect_stderr_line(err, refusal_log);
    }
    EXPECT_TRUE(peer().take_invites().empty()) << "no invitation without the right password";

    const std::size_t out = stdout_mark();
    EXPECT_EQ(replies_to("invite " + number + " secret"), no_reply);
    const std::optional<ConferenceInvite> invite = peer().wait_for_invite();
    ASSERT_TRUE(invite) << "the right password should bring the invitation";
    EXPECT_EQ(invite->type, TOX_CONFERENCE_TYPE_TEXT);
    expect_stdout_line(out, "Invited " + peer_name + " to group " + number);
}

// Guessing is slowed: after five wrong passwords the peer's tries are
// refused unchecked, with one log line for the lock-out; another friend
// still gets in with the right password.
TEST_F(InviteCommand, FiveWrongPasswordsLockOnlyThatFriendOut)
{
    const int n = create_group("group text secret");
    ASSERT_GE(n, 0);
    const std::string number = std::to_string(n);
    for (int i = 1; i <= 5; ++i) {
        EXPECT_EQ(replies_to("invite " + number + " guess" + std::to_string(i)), one("Invalid password."));
    }
    const std::string locked = "Too many wrong passwords. Try again in 10 min.";
    const std::size_t err = stderr_mark();
    EXPECT_EQ(replies_to("invite " + number + " secret"), one(locked)) << "the right password is not checked now";
    EXPECT_EQ(replies_to("invite " + number + " secret"), one(locked));
    expect_stderr_line(err, "Password tries by " + peer_name + " refused for 10 min (too many wrong passwords)");
    const std::vector<std::string> lines = bot().stderr_lines();
    EXPECT_EQ(std::count_if(lines.begin() + static_cast<std::ptrdiff_t>(err), lines.end(),
                            [](const std::string &line) { return line.rfind("Password tries by ", 0) == 0; }),
              1) << "one log line per lock-out";
    EXPECT_TRUE(peer().take_invites().empty());

    // The new peer is another friend; the locked one stays behind, offline.
    ASSERT_TRUE(replace_peer());
    EXPECT_EQ(replies_to("invite " + number + " secret"), no_reply);
    EXPECT_TRUE(peer().wait_for_invite()) << "another friend's right password should bring the invitation";
}

}  // namespace
}  // namespace zorvik::e2e
