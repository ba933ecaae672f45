#include "events/friend_limit.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/memory.hpp"
#include "base/tox_id.hpp"
#include "base/tox_lists.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

namespace {

struct OfflineFriend {
    std::uint64_t last_online;
    std::uint32_t friend_number;
};

bool offline_longer(const OfflineFriend &a, const OfflineFriend &b)
{
    return a.last_online != b.last_online ? a.last_online < b.last_online : a.friend_number < b.friend_number;
}

// The friend make_room_for_friend may replace, or UINT32_MAX for none.
std::uint32_t friend_to_replace(const Tox *tox)
{
    const NumberList friends = fetch_friend_list(tox);
    auto *offline = static_cast<OfflineFriend *>(alloc_or_exit(friends.count * sizeof(OfflineFriend)));
    std::size_t count = 0;
    for (std::size_t i = 0; i < friends.count; ++i) {
        const std::uint32_t number = friends.numbers[i];
        if (tox_friend_get_connection_status(tox, number, nullptr) != TOX_CONNECTION_NONE) {
            continue;
        }
        Tox_Err_Friend_Get_Last_Online error = TOX_ERR_FRIEND_GET_LAST_ONLINE_OK;
        const std::uint64_t last_online = tox_friend_get_last_online(tox, number, &error);
        if (error != TOX_ERR_FRIEND_GET_LAST_ONLINE_OK) {
            continue;
        }
        offline[count++] = OfflineFriend{last_online, number};
    }
    // Oldest first; the master list is read only until a friend who is no
    // master turns up, so it is usually read once.
    std::sort(offline, offline + count, offline_longer);
    std::uint32_t chosen = UINT32_MAX;
    for (std::size_t i = 0; i < count && chosen == UINT32_MAX; ++i) {
        if (!is_master(tox, offline[i].friend_number)) {
            chosen = offline[i].friend_number;
        }
    }
    std::free(offline);
    return chosen;
}

}  // namespace

bool make_room_for_friend(Tox *tox, const std::uint8_t *public_key, std::size_t limit)
{
    if (tox_self_get_friend_list_size(tox) < limit ||
        tox_friend_by_public_key(tox, public_key, nullptr) != UINT32_MAX) {
        return true;
    }
    const std::uint32_t replaced = friend_to_replace(tox);
    if (replaced == UINT32_MAX) {
        char requester[2 * TOX_PUBLIC_KEY_SIZE + 1];
        format_public_key(public_key, requester);
        std::fprintf(stderr, "Friend request from %s declined: limit of %u friends reached, none offline to replace\n",
                     requester, static_cast<unsigned>(limit));
        return false;
    }
    std::uint8_t replaced_key[TOX_PUBLIC_KEY_SIZE];
    tox_friend_get_public_key(tox, replaced, replaced_key, nullptr);
    tox_friend_delete(tox, replaced, nullptr);
    char removed[2 * TOX_PUBLIC_KEY_SIZE + 1];
    format_public_key(replaced_key, removed);
    std::printf("Friend %s removed (offline the longest): limit of %u friends reached\n", removed,
                static_cast<unsigned>(limit));
    return true;
}

}  // namespace zorvik
