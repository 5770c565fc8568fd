// SPDX-License-Identifier: Apache-2.0
// Writing a file so that a failure or an interrupt never leaves it half written: a regular
// file (or none yet) is replaced whole, through a temporary file beside it that is synced,
// given the old file's owner and mode and renamed over it, never written in place. The
// replaced file may be kept, the ones kept before moving up by one. Standard output,
// devices, FIFOs and sockets are written in place. Nothing here prints: the caller
// reports, with the error number the record keeps.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

struct OutputFile_s {
    int fd;
    bool standardOutput;  // descriptor 1, shared with the messages: never closed
    bool replacing;       // tempPath is to be renamed over the path
    bool existed;         // the path held a regular file, described by old
    struct stat old;
    int error;  // errno of the call that failed
    char tempPath[PATH_MAX];
};

// What a write or the commit came to. OUTPUT_INTERRUPTED: a termination signal came first;
// nothing is reported and the path is as it was.
enum OutputResult : int { OUTPUT_DONE = 0, OUTPUT_FAILED, OUTPUT_INTERRUPTED };

// True when path names standard output: "-", /dev/stdout, /dev/fd/1 or /proc/self/fd/1.
bool namesStandardOutput(const char* path);
// Opens what path names for writing ("-", /dev/stdout, /dev/fd/1 and /proc/self/fd/1 are
// standard output; a regular file or none gets a temporary file ".NAME.XXXXXX" beside it).
// 0, or -1 with the error in output->error.
int openOutput(OutputFile_s* output, const char* path);
// Writes all `length` bytes, continuing a partial write and repeating an interrupted one.
// On a failure or an interrupt the output is abandoned.
OutputResult writeOutput(OutputFile_s* output, const char* data, size_t length);
// Completes the output: closes it or, for a replacement, gives the temporary file the old
// file's owner and mode (a new file 0644 less the umask), syncs and closes it, renames it
// over path and syncs the directory. A termination signal before the renames abandons it.
// A failure after the rename leaves the new file in place.
// With `keep` (0: none), a replaced regular file whose bytes differ from the new ones is
// first kept as path.1, path.1 to path.(keep-1) moving up by one and the last one dropped;
// *kept says whether it was. Whatever step fails, and wherever the power is cut, path
// holds the old list or the new one and no kept list is lost but the last one (path is
// missing for a moment only on a file system without hard links).
OutputResult commitOutput(OutputFile_s* output, const char* path, uint32_t keep, bool* kept);
// True when path.keep, the last kept list's name, is not too long for path's directory
// (always true without `keep`).
bool keptNameFits(const char* path, uint32_t keep);
// Closes what the output holds and removes the temporary file; the path is untouched.
void abandonOutput(OutputFile_s* output);
