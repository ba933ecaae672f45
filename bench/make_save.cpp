// bench_make_save: writes a save-data file for the bot with a new identity
// and N friends of random public keys, for start-up and scale measurements.
// By default every friend's last-online time is now, so the bot's purge
// keeps them (as it keeps friends of a running bot); --never-seen leaves it
// at 0, and the bot's first purge then deletes them all.
// Usage: bench_make_save N OUTPUT [--never-seen] [--seed S]
// Creates Tox instances: run it inside scripts/netns-run.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "support/bench_support.hpp"

int main(int argc, char **argv)
{
    bench::require_private_namespace("bench_make_save");
    if (argc < 3) {
        std::fputs("usage: bench_make_save N OUTPUT [--never-seen] [--seed S]\n", stderr);
        return 2;
    }
    char *end = nullptr;
    const unsigned long long friends = std::strtoull(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || friends > 100000) {
        std::fputs("bench_make_save: N must be a number from 0 to 100000\n", stderr);
        return 2;
    }
    const std::string output = argv[2];
    bool never_seen = false;
    std::uint64_t seed = 1;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--never-seen") == 0) {
            never_seen = true;
        } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr, "bench_make_save: unknown argument %s\n", argv[i]);
            return 2;
        }
    }

    const std::uint64_t last_seen = never_seen ? 0 : static_cast<std::uint64_t>(std::time(nullptr));
    const std::vector<std::uint8_t> save = bench::make_save_with_friends(friends, last_seen, seed);
    if (save.empty()) {
        return 1;
    }
    if (!bench::write_file(output, save)) {
        std::fprintf(stderr, "bench_make_save: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %llu friends, %zu bytes\n", output.c_str(), friends, save.size());
    return 0;
}
