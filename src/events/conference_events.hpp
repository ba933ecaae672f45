// Handlers for conference invitations (joined only when a master invites)
// and conference title changes (kept in the registry for "info").
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

void on_conference_invite(Tox *tox, std::uint32_t friend_number, Tox_Conference_Type type,
                          const std::uint8_t *cookie, std::size_t length, void *user_data);
void on_conference_title(Tox *tox, std::uint32_t conference_number, std::uint32_t peer_number,
                         const std::uint8_t *title, std::size_t length, void *user_data);

}  // namespace zorvik
