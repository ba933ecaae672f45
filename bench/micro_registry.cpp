// Cost of the group registry operations with 1,000 registered conferences:
// filling it, finding the first, last and a missing conference, and taking
// one out and back in (in the middle and at the end, where the range is
// trimmed and the array shrinks). Needs no Tox instance.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <benchmark/benchmark.h>

#include "bot_state.hpp"
#include "groups/registry.hpp"

namespace {

constexpr std::uint32_t registered = 1000;

void empty_registry()
{
    zorvik::registry_clear();
    zorvik::reset_bot_state(0);
}

// Conferences 0 .. count-1 in slots 0 .. count-1, every other one with a
// password, as the "group" command would leave them.
void fill_registry(std::uint32_t count)
{
    empty_registry();
    for (std::uint32_t n = 0; n < count; ++n) {
        if (zorvik::group_add(n, 0, n % 2 == 0 ? nullptr : "secret") != 0) {
            std::fputs("group_add failed while filling the registry\n", stderr);
            std::exit(1);
        }
    }
}

// 1,000 group_add calls into an empty registry; each one grows the array
// by a slot and searches for the lowest free slot.
void BM_GroupAdd_Fill1000(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        empty_registry();
        state.ResumeTiming();
        for (std::uint32_t n = 0; n < registered; ++n) {
            benchmark::DoNotOptimize(zorvik::group_add(n, 0, nullptr));
        }
    }
    // items_per_second is group_add calls per second.
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * registered);
    empty_registry();
}

void find_in_full_registry(benchmark::State &state, std::uint32_t conference_number)
{
    fill_registry(registered);
    for (auto _ : state) {
        benchmark::DoNotOptimize(zorvik::group_find(conference_number));
    }
    empty_registry();
}

void BM_GroupFind_First_Of1000(benchmark::State &state)
{
    find_in_full_registry(state, 0);
}

void BM_GroupFind_Last_Of1000(benchmark::State &state)
{
    find_in_full_registry(state, registered - 1);
}

void BM_GroupFind_Missing_Of1000(benchmark::State &state)
{
    find_in_full_registry(state, registered + 7);
}

// group_remove then group_add of the same conference: the freed slot is
// reused, the array keeps its length (plus the spare slot group_add keeps).
void BM_GroupRemoveAndAdd_Middle_Of1000(benchmark::State &state)
{
    fill_registry(registered);
    const std::uint32_t middle = registered / 2;
    for (auto _ : state) {
        zorvik::group_remove(middle);
        benchmark::DoNotOptimize(zorvik::group_add(middle, 0, nullptr));
    }
    empty_registry();
}

// The same at the end: removal trims the range and shrinks the array,
// group_add grows it again.
void BM_GroupRemoveAndAdd_Last_Of1000(benchmark::State &state)
{
    fill_registry(registered);
    const std::uint32_t last = registered - 1;
    for (auto _ : state) {
        zorvik::group_remove(last);
        benchmark::DoNotOptimize(zorvik::group_add(last, 0, nullptr));
    }
    empty_registry();
}

}  // namespace

BENCHMARK(BM_GroupAdd_Fill1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GroupFind_First_Of1000);
BENCHMARK(BM_GroupFind_Last_Of1000);
BENCHMARK(BM_GroupFind_Missing_Of1000);
BENCHMARK(BM_GroupRemoveAndAdd_Middle_Of1000);
BENCHMARK(BM_GroupRemoveAndAdd_Last_Of1000);

BENCHMARK_MAIN();
