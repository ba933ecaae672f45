#include "base/tox_lists.hpp"

#include <cstdlib>

#include "base/memory.hpp"

namespace zorvik {

NumberList::~NumberList()
{
    std::free(numbers);
}

namespace {

std::uint32_t *allocate_numbers(std::size_t count)
{
    return static_cast<std::uint32_t *>(alloc_or_exit(count * sizeof(std::uint32_t)));
}

}  // namespace

NumberList fetch_friend_list(const Tox *tox)
{
    const std::size_t count = tox_self_get_friend_list_size(tox);
    std::uint32_t *numbers = allocate_numbers(count);
    tox_self_get_friend_list(tox, numbers);
    return NumberList(numbers, count);
}

NumberList fetch_conference_list(const Tox *tox)
{
    const std::size_t count = tox_conference_get_chatlist_size(tox);
    std::uint32_t *numbers = allocate_numbers(count);
    tox_conference_get_chatlist(tox, numbers);
    return NumberList(numbers, count);
}

}  // namespace zorvik
