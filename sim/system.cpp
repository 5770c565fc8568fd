// SPDX-License-Identifier: Apache-2.0
// The storage-backed device: keys, the strict reading of each request block, and the
// five operations the tool uses, against the object files of a system directory.
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "sim_internal.h"
#pragma GCC visibility push(default)
#include "zapisim.h"
#pragma GCC visibility pop

char simRoot[SIM_PATH_SIZE] = "";
bool simRootUsable = false;

namespace {

// Request block offsets, as this device reads them.
constexpr size_t BLOCK_BUFFER_COUNT = 4;
constexpr size_t BLOCK_KEY = 16;
constexpr size_t BLOCK_BUFFER0_ADDRESS = 40;
constexpr size_t BLOCK_BUFFER0_LENGTH = 48;
constexpr size_t BLOCK_P80 = 80;
constexpr size_t BLOCK_P88 = 88;
constexpr size_t BLOCK_P92 = 92;
constexpr size_t BLOCK_P96 = 96;
constexpr size_t BLOCK_P112 = 112;
constexpr size_t BLOCK_P120 = 120;

constexpr uint64_t OP_GET_INFO = 16;
constexpr uint64_t OP_MODIFY_INFO = 22;
constexpr uint64_t OP_OPEN = 23;
constexpr uint64_t OP_ROOT_KEY = 1000;
constexpr uint64_t OP_CLOSE = 1001;

// The client's other operations: accepted without effect, so that only the codes
// the client never sends are refused.
constexpr uint64_t OTHER_OPERATIONS[] = {1,  2,  4,  5,  6,  7,  8,  9,  10, 13,  14, 15,
                                         17, 18, 20, 21, 24, 26, 27, 28, 30, 31,  32, 33,
                                         34, 35, 36, 37, 38, 39, 41, 42, 43, 1002};

constexpr uint32_t OPEN_VALUE = 50;
constexpr uint32_t OPEN_FLAGS = 0x40000004;
constexpr uint64_t POOL_INFO_MASK = 0x40050;
constexpr uint64_t VOLUME_INFO_MASK = 0x10050;
constexpr uint64_t POOL_MODIFY_MASK = 0x400000;
constexpr uint64_t VOLUME_MODIFY_MASK = 0x10000;
constexpr uint32_t RECORD_VERSION = 1;

const char POOL_PATH_PREFIX[] = "_admin:\\pools\\";
const char VOLUME_PATH_PREFIX[] = "_admin:\\volumes\\";

constexpr int KIND_ROOT = 0;

struct KeySlot_s {
    uint64_t key;
    bool inUse;
    int kind;      // KIND_ROOT, SIM_KIND_POOL or SIM_KIND_VOLUME
    bool hasInfo;  // lastInfo holds what the last information request returned
    char name[SIM_NAME_MAX + 1];
    uint8_t lastInfo[SIM_RECORD_SIZE];
};

// Keys carry their slot in the low bits and a serial above, so a released key is
// never mistaken for the next one given out in its slot.
constexpr size_t MAX_KEYS = 4096;
constexpr uint64_t KEY_BASE = 0x7A50000000000000ull;
constexpr unsigned KEY_SLOT_BITS = 12;
static_assert(MAX_KEYS == size_t{1} << KEY_SLOT_BITS);

KeySlot_s keySlots[MAX_KEYS];
uint32_t freeSlots[MAX_KEYS];
size_t freeCount = 0;
size_t heldCount = 0;
uint64_t keySerial = 0;

uint32_t read32(const uint8_t* block, size_t offset)
{
    uint32_t value = 0;
    memcpy(&value, block + offset, sizeof value);
    return value;
}

uint64_t read64(const uint8_t* block, size_t offset)
{
    uint64_t value = 0;
    memcpy(&value, block + offset, sizeof value);
    return value;
}

void resetKeys()
{
    for (size_t i = 0; i < MAX_KEYS; ++i) {
        keySlots[i].inUse = false;
        freeSlots[i] = static_cast<uint32_t>(MAX_KEYS - 1 - i);
    }
    freeCount = MAX_KEYS;
    heldCount = 0;
    keySerial = 0;
}

KeySlot_s* issueKey(int kind, const char* name)
{
    if (freeCount == 0)
        return nullptr;
    uint32_t slotIndex = freeSlots[--freeCount];
    KeySlot_s* slot = &keySlots[slotIndex];
    slot->key = KEY_BASE | (++keySerial << KEY_SLOT_BITS) | slotIndex;
    slot->inUse = true;
    slot->kind = kind;
    slot->hasInfo = false;
    (void)snprintf(slot->name, sizeof slot->name, "%s", name);
    ++heldCount;
    return slot;
}

KeySlot_s* findKey(uint64_t key)
{
    if ((key & ~((uint64_t{1} << 60) - 1)) != (KEY_BASE & ~((uint64_t{1} << 60) - 1)))
        return nullptr;
    KeySlot_s* slot = &keySlots[key & (MAX_KEYS - 1)];
    return slot->inUse && slot->key == key ? slot : nullptr;
}

void releaseKey(KeySlot_s* slot)
{
    slot->inUse = false;
    freeSlots[freeCount++] = static_cast<uint32_t>(slot - keySlots);
    --heldCount;
}

// "root", "pool:NAME" or "volume:NAME", as the journal shows an object.
void describe(int kind, const char* name, char* out, size_t size)
{
    if (kind == KIND_ROOT) {
        (void)snprintf(out, size, "root");
        return;
    }
    char escaped[SIM_ESCAPED_NAME_SIZE];
    simEscapeName(name, escaped, sizeof escaped);
    // A name too long for `out` is cut short.
    (void)snprintf(out, size, "%s:%s", simKindWord(kind), escaped);
}

constexpr size_t OBJECT_TEXT_SIZE = SIM_ESCAPED_NAME_SIZE + 16;

// What one request works on, filled as the request is read.
struct Request_s {
    uint8_t* block;
    uint64_t operation;
    KeySlot_s* slot;        // the held key of the block, or null
    const char* faultName;  // the object name that fault rules match, or null
    char object[OBJECT_TEXT_SIZE];
    int errnoValue;
};

// Fault rules apply to requests that passed the layout and key checks.
bool injected(Request_s* request, int64_t* result)
{
    int64_t status = 0;
    int errnoValue = 0;
    if (!simFaultRequest(request->operation, request->faultName, &status, &errnoValue))
        return false;
    if (status != 0) {
        *result = status;
    } else {
        *result = -1;
        request->errnoValue = errnoValue;
    }
    return true;
}

int64_t failErrno(Request_s* request, int errnoValue)
{
    request->errnoValue = errnoValue;
    return -1;
}

int64_t rootKey(Request_s* request)
{
    strcpy(request->object, "root");
    if (request->block[BLOCK_BUFFER_COUNT] != 0 || read32(request->block, BLOCK_P80) != 0) {
        return ZAPISIM_STATUS_MALFORMED;
    }
    int64_t result = 0;
    if (injected(request, &result))
        return result;
    KeySlot_s* slot = issueKey(KIND_ROOT, "");
    if (slot == nullptr)
        return failErrno(request, EMFILE);
    memcpy(request->block + BLOCK_KEY, &slot->key, sizeof slot->key);
    return 0;
}

// Splits an admin path into kind and name; 0 when it is not one.
int parseAdminPath(const char* path, char* name)
{
    int kind = 0;
    const char* rest = nullptr;
    if (strncmp(path, POOL_PATH_PREFIX, sizeof POOL_PATH_PREFIX - 1) == 0) {
        kind = SIM_KIND_POOL;
        rest = path + sizeof POOL_PATH_PREFIX - 1;
    } else if (strncmp(path, VOLUME_PATH_PREFIX, sizeof VOLUME_PATH_PREFIX - 1) == 0) {
        kind = SIM_KIND_VOLUME;
        rest = path + sizeof VOLUME_PATH_PREFIX - 1;
    } else {
        return 0;
    }
    if (simCheckName(rest) != 0)
        return 0;
    // simCheckName has held it to SIM_NAME_MAX bytes.
    memcpy(name, rest, strlen(rest) + 1);
    return kind;
}

int64_t openObject(Request_s* request)
{
    const uint8_t* block = request->block;
    uint64_t address = read64(block, BLOCK_BUFFER0_ADDRESS);
    uint64_t length = read64(block, BLOCK_BUFFER0_LENGTH);
    if (block[BLOCK_BUFFER_COUNT] != 1 || read64(block, BLOCK_P80) != 0 ||
        read32(block, BLOCK_P88) != OPEN_VALUE || read32(block, BLOCK_P112) != OPEN_FLAGS ||
        read32(block, BLOCK_P120) != 0 || length == 0) {
        return ZAPISIM_STATUS_MALFORMED;
    }
    // No admin path is this long; the bytes are not even looked at.
    if (length > SIM_PATH_SIZE)
        return ZAPISIM_STATUS_NO_OBJECT;
    static char path[SIM_PATH_SIZE + 1];
    int error = simCopyIn(path, address, length);
    if (error != 0)
        return failErrno(request, error);
    path[length] = '\0';
    // A byte string travels with exactly its character count + 1.
    if (path[length - 1] != '\0' || strlen(path) != length - 1)
        return ZAPISIM_STATUS_MALFORMED;
    if (request->slot == nullptr || request->slot->kind != KIND_ROOT)
        return ZAPISIM_STATUS_BAD_KEY;

    static char name[SIM_NAME_MAX + 1];
    int kind = parseAdminPath(path, name);
    static SimObjectFile_s object;
    bool exists = kind != 0 && simLoadObject(simRoot, kind, name, &object) == 0;
    // The journal names the object asked for, whether or not it is there.
    if (kind != 0) {
        describe(kind, name, request->object, sizeof request->object);
        request->faultName = name;
    }
    int64_t result = 0;
    if (injected(request, &result))
        return result;
    if (!exists)
        return ZAPISIM_STATUS_NO_OBJECT;
    KeySlot_s* slot = issueKey(kind, name);
    if (slot == nullptr)
        return failErrno(request, EMFILE);
    memcpy(request->block + BLOCK_KEY, &slot->key, sizeof slot->key);
    return 0;
}

// The layout shared by information and modify requests: one record buffer of the
// version-1 size, option bits 0, version 1, a mask of the object's own kind.
int64_t checkRecordRequest(const Request_s* request, uint64_t poolMask, uint64_t volumeMask)
{
    const uint8_t* block = request->block;
    uint64_t mask = read64(block, BLOCK_P96);
    if (block[BLOCK_BUFFER_COUNT] != 1 || read64(block, BLOCK_P80) != 0 ||
        read32(block, BLOCK_P92) != 0 || (mask != poolMask && mask != volumeMask) ||
        read32(block, BLOCK_P112) != RECORD_VERSION ||
        read64(block, BLOCK_BUFFER0_LENGTH) != SIM_RECORD_SIZE ||
        read64(block, BLOCK_BUFFER0_ADDRESS) == 0) {
        return ZAPISIM_STATUS_MALFORMED;
    }
    if (request->slot == nullptr || request->slot->kind == KIND_ROOT)
        return ZAPISIM_STATUS_BAD_KEY;
    int maskKind = mask == poolMask ? SIM_KIND_POOL : SIM_KIND_VOLUME;
    if (maskKind != request->slot->kind)
        return ZAPISIM_STATUS_BAD_KEY;
    return 0;
}

// The record of the key's object, read once no fault rule stands in for the request: 0, or
// the request's result (the rule's, no such object, or EIO for a store that cannot be read).
int64_t loadKeyObject(Request_s* request, SimObjectFile_s* object)
{
    int64_t result = 0;
    if (injected(request, &result))
        return result;
    int error = simLoadObject(simRoot, request->slot->kind, request->slot->name, object);
    if (error == ENOENT)
        return ZAPISIM_STATUS_NO_OBJECT;
    if (error != 0)
        return failErrno(request, EIO);
    return 0;
}

int64_t getInfo(Request_s* request)
{
    int64_t result = checkRecordRequest(request, POOL_INFO_MASK, VOLUME_INFO_MASK);
    if (result != 0)
        return result;
    uint64_t address = read64(request->block, BLOCK_BUFFER0_ADDRESS);
    static uint8_t sent[SIM_RECORD_SIZE];
    int error = simCopyIn(sent, address, SIM_RECORD_SIZE);
    if (error != 0)
        return failErrno(request, error);
    // The caller clears the record before it asks.
    for (size_t i = 0; i < SIM_RECORD_SIZE; ++i) {
        if (sent[i] != 0)
            return ZAPISIM_STATUS_MALFORMED;
    }
    static SimObjectFile_s object;
    result = loadKeyObject(request, &object);
    if (result != 0)
        return result;
    KeySlot_s* slot = request->slot;
    error = simCopyOut(address, object.record, SIM_RECORD_SIZE);
    if (error != 0)
        return failErrno(request, error);
    memcpy(slot->lastInfo, object.record, SIM_RECORD_SIZE);
    slot->hasInfo = true;
    return 0;
}

int64_t modifyInfo(Request_s* request)
{
    int64_t result = checkRecordRequest(request, POOL_MODIFY_MASK, VOLUME_MODIFY_MASK);
    if (result != 0)
        return result;
    KeySlot_s* slot = request->slot;
    static uint8_t sent[SIM_RECORD_SIZE];
    int error = simCopyIn(sent, read64(request->block, BLOCK_BUFFER0_ADDRESS), SIM_RECORD_SIZE);
    if (error != 0)
        return failErrno(request, error);
    // Every byte but the object ID must come back exactly as the last information
    // request on this key returned it.
    if (!slot->hasInfo)
        return ZAPISIM_STATUS_MALFORMED;
    size_t idOffset = simIdOffset(slot->kind);
    if (memcmp(sent, slot->lastInfo, idOffset) != 0 ||
        memcmp(sent + idOffset + SIM_ID_SIZE, slot->lastInfo + idOffset + SIM_ID_SIZE,
               SIM_RECORD_SIZE - idOffset - SIM_ID_SIZE) != 0) {
        return ZAPISIM_STATUS_MALFORMED;
    }
    static SimObjectFile_s object;
    result = loadKeyObject(request, &object);
    if (result != 0)
        return result;
    memcpy(object.record + idOffset, sent + idOffset, SIM_ID_SIZE);
    error = simSaveObject(simRoot, slot->kind, slot->name, &object, false);
    if (error != 0)
        return failErrno(request, EIO);
    return 0;
}

int64_t closeKey(Request_s* request)
{
    if (request->block[BLOCK_BUFFER_COUNT] != 0)
        return ZAPISIM_STATUS_MALFORMED;
    if (request->slot == nullptr)
        return ZAPISIM_STATUS_BAD_KEY;
    int64_t result = 0;
    if (injected(request, &result))
        return result;
    releaseKey(request->slot);
    return 0;
}

bool isOtherOperation(uint64_t operation)
{
    for (uint64_t other : OTHER_OPERATIONS) {
        if (other == operation)
            return true;
    }
    return false;
}

int64_t otherOperation(Request_s* request)
{
    if (request->block[BLOCK_BUFFER_COUNT] > 2)
        return ZAPISIM_STATUS_MALFORMED;
    int64_t result = 0;
    if (injected(request, &result))
        return result;
    return 0;
}

int64_t perform(Request_s* request)
{
    switch (request->operation) {
        case OP_ROOT_KEY:
            return rootKey(request);
        case OP_OPEN:
            return openObject(request);
        case OP_GET_INFO:
            return getInfo(request);
        case OP_MODIFY_INFO:
            return modifyInfo(request);
        case OP_CLOSE:
            return closeKey(request);
        default:
            return isOtherOperation(request->operation) ? otherOperation(request)
                                                        : ZAPISIM_STATUS_MALFORMED;
    }
}

}  // namespace

int simStartSystem(const char* dir)
{
    simJournalClose();
    simFaultsReset();
    resetKeys();
    simRoot[0] = '\0';
    simRootUsable = false;
    if (dir == nullptr || dir[0] == '\0')
        return 0;
    // The program may change its directory; the system must not move with it.
    if (realpath(dir, simRoot) == nullptr) {
        if (strlen(dir) >= sizeof simRoot)
            return -1;
        (void)snprintf(simRoot, sizeof simRoot, "%s", dir);
    }
    simRootUsable = simIsSystem(simRoot) != 0;
    if (!simRootUsable)
        return -1;
    if (simFaultsLoad(simRoot) != 0)
        return -2;
    simJournalLoad(simRoot);
    return 0;
}

int64_t simSystemRequest(uint8_t* block, uint64_t operation, int* errnoOut)
{
    static uint8_t sent[SIM_BLOCK_SIZE];
    memcpy(sent, block, SIM_BLOCK_SIZE);
    static Request_s request;
    request.block = block;
    request.operation = operation;
    request.slot = findKey(read64(block, BLOCK_KEY));
    request.faultName = nullptr;
    request.errnoValue = 0;
    strcpy(request.object, "-");
    if (request.slot != nullptr && operation != OP_OPEN) {
        describe(request.slot->kind, request.slot->name, request.object, sizeof request.object);
        if (request.slot->kind != KIND_ROOT)
            request.faultName = request.slot->name;
    }
    int64_t result = simRootUsable ? perform(&request) : ZAPISIM_STATUS_NO_SYSTEM;
    if (result != 0)
        memcpy(block, sent, SIM_BLOCK_SIZE);  // a failed request changes nothing
    simJournalRequest(operation, request.object, result, request.errnoValue,
                      read64(sent, BLOCK_KEY), sent, SIM_BLOCK_SIZE);
    *errnoOut = request.errnoValue;
    return result;
}

size_t simHeldKeys()
{
    return heldCount;
}

void simSystemExit()
{
    static uint64_t keys[MAX_KEYS];
    static char objects[MAX_KEYS][OBJECT_TEXT_SIZE];
    static const char* objectTexts[MAX_KEYS];
    size_t held = 0;
    for (size_t i = 0; i < MAX_KEYS; ++i) {
        if (keySlots[i].inUse)
            keys[held++] = keySlots[i].key;
    }
    // Keys grow with each one given out: sorted, they are in the order they were taken.
    qsort(keys, held, sizeof keys[0], [](const void* left, const void* right) {
        uint64_t a = *static_cast<const uint64_t*>(left);
        uint64_t b = *static_cast<const uint64_t*>(right);
        return a < b ? -1 : a > b ? 1 : 0;
    });
    for (size_t i = 0; i < held; ++i) {
        KeySlot_s* slot = findKey(keys[i]);
        describe(slot->kind, slot->name, objects[i], sizeof objects[i]);
        objectTexts[i] = objects[i];
    }
    simJournalExit(held, keys, objectTexts);
}

namespace {

// The process "zapisim run" started, and the descriptor on which it waits for this
// library's word that the process ended with it ("PID FD" in ZAPISIM_RUN_END).
pid_t runPid = 0;
int runEndFd = -1;
volatile sig_atomic_t runEndSaid = 0;

// The word, once, from that process alone: it may come from a signal handler's _exit, so
// only system calls are made.
void sayRunEnded()
{
    if (runEndFd < 0 || runEndSaid != 0 || getpid() != runPid)
        return;
    runEndSaid = 1;
    const char ended = 'E';
    (void)syscall(SYS_write, runEndFd, &ended, 1);
}

[[noreturn]] void endProcess(int status)
{
    sayRunEnded();
    (void)syscall(SYS_exit_group, status);
    __builtin_unreachable();
}

void watchRunEnd()
{
    const char* value = getenv("ZAPISIM_RUN_END");
    if (value == nullptr)
        return;
    char* end = nullptr;
    long pid = strtol(value, &end, 10);
    long fd = *end == ' ' ? strtol(end + 1, &end, 10) : -1;
    if (*end != '\0' || pid <= 0 || fd < 0 || fd > INT_MAX)
        return;
    runPid = static_cast<pid_t>(pid);
    runEndFd = static_cast<int>(fd);
    // Ahead of the exit handlers registered before it, such as a leak checker's.
    (void)atexit(sayRunEnded);
}

__attribute__((constructor)) void startFromEnvironment()
{
    watchRunEnd();
    const char* root = getenv("ZAPISIM_ROOT");
    if (root == nullptr || root[0] == '\0')
        return;
    ++simDepth;
    // A run whose faults cannot all be read would pass for one with them: the program
    // stops before it starts, after the library's message on standard error.
    if (simStartSystem(root) == -2)
        _exit(2);
    // An unusable directory still stands behind the device: its requests then fail
    // with ZAPISIM_STATUS_NO_SYSTEM rather than reaching no device at all. One too long
    // to be a path is kept cut short, unusable all the same.
    if (simRoot[0] == '\0')
        (void)snprintf(simRoot, sizeof simRoot, "%s", root);
    --simDepth;
}

__attribute__((destructor)) void finishProcess()
{
    if (simRoot[0] == '\0' || !simRootUsable)
        return;
    ++simDepth;
    simPowerExit();
    simSystemExit();
    simJournalClose();
    --simDepth;
}

}  // namespace

#pragma GCC visibility push(default)
extern "C" {

int zapisimUseSystem(const char* dir)
{
    ++simDepth;
    int result = simStartSystem(dir);
    if (result != 0)
        simStartSystem(nullptr);
    --simDepth;
    return result != 0 ? -1 : 0;
}

size_t zapisimHeldKeyCount(void)
{
    return heldCount;
}

// A process that ends without its exit handlers ends with the library all the same.
void _exit(int status)
{
    endProcess(status);
}

void _Exit(int status)
{
    endProcess(status);
}

}  // extern "C"
#pragma GCC visibility pop
