// The caps on conferences, on a real Tox instance: "group" at the cap first
// recycles the registered empty conferences and refuses only when that
// frees nothing; a master's invitation at the cap is declined; a plain
// friend may hold only a few rooms of his own. Also a master's invitation
// that the library cannot join registers nothing.
//
// Runs inside the private network namespace. The friend is added without a
// request and never connects, so replies go nowhere; what the bot did shows
// in its log lines and in the library's chat list.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "bot_state.hpp"
#include "commands/command_table.hpp"
#include "events/conference_events.hpp"
#include "groups/conferences.hpp"
#include "groups/registry.hpp"
#include "support/files.hpp"
#include "support/tox_instances.hpp"

namespace {

using namespace zorvik;

class ConferenceCap : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry_clear();
        reset_bot_state(0);
        ASSERT_TRUE(cwd_.ok());
        ASSERT_NE(pair_.bot, nullptr) << zorvik::test::tox_unavailable_reason();
        ASSERT_TRUE(zorvik::test::write_file(dir_.file("masterkeys"), pair_.other_id + "\n"));
    }
    void TearDown() override { registry_clear(); }

    Tox *bot() { return pair_.bot.get(); }
    std::size_t conferences() { return tox_conference_get_chatlist_size(bot()); }

    // `count` new text conferences, registered like those "group" makes or
    // left unregistered like those a bot could not know.
    void fill(std::uint32_t count, bool registered)
    {
        for (std::uint32_t i = 0; i < count; ++i) {
            Tox_Err_Conference_New error = TOX_ERR_CONFERENCE_NEW_OK;
            const std::uint32_t number = tox_conference_new(bot(), &error);
            ASSERT_EQ(error, TOX_ERR_CONFERENCE_NEW_OK);
            if (registered) {
                ASSERT_EQ(group_add(number, 0, nullptr), 0);
            }
        }
    }

    struct Output {
        std::string out;
        std::string err;
    };

    Output run(const std::string &command)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        run_command(bot(), pair_.friend_number, command.c_str());
        Output output;
        output.out = testing::internal::GetCapturedStdout();
        output.err = testing::internal::GetCapturedStderr();
        return output;
    }

    Output invite(const std::string &cookie)
    {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        on_conference_invite(bot(), pair_.friend_number, TOX_CONFERENCE_TYPE_TEXT,
                             reinterpret_cast<const std::uint8_t *>(cookie.data()), cookie.size(), nullptr);
        Output output;
        output.out = testing::internal::GetCapturedStdout();
        output.err = testing::internal::GetCapturedStderr();
        return output;
    }

    zorvik::test::TempDir dir_;
    zorvik::test::ScopedChdir cwd_{dir_.path()};
    zorvik::test::BotWithFriend pair_ = zorvik::test::make_bot_with_friend();
};

TEST_F(ConferenceCap, GroupBelowTheCapCreatesAsBefore)
{
    fill(max_conferences - 1, true);
    const Output output = run("group text");
    EXPECT_EQ(output.out, "Group chat " + std::to_string(max_conferences - 1) + " created by \n");
    EXPECT_EQ(output.err, "") << "nothing is swept below the cap";
    EXPECT_EQ(conferences(), max_conferences);
}

TEST_F(ConferenceCap, GroupAtTheCapRecyclesEmptyConferencesFirst)
{
    fill(max_conferences, true);
    const Output output = run("group text");
    EXPECT_EQ(output.out, "Group chat 0 created by \n");
    std::string swept;
    for (std::uint32_t i = 0; i < max_conferences; ++i) {
        swept += "Deleting empty group " + std::to_string(i) + "\n";
    }
    EXPECT_EQ(output.err, swept) << "the sweep logs as the hourly one does";
    EXPECT_EQ(conferences(), 1u);
    EXPECT_EQ(group_slot_count(), 1);
}

TEST_F(ConferenceCap, GroupAtTheCapWithNothingToRecycleIsRefused)
{
    // Conferences the registry does not hold are never swept.
    fill(max_conferences, false);
    const Output output = run("group audio");
    EXPECT_EQ(output.out, "Group chat creation by  refused: limit of 1000 groups reached\n");
    EXPECT_EQ(conferences(), max_conferences) << "nothing may be created at the cap";
    EXPECT_EQ(group_slot_count(), 0) << "nothing may be registered at the cap";
}

TEST_F(ConferenceCap, APlainFriendHoldsAFewRoomsOfHisOwnAndAMasterAnyNumber)
{
    const std::string refused = "Group chat creation by  refused: limit of " +
                                std::to_string(max_groups_per_creator) + " groups per friend reached\n";
    ASSERT_TRUE(zorvik::test::write_file(dir_.file("masterkeys"), ""));
    for (std::int32_t i = 0; i < max_groups_per_creator; ++i) {
        EXPECT_EQ(run("group text").out, "Group chat " + std::to_string(i) + " created by \n");
    }
    EXPECT_EQ(run("group audio pw").out, refused);
    EXPECT_EQ(conferences(), static_cast<std::size_t>(max_groups_per_creator)) << "a refusal creates nothing";

    group_remove(1);  // the bot left one of his rooms (the sweep, "leave")
    tox_conference_delete(bot(), 1, nullptr);
    EXPECT_EQ(run("group text").out, "Group chat 1 created by \n");
    EXPECT_EQ(run("group text").out, refused);

    ASSERT_TRUE(zorvik::test::write_file(dir_.file("masterkeys"), pair_.other_id + "\n"));
    EXPECT_EQ(run("group text").out, "Group chat " + std::to_string(max_groups_per_creator) + " created by \n")
        << "a master is not limited";
}

// An invitation whose cookie the library cannot use fails to join, and at
// the cap one is declined before the library is asked.
TEST_F(ConferenceCap, MastersInvitationThatCannotBeJoinedRegistersNothing)
{
    const struct {
        const char *what;
        std::uint32_t held;
        const char *line;
    } cases[] = {
        {"malformed cookie below the cap", 0, "Invite from  failed (core failure)\n"},
        {"any cookie at the cap", max_conferences, "Invite from  declined (limit of 1000 groups reached)\n"},
    };
    for (const auto &c : cases) {
        fill(c.held - static_cast<std::uint32_t>(conferences()), false);
        const Output output = invite(std::string(100, 'x'));
        EXPECT_EQ(output.err, c.line) << c.what;
        EXPECT_EQ(output.out, "") << c.what << ": nothing may be reported as accepted";
        EXPECT_EQ(group_slot_count(), 0) << c.what << ": nothing may be registered";
        EXPECT_EQ(conferences(), c.held) << c.what;
    }
}

}  // namespace
