// SPDX-License-Identifier: Apache-2.0
// List writer: 100,000 volume records written by writeGUIDToFile (one write call per
// record, as the file format's writer makes them; the file opened and completed as get
// does) against a plain stdio-buffered write of
// the same bytes, record by record. Throughput is file bytes per second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_lists.h"
#include "id_list.h"
#include "name_list.h"

namespace {

constexpr uint32_t SEED = 11;

struct Records_s {
    std::string directory;
    std::string path;
    std::string header;
    std::vector<std::string> records;
    std::string trailer;
    size_t bytes;
};

const Records_s& records()
{
    static const Records_s made = [] {
        Records_s r;
        r.directory = makeScratchDirectory();
        r.path = r.directory + "/volumes.xml";
        std::string written = volumeListFile(r.directory, BENCH_OBJECTS, SEED);
        fillVolumeList(BENCH_OBJECTS, SEED);
        r.header = "<listVolumes>\n";
        for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
            GUID id;
            char check[32];
            LB_GUIDFromString(node->guidText, &id);
            snprintf(check, sizeof check, CHECK_FORMAT, pairCheck(VOLUME_KIND, node->name, &id));
            r.records.push_back(std::string("\t<volumeName>") + node->name +
                                "</volumeName>\n\t\t<volumeGUID>" + node->guidText +
                                "</volumeGUID>" + check + "\n");
        }
        discardList();
        r.trailer = "</listVolumes>";
        std::string same = r.header;
        for (const std::string& record : r.records) {
            same += record;
        }
        same += r.trailer;
        // The reference must write exactly what the writer wrote.
        if (same != written) {
            fputs("bench_list_writer: the reference bytes differ from the writer's\n", stderr);
            abort();
        }
        r.bytes = same.size();
        return r;
    }();
    return made;
}

void writeKorvane(benchmark::State& state)
{
    const Records_s& r = records();
    for (auto _ : state) {
        state.PauseTiming();
        discardList();
        fillVolumeList(BENCH_OBJECTS, SEED);
        state.ResumeTiming();
        if (writeVolumeList(r.path) != 0) {
            state.SkipWithError("writeGUIDToFile failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes));
}

void writeBuffered(benchmark::State& state)
{
    const Records_s& r = records();
    for (auto _ : state) {
        FILE* file = fopen(r.path.c_str(), "w");
        if (file == nullptr) {
            state.SkipWithError("fopen failed");
            break;
        }
        fwrite(r.header.data(), 1, r.header.size(), file);
        for (const std::string& record : r.records) {
            fwrite(record.data(), 1, record.size(), file);
        }
        fwrite(r.trailer.data(), 1, r.trailer.size(), file);
        if (fclose(file) != 0) {
            state.SkipWithError("fclose failed");
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes));
}

}  // namespace

// Pairs are named GROUP/korvane and GROUP/REFERENCE; scripts/bench.sh divides them.
BENCHMARK(writeKorvane)->Name("ListWrite/korvane")->Unit(benchmark::kMillisecond);
BENCHMARK(writeBuffered)->Name("ListWrite/stdio-buffered")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeScratchDirectory(records().directory);
    return 0;
}
