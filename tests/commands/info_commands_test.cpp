// format_uptime: days, hours and minutes of the bot's running time.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "commands/handlers.hpp"

namespace {

using zorvik::format_uptime;

std::string uptime(std::uint64_t seconds)
{
    char buffer[64];
    const std::int32_t length = format_uptime(buffer, sizeof buffer, seconds);
    EXPECT_EQ(length, static_cast<std::int32_t>(std::strlen(buffer)));
    return buffer;
}

TEST(FormatUptime, SplitsSecondsIntoDaysHoursAndMinutes)
{
    EXPECT_EQ(uptime(0), "0d 0h 0m");
    EXPECT_EQ(uptime(59), "0d 0h 0m") << "seconds are dropped, not rounded";
    EXPECT_EQ(uptime(86399), "0d 23h 59m");
    EXPECT_EQ(uptime(86400), "1d 0h 0m");
    EXPECT_EQ(uptime(90061), "1d 1h 1m");
    EXPECT_EQ(uptime(400 * UINT64_C(86400)), "400d 0h 0m");
}

}  // namespace
