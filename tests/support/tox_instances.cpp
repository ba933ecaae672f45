#include "tox_instances.hpp"

#include "hex.hpp"
#include "support/private_netns.hpp"

namespace zorvik::test {

ToxPtr make_tox(bool local_discovery)
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
