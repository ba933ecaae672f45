#include "storage/master_list.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/file_io.hpp"
#include "base/hex.hpp"
#include "bot_state.hpp"

namespace zorvik {

namespace {

// Lines are read in pieces of at most 255 characters; a longer line reaches
// the matcher as several pieces, each judged on its own.
constexpr std::size_t line_buffer_size = 256;

}  // namespace

bool master_line_matches(const char *line, const std::uint8_t *public_key)
{
    // The key is the first 64 characters, all digits: a shorter line fails
    // at its end (a line feed or the NUL), so a lone last digit never
    // decodes to the last byte.
    std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
    return parse_public_key(line, key) && std::memcmp(key, public_key, sizeof key) == 0;
}

bool is_master(const Tox *tox, std::uint32_t friend_number)
{
    struct stat status {};
    if (stat(master_list_path, &status) == -1) {
        std::FILE *created = std::fopen(master_list_path, "w");
        if (created != nullptr) {
            std::fclose(created);
            std::fputs("Warning: creating new masterkeys file. Did you lose the old one?\n", stderr);
        } else {
            std::fputs("Warning: failed to create masterkeys file\n", stderr);
        }
        return false;
    }

    // A folder or a FIFO under that name cannot hold the list (and a FIFO
    // would block the bot), so anything but a regular file is unreadable.
    std::FILE *file = S_ISREG(status.st_mode) ? std::fopen(master_list_path, "r") : nullptr;
    if (file == nullptr) {
        std::fputs("Warning: failed to read masterkeys file\n", stderr);
        return false;
    }

    std::uint8_t public_key[TOX_PUBLIC_KEY_SIZE];
    if (!tox_friend_get_public_key(tox, friend_number, public_key, nullptr)) {
        std::fclose(file);
        return false;
    }

    char line[line_buffer_size];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, file) != nullptr) {
        found = master_line_matches(line, public_key);
    }
    std::fclose(file);
    return found;
}

MasterAppend append_master_line(const char *id)
{
    // A line feed before the ID when needed, the ID, its line feed.
    char line[2 * address_size + 3];
    const std::size_t id_length = strnlen(id, 2 * address_size + 1);
    if (id_length > 2 * address_size) {
        return MasterAppend::not_written;
    }
    // 0666 under the start-up umask 066 gives a new file 0600.
    const int fd = open(master_list_path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        return MasterAppend::not_opened;
    }
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return MasterAppend::not_opened;
    }
    std::size_t length = 0;
    char last = '\n';
    if (status.st_size > 0 && pread(fd, &last, 1, status.st_size - 1) != 1) {
        close(fd);
        return MasterAppend::not_written;
    }
    if (last != '\n') {
        line[length++] = '\n';
    }
    std::memcpy(line + length, id, id_length);
    length += id_length;
    line[length++] = '\n';  // length <= 1 + 76 + 1 < sizeof line

    // fsync surfaces a full disk that the write itself may not report.
    const bool written = write_all(fd, line, length) && fsync(fd) == 0;
    // A partial line could hold a whole public key: take it back. Should
    // that fail too, nothing more can be done; the caller reports it.
    if (!written && ftruncate(fd, status.st_size) != 0) {
    }
    const bool closed = close(fd) == 0;
    return written && closed ? MasterAppend::added : MasterAppend::not_written;
}

}  // namespace zorvik
