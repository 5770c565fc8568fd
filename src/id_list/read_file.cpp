// SPDX-License-Identifier: Apache-2.0
// Reading an ID list file whole into memory, however it arrives: a regular file, a FIFO, a
// pipe or a terminal, with a signal able to end the wait.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"
#include "id_list.h"
#include "listed_twice.h"
#include "signals.h"

namespace {

// The read buffer's first size, and the largest single read.
constexpr size_t READ_CHUNK = 4096;
// The byte count is 32-bit: a file of 4 GiB or more cannot be counted.
constexpr uint64_t MAX_FILE_BYTES = UINT32_MAX;
// What a signal while the file is awaited prints before the run ends.
const char WAIT_LEAD[] = "readGUIDFromFile: ";

void reportTooLarge(const char* path)
{
    printf("readGUIDFromFile: file %s is too large\n", shown(path).text);
}

// Reads fd to its end into *buffer (room for *capacity file bytes and a zero), growing
// it as needed, and leaves a zero after the data. Only a read of 0 bytes is the end: a
// pipe or a terminal may deliver less than asked long before it. A termination signal
// ends the run, so that one waiting on a pipe or a terminal can be stopped; any other
// interrupted read is repeated. Reports its own failures. 0 or -1; *buffer is the caller's
// to release either way.
int readToEnd(int fd, const char* path, char** buffer, size_t* capacity, uint64_t* count)
{
    struct stat status;
    if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        static_cast<uint64_t>(status.st_size) > MAX_FILE_BYTES) {
        reportTooLarge(path);
        return -1;
    }

    *count = 0;
    (*buffer)[0] = '\0';
    for (;;) {
        if (*count == *capacity) {
            // Doubling keeps a large file linear: growing by one chunk at a time would
            // move the buffer over and over. Never more than one byte beyond what the
            // count can hold.
            size_t grown = *capacity * 2;
            if (grown > MAX_FILE_BYTES + 1) {
                grown = MAX_FILE_BYTES + 1;
            }
            char* larger = static_cast<char*>(realloc(*buffer, grown + 1));
            if (larger == nullptr) {
                puts("Malloc : Failed to allocate Main Read Buffer");
                return -1;
            }
            *buffer = larger;
            *capacity = grown;
        }
        if (enterWait(WAIT_LEAD)) {
            return -1;
        }
        size_t room = *capacity - *count;
        ssize_t bytesRead = read(fd, *buffer + *count, (room < READ_CHUNK) ? room : READ_CHUNK);
        int readError = errno;
        leaveWait();
        if (bytesRead < 0) {
            if (readError == EINTR) {
                continue;
            }
            printf("Read failed, bytes = %d, error = %d\n", -1, readError);
            explainFileFailure(path, readError);
            return -1;
        }
        if (bytesRead == 0) {
            return 0;
        }
        *count += static_cast<uint64_t>(bytesRead);
        (*buffer)[*count] = '\0';
        if (*count > MAX_FILE_BYTES) {
            reportTooLarge(path);
            return -1;
        }
    }
}

// Opens path to read it. Only a termination signal ends the wait for a FIFO that no writer
// has opened, and the run with it; any other interrupted open is repeated. The descriptor,
// or -1 (reported).
int openToRead(const char* path)
{
    for (;;) {
        if (enterWait(WAIT_LEAD)) {
            return -1;
        }
        int fd = open(path, O_RDONLY);
        int openError = errno;
        leaveWait();
        if (fd >= 0 || openError != EINTR) {
            if (fd < 0) {
                printf("readGUIDFromFile: open failed, error : %d\n", openError);
                explainFileFailure(path, openError);
            }
            return fd;
        }
    }
}

}  // namespace

int readGUIDFromFile(const char* path, char** buffer, uint32_t* length)
{
    size_t capacity = READ_CHUNK;
    char* data = static_cast<char*>(malloc(capacity + 1));
    if (data == nullptr) {
        puts("Malloc : Failed to allocate Read Buffer");
        return -1;
    }
    // "-" is standard input, which stays open: it is not this reader's to close.
    bool standardInput = strcmp(path, "-") == 0;
    uint64_t count = 0;
    // A FIFO, a pipe or a terminal may keep the open or a read waiting: a signal must end
    // the wait.
    int fd = standardInput ? STDIN_FILENO : openToRead(path);
    int readResult = (fd < 0) ? -1 : readToEnd(fd, path, &data, &capacity, &count);
    if (fd < 0) {
        free(data);
        return -1;
    }
    if (readResult != 0) {
        if (!standardInput) {
            close(fd);
        }
        free(data);
        return -1;
    }
    // The file is closed before the parse begins.
    int closeResult = standardInput ? 0 : close(fd);
    if (closeResult != 0) {
        int closeError = errno;
        free(data);
        printf("Close failed, ccode = %d, error = %d\n", closeResult, closeError);
        explainFileFailure(path, closeError);
        return -1;
    }
    if (count == 0) {
        printf("readVolGUIDFromFile : File %s is empty\n", shown(path).text);
        free(data);
        return -1;
    }
    *buffer = data;
    *length = static_cast<uint32_t>(count);
    return 0;
}

int readListQuietly(const ObjectKind_s& kind, int fd)
{
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0 ||
        static_cast<uint64_t>(status.st_size) > MAX_FILE_BYTES) {
        return -1;
    }
    auto size = static_cast<size_t>(status.st_size);
    char* data = static_cast<char*>(malloc(size + 1));
    if (data == nullptr) {
        return -1;
    }
    size_t count = 0;
    while (count < size) {
        ssize_t got = pread(fd, data + count, size - count, static_cast<off_t>(count));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        count += static_cast<size_t>(got);
    }
    data[count] = '\0';
    int result = (count == size) ? parseBuffer(kind, data, static_cast<uint32_t>(count), true) : -1;
    free(data);
    if (result != 0) {
        discardList();
    }
    return result;
}
