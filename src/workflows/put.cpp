// SPDX-License-Identifier: Apache-2.0
// Put road, second half: every node of the list read from the ID list file gives its
// object ID to the pool or volume of its name. The first hard failure ends the walk;
// objects already changed keep their new IDs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "object_access.h"
#include "object_id.h"
#include "workflows.h"

namespace {

// Both keys of one object, the object key first.
void releaseKeys(uint64_t objectKey, uint64_t rootKey)
{
    zClose(objectKey);
    zClose(rootKey);
}

// Reads the object's record and, when the object is active, writes the node's ID into
// it. 0 when the node is done with (applied or skipped), -1 when the walk must stop.
int applyNode(const NameGUIDList_s* node, uint64_t objectKey)
{
    ZapiInfo_s info;
    uint32_t status = readObjectInfo(objectKey, &info);
    if (status != 0) {
        printf(
            (isPool == 1) ? "zGetInfo failed -- error %ld\n" : "  zGetInfo failed -- error %ld\n",
            statusValue(status));
        return -1;
    }
    if (objectState(&info) != ZAPI_STATE_ACTIVE) {
        printf((isPool == 1) ? "Pool \"%s\" must be active to modify its Tavro ID\n"
                             : "Volume \"%s\" must be active to modify its Tavro ID\n",
               node->name);
        return 0;
    }

    GUID guid;
    int parseStatus = LB_GUIDFromString(node->guidText, &guid);
    if (parseStatus != 0) {
        printf("GUIDModify : LB_GUIDFromString Failed, status %d\n", parseStatus);
        return -1;
    }
    // Only the 16 ID bytes change; the rest goes back as the device gave it.
    memcpy(objectIdField(&info), &guid, sizeof(guid));
    status = zModifyInfo(objectKey, 0, kindModifyMask(), sizeof(info), ZAPI_INFO_VERSION, &info);
    if (status != 0) {
        printf("zModifyInfo error %ld\n", statusValue(status));
        return -1;
    }
    return 0;
}

}  // namespace

int GUIDModify()
{
    if (listHead == nullptr) {
        puts("List is Empty, there are no Volumes");
        return -1;
    }
    while (listHead != nullptr) {
        uint64_t rootKey = 0;
        uint64_t objectKey = 0;
        if (openObject("GUIDModify", listHead->name, &rootKey, &objectKey) != 0) {
            return -1;
        }
        int result = applyNode(listHead, objectKey);
        releaseKeys(objectKey, rootKey);
        if (result != 0) {
            // The failing node and the ones after it stay in the list, unapplied.
            return -1;
        }
        free(takeFirstNode());
    }
    return 0;
}
