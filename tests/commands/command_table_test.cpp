// The command table: its fifteen words in search order, the empty row that
// ends it, and exact, case-sensitive lookup.
#include <cstddef>
#include <string>

#include <gtest/gtest.h>

#include "commands/command_table.hpp"

namespace {

using namespace zorvik;

const char *const documented_words[] = {"default", "group", "gmessage", "help",   "id",
                                        "info",    "invite", "leave",   "master", "name",
                                        "passwd",  "purge",  "status",  "statusmessage", "title"};

TEST(CommandTable, HasTheFifteenWordsInOrderThenTheEmptyRow)
{
    std::size_t row = 0;
    for (const char *word : documented_words) {
        ASSERT_NE(command_table[row].word, nullptr) << "table ended early at row " << row;
        EXPECT_STREQ(command_table[row].word, word) << "row " << row;
        EXPECT_NE(command_table[row].handler, nullptr) << "row " << row;
        ++row;
    }
    EXPECT_EQ(command_table[row].word, nullptr) << "row 15 should end the table";
    EXPECT_EQ(command_table[row].handler, nullptr);
}

TEST(FindCommand, FindsEveryWordAtItsOwnRow)
{
    for (std::size_t row = 0; command_table[row].word != nullptr; ++row) {
        EXPECT_EQ(find_command(command_table[row].word), &command_table[row]) << command_table[row].word;
    }
}

TEST(FindCommand, MatchesWholeWordsCaseSensitively)
{
    for (const char *word : {"Help", "HELP", "", "hel", "helpx", "help ", "\"help\"", "statusmessag"}) {
        EXPECT_EQ(find_command(word), nullptr) << "«" << word << "» should find no row";
    }
}

TEST(FindCommand, StatusAndStatusmessageAreDistinctRows)
{
    ASSERT_NE(find_command("status"), nullptr);
    ASSERT_NE(find_command("statusmessage"), nullptr);
    EXPECT_NE(find_command("status"), find_command("statusmessage"));
    EXPECT_STREQ(find_command("statusmessage")->word, "statusmessage");
}

}  // namespace
