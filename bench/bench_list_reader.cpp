// SPDX-License-Identifier: Apache-2.0
// List reader: a volume list file of 100,000 objects, as the tool's writer makes it, parsed
// into the name/ID list (without applying it) against pugixml's in-place parse of the same
// bytes; and the same with the file read from disk. Throughput is file bytes per second.
//
// Both sides fill fresh memory with their results (30 MB of list nodes, a DOM of similar
// size), and in a one-shot process that memory is new: every page of it is faulted in on
// first use. The plain groups measure that way, with the heap handed back to the system
// before each iteration; the groups ending in "Warm" reuse the pages of the previous
// iteration and so show the parsing work alone. ListParseMillion parses a file of
// 1,000,000 objects warm: the reader's check for names and IDs listed twice must not make
// a large list cost more per object than a small one. ListRefuseUnclosedTags refuses a file
// of 300,000 start tags that never end: one reading, however many there are.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench_lists.h"
#include "id_list.h"
#include "name_list.h"

namespace {

struct ListFile_s {
    std::string directory;
    std::string path;
    std::string bytes;
    uint32_t objects;
};

constexpr uint32_t MILLION_OBJECTS = 1000000;

const ListFile_s& listFile()
{
    static const ListFile_s file = [] {
        ListFile_s made;
        made.directory = makeScratchDirectory();
        made.bytes = volumeListFile(made.directory, BENCH_OBJECTS, 7);
        made.path = made.directory + "/volumes.xml";
        made.objects = BENCH_OBJECTS;
        return made;
    }();
    return file;
}

// Only parsed from memory: its file is removed at once.
const ListFile_s& millionFile()
{
    static const ListFile_s file = [] {
        ListFile_s made;
        std::string directory = makeScratchDirectory();
        made.bytes = volumeListFile(directory, MILLION_OBJECTS, 7);
        removeScratchDirectory(directory);
        made.objects = MILLION_OBJECTS;
        return made;
    }();
    return file;
}

size_t listLength()
{
    size_t nodes = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++nodes;
    }
    return nodes;
}

// After a timed parse, paused: a parse that failed or did not give one node per object
// measured something else. The list is emptied for the next iteration.
void endKorvane(benchmark::State& state, const ListFile_s& file, int result)
{
    state.PauseTiming();
    if (result != 0 || listLength() != file.objects) {
        state.SkipWithError("the list does not hold every object of the file");
    }
    discardList();
    state.ResumeTiming();
}

void endPugixml(benchmark::State& state, pugi::xml_document* document,
                const pugi::xml_parse_result& result)
{
    state.PauseTiming();
    if (!result) {
        state.SkipWithError("pugixml refused the file");
    }
    document->reset();
    state.ResumeTiming();
}

void finish(benchmark::State& state, const ListFile_s& file)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.bytes.size()));
}

// Before an iteration, paused: hands freed heap pages back to the system when `cold`.
void startMemory(bool cold)
{
    if (cold) {
        malloc_trim(0);
    }
}

void parseKorvane(benchmark::State& state, bool cold, const ListFile_s& file)
{
    std::vector<char> buffer(file.bytes.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(buffer.data(), file.bytes.data(), file.bytes.size() + 1);
        startMemory(cold);
        state.ResumeTiming();
        int result =
            XMLParser(VOLUME_KIND, buffer.data(), static_cast<uint32_t>(file.bytes.size()));
        endKorvane(state, file, result);
    }
    finish(state, file);
}

void parsePugixml(benchmark::State& state, bool cold, unsigned options, const ListFile_s& file)
{
    std::vector<char> buffer(file.bytes.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(buffer.data(), file.bytes.data(), file.bytes.size() + 1);
        pugi::xml_document document;
        startMemory(cold);
        state.ResumeTiming();
        endPugixml(state, &document,
                   document.load_buffer_inplace(buffer.data(), file.bytes.size(), options));
    }
    finish(state, file);
}

// 300,000 lines "<volumeName x" after the root's start tag and no ">" after them: a file
// that must be refused in one reading, not one scan to its end per tag.
const std::string& unclosedTags()
{
    static const std::string bytes = [] {
        std::string made = "<listVolumes>\n";
        for (int line = 0; line < 300000; ++line) {
            made += "<volumeName x\n";
        }
        return made;
    }();
    return bytes;
}

// The refusal's line goes to /dev/null rather than into the benchmark's report.
void refuseKorvane(benchmark::State& state)
{
    const std::string& bytes = unclosedTags();
    std::vector<char> buffer(bytes.size() + 1);
    fflush(stdout);
    int report = dup(STDOUT_FILENO);
    int quiet = open("/dev/null", O_WRONLY);
    for (auto _ : state) {
        state.PauseTiming();
        memcpy(buffer.data(), bytes.data(), bytes.size() + 1);
        dup2(quiet, STDOUT_FILENO);
        state.ResumeTiming();
        int result = XMLParser(VOLUME_KIND, buffer.data(), static_cast<uint32_t>(bytes.size()));
        state.PauseTiming();
        fflush(stdout);
        dup2(report, STDOUT_FILENO);
        if (result == 0) {
            state.SkipWithError("the file was not refused");
        }
        state.ResumeTiming();
    }
    close(quiet);
    close(report);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void readKorvane(benchmark::State& state)
{
    const ListFile_s& file = listFile();
    for (auto _ : state) {
        state.PauseTiming();
        startMemory(true);
        state.ResumeTiming();
        char* buffer = nullptr;
        uint32_t length = 0;
        int result = readGUIDFromFile(file.path.c_str(), &buffer, &length);
        if (result == 0) {
            result = XMLParser(VOLUME_KIND, buffer, length);
            free(buffer);
        }
        endKorvane(state, file, result);
    }
    finish(state, file);
}

void readPugixml(benchmark::State& state)
{
    const ListFile_s& file = listFile();
    for (auto _ : state) {
        state.PauseTiming();
        pugi::xml_document document;
        startMemory(true);
        state.ResumeTiming();
        endPugixml(state, &document, document.load_file(file.path.c_str(), pugi::parse_default));
    }
    finish(state, file);
}

void registerOne(const std::string& name, const std::function<void(benchmark::State&)>& run)
{
    benchmark::RegisterBenchmark(name.c_str(), run)->Unit(benchmark::kMillisecond);
}

// Pairs are named GROUP/korvane and GROUP/REFERENCE; scripts/bench.sh divides them.
void registerAll()
{
    for (bool cold : {false, true}) {
        std::string group = cold ? "ListParse" : "ListParseWarm";
        registerOne(group + "/korvane",
                    [cold](benchmark::State& state) { parseKorvane(state, cold, listFile()); });
        registerOne(group + "/pugixml", [cold](benchmark::State& state) {
            parsePugixml(state, cold, pugi::parse_default, listFile());
        });
        registerOne(group + "/pugixml-minimal", [cold](benchmark::State& state) {
            parsePugixml(state, cold, pugi::parse_minimal, listFile());
        });
    }
    registerOne("ListParseMillion/korvane",
                [](benchmark::State& state) { parseKorvane(state, false, millionFile()); });
    registerOne("ListParseMillion/pugixml-minimal", [](benchmark::State& state) {
        parsePugixml(state, false, pugi::parse_minimal, millionFile());
    });
    registerOne("ListRefuseUnclosedTags/korvane", refuseKorvane);
    registerOne("ListRead/korvane", readKorvane);
    registerOne("ListRead/pugixml", readPugixml);
}

}  // namespace

int main(int argc, char** argv)
{
    // Freed pages stay with the process unless a cold iteration hands them back.
    mallopt(M_TRIM_THRESHOLD, INT32_MAX);
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeScratchDirectory(listFile().directory);
    return 0;
}
