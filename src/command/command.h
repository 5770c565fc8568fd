// SPDX-License-Identifier: Apache-2.0
// Command front end: the pool and volume commands that main dispatches to.
#pragma once

#include <cstdint>

// Runs the get or put road for the kind and writes its closing line: 0, 1 when get wrote
// the file but could not save every active object, or -1. Or runs the diff road: 0, 1 when
// a restore would change IDs, or -1. get keeps up to `keep` earlier lists (0: none).
int runPoolCommand(const char* direction, const char* path, uint32_t keep);
int runVolumeCommand(const char* direction, const char* path, uint32_t keep);

// Refuses, with its message, a list file that is the admin device, and with `keep` one that
// is not a regular file (standard output, a device, FIFO or socket). 0 or -1.
int checkListFile(const char* direction, const char* path, uint32_t keep);
