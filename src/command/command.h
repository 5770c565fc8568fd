// SPDX-License-Identifier: Apache-2.0
// Command front end: the pool and volume commands that main dispatches to.
#pragma once

// Runs the get or put road for the kind and writes its closing line: 0, 1 when get wrote
// the file but could not save every active object, or -1. Or runs the diff road: 0, 1 when
// a restore would change IDs, or -1.
int runPoolCommand(const char* direction, const char* path);
int runVolumeCommand(const char* direction, const char* path);
