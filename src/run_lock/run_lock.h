// SPDX-License-Identifier: Apache-2.0
// Runs of different processes never interleave where they would harm each other. Each
// run holds record locks on bytes of one lock file for as long as the process lives; the
// kernel drops them when the process ends, however it ends, so there is nothing to clean
// up and nothing can go stale.
//
// Byte 0 stands for the storage system: put changes it and holds it alone, get and diff
// read it side by side. Byte 1 stands for writing lists: get and put hold it alone, so
// two gets never rotate the same kept lists at once.
#pragma once

// Created with mode 0600 (less the umask) when absent, never removed. It lives where only
// root can create files, and no one else may open it: no other user can hold it.
inline constexpr const char* RUN_LOCK_PATH = "/run/korvane.lock";

enum RunLockMode : int {
    RUN_LOCK_READER = 0,        // diff: reads the storage system
    RUN_LOCK_LIST_WRITER = 1,   // get: reads the storage system, writes a list
    RUN_LOCK_SYSTEM_WRITER = 2  // put: changes the storage system
};

// Takes the lock for this process, without waiting; called once per run. 0, or -1 once
// the refusal naming the run that holds a conflicting byte, or the failure with its errno,
// is printed: the caller must then do nothing at all.
int takeRunLock(RunLockMode mode);
