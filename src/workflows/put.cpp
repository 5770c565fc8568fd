// SPDX-License-Identifier: Apache-2.0
// Put road: the ID list file is read whole and parsed into the name/ID list, and every
// node then gives its object ID to the pool or volume of its name. The first hard
// failure ends the walk; objects already changed keep their new IDs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Where put keeps the IDs it replaces, unless --undo names another file, and how many of the
// undo lists before it.
constexpr const char* UNDO_FOLDER = "/var/lib/korvane";
constexpr const char* UNDO_FOLDER_PARENT = "/var/lib";
constexpr uint32_t UNDO_KEPT = 9;

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
// and the nodes left unapplied, that one included, and where the IDs from before it are
// (`undo`, null when none were written). Returns -1 for the walk to return.
int reportStop(const ObjectKind_s& kind, const char* path, uint32_t changed, const char* undo)
{
    uint32_t left = countNodes(listHead);
    printf("Stopped at %s \"%s\": %u changed, %u not applied\n", kind.word,
           shown(listHead->name).text, changed, left);
    if (undo != nullptr) {
        explainUndoList(kind.commandWord, undo);
    }
    logPutStopped(kind.commandWord, path, kind.word, listHead->name, changed, left, undo);
    return -1;
}

// Keeps the list's pairs that the filter names, in file order, and their notes. 0, or -1
// (reported) when a name has no pair.
int keepNamedPairs(const ObjectKind_s& kind, const NameFilter_s& filter, PairNote_s* notes)
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
    size_t kept = 0;
    for (size_t at = 0; node != nullptr; ++at) {
        NameGUIDList_s* next = node->next;
        NameMark_s* entry = findNameMark(entries, count, node->name);
        if (entry != nullptr) {
            entry->marked = true;
            appendNode(node);
            notes[kept++] = notes[at];
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

// The pairs named one by one on standard error when they carry no check; the others are
// counted.
constexpr uint32_t UNCHECKED_NAMED = 20;

bool anyPairChecked(const PairNote_s* notes)
{
    const PairNote_s* note = notes;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next, ++note) {
        if (note->checked) {
            return true;
        }
    }
    return false;
}

// Names the list's pairs that carry no check: a pair edited on purpose loses its check, and
// so may one whose ID has moved by mistake.
void reportUncheckedPairs(const ObjectKind_s& kind, const PairNote_s* notes)
{
    uint32_t unchecked = 0;
    const PairNote_s* note = notes;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next, ++note) {
        if (!note->checked && ++unchecked <= UNCHECKED_NAMED) {
            explainUncheckedPair(note->nameLine, kind.word, node->name);
        }
    }
    if (unchecked > UNCHECKED_NAMED) {
        explainMoreUncheckedPairs(unchecked - UNCHECKED_NAMED);
    }
}

// The objects that put leaves as they are and that could not be read: their IDs are unknown.
void explainUncompared(const ObjectKind_s& kind, const LiveReading_s* reading)
{
    for (uint32_t index = 0; index < reading->count; ++index) {
        const LiveObject_s* object = &reading->objects[index];
        if (object->step != OBJECT_REACHED && (object->flags & LIVE_NAMED) == 0) {
            explainNotCompared(kind.word, liveName(reading, object), object->status);
        }
    }
}

// Why the pair's object could not be read, on standard error as the walk explains it.
void explainUnread(const ObjectKind_s& kind, const LiveReading_s* reading,
                   const NameGUIDList_s* node)
{
    const LiveObject_s* object = findLiveObject(reading, node->name);
    static const char* const requests[] = {"", "zRootKey", "zOpen", "zGetInfo", ""};
    if ((object->flags & LIVE_DEVICE_SHUT) == 0 && object->step != NAME_TOO_LONG) {
        explainRefusal(kind.word, node->name, requests[object->step], object->status);
    }
}

// The pair's object as the reading found it when the walk will give it another ID; null
// when it will not (inactive, or holding the pair's ID already).
const LiveObject_s* changedObject(const LiveReading_s* reading, const NameGUIDList_s* node)
{
    const LiveObject_s* object = findLiveObject(reading, node->name);
    GUID wanted;
    // The reader has refused every ID text that does not convert.
    (void)LB_GUIDFromString(node->guidText, &wanted);
    return ((object->flags & LIVE_TAKES_LIST_ID) != 0 &&
            memcmp(&object->id, &wanted, sizeof wanted) != 0)
               ? object
               : nullptr;
}

// Makes the undo lists' folder, for root alone, when it is missing, and its name durable
// with it. 0, or -1 with errno.
int makeUndoFolder()
{
    if (mkdir(UNDO_FOLDER, 0700) != 0) {
        return (errno == EEXIST) ? 0 : -1;
    }
    int parent = open(UNDO_FOLDER_PARENT, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) {
        return 0;
    }
    int result = fsync(parent);
    int error = errno;
    (void)close(parent);
    errno = error;
    // A file system that does not sync directories is left as it is.
    return (result != 0 && error != EINVAL) ? -1 : 0;
}

// Writes, in file order and in get's layout, each object the walk will change with the ID
// it holds now: to `undo` as given, or (`rotate`) to the kind's own undo list, the nine
// before it kept. Nothing when the walk changes nothing. 0 with *written, or -1 (reported).
int writeUndoList(const ObjectKind_s& kind, const LiveReading_s* reading, const char* undo,
                  bool rotate, bool* written)
{
    *written = false;
    const NameGUIDList_s* node = listHead;
    while (node != nullptr && changedObject(reading, node) == nullptr) {
        node = node->next;
    }
    if (node == nullptr) {
        return 0;
    }
    static ListFile_s file;
    file = ListFile_s{};
    ListStep step = LIST_OPEN_FAILED;
    if (rotate && makeUndoFolder() != 0) {
        file.output.error = errno;
    } else {
        step = beginListFile(&file, kind, undo, "GUIDModify : ");
    }
    for (; step == LIST_DONE && node != nullptr; node = node->next) {
        const LiveObject_s* object = changedObject(reading, node);
        if (object != nullptr) {
            char held[GUID_TEXT_SIZE];
            LB_GUIDToString(&object->id, held);
            step = writeListPair(&file, node->name, held);
        }
    }
    bool kept = false;
    if (step == LIST_DONE) {
        step = endListFile(&file, rotate ? UNDO_KEPT : 0, &kept);
    }
    if (step == LIST_INTERRUPTED || file.output.interrupted) {
        reportInterrupted("GUIDModify : ");
        return -1;
    }
    if (step != LIST_DONE) {
        printf("Undo list \"%s\" could not be written, error : %d\n", shown(undo).text,
               file.output.error);
        explainFileFailure(undo, file.output.error);
        return -1;
    }
    *written = true;
    return 0;
}

// Reads the live system and, when nothing there refuses the list, writes the undo list and
// applies the list. 0 or -1.
int readThenApply(const ObjectKind_s& kind, const char* path, const char* undo, bool rotate)
{
    LiveReading_s reading;
    LiveVerdict_s verdict = {LIVE_NO_MEMORY, nullptr, nullptr};
    if (readLiveSystem(kind, &reading, "put", "GUIDModify : ") == 0) {
        verdict = judgeList(&reading);
    }
    if (verdict.refusal == LIVE_ACCEPTED || verdict.refusal == LIVE_SAME_ID) {
        explainUncompared(kind, &reading);
    }
    printRefusal(kind, &reading, verdict);
    if (verdict.refusal == LIVE_UNREAD) {
        explainUnread(kind, &reading, verdict.node);
    }
    bool written = false;
    int result = (verdict.refusal == LIVE_ACCEPTED)
                     ? writeUndoList(kind, &reading, undo, rotate, &written)
                     : -1;
    freeLiveReading(&reading);
    if (result != 0) {
        puts("Nothing was changed");
        return -1;
    }
    return GUIDModify(kind, path, written ? undo : nullptr);
}

}  // namespace

int GUIDModify(const ObjectKind_s& kind, const char* path, const char* undo)
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
            return reportStop(kind, path, counts.changed, undo);
        }
        uint64_t rootKey = 0;
        uint64_t objectKey = 0;
        if (openObject(kind, "GUIDModify", listHead->name, &rootKey, &objectKey) != 0) {
            return reportStop(kind, path, counts.changed, undo);
        }
        ApplyResult result = applyNode(kind, listHead, objectKey);
        releaseObjectThenRoot(objectKey, rootKey);
        if (result == NODE_FAILED) {
            // The failing node and the ones after it stay in the list, unapplied.
            return reportStop(kind, path, counts.changed, undo);
        }
        counts.changed += (result == NODE_CHANGED || result == NODE_HELD) ? 1 : 0;
        counts.held += (result == NODE_HELD) ? 1 : 0;
        counts.inactive += (result == NODE_SKIPPED) ? 1 : 0;
        free(takeFirstNode());
        stepProgress(++handled);
    }
    explainPutDone(kind.commandWord, path, counts.changed - counts.held, counts.held,
                   counts.inactive);
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
    PairNote_s* notes = nullptr;
    int parsed = XMLParser(kind, buffer, length, &notes);
    free(buffer);
    if (parsed != 0) {
        puts("Failed to Parse the XML from Buffer");
        discardList();
        return -1;
    }
    // A file written by hand carries no check at all, and then none is missed; whether one
    // does is the whole file's, the pairs named are those taken.
    bool checked = anyPairChecked(notes);
    if (filter.count != 0 && keepNamedPairs(kind, filter, notes) != 0) {
        free(notes);
        discardList();
        return -1;
    }
    if (checked) {
        reportUncheckedPairs(kind, notes);
    }
    free(notes);
    return 0;
}

int putList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter,
            const char* undo)
{
    if (loadList(kind, path, filter) != 0) {
        return -1;
    }
    char own[64];
    (void)snprintf(own, sizeof own, "%s/%s-before-put.xml", UNDO_FOLDER, kind.countedWord);
    // An empty list is the walk's to refuse, before any request.
    int status = (listHead == nullptr)
                     ? GUIDModify(kind, path, nullptr)
                     : readThenApply(kind, path, (undo != nullptr) ? undo : own, undo == nullptr);
    endProgress();
    if (status != 0) {
        printf("GUIDModify failed, status %d\n", status);
        // The put road has always closed a failed walk with this line too.
        puts("Failed to Parse the XML from Buffer");
    }
    return status;
}
