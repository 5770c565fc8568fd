// SPDX-License-Identifier: Apache-2.0
// The ID list file: an in-place element scanner, the file writer and the file reader.
#pragma once

#include <signal.h>

#include <cstddef>
#include <cstdint>

#include "file_replace.h"
#include "name_list.h"
#include "object_id.h"
#include "object_kind.h"

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

// Scanner. Finding operations return 0 (found) or -1 and never print. The scanner's other
// operations, which the roads do not call, are in other_scanner_operations.h.
int findElement(const char* name, char* first, char* last, XMLElement_s* element);
int getElementContent(const char* name, size_t nameLength, char* afterName, char* last,
                      XMLElement_s* element);
// *position: the byte just after the name (">" for START_TAG_EXACT).
int findStartTag(const char* name, size_t nameLength, char* first, char* last, StartTagForm form,
                 char** position);
int removeWhiteSpace(char* text, int32_t length);
char* isCDATAStart(char* position, char* last);
void skipCDATA(char** cursor, char* last);

// The check of a pair, written after its ID element as CHECK_FORMAT: the CRC-32 over the
// kind's root element name, a zero byte, the name, a zero byte and the ID's 16 bytes.
uint32_t pairCheck(const ObjectKind_s& kind, const char* name, const GUID* id);
inline constexpr char CHECK_FORMAT[] = " <!-- check %08x -->";
// Whether a comment's text, the `length` bytes between "<!--" and "-->", is a check: exactly
// a blank, "check", a blank, 8 lower-case hexadecimal digits and a blank. *check: its value.
bool readCheck(const char* text, size_t length, uint32_t* check);

// A list file written pair by pair in the kind's format, each pair with its check: get's
// list and put's undo list alike.
struct ListFile_s {
    OutputFile_s output;  // error: the errno of the failed call
    const ObjectKind_s* kind;
    struct sigaction previous;
};
// The step of writing a list file that failed, or LIST_DONE; LIST_INTERRUPTED: a termination
// signal came first, and the path is as it was. After a failure the file is abandoned.
enum ListStep : int {
    LIST_DONE = 0,
    LIST_OPEN_FAILED,  // output.refused or output.interrupted may say why
    LIST_HEADER_FAILED,
    LIST_RECORD_FAILED,
    LIST_TRAILER_FAILED,
    LIST_COMMIT_FAILED,
    LIST_INTERRUPTED
};
// Opens path as openOutput does (waitLead: its wait's lead) and writes the header.
ListStep beginListFile(ListFile_s* file, const ObjectKind_s& kind, const char* path,
                       const char* waitLead);
// Writes one pair's record: the name and ID text, each up to a node's field size.
ListStep writeListPair(ListFile_s* file, const char* name, const char* guidText);
// Writes the trailer and commits the file, keeping up to `keep` replaced lists as
// commitOutput does.
ListStep endListFile(ListFile_s* file, const char* path, uint32_t keep, bool* kept);

// Writes the list into path in the kind's format, consuming it. 0 or -1; after a
// termination signal -1 with nothing reported and the file as it was. With `keep` (1 to 99;
// 0: none) a replaced regular file whose bytes differ from the list's is kept as path.1,
// the earlier ones moving up to path.keep; *kept tells whether one was.
int writeGUIDToFile(const ObjectKind_s& kind, const char* path, uint32_t keep, bool* kept);

// Reads the whole file at path ("-": standard input) into a new buffer (the caller frees
// it) followed by a zero byte. Reports its own failures; 0 or -1.
int readGUIDFromFile(const char* path, char** buffer, uint32_t* length);
// Parses such a buffer into the empty list: every name/ID pair of the kind's root element,
// rewriting the buffer in place. Reports its own failures; 0 or -1.
int XMLParser(const ObjectKind_s& kind, char* buffer, uint32_t length);
