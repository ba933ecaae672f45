#include "storage/save_data.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_io.hpp"
#include "base/memory.hpp"

namespace zorvik {

namespace {

constexpr const char *temp_suffix = ".tmp";

// Builds "<path>.tmp" into `out`; false when it does not fit.
bool temp_path_for(const char *path, char *out, std::size_t out_size)
{
    const int written = std::snprintf(out, out_size, "%s%s", path, temp_suffix);
    return written > 0 && static_cast<std::size_t>(written) < out_size;
}

// Flushes the directory that holds `path`, so the rename itself is durable.
void sync_parent_directory(const char *path)
{
    char directory[4096];
    const char *slash = std::strrchr(path, '/');
    if (slash == nullptr) {
        std::snprintf(directory, sizeof directory, ".");
    } else if (slash == path) {
        std::snprintf(directory, sizeof directory, "/");
    } else {
        const auto length = static_cast<int>(slash - path);
        std::snprintf(directory, sizeof directory, "%.*s", length, path);
    }
    const int fd = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

std::int32_t save_failed()
{
    std::fputs("Warning: save_data failed\n", stderr);
    return -1;
}

}  // namespace

std::int32_t save_data(const Tox *tox, const char *path)
{
    if (path == nullptr) {
        return save_failed();
    }
    char temp_path[4096];
    if (!temp_path_for(path, temp_path, sizeof temp_path)) {
        return save_failed();
    }
    // 0666 under the start-up umask 066 gives a new file 0600.
    const int fd = open(temp_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        // A folder the bot cannot write would otherwise lose every change
        // since the start without a word.
        std::fprintf(stderr, "Warning: save_data failed (cannot create %s: %s)\n", temp_path,
                     std::strerror(errno));
        return -1;
    }
    struct stat existing {};
    if (stat(path, &existing) == 0) {
        fchmod(fd, existing.st_mode & 07777);
    }

    const std::size_t size = tox_get_savedata_size(tox);
    auto *buffer = static_cast<std::uint8_t *>(alloc_or_exit(size));
    tox_get_savedata(tox, buffer);
    const bool written = write_all(fd, buffer, size) && fsync(fd) == 0;
    std::free(buffer);
    const bool closed = close(fd) == 0;

    if (!written || !closed || rename(temp_path, path) != 0) {
        unlink(temp_path);
        return save_failed();
    }
    sync_parent_directory(path);
    return 0;
}

void remove_stale_save_temp(const char *path)
{
    char temp_path[4096];
    if (temp_path_for(path, temp_path, sizeof temp_path)) {
        unlink(temp_path);
    }
}

}  // namespace zorvik
