// The bot's identity against sudden death and full disks: whatever moment
// the process dies at, and however its saves fail, the next start finds a
// loadable "zorvik_save" with the same Tox ID.
//
// How the kills meet saves. A reconnection of the peer after a restart costs
// a few seconds of discovery, so each kill is placed where saves are densest
// instead of waiting for many of them: after every restart one master peer
// first proves the new process receives and saves ("name probeN." until the
// bot logs it), then sends "name kKnN" commands back to back, four per
// iteration, for a random 20-400 ms (seeded, replayable), and the bot is
// killed with SIGKILL at the end of that burst. Every such command is one
// save (temporary file, fsync, rename, fsync of the folder), and the peer
// sends faster than the bot can save, so at the kill the bot is saving or
// has saves queued; how many kills caught a save half written (a temporary
// file left behind) is printed at the end. After each kill the bot restarts
// in the same folder and must show the same ID, load the file, hold the last
// or the second-to-last name it logged (the save of the last one may have
// been cut short, the one before it had completed), and leave no temporary
// file behind.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>
#include <thread>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "bot_process.hpp"
#include "hardening_support.hpp"
#include "test_peer.hpp"

namespace zorvik::hardening {
namespace {

using namespace zorvik::e2e;
using namespace std::chrono_literals;

constexpr int kill_count = 20;
constexpr int sends_per_iteration = 4;
constexpr int shortest_burst_ms = 20;
constexpr int longest_burst_ms = 400;
constexpr auto banner_timeout = 15s;
constexpr auto first_connect_timeout = 90s;
constexpr auto reconnect_timeout = 60s;
// Smaller than any save of an identity (about 1 KiB without friends).
constexpr unsigned long file_size_limit = 512;

const std::string save_name = "zorvik_save";
const std::string temp_name = "zorvik_save.tmp";
const std::string save_warning = "Warning: save_data failed";
const std::string banner_end = "Inactive contacts purged after";

long elapsed_ms(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

std::size_t count_lines(const std::vector<std::string> &lines, std::string_view text)
{
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string &line) { return line == text; }));
}

bool contains_line_with(const std::vector<std::string> &lines, std::string_view text)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string &line) { return line.find(text) != std::string::npos; });
}

// Polls until `done` holds or the timeout passes, keeping the peer going.
bool wait_until(TestPeer &peer, const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    return peer.iterate_until(done, timeout);
}

// One bot in one folder and one master peer, shared by the tests of the
// IdentityUnderKills and IdentityBeyondTheFileSizeLimit suites. `plain` runs
// the bot itself, `limited` runs it through the file size launcher; both use
// the same folder, so they are one identity.
struct Rig {
    TempDir folder;
    BotProcess plain{folder.path()};
    BotProcess limited{folder.path(), FSIZE_LAUNCHER};
    BotProcess *current = &plain;
    TestPeer peer{"Crash Peer"};
    std::string bot_id;
    std::string failure;
    bool attempted = false;
    int probes = 0;

    Rig()
    {
        for (BotProcess *bot : {&plain, &limited}) {
            bot->set_idle_hook([this] { peer.iterate_once(); });
        }
        peer.set_idle_hook([this] { current->drain(); });
    }

    std::string file(std::string_view name) const { return folder.file(name); }

    void start()
    {
        attempted = true;
        if (!peer.ok()) {
            failure = "the peer's Tox instance could not be created";
            return;
        }
        // Written before the first start, so the bot never has to create it.
        if (!write_file(file("masterkeys"), peer.tox_id() + "\n")) {
            failure = "could not write masterkeys";
            return;
        }
        if (!plain.start()) {
            failure = "the bot could not be started";
            return;
        }
        bot_id = plain.tox_id(banner_timeout);
        if (bot_id.empty()) {
            failure = "the bot printed no ID\n" + plain.describe_output();
            return;
        }
        if (!peer.add_bot(bot_id) || !peer.wait_until_connected(first_connect_timeout)) {
            failure = "the peer did not connect to the bot within 90 s\n" + plain.describe_output();
        }
    }

    // Sends "name probeN." whenever the peer believes itself connected, until
    // the running bot logs one of them: proof that this very process receives
    // the peer's messages and saves. After a kill the peer still holds the
    // dead process's connection until the new process's handshake replaces
    // it, so a probe that is not logged within a second, or a change of the
    // connection, sends the next one.
    bool confirm_saving(std::chrono::milliseconds timeout)
    {
        BotProcess &bot = *current;
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline) {
            if (!bot.running()) {
                return false;
            }
            if (!peer.connected()) {
                peer.iterate_once();
                continue;
            }
            const std::string name = "probe" + std::to_string(++probes) + ".";
            const std::size_t mark = bot.stdout_mark();
            const std::size_t changes = peer.connection_changes();
            if (!peer.send("name " + name)) {
                peer.iterate_once();
                continue;
            }
            bool logged = false;
            peer.iterate_until(
                [&] {
                    const std::vector<std::string> names = names_set(bot.stdout_lines(), mark);
                    logged = std::find(names.begin(), names.end(), name) != names.end();
                    return logged || peer.connection_changes() != changes;
                },
                1s);
            if (logged) {
                return true;
            }
            std::fprintf(stderr, "DEBUG probe %d not logged; connected %d changes %zu\n", probes, peer.connected(), peer.connection_changes());
        }
        return false;
    }
};

Rig &rig()
{
    static Rig instance;
    return instance;
}

class RigEnvironment : public ::testing::Environment {
public:
    // The bot that is still running at the end must stop cleanly.
    void TearDown() override
    {
        Rig &r = rig();
        if (r.attempted && r.current->running()) {
            EXPECT_EQ(r.current->stop(), 0) << "the bot should exit with status 0 on SIGINT\n"
                                            << r.current->describe_output();
        }
    }
};

[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new RigEnvironment);

class RigSuite : public ::testing::Test {
protected:
    void SetUp() override
    {
        Rig &r = rig();
        if (!r.attempted) {
            r.start();
        }
        ASSERT_TRUE(r.failure.empty()) << "setting up the bot and its peer failed: " << r.failure;
        ASSERT_TRUE(r.plain.running()) << "the bot is no longer running\n" << r.plain.describe_output();
    }
};

class IdentityUnderKills : public RigSuite {};
class IdentityBeyondTheFileSizeLimit : public RigSuite {};

struct KillRecord {
    long burst_ms = 0;
    std::size_t saves_logged = 0;  // "set name to" lines of the burst
    bool temporary_left = false;
    long reconnect_ms = 0;  // until the restarted process logged a probe
};

TEST_F(IdentityUnderKills, SameIdAndALoadableSaveAfterTwentySigkillsDuringSaves)
{
    Rig &r = rig();
    BotProcess &bot = r.plain;
    std::mt19937_64 random(replayable_seed("ZORVIK_CRASH_SEED"));
    std::uniform_int_distribution<int> burst_length(shortest_burst_ms, longest_burst_ms);
    std::vector<KillRecord> records;
    const auto began = Clock::now();

    auto reconnect_began = Clock::now();
    for (int kill = 1; kill <= kill_count; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill) + " of " + std::to_string(kill_count));
        KillRecord record;
        ASSERT_TRUE(r.confirm_saving(reconnect_timeout))
            << "the bot did not log a \"name\" command of the master peer within 60 s\n"
            << bot.describe_output();
        record.reconnect_ms = elapsed_ms(reconnect_began);

        const std::optional<std::string> run_start_name = banner_name(bot.stdout_lines());
        const std::size_t burst_mark = bot.stdout_mark();
        record.burst_ms = burst_length(random);
        const auto kill_at = Clock::now() + std::chrono::milliseconds(record.burst_ms);
        int sent = 0;
        while (Clock::now() < kill_at) {
            for (int i = 0; i < sends_per_iteration; ++i) {
                ASSERT_TRUE(r.peer.send("name k" + std::to_string(kill) + "n" + std::to_string(++sent)));
            }
            r.peer.iterate_once();
        }
        ASSERT_EQ(bot.kill(), exit_status_signal_base + SIGKILL) << bot.describe_output();

        const std::vector<std::string> names = names_set(bot.stdout_lines());
        record.saves_logged = names_set(bot.stdout_lines(), burst_mark).size();
        ASSERT_FALSE(names.empty()) << "the probe's name should have been logged";
        // The save of the last logged name may have been cut short; the one
        // before it had completed before the last name was even set.
        std::vector<std::string> acceptable{names.back()};
        acceptable.push_back(names.size() >= 2 ? names[names.size() - 2] : run_start_name.value_or(""));

        // A temporary file left by the kill is hard-linked to a witness: if
        // the next start unlinks the leftover, the witness keeps a single
        // link; a save written through the leftover would not.
        const std::string witness = r.file("witness");
        record.temporary_left = path_kind(r.file(temp_name)) == "file";
        if (record.temporary_left) {
            ASSERT_EQ(link(r.file(temp_name).c_str(), witness.c_str()), 0) << std::strerror(errno);
        }
        EXPECT_EQ(path_kind(r.file(save_name)), "file") << "the save file itself must survive the kill";

        if (getenv("EXP_SLEEP")) std::this_thread::sleep_for(std::chrono::milliseconds(atoi(getenv("EXP_SLEEP"))));
        if (getenv("EXP_TOX")) { Tox *t = tox_new(nullptr, nullptr); uint16_t port = tox_self_get_udp_port(t, nullptr); tox_kill(t); std::fprintf(stderr, "DEBUG tox port %u\n", port); }
        reconnect_began = Clock::now();
        ASSERT_TRUE(bot.start());
        EXPECT_EQ(bot.tox_id(banner_timeout), r.bot_id)
            << "the restarted bot should show the same ID\n" << bot.describe_output();
        ASSERT_TRUE(bot.wait_for_stdout(banner_end, banner_timeout))
            << "the restarted bot should start up completely\n" << bot.describe_output();
        EXPECT_FALSE(contains_line_with(bot.stderr_lines(), "tox_new failed"))
            << "the save file should load\n" << bot.describe_output();
        const std::optional<std::string> loaded = banner_name(bot.stdout_lines());
        EXPECT_TRUE(loaded && std::find(acceptable.begin(), acceptable.end(), *loaded) != acceptable.end())
            << "the restarted bot should hold the last name it logged (\"" << acceptable[0]
            << "\") or the one before (\"" << acceptable[1] << "\"), but holds \"" << loaded.value_or("(none)")
            << "\"";
        if (record.temporary_left) {
            struct stat status {};
            ASSERT_EQ(stat(witness.c_str(), &status), 0);
            EXPECT_EQ(status.st_nlink, 1u) << "the temporary file left by the kill should be unlinked at start";
            unlink(witness.c_str());
        }
        // The restarted bot's own first save passes through the same name
        // for a moment; nothing may stay there.
        EXPECT_TRUE(wait_until(r.peer, [&] { return path_kind(r.file(temp_name)) == "missing"; }, 10s))
            << "no \"" << temp_name << "\" should be left once the restarted bot runs; found a "
            << path_kind(r.file(temp_name));
        records.push_back(record);
    }
    ASSERT_TRUE(r.confirm_saving(reconnect_timeout)) << "the last restart should serve the peer again";

    std::size_t temporary_left = 0;
    std::size_t saves = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const KillRecord &record = records[i];
        std::fprintf(stderr,
                     "hardening: kill %zu: reconnected after %ld ms, burst %ld ms, %zu saves logged in the "
                     "burst, temporary file left: %s\n",
                     i + 1, record.reconnect_ms, record.burst_ms, record.saves_logged,
                     record.temporary_left ? "yes" : "no");
        temporary_left += record.temporary_left ? 1 : 0;
        saves += record.saves_logged;
    }
    std::fprintf(stderr, "hardening: %zu kills, %zu saves logged in bursts, %zu kills cut a save short, %ld ms\n",
                 records.size(), saves, temporary_left, elapsed_ms(began));
    EXPECT_GT(saves, records.size()) << "the bursts should have made the bot save many times";
}

TEST_F(IdentityBeyondTheFileSizeLimit, FailingSavesWarnAndKeepTheOldFileAndIdentity)
{
    Rig &r = rig();
    ASSERT_TRUE(r.confirm_saving(reconnect_timeout)) << r.plain.describe_output();
    const std::vector<std::string> names = names_set(r.plain.stdout_lines());
    ASSERT_FALSE(names.empty());
    const std::string name_before = names.back();
    ASSERT_EQ(r.plain.stop(), 0) << r.plain.describe_output();
    const std::string saved = read_file(r.file(save_name));
    ASSERT_GT(saved.size(), file_size_limit) << "the save must not fit under the limit for this test to mean much";

    r.current = &r.limited;
    ASSERT_TRUE(r.limited.start({std::to_string(file_size_limit), BotProcess::default_binary()}));
    EXPECT_EQ(r.limited.tox_id(banner_timeout), r.bot_id) << r.limited.describe_output();
    // The first pass of the main loop saves at once.
    EXPECT_TRUE(r.limited.wait_for_stderr(save_warning, 15s))
        << "the first save beyond the limit should warn\n" << r.limited.describe_output();
    const std::size_t warnings_before_name = r.limited.stderr_mark();
    ASSERT_TRUE(r.confirm_saving(reconnect_timeout))
        << "the limited bot should still take a master's \"name\" command\n" << r.limited.describe_output();
    EXPECT_TRUE(r.limited.wait_for_stderr(save_warning, 10s, warnings_before_name))
        << "the save after \"name\" should warn\n" << r.limited.describe_output();
    EXPECT_TRUE(r.limited.running()) << "a save beyond the limit must not end the bot (SIGXFSZ)\n"
                                     << r.limited.describe_output();
    EXPECT_EQ(r.limited.stop(), 0) << r.limited.describe_output();
    EXPECT_GE(count_lines(r.limited.stderr_lines(), save_warning), 3u)
        << "the first save, the save after \"name\" and the save at shutdown should each warn\n"
        << r.limited.describe_output();
    EXPECT_TRUE(read_file(r.file(save_name)) == saved) << "the save file should be left byte for byte";
    EXPECT_EQ(path_kind(r.file(temp_name)), "missing") << "a failed save should remove its temporary file";

    r.current = &r.plain;
    ASSERT_TRUE(r.plain.start());
    EXPECT_EQ(r.plain.tox_id(banner_timeout), r.bot_id) << r.plain.describe_output();
    ASSERT_TRUE(r.plain.wait_for_stdout(banner_end, banner_timeout)) << r.plain.describe_output();
    EXPECT_EQ(banner_name(r.plain.stdout_lines()).value_or("(none)"), name_before)
        << "the name set while saves failed should be gone, the one saved before should be back";
    EXPECT_FALSE(contains_line_with(r.plain.stderr_lines(), "tox_new failed")) << r.plain.describe_output();
}

// A file system that is full: a small tmpfs mounted over a fresh folder in a
// mount namespace of this test process only (private, so nothing propagates
// to the rest of the machine), filled to the last block.
class IdentityOnAFullFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (unshare(CLONE_NEWNS) != 0) {
            GTEST_SKIP() << "no mount namespace for this test: " << std::strerror(errno);
        }
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0) << std::strerror(errno);
        ASSERT_EQ(mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=256k,mode=0700"), 0)
            << std::strerror(errno);
        mounted = true;
    }

    void TearDown() override
    {
        if (mounted) {
            bot.kill();
            umount2(folder.path().c_str(), MNT_DETACH);
        }
    }

    // Appends to a filler file until the file system refuses a single byte.
    bool fill_up()
    {
        std::FILE *filler = std::fopen(folder.file("filler").c_str(), "wb");
        if (filler == nullptr) {
            return false;
        }
        std::setvbuf(filler, nullptr, _IONBF, 0);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), block.size(), 1, filler) == 1) {
        }
        while (std::fwrite("x", 1, 1, filler) == 1) {
        }
        const bool full = errno == ENOSPC;
        std::fclose(filler);
        return full;
    }

    // Starts the bot, waits for its banner and returns its ID.
    std::string start_bot()
    {
        EXPECT_TRUE(bot.start());
        const std::string id = bot.tox_id(banner_timeout);
        EXPECT_TRUE(bot.wait_for_stdout(banner_end, banner_timeout)) << bot.describe_output();
        return id;
    }

    TempDir folder;
    BotProcess bot{folder.path()};
    bool mounted = false;
};

TEST_F(IdentityOnAFullFileSystem, FailingSavesWarnAndKeepTheOldFileAndIdentity)
{
    const std::string save = folder.file(save_name);
    const std::string id = start_bot();
    ASSERT_EQ(id.size(), 76u);
    ASSERT_EQ(bot.stop(), 0) << bot.describe_output();
    const std::string saved = read_file(save);
    ASSERT_FALSE(saved.empty());

    ASSERT_TRUE(fill_up()) << "the tmpfs should fill up";
    EXPECT_EQ(start_bot(), id) << bot.describe_output();
    EXPECT_TRUE(bot.wait_for_stderr(save_warning, 15s))
        << "the first save on a full file system should warn\n" << bot.describe_output();
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
    EXPECT_EQ(count_lines(bot.stderr_lines(), save_warning), 2u)
        << "the first save and the save at shutdown should each warn\n" << bot.describe_output();
    EXPECT_TRUE(read_file(save) == saved) << "the save file should be left byte for byte";
    EXPECT_EQ(path_kind(folder.file(temp_name)), "missing") << "a failed save should remove its temporary file";

    // With room again the same identity loads and saves without a warning.
    ASSERT_EQ(unlink(folder.file("filler").c_str()), 0);
    EXPECT_EQ(start_bot(), id) << bot.describe_output();
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
    EXPECT_EQ(count_lines(bot.stderr_lines(), save_warning), 0u) << bot.describe_output();
    EXPECT_FALSE(contains_line_with(bot.stderr_lines(), "tox_new failed")) << bot.describe_output();
}

}  // namespace
}  // namespace zorvik::hardening
