// SPDX-License-Identifier: Apache-2.0
// Reading an ID list file: the whole file into memory, then every name/ID pair of the
// current kind's root element into the name/ID list.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"

namespace {

// The read buffer's first size, and the largest single read.
constexpr size_t READ_CHUNK = 4096;
// The byte count is 32-bit: a file of 4 GiB or more cannot be counted.
constexpr uint64_t MAX_FILE_BYTES = UINT32_MAX;
// tagName and tagGUID: at most 255 bytes of text and the terminating zero.
constexpr size_t TEXT_SIZE = 256;
constexpr size_t MAX_TEXT_BYTES = TEXT_SIZE - 1;
constexpr size_t MAX_GUID_TEXT = sizeof(NameGUIDList_s::guidText) - 1;

void reportTooLarge(const char* path)
{
    printf("readGUIDFromFile: file %s is too large\n", path);
}

// Reads fd to its end into *buffer (room for *capacity file bytes and a zero), growing
// it as needed, and leaves a zero after the data. Only a read of 0 bytes is the end: a
// pipe or a terminal may deliver less than asked long before it. Reports its own
// failures. 0 or -1; *buffer is the caller's to release either way.
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
        size_t room = *capacity - *count;
        ssize_t bytesRead = read(fd, *buffer + *count, (room < READ_CHUNK) ? room : READ_CHUNK);
        if (bytesRead < 0) {
            int readError = errno;
            if (readError == EINTR) {
                continue;
            }
            printf("Read failed, bytes = %d, error = %d\n", -1, readError);
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

// One search of a pass: whether the element was found, which start tag it was, how many
// content bytes it held, and the length of its text.
struct FoundText_s {
    bool found;
    const char* startTag;
    uint64_t contentLength;
    size_t length;
};

// Searches `name` in first..last. When found, `text` receives its content at once (the
// next search reuses the record and may rewrite the buffer): at most MAX_TEXT_BYTES, up
// to a zero byte, without any white space.
FoundText_s takeElementText(const char* name, char* first, char* last, XMLElement_s* element,
                            char* text)
{
    FoundText_s found = {false, nullptr, 0, 0};
    text[0] = '\0';
    if (findElement(name, first, last, element) != 0) {
        return found;
    }
    found.found = true;
    found.startTag = element->nameEnd;
    found.contentLength = element->contentLength;
    if (element->contentStart != nullptr) {
        size_t length = (element->contentLength < MAX_TEXT_BYTES)
                            ? static_cast<size_t>(element->contentLength)
                            : MAX_TEXT_BYTES;
        memcpy(text, element->contentStart, length);
        text[length] = '\0';
        if (strlen(text) > 0) {
            removeWhiteSpace(text, static_cast<int32_t>(strlen(text)));
        }
    }
    found.length = strlen(text);
    return found;
}

// Appends a node holding the two texts. 0, or -1 (reported) when it cannot be allocated.
int appendPair(const char* tagName, const char* tagGUID)
{
    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        puts("Malloc : Couldn't allocate NameGUIDList_s tmp var");
        return -1;
    }
    memcpy(node->name, tagName, strlen(tagName) + 1);
    memcpy(node->guidText, tagGUID, strlen(tagGUID) + 1);
    node->next = nullptr;
    appendNode(node);
    return 0;
}

// Finds the root element of the kind and turns every name/ID pair in its content into a
// node. A file whose pairs cannot be read whole (an overlong text, a name or ID without
// its partner, an empty name) is refused with a message, before anything is applied.
int parsePairs(const ObjectKind_s& kind, char* buffer, uint32_t length, char* tagName,
               char* tagGUID)
{
    XMLElement_s element;
    if (findElement(kind.rootElement, buffer, buffer + length, &element) != 0) {
        printf("XMLParser: %s not found \n", kind.rootElement);
        return -1;
    }
    if (element.contentStart == nullptr || element.contentLength == 0) {
        return 0;
    }
    // Both searches of a pass start at the pass start and end with the root's content.
    char* passStart = element.contentStart;
    char* searchEnd = element.contentLast;
    const char* pairedName = nullptr;  // start tag of the last node's name element
    while (passStart <= searchEnd) {
        FoundText_s name =
            takeElementText(kind.nameElement, passStart, searchEnd, &element, tagName);
        FoundText_s guid =
            takeElementText(kind.guidElement, passStart, searchEnd, &element, tagGUID);
        if (!name.found && !guid.found) {
            return 0;
        }
        if (!guid.found && name.startTag == pairedName) {
            // The name of a pair written ID first, met again from inside that ID.
            return 0;
        }
        if (!name.found || !guid.found) {
            printf("XMLParser: %s without %s\n", name.found ? kind.nameElement : kind.guidElement,
                   name.found ? kind.guidElement : kind.nameElement);
            return -1;
        }
        if (name.contentLength > MAX_TEXT_BYTES || guid.contentLength > MAX_TEXT_BYTES) {
            printf("XMLParser: %s content is longer than 255 bytes\n",
                   (name.contentLength > MAX_TEXT_BYTES) ? kind.nameElement : kind.guidElement);
            return -1;
        }
        if (name.length == 0) {
            // Its admin path would name the whole container, not one object.
            printf("XMLParser: %s is empty\n", kind.nameElement);
            return -1;
        }
        if (guid.length > MAX_GUID_TEXT) {
            printf("XMLParser: %s text is longer than 37 characters\n", kind.guidElement);
            return -1;
        }
        if (appendPair(tagName, tagGUID) != 0) {
            return -1;
        }
        pairedName = name.startTag;
        // The next pass starts inside this ID element, or just after it when it has no
        // content at all.
        passStart =
            (element.contentStart != nullptr) ? element.contentLast : element.elementEnd + 1;
    }
    return 0;
}

}  // namespace

int parseGUIDList(char* buffer, uint32_t length)
{
    if (listHead != nullptr) {
        puts("Volume Name and GUID List not Empty");
        return -1;
    }
    char* tagGUID = static_cast<char*>(malloc(TEXT_SIZE));
    if (tagGUID == nullptr) {
        puts("Malloc : tagGUID couldn't be allocated ");
        return -1;
    }
    char* tagName = static_cast<char*>(malloc(TEXT_SIZE));
    if (tagName == nullptr) {
        puts("Malloc : tagName couldn't be allocated ");
        free(tagGUID);
        return -1;
    }
    int result = parsePairs(objectKind(), buffer, length, tagName, tagGUID);
    free(tagName);
    free(tagGUID);
    return result;
}

int readGUIDFile(const char* path, char** buffer, uint32_t* length)
{
    size_t capacity = READ_CHUNK;
    char* data = static_cast<char*>(malloc(capacity + 1));
    if (data == nullptr) {
        puts("Malloc : Failed to allocate Read Buffer");
        return -1;
    }
    int fd = open(path, O_RDONLY);
    if (fd < 0) {
        int openError = errno;
        free(data);
        printf("readGUIDFromFile: open failed, error : %d\n", openError);
        return -1;
    }

    uint64_t count = 0;
    if (readToEnd(fd, path, &data, &capacity, &count) != 0) {
        close(fd);
        free(data);
        return -1;
    }
    // The file is closed before the parse begins.
    int closeResult = close(fd);
    if (closeResult != 0) {
        int closeError = errno;
        free(data);
        printf("Close failed, ccode = %d, error = %d\n", closeResult, closeError);
        return -1;
    }
    if (count == 0) {
        printf("readVolGUIDFromFile : File %s is empty\n", path);
        free(data);
        return -1;
    }
    *buffer = data;
    *length = static_cast<uint32_t>(count);
    return 0;
}
