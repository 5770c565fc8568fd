// SPDX-License-Identifier: Apache-2.0
// The pool and volume commands: one road per run, then the success line of the kind
// (none for diff).
#include <string.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>

#include "admin_report.h"
#include "command.h"
#include "file_replace.h"
#include "run_lock.h"
#include "workflows.h"

namespace {

// get: storage system to file, then the closing line; put: file to storage system, then
// the success line. The road reports its own failures. diff has no success line: its
// summary and its exit status say it all.
CommandResult runCommand(const ObjectKind_s& kind, Direction direction, const char* path,
                         uint32_t keep, const NameFilter_s& only, const char* undo)
{
    // Before any request or file change; put alone, get and diff side by side, one get at
    // a time.
    RunLockMode lockMode = (direction == DIRECTION_PUT)   ? RUN_LOCK_SYSTEM_WRITER
                           : (direction == DIRECTION_GET) ? RUN_LOCK_LIST_WRITER
                                                          : RUN_LOCK_READER;
    if (takeRunLock(lockMode) != 0) {
        return COMMAND_FAILED;
    }
    // A list written into the lock file would close a descriptor of it, and so drop the
    // lock.
    struct stat lock {};
    if (fstat(runLockFd(), &lock) == 0) {
        refuseOutputInto(&lock);
    }
    if (undo != nullptr && checkUndoFile(undo) != 0) {
        return COMMAND_FAILED;
    }
    if (direction == DIRECTION_DIFF) {
        DiffResult result = diffList(kind, path, only);
        return (result == DIFF_SAME)      ? COMMAND_DONE
               : (result == DIFF_CHANGES) ? COMMAND_PARTIAL
                                          : COMMAND_FAILED;
    }
    if (direction == DIRECTION_GET) {
        uint32_t unsaved = 0;
        bool kept = false;
        GetResult result = getName(kind, path, keep, &unsaved, &kept);
        if (result == GET_FAILED) {
            return COMMAND_FAILED;
        }
        if (result == GET_INCOMPLETE) {
            // "1 pool", "2 pools": the counted word drops its plural "s" for one.
            int wordLength = static_cast<int>(strlen(kind.countedWord)) - (unsaved == 1 ? 1 : 0);
            printf("%sUpdated the file \"%s\" with %s GUID List, but %u %.*s could not be saved\n",
                   kind.successLead, shown(path).text, kind.word, unsaved, wordLength,
                   kind.countedWord);
        } else {
            printf("%sSuccessfully updated the file \"%s\" with %s GUID List\n", kind.successLead,
                   shown(path).text, kind.word);
        }
        if (kept) {
            printf("The previous list is kept as \"%s.1\"\n", shown(path).text);
        }
        return (result == GET_INCOMPLETE) ? COMMAND_PARTIAL : COMMAND_DONE;
    }
    if (putList(kind, path, only, undo) != 0) {
        return COMMAND_FAILED;
    }
    printf("%sSuccessfully updated from file \"%s\" to the %s's GUID\n", kind.successLead,
           shown(path).text, kind.word);
    return COMMAND_DONE;
}

}  // namespace

CommandResult runPoolCommand(Direction direction, const char* path, uint32_t keep,
                             const NameFilter_s& only, const char* undo)
{
    return runCommand(POOL_KIND, direction, path, keep, only, undo);
}

CommandResult runVolumeCommand(Direction direction, const char* path, uint32_t keep,
                               const NameFilter_s& only, const char* undo)
{
    return runCommand(VOLUME_KIND, direction, path, keep, only, undo);
}
