// SPDX-License-Identifier: Apache-2.0
// The get road: listing the admin directory, reading each object's ID, writing the
// ID list file; every message of its failures, checked byte for byte.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>

#include "harness.h"

namespace e2e {
namespace {

enum class FileCheck { Absent, Content, Skip };

struct GetCase {
    const char* label;
    const char* kind;
    std::vector<ObjectSpec> objects;
    std::vector<Lines> faults;  // arguments of `zapisim fail`, "{path}" replaced
    const char* path;           // relative to the test's directory unless absolute
    const char* before;         // content of the file before the run, or null: none
    std::string output;         // after the banner
    int exit;
    FileCheck check;
    std::string file;  // with FileCheck::Content
    Lines requests;
    std::string err = "";             // standard error, "{path}" replaced
    std::optional<Lines> log;         // the system log, when the row says
    const char* shownPath = nullptr;  // the path as messages show it, when not as given
    Terminal terminal = Terminal::None;
};

const std::vector<ObjectSpec> kMixed = mixedSystem();

// A temporary file of the list (".NAME.XXXXXX") left in the directory.
bool temporaryLeft(const std::string& dir)
{
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string()[0] == '.')
            return true;
    }
    return false;
}
const std::vector<ObjectSpec> kPools = {
    {"pool", "P1", 6, testId(11)}, {"pool", "P2", 6, testId(12)}, {"pool", "P3", 6, testId(13)}};
const std::vector<ObjectSpec> kVolumeInactive = {
    {"volume", "V1", 6, testId(1)}, {"volume", "V2", 2, testId(2)}, {"volume", "V3", 6, testId(3)}};
const std::vector<ObjectSpec> kPoolInactive = {
    {"pool", "P1", 6, testId(11)}, {"pool", "P2", 3, testId(12)}, {"volume", "V1", 6, testId(1)}};

const std::string kVolumes =
    listFile("volume", {{"V1", testId(1)}, {"V2", testId(2)}, {"V3", testId(3)}});
const std::string kVolumes13 = listFile("volume", {{"V1", testId(1)}, {"V3", testId(3)}});
const std::string kPools12 = listFile("pool", {{"P1", testId(11)}, {"P2", testId(12)}});
// Read up to its end, where V1 stands twice: the pairs before do not count either.
const std::string kRefusedList = listFile("volume", {{"V1", testId(9)}, {"V1", testId(8)}});
const Lines kVolumeRequests =
    getRequests("volume", "V1") + getRequests("volume", "V2") + getRequests("volume", "V3");

#define VOLUME_OK "\n\nSuccessfully updated the file \"{path}\" with Volume GUID List\n"
#define POOL_OK "Successfully updated the file \"{path}\" with Pool GUID List\n"
#define WRITER_FAILED "getName : FAILED to print GUID to File {path}, Error = -1\n"
#define ADMIN_DEVICE "The list file cannot be the admin device \"{path}\"\n" WRITER_FAILED
#define EMPTY_LIST "List is empty, There are no Volumes\n" WRITER_FAILED
#define GET_LOG(LEVEL, TEXT) "authpriv." LEVEL " korvane[PID]: get " TEXT
#define FILE_ERR(TEXT) "korvane: {path}: " TEXT "\n"
#define OLDER "an older and much longer file than the new one\n"
#define VOLUME_PARTIAL \
    "\n\nUpdated the file \"{path}\" with Volume GUID List, but 1 volume could not be saved\n"
#define POOL_PARTIAL \
    "Updated the file \"{path}\" with Pool GUID List, but 1 pool could not be saved\n"

// Any row; on the usual mixed system, a list written to "ids.xml" where there was none,
// or a failure that leaves no file at the path; on any system, a failure that keeps the
// old "ids.xml".
GetCase row(const char* label, const char* kind, const std::vector<ObjectSpec>& objects,
            const std::vector<Lines>& faults, const char* path, const char* before,
            const std::string& output, int exit, FileCheck check, const std::string& file,
            const Lines& requests)
{
    return {label, kind,  objects, faults,   path, before, output,
            exit,  check, file,    requests, "",   {}};
}
GetCase written(const char* label, const char* kind, const std::vector<Lines>& faults,
                const std::string& output, int exit, const std::string& file, const Lines& requests)
{
    return row(label, kind, kMixed, faults, "ids.xml", nullptr, output, exit, FileCheck::Content,
               file, requests);
}
GetCase absent(const char* label, const char* kind, const std::vector<Lines>& faults,
               const char* path, const std::string& output, const Lines& requests)
{
    return row(label, kind, kMixed, faults, path, nullptr, output, 255, FileCheck::Absent, "",
               requests);
}
GetCase kept(const char* label, const char* kind, const std::vector<ObjectSpec>& objects,
             const std::vector<Lines>& faults, const std::string& output, const Lines& requests)
{
    return row(label, kind, objects, faults, "ids.xml", "old", output, 255, FileCheck::Content,
               "old", requests);
}

GetCase shownAs(GetCase c, const char* shownPath)
{
    c.shownPath = shownPath;
    return c;
}

// A list file of the last run that the new one replaces; the lines and log of get's warnings.
GetCase replacing(GetCase c, const std::string& before, const Lines& warnings)
{
    static std::vector<std::unique_ptr<std::string>> kept;
    kept.push_back(std::make_unique<std::string>(before));
    c.before = kept.back()->c_str();
    for (const std::string& warning : warnings) {
        c.err += "korvane: " + warning + "\n";
        c.log->insert(c.log->end() - 1, "authpriv.warning korvane[PID]: " + warning);
    }
    return c;
}

// 22 pools, the first with a name that is shown escaped; the last list held each with
// another ID.
struct ManyPools {
    std::vector<ObjectSpec> objects;
    Lines requests;
    std::string list, lastList;
    Lines warnings;
};
ManyPools manyPools()
{
    ManyPools m;
    std::vector<std::pair<std::string, std::string>> now, last;
    for (unsigned n = 0; n < 22; ++n) {
        std::string name = n == 0 ? "P\x1b" : "P" + std::to_string(10 + n);
        m.objects.push_back({"pool", name, 6, testId(100 + n)});
        m.requests = m.requests + getRequests("pool", name);
        now.emplace_back(name, testId(100 + n));
        last.emplace_back(name, testId(200 + n));
        if (n < 20)
            m.warnings.push_back(idChanged("Pool \"" + (n == 0 ? "P\\x1b" : name) + "\"",
                                           testId(200 + n), testId(100 + n)));
    }
    m.warnings.push_back("2 more pools changed their ID since the last list");
    m.list = listFile("pool", now);
    m.lastList = listFile("pool", last);
    return m;
}
const ManyPools kManyPools = manyPools();

const GetCase kGetCases[] = {
    logged(written("AllVolumes", "volume", {}, VOLUME_OK, 0, kVolumes, kVolumeRequests),
           {GET_LOG("info", "volume to \"{path}\": 3 saved, 0 could not be saved")}),
    written("AllPools", "pool", {}, POOL_OK, 0, kPools12,
            getRequests("pool", "P1") + getRequests("pool", "P2")),
    row("ExistingFileIsReplaced", "volume", kMixed, {}, "ids.xml", OLDER OLDER OLDER OLDER OLDER,
        VOLUME_OK, 0, FileCheck::Content, kVolumes, kVolumeRequests),
    // The list replaced, in any order, tells what changed since: an ID (one written in
    // upper case is the same), an object gone; the first 20 named, the pools' words for
    // pools. A list of the other kind, or one the reader refuses, tells nothing, and the
    // reader says nothing.
    replacing(logged(written("LastListTellsWhatChanged", "volume", {}, VOLUME_OK, 0, kVolumes,
                             kVolumeRequests),
                     {GET_LOG("info", "volume to \"{path}\": 3 saved, 0 could not be saved")}),
              listFile("volume", {{"V2", testId(9)},
                                  {"V4", testId(4)},
                                  {"V1", "1A2B0001-C001-4E01-81-01-5EED00000001"}}),
              {idChanged("Volume \"V2\"", testId(9), testId(2)),
               "1 volumes of the last list are not in this one"}),
    replacing(
        logged(row("LastListBeyondTwentyChanges", "pool", kManyPools.objects, {}, "ids.xml",
                   nullptr, POOL_OK, 0, FileCheck::Content, kManyPools.list, kManyPools.requests),
               {GET_LOG("info", "pool to \"{path}\": 22 saved, 0 could not be saved")}),
        kManyPools.lastList, kManyPools.warnings),
    row("LastListOfTheOtherKind", "volume", kMixed, {}, "ids.xml", kPools12.c_str(), VOLUME_OK, 0,
        FileCheck::Content, kVolumes, kVolumeRequests),
    row("LastListRefused", "volume", kMixed, {}, "ids.xml", kRefusedList.c_str(), VOLUME_OK, 0,
        FileCheck::Content, kVolumes, kVolumeRequests),
    // On a terminal, a line that counts the objects read, blanked before any other line
    // reaches that terminal and at the end; never on standard output.
    onTerminal(row("ProgressOnATerminal", "volume", {{"volume", "V1", 6, testId(1)}}, {}, "ids.xml",
                   nullptr, VOLUME_OK, 0, FileCheck::Content,
                   listFile("volume", {{"V1", testId(1)}}), getRequests("volume", "V1")),
               Terminal::Err, blanked("get volume", 1, 1)),
    onTerminal(row("ProgressBlankedForAMessage", "volume", kVolumeInactive, {}, "ids.xml", nullptr,
                   blanked("get volume", 1, 3) + "Volume V2 must be active to get its Tavro ID\n" +
                       VOLUME_OK,
                   0, FileCheck::Content, kVolumes13,
                   getRequests("volume", "V1") + getInfoStop("volume", "V2", "0") +
                       getRequests("volume", "V3")),
               Terminal::Both, ""),
    row("InactiveVolumeLeftOut", "volume", kVolumeInactive, {}, "ids.xml", nullptr,
        "Volume V2 must be active to get its Tavro ID\n" VOLUME_OK, 0, FileCheck::Content,
        kVolumes13,
        getRequests("volume", "V1") + getInfoStop("volume", "V2", "0") +
            getRequests("volume", "V3")),
    // Given through "..": the system log still names the file by its absolute path.
    logged(row("InactivePoolLeftOut", "pool", kPoolInactive, {}, "system/../ids.xml", nullptr,
               "Pool P2 must be active to get its Tavro ID\n" POOL_OK, 0, FileCheck::Content,
               listFile("pool", {{"P1", testId(11)}}),
               getRequests("pool", "P1") + getInfoStop("pool", "P2", "0")),
           {GET_LOG("info", "pool to \"{path}\": 1 saved, 0 could not be saved")}),
    row("NoVolumes", "volume", kPools, {}, "ids.xml", nullptr, EMPTY_LIST, 255, FileCheck::Absent,
        "", {}),
    kept("NoPoolsKeepsTheFile", "pool", {{"volume", "V1", 6, testId(1)}}, {}, EMPTY_LIST, {}),
    kept("OnlyInactiveVolumes", "volume",
         {{"volume", "V1", 0, testId(1)}, {"volume", "V2", 5, testId(2)}}, {},
         "Volume V1 must be active to get its Tavro ID\nVolume V2 must be active to get its Tavro "
         "ID\n" EMPTY_LIST,
         getInfoStop("volume", "V1", "0") + getInfoStop("volume", "V2", "0")),
    row("DotNameIsAnObject", "volume",
        {{"volume", ".hidden", 6, testId(7)}, {"volume", "V1", 6, testId(1)}}, {}, "ids.xml",
        nullptr, VOLUME_OK, 0, FileCheck::Content,
        listFile("volume", {{".hidden", testId(7)}, {"V1", testId(1)}}),
        getRequests("volume", ".hidden") + getRequests("volume", "V1")),
    row("NameWithMarkupWrittenUnchanged", "volume", {{"volume", "a&b>c\xc3\xa9", 6, testId(4)}}, {},
        "ids.xml", nullptr, VOLUME_OK, 0, FileCheck::Content,
        listFile("volume", {{"a&b>c\xc3\xa9", testId(4)}}), getRequests("volume", "a&b>c\xc3\xa9")),
    // Names that the list file cannot give back as they are: left out with their IDs.
    row("NameWithWhiteSpaceLeftOut", "volume",
        {{"volume", "A\tB", 6, testId(5)},
         {"volume", "A\nB", 6, testId(6)},
         {"volume", "A B", 6, testId(4)},
         {"volume", "V1", 6, testId(1)}},
        {}, "ids.xml", nullptr,
        "Volume A\\x09B could not be saved: the list file cannot hold its name (Tavro ID " +
            testId(5) +
            ")\nVolume A\\x0aB could not be saved: the list file cannot hold its name " +
            "(Tavro ID " + testId(6) +
            ")\nVolume A B could not be saved: the list file cannot hold its name (Tavro ID " +
            testId(4) +
            ")\n\n\nUpdated the file \"{path}\" with Volume GUID List, but 3 volumes could not be "
            "saved\n",
        1, FileCheck::Content, listFile("volume", {{"V1", testId(1)}}),
        getRequests("volume", "A\tB") + getRequests("volume", "A\nB") +
            getRequests("volume", "A B") + getRequests("volume", "V1")),
    row("NameWithTagLeftOut", "pool",
        {{"pool", "P1 ", 6, testId(11)},
         {"pool", "P2", 6, testId(12)},
         {"pool", "x<poolGUID>", 6, testId(13)}},
        {}, "ids.xml", nullptr,
        "Pool P1  could not be saved: the list file cannot hold its name (Tavro ID " + testId(11) +
            ")\nPool x<poolGUID> could not be saved: the list file cannot hold its name (Tavro "
            "ID " +
            testId(13) +
            ")\nUpdated the file \"{path}\" with Pool GUID List, but 2 pools could not be saved\n",
        1, FileCheck::Content, listFile("pool", {{"P2", testId(12)}}),
        getRequests("pool", "P1 ") + getRequests("pool", "P2") +
            getRequests("pool", "x<poolGUID>")),
    // Bytes below 0x20 and 0x7f in names and in the path, as every message shows them.
    logged(
        explained(
            shownAs(row("ControlBytesShownEscaped", "volume",
                        {{"volume", "A\x1b[8m", 6, testId(4)},
                         {"volume", "C\nD\x7f", 2, testId(5)},
                         {"volume", "V1", 6, testId(1)}},
                        {{"16", "--status", "99", "--name", "A\x1b[8m"}}, "ids\n\x1b.xml", nullptr,
                        "Volume :zGetInfo failed -- error 99\nVolume A\\x1b[8m could not "
                        "be saved\nVolume C\\x0aD\\x7f must be active to get its Tavro "
                        "ID\n" VOLUME_PARTIAL,
                        1, FileCheck::Content, listFile("volume", {{"V1", testId(1)}}),
                        getInfoStop("volume", "A\x1b[8m", "status=99") +
                            getInfoStop("volume", "C\nD\x7f", "0") + getRequests("volume", "V1")),
                    "ids\\x0a\\x1b.xml"),
            REFUSAL("Volume \"A\\x1b[8m\"", "zGetInfo", "99")),
        {GET_LOG("info", "volume to \"{path}\": 1 saved, 1 could not be saved")}),
    // The run stops after the object in hand; the old file stays.
    logged(kept("SignalStopsTheRun", "volume", kMixed, {{"16", "--signal", "2", "--nth", "2"}},
                "getName : interrupted by signal 2\n",
                getRequests("volume", "V1") + getRequests("volume", "V2")),
           {GET_LOG("err", "volume to \"{path}\" failed: getName : interrupted by signal 2")}),
    logged(
        explained(
            written("RootKeyStatus", "volume", {{"1000", "--status", "777", "--nth", "2"}},
                    "getInfo : zRootKey error 777\nVolume V2 could not be saved\n" VOLUME_PARTIAL,
                    1, kVolumes13,
                    getRequests("volume", "V1") + Lines{"1000 root status=777"} +
                        getRequests("volume", "V3")),
            REFUSAL("Volume \"V2\"", "zRootKey", "777")),
        {GET_LOG("info", "volume to \"{path}\": 2 saved, 1 could not be saved")}),
    explained(written("RootKeyErrno", "pool", {{"1000", "--errno", "5", "--nth", "1"}},
                      "getInfo : zRootKey error 5\nPool P1 could not be saved\n" POOL_PARTIAL, 1,
                      listFile("pool", {{"P2", testId(12)}}),
                      Lines{"1000 root errno=5"} + getRequests("pool", "P2")),
              REFUSAL("Pool \"P1\"", "zRootKey", "5")),
    logged(
        explained(absent("DeviceCannotBeOpened", "volume", {{"device", "--errno", "13"}},
                         "system/../ids.xml",
                         "getInfo : zRootKey error 13\nVolume V1 could not be saved\ngetInfo : "
                         "zRootKey error "
                         "13\nVolume V2 could not be saved\ngetInfo : zRootKey error 13\nVolume V3 "
                         "could not be "
                         "saved\n" EMPTY_LIST,
                         {}),
                  "korvane: cannot open the admin device /dev/zapi: Permission denied (korvane "
                  "must run as root)\n"),
        {GET_LOG("err", "volume to \"{path}\" failed: List is empty, There are no Volumes")}),
    explained(written("OpenStatus", "volume", {{"23", "--status", "20202", "--name", "V2"}},
                      "getInfo : zOpen error 20202\nVolume V2 could not be saved\n" VOLUME_PARTIAL,
                      1, kVolumes13,
                      getRequests("volume", "V1") +
                          Lines{"1000 root 0", "23 volume:V2 status=20202", "1001 root 0"} +
                          getRequests("volume", "V3")),
              REFUSAL("Volume \"V2\"", "zOpen", "20202")),
    explained(written("OpenErrno", "pool", {{"23", "--errno", "2", "--name", "P1"}},
                      "getInfo : zOpen error 2\nPool P1 could not be saved\n" POOL_PARTIAL, 1,
                      listFile("pool", {{"P2", testId(12)}}),
                      Lines{"1000 root 0", "23 pool:P1 errno=2", "1001 root 0"} +
                          getRequests("pool", "P2")),
              REFUSAL("Pool \"P1\"", "zOpen", "2")),
    // On a terminal: the progress line blanked before the refusal's line.
    onTerminal(
        written(
            "GetInfoVolume", "volume", {{"16", "--status", "99", "--name", "V2"}},
            "Volume :zGetInfo failed -- error 99\nVolume V2 could not be saved\n" VOLUME_PARTIAL, 1,
            kVolumes13,
            getRequests("volume", "V1") + getInfoStop("volume", "V2", "status=99") +
                getRequests("volume", "V3")),
        Terminal::Err, blanked("get volume", 1, 3) + REFUSAL("Volume \"V2\"", "zGetInfo", "99")),
    explained(written("GetInfoPool", "pool", {{"16", "--errno", "5", "--name", "P2"}},
                      "Pool :zGetInfo failed -- error 5\nPool P2 could not be saved\n" POOL_PARTIAL,
                      1, listFile("pool", {{"P1", testId(11)}}),
                      getRequests("pool", "P1") + getInfoStop("pool", "P2", "errno=5")),
              REFUSAL("Pool \"P2\"", "zGetInfo", "5")),
    explained(
        absent(
            "GetInfoStatusIsUnsigned", "pool", {{"16", "--status", "3000000000"}}, "ids.xml",
            "Pool :zGetInfo failed -- error 3000000000\nPool P1 could not be saved\nPool :zGetInfo "
            "failed -- error 3000000000\nPool P2 could not be saved\n" EMPTY_LIST,
            getInfoStop("pool", "P1", "status=3000000000") +
                getInfoStop("pool", "P2", "status=3000000000")),
        REFUSAL("Pool \"P1\"", "zGetInfo", "3000000000")
            REFUSAL("Pool \"P2\"", "zGetInfo", "3000000000")),
    written("NodeCannotBeAllocated", "volume", {{"malloc", "--size", "304", "--nth", "2"}},
            "Malloc : Failed to allocate a tmp var of NameGUIDList_s\nVolume V2 could not be "
            "saved\n" VOLUME_PARTIAL,
            1, kVolumes13, kVolumeRequests),
    logged(
        explained(kept("OpendirFails", "volume", kMixed, {{"opendir", "volume", "--errno", "13"}},
                       "Opendir failed, errno : 13\n", {}),
                  "korvane: cannot list /_admin/Volumes/: Permission denied\n"),
        {GET_LOG("err", "volume to \"{path}\" failed: Opendir failed, errno : 13")}),
    // No admin directory: the storage system is not loaded.
    explained(kept("AdminDirectoryMissing", "pool", kMixed, {{"opendir", "pool", "--errno", "2"}},
                   "Opendir failed, errno : 2\n", {}),
              "korvane: cannot list /_admin/Pools/: No such file or directory (is the storage "
              "system loaded?)\n"),
    explained(kept("ReaddirFailsAtOnce", "pool", kMixed,
                   {{"readdir", "pool", "--errno", "5", "--nth", "1"}},
                   "Readdir failed, errno : 5\n", {}),
              "korvane: cannot list /_admin/Pools/: Input/output error\n"),
    // The admin directory lists "." and ".." first: the fourth entry read is the second object.
    explained(absent("ReaddirFailsMidway", "volume",
                     {{"readdir", "volume", "--errno", "5", "--nth", "4"}}, "ids.xml",
                     "Readdir failed, errno : 5\n", getRequests("volume", "V1")),
              "korvane: cannot list /_admin/Volumes/: Input/output error\n"),
    // What the open finds decides, before any request: the lock's file by any name is
    // refused; /dev/null is no stand-in for the device and is written in place.
    row("RunLockFile", "volume", kMixed, {}, "system/lock", "", ADMIN_DEVICE, 255,
        FileCheck::Content, "", {}),
    row("NullDevice", "volume", kMixed, {}, "/dev/null", nullptr, VOLUME_OK, 0, FileCheck::Skip, "",
        kVolumeRequests),
    logged(explained(
               shownAs(absent("WriterOpenInMissingDirectory", "volume", {}, "missing\x1b\n/ids.xml",
                              "Open failed, error : 2\n" WRITER_FAILED, {}),
                       "missing\\x1b\\x0a/ids.xml"),
               FILE_ERR("No such file or directory")),
           {GET_LOG("err", "volume to \"{path}\" failed: Open failed, error : 2")}),
    explained(row("HeaderWriteOnFullDevice", "pool", kMixed, {}, "/dev/full", nullptr,
                  "1:Write failed, ccode = -1, error = 28\n" WRITER_FAILED, 255, FileCheck::Skip,
                  "", getRequests("pool", "P1") + getRequests("pool", "P2")),
              FILE_ERR("No space left on device")),
    logged(explained(kept("HeaderWriteFails", "volume", kMixed,
                          {{"write", "--path", "{path}", "--errno", "5", "--nth", "1"}},
                          "1:Write failed, ccode = -1, error = 5\n" WRITER_FAILED, kVolumeRequests),
                     FILE_ERR("Input/output error")),
           {GET_LOG("err", "volume to \"{path}\" failed: 1:Write failed, ccode = -1, error = 5")}),
    explained(absent("FirstRecordWriteFails", "volume",
                     {{"write", "--path", "{path}", "--errno", "28", "--nth", "2"}}, "ids.xml",
                     "2:Write failed, ccode = -1, error = 28\n" WRITER_FAILED, kVolumeRequests),
              FILE_ERR("No space left on device")),
    explained(kept("ThirdRecordWriteFails", "volume", kMixed,
                   {{"write", "--path", "{path}", "--errno", "5", "--nth", "4"}},
                   "2:Write failed, ccode = -1, error = 5\n" WRITER_FAILED, kVolumeRequests),
              FILE_ERR("Input/output error")),
    explained(absent("TrailerWriteFails", "volume",
                     {{"write", "--path", "{path}", "--errno", "5", "--nth", "5"}}, "ids.xml",
                     "3:write failed, ccode = -1, error = 5\n" WRITER_FAILED, kVolumeRequests),
              FILE_ERR("Input/output error")),
    // The message carries the failed write's own error number, not what the close left.
    explained(absent("WriteErrnoSurvivesTheClose", "volume",
                     {{"write", "--path", "{path}", "--errno", "28", "--nth", "2"},
                      {"close", "--path", "{path}", "--errno", "9"}},
                     "ids.xml", "2:Write failed, ccode = -1, error = 28\n" WRITER_FAILED,
                     kVolumeRequests),
              FILE_ERR("No space left on device")),
    explained(kept("CloseFails", "pool", kMixed, {{"close", "--path", "{path}", "--errno", "5"}},
                   "close failed, ccode = -1, error = 5\n" WRITER_FAILED,
                   getRequests("pool", "P1") + getRequests("pool", "P2")),
              FILE_ERR("Input/output error")),
    // Where the caller may not give the file away, its owner is left as the kernel sets it.
    row("OwnerCannotBeKept", "volume", kMixed, {{"fchown", "--path", "{path}", "--errno", "1"}},
        "ids.xml", "old", VOLUME_OK, 0, FileCheck::Content, kVolumes, kVolumeRequests),
    explained(
        kept("OwnerChangeFails", "volume", kMixed, {{"fchown", "--path", "{path}", "--errno", "5"}},
             "close failed, ccode = -1, error = 5\n" WRITER_FAILED, kVolumeRequests),
        FILE_ERR("Input/output error")),
    // A signal during the last write: the file is complete, but the rename is not made.
    kept("SignalDuringTheWriteKeepsTheFile", "volume", kMixed,
         {{"write", "--path", "{path}", "--signal", "15", "--nth", "5"}},
         "getName : interrupted by signal 15\n", kVolumeRequests),
    written("InterruptedWriteIsRetried", "volume",
            {{"write", "--path", "{path}", "--errno", "4", "--nth", "2"}}, VOLUME_OK, 0, kVolumes,
            kVolumeRequests),
};

void PrintTo(const GetCase& c, std::ostream* os)
{
    *os << c.label;
}

class GetRoad : public EndToEndP<GetCase> {};

TEST_P(GetRoad, OutputFileIdsAndRequests)
{
    const GetCase& c = GetParam();
    addAll(c.objects);
    std::string path = c.path[0] == '/' ? std::string(c.path) : file(c.path);
    std::string shownPath = c.shownPath != nullptr ? file(c.shownPath) : path;
    if (c.before != nullptr)
        writeFile(path, c.before);
    failAll(c.faults, path);

    expectedErr = withPath(c.err, shownPath);
    terminal = c.terminal;
    Outcome outcome = run({"get", c.kind, path});
    EXPECT_EQ(outcome.process.out, kBanner + withPath(c.output, shownPath));
    EXPECT_EQ(outcome.process.exitStatus, c.exit);
    // The logged rows write ids.xml, which the log names by its absolute path however given,
    // or a path shown escaped.
    if (c.log) {
        EXPECT_EQ(outcome.log,
                  withPath(*c.log, c.shownPath != nullptr ? shownPath : file("ids.xml")));
    }
    // Devices such as /dev/full are not read back: they never end.
    if (c.check != FileCheck::Skip) {
        bool exists = false;
        std::string written = readFile(path, &exists);
        EXPECT_EQ(exists, c.check == FileCheck::Content) << path;
        if (c.check == FileCheck::Content) {
            EXPECT_EQ(written, c.file);
        }
    }
    EXPECT_FALSE(temporaryLeft(root));
    EXPECT_EQ(describe(outcome.objects), expectedObjects(c.objects));
    EXPECT_EQ(outcome.requests, c.requests);
}

INSTANTIATE_TEST_SUITE_P(E2E, GetRoad, ::testing::ValuesIn(kGetCases),
                         [](const auto& info) { return std::string(info.param.label); });

// History: runs in turn over V1 (its ID changed before each run as given) and V2; the
// list file and its numbered files afterwards, each the list of one run.
struct KeepRun {
    unsigned id;             // V1's ID before the run
    bool partial;            // V2 cannot be read in this run
    bool immutable = false;  // FILE can be neither linked nor renamed (chattr +i)
};
struct KeepCase {
    const char* label;
    Lines options;
    std::vector<KeepRun> runs;
    std::vector<int> files;  // the run whose list FILE, FILE.1, ... hold; -1: absent
    std::string output;      // of the last run, after the banner
    int exit;
};

#define KEPT "The previous list is kept as \"{path}.1\"\n"

const KeepCase kKeepCases[] = {
    {"KeepOne",
     {"--keep", "1"},
     {{1, false}, {2, false}, {3, false}, {4, false}},
     {3, 2, -1},
     VOLUME_OK KEPT,
     0},
    {"KeepThree",
     {"--keep=3"},
     {{1, false}, {2, false}, {3, false}, {4, false}},
     {3, 2, 1, 0, -1},
     VOLUME_OK KEPT,
     0},
    {"UnchangedListsKeepNothing",
     {"--keep", "3"},
     {{1, false}, {2, false}, {2, false}, {2, false}},
     {3, 0, -1},
     VOLUME_OK,
     0},
    {"PartialRunKeepsTheCompleteList",
     {"--keep", "2"},
     {{1, false}, {1, true}},
     {1, 0, -1},
     "Volume :zGetInfo failed -- error 5\nVolume V2 could not be saved\n" VOLUME_PARTIAL KEPT,
     1},
    {"WithoutKeepNothingIsKept", {}, {{1, false}, {2, false}}, {1, -1}, VOLUME_OK, 0},
    // Failed runs in a row change no numbered file.
    {"ImmutableFileKeepsTheHistory",
     {"--keep", "3"},
     {{1, false},
      {2, false},
      {3, false},
      {4, false},
      {5, false, true},
      {6, true, true},
      {7, false, true}},
     {3, 2, 1, 0, -1},
     "close failed, ccode = -1, error = 1\n" WRITER_FAILED,
     255},
};

void PrintTo(const KeepCase& c, std::ostream* os)
{
    *os << c.label;
}

class KeepHistory : public EndToEndP<KeepCase> {};

TEST_P(KeepHistory, KeepsEachChangedList)
{
    const KeepCase& c = GetParam();
    add({"volume", "V1", 6, testId(1)});
    add({"volume", "V2", 6, testId(50)});
    const std::string path = file("ids\x7f.xml");
    std::vector<std::string> lists;
    Outcome outcome;
    const KeepRun* last = nullptr;  // the run whose list the file holds
    for (const KeepRun& r : c.runs) {
        zapisim("set", sys, {"volume", "V1", "--id", testId(r.id)});
        std::vector<std::pair<std::string, std::string>> pairs = {{"V1", testId(r.id)}};
        if (r.partial) {
            fail({"16", "--errno", "5", "--name", "V2"});
            expectedErr = REFUSAL("Volume \"V2\"", "zGetInfo", "5");
        } else
            pairs.emplace_back("V2", testId(50));
        if (r.immutable) {
            // The fourth rename is FILE's to FILE.1, once FILE.3 to FILE.1 have moved up.
            fail({"link", "--path", path, "--errno", "1"});
            fail({"rename", "--path", path, "--errno", "1", "--nth", "4"});
            expectedErr += withPath(FILE_ERR("Operation not permitted"), file("ids\\x7f.xml"));
        } else if (last != nullptr) {
            // What the list replaced tells of this one.
            if (last->id != r.id)
                expectedErr +=
                    "korvane: " + idChanged("Volume \"V1\"", testId(last->id), testId(r.id)) + "\n";
            if (!last->partial && r.partial)
                expectedErr += "korvane: 1 volumes of the last list are not in this one\n";
        }
        lists.push_back(listFile("volume", pairs));
        Lines args = {"get"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.insert(args.end(), {"volume", path});
        outcome = run(args);
        if (r.immutable)
            lists.pop_back();
        else
            last = &r;
    }
    EXPECT_EQ(outcome.process.out, kBanner + withPath(c.output, file("ids\\x7f.xml")));
    EXPECT_EQ(outcome.process.exitStatus, c.exit);
    for (size_t k = 0; k < c.files.size(); ++k) {
        std::string name = k == 0 ? path : path + "." + std::to_string(k);
        bool exists = false;
        std::string content = readFile(name, &exists);
        EXPECT_EQ(exists, c.files[k] >= 0) << name;
        if (c.files[k] >= 0) {
            EXPECT_EQ(content, lists[static_cast<size_t>(c.files[k])]) << name;
        }
    }
    EXPECT_FALSE(temporaryLeft(root));
}

INSTANTIATE_TEST_SUITE_P(E2E, KeepHistory, ::testing::ValuesIn(kKeepCases),
                         [](const auto& info) { return std::string(info.param.label); });

// The sizes of the format: 24 + 108n + names for pools, 28 + 116n + names for volumes.
TEST_F(EndToEnd, SingleLetterNamesGiveTheFormatsSizes)
{
    add({"pool", "P", 6, "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a"});
    add({"volume", "V", 6, "00000000-0000-0000-00-00-000000000000"});
    EXPECT_EQ(run({"get", "pool", file("p.xml")}).process.exitStatus, 0);
    EXPECT_EQ(readFile(file("p.xml")),
              "<listPools>\n\t<poolName>P</poolName>\n\t\t<poolGUID>"
              "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</poolGUID> <!-- check 75c23292 -->\n"
              "</listPools>");
    EXPECT_EQ(readFile(file("p.xml")).size(), 133u);
    EXPECT_EQ(run({"get", "volume", file("v.xml")}).process.exitStatus, 0);
    EXPECT_EQ(readFile(file("v.xml")),
              "<listVolumes>\n\t<volumeName>V</volumeName>\n\t\t<volumeGUID>"
              "00000000-0000-0000-00-00-000000000000</volumeGUID> <!-- check dc093fe1 -->\n"
              "</listVolumes>");
    EXPECT_EQ(readFile(file("v.xml")).size(), 145u);
}

// A 255-byte name, the longest an admin directory gives, is written whole; a list file
// whose own name is that long still gets its temporary file beside it.
TEST_F(EndToEnd, LongestNameIsWrittenWhole)
{
    std::string name(255, 'n');
    add({"volume", name, 6, testId(5)});
    for (const std::string& path : {file("ids.xml"), file(name)}) {
        Outcome outcome = run({"get", "volume", path});
        EXPECT_EQ(outcome.process.exitStatus, 0);
        EXPECT_EQ(readFile(path), listFile("volume", {{name, testId(5)}}));
        EXPECT_EQ(outcome.requests, getRequests("volume", name));
    }
}

// A new file gets mode 0644 less the umask; an existing one keeps its mode and owner.
TEST_F(EndToEnd, FileModes)
{
    add({"volume", "V1", 6, testId(1)});
    mode_t mask = umask(0);
    umask(mask);
    ASSERT_EQ(run({"get", "volume", file("new.xml")}).process.exitStatus, 0);
    struct stat info {};
    ASSERT_EQ(stat(file("new.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u & ~mask);

    writeFile(file("old.xml"), "old");
    ASSERT_EQ(chmod(file("old.xml").c_str(), 0640), 0);
    const bool root = geteuid() == 0;  // only root may give a file away
    if (root) {
        ASSERT_EQ(chown(file("old.xml").c_str(), 1234, 1234), 0);
    }
    ASSERT_EQ(run({"get", "volume", file("old.xml")}).process.exitStatus, 0);
    ASSERT_EQ(stat(file("old.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid), "1234:1234");
    }
    EXPECT_EQ(readFile(file("old.xml")), listFile("volume", {{"V1", testId(1)}}));

    // Kept lists keep their own mode and owner.
    zapisim("set", sys, {"volume", "V1", "--id", testId(2)});
    expectedErr = "korvane: " + idChanged("Volume \"V1\"", testId(1), testId(2)) + "\n";
    ASSERT_EQ(run({"get", "--keep", "1", "volume", file("old.xml")}).process.exitStatus, 0);
    ASSERT_EQ(stat(file("old.xml.1").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid), "1234:1234");
    }
}

// A symbolic link is written through only to a device, FIFO or socket: the target of a
// planted link is never overwritten. A socket is no file to open.
TEST_F(EndToEnd, SymbolicLinkIsWrittenThroughOnlyToAStream)
{
    add({"volume", "V1", 6, testId(1)});
    writeFile(file("target.xml"), "target");
    for (const char* target : {"target.xml", "missing.xml"}) {
        std::string link = file(std::string("to-") + target);
        ASSERT_EQ(symlink(target, link.c_str()), 0);
        expectedErr = "korvane: " + link + ": Too many levels of symbolic links\n";
        Outcome outcome = run({"get", "volume", link});
        EXPECT_EQ(outcome.process.out,
                  kBanner + withPath("Open failed, error : 40\n" WRITER_FAILED, link));
        EXPECT_EQ(outcome.process.exitStatus, 255);
    }
    EXPECT_EQ(readFile(file("target.xml")), "target");
    EXPECT_FALSE(std::filesystem::exists(file("missing.xml")));
    ASSERT_EQ(symlink("/dev/null", file("null.xml").c_str()), 0);
    EXPECT_EQ(run({"get", "volume", file("null.xml")}).process.exitStatus, 0);

    // The test holds the FIFO's reading end, so that the open does not wait.
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    int fifo = open(file("fifo").c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(fifo, 0);
    ASSERT_EQ(symlink("fifo", file("fifo.xml").c_str()), 0);
    EXPECT_EQ(run({"get", "volume", file("fifo.xml")}).process.out,
              kBanner + withPath(VOLUME_OK, file("fifo.xml")));
    char list[256] = {};
    EXPECT_EQ(std::string(list, static_cast<size_t>(read(fifo, list, sizeof list))),
              listFile("volume", {{"V1", testId(1)}}));
    close(fifo);

    sockaddr_un address{AF_UNIX, {}};
    snprintf(address.sun_path, sizeof address.sun_path, "%s", file("socket").c_str());
    int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(symlink("socket", file("socket.xml").c_str()), 0);
    expectedErr = "korvane: " + file("socket.xml") + ": No such device or address\n";
    EXPECT_EQ(run({"get", "volume", file("socket.xml")}).process.out,
              kBanner + withPath("Open failed, error : 6\n" WRITER_FAILED, file("socket.xml")));
    close(listening);
}

// A link flipped between /dev/null and another file while get runs: whichever the opens
// meet, the other file is never written and no file is made.
TEST_F(EndToEnd, FlippedLinkNeverWritesItsOtherTarget)
{
    add({"volume", "V1", 6, testId(1)});
    writeFile(file("victim"), "victim");
    const std::string path = file("ids.xml"), flip = file("flip");
    ASSERT_EQ(symlink("/dev/null", path.c_str()), 0);
    ASSERT_EQ(symlink("victim", flip.c_str()), 0);
    std::atomic<bool> done{false};
    std::thread flipper([&] {
        while (!done)
            renameat2(AT_FDCWD, flip.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE);
    });
    for (int n = 0; n < 400 && readFile(file("victim")) == "victim"; ++n) {
        int status = runKorvane(sys, {"get", "volume", path}).exitStatus;
        EXPECT_TRUE(status == 0 || status == 255) << status;
    }
    done = true;
    flipper.join();
    EXPECT_EQ(readFile(file("victim")), "victim");
    EXPECT_FALSE(temporaryLeft(root));
}

// A link in FILE's directory path flipped between two directories while get runs: every
// step stays in the directory first reached, so neither directory's list gets the other's
// mode, and no temporary file is left in either.
TEST_F(EndToEnd, FlippedDirectoryLinkKeepsEveryStepInOneDirectory)
{
    add({"volume", "V1", 6, testId(1)});
    const std::string mine = file("mine"), theirs = file("theirs"), path = file("d/ids.xml");
    auto mode = [](const std::string& name) {
        struct stat info {};
        return stat(name.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    };
    for (const auto& [dir, bits] : {std::pair{mine, 0666}, {theirs, 0600}}) {
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        writeFile(dir + "/ids.xml", "old");
        ASSERT_EQ(chmod((dir + "/ids.xml").c_str(), static_cast<mode_t>(bits)), 0);
    }
    ASSERT_EQ(symlink("mine", file("d").c_str()), 0);
    ASSERT_EQ(symlink("theirs", file("flip").c_str()), 0);
    std::atomic<bool> done{false};
    std::thread flipper([&] {
        while (!done)
            renameat2(AT_FDCWD, file("flip").c_str(), AT_FDCWD, file("d").c_str(), RENAME_EXCHANGE);
    });
    bool apart = true;
    for (int n = 0; n < 200 && apart; ++n) {
        EXPECT_EQ(runKorvane(sys, {"get", "volume", path}).exitStatus, 0);
        apart = mode(mine + "/ids.xml") == 0666 && mode(theirs + "/ids.xml") == 0600 &&
                !temporaryLeft(mine) && !temporaryLeft(theirs);
    }
    done = true;
    flipper.join();
    EXPECT_TRUE(apart);
}

// A FIFO put in the list file's place while get --keep compares the old list with the
// new: the old list is read through the descriptor of the first look, so nothing waits on
// the FIFO, and the run ends (before or at SIGTERM) with no temporary file left.
TEST_F(EndToEnd, FifoSwappedInDuringTheComparison)
{
    add({"volume", "V1", 6, testId(1)});
    const std::string path = file("ids.xml");
    writeFile(path, "old");
    // The run stops itself at its last write, the FIFO takes the file's place, it goes on.
    fail({"write", "--path", path, "--signal", "19", "--nth", "3"});
    const std::string stopped = "grep -qs '^State:.T' /proc/$pid/status";
    ProcessResult result = stopWhenAsleep(
        sys, "true", "{korvane} get --keep 1 volume " + path + " >" + file("out"),
        "for i in $(seq 100); do " + stopped + " && break; sleep 0.05; done; rm " + path +
            " && mkfifo " + path +
            " && kill -CONT $pid; for i in $(seq 100); do $alive && ! grep -qs sleeping "
            "/proc/$pid/status || break; sleep 0.05; done; kill -TERM $pid; for i in $(seq 10); "
            "do $alive || break; sleep 0.1; done; kill -KILL $pid");
    EXPECT_TRUE(result.out == "0\n" || result.out == "255\n") << result.out;
    EXPECT_FALSE(temporaryLeft(root));
}

// A termination signal while get waits for its file ends the run at once, its keys
// released and its lock with the process: at the open of a FIFO that no reader opens, and
// at a write to a pipe that no one empties.
TEST_F(EndToEnd, SignalWhileWaitingToWriteTheFile)
{
    zapisim("add-many", sys, {"volume", "1000", "vol"});
    const std::string fifo = file("fifo"), out = file("out");
    const std::string runs[][2] = {{"true", "{korvane} get volume " + fifo + " >" + out},
                                   {"exec 3<>" + fifo, "{korvane} get volume - >&3 2>" + out}};
    for (const auto& [prepare, start] : runs) {
        ProcessResult result =
            stopWhenAsleep(sys, "rm -f " + fifo + " && mkfifo " + fifo + " && " + prepare, start,
                           "kill -TERM $pid");
        EXPECT_EQ(result.out, "255\n") << start;
        EXPECT_EQ(readFile(out), std::string(kBanner) + "getName : interrupted by signal 15\n");
        checkJournalHygiene(readJournal(sys));
    }
}

// A user who owns the list file but not its directory: no temporary file can be made there,
// and the file is never rewritten in place instead.
TEST_F(EndToEnd, RefusedDirectoryLeavesTheFileAlone)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run korvane as another user";
    if (std::string reason = unreachableBy(65534); !reason.empty())
        GTEST_SKIP() << reason;
    add({"volume", "V1", 6, testId(1)});
    // The unprivileged run must reach the simulated system and its journal.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::all,
                                     std::filesystem::perm_options::add);
    std::filesystem::permissions(root, std::filesystem::perms::all,
                                 std::filesystem::perm_options::add);
    ASSERT_EQ(mkdir(file("d").c_str(), 0755), 0);
    std::string path = file("d/ids.xml");
    writeFile(path, "old backup");
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    ProcessResult result = runShell(
        sys,
        "exec setpriv --reuid=65534 --regid=65534 --clear-groups {korvane} get volume " + path);
    EXPECT_EQ(result.out, kBanner + withPath("Open failed, error : 13\n" WRITER_FAILED, path));
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(readFile(path), "old backup");
}

// A file-size limit fails a write (EFBIG) instead of ending the process: the old backup
// stays whole and no temporary file is left.
TEST_F(EndToEnd, FileSizeLimitKeepsTheOldFile)
{
    zapisim("add-many", sys, {"volume", "10", "vol"});
    std::string path = file("ids.xml");
    writeFile(path, "old backup");
    // 10 records of 101 bytes: the limit (512 or 1024 bytes) falls within one. The journal
    // would meet the limit first.
    zapisim("journal", sys, {"off"});
    ProcessResult result = runShell(sys, "ulimit -f 1 && exec {korvane} get volume " + path);
    EXPECT_EQ(result.out,
              kBanner + withPath("2:Write failed, ccode = -1, error = 27\n" WRITER_FAILED, path));
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(readFile(path), "old backup");
    EXPECT_FALSE(temporaryLeft(root));
}

}  // namespace
}  // namespace e2e
