#include "runtime/bootstrap.hpp"

#include <cstdio>
#include <cstdlib>

#include "bot_state.hpp"
#include "base/hex.hpp"

namespace zorvik {

const BootstrapNode bootstrap_node_table[] = {
    {"85.143.221.42", 33445, "DA4E4ED4B697F2E9B000EEFE3A34B554ACD3F45F5C96EAEA2516DD7FF9AF7B43"},
    {"78.46.73.141", 33445, "02807CF4F8BB8FB390CC3794BDF1E8449E9A8392C5D3F2200019DA9F1E812E46"},
    {"144.217.167.73", 33445, "7E5668E0EE09E19F320AD47902419331FFEE147BB3606769CFBE921A2A2FD34C"},
    {"37.48.122.22", 33445, "1B5A8AB25FFFB66620A531C4646B47F0F32B74C547B30AF8BD8266CA50A3AB59"},
    {"193.124.186.205", 5228, "9906D65F2A4751068A59D30505C5FC8AE1A95E0843AE9372EAFA3BAB6AC16C2C"},
    {"95.31.18.227", 33445, "257744DBF57BE3E117FE05D145B5F806089428D4DCE4E3D0D50616AA16D9417E"},
    {"198.199.98.108", 33445, "BEF0CFB37AF874BD17B9A8F9FE64C75521DB95A37D33C5BDB00E9CF58659C04F"},
    {"185.14.30.213", 443, "2555763C8C460495B14157D234DD56B86300A2395554BCAE4621AC345B8C1B1B"},
    {nullptr, 0, nullptr},
};

void bootstrap_from_table(Tox *tox)
{
    for (const BootstrapNode *node = bootstrap_node_table; node->address != nullptr; ++node) {
        std::size_t decoded = 0;
        std::uint8_t *key = hex_to_bytes(node->public_key_hex, &decoded);
        Tox_Err_Bootstrap error = TOX_ERR_BOOTSTRAP_OK;
        // The table's keys are constants of 64 digits; a key that did not
        // decode whole is never handed to the library.
        if (decoded >= public_key_size) {
            tox_bootstrap(tox, node->address, node->port, key, &error);
        } else {
            error = TOX_ERR_BOOTSTRAP_BAD_HOST;
        }
        std::free(key);
        if (error != TOX_ERR_BOOTSTRAP_OK) {
            std::fprintf(stderr, "Failed to bootstrap DHT via: %s %d (error %d)\n", node->address,
                         node->port, static_cast<int>(error));
        }
    }
}

}  // namespace zorvik
