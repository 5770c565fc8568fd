// SPDX-License-Identifier: Apache-2.0
// The command line: banner, argument checks in the order count, direction, kind,
// case-insensitive keywords, success lines and exit status.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "harness.h"

namespace e2e {
namespace {

const char* const kUsage =
    "Usage: KORVANE get/put pool/volume <full path of file>\n"
    "  KORVANE will get/put the specified Volume's or Pool's Tavro Object ID into/from the "
    "specified file \n\n";
const char* const kDirection =
    "Specify 'put' as second argument to insert GUIDs from File to Ostrel Volumes/Pools \n"
    "Specify 'get' as second argument to insert GUIDs from Ostrel Volumes/Pools to File \n";
const char* const kKind = "The third argument must either be 'pool' or 'volume'\n";
const std::string kHelp = std::string(kUsage) +
                          "  get pool|volume FILE   save the IDs of all active pools or volumes "
                          "in FILE\n"
                          "  put pool|volume FILE   give the pools or volumes listed in FILE "
                          "their IDs back\n"
                          "  diff pool|volume FILE  show what put would do with FILE, changing "
                          "nothing\n"
                          "  get --keep N ...       keep the N lists replaced before as FILE.1 to "
                          "FILE.N\n"
                          "  put --name NAME ...    only the pairs named NAME, again for more "
                          "(diff too)\n"
                          "  put --undo FILE ...    keep the IDs put replaces in FILE, not in "
                          "/var/lib/korvane\n";
const char* const kKeepStream = "--keep needs a regular list file\n";
#define ADMIN_DEVICE(path) "The list file cannot be the admin device \"" path "\"\n"
#define UNDO_REFUSED(path) "The undo list cannot be \"" path "\": it must be a regular file\n"

struct ArgumentCase {
    const char* label;
    Lines args;
    std::string output;  // after the banner, which --help and --version go without
    int status = 255;
    std::string err = "";  // standard error, "{path}" replaced
};

// The line that points at the word: not a command, not a kind, or `tail` after it.
#define NOT_COMMAND(WORD) "korvane: \"" WORD "\" is not a command: get, put or diff\n"
#define NOT_KIND(WORD) "korvane: \"" WORD "\" is not a kind: pool or volume\n"
#define WORD_ERR(WORD, TAIL) "korvane: \"" WORD "\"" TAIL "\n"
#define NOT_OPTION(WORD) WORD_ERR(WORD, " is not an option")
#define AFTER_KIND(WORD) WORD_ERR(WORD, " comes after the kind: options go before it")
#define KEEP_ERR(VALUE) "korvane: --keep takes a number from 1 to 99, not \"" VALUE "\"\n"

void PrintTo(const ArgumentCase& c, std::ostream* os)
{
    *os << c.label;
}

class ArgumentErrors : public EndToEndP<ArgumentCase> {};

TEST_P(ArgumentErrors, PrintOnlyTheirLinesAndTouchNothing)
{
    const ArgumentCase& c = GetParam();
    add({"volume", "V1", 6, testId(1)});
    writeFile(file("ids.xml"), "keep");
    Lines args = c.args;
    for (std::string& arg : args)
        arg = withPath(arg, file("ids.xml"));
    expectedErr = withPath(c.err, file("ids.xml"));
    Outcome outcome = run(args);
    EXPECT_EQ(outcome.process.out,
              (c.status == 255 ? kBanner : "") + withPath(c.output, file("ids.xml")));
    EXPECT_EQ(outcome.process.exitStatus, c.status);
    EXPECT_EQ(outcome.requests, Lines{});
    EXPECT_EQ(readFile(file("ids.xml")), "keep");
    EXPECT_EQ(describe(outcome.objects), expectedObjects({{"volume", "V1", 6, testId(1)}}));
}

const ArgumentCase kArgumentCases[] = {
    {"NoArguments", {}, kUsage},
    {"OneArgument", {"get"}, kUsage},
    {"TwoArguments", {"get", "--keep"}, kUsage},
    {"FourArguments", {"get", "volume", "-", "extra"}, kUsage},
    {"CountCheckedBeforeDirection", {"list", "disk"}, kUsage},
    {"BadDirectionAndKind", {"list", "disk", "{path}"}, kDirection, 255, NOT_COMMAND("list")},
    {"DirectionPrefix", {"ge", "volume", "{path}"}, kDirection, 255, NOT_COMMAND("ge")},
    {"DirectionLonger", {"gets", "volume", "{path}"}, kDirection, 255, NOT_COMMAND("gets")},
    {"DirectionDiffs", {"diffs", "volume", "{path}"}, kDirection, 255, NOT_COMMAND("diffs")},
    {"EmptyDirection", {"", "volume", "{path}"}, kDirection, 255, NOT_COMMAND("")},
    {"PluralKind", {"get", "pools", "{path}"}, kKind, 255, NOT_KIND("pools")},
    {"BadKindOnPut", {"put", "{path}", "volume"}, kKind, 255, NOT_KIND("{path}")},
    {"BadKindOnDiff", {"DIFF", "pools", "{path}"}, kKind, 255, NOT_KIND("pools")},
    {"EmptyKind", {"PUT", "", "{path}"}, kKind, 255, NOT_KIND("")},
    {"Help", {"--help"}, kHelp, 0},
    {"ShortHelp", {"-h"}, kHelp, 0},
    {"Version", {"--version"}, "korvane 1.1.0\n", 0},
    {"ShortVersion", {"-V"}, "korvane 1.1.0\n", 0},
    {"OptionsAreCaseSensitive", {"-v"}, kUsage, 255, NOT_OPTION("-v")},
    {"UnknownOption", {"get", "--kep", "3", "volume", "{path}"}, kUsage, 255, NOT_OPTION("--kep")},
    {"UnknownShortOption", {"put", "-v", "volume", "{path}"}, kUsage, 255, NOT_OPTION("-v")},
    {"HelpWithMoreArguments", {"--help", "volume"}, kUsage},
    explained(ArgumentCase{"VersionAsDirection", {"--version", "volume", "{path}"}, kDirection},
              NOT_COMMAND("--version")),
    {"KeepZero", {"get", "--keep", "0", "volume", "{path}"}, kUsage, 255, KEEP_ERR("0")},
    {"KeepAbove99", {"get", "--keep=100", "volume", "{path}"}, kUsage, 255, KEEP_ERR("100")},
    {"KeepNotANumber", {"get", "--keep", "3x", "volume", "{path}"}, kUsage, 255, KEEP_ERR("3x")},
    {"KeepEmpty", {"get", "--keep=", "volume", "{path}"}, kUsage, 255, KEEP_ERR("")},
    explained(ArgumentCase{"KeepAfterTheKind", {"get", "volume", "--keep", "3", "{path}"}, kUsage},
              AFTER_KIND("--keep")),
    explained(ArgumentCase{"NameAfterTheFile", {"put", "volume", "{path}", "--name=V1"}, kUsage},
              AFTER_KIND("--name=V1")),
    explained(ArgumentCase{"KeepOnPut", {"put", "--keep", "3", "volume", "{path}"}, kUsage},
              WORD_ERR("--keep", " is for get only")),
    explained(
        ArgumentCase{"KeepBadDirection", {"list", "--keep", "3", "volume", "{path}"}, kDirection},
        NOT_COMMAND("list")),
    explained(ArgumentCase{"NameOnGet", {"get", "--name", "V1", "volume", "{path}"}, kUsage},
              WORD_ERR("--name", " is for put and diff only")),
    {"NameWithoutValue", {"put", "--name", "volume", "{path}"}, kUsage},
    explained(
        ArgumentCase{"KeepTwice", {"get", "--keep", "1", "--keep=2", "volume", "{path}"}, kUsage},
        WORD_ERR("--keep=2", " repeats --keep, which is given once")),
    {"KeepOnADevice", {"get", "--keep", "3", "volume", "/dev/null"}, kKeepStream},
    // A 253-byte name takes ".9" but not ".10".
    {"KeepNameTooLong",
     {"get", "--keep", "10", "volume", "{path}.\x1b" + std::string(244, 'x')},
     "--keep 10 makes the name \"{path}.\\x1b" + std::string(244, 'x') + ".10\" too long\n"},
    {"AdminDevice", {"get", "volume", "/dev/zapi"}, ADMIN_DEVICE("/dev/zapi")},
    {"AdminDeviceWithKeep", {"get", "--keep=2", "pool", "/dev/zapi"}, ADMIN_DEVICE("/dev/zapi")},
    {"AdminDeviceThroughDots",
     {"put", "pool", "/dev/../dev/./zapi"},
     ADMIN_DEVICE("/dev/../dev/./zapi")},
    explained(ArgumentCase{"UndoOnDiff", {"diff", "--undo", "u.xml", "volume", "{path}"}, kUsage},
              WORD_ERR("--undo", " is for put only")),
    explained(
        ArgumentCase{
            "UndoTwice", {"put", "--undo", "u.xml", "--undo=v.xml", "volume", "{path}"}, kUsage},
        WORD_ERR("--undo=v.xml", " repeats --undo, which is given once")),
    // Refused before the list file is read: the undo list must be a file of its own.
    {"UndoToStandardOutput", {"put", "--undo", "-", "volume", "{path}"}, UNDO_REFUSED("-")},
    {"UndoToAdminDevice", {"put", "--undo=/dev/zapi", "pool", "{path}"}, UNDO_REFUSED("/dev/zapi")},
    {"UndoToTheRunLock",
     {"put", "--undo", "/run/korvane.lock", "volume", "{path}"},
     UNDO_REFUSED("/run/korvane.lock")},
    {"UndoToAFolder", {"put", "--undo", "/", "volume", "{path}"}, UNDO_REFUSED("/")},
};

INSTANTIATE_TEST_SUITE_P(E2E, ArgumentErrors, ::testing::ValuesIn(kArgumentCases),
                         [](const auto& info) { return std::string(info.param.label); });

// Keywords in any mix of case behave as their lower-case forms; the volume success
// lines start with two newlines, the pool ones do not.
struct KeywordCase {
    const char* label;
    const char* direction;
    const char* kind;
    bool pool;
    bool get;
    const char* success;
};

void PrintTo(const KeywordCase& c, std::ostream* os)
{
    *os << c.label;
}

class MixedCaseKeywords : public EndToEndP<KeywordCase> {};

TEST_P(MixedCaseKeywords, RunTheirRoadAndReportSuccess)
{
    const KeywordCase& c = GetParam();
    std::vector<ObjectSpec> objects = {{"pool", "P1", 6, testId(1)},
                                       {"volume", "V1", 6, testId(2)}};
    addAll(objects);
    bool isPool = c.pool;
    bool isGet = c.get;
    std::string kind = isPool ? "pool" : "volume";
    std::string name = isPool ? "P1" : "V1";
    std::string path = file("ids.xml");
    if (!isGet)
        writeFile(path, listFile(kind, {{name, testId(9)}}));

    Outcome outcome = run({c.direction, c.kind, path});
    EXPECT_EQ(outcome.process.out, kBanner + withPath(c.success, path));
    EXPECT_EQ(outcome.process.exitStatus, 0);
    if (isGet) {
        EXPECT_EQ(readFile(path), listFile(kind, {{name, testId(isPool ? 1 : 2)}}));
        EXPECT_EQ(outcome.requests, getRequests(kind, name));
        EXPECT_EQ(describe(outcome.objects), expectedObjects(objects));
    } else {
        EXPECT_EQ(outcome.requests, getRequests(kind, name) + putRequests(kind, name));
        EXPECT_EQ(describe(outcome.objects), expectedObjects(objects, {{name, testId(9)}}));
    }
}

const KeywordCase kKeywordCases[] = {
    {"GetPool", "GET", "POOL", true, true,
     "Successfully updated the file \"{path}\" with Pool GUID List\n"},
    {"GetVolume", "Get", "Volume", false, true,
     "\n\nSuccessfully updated the file \"{path}\" with Volume GUID List\n"},
    {"PutPool", "PUT", "pool", true, false,
     "Successfully updated from file \"{path}\" to the Pool's GUID\n"},
    {"PutVolume", "pUt", "VOLUME", false, false,
     "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n"},
};

INSTANTIATE_TEST_SUITE_P(E2E, MixedCaseKeywords, ::testing::ValuesIn(kKeywordCases),
                         [](const auto& info) { return std::string(info.param.label); });

// The admin device under another name: through a linked directory, and a node of the same
// device number (the simulated device's, as its stat reports it), both refused before any
// request. A block device, by its name or through a link (a number no driver serves, should
// the refusal fail).
TEST_F(EndToEnd, AdminDeviceOrBlockDeviceByAnyPathIsRefused)
{
    add({"volume", "V1", 6, testId(1)});
    ASSERT_EQ(symlink("/dev", file("dev\nices").c_str()), 0);
    ASSERT_EQ(mknod(file("node").c_str(), S_IFCHR | 0600, makedev(60, 0x7a)), 0);
    ASSERT_EQ(mknod(file("disk").c_str(), S_IFBLK | 0600, makedev(240, 7)), 0);
    ASSERT_EQ(symlink("disk", file("to-disk").c_str()), 0);
    const char* block = "The list file cannot be a block device \"{path}\"\n";
    struct Run {
        const char* path;
        const char* shownPath;
        const char* line;
    };
    const Run runs[] = {{"dev\nices/zapi", "dev\\x0aices/zapi", ADMIN_DEVICE("{path}")},
                        {"node", "node", ADMIN_DEVICE("{path}")},
                        {"disk", "disk", block},
                        {"to-disk", "to-disk", block}};
    for (const Run& r : runs) {
        Outcome outcome = run({"get", "volume", file(r.path)});
        EXPECT_EQ(outcome.process.out, kBanner + withPath(r.line, file(r.shownPath)));
        EXPECT_EQ(outcome.process.exitStatus, 255);
        EXPECT_EQ(outcome.requests, Lines{});
    }
}

// The path is passed on unchanged, even when empty: the road's own failure follows,
// with no success line.
TEST_F(EndToEnd, EmptyPathFailsInTheRoad)
{
    add({"volume", "V1", 6, testId(1)});
    expectedErr = "korvane: : No such file or directory\n";
    Outcome get = run({"get", "volume", ""});
    EXPECT_EQ(get.process.out, std::string(kBanner) +
                                   "Open failed, error : 2\n"
                                   "getName : FAILED to print GUID to File , Error = -1\n");
    EXPECT_EQ(get.log, Lines{"authpriv.err korvane[PID]: get volume to \"\" failed: Open failed, "
                             "error : 2"});
    EXPECT_EQ(get.process.exitStatus, 255);
    EXPECT_EQ(get.requests, Lines{});

    expectedErr = "korvane: : No such file or directory\n";
    Outcome put = run({"put", "pool", ""});
    EXPECT_EQ(put.process.out, std::string(kBanner) + "readGUIDFromFile: open failed, error : 2\n");
    EXPECT_EQ(put.process.exitStatus, 255);
    EXPECT_EQ(put.requests, Lines{});
}

}  // namespace
}  // namespace e2e
