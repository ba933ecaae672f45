// save_holds_channels against a real save of this library, the same save
// with a channels section where libraries with channels keep it or where no
// load looks, and bytes that are no save or are cut short.
//
// Runs inside the private network namespace: the saves come from real Tox
// instances (never iterated, so they send nothing).
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tox/tox.h>

#include "support/private_netns.hpp"
#include "support/tox_instances.hpp"
#include "storage/save_sections.hpp"

namespace {

using zorvik::channels_section_type;
using zorvik::save_holds_channels;
using zorvik::test::save_section;
using zorvik::test::save_section_at;

// The sections around the place of the channels: status before them, TCP
// relays after them; and the end marker.
constexpr std::uint16_t status_type = 6;
constexpr std::uint16_t relays_type = 10;
constexpr std::uint16_t end_type = 255;
constexpr std::size_t section_header = 8;

std::string inserted(std::string save, std::size_t at, const std::string &bytes)
{
    save.insert(at, bytes);
    return save;
}

#if ZORVIK_CHANNELS
// The save of an instance that keeps channels and has founded one; empty
// when the instance or the channel cannot be made.
std::string save_with_one_channel()
{
    if (!zorvik::test::in_private_netns()) {
        return {};
    }
    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        return {};
    }
    tox_options_set_ipv6_enabled(options, false);
    tox_options_set_local_discovery_enabled(options, false);
    tox_options_set_experimental_groups_persistence(options, true);
    const zorvik::test::ToxPtr tox(tox_new(options, nullptr));
    tox_options_free(options);
    if (tox == nullptr) {
        return {};
    }
    const std::uint8_t name[] = {'z'};
    Tox_Err_Group_New error = TOX_ERR_GROUP_NEW_OK;
    tox_group_new(tox.get(), TOX_GROUP_PRIVACY_STATE_PRIVATE, name, sizeof name, name, sizeof name, &error);
    return error == TOX_ERR_GROUP_NEW_OK ? zorvik::test::savedata_of(tox.get()) : std::string();
}
#endif

TEST(SaveHoldsChannels, FindsAChannelsSectionOnlyAmongTheWholeSectionsBeforeTheEndMarker)
{
    const zorvik::test::ToxPtr tox = zorvik::test::make_tox();
    ASSERT_NE(tox, nullptr) << zorvik::test::tox_unavailable_reason();
    const std::string plain = zorvik::test::savedata_of(tox.get());
    const std::size_t status = save_section_at(plain, status_type);
    const std::size_t relays = save_section_at(plain, relays_type);
    const std::size_t end = save_section_at(plain, end_type);
    ASSERT_NE(status, std::string::npos);
    ASSERT_NE(relays, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    const std::string channels = save_section(channels_section_type, std::string(631, '\x5a'));
    const std::string with_channels = inserted(plain, relays, channels);

    // The status section's length made to reach one byte past the data; the
    // channels section's bytes still follow where it really ends.
    std::string overrun = with_channels;
    const auto past_end = static_cast<std::uint32_t>(overrun.size() - (status + section_header) + 1);
    for (std::size_t i = 0; i < 4; ++i) {
        overrun[status + i] = static_cast<char>(static_cast<std::uint8_t>(past_end >> (8 * i)));
    }
    std::string wrong_cookie = with_channels;
    wrong_cookie[4] = static_cast<char>(wrong_cookie[4] ^ 1);

    const struct {
        const char *what;
        std::string data;
        bool holds;
    } cases[] = {
        {"a real save of this library", plain, false},
        {"a channels section before the TCP relays", with_channels, true},
        {"an empty channels section before the TCP relays",
         inserted(plain, relays, save_section(channels_section_type, "")), true},
        {"a channels section after the end marker", inserted(plain, end + section_header, channels), false},
        {"a section before the channels whose length runs past the end", overrun, false},
        {"cut inside the channels section's header", with_channels.substr(0, relays + section_header - 1), false},
        {"empty", "", false},
        {"shorter than the save header", plain.substr(0, 7), false},
        {"a wrong save cookie", wrong_cookie, false},
#if ZORVIK_CHANNELS
        {"a real save of a library with channels, holding one", save_with_one_channel(), true},
#endif
    };
    for (const auto &c : cases) {
        // Exactly the case's bytes on the heap: the sanitizer build
        // (ZORVIK_SANITIZE) reports any read past them.
        const std::vector<std::uint8_t> bytes(c.data.begin(), c.data.end());
        EXPECT_EQ(save_holds_channels(bytes.data(), bytes.size()), c.holds) << c.what;
    }
}

}  // namespace
