// SPDX-License-Identifier: Apache-2.0
// Device operations that pass names, optional IDs or hand out new keys.
#include "other_block.h"

// The fields operations 8 and 37 share.
static void beginNewKeyRequest(ZapiRequest_s* block, uint64_t key, uint32_t value88,
                               uint64_t value80, uint32_t flags, const void* name, uint64_t value96)
{
    zapiBegin(block, key, 0);
    zapiPutOptionalName(block, name, flags);
    zapiPut64(block, ZAPI_PARAM_80, value80);
    zapiPut32(block, ZAPI_PARAM_88, value88);
    zapiPut64(block, ZAPI_PARAM_96, value96);
    zapiPut32(block, ZAPI_PARAM_112, flags);
}

// A caller that passes no place for the new key does not want it: it is released at
// once, so that it does not stay held in the device, and the operation still succeeds.
static uint32_t submitForNewKey(ZapiRequest_s* block, uint64_t operation, uint64_t* newKey)
{
    uint32_t status = zapiSubmit(block, operation);
    if (status == 0) {
        if (newKey != nullptr) {
            *newKey = block->key;
        } else {
            zClose(block->key);
        }
    }
    return status;
}

static uint32_t wantKeyBit(const uint64_t* newKey)
{
    return newKey != nullptr ? ZAPI_OPTION_WANT_KEY : 0;
}

uint32_t zOp8(uint64_t key, uint32_t value88, uint64_t value80, uint32_t flags, const void* name,
              uint32_t value124, uint32_t value128, uint64_t value96, uint32_t value120,
              uint64_t* newKey)
{
    ZapiRequest_s block;
    beginNewKeyRequest(&block, key, value88, value80, flags, name, value96);
    zapiPut32(&block, ZAPI_OPTION_BITS, wantKeyBit(newKey));
    zapiPut32(&block, ZAPI_PARAM_120, value120);
    zapiPut32(&block, ZAPI_PARAM_124, value124);
    zapiPut32(&block, ZAPI_PARAM_128, value128);
    return submitForNewKey(&block, 8, newKey);
}

uint32_t zOp37(uint64_t key, uint32_t value88, uint64_t value80, uint32_t flags, const ZapiId_s* id,
               uint64_t value136, const void* name, uint32_t value156, uint32_t value160,
               uint64_t value96, uint32_t value152, uint64_t* newKey)
{
    ZapiRequest_s block;
    beginNewKeyRequest(&block, key, value88, value80, flags, name, value96);
    zapiPut32(&block, ZAPI_OPTION_BITS, wantKeyBit(newKey) | zapiPutOptionalId(&block, id));
    zapiPut64(&block, ZAPI_PARAM_136, value136);
    zapiPut32(&block, ZAPI_PARAM_152, value152);
    zapiPut32(&block, ZAPI_PARAM_156, value156);
    zapiPut32(&block, ZAPI_PARAM_160, value160);
    return submitForNewKey(&block, 37, newKey);
}

uint32_t zOp24(uint64_t key, uint32_t value88, uint32_t value112, const ZapiId_s* id,
               uint64_t value136, uint32_t value152, uint64_t* newKey)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_PARAM_88, value88);
    zapiPut32(&block, ZAPI_OPTION_BITS, zapiPutOptionalId(&block, id));
    zapiPut32(&block, ZAPI_PARAM_112, value112);
    zapiPut64(&block, ZAPI_PARAM_136, value136);
    zapiPut32(&block, ZAPI_PARAM_152, value152);
    return zapiSubmitKey(&block, 24, newKey);
}

uint32_t zOp9(uint64_t key, uint64_t value80, uint32_t flags, const void* name, uint32_t value120,
              uint64_t value96)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPutOptionalName(&block, name, flags);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, 0);
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut32(&block, ZAPI_PARAM_112, flags);
    zapiPut32(&block, ZAPI_PARAM_120, value120);
    return zapiSubmit(&block, 9);
}

// Operations 20 and 26: always two descriptors, an absent name sent as 0, 0.
static uint32_t submitTwoNames(uint64_t operation, uint64_t key, uint64_t value80,
                               uint32_t firstFlags, const void* firstName, uint32_t value120,
                               uint32_t secondFlags, const void* secondName, uint64_t value96)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 2);
    zapiPutFlaggedString(&block, 0, firstName, firstFlags);
    zapiPutFlaggedString(&block, 1, secondName, secondFlags);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, 0);
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut32(&block, ZAPI_PARAM_112, firstFlags);
    zapiPut32(&block, ZAPI_PARAM_120, value120);
    zapiPut32(&block, ZAPI_PARAM_124, secondFlags);
    return zapiSubmit(&block, operation);
}

uint32_t zOp20(uint64_t key, uint64_t value80, uint32_t firstFlags, const void* firstName,
               uint32_t value120, uint32_t secondFlags, const void* secondName, uint64_t value96)
{
    return submitTwoNames(20, key, value80, firstFlags, firstName, value120, secondFlags,
                          secondName, value96 | 0x1);
}

uint32_t zOp26(uint64_t key, uint64_t value80, uint32_t firstFlags, const void* firstName,
               uint32_t value120, uint32_t secondFlags, const void* secondName, uint64_t value96)
{
    return submitTwoNames(26, key, value80, firstFlags, firstName, value120, secondFlags,
                          secondName, value96);
}

uint32_t zOp36(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value96)
{
    return zOp36WithValue(key, value80, id, value136, 0xFFFFFFFF, value96);
}

uint32_t zOp36WithValue(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
                        uint32_t value112, uint64_t value96)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, 0);
    zapiPut32(&block, ZAPI_OPTION_BITS, zapiPutOptionalId(&block, id));
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut32(&block, ZAPI_PARAM_112, value112);
    zapiPut64(&block, ZAPI_PARAM_136, value136);
    return zapiSubmit(&block, 36);
}

// Operations 38 and 39: count 1 always, the name or a zero descriptor.
static uint32_t submitIdAndName(uint64_t operation, uint64_t key, uint64_t value80,
                                const ZapiId_s* id, uint64_t value136, uint32_t optionBits,
                                uint64_t value144, uint32_t flags, const void* name,
                                uint64_t value96)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 1);
    zapiPutFlaggedString(&block, 0, name, flags);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, 0);
    zapiPut32(&block, ZAPI_OPTION_BITS, optionBits | zapiPutOptionalId(&block, id));
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut32(&block, ZAPI_PARAM_112, flags);
    zapiPut64(&block, ZAPI_PARAM_136, value136);
    zapiPut64(&block, ZAPI_PARAM_144, value144);
    return zapiSubmit(&block, operation);
}

uint32_t zOp38(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value144, uint32_t flags, const void* name, uint64_t value96)
{
    return submitIdAndName(38, key, value80, id, value136, 0, value144, flags, name, value96 | 0x1);
}

uint32_t zOp39(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
               uint64_t value144, uint32_t flags, const void* name, uint64_t value96)
{
    return submitIdAndName(39, key, value80, id, value136, 0, value144, flags, name, value96);
}

uint32_t zOp39WithOptions(uint64_t key, uint64_t value80, const ZapiId_s* id, uint64_t value136,
                          uint32_t options, uint64_t value144, uint32_t flags, const void* name,
                          uint64_t value96)
{
    return submitIdAndName(39, key, value80, id, value136, options & ZAPI_OPTION_PASSED, value144,
                           flags, name, value96);
}

uint32_t zOp43Name(uint64_t key, const uint16_t* name)
{
    if (name == nullptr) {
        return ZAPI_STATUS_BAD_ARGUMENT;
    }
    ZapiRequest_s block;
    zapiBegin(&block, key, 1);
    zapiPutString(&block, 0, name, false);
    return zapiSubmit(&block, 43);
}

uint32_t zOp43NameData(uint64_t key, const uint16_t* name, uint64_t dataLength, const void* data)
{
    if (name == nullptr || dataLength == 0 || dataLength > ZAPI_DATA_LIMIT || data == nullptr) {
        return ZAPI_STATUS_BAD_ARGUMENT;
    }
    ZapiRequest_s block;
    zapiBegin(&block, key, 2);
    zapiPutString(&block, 0, name, false);
    zapiPutBuffer(&block, 1, data, dataLength);
    return zapiSubmit(&block, 43);
}
