// Cost of the hourly maintenance pass, in process: remove_stale_friends
// (which ends with a save, flushed to disk) and sweep_empty_groups, on an
// identity with 10, 100 and 1,000 friends and 100 registered conferences.
// The friends were all online a moment ago (the steady state of a running
// bot: nobody is deleted, but every friend is looked at and the whole save
// is written); one more case times the purge of friends that were never
// online, which all go. The conferences are new and hold only the bot, so
// the sweep leaves every one of them; they are made again, untimed, before
// each pass. Creates Tox instances: run it inside scripts/netns-run.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bot_state.hpp"
#include "groups/registry.hpp"
#include "groups/conferences.hpp"
#include "runtime/maintenance.hpp"
#include "support/bench_support.hpp"

namespace {

constexpr int conferences = 100;

std::uint64_t now_seconds()
{
    return static_cast<std::uint64_t>(std::time(nullptr));
}

// One live instance at a time, remade when another friend count or kind is
// asked for.
struct Instance {
    Tox *tox = nullptr;
    std::size_t friends = 0;
    bool recently_seen = false;
    std::vector<std::uint8_t> save;
};
Instance current;

void drop_instance()
{
    if (current.tox != nullptr) {
        tox_kill(current.tox);
        current.tox = nullptr;
    }
}

Tox *instance_with(std::size_t friends, bool recently_seen)
{
    if (current.tox != nullptr && current.friends == friends && current.recently_seen == recently_seen) {
        return current.tox;
    }
    drop_instance();
    current.save = bench::make_save_with_friends(friends, recently_seen ? now_seconds() : 0, 42);
    current.tox = current.save.empty() ? nullptr : bench::new_tox(current.save);
    current.friends = friends;
    current.recently_seen = recently_seen;
    return current.tox;
}

// Reloads the instance from its save data, so deleted friends are back.
Tox *reload_instance()
{
    drop_instance();
    current.tox = bench::new_tox(current.save);
    return current.tox;
}

void fresh_state()
{
    zorvik::registry_clear();
    zorvik::reset_bot_state(now_seconds());
}

// Makes `conferences` new conferences and registers each, as "group text"
// does; false when the library refuses one.
bool make_conferences(Tox *tox)
{
    for (int i = 0; i < conferences; ++i) {
        Tox_Err_Conference_New error = TOX_ERR_CONFERENCE_NEW_OK;
        const std::uint32_t number = tox_conference_new(tox, &error);
        if (error != TOX_ERR_CONFERENCE_NEW_OK || zorvik::group_add(number, 0, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

void BM_FriendPurge_RecentlySeen(benchmark::State &state)
{
    const auto friends = static_cast<std::size_t>(state.range(0));
    Tox *tox = instance_with(friends, true);
    if (tox == nullptr) {
        state.SkipWithError("could not make the identity");
        return;
    }
    fresh_state();
    for (auto _ : state) {
        zorvik::remove_stale_friends(tox);
    }
    if (tox_self_get_friend_list_size(tox) != friends) {
        state.SkipWithError("recently seen friends were deleted");
    }
}

void BM_FriendPurge_NeverSeenAllDeleted(benchmark::State &state)
{
    const auto friends = static_cast<std::size_t>(state.range(0));
    if (instance_with(friends, false) == nullptr) {
        state.SkipWithError("could not make the identity");
        return;
    }
    fresh_state();
    for (auto _ : state) {
        state.PauseTiming();
        Tox *tox = reload_instance();
        state.ResumeTiming();
        zorvik::remove_stale_friends(tox);
        if (tox_self_get_friend_list_size(tox) != 0) {
            state.SkipWithError("never-seen friends survived the purge");
            break;
        }
    }
}

void BM_EmptyConferenceSweep_100(benchmark::State &state)
{
    Tox *tox = instance_with(static_cast<std::size_t>(state.range(0)), true);
    if (tox == nullptr) {
        state.SkipWithError("could not make the identity");
        return;
    }
    fresh_state();
    for (auto _ : state) {
        state.PauseTiming();
        const bool made = make_conferences(tox);
        state.ResumeTiming();
        if (!made) {
            state.SkipWithError("tox_conference_new or group_add failed");
            break;
        }
        zorvik::sweep_empty_groups(tox);
    }
    if (tox_conference_get_chatlist_size(tox) != 0 || zorvik::group_slot_count() != 0) {
        state.SkipWithError("the sweep left conferences behind");
    }
}

// The whole pass as the main loop runs it: purge, then sweep.
void BM_MaintenancePass_100Conferences(benchmark::State &state)
{
    Tox *tox = instance_with(static_cast<std::size_t>(state.range(0)), true);
    if (tox == nullptr) {
        state.SkipWithError("could not make the identity");
        return;
    }
    fresh_state();
    for (auto _ : state) {
        state.PauseTiming();
        const bool made = make_conferences(tox);
        state.ResumeTiming();
        if (!made) {
            state.SkipWithError("tox_conference_new or group_add failed");
            break;
        }
        zorvik::remove_stale_friends(tox);
        zorvik::sweep_empty_groups(tox);
    }
}

}  // namespace

BENCHMARK(BM_FriendPurge_RecentlySeen)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FriendPurge_NeverSeenAllDeleted)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_EmptyConferenceSweep_100)->Arg(10)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MaintenancePass_100Conferences)
    ->Arg(10)
    ->Arg(100)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char **argv)
{
    bench::require_private_namespace("bench_maintenance");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    // remove_stale_friends saves into the working folder.
    const std::string folder = bench::make_scratch_dir("zorvik-bench-maint-");
    if (chdir(folder.c_str()) != 0) {
        return 1;
    }
    // The sweep logs one line per conference on standard error; it goes to
    // a file, as it would to a log, not to the terminal.
    const int log = open("maintenance-stderr.log", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int saved_stderr = dup(STDERR_FILENO);
    if (log >= 0) {
        dup2(log, STDERR_FILENO);
        close(log);
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    drop_instance();
    fresh_state();
    if (saved_stderr >= 0) {
        dup2(saved_stderr, STDERR_FILENO);
        close(saved_stderr);
    }
    bench::remove_tree(folder);
    return 0;
}
