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

#include "runtime/tox_test_support.hpp"
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

TEST_F(MasterLineMatches, KeyInEitherCaseWithOrWithoutNewlineMatches)
{
    EXPECT_TRUE(matches(hex_ + "\n"));
    EXPECT_TRUE(matches(hex_));
    EXPECT_TRUE(matches(lower(hex_) + "\n"));
}

TEST_F(MasterLineMatches, OnlyTheFirstSixtyFourDigitsCount)
{
    EXPECT_TRUE(matches(hex_ + "0123456789AB\n"));
    EXPECT_TRUE(matches(hex_ + "FFFFFFFFFFFF\n"));
    EXPECT_TRUE(matches(hex_ + " any trailing text\n"));
}

TEST_F(MasterLineMatches, OtherKeysAndShortLinesDoNotMatch)
{
    std::string other = hex_;
    other[10] = other[10] == '0' ? '1' : '0';
    EXPECT_FALSE(matches(other + "\n"));
    EXPECT_FALSE(matches(""));
    EXPECT_FALSE(matches("\n"));
    EXPECT_FALSE(matches(hex_.substr(0, 31) + "\n")) << "32 characters with the newline";
    EXPECT_FALSE(matches(hex_.substr(0, 32)));
    EXPECT_FALSE(matches(hex_.substr(0, 40) + "\n")) << "40 digits decode only 20 bytes";
    EXPECT_FALSE(matches(hex_.substr(0, 63) + "\n")) << "one digit short of the key";
}

TEST_F(MasterLineMatches, SixtyThreeDigitsNeverMatchEvenWhenTheLoneLastDigitFits)
{
    // A last byte below 0x10 could be read from one lone digit; the key is
    // 64 digits, so a 63-digit line (a last line without newline) is short.
    key_[31] = 0x0C;
    hex_ = to_hex(key_, sizeof key_);
    std::string short_line = hex_.substr(0, 62) + "C";
    EXPECT_FALSE(matches(short_line)) << "63 digits matched a key of 64";
    EXPECT_TRUE(matches(hex_));
}

TEST_F(MasterLineMatches, UndecodedBytesNeverTakePartInTheComparison)
{
    // The decoded buffer is zeroed past the decoded bytes; a key ending in
    // 0x00 must still not match a line that lacks its last byte.
    key_[31] = 0x00;
    const std::string hex = to_hex(key_, sizeof key_);
    ASSERT_TRUE(matches(hex + "\n"));
    EXPECT_FALSE(matches(hex.substr(0, 62) + "\n"));
    EXPECT_FALSE(matches(hex.substr(0, 62) + "zz\n"));
    EXPECT_FALSE(matches(hex.substr(0, 60) + "\n"));
}

TEST_F(MasterLineMatches, NonHexCharacterInsideTheKeyPreventsTheMatch)
{
    for (const std::size_t position : {std::size_t{0}, std::size_t{33}, std::size_t{63}}) {
        std::string broken = hex_;
        broken[position] = 'g';
        EXPECT_FALSE(matches(broken + "\n")) << "non-hex character at " << position;
    }
    EXPECT_FALSE(matches(" " + hex_ + "\n")) << "a leading space shifts every pair";
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
        ASSERT_TRUE(dir_.valid());
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

TEST_F(IsMaster, FullIdInEitherCaseMakesAMaster)
{
    ASSERT_TRUE(write_list(lower(friend_id_) + "\n"));
    EXPECT_TRUE(ask());
    EXPECT_EQ(stderr_, "");

    ASSERT_TRUE(write_list(friend_id_ + "\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, PublicKeyAloneMakesAMaster)
{
    ASSERT_TRUE(write_list(key_hex() + "\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, KeyWithAnotherNospamAndChecksumMakesAMaster)
{
    ASSERT_TRUE(write_list(key_hex() + "DEADBEEF1234\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, ShortLinesNeverMatch)
{
    ASSERT_TRUE(write_list(key_hex().substr(0, 32) + "\n" + key_hex().substr(0, 40) + "\n"));
    EXPECT_FALSE(ask());
    EXPECT_EQ(stderr_, "");
}

TEST_F(IsMaster, LastLineWithoutNewlineMatches)
{
    ASSERT_TRUE(write_list("# masters\n\n" + std::string(76, '0') + "\n" + friend_id_));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, KeyWithANonHexCharacterDoesNotMatch)
{
    std::string broken = friend_id_;
    broken[20] = 'x';
    ASSERT_TRUE(write_list(broken + "\n"));
    EXPECT_FALSE(ask());

    // A broken line does not end the search: a later good line still counts.
    ASSERT_TRUE(write_list(broken + "\n" + friend_id_ + "\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, AnotherIdentityIsNotAMaster)
{
    std::uint8_t own[TOX_ADDRESS_SIZE];
    tox_self_get_address(bot_, own);
    ASSERT_TRUE(write_list(to_hex(own, sizeof own) + "\n"));
    EXPECT_FALSE(ask());
}

TEST_F(IsMaster, UnknownFriendNumberIsNotAMaster)
{
    ASSERT_TRUE(write_list(friend_id_ + "\n"));
    EXPECT_FALSE(ask(57));
    EXPECT_EQ(stderr_, "");
}

// fgets reads at most 255 characters at a time; every piece of a longer line
// is judged as a line of its own.
TEST_F(IsMaster, KeyAtTheStartOfALongLineMatches)
{
    ASSERT_TRUE(write_list(friend_id_ + std::string(300, 'z') + "\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, KeyStartingAtCharacter256OfALongLineStartsAPieceAndMatches)
{
    ASSERT_TRUE(write_list(std::string(255, 'z') + friend_id_ + "\n"));
    EXPECT_TRUE(ask());
}

TEST_F(IsMaster, KeyAcrossAPieceBoundaryDoesNotMatch)
{
    ASSERT_TRUE(write_list(std::string(254, 'z') + friend_id_ + "\n"));
    EXPECT_FALSE(ask());
    ASSERT_TRUE(write_list(std::string(256, 'z') + friend_id_ + "\n"));
    EXPECT_FALSE(ask());
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
