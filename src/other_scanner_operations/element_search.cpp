// SPDX-License-Identifier: Apache-2.0
// In-place element scanner for the XML-like ID list text: the searches for an element, its
// content and a start tag, and the CDATA cursor operations. The reader does not call them.
//
// Every range is inclusive: `last` is the last byte that may be examined. Positions are
// compared through their differences, so no pointer is ever formed before the range or more
// than one byte past it, and no byte outside `first`..`last` is read or written. Searches
// are single forward passes and allocate nothing.
#include <cstring>

#include "other_scanner_operations.h"
#include "scanner_bytes.h"

namespace {

const char cdataOpen[] = "<![CDATA[";
const size_t cdataOpenLength = sizeof(cdataOpen) - 1;
const char cdataClose[] = "]]>";
const size_t cdataCloseLength = sizeof(cdataClose) - 1;

// Position of the ">" of the first "]]>" lying wholly within `from`..`last`, or null.
char* findCDATAClose(char* from, char* last)
{
    if (!reaches(from, last, cdataCloseLength - 1)) {
        return nullptr;
    }
    size_t size = static_cast<size_t>(last - from) + 1;
    void* found = memmem(from, size, cdataClose, cdataCloseLength);
    return found == nullptr ? nullptr : static_cast<char*>(found) + (cdataCloseLength - 1);
}

// Moves `count` content bytes from the read position down to the write position; until the
// first CDATA marker is dropped the two coincide.
void copyContent(char** write, char** read, size_t count)
{
    memmove(*write, *read, count);
    *write += count;
    *read += count;
}

// Tag-name ends found while scanning content. Because the scan only moves forward and only
// rewrites bytes behind the read position, the end found for one "<" stays valid for every
// later "<" before it; remembering it keeps a run of "<" without any name end linear.
struct NameEndCache_s {
    char* end;
    bool none;
};

char* cachedNameEnd(NameEndCache_s* cache, char* from, char* last)
{
    if (cache->none) {
        return nullptr;
    }
    if (cache->end != nullptr && cache->end >= from) {
        return cache->end;
    }
    cache->end = findNameEnd(from, last);
    cache->none = cache->end == nullptr;
    return cache->end;
}

// The cursor form of skipCDATA; `noClose` remembers that no "]]>" is left in the range, so
// that a run of unclosed markers does not rescan the rest of the range for each of them.
char* skipCDATAFrom(char* cursor, char* last, bool* noClose)
{
    if (*noClose || isCDATAStart(cursor, last) == nullptr) {
        return cursor;
    }
    char* close = findCDATAClose(cursor + cdataOpenLength, last);
    if (close == nullptr) {
        *noClose = true;
        return cursor;
    }
    return close + 1;
}

}  // namespace

char* isCDATAStart(char* position, char* last)
{
    if (position == nullptr || last == nullptr || !reaches(position, last, cdataOpenLength) ||
        memcmp(position, cdataOpen, cdataOpenLength) != 0) {
        return nullptr;
    }
    return position + (cdataOpenLength - 1);
}

void skipCDATA(char** cursor, char* last)
{
    if (cursor == nullptr || *cursor == nullptr || last == nullptr) {
        return;
    }
    bool noClose = false;
    *cursor = skipCDATAFrom(*cursor, last, &noClose);
}

int getElementContent(const char* name, size_t nameLength, char* afterName, char* last,
                      XMLElement_s* element)
{
    if (name == nullptr || afterName == nullptr || last == nullptr || element == nullptr ||
        last - afterName < 0) {
        return -1;
    }
    char* closer = findByte(afterName, static_cast<size_t>(last - afterName) + 1, '>');
    if (closer == nullptr) {
        return -1;
    }
    element->nameEnd = afterName;
    // Only a "/" after the name makes the tag empty; the byte before `afterName` belongs to
    // the name and lies outside this range.
    if (closer > afterName && closer[-1] == '/') {
        element->contentStart = nullptr;
        element->contentLast = nullptr;
        element->contentLength = 0;
        element->elementEnd = closer;
        return 0;
    }
    element->contentStart = closer + 1;
    if (!reaches(closer, last, 2)) {
        return -1;
    }

    char* read = closer + 1;
    char* write = read;
    bool inCDATA = false;
    // Depth only decides whether a CDATA marker is recognised; the same-name count decides
    // which end tag closes the element. Both are wider than any buffer could drive them.
    int64_t depth = 0;
    int64_t sameName = 0;
    NameEndCache_s nameEnds = {nullptr, false};

    // A byte is only scanned while one more byte follows it in the range.
    while (last - read >= 1) {
        size_t scannable = static_cast<size_t>(last - read);
        if (inCDATA) {
            char* close = findCDATAClose(read, last);
            if (close == nullptr) {
                copyContent(&write, &read, scannable);
                return -1;
            }
            char* closeStart = close - (cdataCloseLength - 1);
            copyContent(&write, &read, static_cast<size_t>(closeStart - read));
            read = close + 1;
            inCDATA = false;
            continue;
        }
        char* open = findByte(read, scannable, '<');
        if (open == nullptr) {
            copyContent(&write, &read, scannable);
            return -1;
        }
        copyContent(&write, &read, static_cast<size_t>(open - read));

        // The byte after the "<" lies in the range; it tells a CDATA marker ("!") and an end
        // tag ("/") apart from everything else before anything longer is compared.
        char next = read[1];
        if (next == '!' && depth == 0 && isCDATAStart(read, last) != nullptr) {
            inCDATA = true;
            read += cdataOpenLength;
            continue;
        }
        if (next == '/') {
            if (!reaches(read, last, nameLength + 2)) {
                return -1;
            }
            if (memcmp(read + 2, name, nameLength) == 0) {
                bool closed = read[nameLength + 2] == '>';
                if (closed && sameName == 0) {
                    element->elementEnd = read + nameLength + 2;
                    element->contentLast = write - 1;
                    element->contentLength = static_cast<uint64_t>(write - element->contentStart);
                    return 0;
                }
                if (closed) {
                    --sameName;
                }
                --depth;
                copyContent(&write, &read, nameLength + 3);
                continue;
            }
            --depth;
            copyContent(&write, &read, 1);
            continue;
        }
        char* tagNameEnd = cachedNameEnd(&nameEnds, read + 1, last);
        if (tagNameEnd == nullptr) {
            copyContent(&write, &read, 1);
            continue;
        }
        if (*tagNameEnd != '/') {
            ++depth;
        }
        if (static_cast<size_t>(tagNameEnd - (read + 1)) == nameLength &&
            memcmp(read + 1, name, nameLength) == 0) {
            // Counted even for "<N/>": an empty element of the same name counts as open.
            ++sameName;
            copyContent(&write, &read, nameLength + 2);
            continue;
        }
        copyContent(&write, &read, 1);
    }
    return -1;
}

int findElement(const char* name, char* first, char* last, XMLElement_s* element)
{
    if (name == nullptr || first == nullptr || last == nullptr || element == nullptr) {
        return -1;
    }
    size_t nameLength = strlen(name);
    char* candidate = first;
    // A candidate needs its "<", the name and one delimiter byte inside the range.
    while (reaches(candidate, last, nameLength + 1)) {
        size_t candidates = static_cast<size_t>(last - candidate) - nameLength;
        char* open = findByte(candidate, candidates, '<');
        if (open == nullptr) {
            return -1;
        }
        if (memcmp(open + 1, name, nameLength) != 0) {
            candidate = open + 1;
            continue;
        }
        char* afterName = open + nameLength + 1;
        if (endsTagName(*afterName)) {
            // The first matching start tag decides, even when its element is not closed.
            element->nameEnd = afterName;
            return getElementContent(name, nameLength, afterName, last, element);
        }
        candidate = afterName;
    }
    return -1;
}

int findStartTag(const char* name, size_t nameLength, char* first, char* last, StartTagForm form,
                 char** position)
{
    if (name == nullptr || first == nullptr || last == nullptr || position == nullptr ||
        !reaches(first, last, nameLength + 1)) {
        return -1;
    }
    bool exact = form == START_TAG_EXACT;
    bool noClose = false;
    char* candidate = first;
    while (reaches(candidate, last, nameLength + 1)) {
        // Only a "<" can begin a CDATA section or the tag, so the bytes between are passed.
        size_t candidates = static_cast<size_t>(last - candidate) - nameLength;
        candidate = findByte(candidate, candidates, '<');
        if (candidate == nullptr) {
            return -1;
        }
        if (exact) {
            candidate = skipCDATAFrom(candidate, last, &noClose);
            if (!reaches(candidate, last, nameLength + 1)) {
                return -1;
            }
        }
        char* closer = candidate + nameLength + 1;
        if (*candidate == '<' && memcmp(candidate + 1, name, nameLength) == 0 &&
            (exact ? *closer == '>' : endsTagName(*closer))) {
            *position = closer;
            return 0;
        }
        ++candidate;
    }
    return -1;
}
