// Readings of a running process from /proc, for tests and benchmarks.
#pragma once

#include <optional>

#include <sys/types.h>

namespace zorvik::test {

// VmRSS of the process from /proc/<pid>/status, in KiB; nullopt when the
// process is gone or the line is missing.
std::optional<long> resident_kib(pid_t pid);

// CPU time (user and system) the process has used so far, in milliseconds,
// from /proc/<pid>/stat; nullopt when the process is gone.
std::optional<long> cpu_ms(pid_t pid);

}  // namespace zorvik::test
