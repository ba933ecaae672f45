#include "support/bench_support.hpp"

#include <optional>

#include "support/proc.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {

double elapsed_ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

Summary summarize(std::vector<double> samples)
{
    Summary s{};
    if (samples.empty()) {
        return s;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    s.count = n;
    s.min = samples.front();
    s.max = samples.back();
    s.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    // Nearest rank: the smallest sample with at least 95% of the samples at
    // or below it.
    std::size_t rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    rank = std::clamp<std::size_t>(rank, 1, n);
    s.p95 = samples[rank - 1];
    double total = 0;
    for (double v : samples) {
        total += v;
    }
    s.mean = total / static_cast<double>(n);
    return s;
}

long resident_kib(pid_t pid)
{
    return zorvik::test::resident_kib(pid).value_or(-1);
}

double cpu_seconds(pid_t pid)
{
    const std::optional<long> ms = zorvik::test::cpu_ms(pid);
    return ms ? static_cast<double>(*ms) / 1000.0 : -1;
}

double run_time_ms(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long nanoseconds = 0;
    if (!(file >> nanoseconds)) {
        return -1;
    }
    return static_cast<double>(nanoseconds) / 1e6;
}

double load_average_1min()
{
    std::ifstream file("/proc/loadavg");
    double value = -1;
    file >> value;
    return value;
}

std::string load_average_text()
{
    std::ifstream file("/proc/loadavg");
    std::string one;
    std::string five;
    std::string fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

std::string make_scratch_dir(const char *prefix)
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        std::fprintf(stderr, "cannot make a scratch folder from %s: %s\n", pattern.c_str(), std::strerror(errno));
        std::exit(1);
    }
    return name.data();
}

void remove_tree(const std::string &path)
{
    if (path.empty()) {
        return;
    }
    nftw(
        path.c_str(),
        [](const char *name, const struct stat *, int, struct FTW *) { return ::remove(name); }, 16,
        FTW_DEPTH | FTW_PHYS);
}

Child::~Child()
{
    if (running()) {
        stop(2000);
    }
    if (out_fd_ >= 0) {
        close(out_fd_);
    }
}

bool Child::start(const std::string &program, const std::vector<std::string> &args, const std::string &cwd,
                  const std::string &stderr_path)
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return false;
    }
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) {
            _exit(127);
        }
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        const int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        if (err >= 0) {
            dup2(err, STDERR_FILENO);
            close(err);
        }
        if (chdir(cwd.c_str()) != 0) {
            _exit(127);
        }
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(program.c_str()));
        for (const std::string &arg : args) {
            argv.push_back(const_cast<char *>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    out_fd_ = fds[0];
    pending_.clear();
    output_.clear();
    unread_lines_.clear();
    return true;
}

std::vector<std::string> Child::read_lines()
{
    if (out_fd_ >= 0) {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(out_fd_, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            pending_.append(buffer, static_cast<std::size_t>(n));
            output_.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t newline;
        while ((newline = pending_.find('\n')) != std::string::npos) {
            unread_lines_.push_back(pending_.substr(0, newline));
            pending_.erase(0, newline + 1);
        }
    }
    std::vector<std::string> lines;
    lines.swap(unread_lines_);
    return lines;
}

std::string Child::wait_for_line(const std::string &prefix, int timeout_ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        std::vector<std::string> lines = read_lines();
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(prefix, 0) == 0) {
                // Keep the lines after the match for the next reader.
                unread_lines_.insert(unread_lines_.begin(), lines.begin() + static_cast<long>(i) + 1, lines.end());
                return lines[i];
            }
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0 || out_fd_ < 0) {
            return {};
        }
        pollfd pfd{out_fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) > 0 && (pfd.revents & (POLLHUP | POLLERR)) != 0 &&
            (pfd.revents & POLLIN) == 0) {
            return {};  // the child closed its output
        }
    }
}

int Child::stop(int timeout_ms)
{
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGINT);
    int status = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            break;
        }
        if (Clock::now() >= deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        read_lines();  // keep the pipe drained so the child never blocks on it
        usleep(2000);
    }
    read_lines();
    pid_ = -1;
    return status;
}

void require_private_namespace(const char *program)
{
    char here[128];
    const ssize_t n = readlink("/proc/self/ns/net", here, sizeof here - 1);
    const char *marker = std::getenv("ZORVIK_NETNS");
    if (n > 0 && marker != nullptr) {
        here[n] = '\0';
        if (std::strcmp(here, marker) == 0) {
            return;
        }
    }
    std::fprintf(stderr, "%s creates Tox instances: run it inside scripts/netns-run\n", program);
    std::exit(2);
}

Tox *new_tox(const std::vector<std::uint8_t> &save)
{
    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        return nullptr;
    }
    if (!save.empty()) {
        tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
        tox_options_set_savedata_data(options, save.data(), save.size());
    }
    Tox_Err_New error = TOX_ERR_NEW_OK;
    Tox *tox = tox_new(options, &error);
    tox_options_free(options);
    if (error != TOX_ERR_NEW_OK) {
        std::fprintf(stderr, "tox_new failed (error %d)\n", static_cast<int>(error));
        return nullptr;
    }
    return tox;
}

namespace {

std::vector<std::uint8_t> savedata_of(const Tox *tox)
{
    std::vector<std::uint8_t> bytes(tox_get_savedata_size(tox));
    tox_get_savedata(tox, bytes.data());
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> make_save_with_friends(std::size_t friends, std::uint64_t last_seen, std::uint64_t seed)
{
    Tox *tox = new_tox({});
    if (tox == nullptr) {
        return {};
    }
    std::vector<std::array<std::uint8_t, TOX_PUBLIC_KEY_SIZE>> keys;
    keys.reserve(friends);
    while (keys.size() < friends) {
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        random_public_key(key, seed);
        Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
        tox_friend_add_norequest(tox, key, &error);
        if (error == TOX_ERR_FRIEND_ADD_OK) {
            std::array<std::uint8_t, TOX_PUBLIC_KEY_SIZE> copy{};
            std::memcpy(copy.data(), key, sizeof key);
            keys.push_back(copy);
        } else if (error != TOX_ERR_FRIEND_ADD_ALREADY_SENT && error != TOX_ERR_FRIEND_ADD_OWN_KEY) {
            std::fprintf(stderr, "tox_friend_add_norequest failed (error %d)\n", static_cast<int>(error));
            tox_kill(tox);
            return {};
        }
    }
    std::vector<std::uint8_t> save = savedata_of(tox);
    tox_kill(tox);
    if (last_seen == 0) {
        return save;
    }

    // Friend records follow each other in friend-number order, so each key is
    // searched for from the end of the previous one. Loading the patched
    // data below shows whether the layout was the expected one.
    std::string patched(save.begin(), save.end());
    std::size_t from = 0;
    for (const auto &key : keys) {
        const std::size_t at = zorvik::test::patch_last_online(patched, from, key.data(), last_seen);
        if (at == std::string::npos) {
            std::fprintf(stderr, "friend key not found in the save data\n");
            return {};
        }
        from = at + TOX_PUBLIC_KEY_SIZE;
    }
    save.assign(patched.begin(), patched.end());

    Tox *check = new_tox(save);
    if (check == nullptr) {
        return {};
    }
    bool ok = tox_self_get_friend_list_size(check) == friends;
    std::vector<std::uint32_t> list(tox_self_get_friend_list_size(check));
    tox_self_get_friend_list(check, list.data());
    for (std::uint32_t number : list) {
        if (tox_friend_get_last_online(check, number, nullptr) != last_seen) {
            ok = false;
        }
    }
    std::vector<std::uint8_t> result = savedata_of(check);
    tox_kill(check);
    if (!ok) {
        std::fprintf(stderr, "the patched save data does not load with the expected last-online times\n");
        return {};
    }
    return result;
}

}  // namespace bench
