// SPDX-License-Identifier: Apache-2.0
// Whole runs in sequence: get, diff then put, the standard streams as the list file, a
// pipe that delivers the file in small pieces, and the request blocks on the device.
#include <cstring>

#include "harness.h"

namespace e2e {
namespace {

const char* const kVolumeGetOk =
    "\n\nSuccessfully updated the file \"{path}\" with Volume GUID List\n";
const char* const kVolumePutOk =
    "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n";
const char* const kPoolGetOk = "Successfully updated the file \"{path}\" with Pool GUID List\n";
const char* const kPoolPutOk = "Successfully updated from file \"{path}\" to the Pool's GUID\n";

struct RoundTripCase {
    const char* label;
    const char* kind;
    const char* getOk;
    const char* putOk;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.label;
}

class RoundTrip : public EndToEndP<RoundTripCase> {};

// Objects get random IDs here: what get wrote, put must give back unchanged.
TEST_P(RoundTrip, GetThenPutChangesNoId)
{
    const RoundTripCase& c = GetParam();
    for (const char* name : {"A1", "A2", "A3"}) {
        zapisim("add", sys, {"pool", name});
        zapisim("add", sys, {"volume", name});
    }
    zapisim("add", sys, {"pool", "Z9", "--state", "2"});
    zapisim("add", sys, {"volume", "Z9", "--state", "2"});
    Lines before = describe(showObjects(sys));
    std::string path = file("ids.xml");

    Outcome get = run({"get", c.kind, path});
    std::string inactive = std::string(c.kind) == "pool"
                               ? "Pool Z9 must be active to get its Tavro ID\n"
                               : "Volume Z9 must be active to get its Tavro ID\n";
    EXPECT_EQ(get.process.out, kBanner + inactive + withPath(c.getOk, path));
    EXPECT_EQ(get.process.exitStatus, 0);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const SimObject& object : showObjects(sys)) {
        if (object.kind == c.kind && object.state == 6)
            pairs.push_back({object.name, object.id});
    }
    EXPECT_EQ(readFile(path), listFile(c.kind, pairs));

    // diff finds every object as the file has it; the inactive one is not in the file.
    Outcome diff = run({"diff", c.kind, path});
    std::string lines, word = std::string(c.kind) == "pool" ? "Pool" : "Volume";
    for (const auto& [name, id] : pairs)
        lines += "same        " + word + " \"" + name + "\"  " + id + "\n";
    EXPECT_EQ(diff.process.out, kBanner + lines + "not-in-file " + word + " \"Z9\"  inactive\n" +
                                    "diff: 3 same, 0 change, 0 inactive, 0 missing, 0 failed, "
                                    "1 not-in-file\n");
    EXPECT_EQ(diff.process.exitStatus, 0);
    EXPECT_EQ(describe(diff.objects), before);

    Outcome put = run({"put", c.kind, path});
    EXPECT_EQ(put.process.out, kBanner + withPath(c.putOk, path));
    EXPECT_EQ(put.process.exitStatus, 0);
    EXPECT_EQ(put.requests, getRequests(c.kind, "A1") + getRequests(c.kind, "A2") +
                                getRequests(c.kind, "A3") + getInfoStop(c.kind, "Z9", "0") +
                                putRequests(c.kind, "A1") + putRequests(c.kind, "A2") +
                                putRequests(c.kind, "A3"));
    EXPECT_EQ(describe(put.objects), before);
}

const RoundTripCase kRoundTripCases[] = {
    {"Pools", "pool", kPoolGetOk, kPoolPutOk},
    {"Volumes", "volume", kVolumeGetOk, kVolumePutOk},
};

INSTANTIATE_TEST_SUITE_P(E2E, RoundTrip, ::testing::ValuesIn(kRoundTripCases),
                         [](const auto& info) { return std::string(info.param.label); });

// A file edited between get and put changes exactly the edited ID.
TEST_F(EndToEnd, EditedIdIsTheOnlyChange)
{
    std::vector<ObjectSpec> objects = mixedSystem();
    addAll(objects);
    std::string path = file("ids.xml");
    ASSERT_EQ(run({"get", "volume", path}).process.exitStatus, 0);
    std::string text = readFile(path);
    // An ID changed on purpose goes with its pair's check; put names the pair.
    size_t at = text.find(testId(2));
    ASSERT_NE(at, std::string::npos);
    text.replace(at, text.find('\n', at) - at, testId(42) + "</volumeGUID>");
    writeFile(path, text);
    expectedErr = "korvane: line 4: Volume \"V2\" has no check\n";
    Outcome put = run({"put", "volume", path});
    EXPECT_EQ(put.process.exitStatus, 0);
    EXPECT_EQ(describe(put.objects), expectedObjects(objects, {{"V2", testId(42)}}));
}

// Enough volumes that the file spans several read buffers.
TEST_F(EndToEnd, ManyVolumesRoundTrip)
{
    zapisim("add-many", sys, {"volume", "300", "vol"});
    zapisim("add-many", sys, {"pool", "3", "pool"});
    Lines before = describe(showObjects(sys));
    std::string path = file("ids.xml");
    Outcome get = run({"get", "volume", path});
    EXPECT_EQ(get.process.exitStatus, 0);
    EXPECT_EQ(get.requests.size(), 300u * 5);
    Outcome put = run({"put", "volume", path});
    EXPECT_EQ(put.process.out, kBanner + withPath(kVolumePutOk, path));
    EXPECT_EQ(put.process.exitStatus, 0);
    EXPECT_EQ(put.requests.size(), 300u * (5 + 6));
    EXPECT_EQ(describe(put.objects), before);
}

// Each name of standard output gets the list alone there, the bytes a list file would
// hold; the banner and every message go to standard error.
TEST_F(EndToEnd, GetToStandardOutputPrintsOnlyTheList)
{
    addAll(mixedSystem());
    ASSERT_EQ(run({"get", "pool", file("pools.xml")}).process.exitStatus, 0);
    for (const char* word : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1", "//dev/stdout",
                             "/dev/./stdout", "/proc/thread-self/fd/1"}) {
        Outcome pool = run({"get", "pool", word});
        EXPECT_EQ(pool.process.out, readFile(file("pools.xml"))) << word;
        EXPECT_EQ(pool.process.err, kBanner + withPath(kPoolGetOk, word)) << word;
        EXPECT_EQ(pool.process.exitStatus, 0);
        // "-" is no file of the working directory: the system log names it as given.
        if (std::string(word) == "-") {
            EXPECT_EQ(pool.log, Lines{"authpriv.info korvane[PID]: get pool to \"-\": 2 saved, 0 "
                                      "could not be saved"});
        }
    }
    // History needs a file to rename; the usage goes to standard error too.
    for (const auto& [count, refusal] :
         {std::pair{"2", "--keep needs a regular list file\n"},
          std::pair{
              "0",
              "Usage: KORVANE get/put pool/volume <full path of file>\n  KORVANE will "
              "get/put the specified Volume's or Pool's Tavro Object ID into/from the "
              "specified file \n\nkorvane: --keep takes a number from 1 to 99, not \"0\"\n"}}) {
        Outcome keep = run({"get", "--keep", count, "volume", "-"});
        EXPECT_EQ(keep.process.out, "");
        EXPECT_EQ(keep.process.err, kBanner + std::string(refusal));
        EXPECT_EQ(keep.process.exitStatus, 255);
        EXPECT_EQ(keep.requests, Lines{});
    }
    // The plain line of a failure stands after its message.
    fail({"opendir", "volume", "--errno", "13"});
    EXPECT_EQ(run({"get", "volume", "-"}).process.err,
              std::string(kBanner) +
                  "Opendir failed, errno : 13\nkorvane: cannot list /_admin/Volumes/: Permission "
                  "denied\n");
    // On a terminal, a message waits there too until the progress line is blanked.
    zapisim("set", sys, {"pool", "P2", "--state", "2"});
    terminal = Terminal::Err;
    EXPECT_EQ(run({"get", "pool", "-"}).process.err,
              kBanner + blanked("get pool", 1, 2) + "Pool P2 must be active to get its Tavro ID\n" +
                  withPath(kPoolGetOk, "-"));
}

// Standard descriptors as the shell leaves them. A closed one is /dev/null to the run: the
// lock file (here holding a list) never stands in for it, and a list for a closed standard
// output is refused, not thrown away. Standard output that fails fails the run, unless its
// reader went away; a list on it keeps its own failure lines.
TEST_F(EndToEnd, StandardDescriptorsAsTheShellLeavesThem)
{
    addAll(mixedSystem());
    const std::string ids = file("ids.xml"), lock = sys + "/lock";
    const std::string volumes =
        listFile("volume", {{"V1", testId(1)}, {"V2", testId(2)}, {"V3", testId(3)}});
    writeFile(ids, volumes);
    writeFile(lock, listFile("volume", {{"V1", testId(9)}}));
    const std::string full = "Write to standard output failed, error : 28\n";
    const std::string closed = "Write to standard output failed, error : 9\n";
    const struct {
        std::string script, out, err;
        int exit;
    } cases[] = {{"exec {korvane} get volume - >&-", "", kBanner + closed, 255},
                 {"exec {korvane} get volume /dev/stdout >&-", "", kBanner + closed, 255},
                 {"exec {korvane} get volume /dev/null >&-", "",
                  kBanner + withPath(kVolumeGetOk, "/dev/null"), 0},
                 {"exec {korvane} get volume - 2>&-", volumes, "", 0},
                 {"exec {korvane} put volume - <&-",
                  std::string(kBanner) + "readVolGUIDFromFile : File - is empty\n", "", 255},
                 {"exec {korvane} get volume " + ids + " >/dev/full", "", full, 255},
                 {"exec {korvane} diff volume " + ids + " >/dev/full", "", full, 255},
                 {"({korvane} diff volume " + ids + "; echo $? >&2) | true", "", "0\n", 0},
                 {"exec {korvane} get volume - >/dev/full", "",
                  std::string(kBanner) +
                      "1:Write failed, ccode = -1, error = 28\nkorvane: -: No space left on "
                      "device\ngetName : FAILED to print GUID to "
                      "File -, Error = -1\n",
                  255}};
    for (const auto& c : cases) {
        ProcessResult result = runShell(sys, c.script);
        EXPECT_EQ(result.out, c.out) << c.script;
        EXPECT_EQ(result.err, c.err) << c.script;
        EXPECT_EQ(result.exitStatus, c.exit) << c.script;
        EXPECT_EQ(readFile(lock), listFile("volume", {{"V1", testId(9)}})) << c.script;
        EXPECT_EQ(readFile(ids), volumes) << c.script;
    }
    EXPECT_EQ(describe(showObjects(sys)), expectedObjects(mixedSystem()));
}

// "-", /dev/stdout and the other names of descriptor 1 put the list on it as it stands: a
// file redirected there gets exactly the list, and a log appended to keeps its start.
TEST_F(EndToEnd, RedirectedStandardOutputHoldsTheListAlone)
{
    add({"volume", "V1", 6, testId(1)});
    add({"volume", "V2", 2, testId(2)});
    const std::string out = file("out");
    for (std::string word : {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        for (std::string redirection : {">", ">>"}) {
            writeFile(out, "earlier\n");
            ProcessResult result =
                runShell(sys, "exec {korvane} get volume " + word + " " + redirection + " " + out);
            EXPECT_EQ(result.exitStatus, 0) << word << redirection;
            EXPECT_EQ(readFile(out), (redirection == ">>" ? "earlier\n" : "") +
                                         listFile("volume", {{"V1", testId(1)}}))
                << word << redirection;
            EXPECT_EQ(result.err,
                      kBanner + std::string("Volume V2 must be active to get its Tavro ID\n") +
                          withPath(kVolumeGetOk, word));
        }
    }
}

// Names with markup, non-ASCII bytes and the longest length come back from the file; a
// name with a blank is reported with its ID and left out, and the others still restore.
TEST_F(EndToEnd, UnusualNamesRoundTrip)
{
    const std::vector<ObjectSpec> objects = {{"volume", "a&b", 6, testId(1)},
                                             {"volume", "c>d", 6, testId(2)},
                                             {"volume", "\xc3\xa9t\xc3\xa9", 6, testId(3)},
                                             {"volume", std::string(255, 'n'), 6, testId(4)},
                                             {"volume", "A B", 6, testId(5)}};
    addAll(objects);
    std::string path = file("ids.xml");
    Outcome get = run({"get", "volume", path});
    EXPECT_EQ(get.process.out,
              std::string(kBanner) +
                  "Volume A B could not be saved: the list file cannot hold its name (Tavro ID " +
                  testId(5) + ")\n" +
                  withPath("\n\nUpdated the file \"{path}\" with Volume GUID List, but 1 volume "
                           "could not be saved\n",
                           path));
    EXPECT_EQ(get.process.exitStatus, 1);
    for (const ObjectSpec& object : objects)
        zapisim("set", sys, {"volume", object.name, "--id", testId(99)});
    Outcome put = run({"put", "volume", path});
    EXPECT_EQ(put.process.exitStatus, 0);
    EXPECT_EQ(describe(put.objects), expectedObjects(objects, {{"A B", testId(99)}}));
}

struct PipeCase {
    const char* label;
    size_t padTo;  // blanks in front of the file up to this size (0: none)
    size_t piece;
    int pauseMs;
};

void PrintTo(const PipeCase& c, std::ostream* os)
{
    *os << c.label;
}

class PutFromPipe : public EndToEndP<PipeCase> {};

// A pipe delivers the file in pieces; short reads are not its end.
TEST_P(PutFromPipe, AppliesEveryPair)
{
    const PipeCase& c = GetParam();
    std::vector<ObjectSpec> objects = mixedSystem();
    addAll(objects);
    std::string text =
        listFile("volume", {{"V1", testId(31)}, {"V2", testId(32)}, {"V3", testId(33)}});
    if (c.padTo > text.size())
        text = std::string(c.padTo - text.size(), ' ') + text;
    StdinFeed feed{text, c.piece, c.pauseMs};
    Outcome put = run({"put", "volume", "/dev/stdin"}, &feed);
    EXPECT_EQ(put.process.out, kBanner + withPath(kVolumePutOk, "/dev/stdin"));
    EXPECT_EQ(put.process.exitStatus, 0);
    EXPECT_EQ(put.requests, getRequests("volume", "V1") + getRequests("volume", "V2") +
                                getRequests("volume", "V3") + putRequests("volume", "V1") +
                                putRequests("volume", "V2") + putRequests("volume", "V3"));
    EXPECT_EQ(
        describe(put.objects),
        expectedObjects(objects, {{"V1", testId(31)}, {"V2", testId(32)}, {"V3", testId(33)}}));
}

const PipeCase kPipeCases[] = {
    {"SmallPieces", 0, 13, 3},
    {"PiecesAcrossBufferEnds", 9000, 1500, 15},
};

INSTANTIATE_TEST_SUITE_P(E2E, PutFromPipe, ::testing::ValuesIn(kPipeCases),
                         [](const auto& info) { return std::string(info.param.label); });

uint64_t field(const JournalRequest& request, size_t offset, size_t width)
{
    uint64_t value = 0;
    if (offset + width <= request.block.size())
        std::memcpy(&value, request.block.data() + offset, width);
    return value;
}

// The fields of each request as the device receives them, for a pool and a volume.
TEST_F(EndToEnd, RequestBlocksCarryTheToolsArguments)
{
    add({"pool", "P001", 6, testId(1)});
    add({"volume", "V001", 6, testId(2)});
    writeFile(file("p.xml"), listFile("pool", {{"P001", testId(3)}}));
    writeFile(file("v.xml"), listFile("volume", {{"V001", testId(4)}}));
    for (const char* kind : {"pool", "volume"}) {
        SCOPED_TRACE(kind);
        bool pool = std::string(kind) == "pool";
        Outcome put = run({"put", kind, file(pool ? "p.xml" : "v.xml")});
        // The walk's six, after the reading's five.
        ASSERT_EQ(put.journal.requests.size(), 11u);
        const std::vector<JournalRequest> r(put.journal.requests.begin() + 5,
                                            put.journal.requests.end());
        EXPECT_EQ(field(r[0], 4, 1), 0u);
        EXPECT_EQ(field(r[0], 80, 4), 0u);
        // "_admin:\pools\P001" is 18 characters, "_admin:\volumes\V001" 20; the length counts the
        // zero.
        EXPECT_EQ(field(r[1], 4, 1), 1u);
        EXPECT_EQ(field(r[1], 48, 8), pool ? 19u : 21u);
        EXPECT_EQ(field(r[1], 80, 8), 0u);
        EXPECT_EQ(field(r[1], 88, 4), 50u);
        EXPECT_EQ(field(r[1], 112, 4), 0x40000004u);
        EXPECT_EQ(field(r[1], 120, 4), 0u);
        for (const JournalRequest& info : {r[2], r[3]}) {
            EXPECT_EQ(field(info, 4, 1), 1u);
            EXPECT_EQ(field(info, 48, 8), 1212u);
            EXPECT_EQ(field(info, 80, 8), 0u);
            EXPECT_EQ(field(info, 92, 4), 0u);
            EXPECT_EQ(field(info, 112, 4), 1u);
        }
        EXPECT_EQ(field(r[2], 96, 8), pool ? 0x40050u : 0x10050u);
        EXPECT_EQ(field(r[3], 96, 8), pool ? 0x400000u : 0x10000u);
        EXPECT_EQ(field(r[4], 4, 1), 0u);
        EXPECT_EQ(field(r[5], 4, 1), 0u);
        // The object key is the one zOpen gave, released first; the root key last.
        EXPECT_EQ(r[4].key, r[2].key);
        EXPECT_EQ(r[4].key, r[3].key);
        EXPECT_EQ(r[5].key, r[1].key);
        EXPECT_NE(r[4].key, r[5].key);
    }
}

}  // namespace
}  // namespace e2e
