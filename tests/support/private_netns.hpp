// Guard for every test program that creates a Tox instance or starts the
// bot: they must run inside the private network namespace that
// scripts/netns-run makes, so that no packet can leave the machine.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace zorvik::test {

// True when this process runs in the namespace that scripts/netns-run made:
// the script stores the namespace's identity in ZORVIK_NETNS, so a value
// inherited from elsewhere does not match.
inline bool in_private_netns()
{
    const char *marker = std::getenv("ZORVIK_NETNS");
    if (marker == nullptr) {
        return false;
    }
    std::error_code error;
    const std::filesystem::path here = std::filesystem::read_symlink("/proc/self/ns/net", error);
    return !error && here.string() == marker;
}

}  // namespace zorvik::test
