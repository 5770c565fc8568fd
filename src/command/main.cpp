// SPDX-License-Identifier: Apache-2.0
// korvane get|put|diff pool|volume FILE: copies the object IDs of every pool or volume
// between the storage system and an ID list file, or shows what a put would change.
#include <string.h>
#include <strings.h>

#include <cstdio>

#include "command.h"
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

}  // namespace

int main(int argc, char** argv)
{
    installSignalHandlers();
    // Line by line, so that no message is lost when the process is killed. diff's report
    // has a line per object and is written in blocks instead: a system call per line
    // would be a noticeable share of its run. Should the C library refuse, output
    // keeps its usual buffering and is still all written at exit.
    bool report = argc == 4 && strcasecmp(argv[1], "diff") == 0;
    (void)setvbuf(stdout, nullptr, report ? _IOFBF : _IOLBF, BUFSIZ);
    // --help and --version alone are answered without the banner, so that the output
    // is just what was asked for.
    if (argc == 2 && isOption(argv[1], "--help", "-h")) {
        printUsage();
        puts("  get pool|volume FILE   save the IDs of all active pools or volumes in FILE");
        puts("  put pool|volume FILE   give the pools or volumes listed in FILE their IDs back");
        puts("  diff pool|volume FILE  show what put would do with FILE, changing nothing");
        return 0;
    }
    if (argc == 2 && isOption(argv[1], "--version", "-V")) {
        puts("korvane " KORVANE_VERSION);
        return 0;
    }
    puts("KORVANE v1.1 - Modify Pool or Volume GUID\n\n");

    if (argc != 4) {
        printUsage();
        return -1;
    }
    const char* direction = argv[1];
    const char* kind = argv[2];
    const char* path = argv[3];
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
    if (strcasecmp(kind, "pool") == 0) {
        isPool = 1;
        return runPoolCommand(direction, path);
    }
    if (strcasecmp(kind, "volume") == 0) {
        isPool = 0;
        return runVolumeCommand(direction, path);
    }
    puts("The third argument must either be 'pool' or 'volume'");
    return -1;
}
