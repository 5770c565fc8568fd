// SPDX-License-Identifier: Apache-2.0
// The ID list file: an in-place element scanner, the file writer and the file reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "name_list.h"

// Result of the element operations. Positions point into the caller's buffer; every
// range is inclusive: `last` is the last byte that may be examined.
struct XMLElement_s {
    char* nameEnd;       // delimiter just after the name in the start tag
    char* elementEnd;    // '>' closing the end tag or the empty-element tag
    char* contentStart;  // byte after the start tag's '>'; null for an empty element
    char* contentLast;   // last content byte after rewriting; null for an empty element
    uint64_t contentLength;
    char* valueStart;  // attribute value (getAttributeValue)
    char* valueLast;
    uint64_t valueLength;
};

// Scanner. Finding operations return 0 (found) or -1 and never print.
int findElement(const char* name, char* first, char* last, XMLElement_s* element);
int getElementContent(const char* name, size_t nameLength, char* afterName, char* last,
                      XMLElement_s* element);
int findNextElement(char* first, char* last, XMLElement_s* element, char** namePosition,
                    size_t* nameLength);
int getAttributeValue(const char* attributeName, XMLElement_s* element);
int findStartTag(const char* name, size_t nameLength, char* first, char* last, char** position);
int findEndTagReverse(const char* name, char* highest, char* lowest, char** position);
int removeWhiteSpace(char* text, int32_t length);
int isWhiteSpace(const char* position);
void skipWhiteSpace(char** cursor, const char* last);
void skipToWordEnd(char** cursor, char* last);
char* isCDATAStart(char* position, char* last);
char* isCDATAEnd(char* position, char* last);
void skipCDATA(char** cursor, char* last);

// True when path names standard output ("-", /dev/stdout, /dev/fd/1, /proc/self/fd/1):
// the list is written to descriptor 1 as it stands, never reopened.
bool namesStandardOutput(const char* path);
// Writes the list of the current kind into path, consuming it. 0 or -1. With `keep`
// (1 to 99; 0: none) a replaced regular file whose bytes differ from the list's is kept as
// path.1, the earlier ones moving up to path.keep; *kept tells whether one was.
int writeGUIDToFile(const char* path, uint32_t keep, bool* kept);

// The two halves of reading a list file. readGUIDFile reads the whole file ("-": standard
// input) into a new buffer (the caller frees it) followed by a zero byte; parseGUIDList
// fills the empty list from such a buffer, rewriting it in place. Each reports its own
// failures; 0 or -1.
int readGUIDFile(const char* path, char** buffer, uint32_t* length);
int parseGUIDList(char* buffer, uint32_t length);
