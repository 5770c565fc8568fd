// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"

namespace {

constexpr size_t RECORD_BUFFER_SIZE = 4096;

// One node's record in the cleared buffer: the name element on a line of its own after one
// tab, the ID element after two. Returns its length.
size_t buildRecord(char* record, const NameGUIDList_s* node, const ObjectKind_s& kind)
{
    memset(record, 0, RECORD_BUFFER_SIZE);
    // Each text is bounded by its field, so the record always fits.
    int length = snprintf(
        record, RECORD_BUFFER_SIZE, "\t<%s>%.*s</%s>\n\t\t<%s>%.*s</%s>\n", kind.nameElement,
        static_cast<int>(sizeof node->name), node->name, kind.nameElement, kind.guidElement,
        static_cast<int>(sizeof node->guidText), node->guidText, kind.guidElement);
    return (length > 0) ? static_cast<size_t>(length) : 0;
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
    const ObjectKind_s& kind = objectKind();
    char header[64];
    char trailer[64];
    (void)snprintf(header, sizeof header, "<%s>\n", kind.rootElement);
    (void)snprintf(trailer, sizeof trailer, "</%s>", kind.rootElement);

    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd == -1) {
        printf("Open failed, error : %d\n", errno);
        return -1;
    }
    if (writeAll(fd, header, strlen(header)) == -1) {
        return failWrite(fd, "1:Write failed");
    }

    char record[RECORD_BUFFER_SIZE];
    while (listHead != nullptr) {
        size_t length = buildRecord(record, listHead, kind);
        // The node is done with once its record is built; a failed write loses it.
        free(takeFirstNode());
        if (writeAll(fd, record, length) == -1) {
            return failWrite(fd, "2:Write failed");
        }
    }

    if (writeAll(fd, trailer, strlen(trailer)) == -1) {
        return failWrite(fd, "3:write failed");
    }
    int result = close(fd);
    if (result != 0) {
        printf("close failed, ccode = %d, error = %d\n", result, errno);
        return -1;
    }
    return 0;
}
