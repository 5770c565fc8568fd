// SPDX-License-Identifier: Apache-2.0
// The ID list file: the file writer and the file reader, with the white-space removal the
// reader takes from the element scanner.
#pragma once

#include <signal.h>

#include <cstddef>
#include <cstdint>

#include "file_replace.h"
#include "name_list.h"
#include "object_id.h"
#include "object_kind.h"

// Takes the white space out of the `length` bytes of text (zero-terminated within them),
// in place. 0, or -1 for no text. The scanner's other operations, which the reader does not
// call, are in other_scanner_operations.h.
int removeWhiteSpace(char* text, int32_t length);

// The check of a pair, written after its ID element as CHECK_FORMAT: the CRC-32 over the
// kind's root element name, a zero byte, the name, a zero byte and the ID's 16 bytes.
uint32_t pairCheck(const ObjectKind_s& kind, const char* name, const GUID* id);
inline constexpr char CHECK_FORMAT[] = " <!-- check %08x -->";
// Whether a comment's text, the `length` bytes between "<!--" and "-->", is a check: exactly
// a blank, "check", a blank, 8 lower-case hexadecimal digits and a blank. *check: its value.
bool readCheck(const char* text, size_t length, uint32_t* check);
// Whether such a text is meant as a check: after white space it begins with "check", in any
// case. One that is not exactly a check is a damaged one.
bool meantAsCheck(const char* text, size_t length);

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
ListStep endListFile(ListFile_s* file, uint32_t keep, bool* kept);

// Opens path for the list (see openOutput in file_replace.h), before anything is read for
// it, so that a file that cannot be made fails the run at once. 0, or -1 reported (with
// nothing reported after a termination signal).
int openListFile(const char* path, OutputFile_s* output);
// Writes the list into the open output in the kind's format, leaving the list as it is.
// An empty list, or an output that has turned out to be a file refused as output, is
// reported and abandoned. 0, or -1 with the output abandoned; after a termination signal
// -1 with nothing reported.
int writeGUIDToFile(const ObjectKind_s& kind, OutputFile_s* output, const char* path);
// Completes the written output (commitOutput): with `keep` (1 to 99; 0: none) a replaced
// regular file whose bytes differ from the list's is kept as path.1, the earlier ones
// moving up to path.keep; *kept tells whether one was. 0 or -1, reported as the writes
// are; the path is as it was unless 0.
int commitListFile(OutputFile_s* output, const char* path, uint32_t keep, bool* kept);

// Reads the whole file at path ("-": standard input) into a new buffer (the caller frees
// it) followed by a zero byte. Reports its own failures; 0 or -1.
int readGUIDFromFile(const char* path, char** buffer, uint32_t* length);

// What the reader keeps of each pair beside its node, in list order: the lines of its name
// and ID elements, the 16 bytes its ID text converts to, whether its check follows it.
struct PairNote_s {
    uint32_t nameLine;
    uint32_t guidLine;
    GUID id;
    bool checked;
};

// Parses such a buffer into the empty list: every name/ID pair of the kind's root element,
// rewriting the buffer in place. Reports its own failures; 0 or -1. With `notes`, a list
// that was parsed comes with one note per node in *notes (null for an empty list), which
// the caller frees.
int XMLParser(const ObjectKind_s& kind, char* buffer, uint32_t length,
              PairNote_s** notes = nullptr);
// Reads the regular file open at fd whole, from its start, with pread (the descriptor's
// offset is left as it is), and parses it into the empty list as XMLParser does, printing
// nothing: a file that cannot be read or that the reader refuses leaves the list empty.
// 0 or -1.
int readListQuietly(const ObjectKind_s& kind, int fd);
