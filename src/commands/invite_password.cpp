#include "commands/invite_password.hpp"

#include <cstdio>
#include <cstring>

#include "base/clock.hpp"
#include "bot_state.hpp"
#include "commands/password_tries.hpp"

namespace zorvik {

InvitePassword check_invite_password(Tox *tox, std::uint32_t friend_number, const DisplayName &name,
                                     const char *expected, const char *given)
{
    if (expected == nullptr) {
        return InvitePassword::accepted;
    }
    if (given == nullptr) {
        return InvitePassword::wrong;
    }
    std::uint8_t public_key[TOX_PUBLIC_KEY_SIZE] = {};
    tox_friend_get_public_key(tox, friend_number, public_key, nullptr);
    const std::uint64_t now = monotonic_seconds();
    const PasswordGate gate = password_try_gate(public_key, now);
    if (!gate.allowed) {
        if (gate.first_refusal) {
            std::fprintf(stderr, "Password tries by %s refused for %u min (too many wrong passwords)\n", name,
                         static_cast<unsigned>(gate.minutes));
        }
        char reply[max_message_length];
        std::snprintf(reply, sizeof reply, "Too many wrong passwords. Try again in %u min.",
                      static_cast<unsigned>(gate.minutes));
        reply_text(tox, friend_number, reply);
        return InvitePassword::locked_out;
    }
    if (std::strcmp(given, expected) == 0) {
        note_right_password(public_key);
        return InvitePassword::accepted;
    }
    note_wrong_password(public_key, now);
    return InvitePassword::wrong;
}

}  // namespace zorvik
