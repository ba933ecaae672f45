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

namespace zorvik::hardening {

// The seed of a randomised test: the decimal value of the environment
// variable `variable` when it is set, otherwise a fresh random one. Either
// way it is printed with the variable's name, so a failing run can be
// replayed with exactly the same choices.
std::uint64_t replayable_seed(const char *variable);

// VmRSS of the process from /proc/<pid>/status, in KiB; nullopt when the
// process is gone or the line is missing.
std::optional<long> resident_kib(pid_t pid);

// CPU time (user and system) the process has used so far, in milliseconds;
// nullopt when the process is gone.
std::optional<long> cpu_ms(pid_t pid);

// What lstat says a path is, as one word ("missing", "file", "folder",
// "symlink", "fifo", "other"), for comparisons and failure messages.
std::string path_kind(const std::string &path);

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::string &path);
// Replaces a file with `content`; false when that fails.
bool write_file(const std::string &path, std::string_view content);

// The names in the bot's "<friend> set name to <name>" lines, oldest first
// (the name is everything after the marker).
std::vector<std::string> names_set(const std::vector<std::string> &stdout_lines, std::size_t from_line = 0);

// The text after "Name: " in the bot's banner, nullopt when there is none.
std::optional<std::string> banner_name(const std::vector<std::string> &stdout_lines);

}  // namespace zorvik::hardening
