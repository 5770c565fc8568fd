// SPDX-License-Identifier: Apache-2.0
// korvane get|put|diff pool|volume FILE: copies the object IDs of every pool or volume
// between the storage system and an ID list file, or shows what a put would change.
// korvane get --keep N pool|volume FILE also keeps the N lists it replaced before;
// korvane put|diff --name NAME ... pool|volume FILE takes only the pairs of those names;
// korvane put --undo UNDOFILE ... writes the IDs the put replaces to UNDOFILE.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "command.h"
#include "file_replace.h"
#include "object_kind.h"
#include "signals.h"

namespace {

void printUsage()
{
    puts("Usage: KORVANE get/put pool/volume <full path of file>");
    puts(
        "  KORVANE will get/put the specified Volume's or Pool's Tavro Object ID "
        "into/from the specified file \n");
}

// 1 when `word` is the option in its long or its short form.
int isOption(const char* word, const char* longForm, const char* shortForm)
{
    return strcmp(word, longForm) == 0 || strcmp(word, shortForm) == 0;
}

// The words of a command line: the direction, its options, the kind and the file.
struct CommandLine_s {
    const char* direction;
    const char* kind;
    const char* path;
    uint32_t keep;                         // --keep N, 0 without it
    const char* names[MOST_FILTER_NAMES];  // of each --name NAME, in order
    uint32_t nameCount;
    const char* undo;  // --undo FILE, null without it
};

constexpr uint32_t MOST_KEPT = 99;

// N of --keep: decimal digits only, 1 to MOST_KEPT. 0 or -1.
int readKeepCount(const char* text, uint32_t* keep)
{
    uint32_t value = 0;
    if (*text == '\0') {
        return -1;
    }
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return -1;
        }
        value = value * 10 + static_cast<uint32_t>(*text - '0');
        if (value > MOST_KEPT) {
            return -1;
        }
    }
    *keep = value;
    return (value == 0) ? -1 : 0;
}

// The value of the option `option` at argv[*next], "--option VALUE" or "--option=VALUE",
// with *next moved past it; null when argv[*next] is not that option or has no value.
const char* optionValue(int argc, char** argv, int* next, const char* option)
{
    const char* word = argv[*next];
    size_t length = strlen(option);
    if (strncmp(word, option, length) != 0) {
        return nullptr;
    }
    if (word[length] == '\0' && *next + 1 < argc) {
        *next += 2;
        return argv[*next - 1];
    }
    if (word[length] == '=') {
        *next += 1;
        return word + length + 1;
    }
    return nullptr;
}

// Options stand between the direction and the kind, --keep and --undo once, --name as often
// as wanted. 0, or -1 when the words are not a command line: the usage is due.
int splitCommandLine(int argc, char** argv, CommandLine_s* line)
{
    *line = {};
    if (argc < 2) {
        return -1;
    }
    line->direction = argv[1];
    int next = 2;
    // The kind and the file are never taken for options.
    while (argc - next > 2 && strncmp(argv[next], "--", 2) == 0) {
        const char* name = optionValue(argc, argv, &next, "--name");
        if (name != nullptr && line->nameCount < MOST_FILTER_NAMES) {
            line->names[line->nameCount++] = name;
            continue;
        }
        const char* undo = (name == nullptr) ? optionValue(argc, argv, &next, "--undo") : nullptr;
        if (undo != nullptr && line->undo == nullptr) {
            line->undo = undo;
            continue;
        }
        const char* count = (name == nullptr && undo == nullptr)
                                ? optionValue(argc, argv, &next, "--keep")
                                : nullptr;
        if (count == nullptr || line->keep != 0 || readKeepCount(count, &line->keep) != 0) {
            return -1;
        }
    }
    if (argc - next != 2) {
        return -1;
    }
    line->kind = argv[next];
    line->path = argv[next + 1];
    return 0;
}

// Like a failed write of the list, standard output that did not take every message fails
// the run; a reader that went away (EPIPE) wanted no more. Stdio keeps only that a write
// failed: its error number is still errno when nothing failed after it, as it is when the
// output fails for good. 0 or -1.
int finishOutput(FILE* output)
{
    int error = errno;
    if (fflush(output) != 0) {
        error = errno;
    } else if (ferror(output) == 0) {
        return 0;
    }
    if (error == EPIPE) {
        return 0;
    }
    (void)fprintf(stderr, "Write to standard output failed, error : %d\n", error);
    return -1;
}

int runCommandLine(int argc, char** argv)
{
    // Line by line, so that no message is lost when the process is killed. diff's report
    // has a line per object and is written in blocks instead: a system call per line
    // would be a noticeable share of its run. Should the C library refuse, output
    // keeps its usual buffering and is still all written at exit.
    bool report = argc >= 4 && strcasecmp(argv[1], "diff") == 0;
    (void)setvbuf(stdout, nullptr, report ? _IOFBF : _IOLBF, BUFSIZ);
    // --help and --version alone are answered without the banner, so that the output
    // is just what was asked for.
    if (argc == 2 && isOption(argv[1], "--help", "-h")) {
        printUsage();
        puts("  get pool|volume FILE   save the IDs of all active pools or volumes in FILE");
        puts("  put pool|volume FILE   give the pools or volumes listed in FILE their IDs back");
        puts("  diff pool|volume FILE  show what put would do with FILE, changing nothing");
        puts("  get --keep N ...       keep the N lists replaced before as FILE.1 to FILE.N");
        puts("  put --name NAME ...    only the pairs named NAME, again for more (diff too)");
        puts("  put --undo FILE ...    keep the IDs put replaces in FILE, not in /var/lib/korvane");
        return 0;
    }
    if (argc == 2 && isOption(argv[1], "--version", "-V")) {
        puts("korvane " KORVANE_VERSION);
        return 0;
    }
    static CommandLine_s line{};
    bool complete = splitCommandLine(argc, argv, &line) == 0;
    // A list written to standard output is all that goes there: the banner and every
    // message go to standard error instead (the C library lets stdout be reassigned),
    // the usage too when the words are no command line. FILE is the last word.
    if (argc >= 3 && strcasecmp(argv[1], "get") == 0 && namesStandardOutput(argv[argc - 1])) {
        stdout = stderr;
    }
    puts("KORVANE v1.1 - Modify Pool or Volume GUID\n\n");

    if (!complete) {
        printUsage();
        return -1;
    }
    const char* direction = line.direction;
    if (strcasecmp(direction, "get") != 0 && strcasecmp(direction, "put") != 0 &&
        strcasecmp(direction, "diff") != 0) {
        puts(
            "Specify 'put' as second argument to insert GUIDs from File to Ostrel "
            "Volumes/Pools ");
        puts(
            "Specify 'get' as second argument to insert GUIDs from Ostrel Volumes/Pools "
            "to File ");
        return -1;
    }
    // Only get replaces a file; get saves every object; only put changes IDs.
    if ((line.keep != 0 && strcasecmp(direction, "get") != 0) ||
        (line.nameCount != 0 && strcasecmp(direction, "get") == 0) ||
        (line.undo != nullptr && strcasecmp(direction, "put") != 0)) {
        printUsage();
        return -1;
    }
    if (strcasecmp(line.kind, "pool") == 0) {
        isPool = 1;
    } else if (strcasecmp(line.kind, "volume") == 0) {
        isPool = 0;
    } else {
        puts("The third argument must either be 'pool' or 'volume'");
        return -1;
    }
    if (checkListFile(direction, line.path, line.keep) != 0) {
        return -1;
    }
    NameFilter_s only = {line.names, line.nameCount};
    return (isPool == 1) ? runPoolCommand(direction, line.path, line.keep, only, line.undo)
                         : runVolumeCommand(direction, line.path, line.keep, only, line.undo);
}

}  // namespace

int main(int argc, char** argv)
{
    // A descriptor left closed would go to the first file opened, the lock file or the
    // list, which would then be read or written as standard input or output.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDWR) != fd) {
            return -1;
        }
    }
    installSignalHandlers();
    FILE* standardOutput = stdout;
    int result = runCommandLine(argc, argv);
    return (finishOutput(standardOutput) != 0) ? -1 : result;
}
