#include "hardening_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace zorvik::hardening {

namespace {

constexpr std::string_view name_marker = " set name to ";
constexpr std::string_view banner_name_prefix = "Name: ";

}  // namespace

std::uint64_t replayable_seed(const char *variable)
{
    std::uint64_t seed = 0;
    const char *given = std::getenv(variable);
    if (given != nullptr && *given != '\0') {
        seed = std::strtoull(given, nullptr, 10);
    } else {
        std::random_device device;
        seed = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }
    std::fprintf(stderr, "hardening: random seed %llu (replay with %s=%llu)\n",
                 static_cast<unsigned long long>(seed), variable, static_cast<unsigned long long>(seed));
    return seed;
}

std::optional<long> resident_kib(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        long kib = 0;
        if (std::sscanf(line.c_str(), "VmRSS: %ld kB", &kib) == 1) {
            return kib;
        }
    }
    return std::nullopt;
}

std::optional<long> cpu_ms(pid_t pid)
{
    // Fields 14 and 15 of /proc/<pid>/stat, after the command name, which
    // is in parentheses and may hold blanks.
    std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
    const std::size_t after_name = text.rfind(')');
    if (after_name == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(after_name + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
        if (index == 14) {
            utime = std::stoull(field);
        } else if (index == 15) {
            stime = std::stoull(field);
        }
    }
    const long ticks_per_second = sysconf(_SC_CLK_TCK);
    return static_cast<long>((utime + stime) * 1000 / static_cast<unsigned long long>(ticks_per_second));
}

std::string path_kind(const std::string &path)
{
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0) {
        return "missing";
    }
    if (S_ISREG(status.st_mode)) {
        return "file";
    }
    if (S_ISDIR(status.st_mode)) {
        return "folder";
    }
    if (S_ISLNK(status.st_mode)) {
        return "symlink";
    }
    if (S_ISFIFO(status.st_mode)) {
        return "fifo";
    }
    return "other";
}

std::string read_file(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool write_file(const std::string &path, std::string_view content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    return static_cast<bool>(file);
}

std::vector<std::string> names_set(const std::vector<std::string> &stdout_lines, std::size_t from_line)
{
    std::vector<std::string> names;
    for (std::size_t i = from_line; i < stdout_lines.size(); ++i) {
        const std::size_t at = stdout_lines[i].find(name_marker);
        if (at != std::string::npos) {
            names.push_back(stdout_lines[i].substr(at + name_marker.size()));
        }
    }
    return names;
}

std::optional<std::string> banner_name(const std::vector<std::string> &stdout_lines)
{
    for (const std::string &line : stdout_lines) {
        if (line.rfind(banner_name_prefix, 0) == 0) {
            return line.substr(banner_name_prefix.size());
        }
    }
    return std::nullopt;
}

}  // namespace zorvik::hardening
