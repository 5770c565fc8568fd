// SPDX-License-Identifier: Apache-2.0
// Reading an ID list file: the whole file into memory, then every name/ID pair of the
// kind's root element into the name/ID list.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "admin_report.h"
#include "id_list.h"
#include "listed_twice.h"
#include "scanner_bytes.h"
#include "signals.h"

namespace {

// The read buffer's first size, and the largest single read.
constexpr size_t READ_CHUNK = 4096;
// The byte count is 32-bit: a file of 4 GiB or more cannot be counted.
constexpr uint64_t MAX_FILE_BYTES = UINT32_MAX;
// tagName and tagGUID: at most 255 bytes of text and the terminating zero.
constexpr size_t TEXT_SIZE = 256;
constexpr size_t MAX_TEXT_BYTES = TEXT_SIZE - 1;
constexpr size_t MAX_GUID_TEXT = sizeof(NameGUIDList_s::guidText) - 1;
// What a signal while the file is awaited prints before the run ends.
const char WAIT_LEAD[] = "readGUIDFromFile: ";

void reportTooLarge(const char* path)
{
    printf("readGUIDFromFile: file %s is too large\n", path);
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

const char commentOpen[] = "<!--";
const char commentClose[] = "-->";

// True when the `size` bytes of `text` stand at `from`, before `end`.
bool startsWith(const char* from, const char* end, const char* text, size_t size)
{
    return static_cast<size_t>(end - from) >= size && memcmp(from, text, size) == 0;
}

// Position just after the first `text` (of `size` bytes) from `from` to before `end`,
// or null.
char* after(char* from, const char* end, const char* text, size_t size)
{
    void* found = memmem(from, static_cast<size_t>(end - from), text, size);
    return (found == nullptr) ? nullptr : static_cast<char*>(found) + size;
}

// What stands at a "<" for one element of a pair.
enum ElementTag : int {
    NOT_ITS_TAG = 0,
    START_TAG,      // "<N" then ">", "/" or white space: the tags findElement takes
    EMPTY_TAG,      // such a start tag ending in "/>"
    END_TAG,        // "</N>", the only end tag that closes the element
    LOOSE_END_TAG,  // "</N" then white space
};

ElementTag elementTagAt(const char* element, const char* open, const char* end)
{
    size_t length = strlen(element);
    bool isEnd = end - open > 1 && open[1] == '/';
    const char* name = open + (isEnd ? 2 : 1);
    if (end - name <= static_cast<ptrdiff_t>(length) || memcmp(name, element, length) != 0) {
        return NOT_ITS_TAG;
    }
    const char* delimiter = name + length;
    if (isEnd) {
        return (*delimiter == '>')       ? END_TAG
               : isSpaceByte(*delimiter) ? LOOSE_END_TAG
                                         : NOT_ITS_TAG;
    }
    if (!endsTagName(*delimiter)) {
        return NOT_ITS_TAG;
    }
    // The scanner's test: the tag's first ">" decides, and a "/" before it makes it empty.
    const char* closer =
        static_cast<const char*>(memchr(delimiter, '>', static_cast<size_t>(end - delimiter)));
    return (closer != nullptr && closer > delimiter && closer[-1] == '/') ? EMPTY_TAG : START_TAG;
}

// Follows the name and ID elements of the kind through the tag at `open`: returns the
// element whose content goes on after it (`inside`, or one whose start tag this is), or
// null between elements. An end tag of either element that closes neither is stray:
// *stray then names its element. An ID's content is not looked into.
const char* followTag(const ObjectKind_s& kind, const char* inside, const char* open,
                      const char* end, const char** stray)
{
    *stray = nullptr;
    if (inside != nullptr && inside == kind.guidElement) {
        return (elementTagAt(inside, open, end) == END_TAG) ? nullptr : inside;
    }
    for (const char* element : {kind.nameElement, kind.guidElement}) {
        ElementTag tag = elementTagAt(element, open, end);
        if (tag == END_TAG && inside == element) {
            return nullptr;
        }
        if (tag == END_TAG || tag == LOOSE_END_TAG) {
            *stray = element;
        } else if (tag == START_TAG && inside == nullptr) {
            return element;
        }
    }
    return inside;
}

// Drops, from the first *length bytes of the buffer, every comment outside a CDATA
// section and every CDATA section outside the name and ID elements (within them the
// scanner unwraps it: a name may be given so), moving what remains down in place and
// ending it with a zero byte, so that nothing inside either is ever searched. Name and ID
// elements count from the first root start tag of the kind on. One forward pass. 0, or -1
// (reported) when such a comment or section is never closed.
int dropUnread(const ObjectKind_s& kind, char* buffer, uint32_t* length)
{
    char* read = buffer;
    char* write = buffer;
    char* end = buffer + *length;
    bool inRoot = false;
    const char* inside = nullptr;
    const char* stray = nullptr;
    while (read < end) {
        char* open = static_cast<char*>(memchr(read, '<', static_cast<size_t>(end - read)));
        char* keepEnd = (open == nullptr) ? end : open + 1;
        char* next = keepEnd;
        if (open != nullptr && isCDATAStart(open, end - 1) != nullptr) {
            char* close = open;
            skipCDATA(&close, end - 1);
            if (inside != nullptr) {
                // Kept whole, an unclosed one to the end, for the scanner to unwrap or refuse.
                keepEnd = next = (close == open) ? end : close;
            } else if (close == open) {
                puts("XMLParser: CDATA section is not closed");
                return -1;
            } else {
                keepEnd = open;
                next = close;
            }
        } else if (open != nullptr && startsWith(open, end, commentOpen, sizeof(commentOpen) - 1)) {
            next =
                after(open + sizeof(commentOpen) - 1, end, commentClose, sizeof(commentClose) - 1);
            if (next == nullptr) {
                puts("XMLParser: comment is not closed");
                return -1;
            }
            keepEnd = open;
        } else if (open != nullptr && inRoot) {
            inside = followTag(kind, inside, open, end, &stray);
        } else if (open != nullptr) {
            inRoot = elementTagAt(kind.rootElement, open, end) == START_TAG;
        }
        size_t kept = static_cast<size_t>(keepEnd - read);
        memmove(write, read, kept);
        write += kept;
        read = next;
    }
    *write = '\0';
    *length = static_cast<uint32_t>(write - buffer);
    return 0;
}

// The next "<" from `at` to `last` that is not a CDATA section's, passing over the
// sections that name and ID elements still hold; null at the end or at an unclosed one,
// which holds the rest (the scanner refuses its element).
char* nextTag(char* at, char* last)
{
    char* end = last + 1;
    while (at < end) {
        char* open = static_cast<char*>(memchr(at, '<', static_cast<size_t>(end - at)));
        if (open == nullptr || isCDATAStart(open, last) == nullptr) {
            return open;
        }
        char* close = open;
        skipCDATA(&close, last);
        if (close == open) {
            return nullptr;
        }
        at = close;
    }
    return nullptr;
}

// The first stray end tag of a name or ID element in the root's content first..last (see
// followTag), or null; *element names its element. CDATA sections, which only name and
// ID elements still hold, are passed over.
const char* findStrayEndTag(const ObjectKind_s& kind, char* first, char* last, const char** element)
{
    const char* inside = nullptr;
    for (char* open = nextTag(first, last); open != nullptr; open = nextTag(open + 1, last)) {
        inside = followTag(kind, inside, open, last + 1, element);
        if (*element != nullptr) {
            return open;
        }
    }
    return nullptr;
}

// An element whose start tag stands in the root's content and whose end tag has not yet
// been met: where its name starts and how many bytes it has.
struct OpenElement_s {
    const char* name;
    size_t length;
};

// Room for this many open elements at first; doubled whenever a deeper nesting needs more.
constexpr size_t OPEN_ELEMENTS_FIRST = 64;

// A tag name runs to the first byte that ends it or begins another tag.
char* tagNameEnd(char* from, const char* end)
{
    while (from < end && !endsTagName(*from) && *from != '<') {
        ++from;
    }
    return from;
}

// Whether the end tag at `open`, its name running to `nameEnd`, is the end tag of
// `element`. A name or ID element closes only by the end tag the scanner takes, "</N>";
// any other element also by one with white space before its ">".
bool isEndTagOf(const ObjectKind_s& kind, const OpenElement_s& element, const char* open,
                const char* nameEnd, const char* end)
{
    size_t length = static_cast<size_t>(nameEnd - (open + 2));
    if (length != element.length || memcmp(open + 2, element.name, length) != 0) {
        return false;
    }
    for (const char* exact : {kind.nameElement, kind.guidElement}) {
        if (strlen(exact) == length && memcmp(exact, element.name, length) == 0) {
            return elementTagAt(exact, open, end) == END_TAG;
        }
    }
    return true;
}

// What the root's content shows of elements left open: none, the innermost a name or ID
// element, the innermost another element, or the stack could not be allocated (reported).
enum UnclosedResult : int { ALL_CLOSED, PAIR_ELEMENT_OPEN, OTHER_ELEMENT_OPEN, UNCLOSED_FAILED };

// The name of an element left open, at most its first 255 bytes, copied out of the buffer
// that the passes over the pairs rewrite.
void keepUnclosedName(const OpenElement_s& element, char* name)
{
    size_t shown = (element.length < MAX_TEXT_BYTES) ? element.length : MAX_TEXT_BYTES;
    memcpy(name, element.name, shown);
    name[shown] = '\0';
}

// Finds a start tag in the root's content first..last whose element is not closed by its
// end tag within the root: a misspelt or half-cut start tag, whose element swallows what
// follows it, or a name or ID element whose end tag was lost. One forward pass with the
// open elements on a stack: an end tag closes the innermost open element when it is that
// element's, and is passed over otherwise (one of a name or ID element is refused later as
// stray). Declarations, processing instructions and empty-element tags open nothing; the
// CDATA sections that name and ID elements still hold are passed over, and an unclosed
// one holds the rest. Of the elements left open the innermost goes to *innermost.
// A name or ID element left open breaks the pairs and is refused before them; any other
// element, after them and their stray end tags, so that those keep their own messages.
UnclosedResult findUnclosedElement(const ObjectKind_s& kind, char* first, char* last,
                                   OpenElement_s* innermost)
{
    size_t capacity = OPEN_ELEMENTS_FIRST;
    auto* stack = static_cast<OpenElement_s*>(malloc(capacity * sizeof(OpenElement_s)));
    if (stack == nullptr) {
        puts("Malloc : Failed to allocate the element stack");
        return UNCLOSED_FAILED;
    }
    size_t depth = 0;
    char* end = last + 1;
    char* at = first;
    while (at < end) {
        char* open = nextTag(at, last);
        if (open == nullptr) {
            break;
        }
        bool isEnd = end - open > 1 && open[1] == '/';
        char* name = open + (isEnd ? 2 : 1);
        char* nameEnd = tagNameEnd(name, end);
        if (nameEnd == name || *name == '!' || *name == '?') {
            at = open + 1;
            continue;
        }
        if (isEnd) {
            if (depth > 0 && isEndTagOf(kind, stack[depth - 1], open, nameEnd, end)) {
                --depth;
            }
            at = nameEnd;
            continue;
        }
        // The scanner's test: the tag's first ">" ends it, and a "/" before it makes it empty.
        char* closer = static_cast<char*>(memchr(nameEnd, '>', static_cast<size_t>(end - nameEnd)));
        if (closer != nullptr && closer[-1] == '/') {
            at = closer + 1;
            continue;
        }
        if (depth == capacity) {
            capacity *= 2;
            auto* larger =
                static_cast<OpenElement_s*>(realloc(stack, capacity * sizeof(OpenElement_s)));
            if (larger == nullptr) {
                free(stack);
                puts("Malloc : Failed to allocate the element stack");
                return UNCLOSED_FAILED;
            }
            stack = larger;
        }
        stack[depth++] = {name, static_cast<size_t>(nameEnd - name)};
        if (closer == nullptr) {
            break;
        }
        at = closer + 1;
    }
    UnclosedResult result = ALL_CLOSED;
    if (depth > 0) {
        *innermost = stack[depth - 1];
        result = OTHER_ELEMENT_OPEN;
        for (const char* pairElement : {kind.nameElement, kind.guidElement}) {
            if (strlen(pairElement) == innermost->length &&
                memcmp(pairElement, innermost->name, innermost->length) == 0) {
                result = PAIR_ELEMENT_OPEN;
            }
        }
    }
    free(stack);
    return result;
}

// The first start tag of `name` from `first` to `last` of the form findElement takes: its
// "<", or null. An empty range holds none.
const char* findStartTagOf(const char* name, char* first, char* last)
{
    size_t nameLength = strlen(name);
    char* afterName = nullptr;
    if (findStartTag(name, nameLength, first, last, START_TAG_ANY, &afterName) != 0) {
        return nullptr;
    }
    return afterName - nameLength - 1;
}

// One search of a pass: whether the element was found, where it stands, how many content
// bytes it held, whether one of them is a zero byte, and the length of its text.
struct FoundText_s {
    bool found;
    char* start;  // the start tag's "<"
    char* end;    // the element's last byte
    uint64_t contentLength;
    bool zeroByte;
    size_t length;
};

// Searches `name` in first..last. When found, `text` receives its content at once (the
// next search reuses the record and may rewrite the buffer): at most MAX_TEXT_BYTES, up
// to a zero byte, without any white space.
FoundText_s takeElementText(const char* name, char* first, char* last, XMLElement_s* element,
                            char* text)
{
    FoundText_s found = {false, nullptr, nullptr, 0, false, 0};
    text[0] = '\0';
    if (findElement(name, first, last, element) != 0) {
        return found;
    }
    found.found = true;
    found.start = element->nameEnd - strlen(name) - 1;
    found.end = element->elementEnd;
    found.contentLength = element->contentLength;
    if (element->contentStart != nullptr) {
        found.zeroByte = memchr(element->contentStart, '\0', element->contentLength) != nullptr;
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

// Refuses a pass that found neither element while a start tag of one of them still
// stands in first..last: that element never closes. 0 when the list is complete, or -1
// (reported).
int refuseUnclosed(const ObjectKind_s& kind, char* first, char* last)
{
    const char* nameTag = findStartTagOf(kind.nameElement, first, last);
    const char* guidTag = findStartTagOf(kind.guidElement, first, last);
    if (nameTag == nullptr && guidTag == nullptr) {
        return 0;
    }
    bool nameFirst = nameTag != nullptr && (guidTag == nullptr || nameTag < guidTag);
    printf("XMLParser: %s is not closed\n", nameFirst ? kind.nameElement : kind.guidElement);
    return -1;
}

// Refuses the texts of a pair that cannot be applied as written: a zero byte would cut
// a text short, a longer content would not fit, an empty name would make the admin path
// name the whole container, a longer ID text would not fit the node. 0 or -1 (reported).
int refuseTexts(const ObjectKind_s& kind, const FoundText_s& name, const FoundText_s& guid)
{
    if (name.zeroByte || guid.zeroByte) {
        printf("XMLParser: %s holds a zero byte\n",
               name.zeroByte ? kind.nameElement : kind.guidElement);
        return -1;
    }
    if (name.contentLength > MAX_TEXT_BYTES || guid.contentLength > MAX_TEXT_BYTES) {
        printf("XMLParser: %s content is longer than 255 bytes\n",
               (name.contentLength > MAX_TEXT_BYTES) ? kind.nameElement : kind.guidElement);
        return -1;
    }
    if (name.length == 0) {
        printf("XMLParser: %s is empty\n", kind.nameElement);
        return -1;
    }
    if (guid.length > MAX_GUID_TEXT) {
        printf("XMLParser: %s text is longer than 37 characters\n", kind.guidElement);
        return -1;
    }
    return 0;
}

// Drops what is never read, finds the root element of the kind and turns every name/ID
// pair in its content into a node. Each pass takes the first name and the first ID element
// from the pass start; they make a pair only when the name ends before the ID starts and
// no other start tag of either stands between them. Anything else (a part missing,
// doubled, moved or misspelt) would give some object another one's ID, so the file is
// refused, with a message, before anything is applied; and so it is, once every pair is
// read, for an end tag that closes no element of a pair (a misspelt start tag before it)
// and for a name or ID listed twice.
int parsePairs(const ObjectKind_s& kind, char* buffer, uint32_t length, char* tagName,
               char* tagGUID)
{
    if (dropUnread(kind, buffer, &length) != 0) {
        return -1;
    }
    XMLElement_s element;
    if (findElement(kind.rootElement, buffer, buffer + length, &element) != 0) {
        printf("XMLParser: %s not found \n", kind.rootElement);
        return -1;
    }
    // Two lists, such as two files joined into one, cannot both be meant.
    if (findStartTagOf(kind.rootElement, element.elementEnd + 1, buffer + length) != nullptr) {
        printf("XMLParser: more than one %s\n", kind.rootElement);
        return -1;
    }
    if (element.contentStart == nullptr || element.contentLength == 0) {
        return 0;
    }
    OpenElement_s innermost{};
    UnclosedResult open =
        findUnclosedElement(kind, element.contentStart, element.contentLast, &innermost);
    if (open == UNCLOSED_FAILED) {
        return -1;
    }
    char unclosed[TEXT_SIZE] = "";
    if (open != ALL_CLOSED) {
        keepUnclosedName(innermost, unclosed);
    }
    if (open == PAIR_ELEMENT_OPEN) {
        printf("XMLParser: %s is not closed\n", unclosed);
        return -1;
    }
    // Both searches of a pass start at the pass start and end with the root's content,
    // which the stray end tags are looked for in before the passes rewrite any of it.
    char* passStart = element.contentStart;
    char* searchEnd = element.contentLast;
    const char* strayElement = nullptr;
    const char* stray = findStrayEndTag(kind, passStart, searchEnd, &strayElement);
    while (passStart <= searchEnd) {
        FoundText_s name =
            takeElementText(kind.nameElement, passStart, searchEnd, &element, tagName);
        FoundText_s guid =
            takeElementText(kind.guidElement, passStart, searchEnd, &element, tagGUID);
        if (!name.found && !guid.found) {
            if (refuseUnclosed(kind, passStart, searchEnd) != 0) {
                return -1;
            }
            break;
        }
        bool nameFirst = name.found && (!guid.found || name.start < guid.start);
        if (!nameFirst || !guid.found || guid.start <= name.end ||
            findStartTagOf(kind.nameElement, name.end + 1, guid.start - 1) != nullptr ||
            findStartTagOf(kind.guidElement, name.end + 1, guid.start - 1) != nullptr) {
            printf("XMLParser: %s without %s\n", nameFirst ? kind.nameElement : kind.guidElement,
                   nameFirst ? kind.guidElement : kind.nameElement);
            return -1;
        }
        if (refuseTexts(kind, name, guid) != 0 || appendPair(tagName, tagGUID) != 0) {
            return -1;
        }
        passStart = guid.end + 1;
    }
    if (stray != nullptr) {
        printf("XMLParser: %s end tag without a start tag\n", strayElement);
        return -1;
    }
    if (open == OTHER_ELEMENT_OPEN) {
        printf("XMLParser: %s is not closed\n", unclosed);
        return -1;
    }
    return refuseListedTwice(kind);
}

}  // namespace

int XMLParser(const ObjectKind_s& kind, char* buffer, uint32_t length)
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
    int result = parsePairs(kind, buffer, length, tagName, tagGUID);
    free(tagName);
    free(tagGUID);
    return result;
}

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
        printf("readVolGUIDFromFile : File %s is empty\n", path);
        free(data);
        return -1;
    }
    *buffer = data;
    *length = static_cast<uint32_t>(count);
    return 0;
}
