// Conferences as "info" reports them and as the bot joins them: the lines of
// "info" while conferences are created, joined, titled and left, and the
// conference invitations that the peer sends to the bot, accepted from a
// master and ignored from anyone else.
#include <cstdio>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "master_suite.hpp"

namespace zorvik::e2e {
namespace {

class InfoCommand : public MasterSuite {};

TEST_F(InfoCommand, WithoutConferencesAnswersExactlyFourLines)
{
    for (const std::string command : {"info", "info with some words"}) {
        const std::vector<std::string> lines = replies_to(command);
        ASSERT_EQ(lines.size(), 4u) << "message \"" << command << "\": " << ::testing::PrintToString(lines);
        EXPECT_TRUE(std::regex_match(lines[0], std::regex("Uptime: [0-9]+d [0-9]+h [0-9]+m"))) << lines[0];
        EXPECT_EQ(lines[1], "Friends: 1 (1 online)");
        EXPECT_EQ(lines[2], "Inactive friends are purged after 365 days");
        EXPECT_EQ(lines[3], "No active groupchats");
    }
}

TEST_F(InfoCommand, ListsConferencesAsTheyAreCreatedJoinedTitledAndLeft)
{
    const int text = create_group("group text");
    const int audio = create_group("group audio");
    ASSERT_GE(text, 0);
    ASSERT_GE(audio, 0);
    const auto n = static_cast<std::uint32_t>(text);
    const auto m = static_cast<std::uint32_t>(audio);

    std::vector<std::string> lines = info();
    ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[1], "Friends: 1 (1 online)");
    EXPECT_EQ(lines[2], "Inactive friends are purged after 365 days");
    EXPECT_EQ(conference_lines(lines), (std::vector<std::string>{conference_line(n, "Text", 1, "None"),
                                                                  conference_line(m, "Audio", 1, "None")}));

    const std::optional<std::uint32_t> joined = join_bot_conference(n);
    ASSERT_TRUE(joined);
    EXPECT_EQ(conferences(),
              (std::vector<std::string>{conference_line(n, "Text", 2, "None"), conference_line(m, "Audio", 1, "None")}))
        << "the joined peer should be counted in its conference only";

    make_peer_master(true);
    peer().take_conference_titles();
    EXPECT_EQ(replies_to("title " + std::to_string(n) + " \"My room\""), one("Group title set"));
    const std::optional<ConferenceTitle> title = peer().wait_for_conference_title();
    ASSERT_TRUE(title) << "the peer should see the conference's new title";
    EXPECT_EQ(title->conference, *joined);
    EXPECT_EQ(title->title, "My room");
    EXPECT_EQ(conferences(), (std::vector<std::string>{conference_line(n, "Text", 2, "My room"),
                                                       conference_line(m, "Audio", 1, "None")}));

    EXPECT_EQ(replies_to("leave " + std::to_string(n)), one("Left group " + std::to_string(n)));
    EXPECT_EQ(conferences(), std::vector<std::string>{conference_line(m, "Audio", 1, "None")});
    EXPECT_EQ(replies_to("leave " + std::to_string(m)), one("Left group " + std::to_string(m)));
    EXPECT_EQ(info().back(), "No active groupchats");
    peer().leave_conference(*joined);
}

class ConferenceInvitation : public MasterSuite {
protected:
    // The conference number from «Accepted groupchat invite from NAME [N]»,
    // the line checked whole; nullopt with a failure added.
    static std::optional<std::uint32_t> accepted_conference(std::size_t from_line)
    {
        const std::string prefix = "Accepted groupchat invite from " + peer_name + " [";
        const std::optional<std::string> line = stdout_line_starting(from_line, prefix);
        if (!line) {
            return std::nullopt;
        }
        unsigned number = 0;
        if (std::sscanf(line->c_str() + prefix.size(), "%u]", &number) != 1 ||
            *line != prefix + std::to_string(number) + "]") {
            ADD_FAILURE() << "expected \"" << prefix << "N]\", got \"" << *line << "\"";
            return std::nullopt;
        }
        return number;
    }
};

TEST_F(ConferenceInvitation, FromAMasterIsJoinedWithItsTypeAndItsTitleChangesAreKept)
{
    make_peer_master(true);
    const struct {
        Tox_Conference_Type type;
        const char *shown;
    } types[] = {{TOX_CONFERENCE_TYPE_TEXT, "Text"}, {TOX_CONFERENCE_TYPE_AV, "Audio"}};
    for (const auto &type : types) {
        SCOPED_TRACE(type.shown);
        const std::optional<std::uint32_t> own = peer_new_conference(type.type);
        ASSERT_TRUE(own);
        const std::size_t out = stdout_mark();
        ASSERT_TRUE(peer_invite_bot(*own));
        const std::optional<std::uint32_t> n = accepted_conference(out);
        ASSERT_TRUE(n);

        std::vector<std::string> last;
        EXPECT_TRUE(wait_for_conference_line(conference_line(*n, type.shown, 2, "None"), &last))
            << "\"info\" should list the joined conference with both peers; got " << ::testing::PrintToString(last);

        ASSERT_TRUE(peer_set_title(*own, "Peer's room"));
        EXPECT_TRUE(wait_for_conference_line(conference_line(*n, type.shown, 2, "Peer's room"), &last))
            << "a title set by a peer should show in \"info\"; got " << ::testing::PrintToString(last);

        const std::string longest(TOX_MAX_NAME_LENGTH, 't');
        ASSERT_TRUE(peer_set_title(*own, longest));
        EXPECT_TRUE(wait_for_conference_line(conference_line(*n, type.shown, 2, longest), &last))
            << "a title of 128 bytes should be kept whole; got " << ::testing::PrintToString(last);

        EXPECT_EQ(replies_to("leave " + std::to_string(*n)), one("Left group " + std::to_string(*n)));
        peer().leave_conference(*own);
    }
}

TEST_F(ConferenceInvitation, FromANonMasterIsIgnoredSilently)
{
    const std::vector<std::string> before = conferences();
    const std::size_t out = stdout_mark();
    const std::size_t err = stderr_mark();
    for (const Tox_Conference_Type type : {TOX_CONFERENCE_TYPE_TEXT, TOX_CONFERENCE_TYPE_AV}) {
        const std::optional<std::uint32_t> own = peer_new_conference(type);
        ASSERT_TRUE(own);
        ASSERT_TRUE(peer_invite_bot(*own));
        // The invitation and the probe travel in order over the friend
        // connection, so the bot has handled the one before it answers the
        // other.
        EXPECT_EQ(conferences(), before) << "the bot should not join a non-master's conference";
        peer().leave_conference(*own);
    }
    EXPECT_EQ(bot().stdout_mark(), out) << "nothing should be logged\n" << bot().describe_output();
    EXPECT_EQ(stderr_lines_after(err), std::vector<std::string>{}) << "nothing should be logged";
}

}  // namespace
}  // namespace zorvik::e2e
