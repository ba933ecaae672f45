// The conference title handler: titles of registered conferences are kept in
// their registry slot, cut to the slot's field; others are dropped. The
// handler never looks at the Tox instance, so none is made here.
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
        registry_clear();
        reset_bot_state(0);
    }
    void TearDown() override
    {
        registry_clear();
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
        return group_at(slot < 0 ? 0 : slot);
    }
};

// Title events in order, each for a conference number; conference 3 is
// registered, 4 is not. What slot 3 holds afterwards.
TEST_F(ConferenceTitle, KeepsTheLastTitleOfARegisteredConferenceCutToTheField)
{
    const std::string longest(max_name_length, 'T');
    const struct {
        const char *what;
        std::vector<std::pair<std::uint32_t, std::string>> events;
        std::string stored;
    } cases[] = {
        {"a title", {{3, "Weekly call"}}, "Weekly call"},
        {"a shorter title keeps no old tail", {{3, "Weekly call"}, {3, "Renamed"}}, "Renamed"},
        {"an empty title clears the stored one", {{3, "Something"}, {3, ""}}, ""},
        {"a longer title is cut", {{3, std::string(300, 'T')}}, longest},
        {"a title beyond a message's length is cut", {{3, std::string(5000, 'T')}}, longest},
        {"a title of another conference is ignored", {{3, "Ours"}, {4, "Not ours"}}, "Ours"},
    };
    for (const auto &c : cases) {
        registry_clear();
        reset_bot_state(0);
        ASSERT_EQ(group_add(3, 0, nullptr), 0);
        ASSERT_EQ(group_add(5, 0, "pw"), 0);
        for (const auto &[conference, title] : c.events) {
            title_event(conference, title);
        }
        EXPECT_EQ(std::string(record(3).title), c.stored) << c.what;
        EXPECT_EQ(record(3).title_length, c.stored.size()) << c.what;
        EXPECT_STREQ(record(5).password, "pw") << c.what << ": the neighbouring slot must be untouched";
        EXPECT_EQ(record(5).title_length, 0u) << c.what;
        EXPECT_EQ(group_find(4), -1) << c.what << ": a title event registers nothing";
    }
}

TEST_F(ConferenceTitle, TitleWithAnEmptyRegistryIsIgnored)
{
    title_event(0, "Nobody");
    EXPECT_EQ(group_slot_count(), 0);
}

}  // namespace
