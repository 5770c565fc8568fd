// SPDX-License-Identifier: Apache-2.0
// Put road: the ID list file is read whole and parsed into the name/ID list, and every
// node then gives its object ID to the pool or volume of its name. The first hard
// failure ends the walk; objects already changed keep their new IDs.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"
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

// What applyNode did with one node: a new ID written, the one the object held written
// again, an inactive object skipped, or a failure.
enum ApplyResult : int { NODE_CHANGED, NODE_HELD, NODE_SKIPPED, NODE_FAILED };

// What a put has done so far.
struct PutCounts_s {
    uint32_t changed;  // written, the IDs already held included, as the stop line counts
    uint32_t held;
    uint32_t inactive;
};

// Reads the object's record and, when the object is active, writes the node's ID into it.
ApplyResult applyNode(const ObjectKind_s& kind, const NameGUIDList_s* node, uint64_t objectKey)
{
    ZapiInfo_s info;
    uint32_t status = readObjectInfo(kind, objectKey, &info);
    if (status != 0) {
        printf("%szGetInfo failed -- error %ld\n", kind.infoFailureLead, statusValue(status));
        explainRefusal(kind.word, node->name, "zGetInfo", status);
        return NODE_FAILED;
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s \"%s\" must be active to modify its Tavro ID\n", kind.word,
               shown(node->name).text);
        return NODE_SKIPPED;
    }

    GUID guid;
    int parseStatus = LB_GUIDFromString(node->guidText, &guid);
    if (parseStatus != 0) {
        printf("GUIDModify : LB_GUIDFromString Failed, status %d\n", parseStatus);
        explainBadId(kind.word, node->name, parseStatus);
        return NODE_FAILED;
    }
    GUID old;
    memcpy(&old, objectIdField(kind, &info), sizeof(old));
    // Only the 16 ID bytes change; the rest goes back as the device gave it.
    memcpy(objectIdField(kind, &info), &guid, sizeof(guid));
    status = zModifyInfo(objectKey, 0, kind.modifyMask, sizeof(info), ZAPI_INFO_VERSION, &info);
    if (status != 0) {
        printf("zModifyInfo error %ld\n", statusValue(status));
        explainRefusal(kind.word, node->name, "zModifyInfo", status);
        return NODE_FAILED;
    }
    if (memcmp(&old, &guid, sizeof(guid)) == 0) {
        return NODE_HELD;
    }
    logChange(kind.commandWord, node->name, &old, &guid);
    return NODE_CHANGED;
}

// Says where the walk stopped: at the first node left, with the objects changed so far
// and the nodes left unapplied, that one included. Returns -1 for the walk to return.
int reportStop(const ObjectKind_s& kind, const char* path, uint32_t changed)
{
    uint32_t left = countNodes(listHead);
    printf("Stopped at %s \"%s\": %u changed, %u not applied\n", kind.word,
           shown(listHead->name).text, changed, left);
    logPutStopped(kind.commandWord, path, kind.word, listHead->name, changed, left);
    return -1;
}

// Keeps the list's pairs that the filter names, in file order. 0, or -1 (reported) when a
// name has no pair.
int keepNamedPairs(const ObjectKind_s& kind, const NameFilter_s& filter)
{
    static NameMark_s entries[MOST_FILTER_NAMES];
    uint32_t count = 0;
    for (; count < filter.count && count < MOST_FILTER_NAMES; ++count) {
        entries[count] = NameMark_s{filter.names[count], false};
    }
    sortNameMarks(entries, count);
    NameGUIDList_s* node = listHead;
    listHead = nullptr;
    listTail = nullptr;
    while (node != nullptr) {
        NameGUIDList_s* next = node->next;
        NameMark_s* entry = findNameMark(entries, count, node->name);
        if (entry != nullptr) {
            entry->marked = true;
            appendNode(node);
        } else {
            free(node);
        }
        node = next;
    }
    // Named in the order of the command line.
    for (uint32_t at = 0; at < count; ++at) {
        if (!findNameMark(entries, count, filter.names[at])->marked) {
            printf("The list has no %s \"%s\"\n", kind.word, shown(filter.names[at]).text);
            return -1;
        }
    }
    return 0;
}

}  // namespace

int GUIDModify(const ObjectKind_s& kind, const char* path)
{
    if (listHead == nullptr) {
        puts("List is Empty, there are no Volumes");
        return -1;
    }
    PutCounts_s counts = {0, 0, 0};
    startProgress("put", kind.commandWord, progressWanted() ? countNodes(listHead) : 0);
    uint32_t handled = 0;
    while (listHead != nullptr) {
        // A termination signal is obeyed between objects only: the one in hand is always
        // finished, its keys released.
        if (reportInterrupted("GUIDModify : ")) {
            return reportStop(kind, path, counts.changed);
        }
        uint64_t rootKey = 0;
        uint64_t objectKey = 0;
        if (openObject(kind, "GUIDModify", listHead->name, &rootKey, &objectKey) != 0) {
            return reportStop(kind, path, counts.changed);
        }
        ApplyResult result = applyNode(kind, listHead, objectKey);
        releaseObjectThenRoot(objectKey, rootKey);
        if (result == NODE_FAILED) {
            // The failing node and the ones after it stay in the list, unapplied.
            return reportStop(kind, path, counts.changed);
        }
        counts.changed += (result == NODE_CHANGED || result == NODE_HELD) ? 1 : 0;
        counts.held += (result == NODE_HELD) ? 1 : 0;
        counts.inactive += (result == NODE_SKIPPED) ? 1 : 0;
        free(takeFirstNode());
        stepProgress(++handled);
    }
    logPutDone(kind.commandWord, path, counts.changed - counts.held, counts.held, counts.inactive);
    return 0;
}

int loadList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter)
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
    if (filter.count != 0 && keepNamedPairs(kind, filter) != 0) {
        discardList();
        return -1;
    }
    return 0;
}

int putList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter)
{
    if (loadList(kind, path, filter) != 0) {
        return -1;
    }
    int status = GUIDModify(kind, path);
    endProgress();
    if (status != 0) {
        printf("GUIDModify failed, status %d\n", status);
        // The put road has always closed a failed walk with this line too.
        puts("Failed to Parse the XML from Buffer");
    }
    return status;
}
