// Process start-up: the interrupt handler, the Tox instance (loaded from the
// save-data file or made new), the event handlers, the profile defaults and
// the banner.
#pragma once

#include <tox/tox.h>

namespace zorvik {

// The SIGINT handler: sets bot_state.stop_requested and nothing else.
void on_interrupt(int signal_number);

// Installs on_interrupt for SIGINT, ignores SIGXFSZ (so a save beyond a
// file-size limit fails with a warning instead of killing the bot) and
// SIGPIPE (so a closed standard output or error does not end it), and sets
// the file-creation mask to 066.
void install_process_settings();

// Creates the Tox instance from "zorvik_save", or as a new identity that is
// saved at once when no such file exists. Never
// returns on failure: prints what the failure calls for and ends the
// process with status 1. A save file that exists but cannot be read is
// never replaced by a new identity.
Tox *create_tox_instance();

// Registers the six event handlers, in the library's event order.
void register_event_handlers(Tox *tox);

// Gives the profile the default status message and name when it has none.
void apply_profile_defaults(Tox *tox);

// Prints the five banner lines on standard output.
void print_banner(const Tox *tox);

}  // namespace zorvik
