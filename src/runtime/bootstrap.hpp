// The fixed table of public DHT nodes and the one bootstrap pass at start-up.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

struct BootstrapNode {
    const char *address;         // IPv4 address or DNS name; null ends the table
    std::uint16_t port;
    const char *public_key_hex;  // 64 upper-case hexadecimal digits
};

extern const BootstrapNode bootstrap_node_table[];

// One tox_bootstrap attempt per table entry, in order; a failure (a name that
// does not resolve among them) prints "Failed to bootstrap DHT via: ..." on
// standard error and the pass goes on.
void bootstrap_from_table(Tox *tox);

}  // namespace zorvik
