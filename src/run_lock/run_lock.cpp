// SPDX-License-Identifier: Apache-2.0
// The run lock: POSIX record locks on single bytes of the lock file, never waited for.
//
// Record locks belong to the process, which is what lets F_GETLK name the run holding a
// conflicting one (open file description locks would only say -1). The other side of
// that: closing any descriptor of the file releases the process's locks, and a second lock
// taken by the same process never conflicts with the first but replaces it. So the file is
// opened by this module alone, by the one call a run makes, and never closed.
#include "run_lock.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "admin_report.h"

namespace {

int lockFd = -1;

constexpr off_t SYSTEM_BYTE = 0;
constexpr off_t LIST_BYTE = 1;

// A holder that ends between the refused lock and the question who holds it leaves no
// one to name: the lock is tried again, a bounded number of times.
constexpr int LOCK_ATTEMPTS = 8;

int lockFailed(int error)
{
    printf("Lock failed, error : %d\n", error);
    explainLockFailure(RUN_LOCK_PATH, error);
    return -1;
}

// Locks one byte, F_RDLCK or F_WRLCK. 0, or -1 once the refusal or the failure is printed.
int lockByte(off_t byte, short type)
{
    for (int attempt = 0; attempt < LOCK_ATTEMPTS; ++attempt) {
        struct flock wanted {};
        wanted.l_type = type;
        wanted.l_whence = SEEK_SET;
        wanted.l_start = byte;
        wanted.l_len = 1;
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

}  // namespace

int takeRunLock(RunLockMode mode)
{
    // Not passed on to anything the process starts; no symbolic link followed.
    lockFd = open(RUN_LOCK_PATH, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        return lockFailed(errno);
    }
    if (lockByte(SYSTEM_BYTE, mode == RUN_LOCK_SYSTEM_WRITER ? F_WRLCK : F_RDLCK) != 0) {
        return -1;
    }
    return (mode == RUN_LOCK_READER) ? 0 : lockByte(LIST_BYTE, F_WRLCK);
}
