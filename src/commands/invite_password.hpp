// The password check of "invite", shared by conferences and channels: a
// try counts against the friend's wrong-password allowance
// (password_tries.hpp), and a friend who is locked out gets his reply here.
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "commands/replies.hpp"

namespace zorvik {

enum class InvitePassword : std::uint8_t {
    accepted,    // no password needed, or the right one
    wrong,       // missing or wrong: the caller logs and answers
    locked_out,  // refused unchecked; the friend has been answered
};

// `expected` is the room's password, or null when it has none; `given` the
// friend's try, or null when he typed none (not counted as a guess).
InvitePassword check_invite_password(Tox *tox, std::uint32_t friend_number, const DisplayName &name,
                                     const char *expected, const char *given);

}  // namespace zorvik
