#include "storage/save_sections.hpp"

namespace zorvik {

namespace {

// The save data begins with four zero bytes and this cookie; then come
// sections, each an 8-byte header (32-bit length, 16-bit type, 16-bit
// section cookie, all little-endian) and `length` bytes of content.
constexpr std::uint32_t save_cookie = 0x15ed1b1f;
constexpr std::uint16_t section_cookie = 0x01ce;
constexpr std::uint16_t end_section_type = 255;
constexpr std::size_t header_size = 8;

std::uint32_t read_u32(const std::uint8_t *bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint16_t read_u16(const std::uint8_t *bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

bool save_holds_channels(const std::uint8_t *data, std::size_t size)
{
    if (size < header_size || read_u32(data) != 0 || read_u32(data + 4) != save_cookie) {
        return false;
    }
    std::size_t at = header_size;
    // Every step moves `at` forward by at least one header, and no further
    // than `size`: the loop ends.
    while (size - at >= header_size) {
        const std::uint32_t length = read_u32(data + at);
        const std::uint16_t type = read_u16(data + at + 4);
        if (read_u16(data + at + 6) != section_cookie || type == end_section_type) {
            return false;
        }
        if (type == channels_section_type) {
            return true;
        }
        at += header_size;
        if (length > size - at) {
            return false;
        }
        at += length;
    }
    return false;
}

}  // namespace zorvik
