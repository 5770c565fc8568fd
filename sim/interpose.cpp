// SPDX-License-Identifier: Apache-2.0
// The C library calls that libzapisim.so stands in for. Every one of them first
// asks whether the call is the simulator's business (the device, an admin
// directory, korvane's run lock or state folder, a configured fault) and otherwise hands it to
// the next definition (the C library) untouched, errno included.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

#include "fault_rules.h"
#include "sim_internal.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
}

int simDepth = 0;

namespace {

using OpenFn = int (*)(const char*, int, ...);
using OpenatFn = int (*)(int, const char*, int, ...);
using CloseFn = int (*)(int);
using ReadFn = ssize_t (*)(int, void*, size_t);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using PreadFn = ssize_t (*)(int, void*, size_t, off64_t);
using OpendirFn = DIR* (*)(const char*);
using ReaddirFn = struct dirent* (*)(DIR*);
using Readdir64Fn = struct dirent64* (*)(DIR*);
using ClosedirFn = int (*)(DIR*);
using FcntlFn = int (*)(int, int, ...);
using FchownFn = int (*)(int, uid_t, gid_t);
using FsyncFn = int (*)(int);
using RenameFn = int (*)(const char*, const char*);
using UnlinkFn = int (*)(const char*);
using RenameatFn = int (*)(int, const char*, int, const char*);
using LinkatFn = int (*)(int, const char*, int, const char*, int);
using UnlinkatFn = int (*)(int, const char*, int);
using FchmodFn = int (*)(int, mode_t);
using StatFn = int (*)(const char*, struct stat*);
using MkdirFn = int (*)(const char*, mode_t);
using MkdiratFn = int (*)(int, const char*, mode_t);

OpenFn realOpen = nullptr;
OpenatFn realOpenat = nullptr;
CloseFn realClose = nullptr;
ReadFn realRead = nullptr;
WriteFn realWrite = nullptr;
PreadFn realPread = nullptr;
OpendirFn realOpendir = nullptr;
ReaddirFn realReaddir = nullptr;
Readdir64Fn realReaddir64 = nullptr;
ClosedirFn realClosedir = nullptr;
FcntlFn realFcntl = nullptr;
FcntlFn realFcntl64 = nullptr;
FchownFn realFchown = nullptr;
FsyncFn realFsync = nullptr;
RenameFn realRename = nullptr;
RenameFn realLink = nullptr;
UnlinkFn realUnlink = nullptr;
RenameatFn realRenameat = nullptr;
LinkatFn realLinkat = nullptr;
UnlinkatFn realUnlinkat = nullptr;
FsyncFn realFdatasync = nullptr;
FchmodFn realFchmod = nullptr;
StatFn realStat = nullptr;
StatFn realStat64 = nullptr;
StatFn realLstat = nullptr;
StatFn realLstat64 = nullptr;
MkdirFn realMkdir = nullptr;
MkdiratFn realMkdirat = nullptr;

void* nextSymbol(const char* name)
{
    int saved = errno;
    void* symbol = dlsym(RTLD_NEXT, name);
    errno = saved;
    return symbol;
}

template <typename Fn>
Fn resolve(Fn* slot, const char* name)
{
    if (*slot == nullptr)
        *slot = reinterpret_cast<Fn>(nextSymbol(name));
    return *slot;
}

// Reads the optional mode argument the way the C library does.
mode_t openMode(int flags, va_list args)
{
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        return static_cast<mode_t>(va_arg(args, int));
    return 0;
}

bool isDevicePath(const char* path)
{
    return path != nullptr && strcmp(path, SIM_DEVICE_PATH) == 0;
}

// While a system is in use, korvane's run lock and state folder are the system's own: *path
// becomes the file in the system (in `buffer`, SIM_PATH_SIZE bytes) for the call, its fault
// rules and the power cut alike. false, with ENAMETOOLONG, when that path would not fit.
bool standIn(const char** path, char* buffer)
{
    if (simDepth != 0 || *path == nullptr || simRoot[0] == '\0')
        return true;
    int mapped = simStandInPath(buffer, SIM_PATH_SIZE, simRoot, *path);
    if (mapped < 0)
        errno = ENAMETOOLONG;
    if (mapped == 1)
        *path = buffer;
    return mapped >= 0;
}

// A call on a path that a file fault may name; the rules are consulted with
// interposition off, and a firing rule leaves its errno.
bool pathFault(bool (*check)(const char*, int*), const char* path)
{
    int errnoValue = 0;
    ++simDepth;
    bool fail = check(path, &errnoValue);
    --simDepth;
    if (fail)
        errno = errnoValue;
    return fail;
}

int openFaulted(int dirFd, const char* path, const char* opened, int flags, mode_t mode);

// Everything open, open64, openat and the fortified forms share. `dirFd` is AT_FDCWD
// for the plain forms. Fault rules and the power cut see the path (a name relative to a
// directory's descriptor joined to that directory's path); the run lock and the state
// folder are opened in the system's own directory instead.
int openCommon(int dirFd, const char* relative, int flags, mode_t mode)
{
    char joined[SIM_PATH_SIZE];
    const char* path = simDepth == 0 ? simAtPath(dirFd, relative, joined) : relative;
    if (simDepth == 0 && isDevicePath(path) && simDeviceActive())
        return simDeviceOpen(flags);
    char buffer[SIM_PATH_SIZE];
    const char* opened = relative;
    const char* mapped = path;
    if (!standIn(&mapped, buffer))
        return -1;
    if (mapped != path) {
        path = mapped;
        opened = mapped;
    }
    if (simDepth == 0 && simPowerArmed && path != nullptr) {
        simPowerBeforePath("open", dirFd, opened, flags);
        int fd = openFaulted(dirFd, path, opened, flags, mode);
        int saved = errno;
        simPowerAfterOpen(dirFd, opened, flags, fd);
        errno = saved;
        return fd;
    }
    return openFaulted(dirFd, path, opened, flags, mode);
}

// The open itself, failed or watched as the fault rules say.
int openFaulted(int dirFd, const char* path, const char* opened, int flags, mode_t mode)
{
    if (simDepth == 0 && simFileFaultsArmed && path != nullptr) {
        if (pathFault(simFaultOpen, path))
            return -1;
        int fd = simRealOpenat(dirFd, opened, flags, mode);
        if (fd >= 0) {
            int saved = errno;
            ++simDepth;
            simFaultTrackFd(path, fd);
            --simDepth;
            errno = saved;
        }
        return fd;
    }
    return simRealOpenat(dirFd, opened, flags, mode);
}

// The device has no node on this machine: stat and lstat of its path describe a
// character device of the simulator's own number, so that the program can tell
// another path to the same device.
int statCommon(StatFn* slot, const char* name, const char* path, struct stat* info)
{
    if (simDepth == 0 && isDevicePath(path) && simDeviceActive()) {
        memset(info, 0, sizeof *info);
        info->st_mode = S_IFCHR | 0600;
        info->st_rdev = makedev(SIM_DEVICE_MAJOR, SIM_DEVICE_MINOR);
        info->st_nlink = 1;
        return 0;
    }
    char buffer[SIM_PATH_SIZE];
    if (!standIn(&path, buffer))
        return -1;
    return resolve(slot, name)(path, info);
}

// A call on a descriptor that a file fault watches.
bool fdFault(int what, int fd)
{
    int errnoValue = 0;
    ++simDepth;
    bool fail = simFaultFdCall(what, fd, &errnoValue);
    --simDepth;
    if (fail)
        errno = errnoValue;
    return fail;
}

ssize_t preadCommon(int fd, void* buffer, size_t count, off64_t offset)
{
    if (simDepth == 0 && simIsDeviceFd(fd))
        return simDeviceRequest(fd, buffer, count, offset);
    return simRealPread(fd, buffer, count, offset);
}

ssize_t readCommon(int fd, void* buffer, size_t count)
{
    if (simDepth == 0 && simFileFaultsArmed && fdFault(SIM_RULE_READ, fd))
        return -1;
    return simRealRead(fd, buffer, count);
}

// The third argument is read as a pointer whatever the command, as the C library
// itself reads it.
int fcntlCommon(FcntlFn real, int fd, int command, void* argument)
{
    if (simDepth == 0 && simFileFaultsArmed && fdFault(SIM_RULE_FCNTL, fd))
        return -1;
    return real(fd, command, argument);
}

// A call on a descriptor, failed by a fault rule or made, and counted for a power cut
// (a write's file noted first, for what the cut may take back).
template <typename Call>
auto fdCall(int what, const char* word, int fd, Call call) -> decltype(call())
{
    if (simDepth == 0 && what != 0 && simFileFaultsArmed && fdFault(what, fd))
        return -1;
    if (simDepth != 0 || !simPowerArmed)
        return call();
    if (what == SIM_RULE_WRITE)
        simPowerBeforeWrite(fd);
    auto result = call();
    int saved = errno;
    simPowerAfterFd(word, fd, result < 0 ? -1 : 0);
    errno = saved;
    return result;
}

// A name of an *at call: the directory and name the program gave, and the path they make.
struct AtName_s {
    int dir;
    const char* name;
    const char* joined;
};

// The directory and name to make an *at call with once the stand-ins have looked at the
// path (`made`): the program's own, or, where another file stands in, that file's path.
int atDir(const AtName_s& at, const char* made)
{
    return made == at.joined ? at.dir : AT_FDCWD;
}

const char* atName(const AtName_s& at, const char* made)
{
    return made == at.joined ? at.name : made;
}

// A call on names, failed by a fault rule or made, and noted for a power cut. `from` and
// `to` are the names as paths (simAtPath); `call` is made with them as the stand-ins left
// them.
template <typename Call>
int nameCall(const char* word, bool (*check)(const char*, int*), const char* from, const char* to,
             Call call)
{
    char fromBuffer[SIM_PATH_SIZE];
    char toBuffer[SIM_PATH_SIZE];
    if (!standIn(&from, fromBuffer) || !standIn(&to, toBuffer))
        return -1;
    if (simDepth == 0 && check != nullptr && simFileFaultsArmed && from != nullptr &&
        pathFault(check, from))
        return -1;
    if (simDepth != 0 || !simPowerArmed)
        return call(from, to);
    simPowerBeforeNames(word, from, to);
    int result = call(from, to);
    int saved = errno;
    simPowerAfterNames(word, from, to, result);
    errno = saved;
    return result;
}

bool allocationFails(size_t size)
{
    if (simDepth != 0)
        return false;
    ++simDepth;
    bool fail = simFaultMalloc(size);
    --simDepth;
    return fail;
}

// The pid is looked up once per process (a fork's child forgets it): the request
// path must not cost an extra system call.
pid_t selfPid = 0;
bool crossCopyWorks = true;

void forgetPid()
{
    selfPid = 0;
}

__attribute__((constructor)) void watchForks()
{
    pthread_atfork(nullptr, nullptr, forgetPid);
}

int crossCopy(bool in, void* local, uint64_t remote, size_t size)
{
    if (size == 0)
        return 0;
    if (remote == 0)
        return EFAULT;
    if (crossCopyWorks) {
        if (selfPid == 0)
            selfPid = getpid();
        struct iovec localVec = {local, size};
        struct iovec remoteVec = {reinterpret_cast<void*>(remote), size};
        ssize_t done = in ? process_vm_readv(selfPid, &localVec, 1, &remoteVec, 1, 0)
                          : process_vm_writev(selfPid, &localVec, 1, &remoteVec, 1, 0);
        if (done == static_cast<ssize_t>(size))
            return 0;
        if (done >= 0 || errno == EFAULT)
            return EFAULT;
        // The kernel or a sandbox refuses cross-memory copies: trust the address.
        crossCopyWorks = false;
    }
    if (in)
        memcpy(local, reinterpret_cast<const void*>(remote), size);
    else
        memcpy(reinterpret_cast<void*>(remote), local, size);
    return 0;
}

// The system log of the program: never the machine's. What openlog set, kept as the C
// library keeps it.
const char* logIdent = nullptr;
int logOptions = 0;
int logFacility = LOG_USER;

void logCommon(int priority, const char* format, va_list args)
{
    int saved = errno;
    char text[4096];
    (void)vsnprintf(text, sizeof text, format, args);
    if ((priority & LOG_FACMASK) == 0)
        priority |= logFacility;
    ++simDepth;
    simJournalSyslog(logIdent != nullptr ? logIdent : "-", logOptions, priority, text);
    --simDepth;
    errno = saved;
}

}  // namespace

int simRealOpen(const char* path, int flags, mode_t mode)
{
    return resolve(&realOpen, "open")(path, flags, mode);
}
int simRealOpenat(int dirFd, const char* path, int flags, mode_t mode)
{
    return resolve(&realOpenat, "openat")(dirFd, path, flags, mode);
}
int simRealClose(int fd)
{
    return resolve(&realClose, "close")(fd);
}
ssize_t simRealRead(int fd, void* buffer, size_t count)
{
    return resolve(&realRead, "read")(fd, buffer, count);
}
ssize_t simRealWrite(int fd, const void* buffer, size_t count)
{
    return resolve(&realWrite, "write")(fd, buffer, count);
}
ssize_t simRealPread(int fd, void* buffer, size_t count, off64_t offset)
{
    return resolve(&realPread, "pread64")(fd, buffer, count, offset);
}
DIR* simRealOpendir(const char* path)
{
    return resolve(&realOpendir, "opendir")(path);
}
struct dirent* simRealReaddir(DIR* dir)
{
    return resolve(&realReaddir, "readdir")(dir);
}
int simRealClosedir(DIR* dir)
{
    return resolve(&realClosedir, "closedir")(dir);
}

int simCopyIn(void* destination, uint64_t sourceAddress, size_t size)
{
    return crossCopy(true, destination, sourceAddress, size);
}
int simCopyOut(uint64_t destinationAddress, const void* source, size_t size)
{
    return crossCopy(false, const_cast<void*>(source), destinationAddress, size);
}

#pragma GCC visibility push(default)
extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = openMode(flags, args);
    va_end(args);
    return openCommon(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = openMode(flags, args);
    va_end(args);
    return openCommon(AT_FDCWD, path, flags, mode);
}

int openat(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = openMode(flags, args);
    va_end(args);
    return openCommon(dirFd, path, flags, mode);
}

int openat64(int dirFd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t mode = openMode(flags, args);
    va_end(args);
    return openCommon(dirFd, path, flags, mode);
}

// Fortified builds call these when the flags are not known at compile time.
int __open_2(const char* path, int flags)
{
    return openCommon(AT_FDCWD, path, flags, 0);
}
int __open64_2(const char* path, int flags)
{
    return openCommon(AT_FDCWD, path, flags, 0);
}
int __openat_2(int dirFd, const char* path, int flags)
{
    return openCommon(dirFd, path, flags, 0);
}
int __openat64_2(int dirFd, const char* path, int flags)
{
    return openCommon(dirFd, path, flags, 0);
}

int close(int fd)
{
    if (simDepth == 0) {
        if (simIsDeviceFd(fd))
            simDeviceClosing(fd);
        if (simFileFaultsArmed) {
            bool fail = fdFault(SIM_RULE_CLOSE, fd);
            int errnoValue = errno;
            ++simDepth;
            simFaultForgetFd(fd);
            --simDepth;
            if (fail) {
                // As on Linux, a failing close still releases the descriptor.
                simRealClose(fd);
                errno = errnoValue;
                return -1;
            }
        }
    }
    return simRealClose(fd);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset)
{
    return preadCommon(fd, buffer, count, offset);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    return preadCommon(fd, buffer, count, offset);
}

ssize_t __pread64_chk(int fd, void* buffer, size_t count, off64_t offset, size_t /*bufferSize*/)
{
    return preadCommon(fd, buffer, count, offset);
}

ssize_t __pread_chk(int fd, void* buffer, size_t count, off_t offset, size_t /*bufferSize*/)
{
    return preadCommon(fd, buffer, count, offset);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    return readCommon(fd, buffer, count);
}

ssize_t __read_chk(int fd, void* buffer, size_t count, size_t /*bufferSize*/)
{
    return readCommon(fd, buffer, count);
}

// Only a fault is this simulator's business: owners are the kernel's.
int fchown(int fd, uid_t owner, gid_t group)
{
    return fdCall(SIM_RULE_FCHOWN, "fchown", fd,
                  [=] { return resolve(&realFchown, "fchown")(fd, owner, group); });
}

int fchmod(int fd, mode_t mode)
{
    return fdCall(0, "fchmod", fd, [=] { return resolve(&realFchmod, "fchmod")(fd, mode); });
}

int fsync(int fd)
{
    return fdCall(SIM_RULE_FSYNC, "fsync", fd, [=] { return resolve(&realFsync, "fsync")(fd); });
}

int fdatasync(int fd)
{
    return fdCall(SIM_RULE_FSYNC, "fdatasync", fd,
                  [=] { return resolve(&realFdatasync, "fdatasync")(fd); });
}

int rename(const char* from, const char* to)
{
    return nameCall("rename", simFaultRename, from, to, [](const char* a, const char* b) {
        return resolve(&realRename, "rename")(a, b);
    });
}

int link(const char* from, const char* to)
{
    return nameCall("link", simFaultLink, from, to,
                    [](const char* a, const char* b) { return resolve(&realLink, "link")(a, b); });
}

int unlink(const char* path)
{
    return nameCall("unlink", nullptr, path, nullptr,
                    [](const char* a, const char*) { return resolve(&realUnlink, "unlink")(a); });
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    char fromPath[SIM_PATH_SIZE];
    char toPath[SIM_PATH_SIZE];
    AtName_s a = {fromDir, from, simAtPath(fromDir, from, fromPath)};
    AtName_s b = {toDir, to, simAtPath(toDir, to, toPath)};
    return nameCall("rename", simFaultRename, a.joined, b.joined,
                    [&](const char* made, const char* madeTo) {
                        return resolve(&realRenameat, "renameat")(
                            atDir(a, made), atName(a, made), atDir(b, madeTo), atName(b, madeTo));
                    });
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    char fromPath[SIM_PATH_SIZE];
    char toPath[SIM_PATH_SIZE];
    AtName_s a = {fromDir, from, simAtPath(fromDir, from, fromPath)};
    AtName_s b = {toDir, to, simAtPath(toDir, to, toPath)};
    return nameCall(
        "link", simFaultLink, a.joined, b.joined, [&](const char* made, const char* madeTo) {
            return resolve(&realLinkat, "linkat")(atDir(a, made), atName(a, made), atDir(b, madeTo),
                                                  atName(b, madeTo), flags);
        });
}

int unlinkat(int dirFd, const char* path, int flags)
{
    char joined[SIM_PATH_SIZE];
    AtName_s a = {dirFd, path, simAtPath(dirFd, path, joined)};
    return nameCall("unlink", nullptr, a.joined, nullptr, [&](const char* made, const char*) {
        return resolve(&realUnlinkat, "unlinkat")(atDir(a, made), atName(a, made), flags);
    });
}

int mkdir(const char* path, mode_t mode)
{
    char buffer[SIM_PATH_SIZE];
    if (!standIn(&path, buffer))
        return -1;
    return resolve(&realMkdir, "mkdir")(path, mode);
}

int mkdirat(int dirFd, const char* path, mode_t mode)
{
    char buffer[SIM_PATH_SIZE];
    if (!standIn(&path, buffer))
        return -1;
    return resolve(&realMkdirat, "mkdirat")(dirFd, path, mode);
}

// On this target struct stat and struct stat64 have one layout.
static_assert(sizeof(struct stat) == sizeof(struct stat64));

int stat(const char* path, struct stat* info)
{
    return statCommon(&realStat, "stat", path, info);
}

int stat64(const char* path, struct stat64* info)
{
    return statCommon(&realStat64, "stat64", path, reinterpret_cast<struct stat*>(info));
}

int lstat(const char* path, struct stat* info)
{
    return statCommon(&realLstat, "lstat", path, info);
}

int lstat64(const char* path, struct stat64* info)
{
    return statCommon(&realLstat64, "lstat64", path, reinterpret_cast<struct stat*>(info));
}

ssize_t write(int fd, const void* buffer, size_t count)
{
    return fdCall(SIM_RULE_WRITE, "write", fd, [=] { return simRealWrite(fd, buffer, count); });
}

int fcntl(int fd, int command, ...)
{
    va_list args;
    va_start(args, command);
    void* argument = va_arg(args, void*);
    va_end(args);
    return fcntlCommon(resolve(&realFcntl, "fcntl"), fd, command, argument);
}

int fcntl64(int fd, int command, ...)
{
    va_list args;
    va_start(args, command);
    void* argument = va_arg(args, void*);
    va_end(args);
    return fcntlCommon(resolve(&realFcntl64, "fcntl64"), fd, command, argument);
}

DIR* opendir(const char* path)
{
    if (simDepth == 0 && simRoot[0] != '\0') {
        bool handled = false;
        ++simDepth;
        DIR* dir = simAdminOpendir(path, &handled);
        --simDepth;
        if (handled)
            return dir;
    }
    char buffer[SIM_PATH_SIZE];
    if (!standIn(&path, buffer))
        return nullptr;
    return simRealOpendir(path);
}

struct dirent* readdir(DIR* dir)
{
    if (simDepth == 0 && simIsAdminDir(dir)) {
        ++simDepth;
        struct dirent* entry = simAdminReaddir(dir);
        --simDepth;
        return entry;
    }
    return simRealReaddir(dir);
}

struct dirent64* readdir64(DIR* dir)
{
    // On this target struct dirent and struct dirent64 have one layout.
    static_assert(sizeof(struct dirent) == sizeof(struct dirent64));
    if (simDepth == 0 && simIsAdminDir(dir)) {
        ++simDepth;
        struct dirent* entry = simAdminReaddir(dir);
        --simDepth;
        return reinterpret_cast<struct dirent64*>(entry);
    }
    return resolve(&realReaddir64, "readdir64")(dir);
}

int closedir(DIR* dir)
{
    if (simDepth == 0 && simIsAdminDir(dir)) {
        ++simDepth;
        int result = simAdminClosedir(dir);
        --simDepth;
        return result;
    }
    return simRealClosedir(dir);
}

void openlog(const char* ident, int options, int facility)
{
    logIdent = ident;
    logOptions = options;
    logFacility = facility != 0 ? facility : LOG_USER;
}

void closelog(void)
{
    logIdent = nullptr;
}

void vsyslog(int priority, const char* format, va_list args)
{
    logCommon(priority, format, args);
}

void syslog(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logCommon(priority, format, args);
    va_end(args);
}

// What a fortified build calls in their place.
void __vsyslog_chk(int priority, int /*flag*/, const char* format, va_list args)
{
    logCommon(priority, format, args);
}

void __syslog_chk(int priority, int /*flag*/, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    logCommon(priority, format, args);
    va_end(args);
}

// The allocator stays glibc's; only the decision to fail is made here, and it costs
// one flag test unless a malloc fault is configured.
void* malloc(size_t size)
{
    if (simMallocFaultsArmed && allocationFails(size)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    if (simMallocFaultsArmed) {
        size_t total = 0;
        if (!__builtin_mul_overflow(count, size, &total) && allocationFails(total)) {
            errno = ENOMEM;
            return nullptr;
        }
    }
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, size_t size)
{
    if (simMallocFaultsArmed && allocationFails(size)) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_realloc(pointer, size);
}

}  // extern "C"
#pragma GCC visibility pop
