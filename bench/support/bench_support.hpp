// Shared pieces of the benchmark programs: statistics over samples, readings
// from /proc, child processes with a captured standard output, scratch
// folders, hexadecimal text and the making of save data with many friends.
// Every program that uses the Tox parts runs inside scripts/netns-run.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/types.h>

#include <tox/tox.h>

#include "support/files.hpp"
#include "support/hex.hpp"
#include "support/tox_instances.hpp"

namespace bench {

using Clock = std::chrono::steady_clock;

// Milliseconds between two clock readings, as a double.
double elapsed_ms(Clock::time_point from, Clock::time_point to);

// Summary of a set of samples (any unit); all zero for an empty set.
// Percentiles use the nearest-rank rule on the sorted samples.
struct Summary {
    std::size_t count;
    double min;
    double median;
    double p95;
    double max;
    double mean;
};
Summary summarize(std::vector<double> samples);

// VmRSS of a process in KiB, from /proc/<pid>/status; -1 when unreadable.
long resident_kib(pid_t pid);

// utime + stime of a process in seconds, from /proc/<pid>/stat; -1 when
// unreadable.
double cpu_seconds(pid_t pid);

// Time the process has spent running on a CPU, in milliseconds, from
// /proc/<pid>/schedstat (nanosecond resolution, all threads); -1 when
// unreadable.
double run_time_ms(pid_t pid);

// The first field of /proc/loadavg (the one-minute load), or -1.
double load_average_1min();

// The three load averages as printed in /proc/loadavg ("0.12 0.30 0.25").
std::string load_average_text();

// A fresh folder under $TMPDIR (or /tmp) whose name starts with `prefix`;
// ends the process when it cannot be made.
std::string make_scratch_dir(const char *prefix);

// Removes a folder made by make_scratch_dir and everything in it.
void remove_tree(const std::string &path);

// Writes `bytes` to `path`; false on any failure.
inline bool write_file(const std::string &path, const std::vector<std::uint8_t> &bytes)
{
    return zorvik::test::write_file(
        path, std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()));
}

using zorvik::test::from_hex;
using zorvik::test::to_hex;

// A child process started with a pipe on its standard output; its standard
// error goes to a file. The child gets SIGKILL when its parent dies, so an
// interrupted benchmark leaves nothing behind.
class Child {
public:
    Child() = default;
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;
    ~Child();

    // Starts `program` with `args` in folder `cwd`; false when fork or the
    // pipe fails (a failed exec shows as an exit with status 127).
    bool start(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
               const std::string &stderr_path);

    // Reads what the child has written so far without blocking and returns
    // the complete lines received since the last call.
    std::vector<std::string> read_lines();

    // Waits up to `timeout_ms` for a line beginning with `prefix` (lines read
    // on the way are kept in all_output()); returns it without the newline,
    // or the empty text at the time-out or end of output.
    std::string wait_for_line(const std::string &prefix, int timeout_ms);

    // Sends SIGINT and waits up to `timeout_ms` for the exit, then SIGKILL.
    // Returns the wait status, or -1 when the child was not running.
    int stop(int timeout_ms);

    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }
    const std::string &all_output() const { return output_; }

private:
    pid_t pid_ = -1;
    int out_fd_ = -1;
    std::string pending_;
    std::string output_;
    std::vector<std::string> unread_lines_;
};

using zorvik::test::random_public_key;

// Save data of a new identity with `friends` friends of random public keys.
// When `last_seen` is not 0 every friend's last-online time is set to it,
// as if each had been online then; a never-seen friend has last-online time
// 0 and is deleted by the bot's first purge. Returns an empty vector on any
// failure (the reason is printed on standard error). Creates Tox instances.
std::vector<std::uint8_t> make_save_with_friends(std::size_t friends, std::uint64_t last_seen,
                                                 std::uint64_t seed);

// Ends the process (status 2, with a message naming `program`) unless it
// runs inside the private network namespace that scripts/netns-run makes:
// that script sets ZORVIK_NETNS to the namespace it created. Every program
// here that creates a Tox instance calls this first, so a run started by
// hand outside the namespace never sends a packet.
void require_private_namespace(const char *program);

// A Tox instance with the library's default options, loaded from `save` when
// it is not empty; null on failure.
Tox *new_tox(const std::vector<std::uint8_t> &save);

}  // namespace bench
