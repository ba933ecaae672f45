// The group registry: slot indices, group_slots and the size of the array
// across adds, removals, reuse of free slots and trimming, plus the stored
// password and the lookups that must never see a free slot.
//
// The array size is observed with malloc_usable_size: a block asked for n
// slots holds at least n * sizeof(GroupRecord) bytes and, since the
// allocator's granularity is far smaller than one record, less than n + 1
// slots' worth.
#include <cstdint>
#include <cstring>
#include <string>

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

    // Registers each number in turn, without a password.
    static void add_all(std::initializer_list<std::uint32_t> numbers)
    {
        for (const std::uint32_t number : numbers) {
            ASSERT_EQ(group_add(number, 0, nullptr), 0) << "adding " << number;
        }
    }
};

TEST_F(Registry, StartsEmptyAndFindsNothing)
{
    EXPECT_EQ(bot_state.groups, nullptr);
    EXPECT_EQ(bot_state.group_slots, 0);
    EXPECT_EQ(group_find(0), -1);
    EXPECT_EQ(group_find(5), -1);
}

TEST_F(Registry, FirstAddMakesAOneSlotArray)
{
    ASSERT_EQ(group_add(5, 1, nullptr), 0);
    EXPECT_EQ(bot_state.group_slots, 1);
    ASSERT_NE(bot_state.groups, nullptr);
    EXPECT_EQ(allocated_slots(), 1u);

    const GroupRecord &slot = bot_state.groups[0];
    EXPECT_EQ(slot.conference_number, 5u);
    EXPECT_EQ(slot.in_use, 1);
    EXPECT_EQ(slot.kind, 1);
    EXPECT_EQ(slot.password_protected, 0);
    EXPECT_EQ(slot.title_length, 0u);
    EXPECT_STREQ(slot.title, "");
    EXPECT_EQ(group_find(5), 0);
}

TEST_F(Registry, AddsFillConsecutiveSlots)
{
    add_all({5, 6, 7});
    EXPECT_EQ(bot_state.group_slots, 3);
    EXPECT_EQ(allocated_slots(), 3u);
    EXPECT_EQ(group_find(5), 0);
    EXPECT_EQ(group_find(6), 1);
    EXPECT_EQ(group_find(7), 2);
}

TEST_F(Registry, RemovingAMiddleEntryFreesItsSlotInPlace)
{
    add_all({5, 6, 7});
    group_remove(6);
    EXPECT_EQ(bot_state.group_slots, 3) << "slot 2 is still in use";
    EXPECT_EQ(allocated_slots(), 3u);
    EXPECT_TRUE(slot_is_zero(1)) << "a free slot has every field zero";
    EXPECT_EQ(group_find(6), -1);
    EXPECT_EQ(group_find(5), 0);
    EXPECT_EQ(group_find(7), 2) << "slots never move";
}

TEST_F(Registry, AddReusesTheLowestFreeSlotAndKeepsOneSpareSlot)
{
    add_all({5, 6, 7});
    group_remove(6);
    ASSERT_EQ(group_add(8, 0, nullptr), 0);

    EXPECT_EQ(group_find(8), 1);
    EXPECT_EQ(bot_state.group_slots, 3);
    EXPECT_EQ(allocated_slots(), 4u) << "a reusing add leaves the array one slot longer";
    EXPECT_TRUE(slot_is_zero(3)) << "the spare slot beyond group_slots is zeroed";

    // The next removal, even of an unknown number, gives the spare back.
    group_remove(99);
    EXPECT_EQ(bot_state.group_slots, 3);
    EXPECT_EQ(allocated_slots(), 3u);
    EXPECT_EQ(group_find(5), 0);
    EXPECT_EQ(group_find(8), 1);
    EXPECT_EQ(group_find(7), 2);
}

TEST_F(Registry, RepeatedReusingAddsKeepOnlyOneSpareSlot)
{
    add_all({5, 6, 7});
    group_remove(5);
    group_remove(6);
    ASSERT_EQ(bot_state.group_slots, 3);
    add_all({8, 9});
    EXPECT_EQ(group_find(8), 0);
    EXPECT_EQ(group_find(9), 1);
    EXPECT_EQ(bot_state.group_slots, 3);
    EXPECT_EQ(allocated_slots(), 4u);

    add_all({10});
    EXPECT_EQ(group_find(10), 3) << "no free slot left: the range grows";
    EXPECT_EQ(bot_state.group_slots, 4);
    EXPECT_EQ(allocated_slots(), 4u);
}

TEST_F(Registry, RemovingTheLastEntryTrimsEveryFreeSlotBeforeIt)
{
    add_all({5, 6, 7});
    group_remove(6);
    group_remove(7);
    EXPECT_EQ(bot_state.group_slots, 1);
    EXPECT_EQ(allocated_slots(), 1u);
    EXPECT_EQ(group_find(5), 0);
}

TEST_F(Registry, RemovingTheOnlyEntryReleasesTheArray)
{
    add_all({5});
    group_remove(5);
    EXPECT_EQ(bot_state.group_slots, 0);
    EXPECT_EQ(bot_state.groups, nullptr);
    EXPECT_EQ(group_find(5), -1);

    add_all({9});
    EXPECT_EQ(bot_state.group_slots, 1);
    EXPECT_EQ(allocated_slots(), 1u);
    EXPECT_EQ(group_find(9), 0);
}

TEST_F(Registry, RemovingAnUnknownNumberChangesNoEntry)
{
    add_all({5, 6});
    const GroupRecord before0 = bot_state.groups[0];
    const GroupRecord before1 = bot_state.groups[1];
    group_remove(42);
    EXPECT_EQ(bot_state.group_slots, 2);
    EXPECT_EQ(std::memcmp(&bot_state.groups[0], &before0, sizeof before0), 0);
    EXPECT_EQ(std::memcmp(&bot_state.groups[1], &before1, sizeof before1), 0);
}

TEST_F(Registry, RemoveAndFindOnAnEmptyRegistryDoNothing)
{
    group_remove(0);
    group_remove(5);
    EXPECT_EQ(bot_state.group_slots, 0);
    EXPECT_EQ(bot_state.groups, nullptr);
    EXPECT_EQ(group_find(0), -1);
}

TEST_F(Registry, TwiceRegisteredNumberIsFoundAndRemovedAtTheLowerSlot)
{
    add_all({5, 6, 5});
    EXPECT_EQ(group_find(5), 0);
    group_remove(5);
    EXPECT_TRUE(slot_is_zero(0));
    EXPECT_EQ(group_find(5), 2) << "only the lower entry is cleared";
    EXPECT_EQ(bot_state.group_slots, 3);
}

TEST_F(Registry, FindNeverReturnsAFreeSlotEvenForNumberZero)
{
    add_all({5, 6, 7});
    group_remove(5);
    group_remove(6);
    ASSERT_EQ(bot_state.groups[0].conference_number, 0u);
    EXPECT_EQ(group_find(0), -1) << "free slots hold number 0 but are not in use";

    add_all({7, 0});  // 7 reuses slot 0, 0 reuses slot 1
    EXPECT_EQ(group_find(0), 1);
}

TEST_F(Registry, NegativeNumbersAreComparedAsUnsigned)
{
    const std::int32_t typed = -1;
    ASSERT_EQ(group_add(static_cast<std::uint32_t>(typed), 0, nullptr), 0);
    EXPECT_EQ(group_find(4294967295u), 0);
    EXPECT_EQ(group_find(static_cast<std::uint32_t>(typed)), 0);
    group_remove(static_cast<std::uint32_t>(-1));
    EXPECT_EQ(group_find(4294967295u), -1);
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
    add_all({6});
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
    add_all({5, 6});
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
