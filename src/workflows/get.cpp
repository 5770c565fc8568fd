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

// Says that the writer failed, after its own lines; an interrupted writer has left the
// file as it was and said nothing.
void writerFailed(const char* path)
{
    if (!reportInterrupted("getName : ")) {
        printf("getName : FAILED to print GUID to File %s, Error = %d\n", shown(path).text, -1);
    }
}

// Walks the opened admin directory, collecting into the list. 0, or -1 (reported) with
// the list empty.
int collect(const ObjectKind_s& kind, AdminWalk_s* walk, uint32_t* saved, uint32_t* unsaved)
{
    startProgress("get", kind.commandWord, progressWanted() ? countAdminNames(kind) : 0);
    uint32_t read = 0;
    while (nextAdminName(walk)) {
        // A failing object has been reported and is left out; the others still count.
        GetInfoResult result = getInfo(kind, walk->name);
        *saved += (result == INFO_SAVED) ? 1 : 0;
        *unsaved += (result == INFO_FAILED) ? 1 : 0;
        stepProgress(++read);
        if (reportInterrupted("getName : ")) {
            walk->failed = true;
            break;
        }
    }
    endProgress();
    reportListingFailure(walk);
    if (closeAdminWalk(walk) != 0) {
        // A listing cut short would back up only some objects and still report success:
        // the whole run is refused instead.
        discardList();
        return -1;
    }
    return 0;
}

// The list must never go into the admin device, whatever name leads there: any node of
// its device number, looked at before the file is opened, and the very file the device
// descriptor has open, looked at before the first write.
void refuseAdminDeviceNode()
{
    struct stat device {};
    if (stat(ADMIN_DEVICE_PATH, &device) == 0) {
        refuseOutputInto(&device);
    }
}
void refuseAdminDeviceFile()
{
    struct stat device {};
    if (zapiFd >= 0 && fstat(zapiFd, &device) == 0) {
        refuseOutputInto(&device);
    }
}

// The objects of the list get replaces that come out otherwise in the new one.
constexpr uint32_t IDS_CHANGED_NAMED = 20;
struct LastListNews_s {
    uint32_t changed;  // names in both whose IDs differ
    uint32_t gone;     // names of the last list that the new one lacks
    struct {
        char name[sizeof(NameGUIDList_s::name)];
        GUID old;
        GUID now;
    } named[IDS_CHANGED_NAMED];  // the first of those changed, in the new list's order
};

// A pair of the last list, in an index sorted by name.
struct LastPair_s {
    const NameGUIDList_s* node;
};

int compareLastPairs(const void* a, const void* b)
{
    return strcmp(static_cast<const LastPair_s*>(a)->node->name,
                  static_cast<const LastPair_s*>(b)->node->name);
}

// Compares the new list, `fresh`, name by name with the last one, in the list (the reader
// lets no name stand twice in it, nor does the admin directory in the new one). Finds
// nothing when memory is short.
void compareNames(const NameGUIDList_s* fresh, LastListNews_s* news)
{
    uint32_t count = countNodes(listHead);
    auto* index = static_cast<LastPair_s*>(malloc(count * sizeof(LastPair_s)));
    if (index == nullptr) {
        return;
    }
    uint32_t at = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        index[at++] = LastPair_s{node};
    }
    qsort(index, count, sizeof(LastPair_s), compareLastPairs);
    uint32_t met = 0;
    for (const NameGUIDList_s* node = fresh; node != nullptr; node = node->next) {
        const LastPair_s key = {node};
        const auto* found = static_cast<const LastPair_s*>(
            bsearch(&key, index, count, sizeof(LastPair_s), compareLastPairs));
        if (found == nullptr) {
            continue;
        }
        ++met;
        // Texts the reader has accepted: the same ID when they are the same, else compared
        // as 16 bytes (the last list may have upper-case digits).
        GUID old;
        GUID now;
        if (strcmp(found->node->guidText, node->guidText) == 0 ||
            LB_GUIDFromString(found->node->guidText, &old) != 0 ||
            LB_GUIDFromString(node->guidText, &now) != 0 || memcmp(&old, &now, sizeof old) == 0) {
            continue;
        }
        if (news->changed < IDS_CHANGED_NAMED) {
            auto& named = news->named[news->changed];
            (void)snprintf(named.name, sizeof named.name, "%s", node->name);
            named.old = old;
            named.now = now;
        }
        ++news->changed;
    }
    news->gone = count - met;
    free(index);
}

// When the output replaces a regular file whose bytes differ from the new list's, and the
// reader accepts the list of the kind that file holds (read through the descriptor of the
// first look at the path, never by the name), what it says otherwise than the new list.
void compareWithLastList(const ObjectKind_s& kind, OutputFile_s* output, LastListNews_s* news)
{
    *news = LastListNews_s{};
    if (output->oldFd < 0 || sameAsOld(output)) {
        return;
    }
    // The reader fills the list, which holds the new one: that waits aside meanwhile.
    NameGUIDList_s* freshHead = listHead;
    NameGUIDList_s* freshTail = listTail;
    listHead = nullptr;
    listTail = nullptr;
    if (readListQuietly(kind, output->oldFd) == 0) {
        compareNames(freshHead, news);
    }
    discardList();
    listHead = freshHead;
    listTail = freshTail;
}

void reportNews(const ObjectKind_s& kind, const LastListNews_s* news)
{
    for (uint32_t at = 0; at < news->changed && at < IDS_CHANGED_NAMED; ++at) {
        warnIdChanged(kind.word, news->named[at].name, &news->named[at].old, &news->named[at].now);
    }
    if (news->changed > IDS_CHANGED_NAMED) {
        warnMoreIdsChanged(kind.countedWord, news->changed - IDS_CHANGED_NAMED);
    }
    if (news->gone != 0) {
        warnObjectsGone(kind.countedWord, news->gone);
    }
}

// The collected list into the open output, compared with the list it replaces, and
// committed; what that list says otherwise is told once the new one is in place. 0, or -1
// (reported, or interrupted) with the path as it was.
int writeCollected(const ObjectKind_s& kind, OutputFile_s* output, const char* path, uint32_t keep,
                   bool* kept)
{
    static LastListNews_s news;
    refuseAdminDeviceFile();
    if (writeGUIDToFile(kind, output, path) != 0) {
        return -1;
    }
    compareWithLastList(kind, output, &news);
    if (commitListFile(output, path, keep, kept) != 0) {
        return -1;
    }
    reportNews(kind, &news);
    return 0;
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
    // The file is made, or opened, before the first request: a path that cannot take it
    // fails the run before the objects are read for nothing.
    static OutputFile_s output;
    AdminWalk_s walk;
    int result = -1;
    refuseAdminDeviceNode();
    if (openAdminWalk(kind, &walk) != 0) {
        reportListingFailure(&walk);
    } else if (openListFile(path, &output) != 0) {
        (void)closeAdminWalk(&walk);
        writerFailed(path);
    } else if (collect(kind, &walk, &saved, unsaved) != 0) {
        abandonOutput(&output);
    } else if ((result = writeCollected(kind, &output, path, keep, kept)) != 0) {
        writerFailed(path);
    }
    discardList();
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
