// SPDX-License-Identifier: Apache-2.0
// Inside the other operations: the request-block helpers only they use, on top of the
// admin client's own (zapi_block.h). Not part of any public face.
#pragma once

#include <cstddef>
#include <cstdint>

#include "other_admin_operations.h"
#include "zapi_block.h"

static_assert(zapiParamFits(ZAPI_PARAM_84, ZAPI_LONG_IDENTITY_SIZE));
static_assert(ZAPI_PARAM_84 + ZAPI_LONG_IDENTITY_SIZE == ZAPI_PARAM_152);
static_assert(zapiParamFits(ZAPI_PARAM_116, ZAPI_LONG_IDENTITY_SIZE));
static_assert(ZAPI_PARAM_116 + ZAPI_LONG_IDENTITY_SIZE == ZAPI_PARAM_184);
static_assert(zapiParamFits(ZAPI_PARAM_120, ZAPI_ID_SIZE));

void zapiGetBytes(const ZapiRequest_s* block, size_t offset, void* bytes, size_t size);
uint32_t zapiGet32(const ZapiRequest_s* block, size_t offset);
uint64_t zapiGet64(const ZapiRequest_s* block, size_t offset);
// The optional 16-byte ID at 120..135; returns the option bit to add at 92 (4 or 0).
uint32_t zapiPutOptionalId(ZapiRequest_s* block, const ZapiId_s* id);
// The request step with its one result copied out on success; a null out-parameter is
// simply not written.
uint32_t zapiSubmit32(ZapiRequest_s* block, uint64_t operation, size_t offset, uint32_t* out);
uint32_t zapiSubmitWide32(ZapiRequest_s* block, uint64_t operation, size_t offset, uint64_t* out);
uint32_t zapiSubmit64(ZapiRequest_s* block, uint64_t operation, size_t offset, uint64_t* out);
// Copy-outs for operations with more than one result (only after status 0).
void zapiOutWide32(const ZapiRequest_s* block, size_t offset, uint64_t* out);
void zapiOut64(const ZapiRequest_s* block, size_t offset, uint64_t* out);
