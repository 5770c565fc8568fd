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

// Creates ".NAME.XXXXXX" beside path (NAME cut to fit the longest name a directory takes), readable
// by its owner only until it is complete. The descriptor, or -1 with errno.
int createTemporary(const char* path, char* tempPath)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    size_t directory = directoryLength(path);
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
        // A name near the longest a directory takes is shortened in the temporary
        // name, which must still fit with its dot and suffix.
        int nameLength = static_cast<int>(strnlen(path + directory, NAME_MAX - 8));
        int length = snprintf(tempPath, PATH_MAX, "%.*s.%.*s.%s", static_cast<int>(directory), path,
                              nameLength, path + directory, suffix);
        if (length < 0 || length >= PATH_MAX) {
            errno = ENAMETOOLONG;
            return -1;
        }
        int fd = open(tempPath, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

// Opens path for writing in place, following a link only where the caller found one, and
// makes sure that it is the file found: one put there since is never written. A FIFO
// without a reader keeps the open waiting, which a termination signal ends. 0, or -1 with
// errno.
int openFound(OutputFile_s* output, const char* path, bool linked, const struct stat* found)
{
    for (;;) {
        if (enterQuietWait(output->waitLead)) {
            output->interrupted = true;
            return -1;
        }
        output->fd = open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC | (linked ? 0 : O_NOFOLLOW));
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

// Describes what path names, through a descriptor of the node itself: nothing is opened
// for reading or writing, so that neither a FIFO nor a lack of write permission stops the
// look. A final symbolic link is followed once seen (*linked). 1, 0 when nothing is there,
// or -1 with errno (ELOOP for a link to nothing: following it would create its target).
int lookAt(const char* path, struct stat* found, bool* linked)
{
    int node = open(path, O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (node < 0) {
        return (errno == ENOENT) ? 0 : -1;
    }
    int result = fstat(node, found);
    if (result == 0 && S_ISLNK(found->st_mode)) {
        *linked = true;
        (void)close(node);
        node = open(path, O_PATH | O_CLOEXEC);
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
    size_t length = strlen(path);
    // No name to put a temporary file beside.
    if (length == 0 || path[length - 1] == '/') {
        errno = (length == 0) ? ENOENT : EISDIR;
        return -1;
    }
    struct stat found {};
    bool linked = false;
    int look = lookAt(path, &found, &linked);
    if (look < 0) {
        return -1;
    }
    if (look == 1) {
        if (isStandardOutput(&found)) {
            useStandardOutput(output);
            return 0;
        }
        if (isRefused(&found)) {
            output->refused = true;
            return -1;
        }
        // Following a planted link would overwrite its target; only a stream is safe to
        // write through one.
        if (linked && !isStream(found.st_mode)) {
            errno = ELOOP;
            return -1;
        }
        if (!S_ISREG(found.st_mode)) {
            return openFound(output, path, linked, &found);
        }
        output->old = found;
        output->existed = true;
    }
    // A file is never rewritten in place, not even where its directory takes no new
    // file: a failure half way would leave the last good list cut short.
    output->fd = createTemporary(path, output->tempPath);
    if (output->fd < 0) {
        return -1;
    }
    output->replacing = true;
    return 0;
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

// Makes the rename itself last: the directory entry goes to disk too. A directory that
// cannot be opened for reading, or a file system that does not sync directories, is
// left as it is.
int syncDirectory(const char* path)
{
    char directory[PATH_MAX];
    size_t length = directoryLength(path);
    (void)snprintf(directory, sizeof directory, "%.*s", static_cast<int>(length), path);
    int fd = open((length == 0) ? "." : directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    int result = fsync(fd);
    int error = errno;
    close(fd);
    errno = error;
    return (result != 0 && error != EINVAL) ? -1 : 0;
}

// 1 when the files at the two paths hold the same bytes, otherwise 0 (a file that cannot
// be read counts as different: keeping it loses nothing).
int sameContent(const char* first, const char* second)
{
    int fds[2] = {open(first, O_RDONLY | O_CLOEXEC), open(second, O_RDONLY | O_CLOEXEC)};
    struct stat info[2]{};
    int same = fds[0] >= 0 && fds[1] >= 0 && fstat(fds[0], &info[0]) == 0 &&
               fstat(fds[1], &info[1]) == 0 && info[0].st_size == info[1].st_size;
    static char blocks[2][65536];
    while (same == 1) {
        ssize_t length = read(fds[0], blocks[0], sizeof blocks[0]);
        if (length <= 0) {
            same = (length == 0) ? 1 : 0;
            break;
        }
        ssize_t other = 0;
        while (other < length) {
            ssize_t got = read(fds[1], blocks[1] + other, static_cast<size_t>(length - other));
            if (got <= 0) {
                break;
            }
            other += got;
        }
        same = (other == length && memcmp(blocks[0], blocks[1], static_cast<size_t>(length)) == 0);
    }
    for (int fd : fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
    return same;
}

// "path.number" in name; -1 with ENAMETOOLONG when it does not fit.
int numberedName(char* name, const char* path, uint32_t number)
{
    int length = snprintf(name, PATH_MAX, "%s.%u", path, number);
    if (length < 0 || length >= PATH_MAX) {
        errno = ENAMETOOLONG;
        return -1;
    }
    return 0;
}

// True when a failed link says the file system takes no hard links at all.
bool linksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// Moves the kept files up by one, path.(keep-1) over path.keep (dropping it) down to
// path.1 to path.2, a missing one left out, then gives path's file the name path.1 too.
// Every step is whole and loses nothing but the list beyond keep, path itself never
// missing; a failure leaves the files as they were or some steps further. Where the file
// system takes no hard links, path is renamed to path.1 instead and is missing until the
// new file takes its place: *renamed says so. 0, or -1 with errno.
int rotateKeptFiles(const char* path, uint32_t keep, bool* renamed)
{
    char from[PATH_MAX];
    char to[PATH_MAX];
    *renamed = false;
    for (uint32_t number = keep - 1; number >= 1; --number) {
        if (numberedName(from, path, number) != 0 || numberedName(to, path, number + 1) != 0) {
            return -1;
        }
        if (rename(from, to) != 0 && errno != ENOENT) {
            return -1;
        }
    }
    if (numberedName(to, path, 1) != 0) {
        return -1;
    }
    if (link(path, to) == 0) {
        return 0;
    }
    // Keeping one list, path.1 is still there: it is the one to drop.
    if (errno == EEXIST && unlink(to) == 0 && link(path, to) == 0) {
        return 0;
    }
    if (!linksUnsupported(errno)) {
        return -1;
    }
    *renamed = true;
    return rename(path, to);
}

// Undoes the last step of the rotation when the new file could not take path's place:
// path.1, a second name of path, goes, or, where it was renamed, goes back to path.
void restoreRotated(const char* path, bool renamed)
{
    int error = errno;
    char first[PATH_MAX];
    if (numberedName(first, path, 1) == 0) {
        (void)(renamed ? rename(first, path) : unlink(first));
    }
    errno = error;
}

// Closes the output's descriptor. 0, or -1 with errno.
int closeOutput(OutputFile_s* output)
{
    int result = close(output->fd);
    output->fd = -1;
    return result;
}

}  // namespace

bool namesStandardOutput(const char* path)
{
    struct stat file {};
    return strcmp(path, "-") == 0 || (stat(path, &file) == 0 && isStandardOutput(&file));
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
    output->waitLead = waitLead;
    if (openTarget(output, path) != 0) {
        output->error = errno;
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

OutputResult commitOutput(OutputFile_s* output, const char* path, uint32_t keep, bool* kept)
{
    *kept = false;
    if (output->standardOutput) {
        return OUTPUT_DONE;
    }
    if (!output->replacing) {
        return (closeOutput(output) != 0) ? fail(output) : OUTPUT_DONE;
    }
    if (keepOwnerAndMode(output) != 0 || fsync(output->fd) != 0 || closeOutput(output) != 0) {
        return fail(output);
    }
    if (caughtSignal() != 0) {
        abandonOutput(output);
        return OUTPUT_INTERRUPTED;
    }
    // An unchanged file keeps nothing, so that the kept files are all different ones.
    bool keeping = keep != 0 && output->existed && sameContent(path, output->tempPath) == 0;
    bool renamed = false;
    if (keeping && rotateKeptFiles(path, keep, &renamed) != 0) {
        return fail(output);
    }
    if (rename(output->tempPath, path) != 0) {
        if (keeping) {
            restoreRotated(path, renamed);
        }
        return fail(output);
    }
    *kept = keeping;
    if (syncDirectory(path) != 0) {
        output->error = errno;
        return OUTPUT_FAILED;
    }
    return OUTPUT_DONE;
}

void abandonOutput(OutputFile_s* output)
{
    if (output->fd >= 0 && !output->standardOutput) {
        close(output->fd);
    }
    output->fd = -1;
    if (output->replacing) {
        unlink(output->tempPath);
    }
}

bool keptNameFits(const char* path, uint32_t keep)
{
    char name[PATH_MAX];
    if (keep == 0) {
        return true;
    }
    if (numberedName(name, path, keep) != 0) {
        return false;
    }
    size_t directory = directoryLength(path);
    char folder[PATH_MAX];
    (void)snprintf(folder, sizeof folder, "%.*s", static_cast<int>(directory), path);
    // A directory that cannot be asked is judged by the longest name Linux takes anywhere.
    long longest = pathconf((directory == 0) ? "." : folder, _PC_NAME_MAX);
    if (longest <= 0) {
        longest = NAME_MAX;
    }
    return strlen(name + directory) <= static_cast<size_t>(longest);
}
