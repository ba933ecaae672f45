// The library's lists of friend numbers and conference numbers, fetched
// for one pass and released when the pass is over.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// A snapshot of numbers on the heap, released with the object. Out of
// memory ends the process (status 1).
struct NumberList {
    std::uint32_t *numbers;
    std::size_t count;

    NumberList(std::uint32_t *owned_numbers, std::size_t number_count)
        : numbers(owned_numbers), count(number_count)
    {
    }
    NumberList(const NumberList &) = delete;
    NumberList &operator=(const NumberList &) = delete;
    ~NumberList();
};

// The friend numbers of tox_self_get_friend_list.
NumberList fetch_friend_list(const Tox *tox);

// The conference numbers of tox_conference_get_chatlist.
NumberList fetch_conference_list(const Tox *tox);

}  // namespace zorvik
