// SPDX-License-Identifier: Apache-2.0
// Diff road: reads an ID list file and the live system as put reads them and, without
// changing anything, tells object by object what put would do with the file, then lists the
// objects of the admin directory that the file does not name, and put's refusal, if any.
// Only the get road's requests are made.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"
#include "id_list.h"
#include "object_access.h"
#include "object_id.h"
#include "workflows.h"

namespace {

// What put would do with one pair, or what an object the file does not name looks like.
enum DiffState : int { SAME = 0, CHANGE, INACTIVE, MISSING, FAILED, NOT_IN_FILE, STATE_COUNT };

const char* const STATE_WORDS[STATE_COUNT] = {"same",    "change", "inactive",
                                              "missing", "failed", "not-in-file"};
// The mark of the pair whose object put could not read: the one its refusal names.
const char* const STOPS_PUT = "  <- put stops here";

// The longest detail of an object's line: two ID texts joined by " -> ".
constexpr size_t DETAIL_SIZE = 2 * GUID_TEXT_SIZE + 4;

void describeFailure(const LiveObject_s* object, char* detail)
{
    const char* request = (object->step == ROOT_KEY_FAILED) ? "zRootKey"
                          : (object->step == OPEN_FAILED)   ? "zOpen"
                                                            : "zGetInfo";
    (void)snprintf(detail, DETAIL_SIZE, "%s error %ld", request, statusValue(object->status));
}

void printObject(const ObjectKind_s& kind, DiffState state, const char* name, const char* detail,
                 const char* mark, const char* holder)
{
    printf("%-11s %s \"%s\"%s%s%s", STATE_WORDS[state], kind.word, shown(name).text,
           detail[0] ? "  " : "", detail, mark);
    if (holder != nullptr) {
        printf("  <- would get the ID that %s \"%s\" holds", kind.word, shown(holder).text);
    }
    putchar('\n');
}

// What put would do with one pair of the file, as the reading found its object; *detail
// gets the line's detail. `complete`: the admin directory could be listed to its end.
DiffState diffPair(const NameGUIDList_s* node, const LiveObject_s* object, bool complete,
                   char* detail)
{
    detail[0] = '\0';
    if (object->step != OBJECT_REACHED) {
        describeFailure(object, detail);
        // An open that fails for a name the whole admin directory does not show: no such
        // object.
        return (object->step == OPEN_FAILED && (object->flags & LIVE_LISTED) == 0 && complete)
                   ? MISSING
                   : FAILED;
    }
    if ((object->flags & LIVE_ACTIVE) == 0) {
        return INACTIVE;
    }
    // The reader has refused every file with an ID text that does not convert.
    GUID wanted;
    (void)LB_GUIDFromString(node->guidText, &wanted);
    LB_GUIDToString(&object->id, detail);
    if (memcmp(&object->id, &wanted, sizeof wanted) == 0) {
        return SAME;
    }
    char wantedText[GUID_TEXT_SIZE];
    LB_GUIDToString(&wanted, wantedText);
    // "OLD -> NEW"
    (void)snprintf(detail + GUID_TEXT_SIZE - 1, DETAIL_SIZE - GUID_TEXT_SIZE + 1, " -> %s",
                   wantedText);
    return CHANGE;
}

// An object of the admin directory that the file does not name: its ID as get reads it.
void describeUnlisted(const LiveObject_s* object, char* detail)
{
    if (object->step != OBJECT_REACHED) {
        describeFailure(object, detail);
    } else if ((object->flags & LIVE_ACTIVE) == 0) {
        (void)snprintf(detail, DETAIL_SIZE, "inactive");
    } else {
        LB_GUIDToString(&object->id, detail);
    }
}

// One line per pair, then (`everything`: without --name) per object of the directory the
// file does not name, then put's refusal and the summary.
DiffResult reportAll(const ObjectKind_s& kind, const LiveReading_s* reading,
                     const LiveVerdict_s& verdict, bool everything)
{
    unsigned counts[STATE_COUNT] = {};
    char detail[DETAIL_SIZE];
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        const LiveObject_s* object = findLiveObject(reading, node->name);
        DiffState state = diffPair(node, object, reading->walk.failedCall == nullptr, detail);
        const LiveObject_s* holder = sameIdHolder(reading, node);
        printObject(kind, state, node->name, detail,
                    (node == verdict.node && verdict.refusal == LIVE_UNREAD) ? STOPS_PUT : "",
                    (holder != nullptr) ? liveName(reading, holder) : nullptr);
        ++counts[state];
    }
    for (uint32_t index = 0; everything && index < reading->count; ++index) {
        const LiveObject_s* object = &reading->objects[index];
        if ((object->flags & LIVE_NAMED) == 0) {
            describeUnlisted(object, detail);
            printObject(kind, NOT_IN_FILE, liveName(reading, object), detail, "", nullptr);
            ++counts[NOT_IN_FILE];
        }
    }
    printRefusal(kind, reading, verdict);
    printf("diff: %u same, %u change, %u inactive, %u missing, %u failed, %u not-in-file\n",
           counts[SAME], counts[CHANGE], counts[INACTIVE], counts[MISSING], counts[FAILED],
           counts[NOT_IN_FILE]);
    if (verdict.refusal != LIVE_ACCEPTED) {
        return DIFF_FAILS;
    }
    return (counts[CHANGE] > 0) ? DIFF_CHANGES : DIFF_SAME;
}

}  // namespace

DiffResult diffList(const ObjectKind_s& kind, const char* path, const NameFilter_s& filter)
{
    if (loadList(kind, path, filter) != 0) {
        return DIFF_FAILS;
    }
    if (listHead == nullptr) {
        puts("List is Empty, there are no Volumes");
        return DIFF_FAILS;
    }
    // The reading is put's, so that every refusal is put's.
    LiveReading_s reading;
    DiffResult result = DIFF_FAILS;
    if (readLiveSystem(kind, &reading, "diff", "diff : ") == 0) {
        LiveVerdict_s verdict = judgeList(&reading);
        if (verdict.refusal != LIVE_NO_MEMORY) {
            result = reportAll(kind, &reading, verdict, filter.count == 0);
        }
    }
    freeLiveReading(&reading);
    discardList();
    return result;
}
