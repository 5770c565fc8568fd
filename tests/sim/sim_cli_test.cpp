// SPDX-License-Identifier: Apache-2.0
// The zapisim command, and programs run under it: persistence across processes,
// every kind of fault, the journal's exit lines, the command's errors.
#include <spawn.h>
#include <sys/wait.h>

#include <cctype>
#include <string>
#include <vector>

#include "sim_system_fixture.h"

extern char** environ;

namespace simtest {
namespace {

using Args = std::vector<std::string>;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program with its output and errors caught in files (no pipe can fill up).
Outcome spawn(const Args& args, const std::string& scratch, const std::string& input = "/dev/null")
{
    std::string outPath = scratch + "/out";
    std::string errPath = scratch + "/err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    Outcome run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = readText(outPath);
    run.err = readText(errPath);
    return run;
}

class CliTest : public ::testing::Test {
   protected:
    void SetUp() override
    {
        scratch = testdir::makeTempDir("zapisim-test");
        ASSERT_FALSE(scratch.empty());
        sys = scratch + "/system";
        ASSERT_EQ(zapisim({"init", sys}).status, 0);
    }

    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(scratch, ignored);
    }

    Outcome zapisim(Args args)
    {
        args.insert(args.begin(), ZAPISIM_BINARY);
        return spawn(args, scratch);
    }

    // zapisim SUBCOMMAND sys ARGS..., which must succeed.
    std::string ok(const std::string& sub, const Args& args = {})
    {
        Args all = {sub, sys};
        all.insert(all.end(), args.begin(), args.end());
        Outcome run = zapisim(all);
        EXPECT_EQ(run.status, 0) << sub << ": " << run.err;
        return run.out;
    }

    // The probe under "zapisim run": one output line per step.
    std::string probe(const Args& steps)
    {
        Args args = {"run", sys, "--", ZAPISIM_PROBE};
        args.insert(args.end(), steps.begin(), steps.end());
        Outcome run = zapisim(args);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }

    std::string scratch;
    std::string sys;
};

const char ID_A[] = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";
const char ID_B[] = "11111111-2222-3333-44-55-666666666666";

TEST_F(CliTest, ShowsObjectsSortedPoolsFirst)
{
    ok("add", {"volume", "vb", "--id", ID_A});
    ok("add", {"pool", "pz", "--state", "3", "--id", ID_B});
    ok("add", {"volume", "Va", "--id", "D4C3B2A1-F6E5-B8A7-C9-DA-EBFC0D1E2F3A"});
    ok("add", {"pool", "p\tq", "--id", ID_A});
    EXPECT_EQ(ok("show"), std::string("pool\tp\\tq\t6\t") + ID_A + "\npool\tpz\t3\t" + ID_B +
                              "\nvolume\tVa\t6\t" + ID_A + "\nvolume\tvb\t6\t" + ID_A + "\n");
    ok("set", {"pool", "pz", "--state", "6"});
    ok("set", {"volume", "vb", "--id", ID_B});
    EXPECT_EQ(ok("show"), std::string("pool\tp\\tq\t6\t") + ID_A + "\npool\tpz\t6\t" + ID_B +
                              "\nvolume\tVa\t6\t" + ID_A + "\nvolume\tvb\t6\t" + ID_B + "\n");
    ok("remove", {"pool", "p\tq"});
    ok("set", {"volume", "vb", "--id", "random"});
    std::string shown = ok("show");
    EXPECT_EQ(shown.substr(0, shown.rfind('\t')),
              std::string("pool\tpz\t6\t") + ID_B + "\nvolume\tVa\t6\t" + ID_A + "\nvolume\tvb\t6");
    ok("set", {"volume", "vb", "--id", "random"});
    EXPECT_NE(ok("show"), shown) << "a fresh ID each time";
}

TEST_F(CliTest, ShowReportsObjectFilesItCannotRead)
{
    ok("add", {"pool", "P1", "--id", ID_A});
    writeText(sys + "/pools/P0", "not an object");
    std::filesystem::create_directory(sys + "/volumes/V\t1");
    Outcome run = zapisim({"show", sys});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, std::string("pool\tP1\t6\t") + ID_A + "\n");
    EXPECT_EQ(run.err,
              "zapisim: cannot read pool P0: not an object file\n"
              "zapisim: cannot read volume V\\t1: Is a directory\n");
}

TEST_F(CliTest, VersionIsTheProjects)
{
    for (const char* word : {"--version", "-V"}) {
        Outcome run = zapisim({word});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out + run.err, "zapisim 1.1.0\n");
    }
}

TEST_F(CliTest, HelpListsTheCommands)
{
    for (const char* word : {"help", "--help", "-h"}) {
        Outcome run = zapisim({word});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out,
                  "zapisim init DIR\n"
                  "zapisim add DIR pool|volume NAME [--state N] [--id ID|random]\n"
                  "zapisim set DIR pool|volume NAME [--state N] [--id ID|random]\n"
                  "zapisim remove DIR pool|volume NAME\n"
                  "zapisim add-many DIR pool|volume COUNT PREFIX [--state N]\n"
                  "zapisim show DIR\n"
                  "zapisim fail DIR (OP (--status N | --errno E | --signal S) [--name NAME]"
                  " | device --errno E"
                  " | opendir|readdir pool|volume --errno E | malloc --size S"
                  " | open --path P --errno E"
                  " | read|write|close|fcntl|fchown|fsync|rename|link --path P"
                  " (--errno E | --signal S))"
                  " [--nth N]"
                  " | zapisim fail DIR power --nth N [--outcome K]"
                  " | zapisim fail DIR clear\n"
                  "zapisim journal DIR [--clear | off | on]\n"
                  "zapisim run DIR -- COMMAND [ARGS...]\n"
                  "zapisim lock DIR --shared|--exclusive -- COMMAND [ARGS...]\n"
                  "zapisim help | zapisim --help | zapisim -h\n");
    }
}

TEST_F(CliTest, AddsManyWithPaddedNamesAndRandomIds)
{
    ok("add-many", {"volume", "3", "vol", "--state", "2"});
    std::string shown = ok("show");
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = shown.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(shown.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        std::string prefix = "volume\tvol00000" + std::to_string(i + 1) + "\t2\t";
        EXPECT_EQ(lines[i].substr(0, prefix.size()), prefix);
        EXPECT_EQ(lines[i].size(), prefix.size() + 37);
    }
    EXPECT_NE(lines[0].substr(lines[0].size() - 37), lines[1].substr(lines[1].size() - 37));
}

struct CommandError {
    Args args;  // after "zapisim"; "SYS" stands for the system directory
    std::string message;
};

TEST_F(CliTest, RefusesBadCommandsWithOneLine)
{
    ok("add", {"pool", "P1"});
    std::string longName(256, 'n');
    const CommandError errors[] = {
        {{"add", "SYS", "pool", "P1"}, "zapisim: pool P1 already exists\n"},
        {{"add", "SYS", "disk", "D1"}, "zapisim: bad kind \"disk\" (pool or volume)\n"},
        {{"add", "SYS", "pool", "a/b"},
         "zapisim: bad name \"a/b\" (1 to 255 bytes, no '/', not . or ..)\n"},
        {{"add", "SYS", "pool", ""},
         "zapisim: bad name \"\" (1 to 255 bytes, no '/', not . or ..)\n"},
        {{"add", "SYS", "pool", ".."},
         "zapisim: bad name \"..\" (1 to 255 bytes, no '/', not . or ..)\n"},
        {{"add", "SYS", "pool", longName},
         "zapisim: bad name \"" + longName + "\" (1 to 255 bytes, no '/', not . or ..)\n"},
        {{"add", "SYS", "pool", "P2", "--id", "d4c3b2a1-f6e5-b8a7-c9da-ebfc0d1e2f3a"},
         "zapisim: bad ID \"d4c3b2a1-f6e5-b8a7-c9da-ebfc0d1e2f3a\" "
         "(xxxxxxxx-xxxx-xxxx-xx-xx-xxxxxxxxxxxx or random)\n"},
        {{"add", "SYS", "pool", "P2", "--state", "-1"}, "zapisim: bad state: \"-1\"\n"},
        {{"set", "SYS", "pool", "P9", "--state", "6"}, "zapisim: no pool named P9\n"},
        {{"remove", "SYS", "volume", "P1"}, "zapisim: no volume named P1\n"},
        {{"set", "SYS", "pool", "P1"}, "zapisim: nothing to set (--state N, --id ID)\n"},
        {{"show", "SYS/pools"},
         "zapisim: SYS/pools: not a simulated storage system (zapisim init makes one)\n"},
        {{"init", "SYS"}, "zapisim: SYS: not empty\n"},
        {{"fail", "SYS", "16", "--status", "5", "--errno", "5"},
         "zapisim: give one of --status N, --errno E and --signal S\n"},
        {{"fail", "SYS", "16", "--status", "0"}, "zapisim: bad status: \"0\"\n"},
        {{"fail", "SYS", "device"}, "zapisim: --errno E is required\n"},
        {{"fail", "SYS", "write", "--errno", "5"}, "zapisim: --path P is required\n"},
        {{"fail", "SYS", "fchown", "--errno", "1", "--signal", "2"},
         "zapisim: give one of --errno E and --signal S\n"},
        {{"fail", "SYS", "malloc", "--nth", "2"}, "zapisim: --size S is required\n"},
        {{"fail", "SYS", "power", "--outcome", "2"}, "zapisim: --nth N is required\n"},
        {{"fail", "SYS", "readdir", "pool", "--errno", "5", "--nth", "0"},
         "zapisim: bad --nth: \"0\"\n"},
        {{"help", "SYS"}, "zapisim: usage: zapisim help | zapisim --help | zapisim -h\n"},
        {{"lock", "SYS", "--read", "--", "true"},
         "zapisim: usage: zapisim lock DIR --shared|--exclusive -- COMMAND [ARGS...]\n"},
        {{},
         "zapisim: usage: zapisim init|add|set|remove|add-many|show|fail|journal|run|lock DIR ... "
         "| zapisim help\n"},
    };
    for (const CommandError& error : errors) {
        Args args;
        std::string message = error.message;
        for (std::string arg : error.args) {
            size_t at = arg.find("SYS");
            if (at != std::string::npos)
                arg.replace(at, 3, sys);
            args.push_back(arg);
        }
        size_t at = message.find("SYS");
        if (at != std::string::npos)
            message.replace(at, 3, sys);
        Outcome run = zapisim(args);
        EXPECT_EQ(run.status, 2) << error.message;
        EXPECT_EQ(run.err, message);
        EXPECT_EQ(run.out, "");
    }
    Outcome unknown = zapisim({"frobnicate", sys});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err,
              "zapisim: unknown command \"frobnicate\" (init, add, set, remove, add-many, show, "
              "fail, journal, run, lock, help)\n");
    Outcome usage = zapisim({"add", sys, "pool", "P3", "--state"});
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.err,
              "zapisim: usage: zapisim add DIR pool|volume NAME [--state N] [--id ID|random]\n");
    EXPECT_EQ(zapisim({"run", sys, ZAPISIM_PROBE}).err,
              "zapisim: usage: zapisim run DIR -- COMMAND [ARGS...]\n");
}

TEST_F(CliTest, ChangesPersistAcrossProcesses)
{
    ok("add", {"pool", "P1", "--id", ID_A});
    EXPECT_EQ(probe({"put", "pool", "P1", ID_B}), std::string("put P1 6 ") + ID_A + " modify ok\n");
    EXPECT_EQ(probe({"get", "pool", "P1"}), std::string("get P1 6 ") + ID_B + "\n");
    EXPECT_EQ(ok("show"), std::string("pool\tP1\t6\t") + ID_B + "\n");
}

TEST_F(CliTest, RunPassesStatusInputAndEnvironment)
{
    Outcome run =
        zapisim({"run", sys, "--", "/bin/sh", "-c", "echo \"$ZAPISIM_ROOT\"; cat; exit 7"});
    EXPECT_EQ(run.status, 7);
    EXPECT_EQ(run.out, sys + "\n");
    EXPECT_EQ(run.err, "");
    writeText(scratch + "/input", "piped\n");
    run = spawn({ZAPISIM_BINARY, "run", sys, "--", "/bin/cat"}, scratch, scratch + "/input");
    EXPECT_EQ(run.out, "piped\n");
    // A signal sent to zapisim reaches the command.
    run = zapisim({"run", sys, "--", "/bin/sh", "-c",
                   "trap 'kill $!; exit 3' TERM; kill $PPID; sleep 9 & wait"});
    EXPECT_EQ(run.status, 3);
    run = zapisim({"run", sys, "--", scratch + "/nothing-here"});
    EXPECT_EQ(run.status, 127);
    // korvane's state folder is the system's, never the machine's.
    run = zapisim({"run", sys, "--", "/bin/sh", "-c",
                   "mkdir -m 700 /var/lib/korvane && echo kept >/var/lib/korvane/list"});
    EXPECT_EQ(readText(sys + "/state/list") + run.err, "kept\n");
    EXPECT_FALSE(std::filesystem::exists("/var/lib/korvane/list"));
    // A program that drops the library (here with the environment) is not passed off as run
    // under the simulator.
    EXPECT_EQ(zapisim({"run", sys, "--", ZAPISIM_PROBE, "_exit", "3"}).status, 3);
    run = zapisim({"run", sys, "--", "/usr/bin/env", "-i", ZAPISIM_PROBE, "device"});
    EXPECT_EQ(run.status, 125);
    EXPECT_EQ(run.err, "zapisim: the command ran without the simulator's library (" +
                           std::filesystem::canonical(ZAPISIM_BINARY).parent_path().string() +
                           "/libzapisim.so); nothing it did was simulated\n");
}

TEST_F(CliTest, JournalEndsEachProcessWithItsHeldKeys)
{
    ok("add", {"volume", "V1"});
    probe({"get", "volume", "V1", "leak", "volume", "V1"});
    std::string journal = ok("journal");
    std::vector<std::string> tail;
    for (size_t start = 0, end; (end = journal.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = journal.substr(start, end - start);
        if (line.rfind("exit\t", 0) == 0 || line.rfind("held\t", 0) == 0)
            tail.push_back(line);
    }
    ASSERT_EQ(tail.size(), 3u) << journal;
    EXPECT_EQ(tail[0], "exit\t2");
    EXPECT_EQ(tail[1].substr(tail[1].rfind('\t')), "\troot");
    EXPECT_EQ(tail[2].substr(tail[2].rfind('\t')), "\tvolume:V1");
    EXPECT_LT(std::stoull(tail[1].substr(5)), std::stoull(tail[2].substr(5)))
        << "in the order they were taken";

    ok("journal", {"--clear"});
    EXPECT_EQ(ok("journal"), "");
    ok("journal", {"off"});
    probe({"get", "volume", "V1"});
    EXPECT_EQ(ok("journal"), "");
    ok("journal", {"on"});
    probe({"get", "volume", "V1"});
    EXPECT_NE(ok("journal").find("exit\t0\n"), std::string::npos);
}

// One fault rule and what the probe sees with it.
struct FaultCase {
    const char* what;
    Args rule;   // after "zapisim fail SYS"; "FILE" stands for the probe's file
    Args steps;  // probe steps; "FILE" likewise
    std::string expected;
};

class Faults : public CliTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, ShowInTheProgram)
{
    const FaultCase& fault = GetParam();
    ok("add", {"pool", "P1", "--id", ID_A});
    ok("add", {"pool", "P2", "--id", ID_B});
    ok("add", {"volume", "V1", "--id", ID_A});
    std::string file = scratch + "/file.txt";
    writeText(file, "hello");
    std::filesystem::create_directory(sys + "/state");
    auto withFile = [&](Args args) {
        for (std::string& arg : args) {
            if (arg == "FILE")
                arg = file;
            if (arg == "TEMP")
                arg = scratch + "/.file.txt.Xy12_z";
        }
        return args;
    };
    ok("fail", withFile(fault.rule));
    EXPECT_EQ(probe(withFile(fault.steps)), fault.expected) << fault.what;
    ok("fail", {"clear"});
    EXPECT_EQ(probe({"get", "pool", "P1"}), std::string("get P1 6 ") + ID_A + "\n") << "cleared";
}

const std::string GET_P1 = std::string("get P1 6 ") + ID_A + "\n";
const std::string GET_P2 = std::string("get P2 6 ") + ID_B + "\n";

const FaultCase FAULTS[] = {
    {"status on every information request",
     {"16", "--status", "4711"},
     {"get", "pool", "P1", "get", "pool", "P2"},
     "get P1 info status=4711\nget P2 info status=4711\n"},
    {"errno on the second open",
     {"23", "--errno", "5", "--nth", "2"},
     {"get", "pool", "P1", "get", "pool", "P2", "get", "pool", "P1"},
     GET_P1 + "get open errno=5\n" + GET_P1},
    {"status for one name only",
     {"16", "--status", "9", "--name", "P2"},
     {"get", "pool", "P1", "get", "pool", "P2"},
     GET_P1 + "get P2 info status=9\n"},
    {"root key refused", {"1000", "--errno", "12"}, {"get", "volume", "V1"}, "get root errno=12\n"},
    {"modify refused",
     {"22", "--status", "20300"},
     {"put", "pool", "P1", ID_B, "get", "pool", "P1"},
     std::string("put P1 6 ") + ID_A + " modify status=20300\n" + GET_P1},
    {"device cannot open",
     {"device", "--errno", "13"},
     {"device", "get", "pool", "P1"},
     "device errno=13\nget device errno=13\n"},
    {"device opens the second time",
     {"device", "--errno", "6", "--nth", "1"},
     {"device", "device"},
     "device errno=6\ndevice ok\n"},
    {"pool directory cannot open",
     {"opendir", "pool", "--errno", "2"},
     {"list", "pool", "list", "volume"},
     "list opendir errno=2\nlist . .. V1\n"},
    {"volume listing breaks at the third entry",
     {"readdir", "volume", "--errno", "5", "--nth", "3"},
     {"list", "volume", "list", "pool"},
     "list . .. readdir errno=5\nlist . .. P1 P2\n"},
    {"allocation of one size",
     {"malloc", "--size", "4242", "--nth", "2"},
     {"malloc", "4242", "malloc", "4242", "calloc", "4242", "malloc", "4243"},
     "malloc ok\nmalloc null errno=12\ncalloc ok\nmalloc ok\n"},
    {"every allocation of one size",
     {"malloc", "--size", "4242"},
     {"calloc", "4242", "malloc", "4242"},
     "calloc null errno=12\nmalloc null errno=12\n"},
    {"file cannot open",
     {"open", "--path", "FILE", "--errno", "13"},
     {"read", "FILE"},
     "read open errno=13\n"},
    {"file read fails",
     {"read", "--path", "FILE", "--errno", "5"},
     {"read", "FILE"},
     "read read errno=5\n"},
    {"second write fails",
     {"write", "--path", "FILE", "--errno", "28", "--nth", "2"},
     {"write", "FILE", "one", "write", "FILE", "two", "read", "FILE"},
     "write ok\nwrite write errno=28\nread \n"},  // the second open truncated it
    {"signal before the second answer",
     {"16", "--signal", "10", "--nth", "2"},
     {"get", "pool", "P1", "get", "pool", "P2"},
     GET_P1 + GET_P2.substr(0, GET_P2.size() - 1) + " signal=10\n"},
    {"write fails on the file's temporary file",
     {"write", "--path", "FILE", "--errno", "27"},
     {"write", "TEMP", "x"},
     "write write errno=27\n"},
    {"signal during the second write",
     {"write", "--path", "FILE", "--signal", "10", "--nth", "2"},
     {"write", "FILE", "one", "write", "FILE", "two", "read", "FILE"},
     "write ok\nwrite ok signal=10\nread two\n"},
    {"rule on korvane's state folder",
     {"write", "--path", "/var/lib/korvane/ids", "--errno", "28"},
     {"write", "/var/lib/korvane/ids", "x"},
     "write write errno=28\n"},
    {"close fails",
     {"close", "--path", "FILE", "--errno", "5"},
     {"write", "FILE", "x", "read", "FILE"},
     "write close errno=5\nread x close errno=5\n"},
};

std::string faultName(const ::testing::TestParamInfo<FaultCase>& info)
{
    std::string name;
    for (const char* p = info.param.what; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cli, Faults, ::testing::ValuesIn(FAULTS), faultName);

TEST_F(CliTest, FaultsAccumulate)
{
    ok("add", {"pool", "P1", "--id", ID_A});
    ok("fail", {"16", "--status", "7", "--nth", "1"});
    ok("fail", {"16", "--errno", "5", "--nth", "2"});
    EXPECT_EQ(probe({"get", "pool", "P1", "get", "pool", "P1", "get", "pool", "P1"}),
              std::string("get P1 info status=7\nget P1 info errno=5\n") + GET_P1);
}

// A faults file with a line that is no rule is refused by the next "zapisim fail", and
// a program run with it stops before it starts.
TEST_F(CliTest, UnreadableFaultsFileStopsTheRun)
{
    std::string manyRules;
    for (int i = 0; i < 65; ++i)
        manyRules += "what=device errno=5\n";
    const std::pair<std::string, std::string> files[] = {
        {"what=device errno=5\nwhat=bogus errno=5\n", " line 2: not a fault rule"},
        {std::string(9000, 'x'), " line 1: too long"},
        {manyRules, " line 65: too many rules"},
        {"", ": Is a directory"},
    };
    std::string faults = sys + "/faults";
    std::string loaded = std::filesystem::canonical(sys).string() + "/faults";
    for (const auto& [content, problem] : files) {
        std::filesystem::remove_all(faults);
        if (content.empty())
            std::filesystem::create_directory(faults);
        else
            writeText(faults, content);
        Outcome fail = zapisim({"fail", sys, "device", "--errno", "5"});
        EXPECT_EQ(fail.status, 2);
        EXPECT_EQ(fail.err, "zapisim: " + faults + problem + "\n");
        Outcome run = zapisim({"run", sys, "--", ZAPISIM_PROBE, "device"});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "zapisim: " + loaded + problem + "\n");
    }
}

// The shell holds the lock for the zapisim it starts, which is refused with the
// shell's process ID.
TEST_F(CliTest, LockInConflictNamesItsHolder)
{
    Outcome run =
        zapisim({"lock", sys, "--exclusive", "--", "/bin/sh", "-c",
                 std::string(ZAPISIM_BINARY) + " lock \"$0\" --shared -- true; echo $$ $?", sys});
    std::string pid = run.out.substr(0, run.out.find(' '));
    EXPECT_EQ(run.out, pid + " 2\n");
    EXPECT_EQ(run.err, "zapisim: " + sys + "/lock: held by process " + pid + "\n");
}

TEST_F(CliTest, WithoutSystemNothingChanges)
{
    // The probe run plainly: no device, no admin directories.
    Outcome run = spawn({ZAPISIM_PROBE, "device", "list", "pool"}, scratch);
    EXPECT_EQ(run.out, "device errno=2\nlist opendir errno=2\n");
}

TEST_F(CliTest, ADirectoryThatIsNoSystemAnswersEveryRequest)
{
    Outcome run = spawn(
        {"/usr/bin/env", "ZAPISIM_ROOT=" + scratch, std::string("LD_PRELOAD=") + ZAPISIM_LIBRARY,
         ZAPISIM_PROBE, "get", "pool", "P1", "list", "pool"},
        scratch);
    EXPECT_EQ(run.out, "get root status=20203\nlist opendir errno=2\n");
}

}  // namespace
}  // namespace simtest
