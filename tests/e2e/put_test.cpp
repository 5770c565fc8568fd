// SPDX-License-Identifier: Apache-2.0
// The put road: reading the ID list file, parsing its pairs and applying each ID;
// every message of its failures, checked byte for byte, with the IDs afterwards. The
// diff road reads the file the same way and tells what put would do, changing nothing.
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "harness.h"

namespace e2e {
namespace {

using Changes = std::vector<std::pair<std::string, std::string>>;

struct PutCase {
    const char* label;
    const char* kind;
    std::vector<ObjectSpec> objects;
    std::vector<Lines> faults;  // arguments of `zapisim fail`, "{path}" replaced
    std::string content;        // of the file; kNoFile: no file at the path
    std::string output;         // after the banner
    int exit;
    Changes changes;  // the objects whose IDs change, and to what
    Lines requests;
    std::string err = "";               // standard error, "{path}" replaced
    std::optional<Lines> log;           // the system log, when the row says
    Lines options = {};                 // between the direction and the kind
    const char* path = "ids.xml";       // of the file, in the test's directory
    const char* shownPath = "ids.xml";  // as messages show it
    // The kind's own undo list afterwards, when the row says; kNoFile: none.
    std::optional<std::string> undo = std::nullopt;
    Terminal terminal = Terminal::None;
};

// A row with the options between the direction and the kind.
PutCase named(PutCase c, const Lines& options)
{
    c.options = options;
    return c;
}
// A row whose file has a name holding a line feed and an escape byte.
PutCase oddPath(PutCase c)
{
    c.path = "ids\n\x1b.xml";
    c.shownPath = "ids\\x0a\\x1b.xml";
    return c;
}

// The system log's line of a put that changed one ID.
std::string changeLog(const char* kind, const std::string& name, const std::string& from,
                      const std::string& to)
{
    return std::string("authpriv.notice korvane[PID]: put ") + kind + " \"" + name + "\": ID " +
           from + " -> " + to;
}
#define PUT_LOG(LEVEL, TEXT) "authpriv." LEVEL " korvane[PID]: put " TEXT

const char* const kNoFile = "\x01no file";

// A row with the kind's own undo list it leaves.
PutCase undone(PutCase c, const std::string& undo)
{
    c.undo = undo;
    return c;
}

std::string element(const std::string& name, const std::string& content)
{
    return "<" + name + ">" + content + "</" + name + ">";
}
std::string vn(const std::string& name)
{
    return element("volumeName", name);
}
std::string vg(const std::string& id)
{
    return element("volumeGUID", id);
}
std::string pn(const std::string& name)
{
    return element("poolName", name);
}
std::string pg(const std::string& id)
{
    return element("poolGUID", id);
}
std::string volumes(const std::string& body)
{
    return element("listVolumes", "\n" + body + "\n");
}
std::string pools(const std::string& body)
{
    return element("listPools", "\n" + body + "\n");
}

// A volume list whose first pair carries its check, as get writes it, and the others none,
// as written by hand; pair n stands on lines 2n and 2n + 1.
std::string firstChecked(const Changes& pairs)
{
    std::string text = listFile("volume", {pairs[0]}), rest;
    for (size_t at = 1; at < pairs.size(); ++at)
        rest += "\t" + vn(pairs[at].first) + "\n\t\t" + vg(pairs[at].second) + "\n";
    return text.insert(text.rfind("</listVolumes>"), rest);
}
std::string noCheck(unsigned line, const std::string& name)
{
    return "korvane: line " + std::to_string(line) + ": Volume \"" + name + "\" has no check\n";
}

// The body inside `depth` wrapper elements.
std::string nested(const std::string& body, int depth)
{
    return depth == 0 ? body : element("w", nested(body, depth - 1));
}

// Pads a file with blanks in front of its root element to exactly `size` bytes.
std::string padded(const std::string& file, size_t size)
{
    return std::string(size - file.size(), ' ') + file;
}

#define VOLUME_OK "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n"
#define POOL_OK "Successfully updated from file \"{path}\" to the Pool's GUID\n"
#define PARSE_FAILED "Failed to Parse the XML from Buffer\n"
#define MODIFY_FAILED "GUIDModify failed, status -1\n" PARSE_FAILED
#define EMPTY_LIST "List is Empty, there are no Volumes\n" MODIFY_FAILED
#define STOPPED(KIND, STOP) "Stopped at " KIND " \"" STOP " not applied\n" MODIFY_FAILED
#define UNCHANGED(LINE) LINE "\nNothing was changed\n" MODIFY_FAILED
// Where a stopped put says the IDs from before it are, and its line on standard error.
#define UNDO_OF(KIND, FILE)                                                                \
    "the IDs from before this put are in \"/var/lib/korvane/" FILE "\"; korvane put " KIND \
    " /var/lib/korvane/" FILE " puts them back"
#define VOLUMES_UNDO UNDO_OF("volume", "volumes-before-put.xml")
#define POOLS_UNDO UNDO_OF("pool", "pools-before-put.xml")
#define VOLUMES_UNDO_ERR "korvane: " VOLUMES_UNDO "\n"
#define POOLS_UNDO_ERR "korvane: " POOLS_UNDO "\n"

const std::vector<ObjectSpec> kMixed = mixedSystem();
const std::vector<ObjectSpec> kVolumeInactive = {
    {"volume", "V1", 6, testId(1)}, {"volume", "V2", 2, testId(2)}, {"volume", "V3", 6, testId(3)}};
const std::vector<ObjectSpec> kPoolInactive = {
    {"pool", "P1", 6, testId(11)}, {"pool", "P2", 0, testId(12)}, {"volume", "V1", 6, testId(1)}};
const std::string kNew1 = testId(21), kNew2 = testId(22), kNew3 = testId(23);
const std::string kNil = "00000000-0000-0000-00-00-000000000000";
const std::string kVolumeFile = listFile("volume", {{"V1", kNew1}, {"V2", kNew2}, {"V3", kNew3}});
const std::string kPoolFile = listFile("pool", {{"P1", kNew1}, {"P2", kNew2}});
const Changes kAllVolumes = {{"V1", kNew1}, {"V2", kNew2}, {"V3", kNew3}};
const Changes kAllPools = {{"P1", kNew1}, {"P2", kNew2}};
const Lines kVolumeRequests =
    putRequests("volume", "V1") + putRequests("volume", "V2") + putRequests("volume", "V3");
const Lines kPoolRequests = putRequests("pool", "P1") + putRequests("pool", "P2");
const Lines kV1 = putRequests("volume", "V1");
// put reads every object of the kind first, as get does.
const Lines kReadVolumes =
    getRequests("volume", "V1") + getRequests("volume", "V2") + getRequests("volume", "V3");
const Lines kReadPools = getRequests("pool", "P1") + getRequests("pool", "P2");
const std::string kListingFile =
    listFile("volume", {{"V1", kNew1}, {"V2", testId(2)}, {"V3", testId(3)}});

// V1's pair checked, V2's and those of 20 unknown volumes U1 to U20 not.
Changes handAdded()
{
    Changes pairs = {{"V1", kNew1}, {"V2", kNew2}};
    for (unsigned n = 1; n <= 20; ++n)
        pairs.emplace_back("U" + std::to_string(n), testId(60 + n));
    return pairs;
}
// The reading of U1 to U`count`, which the storage system does not have.
Lines unknownReads(unsigned count)
{
    Lines reads;
    for (unsigned n = 1; n <= count; ++n)
        reads = reads + Lines{"1000 root 0", "23 volume:U" + std::to_string(n) + " status=20202",
                              "1001 root 0"};
    return reads;
}
std::string handAddedErr()
{
    std::string err = noCheck(4, "V2");
    for (unsigned n = 1; n <= 19; ++n)
        err += noCheck(4 + 2 * n, "U" + std::to_string(n));
    return err + "korvane: 1 more pairs have no check\n";
}

const std::string kName255(255, 'n');
const std::string kName250(250, 'm');
const std::vector<ObjectSpec> kLongNames = {{"volume", kName255, 6, testId(4)},
                                            {"volume", kName250, 6, testId(5)}};

// Any row; on the usual mixed system: any outcome, a refusal that changes nothing and
// sends no request, or every pair of the usual list applied.
PutCase row(const char* label, const char* kind, const std::vector<ObjectSpec>& objects,
            const std::vector<Lines>& faults, const std::string& content, const std::string& output,
            int exit, const Changes& changes, const Lines& requests)
{
    return {label, kind, objects, faults, content, output, exit, changes, requests, "", {}, {}};
}
PutCase mixed(const char* label, const char* kind, const std::vector<Lines>& faults,
              const std::string& content, const std::string& output, int exit,
              const Changes& changes, const Lines& requests)
{
    return row(label, kind, kMixed, faults, content, output, exit, changes, requests);
}
PutCase refused(const char* label, const char* kind, const std::vector<Lines>& faults,
                const std::string& content, const std::string& output,
                const std::vector<ObjectSpec>& objects = kMixed)
{
    return row(label, kind, objects, faults, content, output, 255, {}, {});
}
PutCase applied(const char* label, const char* kind, const std::vector<Lines>& faults,
                const std::string& content)
{
    bool volume = std::string(kind) == "volume";
    return mixed(label, kind, faults, content, volume ? VOLUME_OK : POOL_OK, 0,
                 volume ? kAllVolumes : kAllPools,
                 volume ? kReadVolumes + kVolumeRequests : kReadPools + kPoolRequests);
}

const PutCase kPutCases[] = {
    // On a terminal, the line that counts the objects read, then the pairs handled.
    onTerminal(applied("ProgressOnATerminal", "pool", {}, kPoolFile), Terminal::Err,
               blanked("put pool", 1, 2) + blanked("put pool", 1, 2)),
    // Reading the file.
    // The IDs replaced go first to the kind's own undo list.
    undone(logged(applied("AllVolumes", "volume", {}, kVolumeFile),
                  {changeLog("volume", "V1", testId(1), kNew1),
                   changeLog("volume", "V2", testId(2), kNew2),
                   changeLog("volume", "V3", testId(3), kNew3),
                   PUT_LOG("notice",
                           "volume from \"{path}\": 3 changed, 0 already held their ID, 0 "
                           "inactive skipped")}),
           listFile("volume", {{"V1", testId(1)}, {"V2", testId(2)}, {"V3", testId(3)}})),
    // Written again, but nothing changed: no undo list.
    undone(logged(mixed("IdsAlreadyHeld", "pool", {}, listFile("pool", {{"P1", testId(11)}}),
                        POOL_OK, 0, {}, kReadPools + putRequests("pool", "P1")),
                  {PUT_LOG("notice",
                           "pool from \"{path}\": 0 changed, 1 already held their ID, 0 "
                           "inactive skipped")}),
           kNoFile),
    // Only the pairs of the names given, in file order.
    logged(named(mixed("OneNamedObject", "volume", {}, kVolumeFile, VOLUME_OK, 0, {{"V2", kNew2}},
                       kReadVolumes + putRequests("volume", "V2")),
                 {"--name", "V2"}),
           {changeLog("volume", "V2", testId(2), kNew2),
            PUT_LOG("notice",
                    "volume from \"{path}\": 1 changed, 0 already held their ID, 0 "
                    "inactive skipped")}),
    named(mixed("TwoNamedObjects", "pool", {}, listFile("pool", {{"P2", kNew2}, {"P1", kNew1}}),
                POOL_OK, 0, kAllPools,
                kReadPools + putRequests("pool", "P2") + putRequests("pool", "P1")),
          {"--name=P1", "--name", "P2"}),
    named(refused("NameNotInTheFile", "volume", {}, kVolumeFile,
                  "The list has no Volume \"V\\x1bX\"\n"),
          {"--name", "V1", "--name", "V\x1bX"}),
    applied("AllPools", "pool", {}, kPoolFile),
    mixed("PairsAppliedInFileOrder", "pool", {}, listFile("pool", {{"P2", kNew2}, {"P1", kNew1}}),
          POOL_OK, 0, kAllPools,
          kReadPools + putRequests("pool", "P2") + putRequests("pool", "P1")),
    explained(
        refused("MissingFile", "volume", {}, kNoFile, "readGUIDFromFile: open failed, error : 2\n"),
        "korvane: {path}: No such file or directory\n"),
    oddPath(refused("EmptyVolumeFile", "volume", {}, "",
                    "readVolGUIDFromFile : File {path} is empty\n")),
    refused("EmptyPoolFile", "pool", {}, "", "readVolGUIDFromFile : File {path} is empty\n"),
    refused("ReadBufferCannotBeAllocated", "volume", {{"malloc", "--size", "4097", "--nth", "1"}},
            kVolumeFile, "Malloc : Failed to allocate Read Buffer\n"),
    explained(refused("ReadFails", "volume", {{"read", "--path", "{path}", "--errno", "5"}},
                      kVolumeFile, "Read failed, bytes = -1, error = 5\n"),
              "korvane: {path}: Input/output error\n"),
    explained(refused("ReadGoesOnToEndOfFile", "volume",
                      {{"read", "--path", "{path}", "--errno", "5", "--nth", "2"}}, kVolumeFile,
                      "Read failed, bytes = -1, error = 5\n"),
              "korvane: {path}: Input/output error\n"),
    applied("InterruptedReadIsRetried", "volume",
            {{"read", "--path", "{path}", "--errno", "4", "--nth", "1"}}, kVolumeFile),
    // The second doubling: 4096, 8192, 16384 bytes and the terminating zero.
    refused("BufferCannotGrow", "volume", {{"malloc", "--size", "16385", "--nth", "1"}},
            padded(kVolumeFile, 9000), "Malloc : Failed to allocate Main Read Buffer\n"),
    explained(refused("CloseFails", "pool", {{"close", "--path", "{path}", "--errno", "5"}},
                      kPoolFile, "Close failed, ccode = -1, error = 5\n"),
              "korvane: {path}: Input/output error\n"),

    // Parsing.
    explained(refused("VolumeFileReadForPools", "pool", {}, kVolumeFile,
                      "XMLParser: listPools not found \n" PARSE_FAILED),
              "korvane: {path} holds a list of volumes, not pools\n"),
    // A list of the kind, broken: not taken for the list of pools before it.
    refused("RootNotClosed", "volume", {},
            pools(pn("P1") + pg(kNew1)) + "<listVolumes>\n" + vn("V1") + vg(kNew1),
            "XMLParser: listVolumes not found \n" PARSE_FAILED),
    refused("RootNameCaseMatters", "volume", {}, element("listvolumes", vn("V1") + vg(kNew1)),
            "XMLParser: listVolumes not found \n" PARSE_FAILED),
    refused("RootWithoutPairs", "volume", {}, "<listVolumes>\n</listVolumes>", EMPTY_LIST),
    refused("EmptyRootElement", "volume", {}, "<listVolumes/>", EMPTY_LIST),
    refused("PoolRootWithoutPairs", "pool", {}, "<listPools>some text</listPools>", EMPTY_LIST),
    row("WhiteSpaceInNameIsDropped", "volume", {{"volume", "myvol", 6, testId(6)}}, {},
        volumes(vn(" my vol\n") + vg("\t" + kNew1 + " \r\n")), VOLUME_OK, 0, {{"myvol", kNew1}},
        getRequests("volume", "myvol") + putRequests("volume", "myvol")),
    mixed("CDATANameIsUnwrapped", "volume", {}, volumes(vn("<![CDATA[V2]]>") + vg(kNew2)),
          VOLUME_OK, 0, {{"V2", kNew2}}, kReadVolumes + putRequests("volume", "V2")),
    refused("PairsWouldShiftAfterIdFirst", "volume", {},
            volumes(vn("V1") + vg(kNew1) + vg(kNew2) + vn("V2") + vn("V3") + vg(kNew3)),
            "XMLParser: line 2: volumeGUID without volumeName\n" PARSE_FAILED),
    mixed("TagWithTabAndAttribute", "volume", {},
          volumes("<volumeName\tlang=\"en\">V1</volumeName><volumeGUID id='x'>" + kNew1 +
                  "</volumeGUID>"),
          VOLUME_OK, 0, {{"V1", kNew1}}, kReadVolumes + kV1),
    applied(
        "TextAroundThePairs", "pool", {},
        "<?xml version=\"1.0\"?>\n<!-- saved -->\n<listVolumes/>\n<listPools owner=\"me\">\n  some "
        "text\n  <pair>" +
            pn("P1") + "<note>x</note>" + pg(kNew1) + "</pair>\n  <pair>" + pn("P2") + pg(kNew2) +
            "</pair>\n</listPools>\ntrailing text\n"),
    refused(
        "TwoRoots", "volume", {},
        volumes(vn("V1") + vg(kNew1)) + "<!-- <listVolumes> -->" + volumes(vn("V2") + vg(kNew2)),
        "XMLParser: line 3: more than one listVolumes\n" PARSE_FAILED),
    mixed("UpperCaseIdText", "volume", {},
          volumes(vn("V3") + vg("1A2B0015-C015-4E15-95-15-5EED00000015")), VOLUME_OK, 0,
          {{"V3", testId(21)}}, kReadVolumes + putRequests("volume", "V3")),
    refused("TagGUIDCannotBeAllocated", "volume", {{"malloc", "--size", "256", "--nth", "1"}},
            kVolumeFile, "Malloc : tagGUID couldn't be allocated \n" PARSE_FAILED),
    refused("TagNameCannotBeAllocated", "volume", {{"malloc", "--size", "256", "--nth", "2"}},
            kVolumeFile, "Malloc : tagName couldn't be allocated \n" PARSE_FAILED),
    refused("NodeCannotBeAllocated", "volume", {{"malloc", "--size", "304", "--nth", "2"}},
            kVolumeFile, "Malloc : Couldn't allocate NameGUIDList_s tmp var\n" PARSE_FAILED),
    // The stack of open elements: 64 entries at first, then twice as many.
    refused("ElementStackCannotBeAllocated", "volume", {{"malloc", "--size", "1024", "--nth", "1"}},
            kVolumeFile, "Malloc : Failed to allocate the element stack\n" PARSE_FAILED),
    refused("ElementStackCannotGrow", "volume", {{"malloc", "--size", "2048", "--nth", "1"}},
            volumes(nested(vn("V1") + vg(kNew1), 65)),
            "Malloc : Failed to allocate the element stack\n" PARSE_FAILED),
    // The two tables of the check for names and IDs listed twice: 32 slots each.
    refused("DuplicateCheckCannotBeAllocated", "volume",
            {{"malloc", "--size", "512", "--nth", "1"}}, kVolumeFile,
            "Malloc : Failed to allocate the duplicate check\n" PARSE_FAILED),
    // A node that cannot be allocated before the end of the list is known: an unclosed list
    // is still reported as such, and a pair after the usual layout still meets the failure.
    refused("NodeCannotBeAllocatedInAnUnclosedList", "volume",
            {{"malloc", "--size", "304", "--nth", "2"}},
            "<listVolumes>\n" + vn("V1") + vg(kNew1) + vn("V2") + vg(kNew2) + "\n",
            "XMLParser: listVolumes not found \n" PARSE_FAILED),
    refused("NodeCannotBeAllocatedAfterTheUsualLayout", "volume",
            {{"malloc", "--size", "304", "--nth", "2"}},
            volumes(vn("V1") + vg(kNew1) + "<volumeName lang=\"en\">V2</volumeName>" + vg(kNew2)),
            "Malloc : Couldn't allocate NameGUIDList_s tmp var\n" PARSE_FAILED),

    // Reading the live system: a pair whose object cannot be read refuses the list before
    // any change, with the walk's line for the request. The journal names the object an
    // open asked for, present or not.
    logged(
        explained(mixed("UnreadPairRefused", "volume", {{"1000", "--status", "777", "--nth", "2"}},
                        kVolumeFile, UNCHANGED("GUIDModify : zRootKey error 777"), 255, {},
                        getRequests("volume", "V1") + Lines{"1000 root status=777"} +
                            getRequests("volume", "V3")),
                  REFUSAL("Volume \"V2\"", "zRootKey", "777")),
        {}),
    explained(refused("DeviceCannotBeOpened", "pool", {{"device", "--errno", "13"}}, kPoolFile,
                      UNCHANGED("GUIDModify : zRootKey error 13")),
              "korvane: cannot open the admin device /dev/zapi: Permission denied (korvane "
              "must run as root)\n"),
    explained(refused("DeviceMissing", "volume", {{"device", "--errno", "2"}}, kVolumeFile,
                      UNCHANGED("GUIDModify : zRootKey error 2")),
              "korvane: cannot open the admin device /dev/zapi: No such file or directory (is "
              "the storage system loaded?)\n"),
    // Read by its name after the listing, in file order.
    explained(oddPath(mixed("UnknownNameRefused", "volume", {},
                            listFile("volume", {{"V1", kNew1}, {"V\x1bX", kNew2}, {"V3", kNew3}}),
                            UNCHANGED("GUIDModify : zOpen error 20202"), 255, {},
                            kReadVolumes + Lines{"1000 root 0", "23 volume:V\x1bX status=20202",
                                                 "1001 root 0"})),
              REFUSAL("Volume \"V\\x1bX\"", "zOpen", "20202")),
    explained(mixed("VolumeNameAsPool", "pool", {}, listFile("pool", {{"V1", kNew1}}),
                    UNCHANGED("GUIDModify : zOpen error 20202"), 255, {},
                    kReadPools + Lines{"1000 root 0", "23 pool:V1 status=20202", "1001 root 0"}),
              REFUSAL("Pool \"V1\"", "zOpen", "20202")),
    // The first such pair in file order.
    explained(mixed("OpenErrno", "volume", {{"23", "--errno", "2"}},
                    listFile("volume", {{"V3", kNew3}, {"V1", kNew1}}),
                    UNCHANGED("GUIDModify : zOpen error 2"), 255, {},
                    Lines{"1000 root 0", "23 volume:V1 errno=2", "1001 root 0", "1000 root 0",
                          "23 volume:V2 errno=2", "1001 root 0", "1000 root 0",
                          "23 volume:V3 errno=2", "1001 root 0"}),
              REFUSAL("Volume \"V3\"", "zOpen", "2")),
    explained(mixed("GetInfoVolume", "volume", {{"16", "--status", "99", "--name", "V2"}},
                    kVolumeFile, UNCHANGED("  zGetInfo failed -- error 99"), 255, {},
                    getRequests("volume", "V1") + getInfoStop("volume", "V2", "status=99") +
                        getRequests("volume", "V3")),
              REFUSAL("Volume \"V2\"", "zGetInfo", "99")),
    explained(mixed("GetInfoPool", "pool", {{"16", "--status", "3000000000"}}, kPoolFile,
                    UNCHANGED("zGetInfo failed -- error 3000000000"), 255, {},
                    getInfoStop("pool", "P1", "status=3000000000") +
                        getInfoStop("pool", "P2", "status=3000000000")),
              REFUSAL("Pool \"P1\"", "zGetInfo", "3000000000")),
    // An object the list leaves alone may be unreadable: its ID is only not compared.
    explained(named(mixed("UnreadOtherObjectExplained", "volume",
                          {{"16", "--status", "99", "--name", "V3"}}, kVolumeFile, VOLUME_OK, 0,
                          {{"V1", kNew1}},
                          getRequests("volume", "V1") + getRequests("volume", "V2") +
                              getInfoStop("volume", "V3", "status=99") + kV1),
                    {"--name", "V1"}),
              "korvane: Volume \"V3\" could not be read (status 99): its ID was not compared\n"),
    // The listing must be whole: the objects it would not show may hold any ID.
    explained(mixed("ListingFailsRefused", "volume", {{"opendir", "volume", "--errno", "13"}},
                    kListingFile, UNCHANGED("Opendir failed, errno : 13"), 255, {}, kReadVolumes),
              "korvane: cannot list /_admin/Volumes/: Permission denied\n"),
    refused("ReadingCannotBeAllocated", "volume", {{"malloc", "--size", "16000", "--nth", "1"}},
            kVolumeFile,
            UNCHANGED("Malloc : Failed to allocate the reading of the storage system")),
    // No two objects with one ID afterwards: a volume renamed aside keeps the ID the list
    // gives its new namesake; so does one that --name leaves out.
    undone(row("RenamedAsideRefused", "volume",
               {{"volume", "db01", 6, testId(2)}, {"volume", "db01.old", 6, testId(1)}}, {},
               listFile("volume", {{"db01", testId(1)}}),
               UNCHANGED("Volume \"db01\" would get the ID that Volume \"db01.old\" holds"), 255,
               {}, getRequests("volume", "db01") + getRequests("volume", "db01.old")),
           kNoFile),
    named(mixed("UnnamedHolderRefused", "volume", {},
                listFile("volume", {{"V1", testId(2)}, {"V2", testId(1)}}),
                UNCHANGED("Volume \"V1\" would get the ID that Volume \"V2\" holds"), 255, {},
                kReadVolumes),
          {"--name", "V1"}),
    // Two listed objects may swap their IDs; the nil ID may stand on any number.
    row("SwapAndNilAccepted", "volume",
        {{"volume", "V1", 6, testId(1)},
         {"volume", "V2", 6, testId(2)},
         {"volume", "V3", 6, kNil},
         {"volume", "V4", 6, testId(4)}},
        {}, listFile("volume", {{"V1", testId(2)}, {"V2", testId(1)}, {"V4", kNil}}), VOLUME_OK, 0,
        {{"V1", testId(2)}, {"V2", testId(1)}, {"V4", kNil}},
        kReadVolumes + getRequests("volume", "V4") + putRequests("volume", "V1") +
            putRequests("volume", "V2") + putRequests("volume", "V4")),

    // The undo list is written before any change, or the list is refused: a folder that
    // takes no new file, a signal while it is written.
    explained(
        named(mixed("UndoListCannotBeWritten", "volume",
                    {{"open", "--path", "{path}.undo", "--errno", "13", "--nth", "2"}}, kVolumeFile,
                    UNCHANGED("Undo list \"{path}.undo\" could not be written, error : 13"), 255,
                    {}, kReadVolumes),
              {"--undo", "{path}.undo"}),
        "korvane: {path}.undo: Permission denied\n"),
    named(mixed("InterruptedWhileTheUndoListIsWritten", "volume",
                {{"write", "--path", "{path}.undo", "--signal", "15"}}, kVolumeFile,
                UNCHANGED("GUIDModify : interrupted by signal 15"), 255, {}, kReadVolumes),
          {"--undo", "{path}.undo"}),

    // Applying the list.
    logged(
        explained(mixed("RootKeyFails", "volume", {{"1000", "--status", "777", "--nth", "5"}},
                        kVolumeFile,
                        "GUIDModify : zRootKey error 777\n" STOPPED("Volume", "V2\": 1 changed, 2"),
                        255, {{"V1", kNew1}}, kReadVolumes + kV1 + Lines{"1000 root status=777"}),
                  REFUSAL("Volume \"V2\"", "zRootKey", "777") VOLUMES_UNDO_ERR),
        {changeLog("volume", "V1", testId(1), kNew1),
         PUT_LOG("err",
                 "volume from \"{path}\" stopped at Volume \"V2\": 1 changed, 2 not "
                 "applied; " VOLUMES_UNDO)}),
    logged(
        row("InactiveVolumeSkipped", "volume", kVolumeInactive, {}, kVolumeFile,
            "Volume \"V2\" must be active to modify its Tavro ID\n" VOLUME_OK, 0,
            {{"V1", kNew1}, {"V3", kNew3}},
            getRequests("volume", "V1") + getInfoStop("volume", "V2", "0") +
                getRequests("volume", "V3") + kV1 + putInfoStop("volume", "V2", "0") +
                putRequests("volume", "V3")),
        {changeLog("volume", "V1", testId(1), kNew1), changeLog("volume", "V3", testId(3), kNew3),
         PUT_LOG("notice",
                 "volume from \"{path}\": 2 changed, 0 already held their ID, 1 "
                 "inactive skipped")}),
    // Bytes below 0x20 and 0x7f in names and in the path, as every message shows them.
    undone(
        logged(
            explained(
                oddPath(row(
                    "ControlBytesShownEscaped", "volume",
                    {{"volume", "A\x1b[8m", 6, testId(4)},
                     {"volume", "C\x7f", 2, testId(5)},
                     {"volume", "E\x1b", 6, testId(6)}},
                    {{"22", "--status", "55", "--name", "E\x1b"}},
                    listFile("volume", {{"A\x1b[8m", kNew1}, {"C\x7f", kNew2}, {"E\x1b", kNew3}}),
                    "Volume \"C\\x7f\" must be active to modify its Tavro ID\n"
                    "zModifyInfo error 55\n" STOPPED("Volume", "E\\x1b\": 1 changed, 1"),
                    255, {{"A\x1b[8m", kNew1}},
                    getRequests("volume", "A\x1b[8m") + getInfoStop("volume", "C\x7f", "0") +
                        getRequests("volume", "E\x1b") + putRequests("volume", "A\x1b[8m") +
                        putInfoStop("volume", "C\x7f", "0") +
                        Lines{"1000 root 0", "23 volume:E\x1b 0", "16 volume:E\x1b 0",
                              "22 volume:E\x1b status=55", "1001 volume:E\x1b 0", "1001 root 0"})),
                REFUSAL("Volume \"E\\x1b\"", "zModifyInfo", "55") VOLUMES_UNDO_ERR),
            {changeLog("volume", "A\\x1b[8m", testId(4), kNew1),
             PUT_LOG("err",
                     "volume from \"{path}\" stopped at Volume \"E\\x1b\": 1 changed, 1 "
                     "not applied; " VOLUMES_UNDO)}),
        listFile("volume", {{"A\x1b[8m", testId(4)}, {"E\x1b", testId(6)}})),
    row("InactivePoolSkipped", "pool", kPoolInactive, {}, kPoolFile,
        "Pool \"P2\" must be active to modify its Tavro ID\n" POOL_OK, 0, {{"P1", kNew1}},
        getRequests("pool", "P1") + getInfoStop("pool", "P2", "0") + putRequests("pool", "P1") +
            putInfoStop("pool", "P2", "0")),
    row("EveryObjectInactive", "volume",
        {{"volume", "V1", 1, testId(1)}, {"volume", "V2", 7, testId(2)}}, {},
        listFile("volume", {{"V1", kNew1}, {"V2", kNew2}}),
        "Volume \"V1\" must be active to modify its Tavro ID\nVolume \"V2\" must be active to "
        "modify "
        "its Tavro ID\n" VOLUME_OK,
        0, {},
        getInfoStop("volume", "V1", "0") + getInfoStop("volume", "V2", "0") +
            putInfoStop("volume", "V1", "0") + putInfoStop("volume", "V2", "0")),
    // Pairs without a check, in a file with one, are named (the first 20) before anything
    // is read; the unknown names then refuse the file whole.
    explained(mixed("UncheckedPairsNamed", "volume", {}, firstChecked(handAdded()),
                    UNCHANGED("GUIDModify : zOpen error 20202"), 255, {},
                    kReadVolumes + unknownReads(20)),
              handAddedErr() + REFUSAL("Volume \"U1\"", "zOpen", "20202")),
    // An ID text that does not convert refuses the file before any object is changed.
    refused("SignedIdTextRefusesTheFile", "volume", {},
            listFile("volume", {{"V1", kNew1}, {"\x1b[V2", "-" + kNew2.substr(1)}, {"V3", kNew3}}),
            "XMLParser: line 5: Volume \"\\x1b[V2\" has a bad ID text\n" PARSE_FAILED),
    refused("CommonIdFormIsRefused", "pool", {},
            listFile("pool", {{"P1", "1a2b0015-c015-4e15-9515-5eed00000015"}}),
            "XMLParser: line 3: Pool \"P1\" has a bad ID text\n" PARSE_FAILED),
    explained(mixed("ModifyFails", "volume", {{"22", "--status", "55", "--name", "V2"}},
                    kVolumeFile, "zModifyInfo error 55\n" STOPPED("Volume", "V2\": 1 changed, 2"),
                    255, {{"V1", kNew1}},
                    kReadVolumes + kV1 +
                        Lines{"1000 root 0", "23 volume:V2 0", "16 volume:V2 0",
                              "22 volume:V2 status=55", "1001 volume:V2 0", "1001 root 0"}),
              REFUSAL("Volume \"V2\"", "zModifyInfo", "55") VOLUMES_UNDO_ERR),
    explained(mixed("ModifyErrnoOnPool", "pool", {{"22", "--errno", "1"}}, kPoolFile,
                    "zModifyInfo error 1\n" STOPPED("Pool", "P1\": 0 changed, 2"), 255, {},
                    kReadPools + Lines{"1000 root 0", "23 pool:P1 0", "16 pool:P1 0",
                                       "22 pool:P1 errno=1", "1001 pool:P1 0", "1001 root 0"}),
              REFUSAL("Pool \"P1\"", "zModifyInfo", "1") POOLS_UNDO_ERR),

    // A termination signal lets the object in hand finish; no later one gets a request.
    // SIGPIPE is ignored.
    mixed("TerminatedWhileReading", "volume", {{"16", "--signal", "15", "--nth", "2"}}, kVolumeFile,
          UNCHANGED("GUIDModify : interrupted by signal 15"), 255, {},
          getRequests("volume", "V1") + getRequests("volume", "V2")),
    explained(
        mixed("TerminatedAtTheSecondObject", "volume", {{"16", "--signal", "15", "--nth", "5"}},
              kVolumeFile,
              "GUIDModify : interrupted by signal 15\n" STOPPED("Volume", "V3\": 2 changed, 1"),
              255, {{"V1", kNew1}, {"V2", kNew2}},
              kReadVolumes + kV1 + putRequests("volume", "V2")),
        VOLUMES_UNDO_ERR),
    explained(mixed("InterruptedAtTheFirstModify", "pool", {{"22", "--signal", "2"}}, kPoolFile,
                    "GUIDModify : interrupted by signal 2\n" STOPPED("Pool", "P2\": 1 changed, 1"),
                    255, {{"P1", kNew1}}, kReadPools + putRequests("pool", "P1")),
              POOLS_UNDO_ERR),
    applied("HangUpAtTheLastRequest", "volume", {{"1001", "--signal", "1", "--nth", "12"}},
            kVolumeFile),
    applied("BrokenPipeIgnored", "pool", {{"23", "--signal", "13"}}, kPoolFile),

    // Limits and incomplete pairs: refused before any request.
    row("NameOf255Bytes", "volume", kLongNames, {}, volumes(vn(kName255) + vg(kNew1)), VOLUME_OK, 0,
        {{kName255, kNew1}},
        getRequests("volume", kName250) + getRequests("volume", kName255) +
            putRequests("volume", kName255)),
    refused("NameOf256Bytes", "volume", {}, volumes(vn(kName255 + "n") + vg(kNew1)),
            "XMLParser: line 2: volumeName content is longer than 255 bytes\n" PARSE_FAILED,
            kLongNames),
    refused("NameOver255BytesWithBlanks", "volume", {},
            volumes(vn("   " + kName250 + "   ") + vg(kNew1)),
            "XMLParser: line 2: volumeName content is longer than 255 bytes\n" PARSE_FAILED,
            kLongNames),
    row("CDATAMarkersDoNotCount", "volume", kLongNames, {},
        volumes(vn("<![CDATA[" + kName250 + "]]>") + vg(kNew1)), VOLUME_OK, 0, {{kName250, kNew1}},
        getRequests("volume", kName250) + getRequests("volume", kName255) +
            putRequests("volume", kName250)),
    refused("LaterNameTooLong", "pool", {},
            pools(pn("P1") + pg(kNew1) + pn(std::string(300, 'p')) + pg(kNew2)),
            "XMLParser: line 2: poolName content is longer than 255 bytes\n" PARSE_FAILED),
    refused("IdContentTooLong", "volume", {}, volumes(vn("V1") + vg(kNew1 + std::string(219, ' '))),
            "XMLParser: line 2: volumeGUID content is longer than 255 bytes\n" PARSE_FAILED),
    refused("IdTextOf38Characters", "pool", {}, pools(pn("P1") + pg(kNew1 + "0")),
            "XMLParser: line 2: poolGUID text is longer than 37 characters\n" PARSE_FAILED),
    mixed("IdOf37CharactersAmidBlanksIn255Bytes", "volume", {},
          volumes(vn("V1") + vg(std::string(218, ' ') + kNew1)), VOLUME_OK, 0, {{"V1", kNew1}},
          kReadVolumes + kV1),
    refused("NameWithoutId", "volume", {}, volumes(vn("V1")),
            "XMLParser: line 2: volumeName without volumeGUID\n" PARSE_FAILED),
    refused("IdWithoutName", "pool", {}, pools(pg(kNew1)),
            "XMLParser: line 2: poolGUID without poolName\n" PARSE_FAILED),
    refused("TrailingNameRefusesTheFile", "volume", {}, volumes(vn("V1") + vg(kNew1) + vn("V2")),
            "XMLParser: line 2: volumeName without volumeGUID\n" PARSE_FAILED),
    refused("TrailingIdRefusesTheFile", "volume", {},
            volumes(vn("V1") + vg(kNew1) + "\n" + vg(kNew2)),
            "XMLParser: line 3: volumeGUID without volumeName\n" PARSE_FAILED),
    refused("UnclosedNameRefusesTheFile", "volume", {},
            volumes("<volumeName>V1</volumeName >" + vg(kNew1)),
            "XMLParser: line 2: volumeName is not closed\n" PARSE_FAILED),
    // get writes every pair name first; one written ID first is a line moved from elsewhere.
    refused("SinglePairIdFirst", "volume", {}, volumes(vg(kNew2) + vn("V2")),
            "XMLParser: line 2: volumeGUID without volumeName\n" PARSE_FAILED),
    refused("IdFirstAfterNameFirst", "volume", {},
            volumes(vn("V1") + vg(kNew1) + vg(kNew2) + vn("V2")),
            "XMLParser: line 2: volumeGUID without volumeName\n" PARSE_FAILED),
    refused("TwoPairsIdFirst", "volume", {}, volumes(vg(kNew1) + vn("V1") + vg(kNew2) + vn("V2")),
            "XMLParser: line 2: volumeGUID without volumeName\n" PARSE_FAILED),
    refused("BlankName", "volume", {}, volumes(vn(" \n\t") + vg(kNew1)),
            "XMLParser: line 2: volumeName is empty\n" PARSE_FAILED),
    refused("EmptyNameElement", "pool", {}, pools("<poolName/>" + pg(kNew1)),
            "XMLParser: line 2: poolName is empty\n" PARSE_FAILED),
    refused("LaterNameEmpty", "volume", {}, volumes(vn("V1") + vg(kNew1) + vn("") + vg(kNew2)),
            "XMLParser: line 2: volumeName is empty\n" PARSE_FAILED),
    // Also for an object that put would skip as inactive: the pair is damaged.
    refused("EmptyIdOfAnInactiveVolume", "volume", {},
            volumes(vn("V1") + vg(kNew1) + vn("V2") + "<volumeGUID/>" + vn("V3") + vg(kNew3)),
            "XMLParser: line 2: Volume \"V2\" has a bad ID text\n" PARSE_FAILED, kVolumeInactive),
};

void PrintTo(const PutCase& c, std::ostream* os)
{
    *os << c.label;
}

// One case run in a direction: put gives the objects of `changes` their new IDs, diff
// changes none (its cases have none).
class RoadCase : public EndToEndP<PutCase> {
   protected:
    void check(const char* direction)
    {
        const PutCase& c = GetParam();
        addAll(c.objects);
        std::string path = file(c.path);
        if (c.content != kNoFile)
            writeFile(path, c.content);
        failAll(c.faults, path);

        Lines args = Lines{direction} + withPath(c.options, path) + Lines{c.kind, path};
        expectedErr = withPath(c.err, file(c.shownPath));
        terminal = c.terminal;
        Outcome outcome = run(args);
        EXPECT_EQ(outcome.process.out, kBanner + withPath(c.output, file(c.shownPath)));
        if (c.log) {
            EXPECT_EQ(outcome.log, withPath(*c.log, file(c.shownPath)));
        }
        EXPECT_EQ(outcome.process.exitStatus, c.exit);
        EXPECT_EQ(describe(outcome.objects), expectedObjects(c.objects, c.changes));
        EXPECT_EQ(outcome.requests, c.requests);
        if (c.content != kNoFile) {
            EXPECT_EQ(readFile(path), c.content) << direction << " changed its input file";
        }
        if (c.undo) {
            bool written = false;
            std::string undo = readFile(undoPath(c.kind), &written);
            EXPECT_EQ(written ? undo : kNoFile, *c.undo);
        }
    }
    // The kind's own undo list in the simulated system's state folder.
    std::string undoPath(const std::string& kind) const
    {
        return sys + "/state/" + kind + "s-before-put.xml";
    }
};

class PutRoad : public RoadCase {};

TEST_P(PutRoad, OutputIdsAndRequests)
{
    check("put");
}

INSTANTIATE_TEST_SUITE_P(E2E, PutRoad, ::testing::ValuesIn(kPutCases),
                         [](const auto& info) { return std::string(info.param.label); });

std::string diffLine(const char* state, const char* object, const std::string& detail)
{
    char line[512];
    std::snprintf(line, sizeof line, "%-11s %s%s%s\n", state, object, detail.empty() ? "" : "  ",
                  detail.c_str());
    return line;
}
std::string summary(const char* counts)
{
    return std::string("diff: ") + counts + "\n";
}
std::string to(unsigned from, const std::string& id)
{
    return testId(from) + " -> " + id;
}

#define STOPS "  <- put stops here"
const Lines kDiffV123 =
    getRequests("volume", "V1") + getRequests("volume", "V2") + getRequests("volume", "V3");
const std::vector<ObjectSpec> kDiffStates = {
    {"volume", "V1", 6, testId(1)}, {"volume", "V2", 2, testId(2)}, {"volume", "V3", 6, testId(3)},
    {"volume", "V4", 6, testId(4)}, {"volume", "V5", 1, testId(5)}, {"volume", "V6", 6, testId(6)}};
const std::string kSame =
    listFile("volume", {{"V1", testId(1)}, {"V2", testId(2)}, {"V3", testId(3)}});

// Objects, faults and file as for put; `changes` stay empty: diff changes no ID.
const PutCase kDiffCases[] = {
    mixed("NothingWouldChange", "VOLUME", {}, kSame,
          diffLine("same", "Volume \"V1\"", testId(1)) +
              diffLine("same", "Volume \"V2\"", testId(2)) +
              diffLine("same", "Volume \"V3\"", testId(3)) +
              summary("3 same, 0 change, 0 inactive, 0 missing, 0 failed, 0 not-in-file"),
          0, {}, kDiffV123),
    mixed("ChangeAndNotInFile", "pool", {}, listFile("pool", {{"P2", kNew2}}),
          diffLine("change", "Pool \"P2\"", to(12, kNew2)) +
              diffLine("not-in-file", "Pool \"P1\"", testId(11)) +
              summary("0 same, 1 change, 0 inactive, 0 missing, 0 failed, 1 not-in-file"),
          1, {}, kReadPools),
    // On a terminal, the line that counts the objects read.
    onTerminal(
        mixed("ProgressOnATerminal", "pool", {}, listFile("pool", {{"P2", testId(12)}}),
              diffLine("same", "Pool \"P2\"", testId(12)) +
                  diffLine("not-in-file", "Pool \"P1\"", testId(11)) +
                  summary("1 same, 0 change, 0 inactive, 0 missing, 0 failed, 1 not-in-file"),
              0, {}, kReadPools),
        Terminal::Err, blanked("diff pool", 1, 2)),
    // Every state of a pair, in file order; the pair put refuses for is marked, and its
    // refusal follows the objects. Each object is read once, in put's order.
    row("EveryState", "volume", kDiffStates, {{"16", "--status", "99", "--name", "V6"}},
        volumes(vn("V1") + vg(testId(1)) + vn("V2") + vg(testId(7)) + vn("VX") + vg(kNew1) +
                vn("V3") + vg(kNew3) + vn("V4") + vg(kNew2)),
        diffLine("same", "Volume \"V1\"", testId(1)) + diffLine("inactive", "Volume \"V2\"", "") +
            diffLine("missing", "Volume \"VX\"", "zOpen error 20202" STOPS) +
            diffLine("change", "Volume \"V3\"", to(3, kNew3)) +
            diffLine("change", "Volume \"V4\"", to(4, kNew2)) +
            diffLine("not-in-file", "Volume \"V5\"", "inactive") +
            diffLine("not-in-file", "Volume \"V6\"", "zGetInfo error 99") +
            "GUIDModify : zOpen error 20202\n" +
            summary("1 same, 2 change, 1 inactive, 1 missing, 0 failed, 2 not-in-file"),
        255, {},
        getRequests("volume", "V1") + getInfoStop("volume", "V2", "0") +
            getRequests("volume", "V3") + getRequests("volume", "V4") +
            getInfoStop("volume", "V5", "0") + getInfoStop("volume", "V6", "status=99") +
            Lines{"1000 root 0", "23 volume:VX status=20202", "1001 root 0"}),
    // Each pair that would get an ID another object holds says which; put's refusal names
    // the first.
    row("SameIdTwice", "volume", kDiffStates, {},
        listFile("volume", {{"V6", kNew3}, {"V3", testId(5)}, {"V1", testId(4)}}),
        diffLine("change", "Volume \"V6\"", to(6, kNew3)) +
            diffLine("change", "Volume \"V3\"",
                     to(3, testId(5)) + "  <- would get the ID that Volume \"V5\" holds") +
            diffLine("change", "Volume \"V1\"",
                     to(1, testId(4)) + "  <- would get the ID that Volume \"V4\" holds") +
            diffLine("not-in-file", "Volume \"V2\"", "inactive") +
            diffLine("not-in-file", "Volume \"V4\"", testId(4)) +
            diffLine("not-in-file", "Volume \"V5\"", "inactive") +
            "Volume \"V3\" would get the ID that Volume \"V5\" holds\n" +
            summary("0 same, 3 change, 0 inactive, 0 missing, 0 failed, 3 not-in-file"),
        255, {},
        getRequests("volume", "V1") + getInfoStop("volume", "V2", "0") +
            getRequests("volume", "V3") + getRequests("volume", "V4") +
            getInfoStop("volume", "V5", "0") + getRequests("volume", "V6")),
    // A bad ID text is refused as put refuses it, before any request.
    refused("BadIdRefusedBeforeAnyRequest", "volume", {},
            volumes(vn("V1") + vg(testId(1)) + vn("V2") + vg("-x")),
            "XMLParser: line 2: Volume \"V2\" has a bad ID text\n" PARSE_FAILED),
    // Stops after the object in hand, before any line.
    mixed("SignalStopsTheReport", "volume", {{"16", "--signal", "15", "--nth", "2"}}, kSame,
          "diff : interrupted by signal 15\n", 255, {},
          getRequests("volume", "V1") + getRequests("volume", "V2")),
    mixed("DeviceFailures", "volume",
          {{"1000", "--status", "777", "--nth", "1"},
           {"23", "--errno", "5", "--name", "V2"},
           {"16", "--status", "98", "--name", "V3"}},
          kSame,
          diffLine("failed", "Volume \"V1\"", "zRootKey error 777" STOPS) +
              diffLine("failed", "Volume \"V2\"", "zOpen error 5") +
              diffLine("failed", "Volume \"V3\"", "zGetInfo error 98") +
              "GUIDModify : zRootKey error 777\n" +
              summary("0 same, 0 change, 0 inactive, 0 missing, 3 failed, 0 not-in-file"),
          255, {},
          Lines{"1000 root status=777", "1000 root 0", "23 volume:V2 errno=5", "1001 root 0"} +
              getInfoStop("volume", "V3", "status=98")),
    mixed("UnreadableNotInFileKeepsTheStatus", "pool", {{"1000", "--status", "777", "--nth", "1"}},
          listFile("pool", {{"P2", testId(12)}}),
          diffLine("same", "Pool \"P2\"", testId(12)) +
              diffLine("not-in-file", "Pool \"P1\"", "zRootKey error 777") +
              summary("1 same, 0 change, 0 inactive, 0 missing, 0 failed, 1 not-in-file"),
          0, {}, Lines{"1000 root status=777"} + getRequests("pool", "P2")),
    mixed("NotInFileOpenFails", "pool", {{"23", "--errno", "5", "--name", "P1"}},
          listFile("pool", {{"P2", testId(12)}}),
          diffLine("same", "Pool \"P2\"", testId(12)) +
              diffLine("not-in-file", "Pool \"P1\"", "zOpen error 5") +
              summary("1 same, 0 change, 0 inactive, 0 missing, 0 failed, 1 not-in-file"),
          0, {},
          Lines{"1000 root 0", "23 pool:P1 errno=5", "1001 root 0"} + getRequests("pool", "P2")),
    row("ControlBytesShownEscaped", "volume",
        {{"volume", "A\x1b[8m", 6, testId(4)}, {"volume", "C\nD", 6, testId(5)}}, {},
        listFile("volume", {{"A\x1b[8m", testId(4)}}),
        diffLine("same", "Volume \"A\\x1b[8m\"", testId(4)) +
            diffLine("not-in-file", "Volume \"C\\x0aD\"", testId(5)) +
            summary("1 same, 0 change, 0 inactive, 0 missing, 0 failed, 1 not-in-file"),
        0, {}, getRequests("volume", "A\x1b[8m") + getRequests("volume", "C\nD")),
    // Only the named objects, none of the others of the directory, which are still read.
    named(mixed("NamedObject", "volume", {}, kVolumeFile,
                diffLine("change", "Volume \"V3\"", to(3, kNew3)) +
                    summary("0 same, 1 change, 0 inactive, 0 missing, 0 failed, 0 "
                            "not-in-file"),
                1, {}, kDiffV123),
          {"--name", "V3"}),
    // Only the pairs taken are named, whichever pair of the file carries a check.
    explained(named(mixed("UncheckedPairNamed", "volume", {},
                          firstChecked({{"V1", testId(1)}, {"V2", testId(2)}, {"V3", testId(3)}}),
                          diffLine("same", "Volume \"V3\"", testId(3)) +
                              summary("1 same, 0 change, 0 inactive, 0 missing, 0 failed, 0 "
                                      "not-in-file"),
                          0, {}, kDiffV123),
                    {"--name", "V3"}),
              noCheck(6, "V3")),
    // Refusals before any request.
    explained(
        refused("NoFile", "volume", {}, kNoFile, "readGUIDFromFile: open failed, error : 2\n"),
        "korvane: {path}: No such file or directory\n"),
    refused("EmptyList", "pool", {}, "<listPools/>", "List is Empty, there are no Volumes\n"),
    // A failed listing is put's refusal: it stands after the objects already listed. Without
    // the listing no name is known to be missing.
    explained(
        mixed("ListingFails", "volume", {{"opendir", "volume", "--errno", "13"}}, kListingFile,
              diffLine("change", "Volume \"V1\"", to(1, kNew1)) +
                  diffLine("same", "Volume \"V2\"", testId(2)) +
                  diffLine("same", "Volume \"V3\"", testId(3)) + "Opendir failed, errno : 13\n" +
                  summary("2 same, 1 change, 0 inactive, 0 missing, 0 failed, 0 not-in-file"),
              255, {}, kDiffV123),
        "korvane: cannot list /_admin/Volumes/: Permission denied\n"),
    // ".", "..", V1 and V2 are listed, then the listing fails.
    explained(mixed("ReaddirFails", "volume", {{"readdir", "volume", "--errno", "5", "--nth", "5"}},
                    volumes(vn("V1") + vg(testId(1)) + vn("VX") + vg(kNew1)),
                    diffLine("same", "Volume \"V1\"", testId(1)) +
                        diffLine("failed", "Volume \"VX\"", "zOpen error 20202") +
                        diffLine("not-in-file", "Volume \"V2\"", testId(2)) +
                        "Readdir failed, errno : 5\n" +
                        summary("1 same, 0 change, 0 inactive, 0 missing, 1 failed, 1 not-in-file"),
                    255, {},
                    getRequests("volume", "V1") + getRequests("volume", "V2") +
                        Lines{"1000 root 0", "23 volume:VX status=20202", "1001 root 0"}),
              "korvane: cannot list /_admin/Volumes/: Input/output error\n"),
    // The reading's objects: 1024 records of 28 bytes.
    refused("ObjectsCannotBeAllocated", "pool", {{"malloc", "--size", "28672", "--nth", "1"}},
            listFile("pool", {{"P2", testId(12)}}),
            "Malloc : Failed to allocate the reading of the storage system\n"),
};

class DiffRoad : public RoadCase {};

// The direction word in any case, as get and put.
TEST_P(DiffRoad, OutputAndRequestsChangeNothing)
{
    check("Diff");
}

INSTANTIATE_TEST_SUITE_P(E2E, DiffRoad, ::testing::ValuesIn(kDiffCases),
                         [](const auto& info) { return std::string(info.param.label); });

// The same list applied as pools and as volumes touches only the objects of that kind.
TEST_F(EndToEnd, SameNamesAsPoolsAndAsVolumes)
{
    std::vector<ObjectSpec> objects = {{"pool", "X", 6, testId(1)}, {"volume", "X", 6, testId(2)}};
    addAll(objects);
    writeFile(file("p.xml"), listFile("pool", {{"X", kNew1}}));
    writeFile(file("v.xml"), listFile("volume", {{"X", kNew2}}));
    Outcome pool = run({"put", "pool", file("p.xml")});
    EXPECT_EQ(pool.process.exitStatus, 0);
    EXPECT_EQ(pool.requests, getRequests("pool", "X") + putRequests("pool", "X"));
    EXPECT_EQ(describe(pool.objects),
              expectedObjects({objects[0]}, {{"X", kNew1}}) + expectedObjects({objects[1]}));
    Outcome volume = run({"put", "volume", file("v.xml")});
    EXPECT_EQ(volume.process.exitStatus, 0);
    EXPECT_EQ(volume.requests, getRequests("volume", "X") + putRequests("volume", "X"));
    EXPECT_EQ(describe(volume.objects), expectedObjects({objects[0]}, {{"X", kNew1}}) +
                                            expectedObjects({objects[1]}, {{"X", kNew2}}));
}

// Past the first thousand, changes are counted in one line before the closing one.
TEST_F(EndToEnd, PutLogsTheFirstThousandChangesOneByOne)
{
    zapisim("add-many", sys, {"volume", "1001", "V"});
    const std::vector<SimObject> before = showObjects(sys);
    Changes pairs;
    for (unsigned n = 0; n < before.size(); ++n)
        pairs.emplace_back(before[n].name, testId(100 + n));
    const std::string path = file("ids.xml");
    writeFile(path, listFile("volume", pairs));
    // Given through "..", the file is logged by its absolute path.
    Outcome outcome = run({"put", "volume", file("system/../ids.xml")});
    ASSERT_EQ(outcome.log.size(), 1002u);
    EXPECT_EQ(outcome.log[999],
              changeLog("volume", before[999].name, before[999].id, testId(1099)));
    EXPECT_EQ(outcome.log[1000], PUT_LOG("notice", "volume: 1 more changes not logged one by one"));
    EXPECT_EQ(outcome.log[1001],
              withPath(PUT_LOG("notice",
                               "volume from \"{path}\": 1001 changed, 0 already held "
                               "their ID, 0 inactive skipped"),
                       path));
}

// The undo list holds the objects the put changed, in file order, with the IDs they held,
// as get writes them; put of it gives every ID back, and a put that changes nothing writes
// none.
TEST_F(EndToEnd, UndoListGivesTheIdsBack)
{
    const std::vector<ObjectSpec> objects = {{"volume", "V1", 6, testId(1)},
                                             {"volume", "V2", 2, testId(2)},
                                             {"volume", "V3", 6, testId(3)},
                                             {"volume", "V4", 6, testId(4)}};
    addAll(objects);
    const std::string path = file("ids.xml"), undo = file("undo.xml"), back = file("back.xml");
    writeFile(path,
              listFile("volume", {{"V3", kNew3}, {"V2", kNew2}, {"V4", testId(4)}, {"V1", kNew1}}));
    EXPECT_EQ(run({"put", "--undo", undo, "volume", path}).process.exitStatus, 0);
    EXPECT_EQ(readFile(undo), listFile("volume", {{"V3", testId(3)}, {"V1", testId(1)}}));
    Outcome restore = run({"put", "--undo", back, "volume", undo});
    EXPECT_EQ(describe(restore.objects), expectedObjects(objects));
    EXPECT_EQ(readFile(back), listFile("volume", {{"V3", kNew3}, {"V1", kNew1}}));
    EXPECT_EQ(run({"put", "--undo", file("none.xml"), "volume", undo}).process.exitStatus, 0);
    bool written = true;
    readFile(file("none.xml"), &written);
    EXPECT_FALSE(written);
}

// Each put's undo list replaces the one before, kept as .1, the nine before it up to .9, in
// a folder made for root alone; a list of the same bytes rotates nothing.
TEST_F(EndToEnd, UndoListsKeepTheNineBefore)
{
    add({"volume", "V1", 6, testId(0)});
    const std::string path = file("ids.xml"), undo = sys + "/state/volumes-before-put.xml";
    for (unsigned n = 1; n <= 11; ++n) {
        writeFile(path, listFile("volume", {{"V1", testId(n)}}));
        ASSERT_EQ(run({"put", "volume", path}).process.exitStatus, 0);
    }
    zapisim("set", sys, {"volume", "V1", "--id", testId(10)});
    ASSERT_EQ(run({"put", "volume", path}).process.exitStatus, 0);
    for (unsigned k = 0; k <= 10; ++k) {
        bool exists = false;
        std::string held = readFile(k == 0 ? undo : undo + "." + std::to_string(k), &exists);
        EXPECT_EQ(exists ? held : kNoFile,
                  k < 10 ? listFile("volume", {{"V1", testId(10 - k)}}) : kNoFile)
            << k;
    }
    struct stat folder {};
    ASSERT_EQ(stat((sys + "/state").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 07777, 0700u);
}

// "-" reads the list from standard input, and names it so in messages.
TEST_F(EndToEnd, StandardInputAsFile)
{
    addAll(kMixed);
    StdinFeed feed{kVolumeFile, 100, 1};
    Outcome outcome = run({"put", "volume", "-"}, &feed);
    EXPECT_EQ(outcome.process.out, kBanner + withPath(VOLUME_OK, "-"));
    EXPECT_EQ(outcome.requests, kReadVolumes + kVolumeRequests);
    feed = {"", 0, 0};
    outcome = run({"put", "volume", "-"}, &feed);
    EXPECT_EQ(outcome.process.out,
              std::string(kBanner) + "readVolGUIDFromFile : File - is empty\n");
    EXPECT_EQ(describe(outcome.objects), expectedObjects(kMixed, kAllVolumes));
}

// A termination signal while the list is still awaited stops the run at once: on a pipe
// that never ends, and on a FIFO that no writer opens, for put and for diff. It is sent
// once, when korvane sleeps; last, the simulated system raises it just before the read of
// a FIFO whose writer never writes, where only the signal's handler can end the wait.
TEST_F(EndToEnd, SignalWhileWaitingForTheFile)
{
    addAll(kMixed);
    const std::string in = file("in"), out = file("out");
    // What the shell prepares, the run it starts in the background, and how it is stopped.
    const std::string sendOnce = "kill -TERM $pid";
    const std::string runs[][3] = {{"exec 3<>" + in + " && printf '<listVolumes>' >&3",
                                    "{korvane} put volume - <&3", sendOnce},
                                   {"true", "{korvane} put volume " + in, sendOnce},
                                   {"true", "{korvane} diff volume " + in, sendOnce},
                                   {"exec 3<>" + in, "{korvane} put volume " + in, "true"}};
    for (const auto& [prepare, start, stop] : runs) {
        if (stop != sendOnce) {
            fail({"read", "--path", in, "--signal", "15"});
        }
        ProcessResult result = stopWhenAsleep(
            sys, "rm -f " + in + " && mkfifo " + in + " && " + prepare, start + " >" + out, stop);
        EXPECT_EQ(result.out, "255\n") << start;
        EXPECT_EQ(readFile(out),
                  std::string(kBanner) + "readGUIDFromFile: interrupted by signal 15\n")
            << start;
    }
    Journal journal = readJournal(sys);
    EXPECT_TRUE(journal.requests.empty());
    checkJournalHygiene(journal);
}

// The byte count is 32-bit: a file of 4 GiB or more is refused before anything is
// read or applied. The file is sparse, so it costs no disk space.
TEST_F(EndToEnd, FileOf4GiBIsRefused)
{
    addAll(mixedSystem());
    std::string path = file("huge\x1b.xml");
    writeFile(path, kVolumeFile);
    ASSERT_EQ(truncate(path.c_str(), 4294967296LL), 0);
    Outcome outcome = run({"put", "volume", path}, nullptr, size_t{1} << 30);
    EXPECT_EQ(
        outcome.process.out,
        kBanner + withPath("readGUIDFromFile: file {path} is too large\n", file("huge\\x1b.xml")));
    EXPECT_EQ(outcome.process.exitStatus, 255);
    EXPECT_EQ(outcome.requests, Lines{});
    EXPECT_EQ(describe(outcome.objects), expectedObjects(mixedSystem()));
}

}  // namespace
}  // namespace e2e
