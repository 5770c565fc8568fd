// SPDX-License-Identifier: Apache-2.0
// The get and put roads: between the storage system and the name/ID list, and from the
// ID list file through the list into the storage system.
#pragma once

#include <cstdint>

#include "name_list.h"

// Get road: lists the admin directory, collects every active object's ID, writes the file,
// keeping up to `keep` replaced lists (*kept: the one replaced now was kept).
// 0: every active object is in the file; 1: the file was written but *unsaved active
// objects could not be saved; -1: failure, no file written.
int getName(const char* path, uint32_t keep, uint32_t* unsaved, bool* kept);
// 0: the object is in the list; 1: it is left out as not active; -1: it could not be saved.
int getInfo(const char* name);

// Put road: reads the list file at path, parses it into the list and applies it.
// 0, -1 or the status of GUIDModify.
int readGUIDFromFile(const char* path);
// Parses buffer (length file bytes followed by a zero byte) into the list, then applies it.
int XMLParser(char* buffer, uint32_t length);
// Applies the list to the storage system, consuming it.
int GUIDModify();
// Diff road: tells, without changing anything, what put would do with the file at path.
// 0 when put would change no ID, 1 when it would change some, -1 when it would fail.
int diffList(const char* path);
