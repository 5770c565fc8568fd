// SPDX-License-Identifier: Apache-2.0
// zapisim: creates, changes and shows a simulated storage system, sets its faults,
// reads its journal, runs a program against it with libzapisim.so preloaded, and holds
// its run lock while a program runs.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fault_rules.h"
#include "store.h"

namespace {

constexpr int EXIT_USAGE = 2;
// zapisim run: the command could not be started, or it ran without the library.
constexpr int EXIT_NOT_STARTED = 127;
constexpr int EXIT_NOT_SIMULATED = 125;

// One usage line per command.
const char* const USAGES[][2] = {
    {"init", "zapisim init DIR"},
    {"add", "zapisim add DIR pool|volume NAME [--state N] [--id ID|random]"},
    {"set", "zapisim set DIR pool|volume NAME [--state N] [--id ID|random]"},
    {"remove", "zapisim remove DIR pool|volume NAME"},
    {"add-many", "zapisim add-many DIR pool|volume COUNT PREFIX [--state N]"},
    {"show", "zapisim show DIR"},
    {"fail",
     "zapisim fail DIR (OP (--status N | --errno E | --signal S) [--name NAME]"
     " | device --errno E"
     " | opendir|readdir pool|volume --errno E | malloc --size S"
     " | open --path P --errno E"
     " | read|write|close|fcntl|fchown|fsync|rename|link --path P (--errno E | --signal S))"
     " [--nth N]"
     " | zapisim fail DIR power --nth N [--outcome K]"
     " | zapisim fail DIR clear"},
    {"journal", "zapisim journal DIR [--clear | off | on]"},
    {"run", "zapisim run DIR -- COMMAND [ARGS...]"},
    {"lock", "zapisim lock DIR --shared|--exclusive -- COMMAND [ARGS...]"},
    {"help", "zapisim help | zapisim --help | zapisim -h"},
};

// Every failure of the command: one line on standard error, exit status 2.
[[noreturn]] void fail(const char* format, const char* first = "", const char* second = "")
{
    (void)fputs("zapisim: ", stderr);
    // cppcheck-suppress wrongPrintfScanfArgNum ; formats take up to two %s, extra arguments are
    // ignored
    (void)fprintf(stderr, format, first, second);
    (void)fputc('\n', stderr);
    exit(EXIT_USAGE);
}

// Bad arguments: the usage line of the command, or the list of commands.
[[noreturn]] void usage(const char* command)
{
    for (const auto& entry : USAGES) {
        if (strcmp(entry[0], command) == 0)
            fail("usage: %s", entry[1]);
    }
    fail(
        "unknown command \"%s\" (init, add, set, remove, add-many, show, fail, journal, run, lock, "
        "help)",
        command);
}

// A decimal number without sign within [low, high].
unsigned long long number(const char* text, const char* what, unsigned long long low,
                          unsigned long long high)
{
    char* end = nullptr;
    errno = 0;
    unsigned long long value = text[0] >= '0' && text[0] <= '9' ? strtoull(text, &end, 10) : 0;
    if (end == nullptr || *end != '\0' || errno != 0 || value < low || value > high) {
        fail("bad %s: \"%s\"", what, text);
    }
    return value;
}

int kindArgument(const char* word)
{
    int kind = simKindFromWord(word);
    if (kind == 0)
        fail("bad kind \"%s\" (pool or volume)", word);
    return kind;
}

void nameArgument(const char* name)
{
    if (simCheckName(name) != 0)
        fail("bad name \"%s\" (1 to 255 bytes, no '/', not . or ..)", name);
}

void requireSystem(const char* dir)
{
    if (!simIsSystem(dir))
        fail("%s: not a simulated storage system (zapisim init makes one)", dir);
}

// The options of add and set.
struct ObjectOptions_s {
    bool hasState;
    uint32_t state;
    bool hasId;
    uint8_t id[SIM_ID_SIZE];
};

ObjectOptions_s objectOptions(int argc, char** argv, int first, bool allowId)
{
    ObjectOptions_s options = {};
    for (int i = first; i < argc; i += 2) {
        if (i + 1 >= argc)
            usage(argv[1]);
        if (strcmp(argv[i], "--state") == 0) {
            options.hasState = true;
            options.state = static_cast<uint32_t>(number(argv[i + 1], "state", 0, UINT32_MAX));
        } else if (allowId && strcmp(argv[i], "--id") == 0) {
            options.hasId = true;
            if (strcmp(argv[i + 1], "random") == 0)
                simRandomId(options.id);
            else if (simParseId(argv[i + 1], options.id) != 0)
                fail("bad ID \"%s\" (xxxxxxxx-xxxx-xxxx-xx-xx-xxxxxxxxxxxx or random)",
                     argv[i + 1]);
        } else {
            usage(argv[1]);
        }
    }
    return options;
}

void saveNew(const char* dir, int kind, const char* name, const ObjectOptions_s* options)
{
    static SimObjectFile_s object;
    memcpy(object.magic, SIM_OBJECT_MAGIC, sizeof object.magic);
    object.kind = static_cast<uint32_t>(kind);
    object.reserved = 0;
    uint8_t id[SIM_ID_SIZE];
    if (options->hasId)
        memcpy(id, options->id, sizeof id);
    else
        simRandomId(id);
    simMakeRecord(kind, name, options->hasState ? options->state : SIM_STATE_ACTIVE, id,
                  object.record);
    int error = simSaveObject(dir, kind, name, &object, true);
    if (error == EEXIST)
        fail("%s %s already exists", simKindWord(kind), name);
    if (error != 0)
        fail("cannot add %s: %s", name, strerror(error));
}

int commandInit(int argc, char** argv)
{
    if (argc != 3)
        usage(argv[1]);
    int error = simCreateSystem(argv[2]);
    if (error == ENOTEMPTY)
        fail("%s: not empty", argv[2]);
    if (error != 0)
        fail("cannot create %s: %s", argv[2], strerror(error));
    return 0;
}

// The shared start of add and set: DIR, kind, name and the options after them.
struct ObjectCommand_s {
    const char* dir;
    int kind;
    const char* name;
    ObjectOptions_s options;
};

ObjectCommand_s objectCommand(int argc, char** argv)
{
    if (argc < 5)
        usage(argv[1]);
    requireSystem(argv[2]);
    ObjectCommand_s command = {argv[2], kindArgument(argv[3]), argv[4], {}};
    nameArgument(command.name);
    command.options = objectOptions(argc, argv, 5, true);
    return command;
}

int commandAdd(int argc, char** argv)
{
    ObjectCommand_s command = objectCommand(argc, argv);
    saveNew(command.dir, command.kind, command.name, &command.options);
    return 0;
}

int commandSet(int argc, char** argv)
{
    ObjectCommand_s command = objectCommand(argc, argv);
    const ObjectOptions_s& options = command.options;
    if (!options.hasState && !options.hasId)
        fail("nothing to set (--state N, --id ID)");
    static SimObjectFile_s object;
    int error = simLoadObject(command.dir, command.kind, command.name, &object);
    if (error == ENOENT)
        fail("no %s named %s", simKindWord(command.kind), command.name);
    if (error != 0)
        fail("cannot read %s: %s", command.name, strerror(error));
    if (options.hasState)
        simRecordSetState(command.kind, object.record, options.state);
    if (options.hasId)
        memcpy(object.record + simIdOffset(command.kind), options.id, SIM_ID_SIZE);
    error = simSaveObject(command.dir, command.kind, command.name, &object, false);
    if (error != 0)
        fail("cannot change %s: %s", command.name, strerror(error));
    return 0;
}

int commandRemove(int argc, char** argv)
{
    if (argc != 5)
        usage(argv[1]);
    requireSystem(argv[2]);
    int kind = kindArgument(argv[3]);
    const char* name = argv[4];
    nameArgument(name);
    char path[SIM_PATH_SIZE];
    if (simObjectPath(path, sizeof path, argv[2], kind, name) != 0)
        fail("%s: path too long", argv[2]);
    if (unlink(path) != 0) {
        if (errno == ENOENT)
            fail("no %s named %s", simKindWord(kind), name);
        fail("cannot remove %s: %s", name, strerror(errno));
    }
    return 0;
}

int commandAddMany(int argc, char** argv)
{
    if (argc < 6)
        usage(argv[1]);
    requireSystem(argv[2]);
    int kind = kindArgument(argv[3]);
    unsigned long long count = number(argv[4], "count", 0, 1000000000ull);
    const char* prefix = argv[5];
    ObjectOptions_s options = objectOptions(argc, argv, 6, false);
    int width = snprintf(nullptr, 0, "%llu", count);
    if (width < 6)
        width = 6;
    if (strlen(prefix) + static_cast<size_t>(width) > SIM_NAME_MAX ||
        strchr(prefix, '/') != nullptr) {
        fail("bad prefix \"%s\"", prefix);
    }
    char name[SIM_NAME_MAX + 1];
    for (unsigned long long i = 1; i <= count; ++i) {
        (void)snprintf(name, sizeof name, "%s%0*llu", prefix, width, i);
        saveNew(argv[2], kind, name, &options);
    }
    return 0;
}

// One line per object of the kind; an object file that cannot be read is reported on
// standard error. 0, or 2 when one could not be read.
int showKind(const char* dir, int kind)
{
    SimNameList_s names;
    int error = simListNames(dir, kind, &names);
    if (error != 0)
        fail("cannot list %s: %s", simKindFolder(kind), strerror(error));
    static SimObjectFile_s object;
    char escaped[SIM_ESCAPED_NAME_SIZE];
    char id[SIM_ID_TEXT_SIZE];
    int result = 0;
    for (size_t i = 0; i < names.count; ++i) {
        const char* name = names.bytes + names.offsets[i];
        simEscapeName(name, escaped, sizeof escaped);
        error = simLoadObject(dir, kind, name, &object);
        if (error != 0) {
            (void)fflush(stdout);  // the report follows the objects before it
            (void)fprintf(stderr, "zapisim: cannot read %s %s: %s\n", simKindWord(kind), escaped,
                          error == EINVAL ? "not an object file" : strerror(error));
            result = EXIT_USAGE;
            continue;
        }
        simFormatId(object.record + simIdOffset(kind), id);
        printf("%s\t%s\t%u\t%s\n", simKindWord(kind), escaped, simRecordState(kind, object.record),
               id);
    }
    simFreeNames(&names);
    return result;
}

int commandShow(int argc, char** argv)
{
    if (argc != 3)
        usage(argv[1]);
    requireSystem(argv[2]);
    int pools = showKind(argv[2], SIM_KIND_POOL);
    int volumes = showKind(argv[2], SIM_KIND_VOLUME);
    if (fflush(stdout) != 0)
        return 1;
    return pools != 0 ? pools : volumes;
}

int commandFail(int argc, char** argv)
{
    if (argc < 4)
        usage(argv[1]);
    const char* dir = argv[2];
    requireSystem(dir);
    char path[SIM_PATH_SIZE];
    if (simSystemPath(path, sizeof path, dir, "faults") != 0)
        fail("%s: path too long", dir);
    if (strcmp(argv[3], "clear") == 0) {
        if (argc != 4)
            usage(argv[1]);
        if (unlink(path) != 0 && errno != ENOENT)
            fail("cannot clear %s: %s", path, strerror(errno));
        return 0;
    }
    static SimFaultRule_s rule;
    memset(&rule, 0, sizeof rule);
    int first = 4;
    bool hasSize = false;
    rule.what = simRuleFromWord(argv[3]);
    if (rule.what == SIM_RULE_REQUEST)
        usage(argv[1]);  // "request" is the file's word, not the command's
    if (rule.what == 0) {
        rule.what = SIM_RULE_REQUEST;
        rule.operation = number(argv[3], "operation code", 0, UINT64_MAX);
    }
    if (rule.what == SIM_RULE_OPENDIR || rule.what == SIM_RULE_READDIR) {
        if (argc < 5)
            usage(argv[1]);
        rule.kind = kindArgument(argv[4]);
        first = 5;
    }
    for (int i = first; i < argc; i += 2) {
        if (i + 1 >= argc)
            usage(argv[1]);
        const char* option = argv[i];
        const char* value = argv[i + 1];
        if (strcmp(option, "--status") == 0 && rule.what == SIM_RULE_REQUEST) {
            rule.status = static_cast<int64_t>(number(value, "status", 1, UINT32_MAX));
        } else if (strcmp(option, "--signal") == 0 &&
                   (rule.what == SIM_RULE_REQUEST || rule.what >= SIM_RULE_READ)) {
            rule.signalNumber = static_cast<int>(number(value, "signal", 1, 64));
        } else if (strcmp(option, "--errno") == 0 && rule.what != SIM_RULE_MALLOC &&
                   rule.what != SIM_RULE_POWER) {
            rule.errnoValue = static_cast<int>(number(value, "errno", 1, 4095));
        } else if (strcmp(option, "--name") == 0 && rule.what == SIM_RULE_REQUEST) {
            nameArgument(value);
            rule.hasText = true;
            (void)snprintf(rule.text, sizeof rule.text, "%s", value);
        } else if (strcmp(option, "--path") == 0 && rule.what >= SIM_RULE_OPEN) {
            if (value[0] == '\0' || strlen(value) >= sizeof rule.text)
                fail("bad path \"%s\"", value);
            rule.hasText = true;
            (void)snprintf(rule.text, sizeof rule.text, "%s", value);
        } else if (strcmp(option, "--size") == 0 && rule.what == SIM_RULE_MALLOC) {
            rule.size = number(value, "size", 0, UINT64_MAX);
            hasSize = true;
        } else if (strcmp(option, "--nth") == 0) {
            rule.nth = number(value, "--nth", 1, UINT64_MAX);
        } else if (strcmp(option, "--outcome") == 0 && rule.what == SIM_RULE_POWER) {
            rule.outcome = number(value, "outcome", 0, UINT64_MAX);
        } else {
            usage(argv[1]);
        }
    }
    bool hasStatus = rule.status != 0;
    bool hasErrno = rule.errnoValue != 0;
    bool hasSignal = rule.signalNumber != 0;
    if (rule.what == SIM_RULE_REQUEST && int{hasStatus} + int{hasErrno} + int{hasSignal} != 1)
        fail("give one of --status N, --errno E and --signal S");
    // A call on a descriptor fails or raises a signal; the other calls can only fail.
    if (rule.what >= SIM_RULE_READ) {
        if (int{hasErrno} + int{hasSignal} != 1)
            fail("give one of --errno E and --signal S");
    } else if (rule.what != SIM_RULE_REQUEST && rule.what != SIM_RULE_MALLOC &&
               rule.what != SIM_RULE_POWER && !hasErrno) {
        fail("--errno E is required");
    }
    if (rule.what == SIM_RULE_POWER && rule.nth == 0)
        fail("--nth N is required");
    if (rule.what >= SIM_RULE_OPEN && !rule.hasText)
        fail("--path P is required");
    if (rule.what == SIM_RULE_MALLOC && !hasSize)
        fail("--size S is required");
    // The rules already there must all be readable, or the new one would join a file
    // that no program can use.
    static SimFaultRule_s rules[SIM_MAX_RULES];
    size_t count = 0;
    char problem[SIM_RULES_PROBLEM_SIZE];
    if (simReadRules(path, rules, &count, problem) != 0)
        fail("%s%s", path, problem);
    if (count >= SIM_MAX_RULES)
        fail("too many faults (clear them first)");
    static char line[SIM_RULE_LINE_SIZE];
    if (simFormatRule(&rule, line, sizeof line) != 0)
        fail("fault too long");
    int error = simAppendText(path, line, strlen(line));
    if (error != 0)
        fail("cannot write %s: %s", path, strerror(error));
    return 0;
}

int commandJournal(int argc, char** argv)
{
    if (argc != 3 && argc != 4)
        usage(argv[1]);
    const char* dir = argv[2];
    requireSystem(dir);
    char path[SIM_PATH_SIZE];
    char marker[SIM_PATH_SIZE];
    if (simSystemPath(path, sizeof path, dir, "journal") != 0 ||
        simSystemPath(marker, sizeof marker, dir, "journal-off") != 0) {
        fail("%s: path too long", dir);
    }
    if (argc == 4) {
        if (strcmp(argv[3], "--clear") == 0) {
            int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0)
                fail("cannot clear %s: %s", path, strerror(errno));
            close(fd);
        } else if (strcmp(argv[3], "off") == 0) {
            int error = simAppendText(marker, "", 0);
            if (error != 0)
                fail("cannot write %s: %s", marker, strerror(error));
        } else if (strcmp(argv[3], "on") == 0) {
            if (unlink(marker) != 0 && errno != ENOENT)
                fail("cannot remove %s: %s", marker, strerror(errno));
        } else {
            usage(argv[1]);
        }
        return 0;
    }
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return 0;
        fail("cannot read %s: %s", path, strerror(errno));
    }
    static char buffer[65536];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) {
        if (fwrite(buffer, 1, static_cast<size_t>(got), stdout) != static_cast<size_t>(got))
            break;
    }
    close(fd);
    return fflush(stdout) == 0 && got == 0 ? 0 : 1;
}

// Runs argv[0] with its arguments in place of this process; 127 when it cannot be run.
int execute(char** argv)
{
    execvp(argv[0], argv);
    (void)fprintf(stderr, "zapisim: cannot run %s: %s\n", argv[0], strerror(errno));
    return EXIT_NOT_STARTED;
}

// The process of the command that "zapisim run" waits for.
volatile sig_atomic_t commandPid = 0;

// A signal sent to zapisim goes on to the command. One from the terminal or the kernel
// reached the command's process group, and with it the command, already.
void passOn(int number, siginfo_t* info, void* /*context*/)
{
    if (info->si_code == SI_USER || info->si_code == SI_QUEUE || info->si_code == SI_TKILL)
        (void)kill(commandPid, number);
}

// True while the process is stopped (state T or t in /proc/PID/stat), and when that cannot
// be read.
bool isStopped(pid_t pid)
{
    char path[64];
    (void)snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    char text[512];
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    ssize_t got = fd < 0 ? -1 : read(fd, text, sizeof text - 1);
    if (fd >= 0)
        close(fd);
    text[got > 0 ? got : 0] = '\0';
    const char* name = strrchr(text, ')');  // the state follows the name in parentheses
    return name == nullptr || name[1] == '\0' || name[2] == 'T' || name[2] == 't';
}

// zapisim ends as the command ended, by the same signal (without a core dump of its own).
[[noreturn]] void endBySignal(int number)
{
    struct rlimit none = {0, 0};
    (void)setrlimit(RLIMIT_CORE, &none);
    (void)signal(number, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, number);
    (void)sigprocmask(SIG_UNBLOCK, &set, nullptr);
    (void)kill(getpid(), number);
    exit(128 + number);
}

// The child that becomes the command. The library in the command's process writes 'E' to
// `endFd` as that process ends (the descriptor and the process are named in
// ZAPISIM_RUN_END); this child writes 'X' when the command cannot be started.
[[noreturn]] void startCommand(char** argv, pid_t parent, int endFd)
{
    // The command does not outlive zapisim: killed, zapisim takes it along.
    (void)prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(EXIT_USAGE);
    // Above the descriptors a script is likely to redirect, and kept across exec.
    int fd = fcntl(endFd, F_DUPFD, 100);
    if (fd < 0)
        fd = fcntl(endFd, F_DUPFD, 3);
    char value[64];
    (void)snprintf(value, sizeof value, "%d %d", static_cast<int>(getpid()), fd);
    if (fd >= 0 && setenv("ZAPISIM_RUN_END", value, 1) == 0)
        (void)execute(argv);
    else
        (void)fprintf(stderr, "zapisim: cannot run %s: %s\n", argv[0], strerror(errno));
    char notStarted = 'X';
    ssize_t ignored = write(endFd, &notStarted, 1);
    (void)ignored;
    _exit(EXIT_NOT_STARTED);
}

// Waits for the command, which stops when it stops and goes on when zapisim goes on.
// Returns its wait status.
int waitForCommand(pid_t child, const char* command)
{
    int status = 0;
    for (;;) {
        if (waitpid(child, &status, WUNTRACED) < 0) {
            if (errno == EINTR)
                continue;
            fail("cannot wait for %s: %s", command, strerror(errno));
        }
        if (!WIFSTOPPED(status))
            return status;
        // Not when the command was stopped with zapisim and has gone on with it.
        if (isStopped(child)) {
            (void)kill(getpid(), SIGSTOP);
            (void)kill(child, SIGCONT);
        }
    }
}

int commandRun(int argc, char** argv)
{
    if (argc < 5 || strcmp(argv[3], "--") != 0)
        usage(argv[1]);
    requireSystem(argv[2]);
    static char root[PATH_MAX];
    if (realpath(argv[2], root) == nullptr)
        fail("%s: %s", argv[2], strerror(errno));
    // The library is built next to this program.
    static char library[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", library, sizeof library - 1);
    if (length <= 0)
        fail("cannot find my own path: %s", strerror(errno));
    library[length] = '\0';
    char* slash = strrchr(library, '/');
    if (slash == nullptr ||
        static_cast<size_t>(slash - library) + sizeof "/libzapisim.so" > sizeof library) {
        fail("cannot find libzapisim.so next to %s", library);
    }
    memcpy(slash, "/libzapisim.so", sizeof "/libzapisim.so");
    if (access(library, R_OK) != 0)
        fail("%s: %s", library, strerror(errno));
    if (setenv("ZAPISIM_ROOT", root, 1) != 0 || setenv("LD_PRELOAD", library, 1) != 0) {
        fail("cannot set the environment: %s", strerror(errno));
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0 || fcntl(ends[0], F_SETFL, O_NONBLOCK) != 0)
        fail("cannot make a pipe: %s", strerror(errno));
    // The signals to pass on wait, from before the command starts, until they can be.
    struct sigaction forward = {};
    forward.sa_sigaction = passOn;
    forward.sa_flags = SA_SIGINFO;
    sigemptyset(&forward.sa_mask);
    const int forwarded[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2};
    for (int signalNumber : forwarded)
        sigaddset(&forward.sa_mask, signalNumber);
    sigset_t previous;
    (void)sigprocmask(SIG_BLOCK, &forward.sa_mask, &previous);
    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0)
        fail("cannot start %s: %s", argv[4], strerror(errno));
    if (child == 0) {
        (void)sigprocmask(SIG_SETMASK, &previous, nullptr);
        startCommand(argv + 4, parent, ends[1]);
    }
    close(ends[1]);
    // Only the command reads and writes the run's input and output.
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    commandPid = child;
    for (int signalNumber : forwarded)
        (void)sigaction(signalNumber, &forward, nullptr);
    (void)sigprocmask(SIG_SETMASK, &previous, nullptr);
    int status = waitForCommand(child, argv[4]);
    char said[16];
    ssize_t got = read(ends[0], said, sizeof said);
    size_t count = got > 0 ? static_cast<size_t>(got) : 0;
    if (WIFSIGNALED(status))
        endBySignal(WTERMSIG(status));
    if (memchr(said, 'X', count) != nullptr)
        return EXIT_NOT_STARTED;
    // A process that ended without the library's word never had it: a set-user-ID program,
    // one started with a cleared environment, or a user who cannot read the library.
    if (memchr(said, 'E', count) == nullptr) {
        (void)fprintf(stderr,
                      "zapisim: the command ran without the simulator's library (%s); nothing it "
                      "did was simulated\n",
                      library);
        return EXIT_NOT_SIMULATED;
    }
    return WEXITSTATUS(status);
}

// The system's stand-in for korvane's run lock, taken as korvane takes it (record locks on
// single bytes, never waited for: byte 0, the storage system, shared as by diff, or bytes 0
// and 1, the storage system and the writing of lists, exclusively as by put), then COMMAND
// run in this process: the descriptor stays open across the exec, and with it the lock,
// until COMMAND ends. A conflicting lock is reported with the process that holds it.
int commandLock(int argc, char** argv)
{
    bool exclusive = argc >= 4 && strcmp(argv[3], "--exclusive") == 0;
    if (argc < 6 || (!exclusive && strcmp(argv[3], "--shared") != 0) ||
        strcmp(argv[4], "--") != 0) {
        usage(argv[1]);
    }
    requireSystem(argv[2]);
    char path[SIM_PATH_SIZE];
    if (simSystemPath(path, sizeof path, argv[2], "lock") != 0)
        fail("%s: path too long", argv[2]);
    int fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0600);
    if (fd < 0)
        fail("cannot open %s: %s", path, strerror(errno));
    struct flock wanted = {};
    wanted.l_type = exclusive ? F_WRLCK : F_RDLCK;
    wanted.l_whence = SEEK_SET;
    wanted.l_len = exclusive ? 2 : 1;
    if (fcntl(fd, F_SETLK, &wanted) != 0) {
        int error = errno;
        struct flock holder = wanted;
        if ((error == EACCES || error == EAGAIN) && fcntl(fd, F_GETLK, &holder) == 0 &&
            holder.l_type != F_UNLCK) {
            char pid[32];
            (void)snprintf(pid, sizeof pid, "%d", static_cast<int>(holder.l_pid));
            fail("%s: held by process %s", path, pid);
        }
        fail("cannot lock %s: %s", path, strerror(error));
    }
    // cppcheck-suppress resourceLeak ; the descriptor, and with it the lock, outlives the exec
    return execute(argv + 5);
}

// zapisim help: the usage line of every command, on standard output.
int commandHelp(int argc)
{
    if (argc != 2)
        usage("help");
    for (const auto& entry : USAGES)
        puts(entry[1]);
    return fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        fail(
            "usage: zapisim init|add|set|remove|add-many|show|fail|journal|run|lock DIR ... | "
            "zapisim help");
    const char* command = argv[1];
    // The short options as korvane takes them.
    if (strcmp(command, "help") == 0 || strcmp(command, "--help") == 0 ||
        strcmp(command, "-h") == 0)
        return commandHelp(argc);
    if (argc == 2 && (strcmp(command, "--version") == 0 || strcmp(command, "-V") == 0)) {
        puts("zapisim " ZAPISIM_VERSION);
        return fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc < 3)
        usage(argv[1]);
    if (strcmp(command, "init") == 0)
        return commandInit(argc, argv);
    if (strcmp(command, "add") == 0)
        return commandAdd(argc, argv);
    if (strcmp(command, "set") == 0)
        return commandSet(argc, argv);
    if (strcmp(command, "remove") == 0)
        return commandRemove(argc, argv);
    if (strcmp(command, "add-many") == 0)
        return commandAddMany(argc, argv);
    if (strcmp(command, "show") == 0)
        return commandShow(argc, argv);
    if (strcmp(command, "fail") == 0)
        return commandFail(argc, argv);
    if (strcmp(command, "journal") == 0)
        return commandJournal(argc, argv);
    if (strcmp(command, "run") == 0)
        return commandRun(argc, argv);
    if (strcmp(command, "lock") == 0)
        return commandLock(argc, argv);
    usage(argv[1]);
}
