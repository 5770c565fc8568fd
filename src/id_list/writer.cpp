// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"

namespace {

constexpr size_t RECORD_BUFFER_SIZE = 4096;

// Copies text (at most `bound` bytes, up to its terminator) to out; the position after it.
char* appendText(char* out, const char* text, size_t bound)
{
    size_t length = strnlen(text, bound);
    memcpy(out, text, length);
    return out + length;
}

// Copies "<element>text</element>" to out, the text bounded by its field; the position
// after it.
char* appendElement(char* out, const char* element, const char* text, size_t bound)
{
    out = appendText(out, "<", RECORD_BUFFER_SIZE);
    out = appendText(out, element, RECORD_BUFFER_SIZE);
    out = appendText(out, ">", RECORD_BUFFER_SIZE);
    out = appendText(out, text, bound);
    out = appendText(out, "</", RECORD_BUFFER_SIZE);
    out = appendText(out, element, RECORD_BUFFER_SIZE);
    return appendText(out, ">", RECORD_BUFFER_SIZE);
}

// One node's record in the cleared buffer: the name element on a line of its own after one
// tab, the ID element after two. Each text is bounded by its field, so the record always
// fits. Returns its length.
size_t buildRecord(char* record, const NameGUIDList_s* node, const ObjectKind_s& kind)
{
    memset(record, 0, RECORD_BUFFER_SIZE);
    char* out = appendText(record, "\t", RECORD_BUFFER_SIZE);
    out = appendElement(out, kind.nameElement, node->name, sizeof node->name);
    out = appendText(out, "\n\t\t", RECORD_BUFFER_SIZE);
    out = appendElement(out, kind.guidElement, node->guidText, sizeof node->guidText);
    out = appendText(out, "\n", RECORD_BUFFER_SIZE);
    return static_cast<size_t>(out - record);
}

// writeAll's result when a termination signal came before a write.
constexpr int WRITE_INTERRUPTED = -2;

// Writes all `length` bytes. A write that stores only part is continued with the rest and
// an interrupted one is repeated, so a success always means the whole piece is in the
// file; normally this is one call. 0, -1 with errno of the failed write, or
// WRITE_INTERRUPTED.
int writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
        if (caughtSignal() != 0) {
            return WRITE_INTERRUPTED;
        }
        ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (written == 0) {
            // No progress and no error: retrying could spin forever.
            errno = EIO;
            return -1;
        }
        data += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

// Where the list goes. A regular file (or none yet) is replaced whole: the list is
// written to a temporary file beside it, which is renamed over it once complete.
// Standard output, devices, FIFOs and sockets are written in place.
struct ListTarget_s {
    int fd;
    bool standardOutput;  // descriptor 1, shared with the messages: never closed
    bool replacing;       // tempPath is to be renamed over the path
    bool existed;         // the path held a regular file, described by old
    struct stat old;
    char tempPath[PATH_MAX];
};

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

int openInPlace(ListTarget_s* target, const char* path)
{
    target->fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return (target->fd >= 0) ? 0 : -1;
}

// Opens what the list is written to. 0, or -1 with errno.
int openTarget(ListTarget_s* target, const char* path)
{
    memset(target, 0, sizeof *target);
    if (namesStandardOutput(path)) {
        // The messages so far go before the list.
        (void)fflush(stdout);
        target->fd = STDOUT_FILENO;
        target->standardOutput = true;
        return 0;
    }
    size_t length = strlen(path);
    // No name to put a temporary file beside: the open says what is wrong.
    if (length == 0 || path[length - 1] == '/') {
        return openInPlace(target, path);
    }
    if (lstat(path, &target->old) == 0) {
        if (S_ISLNK(target->old.st_mode)) {
            // Following a planted link would overwrite its target; only a stream is
            // safe to write through one.
            struct stat linked {};
            if (stat(path, &linked) != 0 || !isStream(linked.st_mode)) {
                errno = ELOOP;
                return -1;
            }
            return openInPlace(target, path);
        }
        if (!S_ISREG(target->old.st_mode)) {
            return openInPlace(target, path);
        }
        target->existed = true;
    } else if (errno != ENOENT) {
        return -1;
    }
    // A file is never rewritten in place, not even where its directory takes no new
    // file: a failure half way would leave the last good list cut short.
    target->fd = createTemporary(path, target->tempPath);
    if (target->fd < 0) {
        return -1;
    }
    target->replacing = true;
    return 0;
}

// Closes what the target holds and removes the temporary file; the path is untouched.
void abandon(ListTarget_s* target)
{
    if (target->fd >= 0 && !target->standardOutput) {
        close(target->fd);
    }
    target->fd = -1;
    if (target->replacing) {
        unlink(target->tempPath);
    }
}

// Reports a failed write with that write's own error number, which the close must not
// replace, and abandons the target. An interruption is reported by the caller.
int failWrite(ListTarget_s* target, int result, const char* what)
{
    int error = errno;
    abandon(target);
    if (result != WRITE_INTERRUPTED) {
        printf("%s, ccode = %d, error = %d\n", what, -1, error);
    }
    return -1;
}

// Reports a failure of the calls that complete the file, as the close failing.
int failClose(ListTarget_s* target, int result)
{
    int error = errno;
    abandon(target);
    printf("close failed, ccode = %d, error = %d\n", result, error);
    return -1;
}

// The replaced file's owner (where the caller may set it) and permission bits; a new
// file gets 0644 less the file-creation mask, as the open would give it.
int keepOwnerAndMode(const ListTarget_s* target)
{
    if (!target->existed) {
        mode_t mask = umask(0);
        umask(mask);
        return fchmod(target->fd, 0644 & ~mask);
    }
    if (fchown(target->fd, target->old.st_uid, target->old.st_gid) != 0 && errno != EPERM) {
        return -1;
    }
    return fchmod(target->fd, target->old.st_mode & 07777);
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

// Moves the kept lists up by one, path.(keep-1) over path.keep (dropping it) down to
// path.1 to path.2, a missing one left out, then path itself to path.1. Renames keep
// each file's mode and owner. Each step is whole: a failure leaves the files as they
// were or some steps further, path itself in place. 0, or -1 with errno.
int rotateKeptLists(const char* path, uint32_t keep)
{
    char from[PATH_MAX];
    char to[PATH_MAX];
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
    return rename(path, to);
}

// Completes the written list: closes it, or for a replacement gives the temporary file
// the old file's owner and mode, syncs it, closes it, keeps the old file when asked to and
// renames the temporary file over the path.
int finishTarget(ListTarget_s* target, const char* path, uint32_t keep, bool* kept)
{
    if (target->standardOutput) {
        return 0;
    }
    if (!target->replacing) {
        int result = close(target->fd);
        target->fd = -1;
        return (result != 0) ? failClose(target, result) : 0;
    }
    int result = keepOwnerAndMode(target);
    if (result == 0) {
        result = fsync(target->fd);
    }
    if (result != 0) {
        return failClose(target, result);
    }
    result = close(target->fd);
    target->fd = -1;
    if (result != 0) {
        return failClose(target, result);
    }
    if (caughtSignal() != 0) {
        abandon(target);
        return -1;
    }
    // An unchanged list keeps nothing, so that the kept lists are all different ones.
    bool keeping = keep != 0 && target->existed && sameContent(path, target->tempPath) == 0;
    if (keeping && rotateKeptLists(path, keep) != 0) {
        return failClose(target, -1);
    }
    if (rename(target->tempPath, path) != 0) {
        int error = errno;
        if (keeping) {
            // The old list goes back where it was, so that the path is never left empty.
            char first[PATH_MAX];
            (void)numberedName(first, path, 1);
            (void)rename(first, path);
        }
        errno = error;
        return failClose(target, -1);
    }
    *kept = keeping;
    if (syncDirectory(path) != 0) {
        printf("close failed, ccode = %d, error = %d\n", -1, errno);
        return -1;
    }
    return 0;
}

// Header, records and trailer into the open target, then the target completed.
int writeList(ListTarget_s* target, const char* path, uint32_t keep, bool* kept)
{
    const ObjectKind_s& kind = objectKind();
    char header[64];
    char trailer[64];
    (void)snprintf(header, sizeof header, "<%s>\n", kind.rootElement);
    (void)snprintf(trailer, sizeof trailer, "</%s>", kind.rootElement);
    int result = writeAll(target->fd, header, strlen(header));
    if (result != 0) {
        return failWrite(target, result, "1:Write failed");
    }

    char record[RECORD_BUFFER_SIZE];
    while (listHead != nullptr) {
        size_t length = buildRecord(record, listHead, kind);
        // The node is done with once its record is built; a failed write loses it.
        free(takeFirstNode());
        result = writeAll(target->fd, record, length);
        if (result != 0) {
            return failWrite(target, result, "2:Write failed");
        }
    }

    result = writeAll(target->fd, trailer, strlen(trailer));
    if (result != 0) {
        return failWrite(target, result, "3:write failed");
    }
    return finishTarget(target, path, keep, kept);
}

}  // namespace

bool namesStandardOutput(const char* path)
{
    return strcmp(path, "-") == 0 || strcmp(path, "/dev/stdout") == 0 ||
           strcmp(path, "/dev/fd/1") == 0 || strcmp(path, "/proc/self/fd/1") == 0;
}

int writeGUIDToFile(const char* path, uint32_t keep, bool* kept)
{
    *kept = false;
    if (listHead == nullptr) {
        puts("List is empty, There are no Volumes");
        return -1;
    }
    static ListTarget_s target;
    if (openTarget(&target, path) != 0) {
        printf("Open failed, error : %d\n", errno);
        return -1;
    }
    // A file-size limit then fails the write with EFBIG, reported like any failed write,
    // instead of ending the process with the temporary file left behind.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)sigaction(SIGXFSZ, &ignore, &previous);
    int result = writeList(&target, path, keep, kept);
    (void)sigaction(SIGXFSZ, &previous, nullptr);
    return result;
}
