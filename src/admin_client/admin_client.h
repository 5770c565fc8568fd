// SPDX-License-Identifier: Apache-2.0
// Client side of the storage system's admin device "/dev/zapi": one 208-byte request
// block per operation, passed with one pread64 whose offset is the operation code.
#pragma once

#include <cstddef>
#include <cstdint>

// The admin device itself.
inline constexpr const char* ADMIN_DEVICE_PATH = "/dev/zapi";

// Process-wide device descriptor; -1 until the first successful zRootKey opens it.
extern int32_t zapiFd;

struct ZapiBuffer_s {
    uint64_t address;
    uint64_t length;
};

struct ZapiRequest_s {
    uint8_t unused0[4];
    uint8_t bufferCount;  // 0, 1 or 2 descriptors in use
    uint8_t unused5[11];
    uint64_t key;  // in: object acted on; out: new key
    uint8_t unused24[16];
    ZapiBuffer_s buffers[2];
    uint8_t unused72[8];
    uint8_t params[128];  // per-operation fields at block offsets 80..207
};
static_assert(sizeof(ZapiBuffer_s) == 16);
static_assert(offsetof(ZapiBuffer_s, address) == 0);
static_assert(offsetof(ZapiBuffer_s, length) == 8);
static_assert(sizeof(ZapiRequest_s) == 208);
static_assert(offsetof(ZapiRequest_s, unused0) == 0);
static_assert(offsetof(ZapiRequest_s, bufferCount) == 4);
static_assert(offsetof(ZapiRequest_s, unused5) == 5);
static_assert(offsetof(ZapiRequest_s, key) == 16);
static_assert(offsetof(ZapiRequest_s, unused24) == 24);
static_assert(offsetof(ZapiRequest_s, buffers) == 40);
static_assert(offsetof(ZapiRequest_s, buffers) + sizeof(ZapiBuffer_s) == 56);
static_assert(offsetof(ZapiRequest_s, unused72) == 72);
static_assert(offsetof(ZapiRequest_s, params) == 80);

// Version-1 information record. Only the fields below are the tool's; every other
// byte belongs to the device and is passed back exactly as it came.
constexpr size_t ZAPI_INFO_SIZE = 1212;
constexpr size_t ZAPI_INFO_VOLUME_OBJECT_ID = 416;
constexpr size_t ZAPI_INFO_VOLUME_STATE = 432;
constexpr size_t ZAPI_INFO_POOL_OBJECT_ID = 616;
constexpr size_t ZAPI_INFO_POOL_STATE = 632;
constexpr size_t ZAPI_INFO_PRESET_LIMIT = 700;
constexpr size_t ZAPI_INFO_PRESET_ZERO = 708;

struct ZapiInfo_s {
    uint8_t unused0[416];
    uint8_t volumeObjectId[16];
    uint32_t volumeState;
    uint8_t unused436[180];
    uint8_t poolObjectId[16];
    uint32_t poolState;
    uint8_t unused636[64];
    uint8_t presetLimit[8];  // 64-bit, at an offset that is not a multiple of 8
    uint8_t presetZero[8];
    uint8_t unused716[496];
};
static_assert(sizeof(ZapiInfo_s) == ZAPI_INFO_SIZE);
static_assert(offsetof(ZapiInfo_s, volumeObjectId) == ZAPI_INFO_VOLUME_OBJECT_ID);
static_assert(offsetof(ZapiInfo_s, volumeState) == ZAPI_INFO_VOLUME_STATE);
static_assert(offsetof(ZapiInfo_s, poolObjectId) == ZAPI_INFO_POOL_OBJECT_ID);
static_assert(offsetof(ZapiInfo_s, poolState) == ZAPI_INFO_POOL_STATE);
static_assert(offsetof(ZapiInfo_s, presetLimit) == ZAPI_INFO_PRESET_LIMIT);
static_assert(offsetof(ZapiInfo_s, presetZero) == ZAPI_INFO_PRESET_ZERO);

// Operation codes of the five operations the tool uses. The device's other operations are
// in other_admin_operations.h.
constexpr uint64_t ZAPI_OP_GET_INFO = 16;
constexpr uint64_t ZAPI_OP_MODIFY_INFO = 22;
constexpr uint64_t ZAPI_OP_OPEN = 23;
constexpr uint64_t ZAPI_OP_ROOT_KEY = 1000;
constexpr uint64_t ZAPI_OP_CLOSE = 1001;

// Masks and values the tool uses.
constexpr uint64_t ZAPI_POOL_INFO_MASK = 0x40050;
constexpr uint64_t ZAPI_VOLUME_INFO_MASK = 0x10050;
constexpr uint64_t ZAPI_POOL_MODIFY_MASK = 0x400000;
constexpr uint64_t ZAPI_VOLUME_MODIFY_MASK = 0x10000;
constexpr uint64_t ZAPI_INFO_PRESET_MASK = 0x80000;
constexpr uint32_t ZAPI_STATE_ACTIVE = 6;
constexpr uint32_t ZAPI_OPEN_VALUE = 50;
constexpr uint32_t ZAPI_OPEN_FLAGS = 0x40000004;
constexpr uint32_t ZAPI_FLAG_BYTE_STRING = 0x40000000;
constexpr uint32_t ZAPI_INFO_VERSION = 1;

// Turns a pread64 result into a status: -1 gives errno, anything else is returned as is.
uint32_t zapiStatus(int64_t result);
// Units before the first 0 unit of a 16-bit string.
uint64_t wideLength(const uint16_t* text);

// Every operation returns 0 or a failure status and writes out-parameters only on 0.
uint32_t zRootKey(uint32_t rootSelector, uint64_t* rootKey);
uint32_t zOpen(uint64_t key, uint32_t openValue, uint32_t openFlags, const void* path,
               uint32_t secondOpenValue, uint64_t* newKey);
uint32_t zGetInfo(uint64_t key, uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion,
                  void* record);
uint32_t zModifyInfo(uint64_t key, uint64_t modifyValue, uint64_t infoMask, uint64_t recordSize,
                     uint32_t recordVersion, void* record);
uint32_t zClose(uint64_t key);
