#include "groups/channels.hpp"

#include <array>

namespace zorvik {

namespace {

// Peers seen per channel number. Numbers at and above max_channels are not
// counted: the bot founds a channel only below the cap, and the library
// gives it the lowest free number.
std::array<std::uint32_t, max_channels> peers_seen{};

}  // namespace

bool channel_exists(const Tox *tox, std::uint32_t number)
{
    Tox_Err_Group_State_Query error = TOX_ERR_GROUP_STATE_QUERY_OK;
    tox_group_get_privacy_state(tox, number, &error);
    return error == TOX_ERR_GROUP_STATE_QUERY_OK;
}

std::size_t list_channels(const Tox *tox, std::uint32_t *numbers, std::size_t capacity)
{
    // The library reports how many it holds but not which numbers: probe
    // from 0. Numbers are handed out lowest free first, so the highest is
    // below the most channels ever held at once, which is bounded by the
    // channels loaded at start plus max_channels.
    const std::uint32_t held = tox_group_get_number_groups(tox);
    const std::uint64_t last_probe = static_cast<std::uint64_t>(held) + max_channels;
    std::size_t found = 0;
    std::uint32_t seen = 0;
    for (std::uint64_t number = 0; seen < held && number < last_probe; ++number) {
        if (!channel_exists(tox, static_cast<std::uint32_t>(number))) {
            continue;
        }
        ++seen;
        if (found < capacity) {
            numbers[found++] = static_cast<std::uint32_t>(number);
        }
    }
    return found;
}

std::uint32_t channel_peers_seen(std::uint32_t number)
{
    return number < max_channels ? peers_seen[number] : 0;
}

void note_channel_peer_joined(std::uint32_t number, std::uint32_t peer_limit)
{
    if (number < max_channels && peers_seen[number] < peer_limit) {
        ++peers_seen[number];
    }
}

void note_channel_peer_left(std::uint32_t number)
{
    if (number < max_channels && peers_seen[number] > 0) {
        --peers_seen[number];
    }
}

void forget_channel_peers(std::uint32_t number)
{
    if (number < max_channels) {
        peers_seen[number] = 0;
    }
}

}  // namespace zorvik
