#include "tox_instances.hpp"

#include <string_view>

#include "hex.hpp"
#include "support/private_netns.hpp"

namespace zorvik::test {

namespace {

ToxPtr new_tox(bool local_discovery, const std::string *save)
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
    if (save != nullptr) {
        tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
        tox_options_set_savedata_data(options, reinterpret_cast<const std::uint8_t *>(save->data()), save->size());
    }
    Tox *tox = tox_new(options, nullptr);
    tox_options_free(options);
    return ToxPtr(tox);
}

// In the library's save format each friend record holds its 8-byte,
// big-endian last-online time this many bytes after the start of the
// friend's public key (libtoxcore 0.2.x).
constexpr std::size_t last_online_offset_from_key = 2207;

}  // namespace

ToxPtr make_tox(bool local_discovery)
{
    return new_tox(local_discovery, nullptr);
}

ToxPtr make_tox_from(const std::string &save)
{
    return new_tox(false, &save);
}

void random_public_key(std::uint8_t (&key)[TOX_PUBLIC_KEY_SIZE], std::uint64_t &seed)
{
    for (std::size_t i = 0; i < sizeof key; ++i) {
        // splitmix64: small, fast, and good enough for throwaway keys.
        seed += 0x9E3779B97F4A7C15ULL;
        std::uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        key[i] = static_cast<std::uint8_t>(z ^ (z >> 31));
    }
    // The library refuses a key whose last byte has its top bit set (not a
    // valid point encoding).
    key[sizeof key - 1] &= 0x7f;
}

std::size_t patch_last_online(std::string &save, std::size_t from, const std::uint8_t *public_key,
                              std::uint64_t last_online)
{
    const std::size_t at =
        save.find(std::string_view(reinterpret_cast<const char *>(public_key), TOX_PUBLIC_KEY_SIZE), from);
    if (at == std::string::npos || at + last_online_offset_from_key + 8 > save.size()) {
        return std::string::npos;
    }
    for (int i = 0; i < 8; ++i) {
        save[at + last_online_offset_from_key + static_cast<std::size_t>(i)] =
            static_cast<char>(static_cast<std::uint8_t>(last_online >> (56 - 8 * i)));
    }
    return at;
}

std::size_t save_section_at(const std::string &save, std::uint16_t type)
{
    constexpr std::size_t save_header = 8;
    constexpr std::size_t section_header = 8;
    constexpr std::uint16_t end_type = 255;
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(save[i])); };
    std::size_t at = save_header;
    while (at <= save.size() && save.size() - at >= section_header) {
        const std::uint32_t length = byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24;
        const auto section_type = static_cast<std::uint16_t>(byte(at + 4) | byte(at + 5) << 8);
        if (section_type == type) {
            return at;
        }
        if (section_type == end_type) {
            return std::string::npos;
        }
        at += section_header + length;
    }
    return std::string::npos;
}

std::string save_section(std::uint16_t type, const std::string &content)
{
    constexpr std::uint16_t section_cookie = 0x01ce;
    const auto length = static_cast<std::uint32_t>(content.size());
    std::string bytes;
    for (const std::uint32_t value : {length, length >> 8, length >> 16, length >> 24, std::uint32_t{type},
                                      std::uint32_t{type} >> 8, std::uint32_t{section_cookie},
                                      std::uint32_t{section_cookie} >> 8}) {
        bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(value)));
    }
    return bytes + content;
}

const char *tox_unavailable_reason()
{
    return in_private_netns() ? "tox_new failed inside the private network namespace"
                              : "refusing to create a Tox instance outside the private network namespace; "
                                "run this binary through scripts/netns-run (ctest does)";
}

BotWithFriend make_bot_with_friend()
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

std::string savedata_of(const Tox *tox)
{
    std::string bytes(tox_get_savedata_size(tox), '\0');
    tox_get_savedata(tox, reinterpret_cast<std::uint8_t *>(bytes.data()));
    return bytes;
}

}  // namespace zorvik::test
