// SPDX-License-Identifier: Apache-2.0
// Writing a file so that a failure or an interrupt never leaves it half written: a regular
// file (or none yet) is replaced whole, through a temporary file beside it that is synced,
// given the old file's owner and mode and renamed over it, never written in place. The
// replaced file may be kept, the ones kept before moving up by one. Standard output,
// character devices, FIFOs and sockets are written in place; a symbolic link is followed
// only to reach one of those; a block device is refused. The path's directory is opened
// once, and every later step is taken in it, whatever is renamed or linked on the way to
// it meanwhile. What a path names is judged by what is opened there, never by a look
// before the open. Nothing here prints: the caller reports, with the error number the
// record keeps.
#pragma once

#include <limits.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>

// The most lists a replacement keeps.
constexpr uint32_t MOST_KEPT = 99;

// Why a path is refused as output.
enum OutputRefusal : int {
    OUTPUT_ALLOWED = 0,
    OUTPUT_REFUSED_FILE,  // one of the files refuseOutputInto names
    OUTPUT_BLOCK_DEVICE   // a disk or partition, never written over
};

struct OutputFile_s {
    int fd;
    int directory;  // the path's directory (O_PATH), where every step is taken; -1: none
    // The regular file found at the path, open for reading from openOutput to the commit or
    // abandon: what is read of the old file is read through it, never by the name, which
    // may lead elsewhere by then. -1: none, or one the caller may not read.
    int oldFd;
    bool standardOutput;  // descriptor 1, shared with the messages: never closed
    bool replacing;       // tempName is to be renamed over name
    bool existed;         // the path held a regular file, described by old
    struct stat old;
    int sameBytes;  // the new file has the old one's bytes: 1, 0 when not, -1 not compared yet
    int error;      // errno of the call that failed
    OutputRefusal refused;        // the path leads to a file refused as output
    bool interrupted;             // a termination signal came while the open waited
    const char* waitLead;         // what the line of a signal that ends a wait starts with
    char name[NAME_MAX + 1];      // the path's last component
    char tempName[NAME_MAX + 1];  // the temporary file's, in the same directory
};

// What a write or the commit came to. OUTPUT_INTERRUPTED: a termination signal came first;
// nothing is reported and the path is as it was.
enum OutputResult : int { OUTPUT_DONE = 0, OUTPUT_FAILED, OUTPUT_INTERRUPTED };

// True when path is "-" or names the file that descriptor 1 has open (the same device and
// inode), such as /dev/stdout.
bool namesStandardOutput(const char* path);
// Never write output into this file (the same device and inode) nor, when it is a
// character device, into any node of its device number. Holds a few such files.
void refuseOutputInto(const struct stat* file);
// True when the output is, by now, a file refused as output (output->refused then set):
// one refused after it was opened.
bool outputRefusedNow(OutputFile_s* output);
// Opens what path names for writing: "-" and the file descriptor 1 has open are standard
// output; a regular file or none gets a temporary file ".NAME.XXXXXX" beside it, and the
// regular file found is opened for reading too (oldFd), so that it is never opened by its
// name again. An open that waits (a FIFO without a reader) is ended by a termination
// signal: output->interrupted, the signal reported by no one yet; the process ends at once
// if it comes during the wait, with "<waitLead>interrupted by signal N" written. 0, or -1
// with the error in output->error, or output->refused.
int openOutput(OutputFile_s* output, const char* path, const char* waitLead);
// Writes all `length` bytes, continuing a partial write and repeating an interrupted one.
// A write in place that waits ends the process on a termination signal as the open does.
// On a failure or an interrupt the output is abandoned.
OutputResult writeOutput(OutputFile_s* output, const char* data, size_t length);
// True when the whole new file, as written so far, has the bytes of the regular file it
// replaces, read through oldFd (false without one). Compared once; the commit asks again.
bool sameAsOld(OutputFile_s* output);
// Completes the output and closes what it holds: closes it or, for a replacement, gives
// the temporary file the old file's owner and mode (a new file 0644 less the umask), syncs
// and closes it, renames it over the path and syncs the directory. A termination signal
// before the renames abandons it. A failure after the rename leaves the new file in place.
// With `keep` (0: none, at most MOST_KEPT), a replaced regular file whose bytes differ
// from the new ones is kept as path.1, path.1 to path.(keep-1) moving up by one; path.keep
// waits under the first free name path.M beyond keep and is dropped once the new file is
// in place and synced. *kept says whether the old file was kept. A failure before the new
// file is in place leaves path and path.1 to path.keep as they were. Wherever the power is
// cut, path holds the old list or the new one and every list has a name path or path.N,
// but path.keep's once the new list is durable (path is missing for a moment only on a
// file system without hard links).
OutputResult commitOutput(OutputFile_s* output, uint32_t keep, bool* kept);
// True when path.keep, the last kept list's name, is not too long for path's directory
// (always true without `keep`).
bool keptNameFits(const char* path, uint32_t keep);
// Closes what the output holds and removes the temporary file; the path is untouched.
void abandonOutput(OutputFile_s* output);
