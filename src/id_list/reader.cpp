// SPDX-License-Identifier: Apache-2.0
// Put road, first half: the ID list file is read whole into memory and parsed into the
// name/ID list, which GUIDModify then applies to the storage system.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"
#include "scan_bytes.h"
#include "workflows.h"

namespace {

// The read buffer's first size, and the largest single read.
constexpr size_t READ_CHUNK = 4096;
// The byte count is 32-bit: a file of 4 GiB or more cannot be counted.
constexpr uint64_t MAX_FILE_BYTES = UINT32_MAX;
// tagName and tagGUID: at most 255 bytes of text and the terminating zero.
constexpr size_t TEXT_SIZE = 256;
constexpr size_t MAX_TEXT_BYTES = TEXT_SIZE - 1;
constexpr size_t MAX_GUID_TEXT = sizeof(NameGUIDList_s::guidText) - 1;

struct ElementNames_s {
    const char* root;
    const char* name;
    const char* guid;
    size_t rootLength;
    size_t nameLength;
    size_t guidLength;
};

constexpr char POOL_ROOT[] = "listPools";
constexpr char POOL_NAME[] = "poolName";
constexpr char POOL_GUID[] = "poolGUID";
constexpr char VOLUME_ROOT[] = "listVolumes";
constexpr char VOLUME_NAME[] = "volumeName";
constexpr char VOLUME_GUID[] = "volumeGUID";

ElementNames_s kindElementNames()
{
    if (isPool == 1) {
        return {
            POOL_ROOT,           POOL_NAME, POOL_GUID, sizeof POOL_ROOT - 1, sizeof POOL_NAME - 1,
            sizeof POOL_GUID - 1};
    }
    return {VOLUME_ROOT,
            VOLUME_NAME,
            VOLUME_GUID,
            sizeof VOLUME_ROOT - 1,
            sizeof VOLUME_NAME - 1,
            sizeof VOLUME_GUID - 1};
}

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

// Whether any of `length` bytes from `content` is a zero byte or white space: every such
// byte is below '!'. A list file written by the tool has none in its texts, so they can be
// taken as they are. Eight bytes at a time: a byte below '!' is the only one that leaves
// its high bit set in (word - 0x21 in every byte) & ~word.
bool holdsByteBelowBang(const char* content, size_t length)
{
    constexpr uint64_t everyByte = 0x0101010101010101ULL;
    constexpr uint64_t highBits = 0x8080808080808080ULL;
    uint64_t below = 0;
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= length; i += sizeof(uint64_t)) {
        uint64_t word = 0;
        memcpy(&word, content + i, sizeof word);
        below |= (word - everyByte * '!') & ~word & highBits;
    }
    if (i < length && length >= sizeof(uint64_t)) {
        // The last eight bytes, overlapping some already tested, instead of one at a time.
        uint64_t word = 0;
        memcpy(&word, content + length - sizeof word, sizeof word);
        below |= (word - everyByte * '!') & ~word & highBits;
        i = length;
    }
    bool found = below != 0;
    for (; i < length; ++i) {
        found = found || static_cast<unsigned char>(content[i]) < '!';
    }
    return found;
}

// Whether the `length` bytes at `a` and `b` are equal. Element names are 8 to 16 bytes
// long: two overlapping word compares then, without a library call.
bool sameBytes(const char* a, const char* b, size_t length)
{
    if (length < sizeof(uint64_t) || length > 2 * sizeof(uint64_t)) {
        return memcmp(a, b, length) == 0;
    }
    uint64_t headA = 0;
    uint64_t headB = 0;
    uint64_t tailA = 0;
    uint64_t tailB = 0;
    memcpy(&headA, a, sizeof headA);
    memcpy(&headB, b, sizeof headB);
    memcpy(&tailA, a + length - sizeof tailA, sizeof tailA);
    memcpy(&tailB, b + length - sizeof tailB, sizeof tailB);
    return ((headA ^ headB) | (tailA ^ tailB)) == 0;
}

// Gives `text` the content of the element found into `element` (a zero byte in it ends the
// text; never more than MAX_TEXT_BYTES) without any white space, and returns its length.
int64_t takeText(const XMLElement_s& element, char* text)
{
    text[0] = '\0';
    if (element.contentStart == nullptr) {
        return 0;
    }
    size_t length = (element.contentLength < MAX_TEXT_BYTES)
                        ? static_cast<size_t>(element.contentLength)
                        : MAX_TEXT_BYTES;
    memcpy(text, element.contentStart, length);
    text[length] = '\0';
    if (holdsByteBelowBang(element.contentStart, length)) {
        length = strlen(text);
        if (length > 0) {
            removeWhiteSpace(text, static_cast<int32_t>(length));
            length = strlen(text);
        }
    }
    return static_cast<int64_t>(length);
}

// The text of a plain element as takeText gives it, without copying it when its content
// can be taken as it is: *bytes then points at the content in the buffer, which nothing
// rewrites. Otherwise *bytes is `text`, which receives the text.
int64_t takePlainText(const XMLElement_s& element, char* text, const char** bytes)
{
    if (element.contentLength <= MAX_TEXT_BYTES &&
        !holdsByteBelowBang(element.contentStart, element.contentLength)) {
        *bytes = element.contentStart;
        return static_cast<int64_t>(element.contentLength);
    }
    *bytes = text;
    return takeText(element, text);
}

// Searches `name` in first..last. When found, `text` receives its content as takeText
// gives it, and its length is returned; otherwise -1. The text is copied at once: the next
// search reuses the record and may rewrite the buffer.
int64_t takeElementText(const char* name, char* first, char* last, XMLElement_s* element,
                        char* text)
{
    if (findElement(name, first, last, element) != 0) {
        return -1;
    }
    return takeText(*element, text);
}

// The first "<" from `from` to `last` that does not open an end tag, or null. An end tag
// can never be taken for a name or ID element.
char* nextOpening(char* from, const char* last)
{
    while (last - from >= 0) {
        char* open = findByte(from, static_cast<size_t>(last - from) + 1, '<');
        if (open == nullptr || open == last) {
            return nullptr;
        }
        if (open[1] != '/') {
            return open;
        }
        from = open + 2;
    }
    return nullptr;
}

// Whether a plain element of that name stands at `open`: "<", the name, ">", content
// without any "<", and the exact end tag, all at or before `last`. If so, fills `element`
// as findElement would: such content has no CDATA section and no child, so nothing in it
// is rewritten.
bool plainElementAt(const char* name, size_t length, char* open, const char* last,
                    XMLElement_s* element)
{
    if (last - open < static_cast<ptrdiff_t>(length + 1) || !sameBytes(open + 1, name, length) ||
        open[length + 1] != '>') {
        return false;
    }
    char* contentStart = open + length + 2;
    if (last - contentStart < 0) {
        return false;
    }
    char* endTag = findByte(contentStart, static_cast<size_t>(last - contentStart) + 1, '<');
    if (endTag == nullptr || last - endTag < static_cast<ptrdiff_t>(length + 2) ||
        endTag[1] != '/' || !sameBytes(endTag + 2, name, length) || endTag[length + 2] != '>') {
        return false;
    }
    element->nameEnd = open + length + 1;
    element->elementEnd = endTag + length + 2;
    element->contentStart = contentStart;
    element->contentLast = endTag - 1;
    element->contentLength = static_cast<uint64_t>(endTag - contentStart);
    return true;
}

// The usual pass, as the writer lays it out: from the pass start, nothing but end tags
// before a plain name element, then nothing but end tags before a plain ID element. Here
// the two searches of a pass are known without running them: the first start tag is the
// name's, and the two names differ and hold no tag delimiter, so the first ID start tag is
// the one after the name element; and since nothing is rewritten, the ID search would meet
// the same bytes. Fills both records as the two searches would and returns true; anything
// else is left to the searches themselves, and nothing has been changed.
bool findPlainPair(const ElementNames_s& names, char* passStart, char* searchEnd,
                   XMLElement_s* nameElement, XMLElement_s* guidElement)
{
    char* open = nextOpening(passStart, searchEnd);
    if (open == nullptr ||
        !plainElementAt(names.name, names.nameLength, open, searchEnd, nameElement)) {
        return false;
    }
    open = nextOpening(nameElement->elementEnd + 1, searchEnd);
    return open != nullptr &&
           plainElementAt(names.guid, names.guidLength, open, searchEnd, guidElement);
}

// One pair's texts: where each lies (the buffer or a text buffer) and how long it is, and
// how many content bytes each element held.
struct PairTexts_s {
    const char* name;
    int64_t nameLength;
    uint64_t nameContent;
    const char* guid;
    int64_t guidLength;
    uint64_t guidContent;
};

enum PairFault_e { PAIR_SOUND, PAIR_TOO_LONG, PAIR_EMPTY_NAME, PAIR_LONG_GUID };

// What keeps a pair whose name and ID were both found from becoming a node, in the order
// the reader reports it. Prints nothing.
PairFault_e pairFault(const PairTexts_s& texts)
{
    if (texts.nameContent > MAX_TEXT_BYTES || texts.guidContent > MAX_TEXT_BYTES) {
        return PAIR_TOO_LONG;
    }
    if (texts.nameLength == 0) {
        // Its admin path would name the whole container, not one object.
        return PAIR_EMPTY_NAME;
    }
    if (static_cast<size_t>(texts.guidLength) > MAX_GUID_TEXT) {
        return PAIR_LONG_GUID;
    }
    return PAIR_SOUND;
}

void reportPairFault(const ElementNames_s& names, const PairTexts_s& texts, PairFault_e fault)
{
    if (fault == PAIR_TOO_LONG) {
        printf("XMLParser: %s content is longer than 255 bytes\n",
               (texts.nameContent > MAX_TEXT_BYTES) ? names.name : names.guid);
    } else if (fault == PAIR_EMPTY_NAME) {
        printf("XMLParser: %s is empty\n", names.name);
    } else {
        printf("XMLParser: %s text is longer than 37 characters\n", names.guid);
    }
}

// Appends a node holding the pair's texts; false when it cannot be allocated. Prints nothing.
bool appendPair(const PairTexts_s& texts)
{
    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        return false;
    }
    memcpy(node->name, texts.name, static_cast<size_t>(texts.nameLength));
    node->name[texts.nameLength] = '\0';
    memcpy(node->guidText, texts.guid, static_cast<size_t>(texts.guidLength));
    node->guidText[texts.guidLength] = '\0';
    node->next = nullptr;
    appendNode(node);
    return true;
}

void reportNoNode()
{
    puts("Malloc : Couldn't allocate NameGUIDList_s tmp var");
}

// The texts of a pair of plain elements, taken as takePlainText takes them.
PairTexts_s plainPairTexts(const XMLElement_s& name, const XMLElement_s& guid, char* tagName,
                           char* tagGUID)
{
    PairTexts_s texts{};
    texts.nameLength = takePlainText(name, tagName, &texts.name);
    texts.nameContent = name.contentLength;
    texts.guidLength = takePlainText(guid, tagGUID, &texts.guid);
    texts.guidContent = guid.contentLength;
    return texts;
}

// Where the pair passes stand: the next pass starts at `passStart` (null: at the root
// element's content) and `pairedName` is the start tag of the name element the last node
// was made from.
struct PassState_s {
    char* passStart;
    const char* pairedName;
};

// Turns every name/ID pair inside the root element's content, from the pass `state` stands
// at, into a list node. Refuses, with a message and before anything is applied, a file
// whose pairs it cannot read whole: an overlong text, a name or ID without its partner, an
// empty name.
int parsePairs(const ElementNames_s& names, PassState_s state, char* searchEnd, char* tagName,
               char* tagGUID)
{
    XMLElement_s element{};
    XMLElement_s plainName{};
    char* passStart = state.passStart;
    const char* pairedName = state.pairedName;
    while (passStart <= searchEnd) {
        PairTexts_s texts{};
        const char* nameEnd = nullptr;
        if (findPlainPair(names, passStart, searchEnd, &plainName, &element)) {
            texts = plainPairTexts(plainName, element, tagName, tagGUID);
            nameEnd = plainName.nameEnd;
        } else {
            texts.name = tagName;
            texts.guid = tagGUID;
            texts.nameLength = takeElementText(names.name, passStart, searchEnd, &element, tagName);
            if (texts.nameLength >= 0) {
                nameEnd = element.nameEnd;
                texts.nameContent = element.contentLength;
            }
            texts.guidLength = takeElementText(names.guid, passStart, searchEnd, &element, tagGUID);
            texts.guidContent = element.contentLength;
        }
        bool nameFound = texts.nameLength >= 0;
        bool guidFound = texts.guidLength >= 0;

        if (!nameFound && !guidFound) {
            return 0;
        }
        if (!guidFound && nameEnd == pairedName) {
            // The name of a pair written ID first, met again from inside that ID.
            return 0;
        }
        if (!nameFound || !guidFound) {
            printf("XMLParser: %s without %s\n", nameFound ? names.name : names.guid,
                   nameFound ? names.guid : names.name);
            return -1;
        }
        PairFault_e fault = pairFault(texts);
        if (fault != PAIR_SOUND) {
            reportPairFault(names, texts, fault);
            return -1;
        }
        if (!appendPair(texts)) {
            reportNoNode();
            return -1;
        }
        pairedName = nameEnd;

        // The next pass starts inside this ID element, or just after it when it has
        // no content at all.
        passStart =
            (element.contentStart != nullptr) ? element.contentLast : element.elementEnd + 1;
    }
    return 0;
}

// What walkPlainList found.
struct PlainWalk_s {
    PassState_s state;  // where the pair passes stand after the pairs it made
    bool complete;      // the root element closed after them: the list is whole
    bool noNode;        // the node of the pair after them could not be allocated
};

// Whether the root element's end tag stands at `open`, wholly at or before `last`.
bool rootEndAt(const char* root, size_t length, const char* open, const char* last)
{
    return last - open >= static_cast<ptrdiff_t>(length + 2) && open[1] == '/' &&
           sameBytes(open + 2, root, length) && open[length + 2] == '>';
}

// The whole file in one walk, for the layout the writer makes: the root element's start
// tag, then only plain name and ID elements in turn with text between them, then the root
// element's end tag. Finding the root element would scan its whole content first, and each
// pair pass would then scan its part again; on this layout both scans are known in advance:
// the root element closes at the first end tag of its name (its content holds no CDATA
// section, and the other two names begin with another byte), and every pass finds the next
// two plain elements. So the walk makes each pair's node as it meets it.
//
// It stops silently before the first pass it cannot take (another layout, a pair the passes
// would refuse, a node that cannot be allocated). Its nodes are made before the root
// element's end tag is known, so they stand only if the root element is then found: the
// caller decides. It changes no byte of the buffer.
PlainWalk_s walkPlainList(const ElementNames_s& names, char* buffer, char* last, char* tagName,
                          char* tagGUID)
{
    PlainWalk_s walk = {{nullptr, nullptr}, false, false};
    const size_t rootLength = names.rootLength;
    if (names.root[0] == names.name[0] || names.root[0] == names.guid[0]) {
        return walk;
    }
    // The root element's start tag: the first "<" followed by its name and a delimiter, and
    // the first ">" after the name, which must not close an empty element.
    char* open = buffer;
    for (;;) {
        open = findByte(open, static_cast<size_t>(last - open) + 1, '<');
        if (open == nullptr || last - open < static_cast<ptrdiff_t>(rootLength + 1)) {
            return walk;
        }
        const char* after = open + rootLength + 1;
        if (sameBytes(open + 1, names.root, rootLength) &&
            (*after == '>' || *after == '/' || isWhiteSpace(after) != 0)) {
            break;
        }
        ++open;
    }
    char* afterName = open + rootLength + 1;
    char* closer = findByte(afterName, static_cast<size_t>(last - afterName) + 1, '>');
    if (closer == nullptr || (closer > afterName && closer[-1] == '/') || closer == last) {
        return walk;
    }
    char* cursor = closer + 1;
    XMLElement_s nameElement{};
    XMLElement_s guidElement{};
    for (;;) {
        open = findByte(cursor, static_cast<size_t>(last - cursor) + 1, '<');
        if (open == nullptr || open == last) {
            return walk;
        }
        if (open[1] == '/') {
            walk.complete = rootEndAt(names.root, rootLength, open, last);
            return walk;
        }
        if (!plainElementAt(names.name, names.nameLength, open, last, &nameElement)) {
            return walk;
        }
        char* guidOpen = nameElement.elementEnd + 1;
        guidOpen = findByte(guidOpen, static_cast<size_t>(last - guidOpen) + 1, '<');
        if (guidOpen == nullptr ||
            !plainElementAt(names.guid, names.guidLength, guidOpen, last, &guidElement)) {
            return walk;
        }
        PairTexts_s texts = plainPairTexts(nameElement, guidElement, tagName, tagGUID);
        if (pairFault(texts) != PAIR_SOUND) {
            return walk;
        }
        if (!appendPair(texts)) {
            walk.noNode = true;
            return walk;
        }
        walk.state.passStart = guidElement.contentLast;
        walk.state.pairedName = nameElement.nameEnd;
        cursor = guidElement.elementEnd + 1;
    }
}

}  // namespace

int parseGUIDList(char* buffer, uint32_t length)
{
    if (listHead != nullptr) {
        puts("Volume Name and GUID List not Empty");
        return -1;
    }
    const ElementNames_s names = kindElementNames();

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

    PlainWalk_s walk = walkPlainList(names, buffer, buffer + length, tagName, tagGUID);
    int result = 0;
    if (!walk.complete) {
        // The root element is searched as always; the walk's nodes are the first passes'
        // nodes if it is found, and must not stay if it is not.
        XMLElement_s root;
        if (findElement(names.root, buffer, buffer + length, &root) != 0) {
            discardList();
            printf("XMLParser: %s not found \n", names.root);
            result = -1;
        } else if (walk.noNode) {
            reportNoNode();
            result = -1;
        } else if (root.contentStart != nullptr && root.contentLength > 0) {
            // An empty root element, or one with empty content, holds no pair.
            if (walk.state.passStart == nullptr) {
                walk.state.passStart = root.contentStart;
            }
            result = parsePairs(names, walk.state, root.contentLast, tagName, tagGUID);
        }
    }
    free(tagName);
    free(tagGUID);
    return (result != 0) ? -1 : 0;
}

int XMLParser(char* buffer, uint32_t length)
{
    if (parseGUIDList(buffer, length) != 0) {
        return -1;
    }
    int status = GUIDModify();
    if (status != 0) {
        printf("GUIDModify failed, status %d\n", status);
    }
    return status;
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

int readGUIDFromFile(const char* path)
{
    char* buffer = nullptr;
    uint32_t length = 0;
    if (readGUIDFile(path, &buffer, &length) != 0) {
        return -1;
    }
    int result = XMLParser(buffer, length);
    if (result != 0) {
        puts("Failed to Parse the XML from Buffer");
    }
    free(buffer);
    return result;
}
