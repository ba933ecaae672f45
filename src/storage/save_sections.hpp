// A look into the save data's sections without loading it: the library
// keeps each part of its state (friends, name, conferences, ...) in a
// section of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvik {

// The section type under which libraries from 0.2.19 on keep new-style
// group chats (channels). A library without them skips the section on load
// and leaves it out of the next save.
inline constexpr std::uint16_t channels_section_type = 7;

// True when `data` is save data whose sections, read up to the end marker,
// include a channels section. Data that is not save data, or is cut short,
// holds no channels as far as this look can tell.
bool save_holds_channels(const std::uint8_t *data, std::size_t size);

}  // namespace zorvik
