#include "storage/master_list.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include "bot_state.hpp"
#include "runtime/hex.hpp"

namespace zorvik {

namespace {

// Lines are read in pieces of at most 255 characters; a longer line reaches
// the matcher as several pieces, each judged on its own.
constexpr std::size_t line_buffer_size = 256;
constexpr std::size_t shortest_candidate_line = 32;

}  // namespace

bool master_line_matches(const char *line, const std::uint8_t *public_key)
{
    const std::size_t length = std::strlen(line);
    if (length <= shortest_candidate_line) {
        return false;
    }
    // The key is the first 64 characters; a line shorter than that never
    // matches, even when its lone last digit would decode to the last byte.
    if (length < 2 * public_key_size) {
        return false;
    }
    std::size_t decoded = 0;
    std::uint8_t *bytes = hex_to_bytes(line, &decoded);
    const bool match = decoded >= public_key_size && std::memcmp(bytes, public_key, public_key_size) == 0;
    std::free(bytes);
    return match;
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

}  // namespace zorvik
