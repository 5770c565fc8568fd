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
#include "workflows.h"

namespace {

void releaseObjectThenRoot(uint64_t objectKey, uint64_t rootKey)
{
    zClose(objectKey);
    zClose(rootKey);
}

// Reads the object's record and, when the object is active, writes the node's ID into
// it. 1 when the object was changed, 0 when it was skipped, -1 when the walk must stop.
int applyNode(const ObjectKind_s& kind, const NameGUIDList_s* node, uint64_t objectKey)
{
    ZapiInfo_s info;
    uint32_t status = readObjectInfo(kind, objectKey, &info);
    if (status != 0) {
        printf("%szGetInfo failed -- error %ld\n", kind.infoFailureLead, statusValue(status));
        return -1;
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s \"%s\" must be active to modify its Tavro ID\n", kind.word, node->name);
        return 0;
    }

    GUID guid;
    int parseStatus = LB_GUIDFromString(node->guidText, &guid);
    if (parseStatus != 0) {
        printf("GUIDModify : LB_GUIDFromString Failed, status %d\n", parseStatus);
        return -1;
    }
    // Only the 16 ID bytes change; the rest goes back as the device gave it.
    memcpy(objectIdField(kind, &info), &guid, sizeof(guid));
    status = zModifyInfo(objectKey, 0, kind.modifyMask, sizeof(info), ZAPI_INFO_VERSION, &info);
    if (status != 0) {
        printf("zModifyInfo error %ld\n", statusValue(status));
        return -1;
    }
    return 1;
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

int GUIDModify()
{
    if (listHead == nullptr) {
        puts("List is Empty, there are no Volumes");
        return -1;
    }
    const ObjectKind_s& kind = objectKind();
    uint32_t changed = 0;
    while (listHead != nullptr) {
        // A termination signal is obeyed between objects only: the one in hand is always
        // finished, its keys released.
        int signalNumber = caughtSignal();
        if (signalNumber != 0) {
            printf("GUIDModify : interrupted by signal %d\n", signalNumber);
            return reportStop(kind, changed);
        }
        uint64_t rootKey = 0;
        uint64_t objectKey = 0;
        if (openObject("GUIDModify", listHead->name, &rootKey, &objectKey) != 0) {
            return reportStop(kind, changed);
        }
        int result = applyNode(kind, listHead, objectKey);
        releaseObjectThenRoot(objectKey, rootKey);
        if (result < 0) {
            // The failing node and the ones after it stay in the list, unapplied.
            return reportStop(kind, changed);
        }
        changed += static_cast<uint32_t>(result);
        free(takeFirstNode());
    }
    return 0;
}

int XMLParser(char* buffer, uint32_t length)
{
    if (parseGUIDList(buffer, length) != 0) {
        return -1;
    }
    int status = GUIDModify();
    if (status != 0) {
        printf("GUIDModify failed, status %d\n", status);
    }
    return status;
}

int readGUIDFromFile(const char* path)
{
    char* buffer = nullptr;
    uint32_t length = 0;
    if (readGUIDFile(path, &buffer, &length) != 0) {
        return -1;
    }
    int result = XMLParser(buffer, length);
    if (result != 0) {
        puts("Failed to Parse the XML from Buffer");
    }
    free(buffer);
    return result;
}
