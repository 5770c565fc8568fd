// SPDX-License-Identifier: Apache-2.0
// Device operations that pass a caller's record or buffer, and the record entry accessor.
#include <cstring>

#include "other_block.h"

// The record in buffers[0] and, when given, the name in buffers[1]; the mask at 96, as
// every record request here has it.
static void beginRecord(ZapiRequest_s* block, uint64_t key, uint64_t infoMask, uint64_t recordSize,
                        void* record, const void* name, bool nameIsBytes)
{
    zapiBegin(block, key, name != nullptr ? 2 : 1);
    zapiPutBuffer(block, 0, record, recordSize);
    if (name != nullptr) {
        zapiPutString(block, 1, name, nameIsBytes);
    }
    zapiPut64(block, ZAPI_PARAM_96, infoMask);
}

static bool isByteString(uint32_t flags)
{
    return (flags & ZAPI_FLAG_BYTE_STRING) != 0;
}

uint32_t zOp31(uint64_t key, uint32_t nameForm, uint32_t value120, const void* name,
               uint32_t value124, uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion,
               void* record)
{
    zapiPresetRecord(recordVersion, infoMask, record);
    ZapiRequest_s block;
    beginRecord(&block, key, infoMask, recordSize, record, name, nameForm == ZAPI_NAME_FORM_BYTES);
    zapiPut32(&block, ZAPI_PARAM_112, recordVersion);
    zapiPut32(&block, ZAPI_PARAM_116, nameForm);
    zapiPut32(&block, ZAPI_PARAM_120, value120);
    zapiPut32(&block, ZAPI_PARAM_124, value124);
    return zapiSubmit(&block, 31);
}

uint32_t zOp34(uint64_t key, uint64_t value128, uint32_t value120, uint32_t value124,
               uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion, void* record,
               uint64_t* result)
{
    zapiPresetRecord(recordVersion, infoMask, record);
    ZapiRequest_s block;
    beginRecord(&block, key, infoMask, recordSize, record, nullptr, false);
    zapiPut32(&block, ZAPI_PARAM_112, recordVersion);
    zapiPut32(&block, ZAPI_PARAM_116, 0);
    zapiPut32(&block, ZAPI_PARAM_120, value120);
    zapiPut32(&block, ZAPI_PARAM_124, value124);
    zapiPut64(&block, ZAPI_PARAM_128, value128);
    return zapiSubmit64(&block, 34, ZAPI_PARAM_128, result);
}

uint32_t zOp41(uint64_t key, uint32_t flags, const void* name, uint64_t infoMask,
               uint64_t recordSize, uint32_t recordVersion, uint32_t option, void* record)
{
    zapiPresetRecord(recordVersion, infoMask, record);
    ZapiRequest_s block;
    beginRecord(&block, key, infoMask, recordSize, record, name, isByteString(flags));
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_OPTION_BITS, option != 0 ? ZAPI_OPTION_41 : 0);
    zapiPut32(&block, ZAPI_PARAM_112, flags);
    zapiPut32(&block, ZAPI_PARAM_120, recordVersion);
    return zapiSubmit(&block, 41);
}

uint32_t zOp42(uint64_t key, uint64_t value80, uint32_t flags, const void* name, uint64_t infoMask,
               uint64_t recordSize, uint32_t recordVersion, void* record)
{
    ZapiRequest_s block;
    beginRecord(&block, key, infoMask, recordSize, record, name, isByteString(flags));
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_OPTION_BITS, 0);
    zapiPut32(&block, ZAPI_PARAM_112, flags);
    zapiPut32(&block, ZAPI_PARAM_120, recordVersion);
    return zapiSubmit(&block, 42);
}

uint32_t zOp15(uint64_t key, uint64_t unused, uint64_t value112, uint32_t value128,
               uint64_t bufferSize, void* buffer, uint64_t* result120, uint64_t* result132)
{
    (void)unused;
    ZapiRequest_s block;
    zapiBegin(&block, key, 1);
    zapiPutBuffer(&block, 0, buffer, bufferSize);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_OPTION_BITS, 0);
    zapiPut64(&block, ZAPI_PARAM_96, 0);
    zapiPut64(&block, ZAPI_PARAM_112, value112);
    zapiPut32(&block, ZAPI_PARAM_128, value128);
    uint32_t status = zapiSubmit(&block, 15);
    if (status == 0) {
        zapiOut64(&block, ZAPI_PARAM_120, result120);
        zapiOutWide32(&block, ZAPI_PARAM_132, result132);
    }
    return status;
}

// Operations 33 and 1002: the buffer size goes in twice, once in the descriptor and
// once (its low 32 bits) at 132.
static uint32_t submitSizedBuffer(uint64_t operation, uint64_t key, uint64_t value80,
                                  uint64_t value112, uint64_t bufferSize, void* buffer,
                                  uint64_t* result)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 1);
    zapiPutBuffer(&block, 0, buffer, bufferSize);
    zapiPut64(&block, ZAPI_PARAM_80, value80);
    zapiPut32(&block, ZAPI_OPTION_BITS, 0);
    zapiPut64(&block, ZAPI_PARAM_112, value112);
    zapiPut32(&block, ZAPI_PARAM_132, static_cast<uint32_t>(bufferSize));
    zapiPut32(&block, ZAPI_PARAM_136, 0);
    return zapiSubmitWide32(&block, operation, ZAPI_PARAM_136, result);
}

uint32_t zOp33(uint64_t key, uint64_t value80, uint64_t value112, uint64_t bufferSize, void* buffer,
               uint64_t* result)
{
    return submitSizedBuffer(33, key, value80, value112, bufferSize, buffer, result);
}

uint32_t zOp1002(uint64_t key, uint64_t unused, uint64_t value112, uint64_t bufferSize,
                 void* buffer, uint64_t* result)
{
    (void)unused;
    return submitSizedBuffer(1002, key, 0, value112, bufferSize, buffer, result);
}

// Layout of the device records that carry an entry table.
constexpr size_t RECORD_ENTRY_COUNT = 120;
constexpr size_t RECORD_ENTRY_TABLE = 124;
constexpr uint32_t RECORD_NEWEST_VERSION = 5;

static uint32_t recordWord(const uint8_t* record, uint64_t offset)
{
    uint32_t value = 0;
    memcpy(&value, record + offset, sizeof(value));
    return value;
}

const void* recordEntry(const void* record, uint64_t index)
{
    if (record == nullptr) {
        return nullptr;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(record);
    if (recordWord(bytes, 0) > RECORD_NEWEST_VERSION) {
        return nullptr;
    }
    if (index >= recordWord(bytes, RECORD_ENTRY_COUNT)) {
        return nullptr;
    }
    uint32_t table = recordWord(bytes, RECORD_ENTRY_TABLE);
    if (table == 0) {
        return nullptr;
    }
    uint32_t entry = recordWord(bytes, table + 4 * index);
    if (entry == 0) {
        return nullptr;
    }
    return bytes + entry;
}
