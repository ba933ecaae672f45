// The opening every master command shares: only a master gets past it, and
// only with the arguments the command needs.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// True (the command goes on) when the sender is a master and sent at least
// `needed` arguments. Otherwise replies "Invalid command." to a friend who
// is not a master, or `missing` to a master short of arguments, and
// returns false.
bool master_with_arguments(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, std::int32_t needed,
                           const char *missing);

}  // namespace zorvik
