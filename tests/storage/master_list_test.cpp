// The master list against real "masterkeys" files in a throw-away working
// directory: which lines name a friend, the 255-character pieces of long
// lines, and the warnings for a missing or unreadable file.
//
// Runs inside the private network namespace: the bot is a real Tox instance
// whose friend 0 is a second instance, added without a request (no packet
// is needed for that).
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/files.hpp"
#include "support/hex.hpp"
#include "support/tox_instances.hpp"
#include "storage/master_list.hpp"

namespace {

using zorvik::is_master;
using zorvik::master_line_matches;
using zorvik::test::ToxPtr;

const std::string creating_warning = "Warning: creating new masterkeys file. Did you lose the old one?\n";
const std::string unreadable_warning = "Warning: failed to read masterkeys file\n";

using zorvik::test::to_hex;

std::string lower(std::string text)
{
    for (char &c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// --- master_line_matches on its own ---------------------------------------

class MasterLineMatches : public ::testing::Test {
protected:
    MasterLineMatches()
    {
        for (std::size_t i = 0; i < sizeof key_; ++i) {
            key_[i] = static_cast<std::uint8_t>(0x10 + 7 * i);
        }
        key_[31] = 0xAB;  // a last byte that no single digit can stand for
        hex_ = to_hex(key_, sizeof key_);
    }
    bool matches(const std::string &line) const { return master_line_matches(line.c_str(), key_); }

    std::uint8_t key_[TOX_PUBLIC_KEY_SIZE];
    std::string hex_;
};

// One line against a key. `last_byte` replaces the key's last byte (the
// default 0xAB cannot be read from one lone digit; 0x0C and 0x00 can be
// mistaken for a short or undecoded ending).
TEST_F(MasterLineMatches, OnlyALineStartingWithTheWholeKeyInDigitsMatches)
{
    const struct {
        const char *what;
        std::uint8_t last_byte;
        std::string (*line)(const std::string &hex);
        bool match;
    } cases[] = {
        {"the key and a newline", 0xAB, [](const std::string &h) { return h + "\n"; }, true},
        {"the key without a newline", 0xAB, [](const std::string &h) { return h; }, true},
        {"the key in lower case", 0xAB, [](const std::string &h) { return lower(h) + "\n"; }, true},
        {"the key, another nospam and checksum", 0xAB, [](const std::string &h) { return h + "FFFFFFFFFFFF\n"; },
         true},
        {"the key and any text", 0xAB, [](const std::string &h) { return h + " any trailing text\n"; }, true},
        {"another key", 0xAB,
         [](const std::string &h) {
             std::string other = h;
             other[10] = other[10] == '0' ? '1' : '0';
             return other + "\n";
         },
         false},
        {"an empty line", 0xAB, [](const std::string &) { return std::string("\n"); }, false},
        {"32 characters with the newline", 0xAB, [](const std::string &h) { return h.substr(0, 31) + "\n"; }, false},
        {"40 digits", 0xAB, [](const std::string &h) { return h.substr(0, 40) + "\n"; }, false},
        {"63 digits", 0xAB, [](const std::string &h) { return h.substr(0, 63) + "\n"; }, false},
        {"63 digits whose lone last digit would decode to the last byte", 0x0C,
         [](const std::string &h) { return h.substr(0, 62) + "C"; }, false},
        {"62 digits of a key ending in 0x00", 0x00, [](const std::string &h) { return h.substr(0, 62) + "\n"; },
         false},
        {"62 digits and two non-digits, key ending in 0x00", 0x00,
         [](const std::string &h) { return h.substr(0, 62) + "zz\n"; }, false},
        {"a non-digit at character 0", 0xAB, [](const std::string &h) { return "g" + h.substr(1) + "\n"; }, false},
        {"a non-digit at character 33", 0xAB,
         [](const std::string &h) { return h.substr(0, 33) + "g" + h.substr(34) + "\n"; }, false},
        {"a non-digit at character 63", 0xAB, [](const std::string &h) { return h.substr(0, 63) + "g\n"; }, false},
        {"a leading space", 0xAB, [](const std::string &h) { return " " + h + "\n"; }, false},
    };
    for (const auto &c : cases) {
        key_[31] = c.last_byte;
        const std::string line = c.line(to_hex(key_, sizeof key_));
        EXPECT_EQ(matches(line), c.match) << c.what << ": «" << line << "»";
    }
}

// --- is_master on real files ----------------------------------------------

class IsMaster : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        pair_ = zorvik::test::make_bot_with_friend();
        bot_ = pair_.bot.get();
        friend_ = pair_.other.get();
        friend_id_ = pair_.other_id;
        friend_number_ = pair_.friend_number;
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
        ASSERT_EQ(friend_number_, 0u);
        ASSERT_TRUE(cwd_.ok());
        previous_mask_ = umask(066);
    }
    void TearDown() override { umask(previous_mask_); }

    // Asks about `number` and keeps what the check wrote on standard error.
    bool ask(std::uint32_t number = 0)
    {
        testing::internal::CaptureStderr();
        const bool result = is_master(bot_, number);
        stderr_ = testing::internal::GetCapturedStderr();
        return result;
    }

    static bool write_list(const std::string &contents)
    {
        return zorvik::test::write_file(zorvik::master_list_path, contents);
    }

    static std::string key_hex() { return friend_id_.substr(0, 64); }

    inline static zorvik::test::BotWithFriend pair_;
    inline static Tox *bot_ = nullptr;
    inline static Tox *friend_ = nullptr;
    inline static std::string friend_id_;
    inline static std::uint32_t friend_number_ = UINT32_MAX;

    zorvik::test::TempDir dir_;
    zorvik::test::ScopedChdir cwd_{dir_.path()};
    mode_t previous_mask_ = 0;
    std::string stderr_;
};

TEST_F(IsMaster, MissingFileIsCreatedEmptyWithOneWarning)
{
    EXPECT_FALSE(ask());
    EXPECT_EQ(stderr_, creating_warning);

    struct stat status {};
    ASSERT_EQ(stat(zorvik::master_list_path, &status), 0) << "the file should have been created";
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_size, 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u) << "created under the daemon's file-creation mask";

    EXPECT_FALSE(ask());
    EXPECT_EQ(stderr_, "") << "the second question finds the empty file and says nothing";
}

// Whole files: which contents name the friend. Lines are read in pieces of
// at most 255 characters; every piece of a longer line is judged alone.
TEST_F(IsMaster, FileContentsNameTheFriendOnlyThroughAWholeKeyLine)
{
    std::uint8_t own[TOX_ADDRESS_SIZE];
    tox_self_get_address(bot_, own);
    std::string broken = friend_id_;
    broken[20] = 'x';
    const struct {
        const char *what;
        std::string contents;
        bool master;
    } cases[] = {
        {"the full ID", friend_id_ + "\n", true},
        {"the full ID in lower case", lower(friend_id_) + "\n", true},
        {"the key alone", key_hex() + "\n", true},
        {"the key with another nospam and checksum", key_hex() + "DEADBEEF1234\n", true},
        {"only short lines", key_hex().substr(0, 32) + "\n" + key_hex().substr(0, 40) + "\n", false},
        {"a last line without newline", "# masters\n\n" + std::string(76, '0') + "\n" + friend_id_, true},
        {"a key with a non-hex character", broken + "\n", false},
        {"a broken line, then a good one", broken + "\n" + friend_id_ + "\n", true},
        {"the bot's own identity", to_hex(own, sizeof own) + "\n", false},
        {"the key at the start of a long line", friend_id_ + std::string(300, 'z') + "\n", true},
        {"the key starting a 255-character piece", std::string(255, 'z') + friend_id_ + "\n", true},
        {"the key across a piece boundary (254)", std::string(254, 'z') + friend_id_ + "\n", false},
        {"the key across a piece boundary (256)", std::string(256, 'z') + friend_id_ + "\n", false},
    };
    for (const auto &c : cases) {
        ASSERT_TRUE(write_list(c.contents));
        EXPECT_EQ(ask(), c.master) << c.what;
        EXPECT_EQ(stderr_, "") << c.what;
    }
}

TEST_F(IsMaster, UnknownFriendNumberIsNotAMaster)
{
    ASSERT_TRUE(write_list(friend_id_ + "\n"));
    EXPECT_FALSE(ask(57));
    EXPECT_EQ(stderr_, "");
}

TEST_F(IsMaster, UnreadableFileWarnsOnEveryQuestionAndIsNeverReplaced)
{
    // Permission bits do not stop root, so a folder stands for a file that
    // cannot be read.
    ASSERT_TRUE(std::filesystem::create_directory(zorvik::master_list_path));
    for (int question = 0; question < 2; ++question) {
        EXPECT_FALSE(ask());
        EXPECT_EQ(stderr_, unreadable_warning) << "question " << question;
    }
    EXPECT_TRUE(std::filesystem::is_directory(zorvik::master_list_path)) << "the folder must not be replaced";
}

TEST_F(IsMaster, EditsCountFromTheNextQuestion)
{
    ASSERT_TRUE(write_list(""));
    EXPECT_FALSE(ask());
    {
        std::ofstream append(zorvik::master_list_path, std::ios::app);
        append << friend_id_ << "\n";
    }
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, RemovedFileIsCreatedAgainAtTheNextQuestion)
{
    ASSERT_TRUE(write_list(friend_id_ + "\n"));
    ASSERT_TRUE(ask());
    ASSERT_EQ(std::remove(zorvik::master_list_path), 0);

    EXPECT_FALSE(ask());
    EXPECT_EQ(stderr_, creating_warning);
    EXPECT_TRUE(std::filesystem::exists(zorvik::master_list_path));
    EXPECT_EQ(std::filesystem::file_size(zorvik::master_list_path), 0u);
}

TEST_F(IsMaster, FileThatCannotBeCreatedWarnsAndAnswersFalse)
{
    // A working directory that was removed: stat and fopen both fail.
    const std::string gone = dir_.file("gone");
    ASSERT_TRUE(std::filesystem::create_directory(gone));
    zorvik::test::ScopedChdir inside(gone);
    ASSERT_TRUE(inside.ok());
    ASSERT_EQ(rmdir(gone.c_str()), 0);

    EXPECT_FALSE(ask());
    EXPECT_EQ(stderr_, "Warning: failed to create masterkeys file\n");
}

}  // namespace
