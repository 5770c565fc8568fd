// SPDX-License-Identifier: Apache-2.0
// The power cut: after the nth file-system call of the program, the disk is left as a
// machine losing its power there could leave it, and the process is killed.
//
// What a cut may lose is what was not yet durable. File data written since the file's
// last fsync is lost: the file goes back to what it held then (nothing, when it was
// created since). Of the names created, renamed, linked or removed in a directory since
// that directory's last fsync, any prefix in their order may survive: each prefix is one
// possible outcome, and the outcomes of different directories combine. The calls are
// made for real as the program makes them; a note of how to undo each is kept, and the
// cut undoes those its outcome loses, latest first.
//
// Counted calls: open, write, fsync, fdatasync, fchmod, fchown, rename, link and unlink
// (their forms relative to a directory's descriptor too), the calls on descriptors only
// where they are regular files or directories. Owners and
// modes are never taken back. A rename counts for its target's directory.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim_internal.h"

bool simPowerArmed = false;

namespace {

enum NameChange : int { NAME_CREATED, NAME_RENAMED, NAME_LINKED, NAME_REMOVED };

// One name change not yet durable. `stash` holds, under a name of its own in the same
// directory, the file that the change replaced or removed ("" when none).
struct PendingName_s {
    NameChange change;
    char directory[SIM_PATH_SIZE];
    char from[SIM_PATH_SIZE];
    char to[SIM_PATH_SIZE];
    char stash[SIM_PATH_SIZE];
};

// A file whose data changed since its last fsync: what it held then, and a descriptor to
// put that back through.
struct PendingData_s {
    dev_t device;
    ino_t inode;
    int fd;
    char* synced;
    size_t size;
};

constexpr size_t MAX_NAMES = 64;
constexpr size_t MAX_FILES = 16;
PendingName_s names[MAX_NAMES];
size_t nameCount = 0;
PendingData_s files[MAX_FILES];
size_t fileCount = 0;

uint64_t cutAfter = 0;
uint64_t chosenOutcome = 0;
uint64_t calls = 0;
uint64_t stashSerial = 0;
bool cutDone = false;

// What a path-based call is about to change, noted by Before for After.
bool targetExisted = false;
char stashPending[SIM_PATH_SIZE];
char* dataPending = nullptr;
size_t dataPendingSize = 0;

[[noreturn]] void overflow()
{
    (void)dprintf(STDERR_FILENO, "zapisim: power cut: too many changes to follow\n");
    _exit(2);
}

// The path the descriptor fd has open, in out (SIM_PATH_SIZE); false when it has none.
bool descriptorPath(int fd, char* out)
{
    char link[64];
    (void)snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t length = readlink(link, out, SIM_PATH_SIZE - 1);
    out[length > 0 ? length : 0] = '\0';
    return length > 0;
}

// "DIRECTORY/LEAF" of path in out, DIRECTORY (in directory) resolved to its canonical
// path, for the undoing, which may come after a change of directory. false when the
// directory cannot be resolved.
bool absoluteName(int dirFd, const char* path, char* out, char* directory)
{
    char joined[SIM_PATH_SIZE];
    path = simAtPath(dirFd, path, joined);
    if (path[0] != '/' && dirFd != AT_FDCWD)
        return false;
    const char* slash = strrchr(path, '/');
    char parent[SIM_PATH_SIZE];
    if (slash == nullptr)
        (void)snprintf(parent, sizeof parent, ".");
    else if (slash == path)
        (void)snprintf(parent, sizeof parent, "/");
    else
        (void)snprintf(parent, sizeof parent, "%.*s", static_cast<int>(slash - path), path);
    const char* leaf = slash == nullptr ? path : slash + 1;
    char resolved[PATH_MAX];
    if (realpath(parent, resolved) == nullptr)
        return false;
    (void)snprintf(directory, SIM_PATH_SIZE, "%s", resolved);
    int length =
        snprintf(out, SIM_PATH_SIZE, "%s/%s", strcmp(resolved, "/") == 0 ? "" : resolved, leaf);
    return length > 0 && static_cast<size_t>(length) < SIM_PATH_SIZE;
}

}  // namespace

const char* simAtPath(int dirFd, const char* path, char* joined)
{
    if (path == nullptr || path[0] == '/' || dirFd == AT_FDCWD)
        return path;
    int saved = errno;
    bool found = descriptorPath(dirFd, joined);
    errno = saved;
    size_t length = strlen(joined);
    int added = snprintf(joined + length, SIM_PATH_SIZE - length, "%s%s",
                         strcmp(joined, "/") == 0 ? "" : "/", path);
    return found && added >= 0 && static_cast<size_t>(added) < SIM_PATH_SIZE - length ? joined
                                                                                      : path;
}

namespace {

bool exists(const char* path)
{
    struct stat info {};
    return lstat(path, &info) == 0;
}

// A second name, beside it in directory, for the file at absolute (as absoluteName gives
// them), so that a change replacing or removing it can be undone. "" in stash when there
// is none to keep.
void stashFile(const char* absolute, const char* directory, char* stash)
{
    stash[0] = '\0';
    struct stat info {};
    if (lstat(absolute, &info) != 0 || S_ISDIR(info.st_mode))
        return;
    int length =
        snprintf(stash, SIM_PATH_SIZE, "%s/.zapisim-power-%d-%llu", directory,
                 static_cast<int>(getpid()), static_cast<unsigned long long>(++stashSerial));
    if (length < 0 || static_cast<size_t>(length) >= SIM_PATH_SIZE || link(absolute, stash) != 0)
        stash[0] = '\0';
}

void noteName(NameChange change, int dirFd, const char* from, const char* to, const char* stash)
{
    if (nameCount == MAX_NAMES)
        overflow();
    PendingName_s* name = &names[nameCount];
    char ignored[SIM_PATH_SIZE];
    name->change = change;
    name->from[0] = '\0';
    if (from != nullptr && !absoluteName(dirFd, from, name->from, ignored))
        return;
    if (!absoluteName(dirFd, to, name->to, name->directory))
        return;
    (void)snprintf(name->stash, sizeof name->stash, "%s", stash);
    ++nameCount;
}

// The whole content of the file open as fd (any access mode), in fresh memory.
char* readWhole(int fd, size_t* size)
{
    char link[64];
    (void)snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    int reader = open(link, O_RDONLY | O_CLOEXEC);
    *size = 0;
    char* bytes = nullptr;
    if (reader < 0)
        return nullptr;
    size_t capacity = 0;
    for (;;) {
        if (*size == capacity) {
            capacity = capacity == 0 ? 4096 : capacity * 2;
            char* grown = static_cast<char*>(realloc(bytes, capacity));
            if (grown == nullptr)
                break;
            bytes = grown;
        }
        ssize_t got = read(reader, bytes + *size, capacity - *size);
        if (got <= 0)
            break;
        *size += static_cast<size_t>(got);
    }
    close(reader);
    return bytes;
}

PendingData_s* findData(dev_t device, ino_t inode)
{
    for (size_t i = 0; i < fileCount; ++i) {
        if (files[i].device == device && files[i].inode == inode)
            return &files[i];
    }
    return nullptr;
}

// Keeps what the regular file open as fd holds durably (`synced`, taken over), unless
// an earlier change since its last fsync already did.
void noteData(int fd, char* synced, size_t size)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        findData(info.st_dev, info.st_ino) != nullptr) {
        free(synced);
        return;
    }
    if (fileCount == MAX_FILES)
        overflow();
    int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        free(synced);
        return;
    }
    files[fileCount++] = {info.st_dev, info.st_ino, copy, synced, size};
}

// Regular files and directories are the disk's; pipes, terminals and devices are not.
bool onDisk(int fd, struct stat* info)
{
    return fstat(fd, info) == 0 && (S_ISREG(info->st_mode) || S_ISDIR(info->st_mode));
}

// What fsync made durable: a directory's name changes or a file's data.
void madeDurable(int fd, const struct stat* info)
{
    if (S_ISDIR(info->st_mode)) {
        char directory[SIM_PATH_SIZE];
        if (!descriptorPath(fd, directory))
            return;
        size_t kept = 0;
        for (size_t i = 0; i < nameCount; ++i) {
            if (strcmp(names[i].directory, directory) != 0) {
                names[kept++] = names[i];
            } else if (names[i].stash[0] != '\0') {
                unlink(names[i].stash);
            }
        }
        nameCount = kept;
        return;
    }
    PendingData_s* data = findData(info->st_dev, info->st_ino);
    if (data == nullptr)
        return;
    close(data->fd);
    free(data->synced);
    *data = files[--fileCount];
}

void undo(const PendingName_s* name)
{
    switch (name->change) {
        case NAME_CREATED:
        case NAME_LINKED:
            unlink(name->to);
            break;
        case NAME_RENAMED:
            (void)rename(name->to, name->from);
            if (name->stash[0] != '\0')
                (void)rename(name->stash, name->to);
            break;
        case NAME_REMOVED:
            if (name->stash[0] != '\0')
                (void)rename(name->stash, name->to);
            break;
    }
}

// Leaves the disk as outcome `chosenOutcome` of the cut (the last one when it is past
// them): for each directory, in the order of its first pending change, one digit of the
// outcome, counting from 0 (all its changes lost) to all of them kept. Returns the
// outcome taken; *count the number of outcomes.
uint64_t leaveOutcome(uint64_t* count)
{
    size_t firstOf[MAX_NAMES];  // each change: the index of its directory's first change
    uint64_t pending[MAX_NAMES] = {};
    *count = 1;
    for (size_t i = 0; i < nameCount; ++i) {
        firstOf[i] = i;
        for (size_t j = 0; j < i; ++j) {
            if (strcmp(names[j].directory, names[i].directory) == 0) {
                firstOf[i] = firstOf[j];
                break;
            }
        }
        ++pending[firstOf[i]];
    }
    for (size_t i = 0; i < nameCount; ++i) {
        if (firstOf[i] == i)
            *count *= pending[i] + 1;
    }
    uint64_t outcome = chosenOutcome < *count ? chosenOutcome : *count - 1;
    uint64_t kept[MAX_NAMES] = {};
    uint64_t rest = outcome;
    for (size_t i = 0; i < nameCount; ++i) {
        if (firstOf[i] == i) {
            kept[i] = rest % (pending[i] + 1);
            rest /= pending[i] + 1;
        }
    }
    // Each change's place among its directory's changes decides whether it survives.
    uint64_t seen[MAX_NAMES] = {};
    bool survives[MAX_NAMES] = {};
    for (size_t i = 0; i < nameCount; ++i)
        survives[i] = seen[firstOf[i]]++ < kept[firstOf[i]];
    for (size_t i = nameCount; i-- > 0;) {
        if (!survives[i])
            undo(&names[i]);
        else if (names[i].stash[0] != '\0')
            unlink(names[i].stash);
    }
    for (size_t i = 0; i < fileCount; ++i) {
        if (ftruncate(files[i].fd, 0) == 0 && files[i].size > 0) {
            ssize_t ignored = pwrite(files[i].fd, files[i].synced, files[i].size, 0);
            (void)ignored;
        }
    }
    return outcome;
}

void cut(const char* what, const char* path)
{
    cutDone = true;
    uint64_t count = 0;
    uint64_t outcome = leaveOutcome(&count);
    if (what == nullptr) {
        (void)dprintf(
            STDERR_FILENO, "zapisim: power cut at exit, after call %llu: outcome %llu of %llu\n",
            static_cast<unsigned long long>(calls), static_cast<unsigned long long>(outcome),
            static_cast<unsigned long long>(count));
        return;
    }
    (void)dprintf(STDERR_FILENO,
                  "zapisim: power cut after call %llu (%s %s): outcome %llu of %llu\n",
                  static_cast<unsigned long long>(calls), what, path,
                  static_cast<unsigned long long>(outcome), static_cast<unsigned long long>(count));
    (void)raise(SIGKILL);
}

// Counts one call; the nth cuts the power.
void counted(const char* what, const char* path)
{
    if (cutDone)
        return;
    ++calls;
    if (calls == cutAfter)
        cut(what, path);
}

void counted(const char* what, int fd)
{
    char target[SIM_PATH_SIZE];
    (void)descriptorPath(fd, target);
    counted(what, target);
}

void beforePath(const char* what, int dirFd, const char* path, int flags)
{
    stashPending[0] = '\0';
    free(dataPending);
    dataPending = nullptr;
    dataPendingSize = 0;
    char absolute[SIM_PATH_SIZE];
    char directory[SIM_PATH_SIZE];
    if (!absoluteName(dirFd, path, absolute, directory))
        return;
    targetExisted = exists(absolute);
    if (strcmp(what, "open") == 0) {
        // What a truncating open is about to lose.
        struct stat info {};
        if ((flags & O_TRUNC) != 0 && stat(absolute, &info) == 0 && S_ISREG(info.st_mode)) {
            int fd = open(absolute, O_RDONLY | O_CLOEXEC);
            if (fd >= 0) {
                dataPending = readWhole(fd, &dataPendingSize);
                close(fd);
            }
        }
        return;
    }
    // A rename's target or an unlinked name: the file it replaces or removes.
    if (targetExisted)
        stashFile(absolute, directory, stashPending);
}

void afterOpen(int dirFd, const char* path, int flags, int fd)
{
    if (fd >= 0 && (flags & O_CREAT) != 0 && !targetExisted) {
        noteName(NAME_CREATED, dirFd, nullptr, path, "");
        noteData(fd, nullptr, 0);
    } else if (fd >= 0 && dataPending != nullptr) {
        noteData(fd, dataPending, dataPendingSize);
        dataPending = nullptr;
    }
    free(dataPending);
    dataPending = nullptr;
    struct stat info {};
    if (fd < 0 || onDisk(fd, &info))
        counted("open", path);
}

void beforeWrite(int fd)
{
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        findData(info.st_dev, info.st_ino) != nullptr) {
        return;
    }
    size_t size = 0;
    char* content = readWhole(fd, &size);
    noteData(fd, content, size);
}

void afterFd(const char* what, int fd, int result)
{
    struct stat info {};
    if (!onDisk(fd, &info))
        return;
    if (result == 0 && (strcmp(what, "fsync") == 0 || strcmp(what, "fdatasync") == 0))
        madeDurable(fd, &info);
    counted(what, fd);
}

void afterNames(const char* what, const char* from, const char* to, int result)
{
    if (result != 0) {
        if (stashPending[0] != '\0')
            unlink(stashPending);
    } else if (strcmp(what, "rename") == 0) {
        noteName(NAME_RENAMED, AT_FDCWD, from, to, stashPending);
    } else if (strcmp(what, "link") == 0) {
        noteName(NAME_LINKED, AT_FDCWD, from, to, "");
    } else {
        noteName(NAME_REMOVED, AT_FDCWD, nullptr, from, stashPending);
    }
    stashPending[0] = '\0';
    counted(what, strcmp(what, "unlink") == 0 ? from : to);
}

}  // namespace

void simPowerArm(uint64_t nth, uint64_t outcome)
{
    simPowerArmed = true;
    cutAfter = nth;
    chosenOutcome = outcome;
}

void simPowerReset()
{
    simPowerArmed = false;
    for (size_t i = 0; i < fileCount; ++i) {
        close(files[i].fd);
        free(files[i].synced);
    }
    nameCount = 0;
    fileCount = 0;
    calls = 0;
    cutDone = false;
}

void simPowerBeforePath(const char* what, int dirFd, const char* path, int flags)
{
    ++simDepth;
    beforePath(what, dirFd, path, flags);
    --simDepth;
}

void simPowerAfterOpen(int dirFd, const char* path, int flags, int fd)
{
    ++simDepth;
    afterOpen(dirFd, path, flags, fd);
    --simDepth;
}

void simPowerBeforeWrite(int fd)
{
    ++simDepth;
    beforeWrite(fd);
    --simDepth;
}

void simPowerAfterFd(const char* what, int fd, int result)
{
    ++simDepth;
    afterFd(what, fd, result);
    --simDepth;
}

void simPowerBeforeNames(const char* what, const char* from, const char* to)
{
    simPowerBeforePath(what, AT_FDCWD, strcmp(what, "unlink") == 0 ? from : to, 0);
}

void simPowerAfterNames(const char* what, const char* from, const char* to, int result)
{
    ++simDepth;
    afterNames(what, from, to, result);
    --simDepth;
}

void simPowerExit()
{
    if (!simPowerArmed || cutDone)
        return;
    ++simDepth;
    cut(nullptr, nullptr);
    --simDepth;
}
