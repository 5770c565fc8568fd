// SPDX-License-Identifier: Apache-2.0
// The run lock: a POSIX record lock over the whole lock file, never waited for.
//
// Record locks belong to the process, which is what lets F_GETLK name the run holding a
// conflicting one (open file description locks would only say -1). The other side of
// that: closing any descriptor of the file releases the process's lock, and a second lock
// taken by the same process never conflicts with the first but replaces it. So the file is
// opened by this module alone, by the one call a run makes, and never closed.
#include "run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

int lockFd = -1;

// A holder that ends between the refused lock and the question who holds it leaves no
// one to name: the lock is tried again, a bounded number of times.
constexpr int LOCK_ATTEMPTS = 8;

int lockFailed(int error)
{
    printf("Lock failed, error : %d\n", error);
    return -1;
}

}  // namespace

int takeRunLock(RunLockMode mode)
{
    // Not passed on to anything the process starts; no symbolic link followed in a
    // directory that every user can write to.
    lockFd = open(RUN_LOCK_PATH, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (lockFd < 0) {
        return lockFailed(errno);
    }
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        struct flock wanted {};
        wanted.l_type = mode == RUN_LOCK_EXCLUSIVE ? F_WRLCK : F_RDLCK;
        wanted.l_whence = SEEK_SET;
        wanted.l_start = 0;
        wanted.l_len = 0;  // to the end of the file, however long it grows
        if (fcntl(lockFd, F_SETLK, &wanted) == 0) {
            return 0;
        }
        if (errno != EACCES && errno != EAGAIN) {
            return lockFailed(errno);
        }
        struct flock holder = wanted;
        if (fcntl(lockFd, F_GETLK, &holder) != 0) {
            return lockFailed(errno);
        }
        if (holder.l_type != F_UNLCK) {
            printf(
                "Another korvane run (process %d) is using the storage system; nothing was "
                "done\n",
                static_cast<int>(holder.l_pid));
            return -1;
        }
    }
    return lockFailed(EAGAIN);
}

int runLockFd()
{
    return lockFd;
}
