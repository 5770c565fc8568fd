// SPDX-License-Identifier: Apache-2.0
// Fault sweep: get and put over three objects of the kind, under the simulated storage
// system, failing one step at a time: the 1st, 2nd, ... device request (once with a
// device status, once with the system call failing with an errno), the device open, the
// run lock's open and fcntl, and each open, read, write and close of the list file (and,
// for get, of the admin directory), up to the first step whose failure is never reached, where the
// run completes. Every run must print exactly the messages for that point, end with its exit
// status, hold no key at exit, and leave exactly the IDs it should: on put, the objects
// before the failing one carry their new IDs and none after it do.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

using e2e::Lines;

constexpr const char* kStatus = "77";  // the device status a failing request returns
constexpr const char* kErrno = "5";    // the errno of a failing system call (EIO)
constexpr int kObjects = 3;

enum Step {
    NONE,
    REQUEST,
    DEVICE,
    OPEN,
    READ,
    WRITE,
    CLOSE,
    OPENDIR,
    READDIR,
    LOCK_OPEN,
    LOCK_FCNTL
};

constexpr const char* kLockPath = "/run/lock/korvane.lock";

struct SweepCase {
    std::string road;  // "get" or "put"
    std::string kind;  // "pool" or "volume"
    Step step;
    int index;       // REQUEST: position in the run's request sequence; else the nth call
    bool withErrno;  // REQUEST: the system call fails instead of the device answering
};

std::string caseText(const SweepCase& c);

void PrintTo(const SweepCase& c, std::ostream* out)
{
    *out << caseText(c);
}

// One object's requests, in order, on each road.
const std::vector<long>& objectOps(const std::string& road)
{
    static const std::vector<long> get = {1000, 23, 16, 1001, 1001};
    static const std::vector<long> put = {1000, 23, 16, 22, 1001, 1001};
    return road == "get" ? get : put;
}

std::string objectName(const std::string& kind, int i)
{
    return (kind == "pool" ? "P" : "V") + std::to_string(i + 1);
}

std::string oldId(const std::string& kind, int i)
{
    return e2e::testId((kind == "pool" ? 11u : 1u) + static_cast<unsigned>(i));
}

std::string newId(const std::string& kind, int i)
{
    return e2e::testId((kind == "pool" ? 111u : 101u) + static_cast<unsigned>(i));
}

// Three pools and three volumes, so a run of one kind is seen to leave the other alone.
std::vector<e2e::ObjectSpec> systemObjects()
{
    std::vector<e2e::ObjectSpec> objects;
    for (const char* kind : {"pool", "volume"}) {
        for (int i = 0; i < kObjects; ++i) {
            objects.push_back({kind, objectName(kind, i), 6, oldId(kind, i)});
        }
    }
    return objects;
}

std::vector<std::pair<std::string, std::string>> pairs(const std::string& kind, bool fresh,
                                                       int skip = -1)
{
    std::vector<std::pair<std::string, std::string>> list;
    for (int i = 0; i < kObjects; ++i) {
        if (i != skip) {
            list.emplace_back(objectName(kind, i), fresh ? newId(kind, i) : oldId(kind, i));
        }
    }
    return list;
}

std::string successLine(const SweepCase& c, const std::string& path)
{
    bool pool = c.kind == "pool";
    std::string text =
        c.road == "get"
            ? (pool ? "Successfully updated the file \"{path}\" with Pool GUID List\n"
                    : "\n\nSuccessfully updated the file \"{path}\" with Volume GUID List\n")
            : (pool ? "Successfully updated from file \"{path}\" to the Pool's GUID\n"
                    : "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n");
    return e2e::withPath(text, path);
}

// The line naming the object left out, then the command's last line in place of success.
std::string partialLine(const SweepCase& c, const std::string& name, const std::string& path)
{
    return c.kind == "pool"
               ? "Pool " + name + " could not be saved\nUpdated the file \"" + path +
                     "\" with Pool GUID List, but 1 pool could not be saved\n"
               : "Volume " + name + " could not be saved\n\n\nUpdated the file \"" + path +
                     "\" with Volume GUID List, but 1 volume could not be saved\n";
}

// What one run must end with.
struct Expected {
    std::string out;  // after the banner
    int exit = 0;
    int leftOut = -1;  // get: the object missing from the file
    int changed = 0;   // put: objects 0..changed-1 carry their new IDs
    std::string held;  // the one key the device would not release ("" for none)
    bool fileWritten = true;
    std::string file;  // get: the list file afterwards
};

// The message of a failing request, by the road and the object's step.
std::string requestMessage(const SweepCase& c, int step, const std::string& value)
{
    bool pool = c.kind == "pool";
    if (c.road == "get") {
        switch (step) {
            case 0:
                return "getInfo : zRootKey error " + value + "\n";
            case 1:
                return "getInfo : zOpen error " + value + "\n";
            case 2:
                return (pool ? "Pool :zGetInfo failed -- error "
                             : "Volume :zGetInfo failed -- error ") +
                       value + "\n";
            default:
                return "";  // a failing close is not looked at
        }
    }
    switch (step) {
        case 0:
            return "GUIDModify : zRootKey error " + value + "\n";
        case 1:
            return "GUIDModify : zOpen error " + value + "\n";
        case 2:
            return (pool ? "" : "  ") + std::string("zGetInfo failed -- error ") + value + "\n";
        case 3:
            return "zModifyInfo error " + value + "\n";
        default:
            return "";
    }
}

// How many calls of the file step the road makes when nothing fails.
int fileCalls(const SweepCase& c)
{
    const bool get = c.road == "get";
    switch (c.step) {
        case OPEN:
        case CLOSE:
        case LOCK_OPEN:
        case LOCK_FCNTL:  // the lock is free: no need to ask who holds it
            return 1;
        case READ:
            return get ? 0 : 2;  // the small file, then its end
        case WRITE:
            return get ? kObjects + 2 : 0;  // header, one record each, trailer
        case OPENDIR:
            return get ? 1 : 0;
        case READDIR:
            return get ? kObjects + 3 : 0;  // ".", "..", the names, the end
        default:
            return 0;
    }
}

// The message of a failing file call (the list file's or the admin directory's).
std::string fileMessage(const SweepCase& c, const std::string& error)
{
    const bool get = c.road == "get";
    switch (c.step) {
        case OPEN:
            return (get ? "Open failed, error : " : "readGUIDFromFile: open failed, error : ") +
                   error + "\n";
        case READ:
            return "Read failed, bytes = -1, error = " + error + "\n";
        case WRITE:
            return std::string(c.index == 1              ? "1:Write failed"
                               : c.index <= kObjects + 1 ? "2:Write failed"
                                                         : "3:write failed") +
                   ", ccode = -1, error = " + error + "\n";
        case CLOSE:
            return (get ? "close" : "Close") + std::string(" failed, ccode = -1, error = ") +
                   error + "\n";
        case OPENDIR:
            return "Opendir failed, errno : " + error + "\n";
        case READDIR:
            return "Readdir failed, errno : " + error + "\n";
        case LOCK_OPEN:
        case LOCK_FCNTL:
            return "Lock failed, error : " + error + "\n";
        default:
            return "";
    }
}

Expected expect(const SweepCase& c, const std::string& path)
{
    Expected e;
    const bool get = c.road == "get";
    const std::string error = kErrno;
    const std::string getTail = "getName : FAILED to print GUID to File " + path + ", Error = -1\n";
    const std::string putTail =
        "GUIDModify failed, status -1\nFailed to Parse the XML from Buffer\n";

    // A failure that one object's handling absorbs (get) or that stops the walk (put) at
    // object `object`, step `step` of its requests.
    auto requestFailure = [&](int object, int step, const std::string& value) {
        std::string message = requestMessage(c, step, value);
        if (message.empty()) {
            // A close the device refuses leaves that key with it; the road goes on.
            bool rootFirst = get;
            bool rootKey = (step == static_cast<int>(objectOps(c.road).size()) - 2) == rootFirst;
            e.held = rootKey ? "root" : c.kind + ":" + objectName(c.kind, object);
        }
        if (get) {
            e.out = message.empty() ? successLine(c, path)
                                    : message + partialLine(c, objectName(c.kind, object), path);
            e.exit = message.empty() ? 0 : 1;
            e.leftOut = message.empty() ? -1 : object;
            return;
        }
        if (message.empty()) {
            e.out = successLine(c, path);
            e.changed = kObjects;
            return;
        }
        e.out = message + "Stopped at " + (c.kind == "pool" ? "Pool \"" : "Volume \"") +
                objectName(c.kind, object) + "\": " + std::to_string(object) + " changed, " +
                std::to_string(kObjects - object) + " not applied\n" + putTail;
        e.exit = 255;
        e.changed = object;
    };

    e.changed = get ? 0 : kObjects;
    switch (c.step) {
        case NONE:
            e.out = successLine(c, path);
            break;
        case REQUEST: {
            int per = static_cast<int>(objectOps(c.road).size());
            requestFailure(c.index / per, c.index % per, c.withErrno ? kErrno : kStatus);
            break;
        }
        case DEVICE:
            // Only the first open of the device is ever made: a later one never happens.
            if (c.index == 1) {
                requestFailure(0, 0, error);
            } else {
                e.out = successLine(c, path);
            }
            break;
        default: {
            if (c.index > fileCalls(c)) {
                e.out = successLine(c, path);
                break;
            }
            e.out = fileMessage(c, error);
            e.exit = 255;
            e.changed = 0;
            if (get && (c.step == OPEN || c.step == WRITE || c.step == CLOSE)) {
                e.out += getTail;  // the writer's failure, reported again by getName
            }
            // get leaves no file behind a failure: the list goes to a temporary file
            // first.
            e.fileWritten = !get;
            break;
        }
    }
    if (get && e.exit != 255) {
        e.file = e2e::listFile(c.kind, pairs(c.kind, false, e.leftOut));
    }
    return e;
}

// The `zapisim fail` arguments of the case (none for the baseline).
Lines faultArguments(const SweepCase& c, const std::string& path)
{
    const std::string nth = std::to_string(c.index);
    switch (c.step) {
        case NONE:
            return {};
        case REQUEST: {
            const std::vector<long>& ops = objectOps(c.road);
            long op = ops[static_cast<size_t>(c.index) % ops.size()];
            int count = 0;
            for (int k = 0; k <= c.index; ++k) {
                count += (ops[static_cast<size_t>(k) % ops.size()] == op) ? 1 : 0;
            }
            return {std::to_string(op), c.withErrno ? "--errno" : "--status",
                    c.withErrno ? kErrno : kStatus, "--nth", std::to_string(count)};
        }
        case DEVICE:
            return {"device", "--errno", kErrno, "--nth", nth};
        case OPENDIR:
            return {"opendir", c.kind, "--errno", kErrno, "--nth", nth};
        case READDIR:
            return {"readdir", c.kind, "--errno", kErrno, "--nth", nth};
        case OPEN:
            return {"open", "--path", path, "--errno", kErrno, "--nth", nth};
        case READ:
            return {"read", "--path", path, "--errno", kErrno, "--nth", nth};
        case WRITE:
            return {"write", "--path", path, "--errno", kErrno, "--nth", nth};
        case CLOSE:
            return {"close", "--path", path, "--errno", kErrno, "--nth", nth};
        case LOCK_OPEN:
            return {"open", "--path", kLockPath, "--errno", kErrno, "--nth", nth};
        case LOCK_FCNTL:
            return {"fcntl", "--path", kLockPath, "--errno", kErrno, "--nth", nth};
    }
    return {};
}

std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> cases;
    for (const char* road : {"get", "put"}) {
        for (const char* kind : {"pool", "volume"}) {
            const bool get = std::string(road) == "get";
            cases.push_back({road, kind, NONE, 0, false});
            int requests = kObjects * static_cast<int>(objectOps(road).size());
            for (int k = 0; k < requests; ++k) {
                cases.push_back({road, kind, REQUEST, k, false});
                cases.push_back({road, kind, REQUEST, k, true});
            }
            cases.push_back({road, kind, DEVICE, 1, false});
            cases.push_back({road, kind, DEVICE, 2, false});
            // Each file call from the 1st on, up to the first that is never made; put
            // lists no directory.
            for (Step step : {OPEN, READ, WRITE, CLOSE, OPENDIR, READDIR, LOCK_OPEN, LOCK_FCNTL}) {
                if (!get && (step == OPENDIR || step == READDIR)) {
                    continue;
                }
                SweepCase file = {road, kind, step, 0, false};
                for (int nth = 1; nth <= fileCalls(file) + 1; ++nth) {
                    file.index = nth;
                    cases.push_back(file);
                }
            }
        }
    }
    return cases;
}

std::string caseText(const SweepCase& c)
{
    static const char* const steps[] = {"baseline", "request",  "device",   "open",
                                        "read",     "write",    "close",    "opendir",
                                        "readdir",  "lockopen", "lockfcntl"};
    std::string name = c.road + "_" + c.kind + "_" + steps[c.step];
    if (c.step != NONE) {
        name += std::to_string(c.step == REQUEST ? c.index + 1 : c.index);
    }
    if (c.step == REQUEST) {
        name += c.withErrno ? "_errno" : "_status";
    }
    return name;
}

std::string caseName(const testing::TestParamInfo<SweepCase>& info)
{
    return caseText(info.param);
}

class FaultSweep : public e2e::EndToEndP<SweepCase> {};

TEST_P(FaultSweep, EndsWithItsMessageStatusAndIds)
{
    const SweepCase& c = GetParam();
    const bool get = c.road == "get";
    const std::string path = file("list.xml");
    addAll(systemObjects());
    if (!get) {
        e2e::writeFile(path, e2e::listFile(c.kind, pairs(c.kind, true)));
    }
    Lines fault = faultArguments(c, path);
    if (!fault.empty()) {
        fail(fault);
    }

    Expected e = expect(c, path);
    e2e::zapisim("journal", sys, {"--clear"});
    e2e::Outcome outcome;
    outcome.process = e2e::runKorvane(sys, {c.road, c.kind, path});
    outcome.journal = e2e::readJournal(sys);
    outcome.objects = e2e::showObjects(sys);

    EXPECT_EQ(outcome.process.err, "");
    ASSERT_EQ(outcome.journal.exits.size(), 1u) << "one korvane process exit in the journal";
    EXPECT_EQ(outcome.journal.exits[0], e.held.empty() ? 0 : 1) << "keys held at exit";
    if (e.held.empty()) {
        e2e::checkJournalHygiene(outcome.journal);
    } else {
        ASSERT_EQ(outcome.journal.held.size(), 1u);
        const std::string& held = outcome.journal.held[0];
        EXPECT_EQ(held.substr(held.find(' ') + 1), e.held);
    }

    EXPECT_EQ(outcome.process.out, e2e::kBanner + e.out);
    EXPECT_EQ(outcome.process.exitStatus, e.exit);
    std::vector<std::pair<std::string, std::string>> changes;
    for (int i = 0; i < e.changed; ++i) {
        changes.emplace_back(objectName(c.kind, i), newId(c.kind, i));
    }
    EXPECT_EQ(e2e::describe(outcome.objects), e2e::expectedObjects(systemObjects(), changes));
    if (get) {
        bool exists = false;
        std::string written = e2e::readFile(path, &exists);
        EXPECT_EQ(exists, e.fileWritten);
        if (e.fileWritten) {
            EXPECT_EQ(written, e.file);
        }
    }
    // The fault met the request it was meant for, after the same requests as without it.
    if (c.step == REQUEST) {
        const std::vector<long>& ops = objectOps(c.road);
        const size_t at = static_cast<size_t>(c.index);
        ASSERT_GT(outcome.journal.requests.size(), at);
        for (size_t k = 0; k < at; ++k) {
            EXPECT_EQ(outcome.journal.requests[k].result, "0") << "request " << k;
        }
        EXPECT_EQ(outcome.journal.requests[at].op, ops[at % ops.size()]);
        EXPECT_EQ(outcome.journal.requests[at].result,
                  c.withErrno ? std::string("errno=") + kErrno : std::string("status=") + kStatus);
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, FaultSweep, testing::ValuesIn(sweepCases()), caseName);

}  // namespace

namespace {

// get --keep 3 over a list file and two kept lists, with each write, the sync of the
// temporary file and each rename failed (EIO) or signalled (SIGINT) in turn, up to the
// first that is never made. The files are always as they were or some whole steps
// further, the list file itself never missing or half written.
enum KeepStep { KEEP_WRITE, KEEP_FSYNC, KEEP_RENAME };

struct KeepSweepCase {
    KeepStep step;
    int nth;
    bool signal;
};

std::string keepCaseText(const KeepSweepCase& c)
{
    static const char* const steps[] = {"write", "fsync", "rename"};
    return std::string(steps[c.step]) + std::to_string(c.nth) + (c.signal ? "_signal" : "_errno");
}

void PrintTo(const KeepSweepCase& c, std::ostream* out)
{
    *out << keepCaseText(c);
}

std::string keepCaseName(const testing::TestParamInfo<KeepSweepCase>& info)
{
    return keepCaseText(info.param);
}

std::vector<KeepSweepCase> keepSweepCases()
{
    std::vector<KeepSweepCase> cases;
    // Header, three records, trailer; the temporary file's sync; three renames of the kept
    // lists and the list file, then the temporary file's.
    const int calls[] = {kObjects + 2, 1, 4};
    for (KeepStep step : {KEEP_WRITE, KEEP_FSYNC, KEEP_RENAME}) {
        for (int nth = 1; nth <= calls[step] + 1; ++nth) {
            cases.push_back({step, nth, false});
            cases.push_back({step, nth, true});
        }
    }
    return cases;
}

class KeepSweep : public e2e::EndToEndP<KeepSweepCase> {};

TEST_P(KeepSweep, LeavesWholeFilesOnly)
{
    const KeepSweepCase& c = GetParam();
    const std::string path = file("list.xml");
    addAll(systemObjects());
    const std::string list = e2e::listFile("volume", pairs("volume", false));
    e2e::writeFile(path, "A");
    e2e::writeFile(path + ".1", "B");
    e2e::writeFile(path + ".2", "C");
    static const char* const words[] = {"write", "fsync", "rename"};
    fail({words[c.step], "--path", path, c.signal ? "--signal" : "--errno", c.signal ? "2" : kErrno,
          "--nth", std::to_string(c.nth)});

    e2e::Outcome outcome = run({"get", "--keep", "3", "volume", path});
    const int calls[] = {kObjects + 2, 1, 4};
    const bool reached = c.nth <= calls[c.step];
    const std::string tail = "getName : FAILED to print GUID to File " + path + ", Error = -1\n";
    // What list.xml, .1, .2 and .3 hold ("" for none), and the output after the banner.
    std::vector<std::string> files = {list, "A", "B", "C"};
    std::string out = "\n\nSuccessfully updated the file \"" + path +
                      "\" with Volume GUID List\nThe previous list is kept as \"" + path + ".1\"\n";
    if (reached && c.signal && c.step != KEEP_RENAME) {
        // Stopped before the first rename; a rename under way is completed with the rest.
        files = {"A", "B", "C", ""};
        out = "getName : interrupted by signal 2\n";
    } else if (reached && !c.signal) {
        if (c.step == KEEP_WRITE) {
            files = {"A", "B", "C", ""};
            out = std::string(c.nth == 1              ? "1:Write failed"
                              : c.nth <= kObjects + 1 ? "2:Write failed"
                                                      : "3:write failed") +
                  ", ccode = -1, error = " + kErrno + "\n" + tail;
        } else {
            // The renames before the failing one are done; the old list is put back when the
            // new one could not take its place.
            const std::vector<std::vector<std::string>> after = {{"A", "B", "C", ""},
                                                                 {"A", "B", "C", ""},
                                                                 {"A", "B", "", "C"},
                                                                 {"A", "", "B", "C"},
                                                                 {"A", "", "B", "C"}};
            files = after[c.step == KEEP_FSYNC ? 0 : static_cast<size_t>(c.nth)];
            out = std::string("close failed, ccode = -1, error = ") + kErrno + "\n" + tail;
        }
    }
    EXPECT_EQ(outcome.process.out, e2e::kBanner + out);
    EXPECT_EQ(outcome.process.exitStatus, files[0] == list ? 0 : 255);
    for (size_t k = 0; k < files.size(); ++k) {
        std::string name = k == 0 ? path : path + "." + std::to_string(k);
        bool exists = false;
        std::string content = e2e::readFile(name, &exists);
        EXPECT_EQ(exists, !files[k].empty()) << name;
        EXPECT_EQ(content, files[k]) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Keep, KeepSweep, testing::ValuesIn(keepSweepCases()), keepCaseName);

}  // namespace
