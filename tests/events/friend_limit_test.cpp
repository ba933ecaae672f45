// The friend limit on real Tox instances: at the limit a request replaces
// the friend offline the longest, never a master and never a friend online
// now; with nobody to replace it is declined; a bot over the limit (an older
// save) replaces one friend per request, so its count never grows. Also the
// count of friends online, made afresh from the friend list.
//
// Runs inside the private network namespace; one test connects two
// instances in this process (LAN discovery, about 10 s).
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/tox_id.hpp"
#include "bot_state.hpp"
#include "events/friend_events.hpp"
#include "events/friend_limit.hpp"
#include "support/files.hpp"
#include "support/hex.hpp"
#include "support/tox_instances.hpp"

namespace {

using namespace zorvik;
using test::ToxPtr;

using Key = std::vector<std::uint8_t>;

std::string key_text(const Key &key)
{
    char text[2 * TOX_PUBLIC_KEY_SIZE + 1];
    format_public_key(key.data(), text);
    return text;
}

bool is_friend(const Tox *tox, const Key &key)
{
    return tox_friend_by_public_key(tox, key.data(), nullptr) != UINT32_MAX;
}

// Calls make_room_for_friend for a request from `key` and keeps what it wrote.
struct Outcome {
    bool accepted;
    std::string out;
    std::string err;
};
Outcome request_room(Tox *tox, const Key &key, std::size_t limit)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool accepted = make_room_for_friend(tox, key.data(), limit);
    return {accepted, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

// A bot whose friends were last online at the given times (0: never), in
// friend-number order; the master list in the working folder is empty.
class FriendLimit : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_bot_state(0);
        ASSERT_TRUE(cwd_.ok());
        ASSERT_TRUE(test::write_file(dir_.file("masterkeys"), ""));
    }

    void make_bot(const std::vector<std::uint64_t> &last_online)
    {
        ToxPtr fresh = test::make_tox();
        ASSERT_NE(fresh, nullptr) << test::tox_unavailable_reason();
        keys_.clear();
        for (std::size_t i = 0; i < last_online.size(); ++i) {
            std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
            test::random_public_key(key, seed_);
            ASSERT_NE(tox_friend_add_norequest(fresh.get(), key, nullptr), UINT32_MAX);
            keys_.emplace_back(key, key + sizeof key);
        }
        std::string save = test::savedata_of(fresh.get());
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            ASSERT_NE(test::patch_last_online(save, 0, keys_[i].data(), last_online[i]), std::string::npos);
        }
        bot_ = test::make_tox_from(save);
        ASSERT_NE(bot_, nullptr);
        for (std::size_t i = 0; i < keys_.size(); ++i) {
            ASSERT_EQ(tox_friend_get_last_online(bot_.get(), static_cast<std::uint32_t>(i), nullptr), last_online[i]);
        }
    }

    void make_master(const Key &key)
    {
        ASSERT_TRUE(test::write_file(dir_.file("masterkeys"), key_text(key) + "\n"));
    }

    Key new_key()
    {
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        test::random_public_key(key, seed_);
        return Key(key, key + sizeof key);
    }

    std::size_t friend_count() const { return tox_self_get_friend_list_size(bot_.get()); }

    test::TempDir dir_;
    test::ScopedChdir cwd_{dir_.path()};
    std::uint64_t seed_ = 42;
    ToxPtr bot_;
    std::vector<Key> keys_;
};

TEST_F(FriendLimit, BelowTheLimitOrForAFriendNothingIsRemoved)
{
    make_bot({300, 100, 200});
    for (const auto &[key, limit] : std::vector<std::pair<Key, std::size_t>>{{new_key(), 4}, {keys_[1], 3}}) {
        const Outcome outcome = request_room(bot_.get(), key, limit);
        EXPECT_TRUE(outcome.accepted);
        EXPECT_EQ(outcome.out + outcome.err, "");
        EXPECT_EQ(friend_count(), 3u);
    }
}

TEST_F(FriendLimit, AtTheLimitTheFriendOfflineLongestGivesWayButNeverAMaster)
{
    // Friend 3 was never online: the oldest of all, but a master.
    make_bot({300, 100, 200, 0});
    make_master(keys_[3]);
    const Outcome outcome = request_room(bot_.get(), new_key(), 4);
    EXPECT_TRUE(outcome.accepted);
    EXPECT_EQ(outcome.out,
              "Friend " + key_text(keys_[1]) + " removed (offline the longest): limit of 4 friends reached\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(is_friend(bot_.get(), keys_[1]));
    EXPECT_EQ(friend_count(), 3u);
}

TEST_F(FriendLimit, OverTheLimitEachRequestRemovesOneSoTheCountNeverGrows)
{
    // An older save holds more friends than the real limit; nothing happens
    // until a request comes, and then the count stays where it was.
    std::vector<std::uint64_t> times(max_friends + 2);
    for (std::size_t i = 0; i < times.size(); ++i) {
        times[i] = 1000 + (i * 7919) % times.size();  // distinct, in no order
    }
    make_bot(times);
    std::size_t oldest = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        oldest = times[i] < times[oldest] ? i : oldest;
    }
    const Key stranger = new_key();
    testing::internal::CaptureStdout();
    on_friend_request(bot_.get(), stranger.data(), nullptr, 0, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(friend_count(), max_friends + 2);
    EXPECT_TRUE(is_friend(bot_.get(), stranger));
    EXPECT_FALSE(is_friend(bot_.get(), keys_[oldest]));
    EXPECT_EQ(out, "Friend " + key_text(keys_[oldest]) + " removed (offline the longest): limit of " +
                       std::to_string(max_friends) + " friends reached\n");
    ToxPtr saved = test::make_tox_from(test::read_file(dir_.file("zorvik_save")));
    ASSERT_NE(saved, nullptr) << "the request should be followed by a save";
    EXPECT_EQ(tox_self_get_friend_list_size(saved.get()), max_friends + 2);
}

TEST_F(FriendLimit, AFriendOnlineNowIsKeptAndWithNobodyToReplaceTheRequestIsDeclined)
{
    // The bot's only friends: a master who is offline and a friend who is
    // connected right now.
    ToxPtr bot = test::make_tox(true);
    ToxPtr online = test::make_tox(true);
    ASSERT_NE(bot, nullptr) << test::tox_unavailable_reason();
    ASSERT_NE(online, nullptr);
    const Key master = new_key();
    ASSERT_NE(tox_friend_add_norequest(bot.get(), master.data(), nullptr), UINT32_MAX);
    make_master(master);
    Key online_key(TOX_PUBLIC_KEY_SIZE);
    tox_self_get_public_key(online.get(), online_key.data());
    std::uint8_t bot_key[TOX_PUBLIC_KEY_SIZE];
    tox_self_get_public_key(bot.get(), bot_key);
    const std::uint32_t online_number = tox_friend_add_norequest(bot.get(), online_key.data(), nullptr);
    ASSERT_NE(online_number, UINT32_MAX);
    ASSERT_NE(tox_friend_add_norequest(online.get(), bot_key, nullptr), UINT32_MAX);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (tox_friend_get_connection_status(bot.get(), online_number, nullptr) == TOX_CONNECTION_NONE) {
        ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the two instances did not connect";
        tox_iterate(bot.get(), nullptr);
        tox_iterate(online.get(), nullptr);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // The online count is made afresh from the friend list: one of two.
    bot_state.online_friends = 7;
    recount_online_friends(bot.get());
    EXPECT_EQ(bot_state.online_friends, 1);

    const Key stranger = new_key();
    const Outcome outcome = request_room(bot.get(), stranger, 2);
    EXPECT_FALSE(outcome.accepted);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "Friend request from " + key_text(stranger) +
                               " declined: limit of 2 friends reached, none offline to replace\n");
    EXPECT_EQ(tox_self_get_friend_list_size(bot.get()), 2u);
}

}  // namespace
