// SPDX-License-Identifier: Apache-2.0
// Inside the admin client: parameter-area offsets and the helpers that fill a request
// block, submit it and copy results out of it. Not part of the client's public face.
#pragma once

#include <cstddef>
#include <cstdint>

#include "admin_client.h"

// Parameter-area fields are named by their block offset so that each operation reads
// like its field list ("80:64 = value"). The width is given where the field is used.
constexpr size_t ZAPI_PARAM_80 = 80;
constexpr size_t ZAPI_PARAM_84 = 84;  // long identity of operation 35 (84..151)
constexpr size_t ZAPI_PARAM_88 = 88;
constexpr size_t ZAPI_OPTION_BITS = 92;
constexpr size_t ZAPI_PARAM_96 = 96;
constexpr size_t ZAPI_PARAM_112 = 112;
constexpr size_t ZAPI_PARAM_116 = 116;  // identity of operations 2, 10, 18 (116..183)
constexpr size_t ZAPI_PARAM_120 = 120;  // optional 16-byte ID (120..135)
constexpr size_t ZAPI_PARAM_124 = 124;
constexpr size_t ZAPI_PARAM_128 = 128;
constexpr size_t ZAPI_PARAM_132 = 132;
constexpr size_t ZAPI_PARAM_136 = 136;
constexpr size_t ZAPI_PARAM_144 = 144;
constexpr size_t ZAPI_PARAM_152 = 152;
constexpr size_t ZAPI_PARAM_156 = 156;
constexpr size_t ZAPI_PARAM_160 = 160;
constexpr size_t ZAPI_PARAM_184 = 184;
constexpr size_t ZAPI_PARAM_188 = 188;
constexpr size_t ZAPI_CURSOR = 192;
constexpr size_t ZAPI_PARAM_196 = 196;

// A field of `size` bytes at `offset` lies wholly in the parameter area, on a 4-byte
// boundary (64-bit fields need not be on an 8-byte one: 84, 116 and 700 are not).
constexpr bool zapiParamFits(size_t offset, size_t size)
{
    return offset >= offsetof(ZapiRequest_s, params) && offset % 4 == 0 &&
           offset + size <= sizeof(ZapiRequest_s);
}
static_assert(ZAPI_PARAM_80 == offsetof(ZapiRequest_s, params) && zapiParamFits(ZAPI_PARAM_80, 8));
static_assert(zapiParamFits(ZAPI_PARAM_88, 4));
static_assert(zapiParamFits(ZAPI_OPTION_BITS, 4));
static_assert(zapiParamFits(ZAPI_PARAM_96, 8));
static_assert(zapiParamFits(ZAPI_PARAM_112, 8));
static_assert(zapiParamFits(ZAPI_PARAM_124, 4));
static_assert(zapiParamFits(ZAPI_PARAM_128, 8));
static_assert(zapiParamFits(ZAPI_PARAM_132, 4));
static_assert(zapiParamFits(ZAPI_PARAM_136, 8));
static_assert(zapiParamFits(ZAPI_PARAM_144, 8));
static_assert(zapiParamFits(ZAPI_PARAM_152, 4));
static_assert(zapiParamFits(ZAPI_PARAM_156, 4));
static_assert(zapiParamFits(ZAPI_PARAM_160, 4));
static_assert(zapiParamFits(ZAPI_PARAM_184, 4));
static_assert(zapiParamFits(ZAPI_PARAM_188, 4));
static_assert(zapiParamFits(ZAPI_CURSOR, 4));
static_assert(zapiParamFits(ZAPI_PARAM_196, 4));
static_assert(ZAPI_PARAM_196 + 4 <= sizeof(ZapiRequest_s));

// Clears the block and writes the key and the descriptor count.
void zapiBegin(ZapiRequest_s* block, uint64_t key, uint8_t bufferCount);
// Scalars and byte runs at a block offset (memcpy: the offsets need not be aligned).
void zapiPut32(ZapiRequest_s* block, size_t offset, uint32_t value);
void zapiPut64(ZapiRequest_s* block, size_t offset, uint64_t value);
void zapiPutBytes(ZapiRequest_s* block, size_t offset, const void* bytes, size_t size);
// A caller buffer with its own length into buffers[index].
void zapiPutBuffer(ZapiRequest_s* block, int index, const void* address, uint64_t length);
// A string into buffers[index], its length by its form; an absent string as 0, 0.
void zapiPutString(ZapiRequest_s* block, int index, const void* text, bool byteString);
// As zapiPutString, the form taken from bit 0x40000000 of the flags word.
void zapiPutFlaggedString(ZapiRequest_s* block, int index, const void* text, uint32_t flags);
// A name that may be absent: count 1 and the name, or count 0 and a zero descriptor.
void zapiPutOptionalName(ZapiRequest_s* block, const void* name, uint32_t flags);
// The preset rule of info-record requests, applied before the block is filled.
void zapiPresetRecord(uint32_t recordVersion, uint64_t infoMask, void* record);

// Opens "/dev/zapi" into zapiFd unless it is open already; 0 or the open's error number.
uint32_t zapiOpenDevice();
// Makes the one request: pread64 of the block with the operation code as offset.
uint32_t zapiSubmit(ZapiRequest_s* block, uint64_t operation);

// The request step with the new key copied out on success; a null out-parameter is simply
// not written.
uint32_t zapiSubmitKey(ZapiRequest_s* block, uint64_t operation, uint64_t* newKey);
