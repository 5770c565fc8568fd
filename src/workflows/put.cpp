// SPDX-License-Identifier: Apache-2.0
// Put road: the ID list file is read whole and parsed into the name/ID list, and every
// node then gives its object ID to the pool or volume of its name. The first hard
// failure ends the walk; objects already changed keep their new IDs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"
#include "object_access.h"
#include "object_id.h"
#include "signals.h"
#include "workflows.h"

namespace {

void releaseObjectThenRoot(uint64_t objectKey, uint64_t rootKey)
{
    zClose(objectKey);
    zClose(rootKey);
}

// What applyNode did with one node.
enum ApplyResult : int { NODE_CHANGED, NODE_SKIPPED, NODE_FAILED };

// Reads the object's record and, when the object is active, writes the node's ID into it.
ApplyResult applyNode(const ObjectKind_s& kind, const NameGUIDList_s* node, uint64_t objectKey)
{
    ZapiInfo_s info;
    uint32_t status = readObjectInfo(kind, objectKey, &info);
    if (status != 0) {
        printf("%szGetInfo failed -- error %ld\n", kind.infoFailureLead, statusValue(status));
        return NODE_FAILED;
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s \"%s\" must be active to modify its Tavro ID\n", kind.word, node->name);
        return NODE_SKIPPED;
    }

    GUID guid;
    int parseStatus = LB_GUIDFromString(node->guidText, &guid);
    if (parseStatus != 0) {
        printf("GUIDModify : LB_GUIDFromString Failed, status %d\n", parseStatus);
        return NODE_FAILED;
    }
    // Only the 16 ID bytes change; the rest goes back as the device gave it.
    memcpy(objectIdField(kind, &info), &guid, sizeof(guid));
    status = zModifyInfo(objectKey, 0, kind.modifyMask, sizeof(info), ZAPI_INFO_VERSION, &info);
    if (status != 0) {
        printf("zModifyInfo error %ld\n", statusValue(status));
        return NODE_FAILED;
    }
    return NODE_CHANGED;
}

// Says where the walk stopped: at the first node left, with the objects changed so far
// and the nodes left unapplied, that one included. Returns -1 for the walk to return.
int reportStop(const ObjectKind_s& kind, uint32_t changed)
{
    uint32_t left = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++left;
    }
    printf("Stopped at %s \"%s\": %u changed, %u not applied\n", kind.word, listHead->name, changed,
           left);
    return -1;
}

}  // namespace

int GUIDModify(const ObjectKind_s& kind)
{
    if (listHead == nullptr) {
        puts("List is Empty, there are no Volumes");
        return -1;
    }
    uint32_t changed = 0;
    while (listHead != nullptr) {
        // A termination signal is obeyed between objects only: the one in hand is always
        // finished, its keys released.
        if (reportInterrupted("GUIDModify : ")) {
            return reportStop(kind, changed);
        }
        uint64_t rootKey = 0;
        uint64_t objectKey = 0;
        if (openObject(kind, "GUIDModify", listHead->name, &rootKey, &objectKey) != 0) {
            return reportStop(kind, changed);
        }
        ApplyResult result = applyNode(kind, listHead, objectKey);
        releaseObjectThenRoot(objectKey, rootKey);
        if (result == NODE_FAILED) {
            // The failing node and the ones after it stay in the list, unapplied.
            return reportStop(kind, changed);
        }
        if (result == NODE_CHANGED) {
            ++changed;
        }
        free(takeFirstNode());
    }
    return 0;
}

int loadList(const ObjectKind_s& kind, const char* path)
{
    char* buffer = nullptr;
    uint32_t length = 0;
    if (readGUIDFromFile(path, &buffer, &length) != 0) {
        return -1;
    }
    int parsed = XMLParser(kind, buffer, length);
    free(buffer);
    if (parsed != 0) {
        puts("Failed to Parse the XML from Buffer");
        discardList();
        return -1;
    }
    return 0;
}

int putList(const ObjectKind_s& kind, const char* path)
{
    if (loadList(kind, path) != 0) {
        return -1;
    }
    int status = GUIDModify(kind);
    if (status != 0) {
        printf("GUIDModify failed, status %d\n", status);
        // The put road has always closed a failed walk with this line too.
        puts("Failed to Parse the XML from Buffer");
    }
    return status;
}
