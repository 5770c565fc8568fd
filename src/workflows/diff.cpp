// SPDX-License-Identifier: Apache-2.0
// Diff road: reads an ID list file as put reads it and, without changing anything, tells
// object by object what put would do with it, then lists the objects of the admin
// directory that the file does not name. Only the get road's requests are made.
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

// What put would do with one pair, or what an object the file does not name looks like.
enum DiffState : int { SAME = 0, CHANGE, INACTIVE, MISSING, FAILED, NOT_IN_FILE, STATE_COUNT };

const char* const STATE_WORDS[STATE_COUNT] = {"same",    "change", "inactive",
                                              "missing", "failed", "not-in-file"};

// The names of the admin directory that the file does not name, in directory order,
// each with its terminating zero.
struct NameBlock_s {
    char* bytes;
    size_t used;
    size_t capacity;
    uint32_t count;
};

constexpr size_t NAME_BLOCK_CHUNK = 16000;
// The longest detail of an object's line: two ID texts joined by " -> ".
constexpr size_t DETAIL_SIZE = 2 * GUID_TEXT_SIZE + 4;

void describeFailure(Reach_s reach, char* detail)
{
    const char* request = (reach.step == ROOT_KEY_FAILED) ? "zRootKey"
                          : (reach.step == OPEN_FAILED)   ? "zOpen"
                                                          : "zGetInfo";
    (void)snprintf(detail, DETAIL_SIZE, "%s error %ld", request, statusValue(reach.status));
}

void printObject(const ObjectKind_s& kind, DiffState state, const char* name, const char* detail,
                 int stopsPut)
{
    printf("%-11s %s \"%s\"%s%s%s\n", STATE_WORDS[state], kind.word, shown(name).text,
           detail[0] ? "  " : "", detail, stopsPut ? "  <- put stops here" : "");
}

// What put would do with one pair of the file; *detail gets the line's detail. `listed`:
// the admin directory shows the name; `complete`: it could be listed to its end.
DiffState diffPair(const ObjectKind_s& kind, const NameGUIDList_s* node, bool listed, bool complete,
                   char* detail)
{
    detail[0] = '\0';
    ZapiInfo_s info;
    Reach_s reach = readObject(kind, node->name, &info);
    if (reach.step != OBJECT_REACHED) {
        describeFailure(reach, detail);
        // An open that fails for a name the whole admin directory does not show: no such
        // object.
        return (reach.step == OPEN_FAILED && !listed && complete) ? MISSING : FAILED;
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        return INACTIVE;
    }
    // The reader has refused every file with an ID text that does not convert.
    GUID wanted;
    (void)LB_GUIDFromString(node->guidText, &wanted);
    GUID current;
    memcpy(&current, objectIdField(kind, &info), sizeof(current));
    LB_GUIDToString(&current, detail);
    if (memcmp(&current, &wanted, sizeof(current)) == 0) {
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
void describeUnlisted(const ObjectKind_s& kind, const char* name, char* detail)
{
    ZapiInfo_s info;
    Reach_s reach = readObject(kind, name, &info);
    if (reach.step != OBJECT_REACHED) {
        describeFailure(reach, detail);
    } else if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        (void)snprintf(detail, DETAIL_SIZE, "inactive");
    } else {
        GUID current;
        memcpy(&current, objectIdField(kind, &info), sizeof(current));
        LB_GUIDToString(&current, detail);
    }
}

// The list's names (the reader lets none stand twice), sorted for lookups, each marked once
// the admin directory shows it. Null (reported) when memory is short.
NameMark_s* indexList(size_t* count)
{
    *count = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++*count;
    }
    auto* index = static_cast<NameMark_s*>(malloc(*count * sizeof(NameMark_s)));
    if (index == nullptr) {
        puts("Malloc : Failed to allocate the diff name index");
        return nullptr;
    }
    size_t at = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        index[at++] = NameMark_s{node->name, false};
    }
    sortNameMarks(index, *count);
    return index;
}

int keepName(NameBlock_s* block, const char* name)
{
    size_t size = strlen(name) + 1;
    if (block->used + size > block->capacity) {
        size_t capacity = block->capacity + NAME_BLOCK_CHUNK;
        while (block->used + size > capacity) {
            capacity *= 2;
        }
        char* bytes = static_cast<char*>(realloc(block->bytes, capacity));
        if (bytes == nullptr) {
            puts("Malloc : Failed to allocate the diff directory names");
            return -1;
        }
        block->bytes = bytes;
        block->capacity = capacity;
    }
    memcpy(block->bytes + block->used, name, size);
    block->used += size;
    ++block->count;
    return 0;
}

// Lists the admin directory: marks the file's names it shows and keeps the others (with
// `unlisted` null, only marks). A listing that fails is left in *walk for the report, which
// goes on without the rest of it: put never lists the directory. 0, or -1 (reported) when
// memory is short.
int scanDirectory(const ObjectKind_s& kind, NameMark_s* index, size_t count, NameBlock_s* unlisted,
                  AdminWalk_s* walk)
{
    if (openAdminWalk(kind, walk) != 0) {
        return 0;
    }
    int result = 0;
    while (result == 0 && nextAdminName(walk)) {
        NameMark_s* found = findNameMark(index, count, walk->name);
        if (found != nullptr) {
            found->marked = true;
        } else if (unlisted != nullptr) {
            result = keepName(unlisted, walk->name);
        }
    }
    walk->failed = walk->failed || result != 0;
    closeAdminWalk(walk);
    return result;
}

// Walks the pairs, then the unlisted names and the listing's failure, printing one line
// each and the summary. A termination signal stops the report before the next object's
// requests; the object in hand has been read and its keys released.
DiffResult reportAll(const ObjectKind_s& kind, NameMark_s* index, size_t count,
                     const NameBlock_s* unlisted, const AdminWalk_s* walk)
{
    unsigned counts[STATE_COUNT] = {};
    int stopped = 0;
    char detail[DETAIL_SIZE];
    startProgress("diff", kind.commandWord, static_cast<uint32_t>(count) + unlisted->count);
    uint32_t done = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        if (reportInterrupted("diff : ")) {
            return DIFF_FAILS;
        }
        const NameMark_s* entry = findNameMark(index, count, node->name);
        DiffState state = diffPair(kind, node, entry->marked, walk->failedCall == nullptr, detail);
        int stops = (state == MISSING || state == FAILED);
        printObject(kind, state, node->name, detail, stops && !stopped);
        stopped |= stops;
        ++counts[state];
        stepProgress(++done);
    }
    for (size_t at = 0; at < unlisted->used; at += strlen(unlisted->bytes + at) + 1) {
        if (reportInterrupted("diff : ")) {
            return DIFF_FAILS;
        }
        describeUnlisted(kind, unlisted->bytes + at, detail);
        printObject(kind, NOT_IN_FILE, unlisted->bytes + at, detail, 0);
        ++counts[NOT_IN_FILE];
        stepProgress(++done);
    }
    reportListingFailure(walk);
    printf("diff: %u same, %u change, %u inactive, %u missing, %u failed, %u not-in-file\n",
           counts[SAME], counts[CHANGE], counts[INACTIVE], counts[MISSING], counts[FAILED],
           counts[NOT_IN_FILE]);
    if (stopped) {
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

    size_t count = 0;
    NameMark_s* index = indexList(&count);
    NameBlock_s unlisted = {nullptr, 0, 0, 0};
    AdminWalk_s walk;
    DiffResult result = DIFF_FAILS;
    // Named objects only: the others of the directory are not shown.
    if (index != nullptr &&
        scanDirectory(kind, index, count, (filter.count == 0) ? &unlisted : nullptr, &walk) == 0) {
        result = reportAll(kind, index, count, &unlisted, &walk);
        endProgress();
    }
    free(unlisted.bytes);
    free(index);
    discardList();
    return result;
}
