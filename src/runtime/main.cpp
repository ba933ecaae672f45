// zorvik: a Tox chat bot daemon. Start up, run the loop, shut down.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "bot_state.hpp"
#include "groups/conferences.hpp"
#include "runtime/bootstrap.hpp"
#include "runtime/main_loop.hpp"
#include "runtime/startup.hpp"

int main()
{
    using namespace zorvik;
    // Standard output is usually a pipe or the journal: every log line must
    // leave the process when it is written.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    install_process_settings();
    Tox *tox = create_tox_instance();
    // Conferences are part of the library's save data, but the registry
    // starts empty: conferences restored after a crash or kill could never
    // be invited to or swept, and would pile up from one start to the next.
    // Leave them, as an orderly shutdown would have.
    delete_all_conferences(tox);
    register_event_handlers(tox);
    apply_profile_defaults(tox);
    reset_bot_state(static_cast<std::uint64_t>(std::time(nullptr)));
    print_banner(tox);
    bootstrap_from_table(tox);

    run_main_loop(tox);
    shut_down(tox);
    return 0;
}
