// SPDX-License-Identifier: Apache-2.0
// The element scanner's operations that the tool's reader does not call: finding an element,
// its content or a start tag by name, the next element of any name, an attribute's value,
// an end tag searched backwards, and the cursor operations on white space and CDATA
// sections. Built and tested, never linked into korvane.
#pragma once

#include <cstddef>
#include <cstdint>

#include "id_list.h"

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

// The start tags findStartTag takes: only the exact "<N>", with CDATA sections passed over;
// or every start tag findElement takes ("<N" then ">", "/" or white space), CDATA sections
// searched like any other text.
enum StartTagForm : int { START_TAG_EXACT = 0, START_TAG_ANY };

// Finding operations return 0 (found) or -1 and never print.
int findElement(const char* name, char* first, char* last, XMLElement_s* element);
int getElementContent(const char* name, size_t nameLength, char* afterName, char* last,
                      XMLElement_s* element);
// *position: the byte just after the name (">" for START_TAG_EXACT).
int findStartTag(const char* name, size_t nameLength, char* first, char* last, StartTagForm form,
                 char** position);
char* isCDATAStart(char* position, char* last);
void skipCDATA(char** cursor, char* last);

int findNextElement(char* first, char* last, XMLElement_s* element, char** namePosition,
                    size_t* nameLength);
int getAttributeValue(const char* attributeName, XMLElement_s* element);
int findEndTagReverse(const char* name, char* highest, char* lowest, char** position);
int isWhiteSpace(const char* position);
void skipWhiteSpace(char** cursor, const char* last);
void skipToWordEnd(char** cursor, char* last);
char* isCDATAEnd(char* position, char* last);
