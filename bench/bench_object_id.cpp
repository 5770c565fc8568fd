// SPDX-License-Identifier: Apache-2.0
// ID text: LB_GUIDToString against libuuid's uuid_unparse_lower and LB_GUIDFromString
// against uuid_parse, on the same random 16-byte IDs. Each side formats into, and parses
// from, its own text form (37 characters here, 36 for libuuid).
#include <benchmark/benchmark.h>
#include <uuid/uuid.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "object_id.h"

namespace {

constexpr size_t ID_COUNT = 4096;

struct IdSet_s {
    std::vector<std::array<unsigned char, 16>> bytes;
    std::vector<std::array<char, GUID_TEXT_SIZE>> ourTexts;
    std::vector<std::array<char, UUID_STR_LEN>> uuidTexts;
};

const IdSet_s& ids()
{
    static const IdSet_s set = [] {
        IdSet_s made;
        std::mt19937_64 random(20240601);
        made.bytes.resize(ID_COUNT);
        made.ourTexts.resize(ID_COUNT);
        made.uuidTexts.resize(ID_COUNT);
        for (size_t i = 0; i < ID_COUNT; ++i) {
            uint64_t halves[2] = {random(), random()};
            memcpy(made.bytes[i].data(), halves, 16);
            GUID guid;
            memcpy(&guid, made.bytes[i].data(), sizeof guid);
            LB_GUIDToString(&guid, made.ourTexts[i].data());
            uuid_unparse_lower(made.bytes[i].data(), made.uuidTexts[i].data());
        }
        return made;
    }();
    return set;
}

void formatKorvane(benchmark::State& state)
{
    const IdSet_s& set = ids();
    std::vector<GUID> guids(ID_COUNT);
    for (size_t i = 0; i < ID_COUNT; ++i) {
        memcpy(&guids[i], set.bytes[i].data(), sizeof(GUID));
    }
    std::vector<std::array<char, GUID_TEXT_SIZE>> texts(ID_COUNT);
    for (auto _ : state) {
        for (size_t i = 0; i < ID_COUNT; ++i) {
            LB_GUIDToString(&guids[i], texts[i].data());
        }
        benchmark::DoNotOptimize(texts.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * ID_COUNT));
}

void formatLibuuid(benchmark::State& state)
{
    const IdSet_s& set = ids();
    std::vector<std::array<char, UUID_STR_LEN>> texts(ID_COUNT);
    for (auto _ : state) {
        for (size_t i = 0; i < ID_COUNT; ++i) {
            uuid_unparse_lower(set.bytes[i].data(), texts[i].data());
        }
        benchmark::DoNotOptimize(texts.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * ID_COUNT));
}

void parseKorvane(benchmark::State& state)
{
    const IdSet_s& set = ids();
    std::vector<GUID> guids(ID_COUNT);
    for (auto _ : state) {
        int failures = 0;
        for (size_t i = 0; i < ID_COUNT; ++i) {
            failures += LB_GUIDFromString(set.ourTexts[i].data(), &guids[i]) != 0;
        }
        benchmark::DoNotOptimize(failures);
        benchmark::DoNotOptimize(guids.data());
        benchmark::ClobberMemory();
    }
    if (memcmp(guids.data(), set.bytes.data(), ID_COUNT * sizeof(GUID)) != 0) {
        state.SkipWithError("parsed IDs differ from the formatted ones");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * ID_COUNT));
}

void parseLibuuid(benchmark::State& state)
{
    const IdSet_s& set = ids();
    std::vector<std::array<unsigned char, 16>> parsed(ID_COUNT);
    for (auto _ : state) {
        int failures = 0;
        for (size_t i = 0; i < ID_COUNT; ++i) {
            failures += uuid_parse(set.uuidTexts[i].data(), parsed[i].data()) != 0;
        }
        benchmark::DoNotOptimize(failures);
        benchmark::DoNotOptimize(parsed.data());
        benchmark::ClobberMemory();
    }
    if (parsed != set.bytes) {
        state.SkipWithError("parsed IDs differ from the formatted ones");
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * ID_COUNT));
}

}  // namespace

// Pairs are named GROUP/korvane and GROUP/REFERENCE; scripts/bench.sh divides them.
BENCHMARK(formatKorvane)->Name("IdFormat/korvane");
BENCHMARK(formatLibuuid)->Name("IdFormat/libuuid");
BENCHMARK(parseKorvane)->Name("IdParse/korvane");
BENCHMARK(parseLibuuid)->Name("IdParse/libuuid");
