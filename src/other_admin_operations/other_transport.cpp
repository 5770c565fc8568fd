// SPDX-License-Identifier: Apache-2.0
// Request-block helpers of the other operations: optional IDs in, results out.
#include <cstring>

#include "other_block.h"

void zapiGetBytes(const ZapiRequest_s* block, size_t offset, void* bytes, size_t size)
{
    memcpy(bytes, reinterpret_cast<const uint8_t*>(block) + offset, size);
}

uint32_t zapiGet32(const ZapiRequest_s* block, size_t offset)
{
    uint32_t value = 0;
    zapiGetBytes(block, offset, &value, sizeof(value));
    return value;
}

uint64_t zapiGet64(const ZapiRequest_s* block, size_t offset)
{
    uint64_t value = 0;
    zapiGetBytes(block, offset, &value, sizeof(value));
    return value;
}

uint32_t zapiPutOptionalId(ZapiRequest_s* block, const ZapiId_s* id)
{
    if (id == nullptr) {
        return 0;
    }
    zapiPutBytes(block, ZAPI_PARAM_120, id->bytes, ZAPI_ID_SIZE);
    return ZAPI_OPTION_ID;
}

uint32_t zapiSubmit32(ZapiRequest_s* block, uint64_t operation, size_t offset, uint32_t* out)
{
    uint32_t status = zapiSubmit(block, operation);
    if (status == 0 && out != nullptr) {
        *out = zapiGet32(block, offset);
    }
    return status;
}

uint32_t zapiSubmitWide32(ZapiRequest_s* block, uint64_t operation, size_t offset, uint64_t* out)
{
    uint32_t status = zapiSubmit(block, operation);
    if (status == 0) {
        zapiOutWide32(block, offset, out);
    }
    return status;
}

uint32_t zapiSubmit64(ZapiRequest_s* block, uint64_t operation, size_t offset, uint64_t* out)
{
    uint32_t status = zapiSubmit(block, operation);
    if (status == 0) {
        zapiOut64(block, offset, out);
    }
    return status;
}

void zapiOutWide32(const ZapiRequest_s* block, size_t offset, uint64_t* out)
{
    if (out != nullptr) {
        *out = zapiGet32(block, offset);
    }
}

void zapiOut64(const ZapiRequest_s* block, size_t offset, uint64_t* out)
{
    if (out != nullptr) {
        *out = zapiGet64(block, offset);
    }
}
