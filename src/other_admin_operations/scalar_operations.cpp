// SPDX-License-Identifier: Apache-2.0
// Device operations that carry only scalars or an identity in the request block.
#include "other_block.h"

// Count 0, the key and 96:64 = 0: how most requests of this file begin.
static void beginScalar(ZapiRequest_s* block, uint64_t key)
{
    zapiBegin(block, key, 0);
    zapiPut64(block, ZAPI_PARAM_96, 0);
}

uint32_t zOp1(uint64_t key, uint64_t value)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, value);
    return zapiSubmit(&block, 1);
}

uint32_t zOp4(uint64_t key, uint32_t value, uint64_t* result)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_PARAM_88, value);
    return zapiSubmitWide32(&block, 4, ZAPI_PARAM_88, result);
}

uint32_t zOp5(uint64_t key, uint32_t value88, uint64_t value80, uint64_t* result)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, value88);
    return zapiSubmit64(&block, 5, ZAPI_PARAM_112, result);
}

uint32_t zOp6(uint64_t key, uint32_t value80, uint32_t value88, uint64_t* newKey)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut32(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_88, value88);
    return zapiSubmitKey(&block, 6, newKey);
}

uint32_t zOp7(uint64_t key, uint64_t value)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, value);
    return zapiSubmit(&block, 7);
}

uint32_t zOp13(uint64_t key, uint32_t value)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_PARAM_88, value);
    return zapiSubmit(&block, 13);
}

uint32_t zOp14(uint64_t key)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    return zapiSubmit(&block, 14);
}

uint32_t zOp17(uint64_t key, uint32_t* result)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    return zapiSubmit32(&block, 17, ZAPI_PARAM_196, result);
}

uint32_t zOp21(uint64_t key, uint64_t value80, uint64_t value96, uint64_t value112,
               uint64_t value120, uint32_t value128)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut64(&block, ZAPI_PARAM_112, value112);
    zapiPut64(&block, ZAPI_PARAM_120, value120);
    zapiPut32(&block, ZAPI_PARAM_128, value128);
    return zapiSubmit(&block, 21);
}

uint32_t zOp27(uint64_t key, uint64_t value80, uint64_t value112, uint64_t value96)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut64(&block, ZAPI_PARAM_96, value96);
    zapiPut64(&block, ZAPI_PARAM_112, value112);
    return zapiSubmit(&block, 27);
}

uint32_t zOp28(uint64_t key, uint64_t value80, uint32_t value196)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_PARAM_196, value196);
    return zapiSubmit(&block, 28);
}

uint32_t zOp30(uint64_t key, uint64_t value80, uint64_t value112, uint64_t value120)
{
    ZapiRequest_s block;
    beginScalar(&block, key);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut64(&block, ZAPI_PARAM_112, value112);
    zapiPut64(&block, ZAPI_PARAM_120, value120);
    return zapiSubmit(&block, 30);
}

uint32_t zOp32(uint64_t key)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    return zapiSubmit(&block, 32);
}

// Bytes an identity of this form takes: a 16-byte ID for form 0, else the long identity.
static size_t identitySize(uint32_t form)
{
    return form == 0 ? ZAPI_ID_SIZE : ZAPI_LONG_IDENTITY_SIZE;
}

// Operations 2 and 10: the value at 80, the form at 112 and the identity at 116.
static void beginIdentity(ZapiRequest_s* block, uint64_t key, uint64_t value80,
                          const void* identity, uint32_t form)
{
    beginScalar(block, key);
    zapiPut64(block, ZAPI_PARAM_80, value80);
    zapiPut32(block, ZAPI_PARAM_112, form);
    zapiPutBytes(block, ZAPI_PARAM_116, identity, identitySize(form));
}

uint32_t zOp2(uint64_t key, uint64_t value, const void* identity, uint32_t value184, uint32_t form)
{
    if (identity == nullptr) {
        return ZAPI_STATUS_NO_IDENTITY;
    }
    ZapiRequest_s block;
    beginIdentity(&block, key, value, identity, form);
    zapiPut32(&block, ZAPI_PARAM_184, value184);
    zapiPut32(&block, ZAPI_PARAM_188, 0);
    return zapiSubmit(&block, 2);
}

uint32_t zOp2Short(uint64_t key, uint64_t value, const ZapiId_s* id, uint32_t value184)
{
    return zOp2(key, value, id, value184, 0);
}

uint32_t zOp10(uint64_t key, uint64_t value, const void* identity, uint32_t form)
{
    // Refused like operation 2 rather than copied from a null address.
    if (identity == nullptr) {
        return ZAPI_STATUS_NO_IDENTITY;
    }
    ZapiRequest_s block;
    beginIdentity(&block, key, value, identity, form);
    return zapiSubmit(&block, 10);
}

uint32_t zOp10Short(uint64_t key, uint64_t value, const ZapiId_s* id)
{
    return zOp10(key, value, id, 0);
}

// Operation 18 in either form: the cursor goes in at 192 and the next one comes back there.
static uint32_t submitOp18(uint64_t key, uint32_t cursor, uint32_t optionBits, ZapiRequest_s* block,
                           uint64_t* result184, uint64_t* nextCursor)
{
    beginScalar(block, key);
    zapiPut64(block, ZAPI_PARAM_80, 0);
    zapiPut32(block, ZAPI_OPTION_BITS, optionBits);
    zapiPut32(block, ZAPI_CURSOR, cursor);
    uint32_t status = zapiSubmit(block, 18);
    if (status == 0) {
        zapiOutWide32(block, ZAPI_PARAM_184, result184);
        if (nextCursor != nullptr) {
            uint32_t next = zapiGet32(block, ZAPI_CURSOR);
            *nextCursor = next == 0xFFFFFFFF ? UINT64_MAX : next;
        }
    }
    return status;
}

uint32_t zOp18(uint64_t key, uint32_t cursor, void* identity, uint64_t* result184,
               uint64_t* nextCursor, uint32_t* form)
{
    ZapiRequest_s block;
    uint32_t status = submitOp18(key, cursor, 0, &block, result184, nextCursor);
    if (status == 0) {
        uint32_t returnedForm = zapiGet32(&block, ZAPI_PARAM_112);
        if (form != nullptr) {
            *form = returnedForm;
        }
        if (identity != nullptr) {
            zapiGetBytes(&block, ZAPI_PARAM_116, identity, identitySize(returnedForm));
        }
    }
    return status;
}

uint32_t zOp18Short(uint64_t key, uint32_t cursor, ZapiId_s* id, uint64_t* result184,
                    uint64_t* nextCursor)
{
    ZapiRequest_s block;
    uint32_t status =
        submitOp18(key, cursor, ZAPI_OPTION_SHORT_IDENTITY, &block, result184, nextCursor);
    if (status == 0 && id != nullptr) {
        zapiGetBytes(&block, ZAPI_PARAM_116, id->bytes, ZAPI_ID_SIZE);
    }
    return status;
}

uint32_t zOp35(uint64_t key, const void* identity, uint64_t* result, uint32_t form)
{
    // Refused like operation 2 rather than copied from a null address.
    if (identity == nullptr) {
        return ZAPI_STATUS_NO_IDENTITY;
    }
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPut32(&block, ZAPI_PARAM_80, form);
    zapiPutBytes(&block, ZAPI_PARAM_84, identity, identitySize(form));
    zapiPut32(&block, ZAPI_PARAM_152, 0);
    return zapiSubmitWide32(&block, 35, ZAPI_PARAM_152, result);
}

uint32_t zOp35ByValue(uint64_t key, ZapiId_s id, uint64_t* result)
{
    return zOp35(key, id.bytes, result, 0);
}
