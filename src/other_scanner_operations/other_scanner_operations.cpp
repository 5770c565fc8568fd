// SPDX-License-Identifier: Apache-2.0
#include "other_scanner_operations.h"

#include <cstring>

#include "scanner_bytes.h"

namespace {

const char cdataClose[] = "]]>";
const size_t cdataCloseLength = sizeof(cdataClose) - 1;

}  // namespace

int isWhiteSpace(const char* position)
{
    return (position != nullptr && isSpaceByte(*position)) ? 1 : 0;
}

void skipWhiteSpace(char** cursor, const char* last)
{
    if (cursor == nullptr || *cursor == nullptr || last == nullptr) {
        return;
    }
    char* position = *cursor;
    while (last - position >= 0 && isSpaceByte(*position)) {
        ++position;
    }
    *cursor = position;
}

void skipToWordEnd(char** cursor, char* last)
{
    if (cursor == nullptr || *cursor == nullptr || last == nullptr) {
        return;
    }
    char* position = *cursor;
    if (last - position < 0) {
        return;
    }
    for (; position <= last; ++position) {
        if (isSpaceByte(*position)) {
            // A cursor already on white space ends one byte before it: the word is empty.
            *cursor = position - 1;
            return;
        }
    }
    *cursor = last;
}

char* isCDATAEnd(char* position, char* last)
{
    if (position == nullptr || last == nullptr ||
        !matchesAt(position, last, cdataClose, cdataCloseLength)) {
        return nullptr;
    }
    return position + (cdataCloseLength - 1);
}

int findNextElement(char* first, char* last, XMLElement_s* element, char** namePosition,
                    size_t* nameLength)
{
    if (first == nullptr || last == nullptr || element == nullptr || namePosition == nullptr ||
        nameLength == nullptr || last - first < 0) {
        return -1;
    }
    char* open = findByte(first, static_cast<size_t>(last - first) + 1, '<');
    if (open == nullptr) {
        return -1;
    }
    char* nameStart = open + 1;
    *namePosition = nameStart;
    if (last - nameStart < 0) {
        return -1;
    }
    char* afterName = nameStart;
    if (*nameStart != '/' && *nameStart != '>') {
        afterName = findNameEnd(nameStart, last);
        if (afterName == nullptr) {
            return -1;
        }
    }
    *nameLength = static_cast<size_t>(afterName - nameStart);
    element->nameEnd = afterName;
    return getElementContent(nameStart, *nameLength, afterName, last, element);
}

int getAttributeValue(const char* attributeName, XMLElement_s* element)
{
    if (attributeName == nullptr || element == nullptr || element->nameEnd == nullptr) {
        return -1;
    }
    char* regionEnd = nullptr;
    if (element->contentStart != nullptr) {
        regionEnd = element->contentStart - 1;
    } else if (element->elementEnd != nullptr) {
        regionEnd = element->elementEnd - 1;
    } else {
        return -1;
    }
    size_t attributeLength = strlen(attributeName);
    char* position = element->nameEnd;
    while (regionEnd - position >= 0) {
        skipWhiteSpace(&position, regionEnd);
        if (regionEnd - position < 0) {
            return -1;
        }
        if (!matchesAt(position, regionEnd, attributeName, attributeLength)) {
            // The name is matched at every position, not only where an attribute begins.
            ++position;
            continue;
        }
        char* value = position + attributeLength;
        skipWhiteSpace(&value, regionEnd);
        if (regionEnd - value < 0) {
            return -1;
        }
        if (*value != '=') {
            position = value + 1;
            continue;
        }
        ++value;
        skipWhiteSpace(&value, regionEnd);
        if (regionEnd - value < 0 || *value != '"') {
            return -1;
        }
        char* valueStart = value + 1;
        element->valueStart = valueStart;
        if (regionEnd - valueStart < 0) {
            return -1;
        }
        char* quote = findByte(valueStart, static_cast<size_t>(regionEnd - valueStart) + 1, '"');
        if (quote == nullptr) {
            return -1;
        }
        element->valueLast = quote - 1;
        element->valueLength = static_cast<uint64_t>(quote - valueStart);
        return 0;
    }
    return -1;
}

int findEndTagReverse(const char* name, char* highest, char* lowest, char** position)
{
    if (name == nullptr || highest == nullptr || lowest == nullptr || position == nullptr) {
        return -1;
    }
    size_t nameLength = strlen(name);
    // The whole end tag "</N>" must lie between lowest and highest.
    if (!reaches(lowest, highest, nameLength + 2)) {
        return -1;
    }
    char* lowestCloser = lowest + nameLength + 2;
    size_t candidates = static_cast<size_t>(highest - lowestCloser) + 1;
    while (candidates > 0) {
        char* closer = static_cast<char*>(memrchr(lowestCloser, '>', candidates));
        if (closer == nullptr) {
            return -1;
        }
        char* open = closer - nameLength - 2;
        if (open[0] == '<' && open[1] == '/' && memcmp(open + 2, name, nameLength) == 0) {
            *position = open;
            return 0;
        }
        candidates = static_cast<size_t>(closer - lowestCloser);
    }
    return -1;
}
