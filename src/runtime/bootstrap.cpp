#include "runtime/bootstrap.hpp"

#include <cstdio>

#include "bot_state.hpp"
#include "base/hex.hpp"

namespace zorvik {

// From the Tox project's maintained node list (nodes.tox.chat), checked on
// 2026-12-10: nodes still listed, IPv4 addresses first so that no name needs
// resolving at boot. The library keeps the nodes it learns in the save data,
// so this table matters only to a bot's first start (docs/design.md says how
// to refresh it).
const BootstrapNode bootstrap_node_table[] = {
    {"144.217.167.73", 33445, "7E5668E0EE09E19F320AD47902419331FFEE147BB3606769CFBE921A2A2FD34C"},
    {"198.199.98.108", 33445, "BEF0CFB37AF874BD17B9A8F9FE64C75521DB95A37D33C5BDB00E9CF58659C04F"},
    {"205.185.115.131", 53, "3091C6BEB2A993F1C6300C16549FABA67098FF3D62C6D253828B531470B53D68"},
    {"46.101.197.175", 33445, "CD133B521159541FB1D326DE9850F5E56A6C724B5B8E5EB5CD8D950408E95707"},
    {"5.19.249.240", 38296, "DA98A4C0CD7473A133E115FEA2EBDAEEA2EF4F79FD69325FC070DA4DE4BA3238"},
    {"188.225.9.167", 33445, "1911341A83E02503AB1FD6561BD64AF3A9D6C3F12B5FBB656976B2E678644A67"},
    {"tox.abilinski.com", 33445, "10C00EB250C3233E343E2AEBA07115A5C28920E9C8D29492F6D00B29049EDC7E"},
    {"tox.kurnevsky.net", 33445, "82EF82BA33445A1F91A7DB27189ECFC0C013E06E3DA71F588ED692BED625EC23"},
    {nullptr, 0, nullptr},
};

void bootstrap_from_table(Tox *tox)
{
    for (const BootstrapNode *node = bootstrap_node_table; node->address != nullptr; ++node) {
        std::uint8_t key[TOX_PUBLIC_KEY_SIZE];
        Tox_Err_Bootstrap error = TOX_ERR_BOOTSTRAP_OK;
        // The table's keys are constants of 64 digits; a key that did not
        // decode whole is never handed to the library.
        if (parse_public_key(node->public_key_hex, key)) {
            tox_bootstrap(tox, node->address, node->port, key, &error);
        } else {
            error = TOX_ERR_BOOTSTRAP_BAD_HOST;
        }
        if (error != TOX_ERR_BOOTSTRAP_OK) {
            std::fprintf(stderr, "Failed to bootstrap DHT via: %s %d (error %d)\n", node->address,
                         node->port, static_cast<int>(error));
        }
    }
}

}  // namespace zorvik
