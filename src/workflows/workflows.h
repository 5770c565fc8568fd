// SPDX-License-Identifier: Apache-2.0
// The get, put and diff roads, each for the kind the command chose: between the storage
// system and the name/ID list, and between the list and the ID list file.
#pragma once

#include <cstdint>

#include "name_list.h"
#include "object_kind.h"

// What getInfo did with one object.
enum GetInfoResult : int { INFO_SAVED = 0, INFO_INACTIVE = 1, INFO_FAILED = -1 };
// How a get run ended; the values are the command's exit statuses.
enum GetResult : int {
    GET_SAVED = 0,       // every active object is in the file
    GET_INCOMPLETE = 1,  // the file was written, but *unsaved active objects are not in it
    GET_FAILED = -1      // no file written
};
// What a put of the file would do; the values are the command's exit statuses.
enum DiffResult : int { DIFF_SAME = 0, DIFF_CHANGES = 1, DIFF_FAILS = -1 };

// Get road: lists the admin directory, collects every active object's ID, writes the file,
// keeping up to `keep` replaced lists (*kept: the one replaced now was kept).
GetResult getName(const ObjectKind_s& kind, const char* path, uint32_t keep, uint32_t* unsaved,
                  bool* kept);
// Reads one object's record and appends its name and ID to the list when it is active.
GetInfoResult getInfo(const ObjectKind_s& kind, const char* name);

// The names of --name: put and diff take only the list's pairs of these names.
struct NameFilter_s {
    const char* const* names;
    uint32_t count;  // 0: every pair
};
// The most names a filter holds.
inline constexpr uint32_t MOST_FILTER_NAMES = 1024;

// Put and diff roads: reads the list file at path and parses it into the empty list, then
// keeps the pairs the filter names, in file order. 0, or -1 (reported) with the list empty;
// a name no pair has is reported as "The list has no %s \"%s\"\n". When a pair of the file
// carries its check, those taken that carry none are named on standard error.
int loadList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter);
// Put road: the file loaded, the live system read and, when nothing refuses the list, the
// IDs the list replaces written to `undo` (null: the kind's own undo list, earlier ones
// kept), then the list applied. 0 or -1.
int putList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter,
            const char* undo);
// Applies the list to the storage system, consuming it; a node that failed and those after
// it stay in the list. Logs each change and the end, naming `path`; a stop names the undo
// list `undo` (null: none). 0 or -1.
int GUIDModify(const ObjectKind_s& kind, const char* path, const char* undo);
// Diff road: tells, without changing anything, what put would do with the file at path;
// with names, of those objects only.
DiffResult diffList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter);
