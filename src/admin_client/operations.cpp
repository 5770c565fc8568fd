// SPDX-License-Identifier: Apache-2.0
// The five operations through which the tool reads and writes an object's ID.
#include "admin_client.h"
#include "zapi_block.h"

uint32_t zRootKey(uint32_t rootSelector, uint64_t* rootKey)
{
    uint32_t status = zapiOpenDevice();
    if (status != 0) {
        return status;
    }
    ZapiRequest_s block;
    zapiBegin(&block, 0, 0);  // the key field carries nothing in
    zapiPut32(&block, ZAPI_PARAM_80, rootSelector);
    return zapiSubmitKey(&block, ZAPI_OP_ROOT_KEY, rootKey);
}

uint32_t zOpen(uint64_t key, uint32_t openValue, uint32_t openFlags, const void* path,
               uint32_t secondOpenValue, uint64_t* newKey)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    zapiPutOptionalName(&block, path, openFlags);
    zapiPut64(&block, ZAPI_PARAM_80, 0);
    zapiPut32(&block, ZAPI_PARAM_88, openValue);
    zapiPut32(&block, ZAPI_PARAM_112, openFlags);
    zapiPut32(&block, ZAPI_PARAM_120, secondOpenValue);
    return zapiSubmitKey(&block, ZAPI_OP_OPEN, newKey);
}

// Fills the request shared by zGetInfo and zModifyInfo: the record in buffers[0] (even
// a null one), the value at 80, the option bits cleared, the mask and the version.
static void putInfoRequest(ZapiRequest_s* block, uint64_t key, uint64_t value80, uint64_t infoMask,
                           uint64_t recordSize, uint32_t recordVersion, void* record)
{
    zapiBegin(block, key, 1);
    zapiPutBuffer(block, 0, record, recordSize);
    zapiPut64(block, ZAPI_PARAM_80, value80);
    zapiPut32(block, ZAPI_OPTION_BITS, 0);
    zapiPut64(block, ZAPI_PARAM_96, infoMask);
    zapiPut32(block, ZAPI_PARAM_112, recordVersion);
}

uint32_t zGetInfo(uint64_t key, uint64_t infoMask, uint64_t recordSize, uint32_t recordVersion,
                  void* record)
{
    zapiPresetRecord(recordVersion, infoMask, record);
    ZapiRequest_s block;
    putInfoRequest(&block, key, 0, infoMask, recordSize, recordVersion, record);
    return zapiSubmit(&block, ZAPI_OP_GET_INFO);
}

uint32_t zModifyInfo(uint64_t key, uint64_t modifyValue, uint64_t infoMask, uint64_t recordSize,
                     uint32_t recordVersion, void* record)
{
    ZapiRequest_s block;
    putInfoRequest(&block, key, modifyValue, infoMask, recordSize, recordVersion, record);
    return zapiSubmit(&block, ZAPI_OP_MODIFY_INFO);
}

uint32_t zClose(uint64_t key)
{
    ZapiRequest_s block;
    zapiBegin(&block, key, 0);
    return zapiSubmit(&block, ZAPI_OP_CLOSE);
}
