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

bool namesStandardOutput(const char* path)
{
    return strcmp(path, "-") == 0 || strcmp(path, "/dev/stdout") == 0 ||
           strcmp(path, "/dev/fd/1") == 0 || strcmp(path, "/proc/self/fd/1") == 0;
}

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

int openInPlace(OutputFile_s* output, const char* path)
{
    output->fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    return (output->fd >= 0) ? 0 : -1;
}

// openOutput without the error number kept: 0, or -1 with errno.
int openTarget(OutputFile_s* output, const char* path)
{
    if (namesStandardOutput(path)) {
        // The messages so far go before the output.
        (void)fflush(stdout);
        output->fd = STDOUT_FILENO;
        output->standardOutput = true;
        return 0;
    }
    size_t length = strlen(path);
    // No name to put a temporary file beside: the open says what is wrong.
    if (length == 0 || path[length - 1] == '/') {
        return openInPlace(output, path);
    }
    if (lstat(path, &output->old) == 0) {
        if (S_ISLNK(output->old.st_mode)) {
            // Following a planted link would overwrite its target; only a stream is
            // safe to write through one.
            struct stat linked {};
            if (stat(path, &linked) != 0 || !isStream(linked.st_mode)) {
                errno = ELOOP;
                return -1;
            }
            return openInPlace(output, path);
        }
        if (!S_ISREG(output->old.st_mode)) {
            return openInPlace(output, path);
        }
        output->existed = true;
    } else if (errno != ENOENT) {
        return openInPlace(output, path);
    }
    output->fd = createTemporary(path, output->tempPath);
    if (output->fd >= 0) {
        output->replacing = true;
        return 0;
    }
    // A directory that takes no new file still lets an existing file be rewritten.
    if (output->existed && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        return openInPlace(output, path);
    }
    return -1;
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

// Closes the output's descriptor. 0, or -1 with errno.
int closeOutput(OutputFile_s* output)
{
    int result = close(output->fd);
    output->fd = -1;
    return result;
}

}  // namespace

int openOutput(OutputFile_s* output, const char* path)
{
    memset(output, 0, sizeof *output);
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
        ssize_t written = write(output->fd, data, length);
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

OutputResult commitOutput(OutputFile_s* output, const char* path)
{
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
    if (rename(output->tempPath, path) != 0) {
        return fail(output);
    }
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
