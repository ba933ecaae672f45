#include "events/conference_events.hpp"

#include <cstdio>

#include <tox/toxav.h>

#include "base/text.hpp"
#include "bot_state.hpp"
#include "commands/replies.hpp"
#include "groups/conferences.hpp"
#include "groups/registry.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

namespace {

// Joins the conference; returns its number, or -1 when nothing was joined.
std::int64_t join_conference(Tox *tox, std::uint32_t friend_number, Tox_Conference_Type type,
                             const std::uint8_t *cookie, std::size_t length)
{
    if (type == TOX_CONFERENCE_TYPE_TEXT) {
        Tox_Err_Conference_Join error = TOX_ERR_CONFERENCE_JOIN_OK;
        const std::uint32_t number = tox_conference_join(tox, friend_number, cookie, length, &error);
        if (error != TOX_ERR_CONFERENCE_JOIN_OK) {
            return -1;
        }
        return number;
    }
    if (type == TOX_CONFERENCE_TYPE_AV) {
        const int number =
            toxav_join_av_groupchat(tox, friend_number, cookie, clamp_length_u16(length), nullptr, nullptr);
        return number == -1 ? -1 : number;
    }
    return -1;
}

}  // namespace

void on_conference_invite(Tox *tox, std::uint32_t friend_number, Tox_Conference_Type type,
                          const std::uint8_t *cookie, std::size_t length, void *)
{
    if (!is_master(tox, friend_number)) {
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    if (at_conference_cap(tox)) {
        std::fprintf(stderr, "Invite from %s declined (limit of %u groups reached)\n", name,
                     static_cast<unsigned>(max_conferences));
        return;
    }
    const std::int64_t joined = join_conference(tox, friend_number, type, cookie, length);
    if (joined < 0) {
        std::fprintf(stderr, "Invite from %s failed (core failure)\n", name);
        return;
    }
    const auto number = static_cast<std::uint32_t>(joined);
    const auto kind = static_cast<std::uint8_t>(type == TOX_CONFERENCE_TYPE_AV ? 1 : 0);
    if (group_add(number, kind, nullptr) == -1) {
        std::fprintf(stderr, "Invite from %s failed (group_add failed)\n", name);
        tox_conference_delete(tox, number, nullptr);
        return;
    }
    std::printf("Accepted groupchat invite from %s [%d]\n", name, static_cast<int>(number));
}

void on_conference_title(Tox *, std::uint32_t conference_number, std::uint32_t, const std::uint8_t *title,
                         std::size_t length, void *)
{
    char staged[max_message_length];
    const std::uint16_t n = copy_message_text(staged, sizeof staged, title, clamp_length_u16(length));
    const std::int32_t slot = group_find(conference_number);
    if (slot == -1) {
        return;
    }
    // The record holds at most TOX_MAX_NAME_LENGTH bytes; a longer title is
    // stored cut to that length.
    group_set_title(slot, staged, n);
}

}  // namespace zorvik
