// save_data against real files: the bytes written, the
// permission bits of new and rewritten files, and every failure path, which
// must leave the previous file untouched and report as documented.
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/files.hpp"
#include "support/tox_instances.hpp"
#include "storage/save_data.hpp"

namespace {

using zorvik::save_data;
using zorvik::test::read_file;
using zorvik::test::savedata_of;
using zorvik::test::write_file;

const std::string warning = "Warning: save_data failed\n";

mode_t permission_bits(const std::string &path)
{
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return 0;
    }
    return status.st_mode & 07777;
}

class SaveData : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The daemon runs under this mask (set at start-up).
        previous_mask_ = umask(066);
        tox_ = zorvik::test::make_tox();
        ASSERT_NE(tox_, nullptr) << zorvik::test::tox_unavailable_reason();
        path_ = dir_.file("zorvik_save");
        temp_ = path_ + ".tmp";
    }
    void TearDown() override { umask(previous_mask_); }

    // Runs save_data on `path` and keeps what it wrote on standard error.
    std::int32_t save(const char *path)
    {
        testing::internal::CaptureStderr();
        const std::int32_t result = save_data(tox_.get(), path);
        stderr_ = testing::internal::GetCapturedStderr();
        return result;
    }

    mode_t previous_mask_ = 0;
    zorvik::test::TempDir dir_;
    zorvik::test::ToxPtr tox_;
    std::string path_;
    std::string temp_;
    std::string stderr_;
};

TEST_F(SaveData, WritesExactlyTheLibrarysSaveData)
{
    EXPECT_EQ(save(path_.c_str()), 0);
    EXPECT_EQ(stderr_, "");
    const std::string expected = savedata_of(tox_.get());
    EXPECT_EQ(read_file(path_), expected);
    EXPECT_FALSE(std::filesystem::exists(temp_)) << "a successful save leaves no temporary file";
}

TEST_F(SaveData, ReplacesALongerOldFileWhole)
{
    ASSERT_TRUE(write_file(path_, std::string(10000, 'x')));
    EXPECT_EQ(save(path_.c_str()), 0);
    EXPECT_EQ(read_file(path_), savedata_of(tox_.get())) << "no tail of the old contents may remain";
}

TEST_F(SaveData, NewFileIsReadableAndWritableByItsOwnerOnly)
{
    ASSERT_EQ(save(path_.c_str()), 0);
    EXPECT_EQ(permission_bits(path_), 0600u);
}

TEST_F(SaveData, RewriteKeepsTheExistingPermissionBits)
{
    for (const mode_t mode : {mode_t{0640}, mode_t{0644}, mode_t{0400}}) {
        ASSERT_TRUE(write_file(path_, "old"));
        ASSERT_EQ(chmod(path_.c_str(), mode), 0);
        EXPECT_EQ(save(path_.c_str()), 0);
        EXPECT_EQ(permission_bits(path_), mode) << "mode 0" << std::oct << mode << " was not kept";
        EXPECT_EQ(read_file(path_), savedata_of(tox_.get()));
    }
}

// A temporary file that cannot be created (a folder missing or not
// writable, or a folder in its place) warns with the reason, so an operator
// learns that changes are not reaching the disk; the old file stays.
TEST_F(SaveData, TemporaryFileThatCannotBeCreatedWarnsWithTheReason)
{
    struct Case {
        const char *what;
        std::string path;
        std::string reason;
    };
    ASSERT_TRUE(write_file(path_, "previous identity"));
    ASSERT_TRUE(std::filesystem::create_directory(temp_));
    const std::string inside_missing = dir_.file("no-such-folder/zorvik_save");
    const Case cases[] = {
        {"missing folder", inside_missing, inside_missing + ".tmp: No such file or directory"},
        {"folder named like the temporary file", path_, temp_ + ": Is a directory"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(save(c.path.c_str()), -1) << c.what;
        EXPECT_EQ(stderr_, "Warning: save_data failed (cannot create " + c.reason + ")\n") << c.what;
    }
    EXPECT_EQ(read_file(path_), "previous identity");
}

TEST_F(SaveData, NullPathWarnsAndFails)
{
    EXPECT_EQ(save(nullptr), -1);
    EXPECT_EQ(stderr_, warning);
}

// A write that the file-size limit cuts short, as on a full disk. The limit
// would leak into later tests, so the save runs in a child process, which
// reports through its exit status and a file that holds its standard error.
TEST_F(SaveData, WriteCutShortWarnsAndKeepsTheOldFileIntact)
{
    const std::size_t size = tox_get_savedata_size(tox_.get());
    const rlim_t limit = size / 2;
    ASSERT_GE(limit, 64u) << "the limit must leave room for the warning line";
    const std::string old_contents(4096, 'o');
    ASSERT_TRUE(write_file(path_, old_contents));
    const std::string error_path = dir_.file("stderr.txt");

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        // The child never returns into the test framework: it ends with
        // _exit, so buffered test output is not written twice.
        std::signal(SIGXFSZ, SIG_IGN);  // as the daemon does at start-up
        const int fd = open(error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0) {
            _exit(2);
        }
        const rlimit small{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &small) != 0) {
            _exit(3);
        }
        const std::int32_t result = save_data(tox_.get(), path_.c_str());
        _exit(result == -1 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the save was killed (signal " << WTERMSIG(status)
                                   << "); SIGXFSZ should be ignored";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "expected -1 from save_data (child status 4 means it returned 0)";

    EXPECT_EQ(read_file(error_path), warning);
    EXPECT_EQ(read_file(path_), old_contents) << "the previous save data must survive";
    EXPECT_FALSE(std::filesystem::exists(temp_)) << "the partial temporary file must be removed";
}

TEST_F(SaveData, StaleTemporaryFileIsRemovedAndTheSaveFileKept)
{
    ASSERT_TRUE(write_file(path_, "identity"));
    ASSERT_TRUE(write_file(temp_, "half written"));
    zorvik::remove_stale_save_temp(path_.c_str());
    EXPECT_FALSE(std::filesystem::exists(temp_));
    EXPECT_EQ(read_file(path_), "identity");
}

}  // namespace
