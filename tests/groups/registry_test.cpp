// The group registry: slot indices and the scanned range across adds,
// removals, reuse of free slots and trimming, a full registry, the stored
// password, and the lookups that must never see a free slot.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "groups/registry.hpp"

namespace {

using namespace zorvik;

bool slot_is_zero(std::int32_t index)
{
    static const GroupRecord zero{};
    return std::memcmp(&group_at(index), &zero, sizeof zero) == 0;
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override { fresh(); }
    void TearDown() override { fresh(); }

    static void fresh() { registry_clear(); }

};

// Slot maps after a script of adds and removals. A script is a list of
// "+N" (group_add of N without a password) and "-N" (group_remove of N);
// the expected map lists each scanned slot: its conference number, or "-"
// for a free slot.
struct Script {
    const char *what;
    const char *operations;
    const char *slots;
};

const Script scripts[] = {
    {"an empty registry finds nothing", "", ""},
    {"the first add takes slot 0", "+5", "5"},
    {"adds fill consecutive slots", "+5 +6 +7", "5 6 7"},
    {"a middle removal frees its slot in place", "+5 +6 +7 -6", "5 - 7"},
    {"an add reuses the lowest free slot", "+5 +6 +7 -6 +8", "5 8 7"},
    {"removing an unknown number leaves the slots as they are", "+5 +6 +7 -6 +8 -99", "5 8 7"},
    {"reusing adds fill the free slots from the lowest", "+5 +6 +7 -5 -6 +8 +9", "8 9 7"},
    {"with no free slot left the range grows", "+5 +6 +7 -5 -6 +8 +9 +10", "8 9 7 10"},
    {"removing the last entry trims every free slot before it", "+5 +6 +7 -6 -7", "5"},
    {"removing the only entry empties the range", "+5 -5", ""},
    {"after that an add starts again at slot 0", "+5 -5 +9", "9"},
    {"removing an unknown number changes no entry", "+5 +6 -42", "5 6"},
    {"removals on an empty registry do nothing", "-0 -5", ""},
    {"a twice registered number is removed at the lower slot", "+5 +6 +5 -5", "- 6 5"},
    {"free slots never match number 0", "+5 +6 +7 -5 -6", "- - 7"},
    {"number 0 is found once it is registered", "+5 +6 +7 -5 -6 +7 +0", "7 0 7"},
    {"numbers typed as -1 are compared as unsigned", "+4294967295 +1 -4294967295", "- 1"},
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
        ASSERT_EQ(group_slot_count(), static_cast<std::int32_t>(expected.size()));
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const auto index = static_cast<std::int32_t>(i);
            if (expected[i] == "-") {
                EXPECT_TRUE(slot_is_zero(index)) << "slot " << i << " is free: every field must be zero";
                continue;
            }
            const auto number = static_cast<std::uint32_t>(std::stoul(expected[i]));
            EXPECT_EQ(group_at(index).conference_number, number) << "slot " << i;
            EXPECT_EQ(group_at(index).in_use, 1) << "slot " << i;
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
    const GroupRecord &slot = group_at(0);
    EXPECT_EQ(slot.password_protected, 1);
    EXPECT_EQ(std::string(slot.password), std::string(63, 'p'));
    EXPECT_EQ(slot.password[63], '\0');

    const std::string exactly64(64, 'q');
    ASSERT_EQ(group_add(6, 0, exactly64.c_str()), 0);
    EXPECT_EQ(std::string(group_at(1).password), std::string(63, 'q'));

    const std::string exactly63(63, 'r');
    ASSERT_EQ(group_add(7, 0, exactly63.c_str()), 0);
    EXPECT_EQ(std::string(group_at(2).password), exactly63);
}

TEST_F(Registry, EmptyPasswordStillProtectsAndNoPasswordLeavesTheFieldZero)
{
    ASSERT_EQ(group_add(5, 0, ""), 0);
    EXPECT_EQ(group_at(0).password_protected, 1);
    EXPECT_STREQ(group_at(0).password, "");

    ASSERT_EQ(group_add(6, 0, nullptr), 0);
    const GroupRecord &open = group_at(1);
    EXPECT_EQ(open.password_protected, 0);
    const char zero[password_size] = {};
    EXPECT_EQ(std::memcmp(open.password, zero, sizeof zero), 0);
}

TEST_F(Registry, ReusedSlotKeepsNothingOfItsPreviousEntry)
{
    ASSERT_EQ(group_add(5, 1, "secret"), 0);
    ASSERT_EQ(group_add(6, 0, nullptr), 0);
    group_set_title(0, "Old title", 9);
    group_remove(5);
    ASSERT_EQ(group_add(7, 0, nullptr), 0);

    const GroupRecord &slot = group_at(0);
    EXPECT_EQ(slot.conference_number, 7u);
    EXPECT_EQ(slot.kind, 0);
    EXPECT_EQ(slot.password_protected, 0);
    EXPECT_STREQ(slot.password, "");
    EXPECT_EQ(slot.title_length, 0u);
    EXPECT_STREQ(slot.title, "");
}

TEST_F(Registry, AFullRegistryRefusesUntilASlotIsFree)
{
    for (std::uint32_t i = 0; i < max_conferences; ++i) {
        ASSERT_EQ(group_add(i, 0, nullptr), 0);
    }
    EXPECT_EQ(group_add(max_conferences, 0, nullptr), -1);
    EXPECT_EQ(group_find(max_conferences), -1) << "a refused add registers nothing";
    group_remove(500);
    ASSERT_EQ(group_add(max_conferences, 0, "pw"), 0);
    EXPECT_EQ(group_find(max_conferences), 500);
    EXPECT_EQ(group_slot_count(), static_cast<std::int32_t>(max_conferences));
}

TEST_F(Registry, PasswordsAreSetCutAndClearedInPlace)
{
    ASSERT_EQ(group_add(5, 0, nullptr), 0);
    group_set_password(0, std::string(70, 'x').c_str());
    EXPECT_EQ(group_at(0).password_protected, 1);
    EXPECT_EQ(std::string(group_at(0).password), std::string(63, 'x'));
    group_set_password(0, nullptr);
    EXPECT_EQ(group_at(0).password_protected, 0);
    const char zero[password_size] = {};
    EXPECT_EQ(std::memcmp(group_at(0).password, zero, sizeof zero), 0) << "a cleared password leaves no byte behind";
}

}  // namespace
