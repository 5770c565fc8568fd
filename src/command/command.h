// SPDX-License-Identifier: Apache-2.0
// Command front end: the pool and volume commands that main dispatches to.
#pragma once

// Runs the get or put road for the kind and writes its success line, 0 or -1; or runs the
// diff road, 0, 1 or -1.
int runPoolCommand(const char* direction, const char* path);
int runVolumeCommand(const char* direction, const char* path);
