// SPDX-License-Identifier: Apache-2.0
// One run at a time: a get, put or diff of one process never interleaves with a put of
// another on the same storage system. Each run holds a record lock on one lock file for
// as long as the process lives; the kernel drops it when the process ends, however it
// ends, so there is nothing to clean up and nothing can go stale.
#pragma once

// Created with mode 0644 less the umask when absent, never removed.
inline constexpr const char* RUN_LOCK_PATH = "/run/lock/korvane.lock";

enum RunLockMode : int {
    RUN_LOCK_SHARED = 0,     // get and diff: any number of them at once
    RUN_LOCK_EXCLUSIVE = 1,  // put: alone
};

// Takes the lock for this process, without waiting; called once per run. 0, or -1 once
// the refusal naming the run that holds it, or the failure with its errno, is printed: the
// caller must then do nothing at all.
int takeRunLock(RunLockMode mode);
// The lock file's descriptor, -1 before takeRunLock opened it. No other descriptor of
// that file may be opened and closed while the lock is held: the close would drop it.
int runLockFd();
