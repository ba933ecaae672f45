// The bot's identity against sudden death and full disks: whatever moment
// the process dies at, and however its saves fail, the next start finds a
// loadable "zorvik_save" with the same Tox ID and the same friends.
//
// How the kills meet saves. After a SIGKILL the master peer needs about ten
// seconds to reach the new process (it keeps the dead connection until the
// new process announces its new DHT key), so the twenty kills come in four
// cycles that need one reconnection each:
//  - a burst kill: once the peer has proven that the running process logs
//    and saves its "name" commands, it queues a burst of "name cCnN"
//    commands (each one a save: temporary file, fsync, rename, fsync of the
//    folder); an inotify watch on the folder counts the temporary files the
//    bot creates, and the bot is killed a random 0-2.5 ms after it has begun
//    a random one (1st to 12th) of those saves;
//  - four start-up kills: the bot is restarted and killed a random 0-2.5 ms
//    after it has begun its first save, the one every start makes at once.
// The random choices come from one printed seed (ZORVIK_CRASH_SEED replays
// them). After each kill the bot starts again in the same folder and must
// show the same ID and one contact, load the file (no "tox_new failed"),
// hold the last or the second-to-last name it logged (the save of the last
// one may have been cut short, the one before it had completed), unlink a
// temporary file the kill left (a hard-linked witness tells), and leave no
// temporary file behind. How many kills cut a save short is printed.
//
// While the bot restarts, the test holds the UDP port of the last process
// the peer was connected to: a new process on the very same address has its
// handshake matched to the peer's dead connection and dropped, which delays
// the reconnection by the library's 32 s friend timeout.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/socket.h>
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

constexpr int kill_cycles = 4;
constexpr int start_up_kills_per_cycle = 4;
constexpr int burst_length = 16;
constexpr int latest_burst_save = 12;
constexpr int longest_kill_delay_us = 2500;
constexpr auto banner_timeout = 15s;
constexpr auto first_connect_timeout = 90s;
constexpr auto reconnect_timeout = 60s;
constexpr auto save_timeout = 20s;
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

// The local ports of the UDP sockets that a process holds: its socket inodes
// under /proc/<pid>/fd matched against /proc/net/udp and /proc/net/udp6.
std::vector<std::uint16_t> udp_ports_of(pid_t pid)
{
    std::vector<unsigned long> inodes;
    std::error_code error;
    std::filesystem::directory_iterator entry("/proc/" + std::to_string(pid) + "/fd", error);
    for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
        std::error_code link_error;
        const std::string target = std::filesystem::read_symlink(entry->path(), link_error).string();
        unsigned long inode = 0;
        if (!link_error && std::sscanf(target.c_str(), "socket:[%lu]", &inode) == 1) {
            inodes.push_back(inode);
        }
    }
    std::vector<std::uint16_t> ports;
    for (const char *table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream file(table);
        std::string line;
        std::getline(file, line);  // the column titles
        while (std::getline(file, line)) {
            // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ...
            unsigned int port = 0;
            unsigned long inode = 0;
            if (std::sscanf(line.c_str(), " %*s %*[0-9A-Fa-f]:%x %*s %*s %*s %*s %*s %*s %*s %lu", &port, &inode) == 2 &&
                std::find(inodes.begin(), inodes.end(), inode) != inodes.end()) {
                ports.push_back(static_cast<std::uint16_t>(port));
            }
        }
    }
    return ports;
}

// The UDP ports of a child process that are its own: the child inherits
// the sockets of this process (the test peer's among them), which are left
// out.
std::vector<std::uint16_t> own_udp_ports_of(pid_t child)
{
    const std::vector<std::uint16_t> inherited = udp_ports_of(getpid());
    std::vector<std::uint16_t> own;
    for (const std::uint16_t port : udp_ports_of(child)) {
        if (std::find(inherited.begin(), inherited.end(), port) == inherited.end()) {
            own.push_back(port);
        }
    }
    return own;
}

// Keeps one UDP port bound, for IPv6 and IPv4 alike, for its lifetime.
class PortHold {
public:
    explicit PortHold(std::uint16_t port)
    {
        fd_ = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0) {
            const int off = 0;
            setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
            sockaddr_in6 address{};
            address.sin6_family = AF_INET6;
            address.sin6_port = htons(port);
            address.sin6_addr = in6addr_any;
            if (bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
                return;
            }
            close(fd_);
        }
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(port);
            address.sin_addr.s_addr = htonl(INADDR_ANY);
            if (bind(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
                close(fd_);
                fd_ = -1;
            }
        }
    }
    ~PortHold()
    {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    PortHold(const PortHold &) = delete;
    PortHold &operator=(const PortHold &) = delete;

private:
    int fd_ = -1;
};

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
    // dead process's connection until the new process replaces it, so a
    // probe that is not logged within a second, or a change of the
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

struct KillRecord {
    const char *moment = "";   // "burst" or "start-up"
    std::size_t saves_begun = 0;  // by the killed process, counted by the watch
    int delay_us = 0;             // from the last save's start to the kill
    bool temporary_left = false;
};

class IdentityUnderKills : public RigSuite {
protected:
    // What the process started after a kill must show.
    struct Expected {
        std::vector<std::string> names;  // acceptable names
        bool temporary_left = false;     // a witness was linked to the leftover
    };

    // Kills the running bot a random moment after `saves` of its saves have
    // begun (counted by `watch`, which calls `between` while it waits).
    void kill_during_save(SaveWatch &watch, std::size_t saves, const char *moment,
                          const std::function<void()> &between)
    {
        BotProcess &bot = rig().plain;
        KillRecord record;
        record.moment = moment;
        EXPECT_TRUE(watch.wait_for(saves, save_timeout, between))
            << "the bot should have begun " << saves << " saves within 20 s; it began " << watch.begun() << "\n"
            << bot.describe_output();
        record.delay_us = delay_(random_);
        std::this_thread::sleep_for(std::chrono::microseconds(record.delay_us));
        EXPECT_EQ(bot.kill(), exit_status_signal_base + SIGKILL) << bot.describe_output();
        record.saves_begun = watch.begun();
        records_.push_back(record);
    }

    // Looks at what the killed process left and says what the next process
    // must show.
    Expected expect_after_kill()
    {
        Rig &r = rig();
        Expected expected;
        // The save of the last logged name may have been cut short; the one
        // before it (or the loaded one) had completed when it was logged.
        const std::vector<std::string> lines = r.plain.stdout_lines();
        const std::vector<std::string> names = names_set(lines);
        const std::string loaded = banner_name(lines).value_or("");
        expected.names.push_back(names.empty() ? loaded : names.back());
        expected.names.push_back(names.size() >= 2 ? names[names.size() - 2] : loaded);

        // A temporary file left by the kill is hard-linked to a witness: if
        // the next start unlinks the leftover, the witness keeps one link; a
        // save written through the leftover would give it two.
        unlink(r.file("witness").c_str());
        expected.temporary_left = path_kind(r.file(temp_name)) == "file";
        if (expected.temporary_left) {
            EXPECT_EQ(link(r.file(temp_name).c_str(), r.file("witness").c_str()), 0) << std::strerror(errno);
        }
        if (!records_.empty()) {
            records_.back().temporary_left = expected.temporary_left;
        }
        EXPECT_EQ(path_kind(r.file(save_name)), "file") << "the save file itself must survive every kill";
        return expected;
    }

    // Checks what the process started after a kill printed and did before
    // its first save.
    void check_start_after_kill(const Expected &expected)
    {
        Rig &r = rig();
        BotProcess &bot = r.plain;
        const std::vector<std::string> lines = bot.stdout_lines();
        EXPECT_EQ(count_lines(lines, "ID: " + r.bot_id), 1u)
            << "the bot should start with the same ID after a kill\n" << bot.describe_output();
        EXPECT_EQ(count_lines(lines, "Contacts: 1"), 1u)
            << "the bot should still know its one friend after a kill\n" << bot.describe_output();
        EXPECT_FALSE(contains_line_with(bot.stderr_lines(), "tox_new failed"))
            << "the save file should load after a kill\n" << bot.describe_output();
        const std::optional<std::string> loaded = banner_name(lines);
        EXPECT_TRUE(loaded && std::find(expected.names.begin(), expected.names.end(), *loaded) !=
                                  expected.names.end())
            << "the bot should hold the last name it logged (\"" << expected.names[0] << "\") or the one before (\""
            << expected.names[1] << "\"), but holds \"" << loaded.value_or("(no name line)") << "\"";
        if (expected.temporary_left) {
            struct stat status {};
            ASSERT_EQ(stat(r.file("witness").c_str(), &status), 0);
            EXPECT_EQ(status.st_nlink, 1u) << "the temporary file left by the kill should be unlinked at start";
        }
    }

    std::mt19937_64 random_{replayable_seed("ZORVIK_CRASH_SEED")};
    std::uniform_int_distribution<int> delay_{0, longest_kill_delay_us};
    std::vector<KillRecord> records_;
};

TEST_F(IdentityUnderKills, SameIdFriendsAndALoadableSaveAfterTwentySigkillsDuringSaves)
{
    Rig &r = rig();
    BotProcess &bot = r.plain;
    std::uniform_int_distribution<int> burst_save(1, latest_burst_save);
    std::vector<long> reconnect_ms;
    std::unique_ptr<PortHold> hold;
    const auto began = Clock::now();
    auto served_from = Clock::now();

    for (int cycle = 1; cycle <= kill_cycles; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle) + " of " + std::to_string(kill_cycles));
        ASSERT_TRUE(r.confirm_saving(reconnect_timeout))
            << "the bot did not log a \"name\" command of the master peer within 60 s\n"
            << bot.describe_output();
        reconnect_ms.push_back(elapsed_ms(served_from));
        hold.reset();

        // The burst kill.
        const std::vector<std::uint16_t> ports = own_udp_ports_of(bot.pid());
        SaveWatch watch(r.folder.path().string());
        ASSERT_TRUE(watch.ok()) << "inotify: " << std::strerror(errno);
        for (int n = 1; n <= burst_length; ++n) {
            ASSERT_TRUE(r.peer.send("name c" + std::to_string(cycle) + "n" + std::to_string(n)));
        }
        kill_during_save(watch, static_cast<std::size_t>(burst_save(random_)), "burst",
                         [&] { r.peer.iterate_once(); });
        Expected expected = expect_after_kill();
        if (!ports.empty()) {
            hold = std::make_unique<PortHold>(ports.front());
        }
        for (auto p : ports) std::fprintf(stderr, "DEBUG bot port %u\n", p);

        // The start-up kills: each process is killed in its first save.
        for (int kill = 1; kill <= start_up_kills_per_cycle; ++kill) {
            SaveWatch start_watch(r.folder.path().string());
            ASSERT_TRUE(start_watch.ok()) << "inotify: " << std::strerror(errno);
            ASSERT_TRUE(bot.start());
            kill_during_save(start_watch, 1, "start-up", nullptr);
            // The banner and the unlinking of a leftover come before the
            // first save, so the killed process is checked afterwards.
            check_start_after_kill(expected);
            ASSERT_FALSE(HasFatalFailure());
            expected = expect_after_kill();
        }

        // The process that serves the peer in the next cycle.
        served_from = Clock::now();
        ASSERT_TRUE(bot.start());
        ASSERT_TRUE(bot.wait_for_stdout(banner_end, banner_timeout))
            << "the bot should start up completely\n" << bot.describe_output();
        check_start_after_kill(expected);
        ASSERT_FALSE(HasFatalFailure());
        // Its own first save passes through the same name for a moment;
        // nothing may stay there.
        EXPECT_TRUE(r.peer.iterate_until([&] { return path_kind(r.file(temp_name)) == "missing"; }, 10s))
            << "no \"" << temp_name << "\" should be left once the restarted bot runs; found a "
            << path_kind(r.file(temp_name));
        unlink(r.file("witness").c_str());
    }
    ASSERT_TRUE(r.confirm_saving(reconnect_timeout)) << "the last process should serve the peer again";
    reconnect_ms.push_back(elapsed_ms(served_from));
    hold.reset();

    std::size_t cut_short = 0;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const KillRecord &record = records_[i];
        std::fprintf(stderr, "hardening: kill %2zu (%s): %zu saves begun, killed %d us after the last began, "
                             "temporary file left: %s\n",
                     i + 1, record.moment, record.saves_begun, record.delay_us, record.temporary_left ? "yes" : "no");
        cut_short += record.temporary_left ? 1 : 0;
    }
    std::string reconnects;
    for (const long ms : reconnect_ms) {
        reconnects += " " + std::to_string(ms);
    }
    std::fprintf(stderr, "hardening: %zu kills, %zu cut a save short; peer served again after (ms):%s; %ld ms in all\n",
                 records_.size(), cut_short, reconnects.c_str(), elapsed_ms(began));
    EXPECT_EQ(records_.size(), static_cast<std::size_t>(kill_cycles * (1 + start_up_kills_per_cycle)));
}

class IdentityBeyondTheFileSizeLimit : public RigSuite {};

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
