#include "commands/reply_budget.hpp"

#include <array>
#include <cstdio>

#include "commands/replies.hpp"

namespace zorvik {

namespace {

struct FriendReplies {
    std::uint32_t unread;
    bool refusal_logged;
};

std::array<FriendReplies, reply_budget_slots> friends{};
std::uint32_t total_unread = 0;

FriendReplies *entry(std::uint32_t friend_number)
{
    return friend_number < friends.size() ? &friends[friend_number] : nullptr;
}

}  // namespace

bool reply_budget_allows(const Tox *tox, std::uint32_t friend_number)
{
    FriendReplies *replies = entry(friend_number);
    if (replies == nullptr) {
        return true;
    }
    if (replies->unread < reply_lines_per_friend && total_unread < reply_lines_total) {
        replies->refusal_logged = false;
        return true;
    }
    if (!replies->refusal_logged) {
        replies->refusal_logged = true;
        DisplayName name;
        friend_display_name(tox, friend_number, name);
        std::fprintf(stderr, "Not answering %s: %u reply lines unread by this friend, %u by all friends\n", name,
                     static_cast<unsigned>(replies->unread), static_cast<unsigned>(total_unread));
    }
    return false;
}

void note_reply_sent(std::uint32_t friend_number)
{
    FriendReplies *replies = entry(friend_number);
    if (replies != nullptr) {
        ++replies->unread;
        ++total_unread;
    }
}

void note_reply_read(std::uint32_t friend_number)
{
    FriendReplies *replies = entry(friend_number);
    if (replies != nullptr && replies->unread > 0) {
        --replies->unread;
        --total_unread;
    }
}

void forget_replies(std::uint32_t friend_number)
{
    FriendReplies *replies = entry(friend_number);
    if (replies != nullptr) {
        total_unread -= replies->unread;
        *replies = FriendReplies{};
    }
}

void reset_reply_budget()
{
    friends.fill(FriendReplies{});
    total_unread = 0;
}

}  // namespace zorvik
