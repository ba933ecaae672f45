// Hostile local files. The master list against files no person would write:
// a hundred thousand lines, binary junk, lines of ten thousand characters,
// and names that are not regular files at all; every answer must be false
// or the real master's true, with no output but the stated warnings. The
// save file against what start-up must refuse: folders, symbolic links,
// devices, real saves cut short and, in builds without channels, saves that
// hold channels; the bot must end with status 1 and one clear line, and
// leave the path exactly as it found it.
//
// The master list is asked in this process (the real is_master, a real Tox
// instance whose friend 0 is added without a request, a throw-away working
// directory); the save files go through the real binary.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <tox/tox.h>

#include "bot_process.hpp"
#include "hardening_support.hpp"
#include "support/private_netns.hpp"
#include "support/files.hpp"
#include "support/tox_instances.hpp"
#include "storage/master_list.hpp"

namespace zorvik::hardening {
namespace {

using namespace std::chrono_literals;
using zorvik::e2e::BotProcess;
using zorvik::e2e::Clock;

const std::string unreadable_warning = "Warning: failed to read masterkeys file\n";
const std::string save_name = "zorvik_save";

long elapsed_ms(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// --- the master list ---------------------------------------------------------

class HostileMasterList : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pair_ = zorvik::test::make_bot_with_friend();
        bot_ = pair_.bot.get();
        friend_ = pair_.other.get();
        friend_id_ = pair_.other_id;
        friend_number_ = pair_.friend_number;
        random_.seed(replayable_seed("ZORVIK_FILES_SEED"));
    }

    static void TearDownTestSuite()
    {
        pair_ = {};
        bot_ = nullptr;
        friend_ = nullptr;
    }

    void SetUp() override
    {
        ASSERT_NE(bot_, nullptr) << zorvik::test::tox_unavailable_reason();
        ASSERT_NE(friend_, nullptr) << zorvik::test::tox_unavailable_reason();
        ASSERT_NE(friend_number_, UINT32_MAX);
        ASSERT_TRUE(cwd_.ok());
    }

    // Asks whether friend 0 is a master; what the check wrote on standard
    // error goes to stderr_.
    bool ask()
    {
        testing::internal::CaptureStderr();
        const bool answer = is_master(bot_, friend_number_);
        stderr_ = testing::internal::GetCapturedStderr();
        return answer;
    }

    // Asks and checks that the answer is `expected`, without any output;
    // prints how long the check took.
    void expect_answer(bool expected, const char *what)
    {
        const auto began = Clock::now();
        const bool answer = ask();
        const long took = elapsed_ms(began);
        EXPECT_EQ(answer, expected) << what;
        EXPECT_EQ(stderr_, "") << what << ": the check should print nothing";
        std::fprintf(stderr, "hardening: %s (%ju bytes): %s in %ld ms\n", what,
                     static_cast<std::uintmax_t>(std::filesystem::file_size(master_list_path)),
                     answer ? "master" : "not a master", took);
    }

    static bool write_list(const std::string &content) { return write_file(master_list_path, content); }

    static std::string random_hex(std::size_t length, bool upper = true)
    {
        const char *digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
        std::uniform_int_distribution<int> digit(0, 15);
        std::string text(length, '0');
        for (char &c : text) {
            c = digits[digit(random_)];
        }
        return text;
    }

    // The friend's ID with one of its first 64 digits replaced by another
    // hexadecimal digit: a key that differs in exactly one place.
    static std::string near_miss()
    {
        std::string id = friend_id_;
        const std::size_t at = std::uniform_int_distribution<std::size_t>(0, 63)(random_);
        id[at] = id[at] == '0' ? '1' : '0';
        return id;
    }

    inline static zorvik::test::BotWithFriend pair_;
    inline static Tox *bot_ = nullptr;
    inline static Tox *friend_ = nullptr;
    inline static std::string friend_id_;
    inline static std::uint32_t friend_number_ = UINT32_MAX;
    inline static std::mt19937_64 random_;

    zorvik::test::TempDir folder_;
    zorvik::test::ScopedChdir cwd_{folder_.path()};
    std::string stderr_;
};


TEST_F(HostileMasterList, HundredThousandLinesOfOtherKeysNameNobodyUntilTheMasterIsAppended)
{
    // Random IDs in both cases, bare keys, short and long runs of digits,
    // and keys that differ from the friend's in a single digit or lack its
    // last two digits.
    std::string list;
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<std::size_t> length(1, 200);
    for (int line = 0; line < 100000; ++line) {
        switch (kind(random_)) {
        case 0:
            list += random_hex(76, false);
            break;
        case 1:
            list += random_hex(64);
            break;
        case 2:
            list += random_hex(length(random_));
            break;
        case 3:
            list += near_miss();
            break;
        case 4:
            list += friend_id_.substr(0, 62);
            break;
        default:
            list += random_hex(76);
            break;
        }
        list += '\n';
    }
    ASSERT_TRUE(write_list(list));
    expect_answer(false, "100000 lines of other keys");

    ASSERT_TRUE(write_list(list + friend_id_ + "\n"));
    expect_answer(true, "the same lines and the master's ID last");
    ASSERT_TRUE(write_list(list + friend_id_));
    expect_answer(true, "the same lines and the master's ID last, without a newline");
}

TEST_F(HostileMasterList, BinaryJunkNamesNobodyAndAKeyLineAfterItStillCounts)
{
    // Every byte value, NUL and newline included, a megabyte of them.
    std::string junk(1 << 20, '\0');
    std::uniform_int_distribution<int> byte(0, 255);
    for (char &c : junk) {
        c = static_cast<char>(byte(random_));
    }
    ASSERT_TRUE(write_list(junk));
    expect_answer(false, "1 MiB of random bytes");

    // Junk dense in NULs and newlines, where lines are short or empty.
    std::string sparse(1 << 20, '\0');
    std::uniform_int_distribution<int> pick(0, 3);
    for (char &c : sparse) {
        const int p = pick(random_);
        c = p == 0 ? '\n' : p == 1 ? '\0' : static_cast<char>(byte(random_));
    }
    ASSERT_TRUE(write_list(sparse));
    expect_answer(false, "1 MiB of NULs, newlines and random bytes");

    ASSERT_TRUE(write_list(junk + "\n" + friend_id_ + "\n" + sparse));
    expect_answer(true, "junk, the master's ID on a line of its own, more junk");
}

TEST_F(HostileMasterList, TenThousandCharacterLinesMatchOnlyWhereAPieceStartsWithTheKey)
{
    // 300 lines of 10000 digits: the check sees each as 40 pieces of at
    // most 255 characters.
    std::string list;
    for (int line = 0; line < 300; ++line) {
        list += random_hex(10000) + "\n";
    }
    ASSERT_TRUE(write_list(list));
    expect_answer(false, "300 lines of 10000 random digits");

    // The key inside a long line, away from any piece start, is no match.
    const std::string hidden = random_hex(100) + friend_id_ + random_hex(10000 - 100 - 76);
    ASSERT_TRUE(write_list(list + hidden + "\n" + list));
    expect_answer(false, "the key at character 101 of a 10000-character line");

    // A long line that starts with the key names the master.
    const std::string leading = friend_id_ + random_hex(10000 - 76);
    ASSERT_TRUE(write_list(list + leading + "\n" + list));
    expect_answer(true, "a 10000-character line starting with the key, between 600 others");

    // Lines of 10000 characters that are not digits at all.
    ASSERT_TRUE(write_list(std::string(10000, 'z') + "\n" + std::string(10000, ' ') + "\n" +
                           std::string(10000, '\t')));
    expect_answer(false, "10000-character lines of letters and blanks");
}

TEST_F(HostileMasterList, NamesThatAreNotRegularFilesWarnOnEveryQuestionAndAreLeftAlone)
{
    struct Case {
        const char *what;
        std::function<bool()> make;
        std::function<void()> unchanged;
    };
    const std::string inside = std::string(master_list_path) + "/inside";
    const std::vector<Case> cases = {
        {"a folder holding the master's ID in a file",
         [&] { return mkdir(master_list_path, 0700) == 0 && write_file(inside, friend_id_ + "\n"); },
         [&] {
             EXPECT_EQ(path_kind(master_list_path), "folder");
             EXPECT_EQ(read_file(inside), friend_id_ + "\n");
         }},
        // Opening a FIFO for reading would wait for a writer forever.
        {"a FIFO", [] { return mkfifo(master_list_path, 0600) == 0; },
         [] { EXPECT_EQ(path_kind(master_list_path), "fifo"); }},
        // Reading /dev/zero would never reach the end of the file.
        {"a symbolic link to /dev/zero", [] { return symlink("/dev/zero", master_list_path) == 0; },
         [] { EXPECT_EQ(std::filesystem::read_symlink(master_list_path).string(), "/dev/zero"); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::error_code ignored;
        std::filesystem::remove_all(master_list_path, ignored);
        ASSERT_TRUE(c.make());
        for (int question = 1; question <= 3; ++question) {
            EXPECT_FALSE(ask()) << "question " << question;
            EXPECT_EQ(stderr_, unreadable_warning) << "question " << question;
        }
        c.unchanged();
    }
}

// --- the save file -------------------------------------------------------------

// The names in a folder, for "nothing was added or removed".
std::set<std::string> folder_names(const std::filesystem::path &folder)
{
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A real save of the bot: a fresh identity, started once and stopped.
std::string real_save()
{
    zorvik::e2e::TempDir folder;
    BotProcess bot(folder.path());
    if (!bot.start() || bot.tox_id(15s).empty() || !bot.wait_for_stdout("Inactive contacts purged after", 15s) ||
        bot.stop() != 0) {
        ADD_FAILURE() << "could not make a real save\n" << bot.describe_output();
        return {};
    }
    return read_file(folder.file(save_name));
}

// The library's verdict on save bytes: TOX_ERR_NEW_OK when they load. The
// instance is never iterated, so it sends nothing (and it is made only
// inside the private namespace; outside it the verdict is TOX_ERR_NEW_NULL).
Tox_Err_New library_verdict(const std::string &save)
{
    if (!zorvik::test::in_private_netns()) {
        return TOX_ERR_NEW_NULL;
    }
    Tox_Options *options = tox_options_new(nullptr);
    tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(options, reinterpret_cast<const std::uint8_t *>(save.data()), save.size());
    Tox_Err_New error = TOX_ERR_NEW_OK;
    Tox *tox = tox_new(options, &error);
    tox_options_free(options);
    if (tox != nullptr) {
        tox_kill(tox);
    }
    return error;
}

// The length of a save up to the end of its end marker (its 8-byte
// header); the library pads the file after it with zeros, which no load
// looks at.
std::size_t length_through_end_marker(const std::string &save)
{
    const std::size_t end_marker = zorvik::test::save_section_at(save, 255);
    return end_marker == std::string::npos ? save.size() : end_marker + 8;
}

class HostileSaveFile : public ::testing::Test {
protected:
    // Starts the bot in `folder` and expects it to refuse: status 1 within
    // 30 s, nothing on standard output, and the folder's names as before.
    // Returns the lines it wrote on standard error.
    std::vector<std::string> expect_refused_start(const zorvik::e2e::TempDir &folder)
    {
        const std::set<std::string> before = folder_names(folder.path());
        BotProcess bot(folder.path());
        EXPECT_TRUE(bot.start());
        EXPECT_EQ(bot.wait_for_exit(30s), 1) << "start-up should end with status 1\n" << bot.describe_output();
        EXPECT_EQ(bot.stdout_text(), "") << "nothing should be printed on standard output";
        EXPECT_EQ(folder_names(folder.path()), before) << "start-up should neither create nor remove a file";
        return bot.stderr_lines();
    }
};

TEST_F(HostileSaveFile, FoldersLinksAndDevicesAreRefusedWithOneClearLineAndLeftAsTheyWere)
{
    struct Case {
        const char *what;
        std::function<bool(const zorvik::e2e::TempDir &)> make;
        const char *reason;
        std::function<void(const zorvik::e2e::TempDir &)> unchanged;
    };
    const std::vector<Case> cases = {
        {"a folder with a file inside",
         [](const auto &folder) {
             return mkdir(folder.file(save_name).c_str(), 0700) == 0 &&
                    write_file(folder.file(save_name) + "/inside", "kept");
         },
         "Is a directory",
         [](const auto &folder) {
             EXPECT_EQ(path_kind(folder.file(save_name)), "folder");
             EXPECT_EQ(read_file(folder.file(save_name) + "/inside"), "kept");
         }},
        {"a symbolic link to a missing file",
         [](const auto &folder) { return symlink("lost/zorvik_save", folder.file(save_name).c_str()) == 0; },
         "No such file or directory",
         [](const auto &folder) {
             EXPECT_EQ(std::filesystem::read_symlink(folder.file(save_name)).string(), "lost/zorvik_save");
             EXPECT_EQ(path_kind(folder.file("lost")), "missing");
         }},
        {"a symbolic link to a folder",
         [](const auto &folder) {
             return mkdir(folder.file("elsewhere").c_str(), 0700) == 0 &&
                    symlink("elsewhere", folder.file(save_name).c_str()) == 0;
         },
         "Is a directory",
         [](const auto &folder) {
             EXPECT_EQ(std::filesystem::read_symlink(folder.file(save_name)).string(), "elsewhere");
             EXPECT_TRUE(std::filesystem::is_empty(folder.file("elsewhere")));
         }},
        {"a symbolic link to /dev/null",
         [](const auto &folder) { return symlink("/dev/null", folder.file(save_name).c_str()) == 0; },
         "not a regular file",
         [](const auto &folder) {
             EXPECT_EQ(std::filesystem::read_symlink(folder.file(save_name)).string(), "/dev/null");
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        zorvik::e2e::TempDir folder;
        ASSERT_TRUE(c.make(folder));
        const std::vector<std::string> errors = expect_refused_start(folder);
        EXPECT_EQ(errors, std::vector<std::string>{"Error: cannot read zorvik_save: " + std::string(c.reason)});
        c.unchanged(folder);
    }
}

TEST_F(HostileSaveFile, RealSaveCutShortIsRefusedWithTheLibrarysErrorAndKeptByteForByte)
{
    ASSERT_TRUE(zorvik::test::in_private_netns()) << zorvik::test::tox_unavailable_reason();
    const std::string save = real_save();
    const std::size_t data_length = length_through_end_marker(save);
    ASSERT_GT(data_length, 200u);

    // Cuts at every 1/40 of the data before the padding and at a few random
    // places. The library itself loads a save cut exactly between two of its
    // sections (with what the sections before the cut hold); such cuts are
    // counted and left out, every other one must be refused by the bot.
    std::mt19937_64 random(replayable_seed("ZORVIK_FILES_SEED"));
    std::set<std::size_t> cuts;
    for (std::size_t i = 1; i < 40; ++i) {
        cuts.insert(data_length * i / 40);
    }
    std::uniform_int_distribution<std::size_t> anywhere(1, data_length - 1);
    for (int i = 0; i < 10; ++i) {
        cuts.insert(anywhere(random));
    }

    std::size_t refused = 0;
    std::string loaded_cuts;
    for (const std::size_t cut : cuts) {
        const std::string truncated = save.substr(0, cut);
        const Tox_Err_New verdict = library_verdict(truncated);
        if (verdict == TOX_ERR_NEW_OK) {
            loaded_cuts += " " + std::to_string(cut);
            continue;
        }
        SCOPED_TRACE("save cut to " + std::to_string(cut) + " of " + std::to_string(save.size()) + " bytes");
        zorvik::e2e::TempDir folder;
        ASSERT_TRUE(write_file(folder.file(save_name), truncated));
        const std::vector<std::string> errors = expect_refused_start(folder);
        EXPECT_EQ(errors, std::vector<std::string>{"tox_new failed with error " +
                                                   std::to_string(static_cast<int>(verdict))});
        EXPECT_TRUE(read_file(folder.file(save_name)) == truncated) << "the cut save must be kept byte for byte";
        ++refused;
    }
    std::fprintf(stderr,
                 "hardening: %zu cuts of a %zu-byte save (%zu bytes before the padding) refused; the library loads "
                 "the cuts at:%s\n",
                 refused, save.size(), data_length, loaded_cuts.empty() ? " (none)" : loaded_cuts.c_str());
    EXPECT_GE(refused, cuts.size() * 3 / 4) << "most cuts should fall inside a section the library refuses";
}

#if !ZORVIK_CHANNELS
// A save written by a library with channels, holding one: this build's
// library loads it without them and would drop them from the next save, so
// start-up refuses it and keeps it for a build that has channels.
TEST_F(HostileSaveFile, SaveHoldingChannelsIsRefusedAndKeptByteForByte)
{
    ASSERT_TRUE(zorvik::test::in_private_netns()) << zorvik::test::tox_unavailable_reason();
    std::string save = real_save();
    // Where libraries with channels put them: after the status section (6),
    // before the TCP relays (10).
    const std::size_t relays = zorvik::test::save_section_at(save, 10);
    ASSERT_NE(relays, std::string::npos) << "a real save has a TCP relay section";
    save.insert(relays, zorvik::test::save_section(7, std::string(631, '\x5a')));
    ASSERT_EQ(library_verdict(save), TOX_ERR_NEW_OK) << "this library would load it, without the channels";

    zorvik::e2e::TempDir folder;
    ASSERT_TRUE(write_file(folder.file(save_name), save));
    EXPECT_EQ(expect_refused_start(folder),
              std::vector<std::string>{
                  "Error: zorvik_save holds channels (new-style group chats), which this build cannot load; not "
                  "starting, so that they are not lost. A build with libtoxcore 0.2.19 or newer keeps them."});
    EXPECT_TRUE(read_file(folder.file(save_name)) == save) << "the save must be kept byte for byte";
}
#endif

// A FIFO would block a plain open for reading until a writer comes; the
// bot opens without waiting and refuses it as not a regular file.
TEST_F(HostileSaveFile, FifoIsRefusedInsteadOfBlockingTheStart)
{
    zorvik::e2e::TempDir folder;
    ASSERT_EQ(mkfifo(folder.file(save_name).c_str(), 0600), 0);
    const std::vector<std::string> errors = expect_refused_start(folder);
    EXPECT_EQ(errors, std::vector<std::string>{"Error: cannot read zorvik_save: not a regular file"});
    EXPECT_EQ(path_kind(folder.file(save_name)), "fifo");
}

}  // namespace
}  // namespace zorvik::hardening
