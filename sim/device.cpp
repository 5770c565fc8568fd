// SPDX-License-Identifier: Apache-2.0
// "/dev/zapi" as the program sees it: the descriptors handed out for it, the
// scripted mode used by in-process client tests, and the hand-over of each request
// to the storage-backed device.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "sim_internal.h"
#pragma GCC visibility push(default)
#include "zapisim.h"
#pragma GCC visibility pop

namespace {

constexpr size_t MAX_DEVICE_FDS = 64;
int deviceFds[MAX_DEVICE_FDS];
size_t deviceFdCount = 0;

bool scripted = false;
size_t openCount = 0;
size_t closeCount = 0;
int failNextOpen = 0;
int lastOpenFlags = -1;

struct RecordedRequest_s {
    uint8_t block[SIM_BLOCK_SIZE];
    uint64_t offset;
    uint64_t size;
    int fd;
};
RecordedRequest_s* recorded = nullptr;
size_t recordedCount = 0;
size_t recordedCapacity = 0;

struct ScriptedAnswer_s {
    uint64_t operation;
    int64_t result;
    int errnoValue;
    bool used;
    bool hasImage;
    uint8_t image[SIM_BLOCK_SIZE];
    uint8_t mask[SIM_BLOCK_SIZE];
};
constexpr size_t MAX_ANSWERS = 1024;
ScriptedAnswer_s answers[MAX_ANSWERS];
size_t answerCount = 0;

bool addDeviceFd(int fd)
{
    if (deviceFdCount == MAX_DEVICE_FDS)
        return false;
    deviceFds[deviceFdCount++] = fd;
    return true;
}

// A real descriptor that stands for the device: the reading end of a pipe of its own,
// whose writing end is closed, so that reads on it are harmless and no other file (such
// as /dev/null) is the same open file as the device.
int openStandIn()
{
    int ends[2];
    if (pipe(ends) != 0)
        return -1;
    simRealClose(ends[1]);
    int fd = ends[0];
    if (!addDeviceFd(fd)) {
        simRealClose(fd);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

void record(const uint8_t* block, uint64_t offset, uint64_t size, int fd)
{
    if (recordedCount == recordedCapacity) {
        size_t capacity = recordedCapacity == 0 ? 64 : recordedCapacity * 2;
        void* grown = realloc(recorded, capacity * sizeof(RecordedRequest_s));
        if (grown == nullptr)
            return;
        recorded = static_cast<RecordedRequest_s*>(grown);
        recordedCapacity = capacity;
    }
    RecordedRequest_s* entry = &recorded[recordedCount++];
    memcpy(entry->block, block, SIM_BLOCK_SIZE);
    entry->offset = offset;
    entry->size = size;
    entry->fd = fd;
}

ScriptedAnswer_s* takeAnswer(uint64_t operation)
{
    for (size_t i = 0; i < answerCount; ++i) {
        if (!answers[i].used && answers[i].operation == operation) {
            answers[i].used = true;
            return &answers[i];
        }
    }
    return nullptr;
}

int64_t scriptedRequest(int fd, void* buffer, size_t count, off64_t offset, uint8_t* block,
                        size_t take, int copyError, int* errnoOut)
{
    record(block, static_cast<uint64_t>(offset), count, fd);
    if (copyError != 0) {
        *errnoOut = copyError;
        return -1;
    }
    ScriptedAnswer_s* answer = takeAnswer(static_cast<uint64_t>(offset));
    if (answer == nullptr)
        return 0;
    if (answer->hasImage) {
        for (size_t i = 0; i < take; ++i) {
            if (answer->mask[i] != 0)
                block[i] = answer->image[i];
        }
        int error = simCopyOut(reinterpret_cast<uint64_t>(buffer), block, take);
        if (error != 0) {
            *errnoOut = error;
            return -1;
        }
    }
    *errnoOut = answer->errnoValue;
    return answer->result;
}

uint64_t keyOf(const uint8_t* block, size_t take)
{
    uint64_t key = 0;
    if (take >= 24)
        memcpy(&key, block + 16, sizeof key);
    return key;
}

int64_t systemRequest(void* buffer, size_t count, off64_t offset, uint8_t* block, size_t take,
                      int copyError, int* errnoOut)
{
    uint64_t operation = static_cast<uint64_t>(offset);
    int64_t result = 0;
    if (copyError != 0) {
        *errnoOut = copyError;
        simJournalRequest(operation, "-", -1, copyError, 0, block, 0);
        return -1;
    }
    if (count != SIM_BLOCK_SIZE) {
        result = ZAPISIM_STATUS_MALFORMED;
        simJournalRequest(operation, "-", result, 0, keyOf(block, take), block, take);
        return result;
    }
    result = simSystemRequest(block, operation, errnoOut);
    if (result == 0) {
        int error = simCopyOut(reinterpret_cast<uint64_t>(buffer), block, SIM_BLOCK_SIZE);
        if (error != 0) {
            *errnoOut = error;
            return -1;
        }
    }
    return result;
}

}  // namespace

bool simDeviceActive()
{
    return scripted || simRoot[0] != '\0';
}

int simDeviceOpen(int flags)
{
    ++simDepth;
    int fd = -1;
    int errnoValue = 0;
    lastOpenFlags = flags;
    if (scripted) {
        if (failNextOpen != 0) {
            errnoValue = failNextOpen;
            failNextOpen = 0;
        } else {
            fd = openStandIn();
            if (fd < 0)
                errnoValue = errno;
            else
                ++openCount;
        }
    } else if (simFaultDeviceOpen(&errnoValue)) {
        fd = -1;
    } else if ((flags & ~O_LARGEFILE) != O_RDONLY) {
        // The device is opened read-only, without create, close-on-exec or any other flag.
        errnoValue = EINVAL;
    } else {
        fd = openStandIn();
        if (fd < 0)
            errnoValue = errno;
    }
    --simDepth;
    if (fd < 0)
        errno = errnoValue;
    return fd;
}

bool simIsDeviceFd(int fd)
{
    for (size_t i = 0; i < deviceFdCount; ++i) {
        if (deviceFds[i] == fd)
            return true;
    }
    return false;
}

void simDeviceClosing(int fd)
{
    for (size_t i = 0; i < deviceFdCount; ++i) {
        if (deviceFds[i] == fd) {
            deviceFds[i] = deviceFds[--deviceFdCount];
            ++closeCount;
            return;
        }
    }
}

ssize_t simDeviceRequest(int fd, void* buffer, size_t count, off64_t offset)
{
    ++simDepth;
    uint8_t block[SIM_BLOCK_SIZE] = {};
    size_t take = count < SIM_BLOCK_SIZE ? count : SIM_BLOCK_SIZE;
    int copyError = simCopyIn(block, reinterpret_cast<uint64_t>(buffer), take);
    int errnoValue = 0;
    int64_t result =
        scripted ? scriptedRequest(fd, buffer, count, offset, block, take, copyError, &errnoValue)
                 : systemRequest(buffer, count, offset, block, take, copyError, &errnoValue);
    --simDepth;
    if (result == -1)
        errno = errnoValue;
    return static_cast<ssize_t>(result);
}

#pragma GCC visibility push(default)
extern "C" {

void zapisimScriptBegin(void)
{
    scripted = true;
    recordedCount = 0;
    answerCount = 0;
    openCount = 0;
    closeCount = 0;
    failNextOpen = 0;
    lastOpenFlags = -1;
}

void zapisimScriptEnd(void)
{
    scripted = false;
    answerCount = 0;
}

size_t zapisimRequestCount(void)
{
    return recordedCount;
}

const uint8_t* zapisimRequestBlock(size_t index)
{
    return index < recordedCount ? recorded[index].block : nullptr;
}

uint64_t zapisimRequestOffset(size_t index)
{
    return index < recordedCount ? recorded[index].offset : 0;
}

uint64_t zapisimRequestSize(size_t index)
{
    return index < recordedCount ? recorded[index].size : 0;
}

int zapisimRequestFd(size_t index)
{
    return index < recordedCount ? recorded[index].fd : -1;
}

size_t zapisimDeviceOpenCount(void)
{
    return openCount;
}

size_t zapisimDeviceCloseCount(void)
{
    return closeCount;
}

int zapisimDeviceOpenFlags(void)
{
    return lastOpenFlags;
}

void zapisimFailNextDeviceOpen(int errnoValue)
{
    failNextOpen = errnoValue;
}

void zapisimAnswerNext(uint64_t operation, int64_t result, int errnoValue, const uint8_t* image,
                       const uint8_t* mask)
{
    if (answerCount == MAX_ANSWERS)
        return;
    ScriptedAnswer_s* answer = &answers[answerCount++];
    answer->operation = operation;
    answer->result = result;
    answer->errnoValue = errnoValue;
    answer->used = false;
    answer->hasImage = image != nullptr;
    if (answer->hasImage) {
        memcpy(answer->image, image, SIM_BLOCK_SIZE);
        // Without a mask the whole image is the answer.
        if (mask != nullptr)
            memcpy(answer->mask, mask, SIM_BLOCK_SIZE);
        else
            memset(answer->mask, 1, SIM_BLOCK_SIZE);
    }
}

}  // extern "C"
#pragma GCC visibility pop
