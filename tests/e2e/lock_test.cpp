// SPDX-License-Identifier: Apache-2.0
// One run at a time: while another process holds the storage system's run lock in a
// conflicting mode, get, put and diff refuse at once, naming it, and touch nothing; a get
// and a diff go side by side, two gets do not; a killed holder leaves nothing behind; the
// lock file is its owner's alone, and one that cannot be opened stops every run.
#include <signal.h>
#include <sys/stat.h>

#include <cctype>

#include "harness.h"

namespace e2e {
namespace {

const std::vector<ObjectSpec> kVolumes = {
    {"volume", "V1", 6, testId(1)}, {"volume", "V2", 6, testId(2)}, {"volume", "V3", 6, testId(3)}};
const std::vector<std::pair<std::string, std::string>> kRestored = {
    {"V1", testId(101)}, {"V2", testId(102)}, {"V3", testId(103)}};

std::string refusal(pid_t holder)
{
    return "Another korvane run (process " + std::to_string(holder) +
           ") is using the storage system; nothing was done\n";
}

// The holder: `zapisim lock` in a mode (held until it is let go), a directory in the lock
// file's place, root's lock file that the run may not open, or a korvane run on the same
// list file, stopped by its own simulated system at a request.
struct LockCase {
    const char* label;
    // "--shared" or "--exclusive"; "directory"; "13", "1": the error of the lock file's open;
    // null: the korvane run `holder`
    const char* lockMode;
    Lines holder;      // direction, then the fault that stops it: op, nth
    bool killed;       // SIGKILL before the contender starts
    bool otherSystem;  // the lock is held on another simulated system
    const char* contender;
    int status;            // the contender's exit status; 255: refused
    std::string err = "";  // the contender's standard error
};

#define LOCK_ERR(TEXT) "korvane: cannot lock /run/korvane.lock: " TEXT "\n"
#define AS_ROOT " (korvane must run as root)"

void PrintTo(const LockCase& c, std::ostream* os)
{
    *os << c.label;
}

class RunLock : public EndToEndP<LockCase> {};

TEST_P(RunLock, RefusesConflictsAndNothingElse)
{
    const LockCase& c = GetParam();
    addAll(kVolumes);
    const std::string path = file("ids.xml");
    const std::string list = listFile("volume", kRestored);
    writeFile(path, list);
    std::string lockSystem = c.otherSystem ? root + "/other" : sys;
    if (c.otherSystem)
        zapisim("init", lockSystem);

    Stopped holder;
    const bool directory = c.lockMode != nullptr && std::string(c.lockMode) == "directory";
    const bool notOpened = c.lockMode != nullptr && std::isdigit(c.lockMode[0]) != 0;
    // The error number of a lock that cannot be taken.
    const std::string lockError = directory ? "21" : notOpened ? c.lockMode : "";
    if (directory) {
        ASSERT_EQ(mkdir((sys + "/lock").c_str(), 0755), 0);
    } else if (notOpened) {
        writeFile(sys + "/lock", "");
        ASSERT_EQ(chmod((sys + "/lock").c_str(), 0600), 0);
        fail({"open", "--path", "/run/korvane.lock", "--errno", c.lockMode});
    } else if (c.lockMode != nullptr) {
        holder = startUntilStopped(
            {zapisimPath(), "lock", lockSystem, c.lockMode, "--", "/bin/sh", "-c", "kill -STOP $$"},
            file("holder.out"));
    } else {
        fail({c.holder[1], "--signal", std::to_string(SIGSTOP), "--nth", c.holder[2]});
        Lines args = {c.holder[0], "volume", path};
        // A run to be killed goes without the test wrapper: a memory checker killed
        // with it could not sum up, and its log would count as a failure.
        holder = startUntilStopped(c.killed ? Lines{zapisimPath(), "run", sys, "--", korvanePath(),
                                                    args[0], args[1], args[2]}
                                            : korvaneCommand(sys, args),
                                   file("holder.out"));
        fail({"clear"});
    }
    if (c.killed) {
        EXPECT_EQ(endStopped(holder, SIGKILL).signal, SIGKILL);
    }
    std::vector<SimObject> before = showObjects(sys);

    expectedErr = c.err;
    Outcome outcome = run({c.contender, "volume", path});
    EXPECT_EQ(outcome.process.exitStatus, c.status);
    if (c.status == 255) {
        EXPECT_EQ(outcome.process.out,
                  kBanner + (lockError.empty() ? refusal(holder.commandPid)
                                               : "Lock failed, error : " + lockError + "\n"));
        EXPECT_EQ(outcome.requests, Lines{});
        EXPECT_EQ(describe(outcome.objects), describe(before));
        EXPECT_EQ(readFile(path), list);
    } else {
        EXPECT_EQ(outcome.process.out.find("Another korvane run"), std::string::npos);
    }
    struct stat lock {};
    EXPECT_EQ(stat((sys + "/lock").c_str(), &lock), 0);
    EXPECT_EQ(lock.st_mode & 07777, directory ? 0755u : 0600u);
    if (!c.killed && lockError.empty()) {
        // The holder was never disturbed: it goes on to the end of its own run.
        ProcessResult held = endStopped(holder, SIGCONT);
        EXPECT_EQ(held.exitStatus, c.lockMode == nullptr && c.holder[0] == "diff" ? 1 : 0)
            << held.out << held.err;
    }
}

const LockCase kLockCases[] = {
    {"GetRefusedWhileLockedExclusive", "--exclusive", {}, false, false, "get", 255},
    {"DiffRefusedWhileLockedExclusive", "--exclusive", {}, false, false, "diff", 255},
    {"PutRefusedWhileLockedShared", "--shared", {}, false, false, "put", 255},
    // The list it replaces is the one restored: each ID has changed since.
    explained(LockCase{"GetBesideShared", "--shared", {}, false, false, "get", 0},
              "korvane: " + idChanged("Volume \"V1\"", testId(101), testId(1)) +
                  "\nkorvane: " + idChanged("Volume \"V2\"", testId(102), testId(2)) +
                  "\nkorvane: " + idChanged("Volume \"V3\"", testId(103), testId(3)) + "\n"),
    {"PutRefusedWhileGetRuns", nullptr, {"get", "16", "2"}, false, false, "put", 255},
    {"PutRefusedWhilePutRuns", nullptr, {"put", "22", "2"}, false, false, "put", 255},
    {"GetRefusedWhileGetRuns", nullptr, {"get", "16", "1"}, false, false, "get", 255},
    explained(
        LockCase{"DiffRefusedWhileLockIsADirectory", "directory", {}, false, false, "diff", 255},
        LOCK_ERR("Is a directory")),
    explained(LockCase{"GetRefusedWhenNotRoot", "13", {}, false, false, "get", 255},
              LOCK_ERR("Permission denied" AS_ROOT)),
    explained(LockCase{"PutRefusedWhenNotPermitted", "1", {}, false, false, "put", 255},
              LOCK_ERR("Operation not permitted" AS_ROOT)),
    {"DiffBesideGet", nullptr, {"get", "16", "1"}, false, false, "diff", 1},
    {"PutAfterPutKilled", nullptr, {"put", "22", "2"}, true, false, "put", 0},
    {"PutBesideAnotherSystemsLock", "--exclusive", {}, false, true, "put", 0},
};

INSTANTIATE_TEST_SUITE_P(E2E, RunLock, ::testing::ValuesIn(kLockCases),
                         [](const auto& info) { return std::string(info.param.label); });

// A restore after a rebuild, and the nightly backup into the same list file while the
// restore is halfway: the backup is refused and the list, the only place the old IDs
// still exist, stays as it was; the restore then finishes.
TEST_F(EndToEnd, NightlyGetRefusedWhileARestoreRuns)
{
    std::vector<ObjectSpec> rebuilt;
    std::vector<std::pair<std::string, std::string>> original;
    for (unsigned i = 1; i <= 6; ++i) {
        std::string name = "vol" + std::to_string(i);
        rebuilt.push_back({"volume", name, 6, testId(i)});
        original.emplace_back(name, testId(200 + i));
    }
    addAll(rebuilt);
    const std::string path = file("volumes.xml");
    const std::string list = listFile("volume", original);
    writeFile(path, list);
    fail({"22", "--signal", std::to_string(SIGSTOP), "--nth", "4"});
    Stopped restore =
        startUntilStopped(korvaneCommand(sys, {"put", "volume", path}), file("restore.out"));
    fail({"clear"});

    Outcome nightly = run({"get", "volume", path});
    EXPECT_EQ(nightly.process.out, kBanner + refusal(restore.commandPid));
    EXPECT_EQ(nightly.process.exitStatus, 255);
    EXPECT_EQ(nightly.requests, Lines{});
    EXPECT_EQ(readFile(path), list);

    ProcessResult restored = endStopped(restore, SIGCONT);
    EXPECT_EQ(restored.exitStatus, 0) << restored.out;
    EXPECT_EQ(describe(showObjects(sys)), expectedObjects(rebuilt, original));
    EXPECT_EQ(readFile(path), list);
}

}  // namespace
}  // namespace e2e
