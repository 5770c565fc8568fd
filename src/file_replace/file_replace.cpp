// SPDX-License-Identifier: Apache-2.0
#include "file_replace.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "signals.h"

namespace {

bool isStream(mode_t mode)
{
    return S_ISCHR(mode) || S_ISFIFO(mode) || S_ISSOCK(mode);
}

// Length of the directory part of path, its final '/' included (0: the current one).
size_t directoryLength(const char* path)
{
    const char* slash = strrchr(path, '/');
    return (slash == nullptr) ? 0 : static_cast<size_t>(slash - path) + 1;
}

// Opens the directory of path (the path as given, links in it followed) where every later
// step is taken, and copies the last component to output->name. 0, or -1 with errno.
int openDirectory(OutputFile_s* output, const char* path)
{
    size_t length = directoryLength(path);
    size_t nameLength = strlen(path + length);
    // No name to put a temporary file beside.
    if (nameLength == 0) {
        errno = (length == 0) ? ENOENT : EISDIR;
        return -1;
    }
    char directory[PATH_MAX];
    if (length >= sizeof directory || nameLength > NAME_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    (void)snprintf(directory, sizeof directory, "%.*s", static_cast<int>(length), path);
    memcpy(output->name, path + length, nameLength + 1);
    output->directory = open((length == 0) ? "." : directory, O_PATH | O_DIRECTORY | O_CLOEXEC);
    return (output->directory < 0) ? -1 : 0;
}

// Creates ".NAME.XXXXXX" in the output's directory (NAME cut to fit the longest name a
// directory takes), readable by its owner only until it is complete, and open for reading
// too, for the comparison of --keep. The descriptor, or -1 with errno.
int createTemporary(OutputFile_s* output)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    timespec now{};
    (void)clock_gettime(CLOCK_REALTIME, &now);
    uint64_t seed = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                    (static_cast<uint64_t>(getpid()) << 12);
    // Another file of the same name is the only reason to try again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[7];
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        uint64_t bits = seed >> 16;
        for (size_t i = 0; i < 6; ++i) {
            suffix[i] = letters[bits % (sizeof letters - 1)];
            bits /= sizeof letters - 1;
        }
        suffix[6] = '\0';
        // A name near the longest a directory takes is shortened in the temporary name,
        // which must still fit with its dot and suffix.
        (void)snprintf(output->tempName, sizeof output->tempName, ".%.*s.%s", NAME_MAX - 8,
                       output->name, suffix);
        int fd = openat(output->directory, output->tempName, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC,
                        0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Files the list must never go into, whatever name leads there.
constexpr size_t MOST_REFUSED = 4;
struct stat refused[MOST_REFUSED];
size_t refusedCount = 0;

bool sameFile(const struct stat* first, const struct stat* second)
{
    return first->st_dev == second->st_dev && first->st_ino == second->st_ino;
}

// The file descriptor 1 has open.
bool isStandardOutput(const struct stat* file)
{
    struct stat standard {};
    return fstat(STDOUT_FILENO, &standard) == 0 && sameFile(file, &standard);
}

// The same file, or another node of the same character device.
bool isRefused(const struct stat* file)
{
    for (size_t i = 0; i < refusedCount; ++i) {
        if (sameFile(file, &refused[i]) || (S_ISCHR(file->st_mode) && S_ISCHR(refused[i].st_mode) &&
                                            file->st_rdev == refused[i].st_rdev)) {
            return true;
        }
    }
    return false;
}

// Opens the output's name for writing in place, following a link only where the caller
// found one, and makes sure that it is the file found: one put there since is never
// written. A FIFO without a reader keeps the open waiting, which a termination signal
// ends. 0, or -1 with errno.
int openFound(OutputFile_s* output, bool linked, const struct stat* found)
{
    for (;;) {
        if (enterQuietWait(output->waitLead)) {
            output->interrupted = true;
            return -1;
        }
        output->fd = openat(output->directory, output->name,
                            O_WRONLY | O_NOCTTY | O_CLOEXEC | (linked ? 0 : O_NOFOLLOW));
        int error = errno;
        leaveWait();
        if (output->fd >= 0) {
            break;
        }
        if (error != EINTR) {
            errno = error;
            return -1;
        }
    }
    struct stat opened {};
    if (fstat(output->fd, &opened) != 0 || !sameFile(&opened, found)) {
        close(output->fd);
        output->fd = -1;
        errno = ELOOP;
        return -1;
    }
    return 0;
}

// Describes what the output's name is, through a descriptor of the node itself: nothing is
// opened for reading or writing, so that neither a FIFO nor a lack of write permission
// stops the look. A final symbolic link is followed once seen (*linked). 1, 0 when nothing
// is there, or -1 with errno (ELOOP for a link to nothing: following it would create its
// target).
int lookAt(const OutputFile_s* output, struct stat* found, bool* linked)
{
    int node = openat(output->directory, output->name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (node < 0) {
        return (errno == ENOENT) ? 0 : -1;
    }
    int result = fstat(node, found);
    if (result == 0 && S_ISLNK(found->st_mode)) {
        *linked = true;
        (void)close(node);
        node = openat(output->directory, output->name, O_PATH | O_CLOEXEC);
        if (node < 0) {
            if (errno == ENOENT) {
                errno = ELOOP;
            }
            return -1;
        }
        result = fstat(node, found);
    }
    int error = errno;
    (void)close(node);
    errno = error;
    return (result == 0) ? 1 : -1;
}

// Opens the regular file found for reading, once: what is later read of the old file is
// read through this descriptor, never by the name, which may lead elsewhere by then. A
// file the caller may not read has none, and counts as different from any new one. 0, or
// -1 with errno (ELOOP when another file has taken the name since the look).
int openOld(OutputFile_s* output)
{
    output->oldFd = openat(output->directory, output->name,
                           O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (output->oldFd < 0) {
        return (errno == EACCES || errno == EPERM) ? 0 : -1;
    }
    struct stat opened {};
    if (fstat(output->oldFd, &opened) != 0 || !sameFile(&opened, &output->old)) {
        errno = ELOOP;
        return -1;
    }
    return 0;
}

void useStandardOutput(OutputFile_s* output)
{
    // The messages so far go before the output.
    (void)fflush(stdout);
    output->fd = STDOUT_FILENO;
    output->standardOutput = true;
}

// openOutput without the error number kept: 0, or -1 with errno. What path names is judged
// by what its opens find, never by a look at the name before an open: between the two,
// something else may be put in its place.
int openTarget(OutputFile_s* output, const char* path)
{
    if (strcmp(path, "-") == 0) {
        useStandardOutput(output);
        return 0;
    }
    if (openDirectory(output, path) != 0) {
        return -1;
    }
    struct stat found {};
    bool linked = false;
    int look = lookAt(output, &found, &linked);
    if (look < 0) {
        return -1;
    }
    if (look == 1) {
        if (isStandardOutput(&found)) {
            useStandardOutput(output);
            return 0;
        }
        if (isRefused(&found) || S_ISBLK(found.st_mode)) {
            output->refused = S_ISBLK(found.st_mode) ? OUTPUT_BLOCK_DEVICE : OUTPUT_REFUSED_FILE;
            return -1;
        }
        // Following a planted link would overwrite its target; only a stream is safe to
        // write through one.
        if (linked && !isStream(found.st_mode)) {
            errno = ELOOP;
            return -1;
        }
        if (!S_ISREG(found.st_mode)) {
            return openFound(output, linked, &found);
        }
        output->old = found;
        output->existed = true;
        if (openOld(output) != 0) {
            return -1;
        }
    }
    // A file is never rewritten in place, not even where its directory takes no new
    // file: a failure half way would leave the last good list cut short.
    output->fd = createTemporary(output);
    if (output->fd < 0) {
        return -1;
    }
    output->replacing = true;
    return 0;
}

// Closes the descriptor if it is open, keeping errno.
void closeQuietly(int* fd)
{
    if (*fd >= 0) {
        int error = errno;
        (void)close(*fd);
        errno = error;
    }
    *fd = -1;
}

// Closes what the output holds, the temporary file left where it is.
void releaseOutput(OutputFile_s* output)
{
    if (!output->standardOutput) {
        closeQuietly(&output->fd);
    }
    output->fd = -1;
    closeQuietly(&output->oldFd);
    closeQuietly(&output->directory);
}

// Keeps the failed call's error number, which the clean-up must not replace, and abandons
// the output.
OutputResult fail(OutputFile_s* output)
{
    output->error = errno;
    abandonOutput(output);
    return OUTPUT_FAILED;
}

// The replaced file's owner (where the caller may set it) and permission bits; a new
// file gets 0644 less the file-creation mask, as the open would give it.
int keepOwnerAndMode(const OutputFile_s* output)
{
    if (!output->existed) {
        mode_t mask = umask(0);
        umask(mask);
        return fchmod(output->fd, 0644 & ~mask);
    }
    if (fchown(output->fd, output->old.st_uid, output->old.st_gid) != 0 && errno != EPERM) {
        return -1;
    }
    return fchmod(output->fd, output->old.st_mode & 07777);
}

// Makes the name changes so far last: the directory's entries go to disk too. A directory
// that cannot be opened for reading, or a file system that does not sync directories, is
// left as it is.
int syncDirectory(const OutputFile_s* output)
{
    int fd = openat(output->directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    int result = fsync(fd);
    int error = errno;
    close(fd);
    errno = error;
    return (result != 0 && error != EINVAL) ? -1 : 0;
}

// Reads up to `length` bytes at `offset`, continuing a partial read: the count read (less
// only at the end of the file), or -1.
ssize_t readAt(int fd, char* buffer, size_t length, off_t offset)
{
    size_t done = 0;
    while (done < length) {
        ssize_t got = pread(fd, buffer + done, length - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return (got < 0) ? -1 : static_cast<ssize_t>(done);
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// True when the old file, through its descriptor, holds the bytes of the new one (a file
// that cannot be read counts as different: keeping it loses nothing).
bool sameContent(const OutputFile_s* output)
{
    struct stat info[2]{};
    if (output->oldFd < 0 || fstat(output->oldFd, &info[0]) != 0 ||
        fstat(output->fd, &info[1]) != 0 || info[0].st_size != info[1].st_size) {
        return false;
    }
    static char blocks[2][65536];
    for (off_t offset = 0;; offset += static_cast<off_t>(sizeof blocks[0])) {
        ssize_t length = readAt(output->oldFd, blocks[0], sizeof blocks[0], offset);
        if (length < 0 || readAt(output->fd, blocks[1], sizeof blocks[1], offset) != length ||
            memcmp(blocks[0], blocks[1], static_cast<size_t>(length)) != 0) {
            return false;
        }
        if (length < static_cast<ssize_t>(sizeof blocks[0])) {
            return true;
        }
    }
}

// "NAME.number" of the output's name (NAME itself for 0) in name; -1 with ENAMETOOLONG
// when it is too long for a directory entry.
int numberedName(char* name, const OutputFile_s* output, uint32_t number)
{
    int length = (number == 0) ? snprintf(name, NAME_MAX + 1, "%s", output->name)
                               : snprintf(name, NAME_MAX + 1, "%s.%u", output->name, number);
    if (length < 0 || length > NAME_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

// Renames NAME.from to NAME.to in the output's directory (0: NAME itself). 0, or -1 with
// errno.
int renameNumbered(const OutputFile_s* output, uint32_t from, uint32_t to)
{
    char fromName[NAME_MAX + 1];
    char toName[NAME_MAX + 1];
    if (numberedName(fromName, output, from) != 0 || numberedName(toName, output, to) != 0) {
        return -1;
    }
    return renameat(output->directory, fromName, output->directory, toName);
}

// True when a failed link says the file system takes no hard links at all.
bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// The steps of moving the kept lists up taken so far, to be undone should the new list not
// take NAME's place.
struct Rotation_s {
    uint32_t keep;
    uint32_t parked;        // NAME.keep, the list to drop, is NAME.parked; 0: there was none
    bool moved[MOST_KEPT];  // NAME.k is NAME.(k+1)
    bool linked;            // NAME.1 is a second name of NAME
    bool renamed;           // NAME is NAME.1 (a file system without hard links)
};

// How many names beyond keep are tried for the list to drop.
constexpr uint32_t MOST_PARKING_TRIES = 1000;

// Gives NAME.keep, the list to drop, the first free name NAME.m beyond keep: until the new
// list is in place, it still has a numbered name. 0, or -1 with errno.
int parkLast(const OutputFile_s* output, Rotation_s* rotation)
{
    char name[NAME_MAX + 1];
    struct stat info {};
    if (numberedName(name, output, rotation->keep) != 0) {
        return -1;
    }
    if (fstatat(output->directory, name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return (errno == ENOENT) ? 0 : -1;
    }
    for (uint32_t number = rotation->keep + 1; number <= rotation->keep + MOST_PARKING_TRIES;
         ++number) {
        if (numberedName(name, output, number) != 0) {
            return -1;
        }
        if (fstatat(output->directory, name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            continue;
        }
        if (errno != ENOENT || renameNumbered(output, rotation->keep, number) != 0) {
            return -1;
        }
        rotation->parked = number;
        return 0;
    }
    errno = EEXIST;
    return -1;
}

// Moves the kept lists up by one: NAME.keep parked, NAME.(keep-1) down to NAME.1 each
// renamed one up (a missing one left out), then NAME's file gets the name NAME.1 too.
// Every step is whole and loses nothing, and is noted for undoRotation. Where the file
// system takes no hard links, NAME is renamed to NAME.1 instead and is missing until the
// new file takes its place. 0, or -1 with errno.
int rotateKeptFiles(const OutputFile_s* output, Rotation_s* rotation)
{
    if (parkLast(output, rotation) != 0) {
        return -1;
    }
    for (uint32_t number = rotation->keep - 1; number >= 1; --number) {
        if (renameNumbered(output, number, number + 1) == 0) {
            rotation->moved[number] = true;
        } else if (errno != ENOENT) {
            return -1;
        }
    }
    char first[NAME_MAX + 1];
    if (numberedName(first, output, 1) != 0) {
        return -1;
    }
    if (linkat(output->directory, output->name, output->directory, first, 0) == 0) {
        rotation->linked = true;
        return 0;
    }
    if (!linksUnsupported(errno) || renameNumbered(output, 0, 1) != 0) {
        return -1;
    }
    rotation->renamed = true;
    return 0;
}

// Undoes the steps of rotateKeptFiles, the latest first, when the new file cannot take
// NAME's place: NAME and NAME.1 to NAME.keep are again what they were. errno is kept.
void undoRotation(const OutputFile_s* output, const Rotation_s* rotation)
{
    int error = errno;
    char first[NAME_MAX + 1];
    if (rotation->linked && numberedName(first, output, 1) == 0) {
        (void)unlinkat(output->directory, first, 0);
    }
    if (rotation->renamed) {
        (void)renameNumbered(output, 1, 0);
    }
    for (uint32_t number = 1; number < rotation->keep; ++number) {
        if (rotation->moved[number]) {
            (void)renameNumbered(output, number + 1, number);
        }
    }
    if (rotation->parked != 0) {
        (void)renameNumbered(output, rotation->parked, rotation->keep);
    }
    (void)syncDirectory(output);
    errno = error;
}

// Drops the parked list, once the new one lasts. 0, or -1 with errno.
int dropParked(const OutputFile_s* output, const Rotation_s* rotation)
{
    char name[NAME_MAX + 1];
    if (rotation->parked == 0) {
        return 0;
    }
    if (numberedName(name, output, rotation->parked) != 0 ||
        unlinkat(output->directory, name, 0) != 0) {
        return -1;
    }
    return syncDirectory(output);
}

// Closes the output's descriptor. 0, or -1 with errno.
int closeOutput(OutputFile_s* output)
{
    int result = close(output->fd);
    output->fd = -1;
    return result;
}

// The temporary file, complete, synced and closed, takes NAME's place, the list kept
// first with `keep`. A failure before the rename leaves every name as it was.
OutputResult replaceFile(OutputFile_s* output, uint32_t keep, bool* kept)
{
    Rotation_s rotation{};
    rotation.keep = keep;
    if (keep != 0 && rotateKeptFiles(output, &rotation) != 0) {
        undoRotation(output, &rotation);
        return fail(output);
    }
    if (renameat(output->directory, output->tempName, output->directory, output->name) != 0) {
        if (keep != 0) {
            undoRotation(output, &rotation);
        }
        return fail(output);
    }
    output->replacing = false;
    *kept = keep != 0;
    if (syncDirectory(output) != 0 || dropParked(output, &rotation) != 0) {
        output->error = errno;
        releaseOutput(output);
        return OUTPUT_FAILED;
    }
    releaseOutput(output);
    return OUTPUT_DONE;
}

}  // namespace

bool namesStandardOutput(const char* path)
{
    struct stat file {};
    return strcmp(path, "-") == 0 || (stat(path, &file) == 0 && isStandardOutput(&file));
}

bool outputRefusedNow(OutputFile_s* output)
{
    struct stat opened {};
    if (fstat(output->fd, &opened) != 0 || !isRefused(&opened)) {
        return false;
    }
    output->refused = OUTPUT_REFUSED_FILE;
    return true;
}

bool sameAsOld(OutputFile_s* output)
{
    if (output->sameBytes < 0) {
        output->sameBytes = (output->replacing && sameContent(output)) ? 1 : 0;
    }
    return output->sameBytes == 1;
}

void refuseOutputInto(const struct stat* file)
{
    if (refusedCount < MOST_REFUSED) {
        refused[refusedCount++] = *file;
    }
}

int openOutput(OutputFile_s* output, const char* path, const char* waitLead)
{
    memset(output, 0, sizeof *output);
    output->fd = -1;
    output->directory = -1;
    output->oldFd = -1;
    output->sameBytes = -1;
    output->waitLead = waitLead;
    if (openTarget(output, path) != 0) {
        output->error = errno;
        releaseOutput(output);
        return -1;
    }
    return 0;
}

OutputResult writeOutput(OutputFile_s* output, const char* data, size_t length)
{
    while (length > 0) {
        if (caughtSignal() != 0) {
            abandonOutput(output);
            return OUTPUT_INTERRUPTED;
        }
        // A pipe or device may keep a write waiting; a temporary file does not, and must
        // never be left behind by a process ended in the wait.
        if (!output->replacing && enterQuietWait(output->waitLead)) {
            abandonOutput(output);
            return OUTPUT_INTERRUPTED;
        }
        ssize_t written = write(output->fd, data, length);
        int error = errno;
        if (!output->replacing) {
            leaveWait();
        }
        errno = error;
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail(output);
        }
        if (written == 0) {
            // No progress and no error: retrying could spin forever.
            errno = EIO;
            return fail(output);
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return OUTPUT_DONE;
}

OutputResult commitOutput(OutputFile_s* output, uint32_t keep, bool* kept)
{
    *kept = false;
    if (!output->replacing) {
        if (!output->standardOutput && closeOutput(output) != 0) {
            return fail(output);
        }
        releaseOutput(output);
        return OUTPUT_DONE;
    }
    if (keepOwnerAndMode(output) != 0 || fsync(output->fd) != 0) {
        return fail(output);
    }
    // An unchanged file keeps nothing, so that the kept files are all different ones.
    bool keeping = keep != 0 && output->existed && !sameAsOld(output);
    if (closeOutput(output) != 0) {
        return fail(output);
    }
    if (caughtSignal() != 0) {
        abandonOutput(output);
        return OUTPUT_INTERRUPTED;
    }
    return replaceFile(output, keeping ? (keep < MOST_KEPT ? keep : MOST_KEPT) : 0, kept);
}

void abandonOutput(OutputFile_s* output)
{
    if (output->replacing) {
        (void)unlinkat(output->directory, output->tempName, 0);
        output->replacing = false;
    }
    releaseOutput(output);
}

bool keptNameFits(const char* path, uint32_t keep)
{
    if (keep == 0) {
        return true;
    }
    size_t directory = directoryLength(path);
    char name[PATH_MAX];
    int length = snprintf(name, sizeof name, "%s.%u", path + directory, keep);
    if (length < 0 || static_cast<size_t>(length) >= sizeof name) {
        return false;
    }
    char folder[PATH_MAX];
    (void)snprintf(folder, sizeof folder, "%.*s", static_cast<int>(directory), path);
    // A directory that cannot be asked is judged by the longest name Linux takes anywhere.
    long longest = pathconf((directory == 0) ? "." : folder, _PC_NAME_MAX);
    if (longest <= 0) {
        longest = NAME_MAX;
    }
    return static_cast<size_t>(length) <= static_cast<size_t>(longest);
}
