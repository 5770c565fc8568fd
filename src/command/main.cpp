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
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "admin_report.h"
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

// Why words are no command line, beyond their number: the word at fault is pointed at.
enum LineFault : int {
    LINE_COUNT = 0,      // too few or too many words, nothing more to say
    LINE_NOT_AN_OPTION,  // a word like an option that is none
    LINE_KEEP_COUNT,     // the value of --keep
    LINE_KEEP_TWICE,     // a second --keep
    LINE_UNDO_TWICE,     // a second --undo
    LINE_AFTER_KIND      // an option where the kind or the file stands
};

// The words of a command line: the direction, its options, the kind and the file.
struct CommandLine_s {
    const char* direction;
    const char* kind;
    const char* path;
    uint32_t keep;                         // --keep N, 0 without it
    const char* names[MOST_FILTER_NAMES];  // of each --name NAME, in order
    uint32_t nameCount;
    const char* undo;  // --undo FILE, null without it
    LineFault fault;   // when the words are no command line, with the word at fault
    const char* faultWord;
};

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

// 1 when `word` is the option, alone or with "=VALUE".
int isOptionForm(const char* word, const char* option)
{
    size_t length = strlen(option);
    return strncmp(word, option, length) == 0 && (word[length] == '\0' || word[length] == '=');
}

// Notes what is wrong with the words and the word at fault. -1.
int refuseWords(CommandLine_s* line, LineFault fault, const char* word)
{
    line->fault = fault;
    line->faultWord = word;
    return -1;
}

// Words too few or too many: the first that looks like an option ("-" alone is a file) is
// the one at fault when it is none, or an option past the place of the kind, `kindAt`.
void findStrayOption(int argc, char** argv, int kindAt, CommandLine_s* line)
{
    for (int at = (argc == 2) ? 1 : kindAt; at < argc; ++at) {
        const char* word = argv[at];
        if (word[0] != '-' || word[1] == '\0') {
            continue;
        }
        bool known = isOptionForm(word, "--keep") || isOptionForm(word, "--name") ||
                     isOptionForm(word, "--undo");
        if (known && at > kindAt) {
            (void)refuseWords(line, LINE_AFTER_KIND, word);
        } else if (!known) {
            (void)refuseWords(line, LINE_NOT_AN_OPTION, word);
        }
        return;
    }
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
        const char* word = argv[next];
        const char* name = optionValue(argc, argv, &next, "--name");
        if (name != nullptr && line->nameCount < MOST_FILTER_NAMES) {
            line->names[line->nameCount++] = name;
            continue;
        }
        const char* undo = (name == nullptr) ? optionValue(argc, argv, &next, "--undo") : nullptr;
        if (undo != nullptr) {
            if (line->undo != nullptr) {
                return refuseWords(line, LINE_UNDO_TWICE, word);
            }
            line->undo = undo;
            continue;
        }
        const char* count = (name == nullptr) ? optionValue(argc, argv, &next, "--keep") : nullptr;
        if (count == nullptr) {
            return (name == nullptr) ? refuseWords(line, LINE_NOT_AN_OPTION, word) : -1;
        }
        if (line->keep != 0) {
            return refuseWords(line, LINE_KEEP_TWICE, word);
        }
        if (readKeepCount(count, &line->keep) != 0) {
            return refuseWords(line, LINE_KEEP_COUNT, count);
        }
    }
    if (argc - next != 2) {
        findStrayOption(argc, argv, next, line);
        return -1;
    }
    line->kind = argv[next];
    line->path = argv[next + 1];
    return 0;
}

// Points at the word that made the words no command line, beside the usage.
void explainLineFault(const CommandLine_s& line)
{
    switch (line.fault) {
        case LINE_NOT_AN_OPTION:
            explainWord("", line.faultWord, " is not an option");
            break;
        case LINE_KEEP_COUNT:
            static_assert(MOST_KEPT == 99, "the line names the range");
            explainWord("--keep takes a number from 1 to 99, not ", line.faultWord, "");
            break;
        case LINE_KEEP_TWICE:
            explainWord("", line.faultWord, " repeats --keep, which is given once");
            break;
        case LINE_UNDO_TWICE:
            explainWord("", line.faultWord, " repeats --undo, which is given once");
            break;
        case LINE_AFTER_KIND:
            explainWord("", line.faultWord, " comes after the kind: options go before it");
            break;
        case LINE_COUNT:
            break;
    }
}

// Standard output failed with `error`: said on standard error. -1.
int outputFailed(int error)
{
    (void)fprintf(stderr, "Write to standard output failed, error : %d\n", error);
    return -1;
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
    return (error == EPIPE) ? 0 : outputFailed(error);
}

// `closedOutput`: FILE names descriptor 1, which was closed at start ("-", or a name such
// as /dev/stdout that led nowhere then).
// The direction word as a value: the one place it is read as text.
Direction directionOf(const char* word)
{
    return (strcasecmp(word, "get") == 0)    ? DIRECTION_GET
           : (strcasecmp(word, "put") == 0)  ? DIRECTION_PUT
           : (strcasecmp(word, "diff") == 0) ? DIRECTION_DIFF
                                             : DIRECTION_UNKNOWN;
}

int runCommandLine(int argc, char** argv, bool closedOutput)
{
    Direction direction = (argc >= 2) ? directionOf(argv[1]) : DIRECTION_UNKNOWN;
    // Line by line, so that no message is lost when the process is killed. diff's report
    // has a line per object and is written in blocks instead: a system call per line
    // would be a noticeable share of its run. On the terminal of the progress line,
    // messages wait in the buffer until the road has blanked the line, once per object
    // (see startProgress). Should the C library refuse, output keeps its usual buffering
    // and is still all written at exit.
    bool report = argc >= 4 && direction == DIRECTION_DIFF;
    bool progressTerminal = isatty(STDERR_FILENO) != 0;
    bool sharedTerminal = progressTerminal && isatty(STDOUT_FILENO) != 0;
    (void)setvbuf(stdout, nullptr, (report || sharedTerminal) ? _IOFBF : _IOLBF, BUFSIZ);
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
    if (argc >= 3 && direction == DIRECTION_GET && namesStandardOutput(argv[argc - 1])) {
        if (progressTerminal) {
            (void)setvbuf(stderr, nullptr, _IOFBF, BUFSIZ);
        }
        stdout = stderr;
    }
    puts("KORVANE v1.1 - Modify Pool or Volume GUID\n\n");

    if (!complete) {
        printUsage();
        explainLineFault(line);
        return -1;
    }
    if (direction == DIRECTION_UNKNOWN) {
        puts(
            "Specify 'put' as second argument to insert GUIDs from File to Ostrel "
            "Volumes/Pools ");
        puts(
            "Specify 'get' as second argument to insert GUIDs from Ostrel Volumes/Pools "
            "to File ");
        explainWord("", line.direction, " is not a command: get, put or diff");
        return -1;
    }
    // Only get replaces a file; get saves every object; only put changes IDs.
    bool get = direction == DIRECTION_GET;
    if ((line.keep != 0 && !get) || (line.nameCount != 0 && get)) {
        printUsage();
        explainWord("", get ? "--name" : "--keep",
                    get ? " is for put and diff only" : " is for get only");
        return -1;
    }
    if (line.undo != nullptr && direction != DIRECTION_PUT) {
        printUsage();
        explainWord("", "--undo", " is for put only");
        return -1;
    }
    if (strcasecmp(line.kind, "pool") == 0) {
        isPool = 1;
    } else if (strcasecmp(line.kind, "volume") == 0) {
        isPool = 0;
    } else {
        puts("The third argument must either be 'pool' or 'volume'");
        explainWord("", line.kind, " is not a kind: pool or volume");
        return -1;
    }
    // A list for a closed standard output would go to /dev/null, put there in its place,
    // and the run would claim success.
    if (closedOutput && get && namesStandardOutput(line.path)) {
        return outputFailed(EBADF);
    }
    if (checkListFile(direction, line.path, line.keep) != 0) {
        return -1;
    }
    noteListFile(line.path);
    NameFilter_s only = {line.names, line.nameCount};
    return (isPool == 1) ? runPoolCommand(direction, line.path, line.keep, only, line.undo)
                         : runVolumeCommand(direction, line.path, line.keep, only, line.undo);
}

}  // namespace

int main(int argc, char** argv)
{
    // While descriptor 1 is closed, its names lead nowhere; reopened below, they lead to
    // /dev/null. FILE is the last word.
    struct stat file {};
    bool closedOutput = fcntl(STDOUT_FILENO, F_GETFD) < 0 && errno == EBADF && argc > 1 &&
                        (strcmp(argv[argc - 1], "-") == 0 || stat(argv[argc - 1], &file) != 0);
    // A descriptor left closed would go to the first file opened, the lock file or the
    // list, which would then be read or written as standard input or output.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDWR) != fd) {
            return -1;
        }
    }
    installSignalHandlers();
    FILE* standardOutput = stdout;
    int result = runCommandLine(argc, argv, closedOutput);
    return (finishOutput(standardOutput) != 0) ? -1 : result;
}
