#include "commands/replies.hpp"

#include <cstdio>
#include <cstring>

#include "base/log_text.hpp"
#include "commands/reply_budget.hpp"

namespace zorvik {

bool reply_text(Tox *tox, std::uint32_t friend_number, const char *text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text);
    Tox_Err_Friend_Send_Message error = TOX_ERR_FRIEND_SEND_MESSAGE_OK;
    tox_friend_send_message(tox, friend_number, TOX_MESSAGE_TYPE_NORMAL, bytes, std::strlen(text), &error);
    if (error == TOX_ERR_FRIEND_SEND_MESSAGE_OK) {
        note_reply_sent(friend_number);
        return true;
    }
    // A friend who went offline has nobody to tell; a full queue is worth a
    // line for the operator.
    if (error == TOX_ERR_FRIEND_SEND_MESSAGE_SENDQ) {
        DisplayName name;
        friend_display_name(tox, friend_number, name);
        std::fprintf(stderr, "Reply to %s cut short: the friend's send queue is full\n", name);
    }
    return false;
}

void reply_error(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t code)
{
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "%s (error %d)", text, code);
    reply_text(tox, friend_number, reply);
}

void friend_display_name(const Tox *tox, std::uint32_t friend_number, DisplayName &name)
{
    name[0] = '\0';
    // Ask for the size first: the library writes the whole name into the
    // buffer, so a name that would not fit is never fetched.
    const std::size_t size = tox_friend_get_name_size(tox, friend_number, nullptr);
    if (size == SIZE_MAX || size > max_name_length) {
        return;
    }
    if (!tox_friend_get_name(tox, friend_number, reinterpret_cast<std::uint8_t *>(name), nullptr)) {
        name[0] = '\0';
        return;
    }
    name[size] = '\0';
    // The name only ever goes into log lines, where a line feed or an escape
    // sequence of a stranger's choosing must not land raw.
    make_log_safe(name);
}

}  // namespace zorvik
