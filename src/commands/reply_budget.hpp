// The reply budget: reply lines handed to the library that the friend has
// not acknowledged yet (read receipts) stay in the library's send queue, in
// memory, for as long as the friend does not read them. A friend who asks
// for long answers ("info" at the conference cap is 1,004 lines) and never
// reads them would otherwise grow the bot without bound. So:
//  - a friend with reply_lines_per_friend or more lines unread gets no
//    answer to a new command until he has read them;
//  - while all friends together have reply_lines_total or more unread, no
//    command gets an answer;
//  - each refused stretch writes one log line.
// The check comes before a command runs, so a command runs whole or not at
// all, and one "info" of a friend who has read his earlier answers is sent
// whole. Unread lines stay below reply_lines_total plus one longest answer
// (about 43 MiB of the library's queue at 1.4 KB a line), whatever the
// number of friends. The per-friend budget leaves room for a client that
// sends commands faster than its receipts come back; eleven friends at
// their limit (1,024 + 1,003 lines each) still leave the total budget
// room for everybody else.
//
// The counts live in a fixed table owned by this file, indexed by friend
// number; friends numbered reply_budget_slots or higher (only an older save
// holds so many) go uncounted. A friend's count starts again at zero when
// his connection drops (the library's queue for him is gone); a friend is
// deleted only while offline, so a number given to a new friend starts at
// zero too.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

constexpr std::uint32_t reply_lines_per_friend = 1024;
constexpr std::uint32_t reply_lines_total = 30000;
constexpr std::size_t reply_budget_slots = 8192;

// True when a command from the friend may run and be answered now. When
// not, writes "Not answering <name>: ..." on standard error, once per
// refused stretch.
bool reply_budget_allows(const Tox *tox, std::uint32_t friend_number);

// A reply line was queued for the friend.
void note_reply_sent(std::uint32_t friend_number);

// The friend acknowledged one reply line (a read receipt).
void note_reply_read(std::uint32_t friend_number);

// Nothing queued for the friend will be acknowledged any more: his
// connection dropped.
void forget_replies(std::uint32_t friend_number);

// Forgets every count (start-up state, and tests).
void reset_reply_budget();

}  // namespace zorvik
