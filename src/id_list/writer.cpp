// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"
#include "workflows.h"

namespace {

constexpr size_t RECORD_BUFFER_SIZE = 4096;

// The fixed pieces of a list file of one object kind, in file order.
struct ListFilePieces_s {
    const char* header;
    const char* nameStart;
    const char* nameEnd;
    const char* idStart;
    const char* idEnd;
    const char* recordEnd;
    const char* trailer;
};

constexpr ListFilePieces_s poolPieces = {
    "<listPools>\n", "\t<poolName>", "</poolName>",  "\n\t\t<poolGUID>",
    "</poolGUID>",   "\n",           "</listPools>",
};
constexpr ListFilePieces_s volumePieces = {
    "<listVolumes>\n",    "\t<volumeName>", "</volumeName>",
    "\n\t\t<volumeGUID>", "</volumeGUID>",  "\n",
    "</listVolumes>",
};

// Appends at most `limit` bytes of text (up to its NUL), keeping the whole record and its
// NUL within the buffer.
void appendPiece(char* record, size_t* length, const char* text, size_t limit)
{
    size_t count = strnlen(text, limit);
    if (count > RECORD_BUFFER_SIZE - 1 - *length) {
        count = RECORD_BUFFER_SIZE - 1 - *length;
    }
    memcpy(record + *length, text, count);
    *length += count;
}

// Builds the record of one node into the cleared buffer; returns its length.
size_t buildRecord(char* record, const NameGUIDList_s* node, const ListFilePieces_s* pieces)
{
    memset(record, 0, RECORD_BUFFER_SIZE);
    size_t length = 0;
    appendPiece(record, &length, pieces->nameStart, RECORD_BUFFER_SIZE);
    appendPiece(record, &length, node->name, sizeof node->name);
    appendPiece(record, &length, pieces->nameEnd, RECORD_BUFFER_SIZE);
    appendPiece(record, &length, pieces->idStart, RECORD_BUFFER_SIZE);
    appendPiece(record, &length, node->guidText, sizeof node->guidText);
    appendPiece(record, &length, pieces->idEnd, RECORD_BUFFER_SIZE);
    appendPiece(record, &length, pieces->recordEnd, RECORD_BUFFER_SIZE);
    return length;
}

// Writes all `length` bytes. A write that stores only part is continued with the rest and
// an interrupted one is repeated, so a success always means the whole piece is in the
// file; normally this is one call. 0, or -1 with errno of the failed write.
int writeAll(int fd, const char* data, size_t length)
{
    while (length > 0) {
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

// Reports a failed write with that write's own error number, which the close must not
// replace, and closes the file.
int failWrite(int fd, const char* what)
{
    int error = errno;
    close(fd);
    printf("%s, ccode = %d, error = %d\n", what, -1, error);
    return -1;
}

}  // namespace

int writeGUIDToFile(const char* path)
{
    if (listHead == nullptr) {
        puts("List is empty, There are no Volumes");
        return -1;
    }
    const ListFilePieces_s* pieces = (isPool == 1) ? &poolPieces : &volumePieces;

    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd == -1) {
        printf("Open failed, error : %d\n", errno);
        return -1;
    }
    if (writeAll(fd, pieces->header, strlen(pieces->header)) == -1) {
        return failWrite(fd, "1:Write failed");
    }

    char record[RECORD_BUFFER_SIZE];
    while (listHead != nullptr) {
        size_t length = buildRecord(record, listHead, pieces);
        // The node is done with once its record is built; a failed write loses it.
        free(takeFirstNode());
        if (writeAll(fd, record, length) == -1) {
            return failWrite(fd, "2:Write failed");
        }
    }

    if (writeAll(fd, pieces->trailer, strlen(pieces->trailer)) == -1) {
        return failWrite(fd, "3:write failed");
    }
    int result = close(fd);
    if (result != 0) {
        printf("close failed, ccode = %d, error = %d\n", result, errno);
        return -1;
    }
    return 0;
}
