// The daemon as a process: its banner, its save file at start and stop, its
// exit statuses, its refusals of save files it must not touch, and its life
// after the reader of its output goes away. Each test runs the real binary in
// a fresh folder of its own; only the last one has a peer talk to it (about
// 10 s to connect).
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "bot_process.hpp"
#include "runtime/bootstrap.hpp"
#include "support/hex.hpp"
#include "version.hpp"
#include "test_peer.hpp"

namespace zorvik::e2e {
namespace {

// True when `text` is `count` or more characters that all belong to `set`
// (any count when `count` is 0), and nothing else.
bool all_of_set(std::string_view text, std::string_view set, std::size_t count = 0)
{
    if (text.empty() || (count != 0 && text.size() != count)) {
        return false;
    }
    return text.find_first_not_of(set) == std::string_view::npos;
}

constexpr std::string_view digits = "0123456789";

// «ID: » and 76 upper-case hex digits.
bool is_id_line(std::string_view line)
{
    return line.substr(0, 4) == "ID: " && all_of_set(line.substr(4), "0123456789ABCDEF", 76);
}

// «Failed to bootstrap DHT via: HOST PORT (error N)» for one node of the
// daemon's table.
bool is_bootstrap_failure(std::string_view line, const BootstrapNode &node)
{
    const std::string head =
        "Failed to bootstrap DHT via: " + std::string(node.address) + " " + std::to_string(node.port) + " (error ";
    if (line.substr(0, head.size()) != head || line.back() != ')') {
        return false;
    }
    return all_of_set(line.substr(head.size(), line.size() - head.size() - 1), digits);
}

// «tox_new failed with error N».
bool is_tox_new_failure(std::string_view line)
{
    constexpr std::string_view head = "tox_new failed with error ";
    return line.substr(0, head.size()) == head && all_of_set(line.substr(head.size()), digits);
}

using test::read_file;
using test::write_file;

class BotProcessTest : public ::testing::Test {
protected:
    // A peer of a test is gone by now: the bot's last waits must not touch it.
    void TearDown() override { bot.set_idle_hook(nullptr); }

    std::string file(std::string_view name) const { return folder.file(name); }

    // Waits for the last banner line; adds a failure showing the output when
    // it does not come.
    bool wait_for_banner()
    {
        if (bot.wait_for_stdout("Inactive contacts purged after", 15s)) {
            return true;
        }
        ADD_FAILURE() << "expected the five banner lines within 15 s\n" << bot.describe_output();
        return false;
    }

    // Runs the bot until its banner is out and stops it; returns its ID.
    std::string run_once()
    {
        EXPECT_TRUE(bot.start());
        const std::string id = bot.tox_id(15s);
        EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
        return id;
    }

    TempDir folder;
    BotProcess bot{folder.path()};
};

TEST_F(BotProcessTest, FreshFolderPrintsFiveBannerLinesAndAPrivateSaveFile)
{
    ASSERT_TRUE(bot.start());
    ASSERT_TRUE(wait_for_banner());
    const std::vector<std::string> lines = bot.stdout_lines();
    ASSERT_EQ(lines.size(), 5u) << bot.describe_output();
    EXPECT_EQ(lines[0], std::string("Zorvik version ") + zorvik::bot_version);
    EXPECT_TRUE(is_id_line(lines[1])) << "expected \"ID: \" and 76 upper-case hex digits, got \"" << lines[1] << "\"";
    EXPECT_EQ(lines[2], "Name: Zorvik");
    EXPECT_EQ(lines[3], "Contacts: 0");
    EXPECT_EQ(lines[4], "Inactive contacts purged after 365 days");

    struct stat status {};
    ASSERT_EQ(stat(file("zorvik_save").c_str(), &status), 0) << "a new identity should be saved at once";
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0600u) << "the save file should be readable and writable by its owner only";
    EXPECT_GT(status.st_size, 0);

    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
}

TEST_F(BotProcessTest, StopsWithStatusZeroOnSigintAndLeavesASavedIdentity)
{
    const std::string first_id = run_once();
    ASSERT_EQ(first_id.size(), 76u);
    const std::string saved = read_file(file("zorvik_save"));
    EXPECT_FALSE(saved.empty()) << "zorvik_save should hold the identity after a stop";

    // The saved identity comes back: same ID, and the profile name was saved.
    ASSERT_TRUE(bot.start());
    EXPECT_EQ(bot.tox_id(15s), first_id) << "a restart should show the same ID";
    ASSERT_TRUE(wait_for_banner());
    const std::vector<std::string> lines = bot.stdout_lines();
    ASSERT_EQ(lines.size(), 5u) << bot.describe_output();
    EXPECT_EQ(lines[2], "Name: Zorvik");
    EXPECT_EQ(lines[3], "Contacts: 0");
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
}

TEST_F(BotProcessTest, SigintDuringStartUpStillEndsWithStatusZero)
{
    ASSERT_TRUE(bot.start());
    // Send the signal the moment the handler is installed: the bot is then
    // still creating its instance, before its first loop pass. (Earlier, the
    // signal's default action would end the process before main runs.)
    const std::string status_path = "/proc/" + std::to_string(bot.pid()) + "/status";
    const auto deadline = Clock::now() + 10s;
    bool caught = false;
    while (!caught && Clock::now() < deadline) {
        std::ifstream status(status_path);
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigCgt:", 0) == 0) {
                const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                caught = (mask & (1ull << (SIGINT - 1))) != 0;
            }
        }
        if (!caught) {
            std::this_thread::sleep_for(200us);
        }
    }
    ASSERT_TRUE(caught) << "the bot never installed a SIGINT handler";
    ASSERT_EQ(kill(bot.pid(), SIGINT), 0);
    EXPECT_EQ(bot.wait_for_exit(30s), 0) << bot.describe_output();
    EXPECT_GT(read_file(file("zorvik_save")).size(), 0u) << "the identity should be saved on the way out";
}

TEST_F(BotProcessTest, IgnoresCommandLineArguments)
{
    ASSERT_TRUE(bot.start({"--help", "-v", "zorvik_save", "%s%n"}));
    ASSERT_TRUE(wait_for_banner());
    const std::vector<std::string> lines = bot.stdout_lines();
    ASSERT_EQ(lines.size(), 5u) << bot.describe_output();
    EXPECT_EQ(lines[0], std::string("Zorvik version ") + zorvik::bot_version);
    EXPECT_TRUE(is_id_line(lines[1])) << lines[1];
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(bot.running()) << "the bot should run on whatever its arguments\n" << bot.describe_output();
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
}

TEST_F(BotProcessTest, ReportsEveryUnreachableBootstrapNodeAndRunsOn)
{
    // The namespace reaches no public address and resolves no name, so
    // every node of the table fails, each with one line, in table order.
    std::vector<const BootstrapNode *> nodes;
    for (const BootstrapNode *node = bootstrap_node_table; node->address != nullptr; ++node) {
        nodes.push_back(node);
        SCOPED_TRACE(node->address);
        EXPECT_GT(node->port, 0);
        std::uint8_t key[32];
        EXPECT_TRUE(std::string_view(node->public_key_hex).size() == 64 &&
                    test::from_hex(node->public_key_hex, key, sizeof key))
            << "the key should be 64 hexadecimal digits";
    }
    ASSERT_EQ(nodes.size(), 8u);

    ASSERT_TRUE(bot.start());
    ASSERT_TRUE(wait_for_banner());
    const auto deadline = Clock::now() + 10s;
    std::vector<std::string> failures;
    while (Clock::now() < deadline) {
        failures.clear();
        for (const std::string &line : bot.stderr_lines()) {
            if (line.rfind("Failed to bootstrap DHT via: ", 0) == 0) {
                failures.push_back(line);
            }
        }
        if (failures.size() >= nodes.size()) {
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_EQ(failures.size(), nodes.size()) << "expected one failure line per bootstrap node in the namespace\n"
                                             << bot.describe_output();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        EXPECT_TRUE(is_bootstrap_failure(failures[i], *nodes[i]))
            << "line " << i + 1 << ": \"" << failures[i] << "\" should name " << nodes[i]->address;
    }
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(bot.running()) << "the bot should run on without any bootstrap node\n" << bot.describe_output();
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();
}

TEST_F(BotProcessTest, EmptySaveFileEndsWithStatusOneSilentlyAndIsKept)
{
    write_file(file("zorvik_save"), "");
    ASSERT_TRUE(bot.start());
    EXPECT_EQ(bot.wait_for_exit(30s), 1) << bot.describe_output();
    EXPECT_EQ(bot.stdout_text(), "") << "nothing should be printed for an empty save file";
    EXPECT_EQ(bot.stderr_text(), "") << "nothing should be printed for an empty save file";
    struct stat status {};
    ASSERT_EQ(stat(file("zorvik_save").c_str(), &status), 0) << "the empty save file should be left in place";
    EXPECT_EQ(status.st_size, 0);
}

TEST_F(BotProcessTest, CorruptedSaveFileReportsToxNewErrorAndIsNotTouched)
{
    std::mt19937 random(20240517);
    std::string garbage(2048, '\0');
    for (char &byte : garbage) {
        byte = static_cast<char>(random() & 0xFF);
    }
    write_file(file("zorvik_save"), garbage);

    ASSERT_TRUE(bot.start());
    EXPECT_EQ(bot.wait_for_exit(30s), 1) << bot.describe_output();
    const std::vector<std::string> errors = bot.stderr_lines();
    ASSERT_EQ(errors.size(), 1u) << bot.describe_output();
    EXPECT_TRUE(is_tox_new_failure(errors[0]))
        << "expected \"tox_new failed with error N\", got \"" << errors[0] << "\"";
    EXPECT_EQ(bot.stdout_text(), "");
    EXPECT_TRUE(read_file(file("zorvik_save")) == garbage) << "the corrupted save file must stay byte for byte";
    EXPECT_NE(access(file("zorvik_save.tmp").c_str(), F_OK), 0) << "no temporary save should be left";
}

TEST_F(BotProcessTest, LeftoverTemporarySaveIsRemovedAtStartAndNeverWrittenThrough)
{
    const std::string id = run_once();
    ASSERT_EQ(id.size(), 76u);

    // A temporary save left by a killed process, hard-linked to a witness:
    // writing through the old name would change the witness.
    write_file(file("witness"), "not a save file");
    ASSERT_EQ(link(file("witness").c_str(), file("zorvik_save.tmp").c_str()), 0);

    ASSERT_TRUE(bot.start());
    EXPECT_EQ(bot.tox_id(15s), id) << "the real save file should be loaded, not the leftover";
    ASSERT_TRUE(wait_for_banner());
    EXPECT_EQ(bot.stop(), 0) << bot.describe_output();

    // (While the bot runs, each save passes through a temporary file of that
    // name, so only the witness tells what happened to the leftover.)
    EXPECT_EQ(read_file(file("witness")), "not a save file") << "the leftover must be unlinked, not rewritten";
    struct stat witness {};
    ASSERT_EQ(stat(file("witness").c_str(), &witness), 0);
    EXPECT_EQ(witness.st_nlink, 1u) << "the leftover's name should be unlinked from the witness";
    EXPECT_NE(access(file("zorvik_save.tmp").c_str(), F_OK), 0) << "no temporary save should remain after a stop";
    EXPECT_EQ(read_file(file("zorvik_save")).empty(), false);
}

// A log line written after the reader of the bot's output has gone away (a
// closed terminal, a stopped journal) fails; the bot runs on, answers its
// friends and still stops cleanly. (Without SIGPIPE ignored, the first such
// line would end it with status 141.)
TEST_F(BotProcessTest, RunsOnAndStopsWithStatusZeroAfterTheReaderOfItsOutputHasGone)
{
    ASSERT_TRUE(bot.start());
    const std::string id = bot.tox_id(15s);
    ASSERT_EQ(id.size(), 76u) << bot.describe_output();
    TestPeer peer;
    ASSERT_EQ(befriend(peer, bot, id), "") << "the peer should befriend the bot";

    bot.close_pipes();
    // A line on standard output, then one on standard error; each call also
    // checks that the bot still answers "id" afterwards.
    EXPECT_EQ(replies_to(peer, bot, id, "group text secret"),
              std::vector<std::string>{"Group chat 0 created (Password protected)"});
    EXPECT_EQ(replies_to(peer, bot, id, "invite 0 wrong"), std::vector<std::string>{"Invalid password."});
    EXPECT_TRUE(bot.running()) << "the bot should run on (exit status "
                               << bot.exit_status().value_or(exit_status_not_started) << ")";
    EXPECT_EQ(bot.stop(), 0) << "SIGINT should still end the bot with status 0";
}

}  // namespace
}  // namespace zorvik::e2e
