// Cost of turning one friend message into a command: split_command and
// find_command (the code run_command uses) on typical messages and on a
// message of the longest length the bot interprets, plus the whole
// run_command path (working copy, split, lookup) for an unknown word, which
// stops before any handler or library call. Needs no Tox instance.
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "commands/command_table.hpp"
#include "commands/tokenizer.hpp"

namespace {

using zorvik::CommandArgs;

// A quoted message of exactly 1371 bytes: the longest text the bot accepts.
// The quoted token runs to the last byte, so the scan and the copy cover
// the whole text.
std::string longest_quoted_message()
{
    std::string text = "gmessage 0 \"";
    text.append(static_cast<std::size_t>(zorvik::max_command_length) - text.size() - 1, 'x');
    text.push_back('"');
    return text;
}

// 1371 bytes without a blank: one token, copied whole, no such command.
std::string longest_single_word()
{
    return std::string(static_cast<std::size_t>(zorvik::max_command_length), 'x');
}

void split_and_find(benchmark::State &state, const std::string &message)
{
    CommandArgs args;
    for (auto _ : state) {
        std::int32_t tokens = 0;
        // Not const: Google Benchmark 1.9 deprecates DoNotOptimize of a
        // const reference.
        std::int32_t split = zorvik::split_command(message.c_str(), &args, &tokens);
        const zorvik::CommandEntry *row = zorvik::find_command(args.arg[0]);
        benchmark::DoNotOptimize(split);
        benchmark::DoNotOptimize(row);
        benchmark::DoNotOptimize(tokens);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(message.size()));
}

void BM_SplitAndFind_Help(benchmark::State &state)
{
    split_and_find(state, "help");
}

void BM_SplitAndFind_InviteWithPassword(benchmark::State &state)
{
    split_and_find(state, "invite 3 secret");
}

void BM_SplitAndFind_TitleQuoted(benchmark::State &state)
{
    split_and_find(state, "title 1 \"My room\"");
}

void BM_SplitAndFind_Longest1371Quoted(benchmark::State &state)
{
    split_and_find(state, longest_quoted_message());
}

void BM_SplitAndFind_Longest1371OneWord(benchmark::State &state)
{
    split_and_find(state, longest_single_word());
}

// The full run_command path for a word that names no command: split, table
// search, refusal. No Tox call is reached.
void BM_RunCommand_UnknownWord(benchmark::State &state)
{
    const std::string message = "nosuchcommand 3 secret";
    for (auto _ : state) {
        std::int32_t result = zorvik::run_command(nullptr, 0, message.c_str());
        benchmark::DoNotOptimize(result);
    }
}

void BM_RunCommand_UnknownLongest1371(benchmark::State &state)
{
    const std::string message = longest_single_word();
    for (auto _ : state) {
        std::int32_t result = zorvik::run_command(nullptr, 0, message.c_str());
        benchmark::DoNotOptimize(result);
    }
}

}  // namespace

BENCHMARK(BM_SplitAndFind_Help);
BENCHMARK(BM_SplitAndFind_InviteWithPassword);
BENCHMARK(BM_SplitAndFind_TitleQuoted);
BENCHMARK(BM_SplitAndFind_Longest1371Quoted);
BENCHMARK(BM_SplitAndFind_Longest1371OneWord);
BENCHMARK(BM_RunCommand_UnknownWord);
BENCHMARK(BM_RunCommand_UnknownLongest1371);

BENCHMARK_MAIN();
