// SPDX-License-Identifier: Apache-2.0
// The admin device transport: the shared descriptor, the status convention and the one
// request step that every operation goes through.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "admin_client.h"
#include "zapi_block.h"

int32_t zapiFd = -1;

uint32_t zapiStatus(int64_t result)
{
    // A failed call or a device status whose low 32 bits are zero must not read as
    // success: the caller would then use results the device never gave.
    if (result == -1) {
        return errno != 0 ? static_cast<uint32_t>(errno) : static_cast<uint32_t>(EIO);
    }
    if (result != 0 && (result & 0xFFFFFFFF) == 0) {
        return static_cast<uint32_t>(EIO);
    }
    return static_cast<uint32_t>(result);
}

uint64_t wideLength(const uint16_t* text)
{
    if (text == nullptr) {
        return 0;
    }
    // Read unit by unit through bytes: callers also hand in names typed as void*,
    // which need not be 2-byte aligned.
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text);
    uint64_t units = 0;
    while (bytes[2 * units] != 0 || bytes[2 * units + 1] != 0) {
        units++;
    }
    return units;
}

// The device is opened by the first zRootKey and stays open for the life of the process.
uint32_t zapiOpenDevice()
{
    if (zapiFd != -1) {
        return 0;
    }
    int fd = open64(ADMIN_DEVICE_PATH, 0);
    if (fd == -1) {
        return zapiStatus(-1);
    }
    // Looked at once more: whoever stored a descriptor first keeps it.
    if (zapiFd == -1) {
        zapiFd = fd;
    } else {
        close(fd);
    }
    return 0;
}

uint32_t zapiSubmit(ZapiRequest_s* block, uint64_t operation)
{
    // Made exactly once: an interrupted request is the caller's failure, not repeated.
    int64_t result = pread64(zapiFd, block, sizeof(ZapiRequest_s), static_cast<off64_t>(operation));
    return zapiStatus(result);
}

void zapiBegin(ZapiRequest_s* block, uint64_t key, uint8_t bufferCount)
{
    memset(block, 0, sizeof(ZapiRequest_s));
    block->key = key;
    block->bufferCount = bufferCount;
}

void zapiPutBytes(ZapiRequest_s* block, size_t offset, const void* bytes, size_t size)
{
    memcpy(reinterpret_cast<uint8_t*>(block) + offset, bytes, size);
}

void zapiPut32(ZapiRequest_s* block, size_t offset, uint32_t value)
{
    zapiPutBytes(block, offset, &value, sizeof(value));
}

void zapiPut64(ZapiRequest_s* block, size_t offset, uint64_t value)
{
    zapiPutBytes(block, offset, &value, sizeof(value));
}

void zapiPutBuffer(ZapiRequest_s* block, int index, const void* address, uint64_t length)
{
    block->buffers[index].address = reinterpret_cast<uintptr_t>(address);
    block->buffers[index].length = length;
}

void zapiPutString(ZapiRequest_s* block, int index, const void* text, bool byteString)
{
    uint64_t length = 0;
    if (text != nullptr) {
        length = byteString ? strlen(static_cast<const char*>(text)) + 1
                            : 2 * wideLength(static_cast<const uint16_t*>(text)) + 2;
    }
    zapiPutBuffer(block, index, text, length);
}

void zapiPutFlaggedString(ZapiRequest_s* block, int index, const void* text, uint32_t flags)
{
    zapiPutString(block, index, text, (flags & ZAPI_FLAG_BYTE_STRING) != 0);
}

void zapiPutOptionalName(ZapiRequest_s* block, const void* name, uint32_t flags)
{
    block->bufferCount = name != nullptr ? 1 : 0;
    zapiPutFlaggedString(block, 0, name, flags);
}

void zapiPresetRecord(uint32_t recordVersion, uint64_t infoMask, void* record)
{
    if (recordVersion > 1 && recordVersion <= 5 && (infoMask & ZAPI_INFO_PRESET_MASK) != 0 &&
        record != nullptr) {
        const uint64_t limit = 0x7FFFFFFFFFFFFFFF;
        const uint64_t zero = 0;
        uint8_t* bytes = static_cast<uint8_t*>(record);
        memcpy(bytes + ZAPI_INFO_PRESET_LIMIT, &limit, sizeof(limit));
        memcpy(bytes + ZAPI_INFO_PRESET_ZERO, &zero, sizeof(zero));
    }
}

uint32_t zapiSubmitKey(ZapiRequest_s* block, uint64_t operation, uint64_t* newKey)
{
    uint32_t status = zapiSubmit(block, operation);
    if (status == 0 && newKey != nullptr) {
        *newKey = block->key;
    }
    return status;
}
