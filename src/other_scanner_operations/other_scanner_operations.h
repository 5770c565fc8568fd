// SPDX-License-Identifier: Apache-2.0
// The element scanner's operations that complete its interface but that the tool's roads
// do not call: the next element of any name, an attribute's value, an end tag searched
// backwards, and the cursor operations on white space and CDATA sections. Same range
// convention as the scanner (id_list.h); the finding operations return 0 or -1 and never
// print.
#pragma once

#include <cstddef>

#include "id_list.h"

int findNextElement(char* first, char* last, XMLElement_s* element, char** namePosition,
                    size_t* nameLength);
int getAttributeValue(const char* attributeName, XMLElement_s* element);
int findEndTagReverse(const char* name, char* highest, char* lowest, char** position);
int isWhiteSpace(const char* position);
void skipWhiteSpace(char** cursor, const char* last);
void skipToWordEnd(char** cursor, char* last);
char* isCDATAEnd(char* position, char* last);
