// SPDX-License-Identifier: Apache-2.0
#include "object_access.h"

#include <cstdio>
#include <cstring>

#include "workflows.h"

uint64_t kindInfoMask()
{
    return (isPool == 1) ? ZAPI_POOL_INFO_MASK : ZAPI_VOLUME_INFO_MASK;
}

uint64_t kindModifyMask()
{
    return (isPool == 1) ? ZAPI_POOL_MODIFY_MASK : ZAPI_VOLUME_MODIFY_MASK;
}

uint32_t objectState(const ZapiInfo_s* info)
{
    return (isPool == 1) ? info->poolState : info->volumeState;
}

uint8_t* objectIdField(ZapiInfo_s* info)
{
    return (isPool == 1) ? info->poolObjectId : info->volumeObjectId;
}

int openObject(const char* caller, const char* name, uint64_t* rootKey, uint64_t* objectKey)
{
    // Names come from the admin directory or from list nodes, so they fit a node and an
    // admin path; anything else is refused before the device sees a request.
    char adminPath[ADMIN_PATH_SIZE];
    if (strnlen(name, sizeof(NameGUIDList_s::name)) >= sizeof(NameGUIDList_s::name) ||
        formatAdminPath(adminPath, sizeof(adminPath), name) != 0) {
        printf("%s : name %s is too long\n", caller, name);
        return -1;
    }

    uint32_t status = zRootKey(0, rootKey);
    if (status != 0) {
        printf("%s : zRootKey error %ld\n", caller, statusValue(status));
        return -1;
    }
    status = zOpen(*rootKey, ZAPI_OPEN_VALUE, ZAPI_OPEN_FLAGS, adminPath, 0, objectKey);
    if (status != 0) {
        printf("%s : zOpen error %ld\n", caller, statusValue(status));
        zClose(*rootKey);
        return -1;
    }
    return 0;
}

uint32_t readObjectInfo(uint64_t objectKey, ZapiInfo_s* info)
{
    memset(info, 0, sizeof(*info));
    return zGetInfo(objectKey, kindInfoMask(), sizeof(*info), ZAPI_INFO_VERSION, info);
}
