// The group registry: slot indices, group_slots and the size of the array
// across adds, removals, reuse of free slots and trimming, plus the stored
// password and the lookups that must never see a free slot.
//
// The array size is observed with malloc_usable_size: a block asked for n
// slots holds at least n * sizeof(GroupRecord) bytes and, since the
// allocator's granularity is far smaller than one record, less than n + 1
// slots' worth.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <malloc.h>

#include <gtest/gtest.h>

#include "bot_state.hpp"
#include "groups/registry.hpp"

namespace {

using namespace zorvik;

// Number of whole slots the array can hold; 0 when it is released.
std::size_t allocated_slots()
{
    if (bot_state.groups == nullptr) {
        return 0;
    }
    return malloc_usable_size(bot_state.groups) / sizeof(GroupRecord);
}

bool slot_is_zero(std::int32_t index)
{
    static const GroupRecord zero{};
    return std::memcmp(&bot_state.groups[index], &zero, sizeof zero) == 0;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override { fresh(); }

    static void fresh()
    {
        registry_resize(0);
        reset_bot_state(0);
    }

};

// Slot maps after a script of adds and removals. A script is a list of
// "+N" (group_add of N without a password) and "-N" (group_remove of N);
// the expected map lists each scanned slot: its conference number, or "-"
// for a free slot. `allocated` is the number of slots the array holds.
struct Script {
    const char *what;
    const char *operations;
    const char *slots;
    std::size_t allocated;
};

const Script scripts[] = {
    {"an empty registry finds nothing", "", "", 0},
    {"the first add makes a one-slot array", "+5", "5", 1},
    {"adds fill consecutive slots", "+5 +6 +7", "5 6 7", 3},
    {"a middle removal frees its slot in place", "+5 +6 +7 -6", "5 - 7", 3},
    {"an add reuses the lowest free slot and keeps one spare", "+5 +6 +7 -6 +8", "5 8 7", 4},
    {"the next removal, even of an unknown number, gives the spare back", "+5 +6 +7 -6 +8 -99", "5 8 7", 3},
    {"repeated reusing adds keep only one spare", "+5 +6 +7 -5 -6 +8 +9", "8 9 7", 4},
    {"with no free slot left the range grows", "+5 +6 +7 -5 -6 +8 +9 +10", "8 9 7 10", 4},
    {"removing the last entry trims every free slot before it", "+5 +6 +7 -6 -7", "5", 1},
    {"removing the only entry releases the array", "+5 -5", "", 0},
    {"after a release an add starts again with one slot", "+5 -5 +9", "9", 1},
    {"removing an unknown number changes no entry", "+5 +6 -42", "5 6", 2},
    {"removals on an empty registry do nothing", "-0 -5", "", 0},
    {"a twice registered number is removed at the lower slot", "+5 +6 +5 -5", "- 6 5", 3},
    {"free slots never match number 0", "+5 +6 +7 -5 -6", "- - 7", 3},
    {"number 0 is found once it is registered", "+5 +6 +7 -5 -6 +7 +0", "7 0 7", 4},
    {"numbers typed as -1 are compared as unsigned", "+4294967295 +1 -4294967295", "- 1", 2},
};

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        out.push_back(word);
    }
    return out;
}

TEST_F(Registry, ScriptsOfAddsAndRemovalsLeaveTheDocumentedSlots)
{
    for (const Script &script : scripts) {
        SCOPED_TRACE(std::string(script.what) + ": " + script.operations);
        fresh();
        for (const std::string &operation : words(script.operations)) {
            const auto number = static_cast<std::uint32_t>(std::stoul(operation.substr(1)));
            if (operation[0] == '+') {
                ASSERT_EQ(group_add(number, 0, nullptr), 0);
            } else {
                group_remove(number);
            }
        }
        const std::vector<std::string> expected = words(script.slots);
        ASSERT_EQ(bot_state.group_slots, static_cast<std::int32_t>(expected.size()));
        EXPECT_EQ(allocated_slots(), script.allocated);
        EXPECT_EQ(bot_state.groups == nullptr, script.allocated == 0);
        for (std::size_t i = 0; i < script.allocated; ++i) {
            const auto index = static_cast<std::int32_t>(i);
            if (i >= expected.size() || expected[i] == "-") {
                EXPECT_TRUE(slot_is_zero(index)) << "slot " << i << " is free: every field must be zero";
                continue;
            }
            const auto number = static_cast<std::uint32_t>(std::stoul(expected[i]));
            EXPECT_EQ(bot_state.groups[i].conference_number, number) << "slot " << i;
            EXPECT_EQ(bot_state.groups[i].in_use, 1) << "slot " << i;
            const auto lowest = std::find(expected.begin(), expected.end(), expected[i]) - expected.begin();
            EXPECT_EQ(group_find(number), lowest) << "group_find(" << number << ")";
        }
        for (const std::uint32_t absent : {0u, 6u, 42u, 99u, 4294967295u}) {
            if (std::find(expected.begin(), expected.end(), std::to_string(absent)) == expected.end()) {
                EXPECT_EQ(group_find(absent), -1) << "group_find(" << absent << ") of a number not registered";
            }
        }
    }
}

TEST_F(Registry, StoresAPasswordCutTo63Characters)
{
    const std::string long_password(100, 'p');
    ASSERT_EQ(group_add(5, 0, long_password.c_str()), 0);
    const GroupRecord &slot = bot_state.groups[0];
    EXPECT_EQ(slot.password_protected, 1);
    EXPECT_EQ(std::string(slot.password), std::string(63, 'p'));
    EXPECT_EQ(slot.password[63], '\0');

    const std::string exactly64(64, 'q');
    ASSERT_EQ(group_add(6, 0, exactly64.c_str()), 0);
    EXPECT_EQ(std::string(bot_state.groups[1].password), std::string(63, 'q'));

    const std::string exactly63(63, 'r');
    ASSERT_EQ(group_add(7, 0, exactly63.c_str()), 0);
    EXPECT_EQ(std::string(bot_state.groups[2].password), exactly63);
}

TEST_F(Registry, EmptyPasswordStillProtectsAndNoPasswordLeavesTheFieldZero)
{
    ASSERT_EQ(group_add(5, 0, ""), 0);
    EXPECT_EQ(bot_state.groups[0].password_protected, 1);
    EXPECT_STREQ(bot_state.groups[0].password, "");

    ASSERT_EQ(group_add(6, 0, nullptr), 0);
    const GroupRecord &open = bot_state.groups[1];
    EXPECT_EQ(open.password_protected, 0);
    const char zero[password_size] = {};
    EXPECT_EQ(std::memcmp(open.password, zero, sizeof zero), 0);
}

TEST_F(Registry, ReusedSlotKeepsNothingOfItsPreviousEntry)
{
    ASSERT_EQ(group_add(5, 1, "secret"), 0);
    ASSERT_EQ(group_add(6, 0, nullptr), 0);
    std::strcpy(bot_state.groups[0].title, "Old title");
    bot_state.groups[0].title_length = 9;
    group_remove(5);
    ASSERT_EQ(group_add(7, 0, nullptr), 0);

    const GroupRecord &slot = bot_state.groups[0];
    EXPECT_EQ(slot.conference_number, 7u);
    EXPECT_EQ(slot.kind, 0);
    EXPECT_EQ(slot.password_protected, 0);
    EXPECT_STREQ(slot.password, "");
    EXPECT_EQ(slot.title_length, 0u);
    EXPECT_STREQ(slot.title, "");
}

TEST_F(Registry, ResizeKeepsSlotsAndLeavesGroupSlotsAlone)
{
    ASSERT_EQ(group_add(5, 0, nullptr), 0);
    ASSERT_EQ(group_add(6, 0, nullptr), 0);
    registry_resize(5);
    EXPECT_EQ(bot_state.group_slots, 2);
    EXPECT_EQ(allocated_slots(), 5u);
    EXPECT_EQ(group_find(6), 1);
    for (std::int32_t i = 2; i < 5; ++i) {
        EXPECT_TRUE(slot_is_zero(i)) << "new slot " << i;
    }
    registry_resize(0);
    EXPECT_EQ(bot_state.groups, nullptr);
}

}  // namespace
