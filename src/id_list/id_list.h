// SPDX-License-Identifier: Apache-2.0
// The ID list file: the file writer and the file reader, with the white-space removal the
// reader takes from the element scanner.
#pragma once

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
// Parses such a buffer into the empty list: every name/ID pair of the kind's root element,
// rewriting the buffer in place. Reports its own failures; 0 or -1.
int XMLParser(const ObjectKind_s& kind, char* buffer, uint32_t length);
// Reads the regular file open at fd whole, from its start, with pread (the descriptor's
// offset is left as it is), and parses it into the empty list as XMLParser does, printing
// nothing: a file that cannot be read or that the reader refuses leaves the list empty.
// 0 or -1.
int readListQuietly(const ObjectKind_s& kind, int fd);
