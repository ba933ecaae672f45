#include "groups/conferences.hpp"

#include <cstdio>

#include "base/tox_lists.hpp"
#include "bot_state.hpp"
#include "groups/registry.hpp"

namespace zorvik {

bool at_conference_cap(const Tox *tox)
{
    return tox_conference_get_chatlist_size(tox) >= max_conferences;
}

void sweep_empty_groups(Tox *tox)
{
    // Walk by index and re-read the count at every step: a removal clears
    // only the slot just examined (slots never move) and may trim the range.
    for (std::int32_t i = 0; i < group_slot_count(); ++i) {
        const GroupRecord &slot = group_at(i);
        if (slot.in_use == 0) {
            continue;
        }
        const std::uint32_t number = slot.conference_number;
        Tox_Err_Conference_Peer_Query error = TOX_ERR_CONFERENCE_PEER_QUERY_OK;
        const std::uint32_t peers = tox_conference_peer_count(tox, number, &error);
        if (error == TOX_ERR_CONFERENCE_PEER_QUERY_OK && peers >= 2) {
            continue;
        }
        std::fprintf(stderr, "Deleting empty group %i\n", static_cast<int>(number));
        tox_conference_delete(tox, number, nullptr);
        group_remove(number);
    }
}

void delete_all_conferences(Tox *tox)
{
    const NumberList chats = fetch_conference_list(tox);
    for (std::size_t i = 0; i < chats.count; ++i) {
        tox_conference_delete(tox, chats.numbers[i], nullptr);
    }
}

}  // namespace zorvik
