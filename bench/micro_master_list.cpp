// Cost of is_master over master lists of 1, 100 and 10,000 lines, with the
// asking friend's Tox ID on the last line (the longest scan that still
// answers yes). is_master reads the friend's key from a Tox instance, so two
// in-process instances are made and one is added to the other as a friend.
// Creates Tox instances: run it inside scripts/netns-run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "storage/master_list.hpp"
#include "support/bench_support.hpp"

namespace {

Tox *bot = nullptr;
std::uint32_t friend_number = 0;
std::string friend_id_line;  // the friend's 76-digit Tox ID

// Writes "masterkeys" with `lines` lines: random Tox IDs, then the friend's.
void write_master_list(std::int64_t lines)
{
    std::uint64_t seed = 12345;
    std::string text;
    for (std::int64_t i = 0; i + 1 < lines; ++i) {
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        bench::random_public_key(key, seed);
        // A key, four nospam bytes and a two-byte checksum, as a Tox ID.
        text += bench::to_hex(key, sizeof key) + "0123ABCD4567\n";
    }
    text += friend_id_line + "\n";
    std::FILE *file = std::fopen(zorvik::master_list_path, "w");
    if (file == nullptr || std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
        std::fputs("cannot write masterkeys\n", stderr);
        std::exit(1);
    }
}

void BM_IsMaster_FriendOnLastLine(benchmark::State &state)
{
    write_master_list(state.range(0));
    for (auto _ : state) {
        // Not const: Google Benchmark 1.9 deprecates DoNotOptimize of a const
        // reference.
        bool master = zorvik::is_master(bot, friend_number);
        if (!master) {
            state.SkipWithError("the friend on the last line was not recognised as a master");
            break;
        }
        benchmark::DoNotOptimize(master);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));  // lines per second
}

}  // namespace

BENCHMARK(BM_IsMaster_FriendOnLastLine)->Arg(1)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    bench::require_private_namespace("bench_master_list");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const std::string folder = bench::make_scratch_dir("zorvik-bench-master-");
    if (chdir(folder.c_str()) != 0) {
        return 1;
    }
    bot = bench::new_tox({});
    Tox *peer = bench::new_tox({});
    if (bot == nullptr || peer == nullptr) {
        return 1;
    }
    std::uint8_t peer_address[TOX_ADDRESS_SIZE];
    tox_self_get_address(peer, peer_address);
    friend_id_line = bench::to_hex(peer_address, sizeof peer_address);
    Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
    friend_number = tox_friend_add_norequest(bot, peer_address, &error);
    if (error != TOX_ERR_FRIEND_ADD_OK) {
        std::fprintf(stderr, "tox_friend_add_norequest failed (error %d)\n", static_cast<int>(error));
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    tox_kill(peer);
    tox_kill(bot);
    bench::remove_tree(folder);
    return 0;
}
