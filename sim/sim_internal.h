// SPDX-License-Identifier: Apache-2.0
// Shared inside libzapisim.so: the C library's own entry points, the device, the
// storage-backed mode, fault injection and the journal. Nothing here is exported.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "store.h"

// ---- The C library underneath (resolved with dlsym(RTLD_NEXT) on first use) ----
int simRealOpen(const char* path, int flags, mode_t mode);
int simRealOpenat(int dirFd, const char* path, int flags, mode_t mode);
int simRealClose(int fd);
ssize_t simRealRead(int fd, void* buffer, size_t count);
ssize_t simRealWrite(int fd, const void* buffer, size_t count);
ssize_t simRealPread(int fd, void* buffer, size_t count, off64_t offset);
DIR* simRealOpendir(const char* path);
struct dirent* simRealReaddir(DIR* dir);
int simRealClosedir(DIR* dir);

// The path that `path`, relative to the directory open as dirFd, names: "DIRECTORY/path",
// DIRECTORY as the kernel names the descriptor's, in joined (SIM_PATH_SIZE). `path` itself
// when it is absolute, relative to the working directory, or dirFd names nothing.
const char* simAtPath(int dirFd, const char* path, char* joined);

// Non-zero while the simulator itself runs: its own allocations and file calls are
// neither counted nor failed by the tool-facing fault rules.
extern int simDepth;

// Copy between the simulator and the requesting program's memory without trusting
// the addresses (a bad address gives EFAULT, as from a kernel device). 0 or errno.
int simCopyIn(void* destination, uint64_t sourceAddress, size_t size);
int simCopyOut(uint64_t destinationAddress, const void* source, size_t size);

// ---- The device ----
constexpr const char* SIM_DEVICE_PATH = "/dev/zapi";
constexpr size_t SIM_BLOCK_SIZE = 208;

// True when "/dev/zapi" is ours (scripted mode or a storage system in use).
bool simDeviceActive();
// What stat says of "/dev/zapi" while it is ours: a character device of this number.
constexpr unsigned SIM_DEVICE_MAJOR = 60;
constexpr unsigned SIM_DEVICE_MINOR = 0x7a;
// Opens the device for the program: a descriptor, or -1 with errno.
int simDeviceOpen(int flags);
bool simIsDeviceFd(int fd);
// The program closes a device descriptor (the caller then closes the real one).
void simDeviceClosing(int fd);
// One pread64/pread on a device descriptor.
ssize_t simDeviceRequest(int fd, void* buffer, size_t count, off64_t offset);

// ---- Storage-backed mode ----
// The system directory in use ("" when none) and whether it was usable at start.
extern char simRoot[SIM_PATH_SIZE];
extern bool simRootUsable;
// Loads the system at `dir` (faults, journal switch) and resets the per-process
// state; null leaves storage mode. 0, -1 when `dir` is not a system, or -2 when its
// faults file cannot be read (reported on standard error).
int simStartSystem(const char* dir);
// Processes one well-sized request block against the storage system.
// Returns the pread result (0, a positive status, or -1 with *errnoOut).
int64_t simSystemRequest(uint8_t* block, uint64_t operation, int* errnoOut);
// The end-of-process lines of the journal: the keys still held.
void simSystemExit();
size_t simHeldKeys();

// ---- Admin directories ----
// Returns a listing handle for "/_admin/Pools/" or "/_admin/Volumes/" (with or
// without the final slash) while a system is in use; null with *handled false for
// any other path; null with *handled true and errno set when the listing fails.
DIR* simAdminOpendir(const char* path, bool* handled);
bool simIsAdminDir(const DIR* dir);
struct dirent* simAdminReaddir(DIR* dir);
int simAdminClosedir(const DIR* dir);

// ---- Faults (rules read from the system directory) ----
// Each returns true when the call is to fail (errno to use in *errnoOut).
bool simFaultDeviceOpen(int* errnoOut);
bool simFaultOpendir(int kind, int* errnoOut);
bool simFaultReaddir(int kind, int* errnoOut);
// A device request: true when it is to fail, with *statusOut (positive status) or
// *errnoOut (system call failure); `name` is the object's name or null.
bool simFaultRequest(uint64_t operation, const char* name, int64_t* statusOut, int* errnoOut);
// File calls of the program.
extern bool simFileFaultsArmed;
extern bool simMallocFaultsArmed;
bool simFaultMalloc(size_t size);
bool simFaultOpen(const char* path, int* errnoOut);
void simFaultTrackFd(const char* path, int fd);
void simFaultForgetFd(int fd);
// what: the rule kind of the call, SIM_RULE_READ to SIM_RULE_FSYNC.
// A signal rule raises its signal and lets the call go on.
bool simFaultFdCall(int what, int fd, int* errnoOut);
// A rename or a link whose source is a rule's path, one of its temporary files or one of
// its numbered files "PATH.N".
bool simFaultRename(const char* from, int* errnoOut);
bool simFaultLink(const char* from, int* errnoOut);
// 0, or -1 when the faults file has a line it cannot read (reported on standard error).
int simFaultsLoad(const char* dir);
void simFaultsReset();

// ---- Power cut (the rule read from the system directory) ----
// Counts the program's file-system calls; after the nth, the disk is left as a power cut
// there could leave it and the process is killed.
extern bool simPowerArmed;
void simPowerArm(uint64_t nth, uint64_t outcome);
void simPowerReset();
// Around each file-system call of the program (simDepth 0, simPowerArmed): Before notes
// what the call may change, After counts it and cuts the power when it is the nth.
// `what` is the call's word ("open", "write", ...).
void simPowerBeforePath(const char* what, int dirFd, const char* path, int flags);
void simPowerAfterOpen(int dirFd, const char* path, int flags, int fd);
void simPowerBeforeWrite(int fd);
void simPowerAfterFd(const char* what, int fd, int result);
void simPowerBeforeNames(const char* what, const char* from, const char* to);
void simPowerAfterNames(const char* what, const char* from, const char* to, int result);
// The program ends normally: a cut "after" its last call comes now.
void simPowerExit();

// ---- Journal ----
void simJournalLoad(const char* dir);
void simJournalRequest(uint64_t operation, const char* object, int64_t result, int errnoValue,
                       uint64_t key, const uint8_t* block, size_t blockSize);
void simJournalExit(size_t held, const uint64_t* keys, const char* const* objects);
void simJournalClose();
// A system log line of the program, recorded in the system's "syslog" file as
// "FACILITY.LEVEL IDENT[PID]: TEXT" (without "[PID]" when the program did not ask for it).
void simJournalSyslog(const char* ident, int options, int priority, const char* text);
