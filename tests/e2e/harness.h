// SPDX-License-Identifier: Apache-2.0
// End-to-end harness: runs the real korvane binary under the simulated storage
// system (zapisim) and reads back what happened: standard output and error, the exit
// status, the objects' IDs afterwards and the journal of device requests.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

using Lines = std::vector<std::string>;

inline constexpr const char* kBanner = "KORVANE v1.1 - Modify Pool or Volume GUID\n\n\n";

// Data fed to a child's standard input through a pipe, `piece` bytes at a time with
// `pauseMs` between pieces (piece 0: all at once).
struct StdinFeed {
    std::string data;
    size_t piece = 0;
    int pauseMs = 0;
};

struct ProcessResult {
    int exitStatus = -1;  // exit status, or -1 when the child did not exit normally
    int signal = 0;       // terminating signal, 0 when it exited
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Where a child's standard error goes: a pipe, or a pseudo-terminal that passes its bytes
// unchanged; with `Both`, standard output goes there too, and everything comes back in
// `out`, in the order the terminal got it.
enum class Terminal { None, Err, Both };

// Runs argv[0] (a path) with the arguments; stdin from `feed` or /dev/null. A non-zero
// `addressSpaceLimit` caps the child's address space, so that a run that would read a
// huge file into memory fails fast instead of exhausting the machine.
ProcessResult runProcess(const Lines& argv, const StdinFeed* feed = nullptr,
                         size_t addressSpaceLimit = 0, Terminal terminal = Terminal::None);

struct SimObject {
    std::string kind;  // "pool" or "volume"
    std::string name;
    int state = 0;
    std::string id;
};

struct JournalRequest {
    long op = 0;
    std::string object;  // "root", "pool:NAME", "volume:NAME" or "-"
    std::string result;  // "0", "status=N" or "errno=N"
    std::string key;
    bool hasMask = false;
    uint64_t mask = 0;
    std::vector<uint8_t> block;  // the 208-byte request block
};

struct Journal {
    std::vector<JournalRequest> requests;
    std::vector<long> exits;  // keys still held at each process exit
    Lines held;               // "KEY OBJECT" of each key held at an exit
    Lines unparsed;           // lines of no known shape
};

std::string korvanePath();
std::string zapisimPath();

// A fresh simulated storage system in its own temporary directory ("" on failure).
std::string makeSystem();
void removeTree(const std::string& dir);

// Runs `zapisim SUBCOMMAND DIR ARGS...`; records a test failure when it does not exit 0.
ProcessResult zapisim(const std::string& sub, const std::string& dir, const Lines& args = {});
std::vector<SimObject> showObjects(const std::string& dir);
Journal readJournal(const std::string& dir);

// Runs korvane with the arguments under the simulated system of `dir`, behind the words
// of the environment variable KORVANE_TEST_WRAPPER when it is set.
ProcessResult runKorvane(const std::string& dir, const Lines& args, const StdinFeed* feed = nullptr,
                         size_t addressSpaceLimit = 0, Terminal terminal = Terminal::None);

// The command line of runKorvane.
Lines korvaneCommand(const std::string& dir, const Lines& args);

// A process left in the background, stopped (SIGSTOP) where it holds what a test needs
// held: waiting for the stop is the handshake, no sleep. Its output goes to files.
// Under "zapisim run", the command is a child of zapisim, which stops when it stops.
struct Stopped {
    pid_t pid = -1;
    pid_t commandPid = -1;  // the process that stopped itself: pid, or zapisim run's command
    std::string outPath;
};
// Starts argv[0] (a path) with the arguments and waits until it stops itself; records a
// test failure (pid -1) when it ends instead.
Stopped startUntilStopped(const Lines& argv, const std::string& outPath);
// Sends `signal` to it (SIGCONT: let it go on; SIGKILL: the command) and waits for it to end.
ProcessResult endStopped(const Stopped& process, int signal);

// Why korvane run as `user` would not run under the simulator (it cannot read the
// simulator's library or execute korvane), "" when it would: for GTEST_SKIP.
std::string unreachableBy(uid_t user);

// Runs `/bin/sh -c script` under the simulated system of `dir`, "{korvane}" in the script
// replaced by korvane's path: for redirections and limits that the shell sets up.
ProcessResult runShell(const std::string& dir, const std::string& script);

// Runs `prepare`, then `start` in the background and, once that process sleeps, `stop`
// (such as "kill -TERM $pid"); kills it when it still runs five seconds later. The shell
// prints the exit status of `start`, all of them as runShell runs them.
ProcessResult stopWhenAsleep(const std::string& dir, const std::string& prepare,
                             const std::string& start, const std::string& stop);

// "OP OBJECT RESULT" of each request, in order.
Lines requestSequence(const Journal& journal);

// Records test failures for what must hold after every korvane run: at least one
// process exit journalled and no key left open at any, the information masks of
// the kind of the object, and the bytes a request never carries cleared to zero.
void checkJournalHygiene(const Journal& journal);

// The request sequences of one object handled without failure.
Lines getRequests(const std::string& kind, const std::string& name);
Lines putRequests(const std::string& kind, const std::string& name);
// The sequence of one object whose zGetInfo answered or that was found inactive:
// root, open, get info, then both closes in the road's order.
Lines getInfoStop(const std::string& kind, const std::string& name, const std::string& result);
Lines putInfoStop(const std::string& kind, const std::string& name, const std::string& result);
Lines operator+(Lines a, const Lines& b);

// A distinct, valid 37-character ID text for each n.
std::string testId(unsigned n);
// The ID list file that the writer produces for these name/ID pairs.
std::string listFile(const std::string& kind,
                     const std::vector<std::pair<std::string, std::string>>& pairs);

// Replaces every "{path}" in `text` by `path`.
std::string withPath(std::string text, const std::string& path);
Lines withPath(Lines lines, const std::string& path);

// The line on standard error of a request the storage system refused.
#define REFUSAL(OBJECT, REQUEST, STATUS) \
    "korvane: " OBJECT ": the storage system refused " REQUEST " (status " STATUS ")\n"

// The line on standard error, and in the system log after "korvane[PID]: ", of an object
// whose ID differs from the one in the list get replaced.
std::string idChanged(const std::string& object, const std::string& from, const std::string& to);
// The progress line "korvane: LEAD: N of M" as drawn over itself, and with its blank (two
// columns wider, for the echo of a Ctrl-C).
std::string progress(const std::string& lead, unsigned done, unsigned total);
std::string blanked(const std::string& lead, unsigned done, unsigned total);

// A table row with its lines on standard error, or the system log it must leave (rows
// with members `err` and `log`), or run on a terminal (`terminal`, `err`).
template <class Row>
Row explained(Row row, const std::string& err)
{
    row.err = err;
    return row;
}
template <class Row>
Row logged(Row row, const Lines& log)
{
    row.log = log;
    return row;
}
template <class Row>
Row onTerminal(Row row, Terminal terminal, const std::string& err)
{
    row.terminal = terminal;
    row.err = err;
    return row;
}

std::string readFile(const std::string& path, bool* exists = nullptr);
void writeFile(const std::string& path, const std::string& data);

// The system log lines of the runs against the system, "[PID]" standing for each process
// ID, and none of them left for the next run.
Lines takeSystemLog(const std::string& dir);

// Everything one korvane run left behind.
struct Outcome {
    ProcessResult process;
    Journal journal;
    Lines requests;                  // requestSequence(journal)
    std::vector<SimObject> objects;  // zapisim show afterwards
    Lines log;                       // takeSystemLog
};

// An object to create: kind, name, state, ID text ("" for a random one).
struct ObjectSpec {
    std::string kind;
    std::string name;
    int state = 6;
    std::string id;
};

// The usual small system: active pools P1, P2 (IDs testId(11), testId(12)) and
// active volumes V1, V2, V3 (IDs testId(1) to testId(3)).
std::vector<ObjectSpec> mixedSystem();

// "KIND NAME STATE ID" of each object, for comparing whole systems at once.
Lines describe(const std::vector<SimObject>& objects);
// The objects as `created`, with the IDs of `changes` (name, new ID) applied,
// in the order zapisim show lists them.
Lines expectedObjects(const std::vector<ObjectSpec>& created,
                      const std::vector<std::pair<std::string, std::string>>& changes = {});

// A fresh simulated system per test; `root` also holds the test's files.
class EndToEnd : public ::testing::Test {
   protected:
    void SetUp() override;
    void TearDown() override;

    void add(const ObjectSpec& object);
    void addAll(const std::vector<ObjectSpec>& objects);
    // `zapisim fail DIR ARGS...`
    void fail(const Lines& args);
    // One `zapisim fail` per entry, with "{path}" replaced by `path`.
    void failAll(const std::vector<Lines>& faults, const std::string& path);
    // Runs korvane on a clear journal and system log; afterwards clears the faults, reads the
    // journal, the log and the objects, and checks the journal's hygiene, that standard
    // error holds `expectedErr` (then reset to "") and that diff logs nothing.
    Outcome run(const Lines& args, const StdinFeed* feed = nullptr, size_t addressSpaceLimit = 0);
    std::string expectedErr;
    Terminal terminal = Terminal::None;  // of the next run, then reset
    std::string file(const std::string& name) const
    {
        return root + "/" + name;
    }

    std::string root;
    std::string sys;
};

template <class Param>
class EndToEndP : public EndToEnd, public ::testing::WithParamInterface<Param> {
};

}  // namespace e2e
