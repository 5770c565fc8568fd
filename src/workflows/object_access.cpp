// SPDX-License-Identifier: Apache-2.0
#include "object_access.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

// The kind records carry the device's masks and record offsets as plain numbers.
static_assert(POOL_KIND.infoMask == ZAPI_POOL_INFO_MASK);
static_assert(VOLUME_KIND.infoMask == ZAPI_VOLUME_INFO_MASK);
static_assert(POOL_KIND.modifyMask == ZAPI_POOL_MODIFY_MASK);
static_assert(VOLUME_KIND.modifyMask == ZAPI_VOLUME_MODIFY_MASK);
static_assert(POOL_KIND.stateOffset == offsetof(ZapiInfo_s, poolState));
static_assert(VOLUME_KIND.stateOffset == offsetof(ZapiInfo_s, volumeState));
static_assert(POOL_KIND.objectIdOffset == offsetof(ZapiInfo_s, poolObjectId));
static_assert(VOLUME_KIND.objectIdOffset == offsetof(ZapiInfo_s, volumeObjectId));

uint32_t objectState(const ObjectKind_s& kind, const ZapiInfo_s* info)
{
    uint32_t state = 0;
    memcpy(&state, reinterpret_cast<const uint8_t*>(info) + kind.stateOffset, sizeof(state));
    return state;
}

uint8_t* objectIdField(const ObjectKind_s& kind, ZapiInfo_s* info)
{
    return reinterpret_cast<uint8_t*>(info) + kind.objectIdOffset;
}

namespace {

// Names come from the admin directory or from list nodes, so they fit a node and an admin
// path; anything else is refused before the device sees a request. NAME_TOO_LONG, or
// OBJECT_REACHED with both keys held, or the step that failed with no key held.
int reachObject(const char* name, uint64_t* rootKey, uint64_t* objectKey, uint32_t* status)
{
    char adminPath[ADMIN_PATH_SIZE];
    if (strnlen(name, sizeof(NameGUIDList_s::name)) >= sizeof(NameGUIDList_s::name) ||
        formatAdminPath(adminPath, sizeof(adminPath), name) != 0) {
        return NAME_TOO_LONG;
    }
    *status = zRootKey(0, rootKey);
    if (*status != 0) {
        return ROOT_KEY_FAILED;
    }
    *status = zOpen(*rootKey, ZAPI_OPEN_VALUE, ZAPI_OPEN_FLAGS, adminPath, 0, objectKey);
    if (*status != 0) {
        zClose(*rootKey);
        return OPEN_FAILED;
    }
    return OBJECT_REACHED;
}

}  // namespace

void reportReachFailure(const char* caller, const char* name, int step, uint32_t status)
{
    if (step == NAME_TOO_LONG) {
        printf("%s : name %s is too long\n", caller, name);
    } else {
        printf((step == ROOT_KEY_FAILED) ? "%s : zRootKey error %ld\n" : "%s : zOpen error %ld\n",
               caller, statusValue(status));
    }
}

int openObject(const char* caller, const char* name, uint64_t* rootKey, uint64_t* objectKey)
{
    uint32_t status = 0;
    int step = reachObject(name, rootKey, objectKey, &status);
    if (step != OBJECT_REACHED) {
        reportReachFailure(caller, name, step, status);
        return -1;
    }
    return 0;
}

int readObject(const ObjectKind_s& kind, const char* name, ZapiInfo_s* info, uint32_t* status)
{
    uint64_t rootKey = 0;
    uint64_t objectKey = 0;
    int step = reachObject(name, &rootKey, &objectKey, status);
    if (step != OBJECT_REACHED) {
        return step;
    }
    *status = readObjectInfo(kind, objectKey, info);
    zClose(rootKey);
    zClose(objectKey);
    return (*status != 0) ? GET_INFO_FAILED : OBJECT_REACHED;
}

uint32_t readObjectInfo(const ObjectKind_s& kind, uint64_t objectKey, ZapiInfo_s* info)
{
    memset(info, 0, sizeof(*info));
    return zGetInfo(objectKey, kind.infoMask, sizeof(*info), ZAPI_INFO_VERSION, info);
}
