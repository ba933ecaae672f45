// The conference title handler: titles of registered conferences are kept in
// their registry slot, cut to the slot's field; others are dropped. The
// handler never looks at the Tox instance, so none is made here.
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "bot_state.hpp"
#include "events/conference_events.hpp"
#include "groups/registry.hpp"

namespace {

using namespace zorvik;

class ConferenceTitle : public ::testing::Test {
protected:
    void SetUp() override
    {
        registry_resize(0);
        reset_bot_state(0);
    }
    void TearDown() override
    {
        registry_resize(0);
        reset_bot_state(0);
    }

    static void title_event(std::uint32_t conference, const std::string &title)
    {
        on_conference_title(nullptr, conference, 0, reinterpret_cast<const std::uint8_t *>(title.data()),
                            title.size(), nullptr);
    }

    static const GroupRecord &record(std::uint32_t conference)
    {
        const std::int32_t slot = group_find(conference);
        EXPECT_GE(slot, 0) << "conference " << conference << " is not registered";
        return bot_state.groups[slot < 0 ? 0 : slot];
    }
};

TEST_F(ConferenceTitle, StoresTheTitleOfARegisteredConference)
{
    ASSERT_EQ(group_add(3, 0, nullptr), 0);
    title_event(3, "Weekly call");
    EXPECT_STREQ(record(3).title, "Weekly call");
    EXPECT_EQ(record(3).title_length, 11u);

    title_event(3, "Renamed");
    EXPECT_STREQ(record(3).title, "Renamed") << "a shorter title must not keep the old tail";
    EXPECT_EQ(record(3).title_length, 7u);
}

TEST_F(ConferenceTitle, EmptyTitleClearsTheStoredOne)
{
    ASSERT_EQ(group_add(3, 0, nullptr), 0);
    title_event(3, "Something");
    title_event(3, "");
    EXPECT_EQ(record(3).title_length, 0u);
    EXPECT_STREQ(record(3).title, "");
}

TEST_F(ConferenceTitle, LongTitleIsStoredCutToTheFieldLength)
{
    ASSERT_EQ(group_add(3, 0, nullptr), 0);
    ASSERT_EQ(group_add(4, 0, "pw"), 0);
    const std::string long_title(300, 'T');
    title_event(3, long_title);

    const GroupRecord &slot = record(3);
    EXPECT_EQ(slot.title_length, max_name_length);
    EXPECT_EQ(std::string(slot.title), long_title.substr(0, max_name_length));
    EXPECT_EQ(slot.title[max_name_length], '\0');
    EXPECT_STREQ(record(4).password, "pw") << "the neighbouring slot must be untouched";

    title_event(3, std::string(5000, 'L'));
    EXPECT_EQ(record(3).title_length, max_name_length) << "a title beyond a message's length too";
}

TEST_F(ConferenceTitle, TitleOfAnUnregisteredConferenceIsIgnored)
{
    ASSERT_EQ(group_add(3, 0, nullptr), 0);
    title_event(4, "Not ours");
    EXPECT_EQ(record(3).title_length, 0u);
    EXPECT_STREQ(record(3).title, "");
    EXPECT_EQ(bot_state.group_slots, 1);
    EXPECT_EQ(group_find(4), -1) << "a title event registers nothing";
}

TEST_F(ConferenceTitle, TitleWithAnEmptyRegistryIsIgnored)
{
    title_event(0, "Nobody");
    EXPECT_EQ(bot_state.groups, nullptr);
    EXPECT_EQ(bot_state.group_slots, 0);
}

}  // namespace
