// SPDX-License-Identifier: Apache-2.0
// The admin device's other operations, one function each, named by operation code. The
// tool calls none of them: they complete the client and are built and tested on their own,
// never linked into korvane. Same conventions as admin_client.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "admin_client.h"

// Statuses the client makes itself, before any request.
constexpr uint32_t ZAPI_STATUS_NO_IDENTITY = 0xFFFFFFFF;  // a required identity is missing
constexpr uint32_t ZAPI_STATUS_BAD_ARGUMENT = 20008;      // operation 43's checks

// Option bits at block offset 92.
constexpr uint32_t ZAPI_OPTION_WANT_KEY = 0x1;
constexpr uint32_t ZAPI_OPTION_ID = 0x4;
constexpr uint32_t ZAPI_OPTION_41 = 0x8;
constexpr uint32_t ZAPI_OPTION_SHORT_IDENTITY = 0x10;
constexpr uint32_t ZAPI_OPTION_PASSED = 0x20000000;  // the only options bit 39 passes on

// Identities: form 0 is a 16-byte ID, any other form the 68-byte long identity.
constexpr size_t ZAPI_ID_SIZE = 16;
constexpr size_t ZAPI_LONG_IDENTITY_SIZE = 68;
constexpr uint32_t ZAPI_NAME_FORM_BYTES = 6;   // operation 31: the name is a byte string
constexpr uint64_t ZAPI_DATA_LIMIT = 0x10000;  // operation 43: largest data length

struct ZapiId_s {
    uint8_t bytes[ZAPI_ID_SIZE];
};
static_assert(sizeof(ZapiId_s) == ZAPI_ID_SIZE);

// Names are byte strings when bit 0x40000000 of their flags word is set, else 16-bit
// strings. Optional pointers may be null; a null out-parameter is simply not written.
uint32_t zOp1(uint64_t key, uint64_t value);
uint32_t zOp2(uint64_t key, uint64_t value, const void* identity, uint32_t value184, uint32_t form);
uint32_t zOp2Short(uint64_t key, uint64_t value, const ZapiId_s* id, uint32_t value184);
uint32_t zOp4(uint64_t key, uint32_t value, uint64_t* result);
uint32_t zOp5(uint64_t key, uint32_t value88, uint64_t value80, uint64_t* result);
uint32_t zOp6(uint64_t key, uint32_t value80, uint32_t value88, uint64_t* newKey);
uint32_t zOp7(uint64_t key, uint64_t value);
uint32_t zOp8(uint64_t key, uint32_t value88, uint64_t value80, uint32_t flags, const void* name,
              uint32_t value124, uint32_t value128, uint64_t value96, uint32_t value120,
              uint64_t* newKey);
uint32_t zOp9(uint64_t key, uint64_t value80, uint32_t flags, const void* name, uint32_t value120,
              uint64_t value96);
uint32_t zOp10(uint64_t key, uint64_t value, const void* identity, uint32_t form);
uint32_t zOp10Short(uint64_t key, uint64_t value, const ZapiId_s* id);
uint32_t zOp13(uint64_t key, uint32_t value);
uint32_t zOp14(uint64_t key);
uint32_t zOp15(uint64_t key, uint64_t unused, uint64_t value112, uint32_t value128,
               uint64_t bufferSize, void* buffer, uint64_t* result120, uint64_t* result132);
uint32_t zOp17(uint64_t key, uint32_t* result);
// identity needs room for 68 bytes; nextCursor is all ones when the device says 0xFFFFFFFF.
uint32_t zOp18(uint64_t key, uint32_t cursor, void* identity, uint64_t* result184,
               uint64_t* nextCursor, uint32_t* form);
uint32_t zOp18Short(uint64_t key, uint32_t cursor, ZapiId_s* id, uint64_t* result184,
                    uint64_t* nextCursor);
uint32_t zOp20(uint64_t key, uint64_t value80, uint32_t firstFlags, const void* firstName,
               uint32_t value120, uint32_t secondFlags, const void* secondName, uint64_t value96);
uint32_t zOp21(uint64_t key, uint64_t value80, uint64_t value96, uint64_t value112,
               uint64_t value120, uint32_t value128);
uint32_t zOp24(uint64_t key, uint32_t value88, uint32_t value112, const ZapiId_s* id,
               uint64_t value136, uint32_t value152, uint64_t* newKey);
uint32_t zOp26(uint64_t key, uint64_t value80, uint32_t firstFlags, const void* firstName,
               uint32_t value120, uint32_t secondFlags, const void* secondName, uint64_t value96);
uint32_t zOp27(uint64_t key, uint64_t value80, uint64_t value112, uint64_t value96);
uint32_t zOp28(uint64_t key, uint64_t value80, uint32_t value196);
uint32_t zOp30(uint64_t key, uint64_t value80, uint64_t value112, uint64_t value120);
uint32_t zOp31(uint64_t key, uint32_t nameForm, uint32_t value120, const void* name,
               uint32_t value124, uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion,
               void* record);
uint32_t zOp32(uint64_t key);
uint32_t zOp33(uint64_t key, uint64_t value80, uint64_t value112, uint64_t bufferSize, void* buffer,
               uint64_t* result);
uint32_t zOp34(uint64_t key, uint64_t value128, uint32_t value120, uint32_t value124,
               uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion, void* record,
               uint64_t* result);
uint32_t zOp35(uint64_t key, const void* identity, uint64_t* result, uint32_t form);
uint32_t zOp35ByValue(uint64_t key, ZapiId_s id, uint64_t* result);
uint32_t zOp36(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value96);
uint32_t zOp36WithValue(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
                        uint32_t value112, uint64_t value96);
uint32_t zOp37(uint64_t key, uint32_t value88, uint64_t value80, uint32_t flags, const ZapiId_s* id,
               uint64_t value136, const void* name, uint32_t value156, uint32_t value160,
               uint64_t value96, uint32_t value152, uint64_t* newKey);
uint32_t zOp38(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value144, uint32_t flags, const void* name, uint64_t value96);
uint32_t zOp39(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value144, uint32_t flags, const void* name, uint64_t value96);
uint32_t zOp39WithOptions(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
                          uint32_t options, uint64_t value144, uint32_t flags, const void* name,
                          uint64_t value96);
uint32_t zOp41(uint64_t key, uint32_t flags, const void* name, uint64_t infoMask,
               uint64_t recordSize, uint32_t recordVersion, uint32_t option, void* record);
uint32_t zOp42(uint64_t key, uint64_t value80, uint32_t flags, const void* name, uint64_t infoMask,
               uint64_t recordSize, uint32_t recordVersion, void* record);
uint32_t zOp43Name(uint64_t key, const uint16_t* name);
uint32_t zOp43NameData(uint64_t key, const uint16_t* name, uint64_t dataLength, const void* data);
uint32_t zOp1002(uint64_t key, uint64_t unused, uint64_t value112, uint64_t bufferSize,
                 void* buffer, uint64_t* result);

// The entry `index` of a device record (version word at 0, at most 5; 32-bit entry count at
// 120; 32-bit offset of its table of 32-bit entry offsets at 124), or null. No request.
const void* recordEntry(const void* record, uint64_t index);
