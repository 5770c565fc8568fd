// SPDX-License-Identifier: Apache-2.0
// Get road: every active pool or volume that the admin directory lists goes, with its
// object ID, into the list and from there into the ID list file.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_client.h"
#include "admin_report.h"
#include "file_replace.h"
#include "id_list.h"
#include "object_access.h"
#include "object_id.h"
#include "signals.h"
#include "workflows.h"

namespace {

// Names the object that a failure, reported just before, keeps out of the file.
GetInfoResult notSaved(const ObjectKind_s& kind, const char* name)
{
    printf("%s %s could not be saved\n", kind.word, shown(name).text);
    return INFO_FAILED;
}

// The reader takes white space around a name as the file's layout, and '<' as the start
// of a tag: such a name would not come back as it was.
bool fileCannotHold(const char* name)
{
    return strpbrk(name, " \t\n\v\f\r<") != nullptr;
}

// Walks the admin directory, collecting into the list. 0, or -1 (reported) with the list
// empty.
int collect(const ObjectKind_s& kind, uint32_t* saved, uint32_t* unsaved)
{
    AdminWalk_s walk;
    if (openAdminWalk(kind, &walk) != 0) {
        reportListingFailure(&walk);
        return -1;
    }
    while (nextAdminName(&walk)) {
        // A failing object has been reported and is left out; the others still count.
        GetInfoResult result = getInfo(kind, walk.name);
        *saved += (result == INFO_SAVED) ? 1 : 0;
        *unsaved += (result == INFO_FAILED) ? 1 : 0;
        if (reportInterrupted("getName : ")) {
            walk.failed = true;
            break;
        }
    }
    reportListingFailure(&walk);
    if (closeAdminWalk(&walk) != 0) {
        // A listing cut short would back up only some objects and still report success:
        // the whole run is refused instead.
        discardList();
        return -1;
    }
    return 0;
}

// The list must never go into the admin device, whatever name leads there: its node, any
// node of its device number, and the very file the device descriptor has open.
void refuseAdminDevice()
{
    struct stat device {};
    if (zapiFd >= 0 && fstat(zapiFd, &device) == 0) {
        refuseOutputInto(&device);
    }
    if (stat(ADMIN_DEVICE_PATH, &device) == 0) {
        refuseOutputInto(&device);
    }
}

}  // namespace

GetInfoResult getInfo(const ObjectKind_s& kind, const char* name)
{
    // The keys are released, root key first, as soon as the record is read: everything
    // after that needs only the record.
    ZapiInfo_s info;
    Reach_s reach = readObject(kind, name, &info);
    if (reach.step == GET_INFO_FAILED) {
        printf("%s :zGetInfo failed -- error %ld\n", kind.word, statusValue(reach.status));
        explainRefusal(kind.word, name, "zGetInfo", reach.status);
        return notSaved(kind, name);
    }
    if (reach.step != OBJECT_REACHED) {
        reportReachFailure(kind, "getInfo", name, reach);
        return notSaved(kind, name);
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s %s must be active to get its Tavro ID\n", kind.word, shown(name).text);
        return INFO_INACTIVE;
    }

    GUID guid;
    memcpy(&guid, objectIdField(kind, &info), sizeof(guid));
    char guidText[GUID_TEXT_SIZE];
    LB_GUIDToString(&guid, guidText);
    if (fileCannotHold(name)) {
        // The ID is printed so that it is not lost.
        printf("%s %s could not be saved: the list file cannot hold its name (Tavro ID %s)\n",
               kind.word, shown(name).text, guidText);
        return INFO_FAILED;
    }

    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        puts("Malloc : Failed to allocate a tmp var of NameGUIDList_s");
        return notSaved(kind, name);
    }
    // readObject has made sure that the name fits the node.
    (void)snprintf(node->name, sizeof(node->name), "%s", name);
    memcpy(node->guidText, guidText, sizeof(node->guidText));
    node->next = nullptr;
    appendNode(node);
    return INFO_SAVED;
}

GetResult getName(const ObjectKind_s& kind, const char* path, uint32_t keep, uint32_t* unsaved,
                  bool* kept)
{
    *unsaved = 0;
    *kept = false;
    uint32_t saved = 0;
    int result = collect(kind, &saved, unsaved);
    if (result == 0) {
        refuseAdminDevice();
        result = writeGUIDToFile(kind, path, keep, kept);
        // An interrupted writer has left the file as it was and said nothing.
        if (result != 0 && !reportInterrupted("getName : ")) {
            printf("getName : FAILED to print GUID to File %s, Error = %d\n", shown(path).text,
                   result);
        }
    }
    if (result != 0) {
        // What ended the run: the listing's or the writer's own line, or the signal.
        char interrupted[64];
        (void)snprintf(interrupted, sizeof interrupted, "getName : interrupted by signal %d",
                       caughtSignal());
        const char* line = firstFailureLine();
        logGetFailed(kind.commandWord, path, line[0] != '\0' ? line : interrupted);
        return GET_FAILED;
    }
    logGetDone(kind.commandWord, path, saved, *unsaved);
    return (*unsaved == 0) ? GET_SAVED : GET_INCOMPLETE;
}
