// Small tools shared by the hardening tests: replayable random seeds, the
// resident memory of a process, what kind of thing a path names, whole-file
// reads and writes, and the lines the bot logs when a master renames it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "support/files.hpp"
#include "support/proc.hpp"

namespace zorvik::hardening {

// The seed of a randomised test: the decimal value of the environment
// variable `variable` when it is set, otherwise a fresh random one. Either
// way it is printed with the variable's name, so a failing run can be
// replayed with exactly the same choices.
std::uint64_t replayable_seed(const char *variable);

using test::cpu_ms;
using test::resident_kib;

// What lstat says a path is, as one word ("missing", "file", "folder",
// "symlink", "fifo", "other"), for comparisons and failure messages.
std::string path_kind(const std::string &path);

using test::read_file;
using test::write_file;

// The names in the bot's "<friend> set name to <name>" lines, oldest first
// (the name is everything after the marker).
std::vector<std::string> names_set(const std::vector<std::string> &stdout_lines, std::size_t from_line = 0);

// The text after "Name: " in the bot's banner, nullopt when there is none.
std::optional<std::string> banner_name(const std::vector<std::string> &stdout_lines);

}  // namespace zorvik::hardening
