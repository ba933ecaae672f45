// recount_online_friends on a real Tox instance: the count is made afresh
// from the friend list, never adjusted.
//
// Runs inside the private network namespace.
#include <cstdint>

#include <gtest/gtest.h>

#include "bot_state.hpp"
#include "events/friend_events.hpp"
#include "support/files.hpp"
#include "support/tox_instances.hpp"

namespace {

using namespace zorvik;

class RecountOnlineFriends : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_bot_state(0);
        tox_ = test::make_tox();
        ASSERT_NE(tox_, nullptr) << test::tox_unavailable_reason();
    }
    test::ToxPtr tox_;
};

TEST_F(RecountOnlineFriends, NoFriendsGiveZero)
{
    bot_state.online_friends = 5;  // a stale count from before
    recount_online_friends(tox_.get());
    EXPECT_EQ(bot_state.online_friends, 0);
}

TEST_F(RecountOnlineFriends, FriendsThatAreOfflineAreNotCounted)
{
    for (int i = 0; i < 3; ++i) {
        test::ToxPtr other = test::make_tox();
        ASSERT_NE(other, nullptr);
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        tox_self_get_public_key(other.get(), key);
        ASSERT_NE(tox_friend_add_norequest(tox_.get(), key, nullptr), UINT32_MAX);
    }
    bot_state.online_friends = 2;
    recount_online_friends(tox_.get());
    EXPECT_EQ(bot_state.online_friends, 0);

    // The connection event runs the same recount, whatever it reports.
    bot_state.online_friends = 7;
    on_friend_connection_status(tox_.get(), 0, TOX_CONNECTION_UDP, nullptr);
    EXPECT_EQ(bot_state.online_friends, 0);
}

}  // namespace
