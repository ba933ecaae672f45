#include "proc.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <unistd.h>

namespace zorvik::test {

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

}  // namespace zorvik::test
