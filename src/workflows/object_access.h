// SPDX-License-Identifier: Apache-2.0
// Reaching one pool or volume through the admin client: the part the get, put and diff
// roads share.
#pragma once

#include <cstdint>

#include "admin_client.h"
#include "name_list.h"

// The kind's state and object ID field of an information record.
uint32_t objectState(const ObjectKind_s& kind, const ZapiInfo_s* info);
uint8_t* objectIdField(const ObjectKind_s& kind, ZapiInfo_s* info);

// Steps of reaching an object and reading its record: the first one that failed, or
// OBJECT_REACHED.
enum ObjectStep : int {
    OBJECT_REACHED = 0,
    ROOT_KEY_FAILED = 1,
    OPEN_FAILED = 2,
    GET_INFO_FAILED = 3,
    NAME_TOO_LONG = 4
};

// Prints "<caller> : name %s is too long\n", "<caller> : zRootKey error %ld\n" or
// "<caller> : zOpen error %ld\n" for a step of reaching the object that failed.
void reportReachFailure(const char* caller, const char* name, int step, uint32_t status);

// Forms the admin path of `name`, takes a root key and opens the object. Failures are
// reported with reportReachFailure; after a failure no key is held. 0 (both keys held) or
// -1.
int openObject(const char* caller, const char* name, uint64_t* rootKey, uint64_t* objectKey);

// Reads the named object's record with the get road's requests (zRootKey, zOpen, zGetInfo)
// and releases both keys, the root key first. Prints nothing. OBJECT_REACHED with the
// record in *info, or the step that failed with its status in *status.
int readObject(const ObjectKind_s& kind, const char* name, ZapiInfo_s* info, uint32_t* status);

// Clears the record and reads the kind's part of it with zGetInfo.
uint32_t readObjectInfo(const ObjectKind_s& kind, uint64_t objectKey, ZapiInfo_s* info);

// A status as printed with %ld: the unsigned 32-bit value, never sign-extended.
inline long statusValue(uint32_t status)
{
    return static_cast<long>(status);
}
