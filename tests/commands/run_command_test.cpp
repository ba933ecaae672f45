// run_command on a real Tox instance: which texts reach a handler (result 0)
// and which are refused (-1). The handler used is "id", which only replies;
// the friend number names no friend, so the reply is dropped by the library.
//
// Runs inside the private network namespace.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "commands/command_table.hpp"
#include "support/files.hpp"
#include "support/tox_instances.hpp"

namespace {

using namespace zorvik;

class RunCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        tox_ = test::make_tox();
        ASSERT_NE(tox_, nullptr) << test::tox_unavailable_reason();
    }

    std::int32_t run(const std::string &text) { return run_command(tox_.get(), no_friend, text.c_str()); }

    static constexpr std::uint32_t no_friend = 77;
    test::ToxPtr tox_;
};

TEST_F(RunCommand, RunsTheHandlerOfAKnownWord)
{
    EXPECT_EQ(run("id"), 0);
    EXPECT_EQ(run("id with three args"), 0) << "extra tokens are the handler's business";
}

TEST_F(RunCommand, RefusesUnknownWords)
{
    for (const char *text : {"Help", "HELP", "ID", "", " id", "\"id\"", "nonsense 1 2 3"}) {
        EXPECT_EQ(run(text), -1) << "«" << text << "»";
    }
}

}  // namespace
