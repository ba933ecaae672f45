#include "commands/master_gate.hpp"

#include "commands/replies.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

bool master_with_arguments(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, std::int32_t needed,
                           const char *missing)
{
    if (!is_master(tox, friend_number)) {
        reply_text(tox, friend_number, "Invalid command.");
        return false;
    }
    if (num_args < needed) {
        reply_text(tox, friend_number, missing);
        return false;
    }
    return true;
}

}  // namespace zorvik
