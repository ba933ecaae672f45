#include "events/channel_events.hpp"

#include "groups/channels.hpp"

namespace zorvik {

void on_channel_peer_join(Tox *tox, std::uint32_t group_number, std::uint32_t, void *)
{
    const std::uint16_t limit = tox_group_get_peer_limit(tox, group_number, nullptr);
    note_channel_peer_joined(group_number, limit);
}

void on_channel_peer_exit(Tox *, std::uint32_t group_number, std::uint32_t, Tox_Group_Exit_Type exit_type,
                          const std::uint8_t *, std::size_t, const std::uint8_t *, std::size_t, void *)
{
    // Losing the connection to everyone comes as one event, not one per
    // peer.
    if (exit_type == TOX_GROUP_EXIT_TYPE_SELF_DISCONNECTED) {
        forget_channel_peers(group_number);
        return;
    }
    note_channel_peer_left(group_number);
}

}  // namespace zorvik
