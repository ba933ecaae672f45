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
