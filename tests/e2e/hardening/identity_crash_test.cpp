// The bot's identity against sudden death and full disks: whatever moment
// the process dies at, and however its saves fail, the next start finds a
// loadable "zorvik_save" with the same Tox ID and the same friends.
//
// How the kills meet saves. The twenty kills come in four cycles:
//  - a fresh master peer (its ID appended to "masterkeys") sends a friend
//    request, which the bot accepts and saves, and connects; it proves that
//    the running process logs and saves its "name" commands;
//  - a burst kill: the peer queues a burst of 200 "name cCnN" commands, each
//    one a save (temporary file, fsync, rename, fsync of the folder); an
//    inotify watch on the folder counts the temporary files the bot creates,
//    and the bot is killed with SIGKILL a random 0-2.5 ms after the watch has
//    seen it begin a random one (1st to 150th) of those saves, with the rest
//    of the burst still to come (the peer keeps iterating meanwhile, so the
//    watch sees a save up to one peer iteration late);
//  - four start-up kills: the bot is restarted and killed a random 0-2.5 ms
//    after it has begun its first save, the one every start makes at once
//    (here the watch looks every millisecond and nothing else runs);
//  - the bot is restarted once more and runs on into the next cycle.
// A fresh peer per cycle costs one first connection (about ten seconds of
// discovery) and nothing else; a peer kept across a SIGKILL holds on to the
// dead process's connection and sometimes needs the library's 32 s friend
// timeout before it reaches the new process.
//
// The random choices come from one printed seed (ZORVIK_CRASH_SEED replays
// them). After each kill the bot starts again in the same folder and must
// show the same ID and all its friends, load the file (no "tox_new
// failed"), hold the last or the second-to-last name it logged (the save of
// the last one may have been cut short, the one before it had completed),
// and unlink a temporary file the kill left (a hard-linked witness tells);
// once a restarted bot runs, no temporary file may stay. How many kills cut
// a save short is printed.
//
// The other tests make every save fail: once through a file size limit
// (RLIMIT_FSIZE, EFBIG), once on a full tmpfs (ENOSPC); and on the same full
// tmpfs a master's "master" command finds no room for its line in
// "masterkeys".
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "bot_process.hpp"
#include "hardening_support.hpp"
#include "support/private_netns.hpp"
#include "test_peer.hpp"

namespace zorvik::hardening {
namespace {

using namespace zorvik::e2e;
using namespace std::chrono_literals;

constexpr int kill_cycles = 4;
constexpr int start_up_kills_per_cycle = 4;
constexpr int burst_length = 200;
constexpr int latest_burst_save = 150;
constexpr int longest_kill_delay_us = 2500;
constexpr auto banner_timeout = 15s;
constexpr auto connect_timeout = 90s;
constexpr auto probe_timeout = 30s;
constexpr auto save_timeout = 20s;
// Smaller than any save of an identity (about 1 KiB without friends).
constexpr unsigned long file_size_limit = 512;

const std::string save_name = "zorvik_save";
const std::string temp_name = "zorvik_save.tmp";
const std::string save_warning = "Warning: save_data failed";
const std::string banner_end = "Inactive contacts purged after";

// True when `save` loads and holds a friend with this public key whose
// last-online time is set. The save is loaded into a Tox instance of this
// process that is never iterated, so it sends nothing (and, like every Tox
// instance of the tests, it is made only inside the private namespace).
bool last_online_saved(const std::string &save, const std::uint8_t *key)
{
    if (!zorvik::test::in_private_netns()) {
        return false;
    }
    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        return false;
    }
    tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(options, reinterpret_cast<const std::uint8_t *>(save.data()), save.size());
    Tox *tox = tox_new(options, nullptr);
    tox_options_free(options);
    if (tox == nullptr) {
        return false;
    }
    Tox_Err_Friend_By_Public_Key error = TOX_ERR_FRIEND_BY_PUBLIC_KEY_OK;
    const std::uint32_t number = tox_friend_by_public_key(tox, key, &error);
    const std::uint64_t last_online =
        error == TOX_ERR_FRIEND_BY_PUBLIC_KEY_OK ? tox_friend_get_last_online(tox, number, nullptr) : 0;
    const bool seen = last_online != 0 && last_online != UINT64_MAX;
    tox_kill(tox);
    return seen;
}

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

// Counts, through inotify, the temporary save files created in a folder:
// each one is a save that has begun. Renames and removals are watched too,
// only so that two creations in a row are never merged into one event.
class SaveWatch {
public:
    explicit SaveWatch(const std::string &folder)
    {
        fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ >= 0 && inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_FROM | IN_DELETE) < 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~SaveWatch()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    SaveWatch(const SaveWatch &) = delete;
    SaveWatch &operator=(const SaveWatch &) = delete;

    bool ok() const { return fd_ >= 0; }

    // Saves begun since the watch was made.
    std::size_t begun()
    {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t size = read(fd_, buffer, sizeof buffer);
            if (size <= 0) {
                return begun_;
            }
            for (ssize_t at = 0; at < size;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if ((event->mask & IN_CREATE) != 0 && event->len > 0 && temp_name == event->name) {
                    ++begun_;
                }
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

    // Waits until `count` saves have begun, looking every millisecond and
    // calling `between` (when given) in each pause. False at the timeout.
    bool wait_for(std::size_t count, std::chrono::milliseconds timeout, const std::function<void()> &between)
    {
        const auto deadline = Clock::now() + timeout;
        while (begun() < count) {
            if (Clock::now() >= deadline) {
                return false;
            }
            pollfd ready{fd_, POLLIN, 0};
            poll(&ready, 1, 1);
            if (between) {
                between();
            }
        }
        return true;
    }

private:
    int fd_ = -1;
    std::size_t begun_ = 0;
};

struct KillRecord {
    const char *moment = "";      // "burst" or "start-up"
    std::size_t saves_begun = 0;  // by the killed process, counted by the watch
    int delay_us = 0;             // from the start of the last save to the kill
    bool temporary_left = false;
};

class IdentityUnderKills : public ::testing::Test {
protected:
    // What the process started after a kill must show.
    struct Expected {
        std::vector<std::string> names;  // acceptable names
        bool temporary_left = false;     // a witness was linked to the leftover
    };

    IdentityUnderKills()
    {
        bot_.set_idle_hook([this] {
            if (peer_) {
                peer_->iterate_once();
            }
        });
    }

    std::string file(std::string_view name) const { return folder_.file(name); }

    // Replaces the master peer with a fresh identity: its ID joins the
    // master list, its friend request is accepted (and saved) by the bot,
    // and it waits for the connection. Returns the time that took, or -1.
    long connect_new_master_peer()
    {
        const auto began = Clock::now();
        peer_.reset();
        peer_ = std::make_unique<TestPeer>("Crash Peer " + std::to_string(friends_ + 1));
        peer_->set_idle_hook([this] { bot_.drain(); });
        if (!peer_->ok() || !append_line(file("masterkeys"), peer_->tox_id()) || !peer_->add_bot(bot_id_) ||
            !peer_->wait_until_connected(connect_timeout)) {
            return -1;
        }
        ++friends_;
        return elapsed_ms(began);
    }

    // Sends "name probeN." commands until the running bot has logged one and
    // its save file records when the current peer was last online. The purge
    // at every start counts a friend without a last-online time as absent
    // since 1970 and deletes it, and the library fills in that time only a
    // moment after the friend comes online: a kill before a save holds it
    // would lose the friend for a reason that has nothing to do with how
    // the save is written.
    bool confirm_saving()
    {
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        tox_self_get_public_key(peer_->tox(), key);
        const auto deadline = Clock::now() + probe_timeout;
        while (Clock::now() < deadline && bot_.running()) {
            const std::string name = "probe" + std::to_string(++probes_) + ".";
            const std::size_t mark = bot_.stdout_mark();
            if (!peer_->connected() || !peer_->send("name " + name)) {
                peer_->iterate_once();
                continue;
            }
            const bool logged = peer_->iterate_until(
                [&] {
                    const std::vector<std::string> names = names_set(bot_.stdout_lines(), mark);
                    return std::find(names.begin(), names.end(), name) != names.end();
                },
                2s);
            // The name is logged before the save is written: the next
            // probe's save comes after this one's.
            if (logged && last_online_saved(read_file(file(save_name)), key)) {
                return true;
            }
            peer_->iterate_for(100ms);
        }
        return false;
    }

    // Kills the running bot a random moment after `saves` of its saves have
    // begun (counted by `watch`, which calls `between` while it waits).
    void kill_during_save(SaveWatch &watch, std::size_t saves, const char *moment,
                          const std::function<void()> &between)
    {
        KillRecord record;
        record.moment = moment;
        EXPECT_TRUE(watch.wait_for(saves, save_timeout, between))
            << "the bot should have begun " << saves << " saves within 20 s; it began " << watch.begun() << "\n"
            << bot_.describe_output();
        record.delay_us = delay_(random_);
        std::this_thread::sleep_for(std::chrono::microseconds(record.delay_us));
        EXPECT_EQ(bot_.kill(), exit_status_signal_base + SIGKILL) << bot_.describe_output();
        record.saves_begun = watch.begun();
        records_.push_back(record);
    }

    // Looks at what the killed process left and says what the next process
    // must show.
    Expected expect_after_kill()
    {
        Expected expected;
        // The save of the last logged name may have been cut short; the one
        // before it (or the loaded one) had completed when it was logged.
        const std::vector<std::string> lines = bot_.stdout_lines();
        const std::vector<std::string> names = names_set(lines);
        const std::string loaded = banner_name(lines).value_or("");
        expected.names.push_back(names.empty() ? loaded : names.back());
        expected.names.push_back(names.size() >= 2 ? names[names.size() - 2] : loaded);

        // A temporary file left by the kill is hard-linked to a witness: if
        // the next start unlinks the leftover, the witness keeps one link; a
        // save written through the leftover would give it two.
        unlink(file("witness").c_str());
        expected.temporary_left = path_kind(file(temp_name)) == "file";
        if (expected.temporary_left) {
            EXPECT_EQ(link(file(temp_name).c_str(), file("witness").c_str()), 0) << std::strerror(errno);
        }
        if (!records_.empty()) {
            records_.back().temporary_left = expected.temporary_left;
        }
        EXPECT_EQ(path_kind(file(save_name)), "file") << "the save file itself must survive every kill";
        return expected;
    }

    // Checks what the process started after a kill printed and did before
    // its first save.
    void check_start_after_kill(const Expected &expected)
    {
        const std::vector<std::string> lines = bot_.stdout_lines();
        EXPECT_EQ(count_lines(lines, "ID: " + bot_id_), 1u)
            << "the bot should start with the same ID after a kill\n" << bot_.describe_output();
        EXPECT_EQ(count_lines(lines, "Contacts: " + std::to_string(friends_)), 1u)
            << "the bot should still know its " << friends_ << " friends after a kill\n" << bot_.describe_output();
        EXPECT_FALSE(contains_line_with(bot_.stderr_lines(), "tox_new failed"))
            << "the save file should load after a kill\n" << bot_.describe_output();
        const std::optional<std::string> loaded = banner_name(lines);
        EXPECT_TRUE(loaded && std::find(expected.names.begin(), expected.names.end(), *loaded) !=
                                  expected.names.end())
            << "the bot should hold the last name it logged (\"" << expected.names[0] << "\") or the one before (\""
            << expected.names[1] << "\"), but holds \"" << loaded.value_or("(no name line)") << "\"";
        if (expected.temporary_left) {
            struct stat status {};
            ASSERT_EQ(stat(file("witness").c_str(), &status), 0);
            EXPECT_EQ(status.st_nlink, 1u) << "the temporary file left by the kill should be unlinked at start";
        }
    }

    static bool append_line(const std::string &path, const std::string &line)
    {
        std::FILE *out = std::fopen(path.c_str(), "a");
        if (out == nullptr) {
            return false;
        }
        const bool written = std::fprintf(out, "%s\n", line.c_str()) > 0;
        return std::fclose(out) == 0 && written;
    }

    TempDir folder_;
    BotProcess bot_{folder_.path()};
    std::unique_ptr<TestPeer> peer_;
    std::string bot_id_;
    int friends_ = 0;
    int probes_ = 0;
    std::mt19937_64 random_{replayable_seed("ZORVIK_CRASH_SEED")};
    std::uniform_int_distribution<int> delay_{0, longest_kill_delay_us};
    std::vector<KillRecord> records_;
};

TEST_F(IdentityUnderKills, SameIdFriendsAndALoadableSaveAfterTwentySigkillsDuringSaves)
{
    const auto began = Clock::now();
    // Written before the first start, so the bot never has to create it.
    ASSERT_TRUE(write_file(file("masterkeys"), ""));
    ASSERT_TRUE(bot_.start());
    bot_id_ = bot_.tox_id(banner_timeout);
    ASSERT_EQ(bot_id_.size(), 76u) << bot_.describe_output();

    std::uniform_int_distribution<int> burst_save(1, latest_burst_save);
    std::vector<long> connect_ms;
    for (int cycle = 1; cycle <= kill_cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle) + " of " + std::to_string(kill_cycles));
        const long connected_after = connect_new_master_peer();
        ASSERT_GE(connected_after, 0) << "a new master peer should connect to the bot within 90 s\n"
                                      << bot_.describe_output();
        connect_ms.push_back(connected_after);
        ASSERT_TRUE(confirm_saving())
            << "the bot should log the new master's \"name\" commands and save the master as seen online\n"
            << bot_.describe_output();

        // The burst kill.
        SaveWatch watch(folder_.path());
        ASSERT_TRUE(watch.ok()) << "inotify: " << std::strerror(errno);
        for (int n = 1; n <= burst_length; ++n) {
            ASSERT_TRUE(peer_->send("name c" + std::to_string(cycle) + "n" + std::to_string(n)));
        }
        kill_during_save(watch, static_cast<std::size_t>(burst_save(random_)), "burst",
                         [&] { peer_->iterate_once(); });
        Expected expected = expect_after_kill();

        // The start-up kills: each process is killed in its first save.
        for (int kill = 1; kill <= start_up_kills_per_cycle; ++kill) {
            SaveWatch start_watch(folder_.path());
            ASSERT_TRUE(start_watch.ok()) << "inotify: " << std::strerror(errno);
            ASSERT_TRUE(bot_.start());
            kill_during_save(start_watch, 1, "start-up", nullptr);
            // The banner and the unlinking of a leftover come before the
            // first save, so the killed process is checked afterwards.
            check_start_after_kill(expected);
            ASSERT_FALSE(HasFatalFailure());
            expected = expect_after_kill();
        }

        // The process that runs on into the next cycle.
        ASSERT_TRUE(bot_.start());
        ASSERT_TRUE(bot_.wait_for_stdout(banner_end, banner_timeout))
            << "the bot should start up completely\n" << bot_.describe_output();
        check_start_after_kill(expected);
        ASSERT_FALSE(HasFatalFailure());
        // Its own first save passes through the same name for a moment;
        // nothing may stay there.
        EXPECT_TRUE(peer_->iterate_until([&] { return path_kind(file(temp_name)) == "missing"; }, 10s))
            << "no \"" << temp_name << "\" should be left once the restarted bot runs; found a "
            << path_kind(file(temp_name));
        unlink(file("witness").c_str());
    }
    EXPECT_EQ(bot_.stop(), 0) << "the last process should stop cleanly\n" << bot_.describe_output();

    std::size_t cut_short = 0;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const KillRecord &record = records_[i];
        std::fprintf(stderr,
                     "hardening: kill %2zu (%s): %zu saves begun, killed %d us after the last began, "
                     "temporary file left: %s\n",
                     i + 1, record.moment, record.saves_begun, record.delay_us,
                     record.temporary_left ? "yes" : "no");
        cut_short += record.temporary_left ? 1 : 0;
    }
    std::string connects;
    for (const long ms : connect_ms) {
        connects += " " + std::to_string(ms);
    }
    std::fprintf(stderr,
                 "hardening: %zu kills, %zu cut a save short; new peers connected after (ms):%s; %ld ms in all\n",
                 records_.size(), cut_short, connects.c_str(), elapsed_ms(began));
    EXPECT_EQ(records_.size(), static_cast<std::size_t>(kill_cycles * (1 + start_up_kills_per_cycle)));
}

// A file system that is full: a small tmpfs mounted over a fresh folder in a
// mount namespace of this test process only (private, so nothing propagates
// to the rest of the machine), filled to the last block.
class FullFileSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Where no private mount can be made (no mount namespace, or a
        // chroot whose / is not a mount point) the test cannot run here.
        if (unshare(CLONE_NEWNS) != 0) {
            GTEST_SKIP() << "no mount namespace for this test: " << std::strerror(errno);
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            GTEST_SKIP() << "cannot make the mounts private (is / a mount point?): " << std::strerror(errno);
        }
        if (mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=256k,mode=0700") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs for this test: " << std::strerror(errno);
        }
        mounted = true;
    }

    void TearDown() override
    {
        bot.set_idle_hook(nullptr);
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

    // Removes the filler, if any: the file system has room again.
    bool make_room() { return unlink(folder.file("filler").c_str()) == 0 || errno == ENOENT; }

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

class IdentityWhenSavesFail : public FullFileSystem {};

// Saves that cannot be written, two ways: beyond RLIMIT_FSIZE (the bot runs
// through a launcher that sets the limit below the size of any save; the
// bot ignores SIGXFSZ, the launcher does not), and on the full tmpfs. Each
// save warns, the old file stays byte for byte, and with room again the same
// identity loads and saves without a warning.
TEST_F(IdentityWhenSavesFail, FailingSavesWarnAndKeepTheOldFileAndIdentity)
{
    const std::string save = folder.file(save_name);
    const std::string id = start_bot();
    ASSERT_EQ(id.size(), 76u);
    ASSERT_EQ(bot.stop(), 0) << bot.describe_output();
    const std::string saved = read_file(save);
    ASSERT_GT(saved.size(), file_size_limit) << "the save must not fit under the limit for this test to mean much";

    BotProcess limited(folder.path(), FSIZE_LAUNCHER);
    const struct {
        const char *way;
        BotProcess *failing;
        std::vector<std::string> arguments;
        bool fill;
    } ways[] = {
        {"beyond the file-size limit", &limited, {std::to_string(file_size_limit), BotProcess::default_binary()},
         false},
        {"on a full file system", &bot, {}, true},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.way);
        if (way.fill) {
            ASSERT_TRUE(fill_up()) << "the tmpfs should fill up";
        }
        ASSERT_TRUE(way.failing->start(way.arguments));
        EXPECT_EQ(way.failing->tox_id(banner_timeout), id) << way.failing->describe_output();
        // The first pass of the main loop saves at once.
        EXPECT_TRUE(way.failing->wait_for_stderr(save_warning, 15s))
            << "the first failing save should warn\n" << way.failing->describe_output();
        EXPECT_TRUE(way.failing->running()) << "a failing save must not end the bot\n"
                                            << way.failing->describe_output();
        EXPECT_EQ(way.failing->stop(), 0) << way.failing->describe_output();
        EXPECT_EQ(count_lines(way.failing->stderr_lines(), save_warning), 2u)
            << "the first save and the save at shutdown should each warn\n" << way.failing->describe_output();
        EXPECT_TRUE(read_file(save) == saved) << "the save file should be left byte for byte";
        EXPECT_EQ(path_kind(folder.file(temp_name)), "missing") << "a failed save should remove its temporary file";

        ASSERT_TRUE(make_room()) << std::strerror(errno);
        EXPECT_EQ(start_bot(), id) << bot.describe_output();
        EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
        EXPECT_EQ(count_lines(bot.stderr_lines(), save_warning), 0u) << bot.describe_output();
        EXPECT_FALSE(contains_line_with(bot.stderr_lines(), "tox_new failed")) << bot.describe_output();
    }
}

// "master" writes its line whole or not at all: on a full file system the bot
// answers that it could not write, logs no new master and leaves "masterkeys"
// byte for byte (a part of the line that did fit is taken back); with room
// again the same command adds the ID on a line of its own.
class MasterListOnAFullFileSystem : public FullFileSystem {
protected:
    std::vector<std::string> replies_to(std::string_view text) { return e2e::replies_to(peer, bot, bot_id, text); }

    const std::string peer_name = "Full Disk Peer";
    TestPeer peer{peer_name};
    std::string bot_id;
};

TEST_F(MasterListOnAFullFileSystem, AnIdThatDoesNotFitIsRefusedAndLeavesTheFileAsItWasAndFitsOnceThereIsRoom)
{
    const std::string masterkeys = folder.file("masterkeys");
    bot_id = start_bot();
    ASSERT_EQ(bot_id.size(), 76u) << bot.describe_output();
    ASSERT_TRUE(write_file(masterkeys, peer.tox_id() + "\n"));
    ASSERT_EQ(befriend(peer, bot, bot_id), "") << "the peer should befriend the bot";

    // On tmpfs a file takes whole pages: a list that ends on a page boundary
    // has no room left for a single byte, one that ends 40 bytes short of it
    // takes the first 40 bytes of the new line and refuses the rest.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const auto list_of = [&](std::size_t size, bool line_feed_at_end) {
        const std::string master = peer.tox_id() + "\n";
        return master + std::string(size - master.size() - (line_feed_at_end ? 1 : 0), '#') +
               (line_feed_at_end ? "\n" : "");
    };
    struct Case {
        const char *what;
        std::string list;
        std::string id;
    };
    const std::vector<Case> cases = {
        {"a list that ends on a page boundary", list_of(page, true), std::string(76, 'A')},
        {"a list that ends 40 bytes short of a page boundary", list_of(page - 40, true), std::string(76, 'B')},
        {"a list without a line feed at its end", list_of(page, false), std::string(76, 'C')},
        {"a list without a line feed, 40 bytes short of a page boundary", list_of(page - 40, false),
         std::string(76, 'D')},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(make_room()) << std::strerror(errno);
        ASSERT_TRUE(write_file(masterkeys, c.list));
        ASSERT_TRUE(fill_up()) << "the tmpfs should fill up";

        const std::size_t refused_from = bot.stdout_mark();
        EXPECT_EQ(replies_to("master " + c.id), std::vector<std::string>{"Error: could not write to masterkeys file"});
        const std::vector<std::string> lines = bot.stdout_lines();
        for (std::size_t i = refused_from; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].find("added master"), std::string::npos) << "a refused ID was logged: " << lines[i];
        }
        const std::string kept = read_file(masterkeys);
        EXPECT_TRUE(kept == c.list) << "masterkeys should be left byte for byte: it holds " << kept.size()
                                    << " bytes instead of " << c.list.size() << ", ending in \""
                                    << kept.substr(kept.size() - std::min<std::size_t>(kept.size(), 80)) << "\"";

        ASSERT_TRUE(make_room()) << std::strerror(errno);
        const std::size_t added_from = bot.stdout_mark();
        EXPECT_EQ(replies_to("master " + c.id), std::vector<std::string>{"ID added to masterkeys list"});
        EXPECT_TRUE(bot.wait_for_stdout(peer_name + " added master: " + c.id, 5s, added_from))
            << bot.describe_output();
        const std::string added = read_file(masterkeys);
        const std::string expected = c.list + (c.list.back() == '\n' ? "" : "\n") + c.id + "\n";
        EXPECT_TRUE(added == expected) << "masterkeys should gain the line \"" << c.id
                                       << "\" of its own, and nothing else; it ends in \""
                                       << added.substr(added.size() - std::min<std::size_t>(added.size(), 160))
                                       << "\"";
    }
}

}  // namespace
}  // namespace zorvik::hardening
