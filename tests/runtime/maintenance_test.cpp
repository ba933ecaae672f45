// The two hourly jobs on real Tox instances: the friend purge (its limit test
// and its save on every run) and the sweep of conferences where the bot is
// alone, walked slot by slot over the group registry.
//
// Runs inside the private network namespace. The sweep tests need
// conferences with two peers, so the suite connects a second, in-process Tox
// instance to the bot once (over loopback) and invites it into two
// conferences that every test may register.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bot_state.hpp"
#include "groups/registry.hpp"
#include "groups/conferences.hpp"
#include "runtime/main_loop.hpp"
#include "runtime/maintenance.hpp"
#include "support/files.hpp"
#include "support/tox_instances.hpp"
#include "storage/save_data.hpp"

namespace {

using namespace zorvik;
using zorvik::test::make_tox;
using zorvik::test::ToxPtr;

constexpr std::uint64_t day = 86400;
constexpr std::uint64_t year = 365 * day;

// The schedule reads only the monotonic clock, whose readings never go back;
// the rows are readings in time order, starting just after a boot (a small
// reading must not hold the first run).
TEST(JobSchedule, RunsInTheFirstPassThenOnceAnHourOnTheMonotonicClock)
{
    const struct {
        std::uint64_t now;
        bool due;
    } passes[] = {
        {5, true},     // the first pass, whatever the clock reads
        {5, false},    {3604, false},
        {3605, true},  // one interval after the last run
        {3606, false}, {7204, false},
        {90000, true}, // a long pause (a suspended machine): one run, not many
        {90001, false},
    };
    JobSchedule job{};
    for (const auto &pass : passes) {
        EXPECT_EQ(job_due(job, pass.now, maintenance_interval_seconds), pass.due) << "at " << pass.now << " s";
    }
}

TEST(IsFriendStale, OnlyAnAbsenceBeyondTheLimitDeletes)
{
    const std::uint64_t now = 1700000000;
    const struct {
        const char *what;
        std::uint64_t now;
        std::uint64_t last_online;
        std::uint64_t limit;
        bool stale;
    } cases[] = {
        {"absent exactly the limit", now, now - year, year, false},
        {"one second beyond the limit", now, now - year - 1, year, true},
        {"online now", now, now, year, false},
        {"a zero limit, online now", 100, 100, 0, false},
        {"a zero limit, one second ago", 100, 99, 0, true},
        {"last online after now (the clock was set back)", 1000, 1001, year, false},
        {"last online far after now", 0, UINT64_MAX, 0, false},
        {"never seen: absent since the epoch", now, 0, year, true},
        {"never seen, the largest limit", now, 0, UINT64_MAX, false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_friend_stale(c.now, c.last_online, c.limit), c.stale) << c.what;
    }
}

// --- friend purge --------------------------------------------------------

class RemoveStaleFriends : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry_clear();
        reset_bot_state(static_cast<std::uint64_t>(std::time(nullptr)));
        ASSERT_TRUE(cwd_.ok());
        tox_ = make_tox();
        ASSERT_NE(tox_, nullptr) << zorvik::test::tox_unavailable_reason();
    }

    // A friend that was added without a request and never came online.
    std::uint32_t add_offline_friend()
    {
        ToxPtr other = make_tox();
        EXPECT_NE(other, nullptr);
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        tox_self_get_public_key(other.get(), key);
        Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
        const std::uint32_t number = tox_friend_add_norequest(tox_.get(), key, &error);
        EXPECT_EQ(error, TOX_ERR_FRIEND_ADD_OK);
        return number;
    }

    zorvik::test::TempDir dir_;
    zorvik::test::ScopedChdir cwd_{dir_.path()};
    ToxPtr tox_;
};

TEST_F(RemoveStaleFriends, SavesEvenWithAnEmptyFriendList)
{
    ASSERT_EQ(tox_self_get_friend_list_size(tox_.get()), 0u);
    ASSERT_FALSE(std::filesystem::exists(save_path));

    testing::internal::CaptureStderr();
    remove_stale_friends(tox_.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    ASSERT_TRUE(std::filesystem::exists(save_path)) << "the purge should end with a save";
    EXPECT_EQ(zorvik::test::read_file(save_path), zorvik::test::savedata_of(tox_.get()));
}

TEST_F(RemoveStaleFriends, RewritesAnExistingSaveFile)
{
    ASSERT_TRUE(zorvik::test::write_file(save_path, "stale contents"));
    remove_stale_friends(tox_.get());
    EXPECT_EQ(zorvik::test::read_file(save_path), zorvik::test::savedata_of(tox_.get()));
}

TEST_F(RemoveStaleFriends, DeletesAFriendAbsentLongerThanTheLimitAndSavesTheResult)
{
    const std::uint32_t number = add_offline_friend();
    // A friend that was never online reports a last-online time far in the
    // past (or none at all); either way it is not seen within the last year.
    Tox_Err_Friend_Get_Last_Online error = TOX_ERR_FRIEND_GET_LAST_ONLINE_OK;
    const std::uint64_t last_online = tox_friend_get_last_online(tox_.get(), number, &error);
    ASSERT_EQ(error, TOX_ERR_FRIEND_GET_LAST_ONLINE_OK);
    ASSERT_LT(last_online, static_cast<std::uint64_t>(std::time(nullptr)) - year)
        << "test premise: a friend that never came online is older than the default limit";

    remove_stale_friends(tox_.get());

    EXPECT_FALSE(tox_friend_exists(tox_.get(), number)) << "friend absent since " << last_online << " was kept";
    EXPECT_EQ(zorvik::test::read_file(save_path), zorvik::test::savedata_of(tox_.get()))
        << "the saved file should already lack the deleted friend";
}

TEST_F(RemoveStaleFriends, KeepsFriendsWithinALimitThatTheyDoNotExceed)
{
    const std::uint32_t number = add_offline_friend();
    bot_state.inactive_limit_seconds = UINT64_MAX;

    remove_stale_friends(tox_.get());

    EXPECT_TRUE(tox_friend_exists(tox_.get(), number));
    EXPECT_EQ(tox_self_get_friend_list_size(tox_.get()), 1u);
    EXPECT_TRUE(std::filesystem::exists(save_path));
}

// --- sweep of empty conferences ------------------------------------------

// The bot and a second instance that are friends and share two conferences,
// set up once for the whole suite.
struct ConnectedPair {
    ToxPtr bot;
    ToxPtr peer;
    std::uint32_t full_a = 0;
    std::uint32_t full_b = 0;
    std::string failure;  // empty when the set-up succeeded
};

ConnectedPair *shared_pair = nullptr;

void on_peer_invited(Tox *tox, std::uint32_t friend_number, Tox_Conference_Type, const std::uint8_t *cookie,
                     std::size_t length, void *)
{
    tox_conference_join(tox, friend_number, cookie, length, nullptr);
}

// Iterates both instances until `done` says so or `seconds` pass.
template <typename Done>
bool iterate_until(ConnectedPair &p, int seconds, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        tox_iterate(p.bot.get(), nullptr);
        tox_iterate(p.peer.get(), nullptr);
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void bootstrap_to(Tox *from, const Tox *to)
{
    std::uint8_t dht_id[TOX_PUBLIC_KEY_SIZE];
    tox_self_get_dht_id(to, dht_id);
    const std::uint16_t port = tox_self_get_udp_port(to, nullptr);
    tox_bootstrap(from, "127.0.0.1", port, dht_id, nullptr);
}

std::uint32_t full_conference(ConnectedPair &p)
{
    const std::uint32_t number = tox_conference_new(p.bot.get(), nullptr);
    tox_conference_invite(p.bot.get(), 0, number, nullptr);
    return number;
}

bool has_two_peers(const Tox *tox, std::uint32_t number)
{
    Tox_Err_Conference_Peer_Query error = TOX_ERR_CONFERENCE_PEER_QUERY_OK;
    const std::uint32_t peers = tox_conference_peer_count(tox, number, &error);
    return error == TOX_ERR_CONFERENCE_PEER_QUERY_OK && peers >= 2;
}

void connect_pair(ConnectedPair &p)
{
    p.bot = make_tox(true);
    p.peer = make_tox(true);
    if (p.bot == nullptr || p.peer == nullptr) {
        p.failure = zorvik::test::tox_unavailable_reason();
        return;
    }
    tox_callback_conference_invite(p.peer.get(), on_peer_invited);

    std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
    tox_self_get_public_key(p.peer.get(), key);
    tox_friend_add_norequest(p.bot.get(), key, nullptr);
    tox_self_get_public_key(p.bot.get(), key);
    tox_friend_add_norequest(p.peer.get(), key, nullptr);
    bootstrap_to(p.bot.get(), p.peer.get());
    bootstrap_to(p.peer.get(), p.bot.get());

    const bool connected = iterate_until(p, 60, [&p] {
        return tox_friend_get_connection_status(p.bot.get(), 0, nullptr) != TOX_CONNECTION_NONE &&
               tox_friend_get_connection_status(p.peer.get(), 0, nullptr) != TOX_CONNECTION_NONE;
    });
    if (!connected) {
        p.failure = "the two instances did not become connected friends within 60 s";
        return;
    }
    p.full_a = full_conference(p);
    p.full_b = full_conference(p);
    const bool joined = iterate_until(p, 60, [&p] {
        return has_two_peers(p.bot.get(), p.full_a) && has_two_peers(p.bot.get(), p.full_b);
    });
    if (!joined) {
        p.failure = "the peer did not join both conferences within 60 s";
    }
}

class SweepEmptyGroups : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        shared_pair = new ConnectedPair;
        connect_pair(*shared_pair);
    }
    static void TearDownTestSuite()
    {
        delete shared_pair;
        shared_pair = nullptr;
    }

    void SetUp() override
    {
        registry_clear();
        reset_bot_state(static_cast<std::uint64_t>(std::time(nullptr)));
        ASSERT_EQ(shared_pair->failure, "");
        bot_ = shared_pair->bot.get();
    }
    void TearDown() override
    {
        registry_clear();
        reset_bot_state(0);
    }

    // A conference that holds only the bot.
    std::uint32_t lonely_conference()
    {
        Tox_Err_Conference_New error = TOX_ERR_CONFERENCE_NEW_OK;
        const std::uint32_t number = tox_conference_new(bot_, &error);
        EXPECT_EQ(error, TOX_ERR_CONFERENCE_NEW_OK);
        EXPECT_EQ(tox_conference_peer_count(bot_, number, nullptr), 1u);
        return number;
    }

    bool library_knows(std::uint32_t number)
    {
        Tox_Err_Conference_Peer_Query error = TOX_ERR_CONFERENCE_PEER_QUERY_OK;
        tox_conference_peer_count(bot_, number, &error);
        return error == TOX_ERR_CONFERENCE_PEER_QUERY_OK;
    }

    static std::string deleting(std::uint32_t number)
    {
        return "Deleting empty group " + std::to_string(number) + "\n";
    }

    // Runs the sweep and returns what it wrote on standard error.
    std::string sweep()
    {
        testing::internal::CaptureStderr();
        sweep_empty_groups(bot_);
        return testing::internal::GetCapturedStderr();
    }

    static bool slot_is_zero(std::int32_t index)
    {
        static const GroupRecord zero{};
        return std::memcmp(&group_at(index), &zero, sizeof zero) == 0;
    }

    Tox *bot_ = nullptr;
};

TEST_F(SweepEmptyGroups, NeverSweepsAConferenceTheRegistryDoesNotHold)
{
    const std::uint32_t unregistered = lonely_conference();

    EXPECT_EQ(sweep(), "");
    EXPECT_TRUE(library_knows(unregistered));
    tox_conference_delete(bot_, unregistered, nullptr);
}

// Registries laid out slot by slot: F a conference with two peers, E one
// where the bot is alone, U a number the library does not know (counted as
// empty). After the sweep the slots read as listed, "-" for a free slot;
// every E and U is logged and left, in slot order, and nothing else is.
TEST_F(SweepEmptyGroups, LeavesEveryEmptyConferenceAndKeepsTheSlotsOfTheOthers)
{
    const struct {
        const char *before;
        const char *after;
    } cases[] = {
        {"", ""},         {"E", ""},          {"U", ""},          {"F F", "F F"},
        {"F E F", "F - F"}, {"F F E", "F F"}, {"E E F E", "- - F"}, {"E E", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string("before «") + c.before + "», after «" + c.after + "»");
        registry_clear();
        reset_bot_state(0);
        std::string expected_log;
        std::vector<std::uint32_t> left;
        std::uint32_t unknown = 4000;
        std::size_t fulls = 0;
        for (const char *kind = c.before; *kind != '\0'; ++kind) {
            std::uint32_t number = 0;
            if (*kind == 'F') {
                number = fulls++ == 0 ? shared_pair->full_a : shared_pair->full_b;
            } else if (*kind == 'E') {
                number = lonely_conference();
                left.push_back(number);
            } else if (*kind == 'U') {
                number = unknown++;
            } else {
                continue;
            }
            ASSERT_EQ(group_add(number, 0, nullptr), 0);
            if (*kind != 'F') {
                expected_log += deleting(number);
            }
        }
        EXPECT_EQ(sweep(), expected_log);
        for (const std::uint32_t gone : left) {
            EXPECT_FALSE(library_knows(gone)) << "conference " << gone << " should be left in the library too";
        }
        std::string after;
        for (std::int32_t i = 0; i < group_slot_count(); ++i) {
            const GroupRecord &slot = group_at(i);
            after += after.empty() ? "" : " ";
            if (slot.in_use == 0) {
                after += slot_is_zero(i) ? "-" : "?";
            } else {
                const bool full = slot.conference_number == shared_pair->full_a ||
                                  slot.conference_number == shared_pair->full_b;
                after += full ? "F" : "E";
            }
        }
        EXPECT_EQ(after, c.after);
    }
}

TEST_F(SweepEmptyGroups, DoesNotSpareTheDefaultRoom)
{
    const std::uint32_t lonely = lonely_conference();
    ASSERT_EQ(group_add(lonely, 0, nullptr), 0);
    bot_state.default_room = static_cast<std::int32_t>(lonely);

    EXPECT_EQ(sweep(), deleting(lonely));
    EXPECT_EQ(bot_state.default_room, static_cast<std::int32_t>(lonely)) << "the default room keeps its number";
}

// The connected pair doubles as a friend that is online right now: however
// small the limit, the purge keeps it.
TEST_F(SweepEmptyGroups, PurgeKeepsAFriendThatIsConnectedNow)
{
    ASSERT_NE(tox_friend_get_connection_status(bot_, 0, nullptr), TOX_CONNECTION_NONE);
    zorvik::test::TempDir dir;
    zorvik::test::ScopedChdir cwd{dir.path()};
    bot_state.inactive_limit_seconds = 0;

    remove_stale_friends(bot_);

    EXPECT_TRUE(tox_friend_exists(bot_, 0)) << "a connected friend was deleted by the purge";
}

}  // namespace
