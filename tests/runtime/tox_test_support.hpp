// Helpers shared by the in-process unit tests: a guard that refuses to make a
// Tox instance outside the private network namespace, Tox instances that are
// released on scope exit, throw-away working directories, and reading files
// back byte for byte.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>
#include <tox/tox.h>

#include "private_netns.hpp"

namespace zorvik::test {

struct ToxDeleter {
    void operator()(Tox *tox) const { tox_kill(tox); }
};
using ToxPtr = std::unique_ptr<Tox, ToxDeleter>;

// A new identity with IPv4 only and without LAN discovery; nothing is sent
// until someone iterates it. Null when the library refuses, or when the
// process is not inside the private namespace (a test then fails through
// ASSERT_TRUE on the result, see require_tox).
inline ToxPtr make_tox(bool local_discovery = false)
{
    if (!in_private_netns()) {
        return nullptr;
    }
    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        return nullptr;
    }
    tox_options_set_ipv6_enabled(options, false);
    tox_options_set_local_discovery_enabled(options, local_discovery);
    Tox *tox = tox_new(options, nullptr);
    tox_options_free(options);
    return ToxPtr(tox);
}

// Upper-case hexadecimal text of `count` bytes, two digits each.
inline std::string to_hex(const std::uint8_t *bytes, std::size_t count)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

// A bot identity with one friend added without a request (nothing is
// sent): what the master check needs to look up a friend's key. `bot` or
// `other` is null when make_tox failed.
struct BotWithFriend {
    ToxPtr bot;
    ToxPtr other;
    std::string other_id;  // the friend's 76-digit Tox ID
    std::uint32_t friend_number = UINT32_MAX;
};

inline BotWithFriend make_bot_with_friend()
{
    BotWithFriend pair;
    pair.bot = make_tox();
    pair.other = make_tox();
    if (pair.bot == nullptr || pair.other == nullptr) {
        return pair;
    }
    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(pair.other.get(), address);
    pair.other_id = to_hex(address, sizeof address);
    pair.friend_number = tox_friend_add_norequest(pair.bot.get(), address, nullptr);
    return pair;
}

// Message for a failed make_tox, shown by the assertions of the tests.
inline const char *tox_unavailable_reason()
{
    return in_private_netns() ? "tox_new failed inside the private network namespace"
                              : "refusing to create a Tox instance outside the private network namespace; "
                                "run this binary through scripts/netns-run (ctest does)";
}

// A fresh directory under the system's temporary folder, removed with its
// contents on destruction.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "zorvik-unit-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) {
            path_ = buffer.data();
        }
    }
    ~TempDir()
    {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    bool valid() const { return !path_.empty(); }
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Makes `directory` the working directory for the life of the object.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string &directory)
    {
        char buffer[4096];
        if (getcwd(buffer, sizeof buffer) != nullptr) {
            previous_ = buffer;
        }
        ok_ = chdir(directory.c_str()) == 0;
    }
    ~ScopedChdir()
    {
        if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
            std::abort();  // later tests would run in the wrong place
        }
    }
    ScopedChdir(const ScopedChdir &) = delete;
    ScopedChdir &operator=(const ScopedChdir &) = delete;

    bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_ = false;
};

inline std::vector<std::uint8_t> read_file_bytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool write_file(const std::string &path, const std::string &contents)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    return static_cast<bool>(out);
}

inline std::vector<std::uint8_t> savedata_of(const Tox *tox)
{
    std::vector<std::uint8_t> bytes(tox_get_savedata_size(tox));
    tox_get_savedata(tox, bytes.data());
    return bytes;
}

}  // namespace zorvik::test
