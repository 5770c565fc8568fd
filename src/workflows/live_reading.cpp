// SPDX-License-Identifier: Apache-2.0
// Reading the live system before put changes anything (and for diff, which tells what put
// would do): what every object of the kind holds now, so that a list which cannot be
// applied whole, or would give two objects one ID, is refused while nothing has changed.
// A million objects are kept in one array of small records and one block of names, with
// two open-addressing indexes of 32-bit entries: by name, and by ID.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_client.h"
#include "admin_report.h"
#include "object_access.h"
#include "signals.h"

namespace {

constexpr uint32_t FIRST_OBJECTS = 1024;
constexpr size_t FIRST_NAMES = 16000;

int noMemory()
{
    puts("Malloc : Failed to allocate the reading of the storage system");
    return -1;
}

// FNV-1a: names of a directory often differ in their last characters only.
uint32_t hashBytes(const void* bytes, size_t length)
{
    const auto* at = static_cast<const unsigned char*>(bytes);
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < length; ++i) {
        hash = (hash ^ at[i]) * 16777619u;
    }
    return hash;
}

// Slots for `count` entries, at most half of them used: a power of two. Null (reported).
uint32_t* newSlots(uint32_t count, uint32_t* mask)
{
    uint32_t size = 64;
    while (size < 2 * static_cast<uint64_t>(count)) {
        size *= 2;
    }
    auto* slots = static_cast<uint32_t*>(calloc(size, sizeof(uint32_t)));
    if (slots == nullptr) {
        noMemory();
    }
    *mask = size - 1;
    return slots;
}

void indexName(LiveReading_s* reading, uint32_t index)
{
    const char* name = liveName(reading, &reading->objects[index]);
    uint32_t at = hashBytes(name, strlen(name)) & reading->nameMask;
    while (reading->nameSlots[at] != 0) {
        at = (at + 1) & reading->nameMask;
    }
    reading->nameSlots[at] = index + 1;
}

// Appends an object of that name, not yet read. 0, or -1 (reported).
int addObject(LiveReading_s* reading, const char* name, uint8_t flags)
{
    size_t size = strlen(name) + 1;
    if (reading->namesUsed + size > reading->namesCapacity) {
        size_t capacity = (reading->namesCapacity == 0) ? FIRST_NAMES : reading->namesCapacity * 2;
        while (reading->namesUsed + size > capacity) {
            capacity *= 2;
        }
        char* names = static_cast<char*>(realloc(reading->names, capacity));
        if (names == nullptr) {
            return noMemory();
        }
        reading->names = names;
        reading->namesCapacity = capacity;
    }
    if (reading->count == reading->capacity) {
        uint32_t capacity = (reading->capacity == 0) ? FIRST_OBJECTS : reading->capacity * 2;
        auto* objects =
            static_cast<LiveObject_s*>(realloc(reading->objects, capacity * sizeof(LiveObject_s)));
        if (objects == nullptr) {
            return noMemory();
        }
        reading->objects = objects;
        reading->capacity = capacity;
    }
    LiveObject_s* object = &reading->objects[reading->count++];
    *object = LiveObject_s{};
    object->nameAt = static_cast<uint32_t>(reading->namesUsed);
    object->flags = flags;
    memcpy(reading->names + reading->namesUsed, name, size);
    reading->namesUsed += size;
    return 0;
}

// Reads the last object added, as getInfo does.
void readLast(const ObjectKind_s& kind, LiveReading_s* reading)
{
    LiveObject_s* object = &reading->objects[reading->count - 1];
    ZapiInfo_s info;
    Reach_s reach = readObject(kind, liveName(reading, object), &info);
    object->step = static_cast<uint8_t>(reach.step);
    object->status = reach.status;
    if (reach.step == ROOT_KEY_FAILED && zapiFd == -1) {
        object->flags |= LIVE_DEVICE_SHUT;
    }
    if (reach.step == OBJECT_REACHED) {
        memcpy(&object->id, objectIdField(kind, &info), sizeof(object->id));
        object->flags |= (objectState(kind, &info) == ZAPI_STATE_ACTIVE) ? LIVE_ACTIVE : 0;
    }
}

// The listed objects, read in directory order. A listing that fails is kept in
// reading->walk, the objects listed before it read. 0, or -1 (reported).
int readListed(const ObjectKind_s& kind, LiveReading_s* reading, const char* road, const char* lead)
{
    if (openAdminWalk(kind, &reading->walk) != 0) {
        return 0;
    }
    startProgress(road, kind.commandWord, progressWanted() ? countAdminNames(kind) : 0);
    int result = 0;
    while (result == 0 && nextAdminName(&reading->walk)) {
        result = addObject(reading, reading->walk.name, LIVE_LISTED);
        if (result == 0) {
            readLast(kind, reading);
            stepProgress(reading->count);
            result = reportInterrupted(lead) ? -1 : 0;
        }
    }
    endProgress();
    reading->walk.failed = reading->walk.failed || result != 0;
    closeAdminWalk(&reading->walk);
    return result;
}

}  // namespace

int readLiveSystem(const ObjectKind_s& kind, LiveReading_s* reading, const char* road,
                   const char* lead)
{
    *reading = LiveReading_s{};
    if (readListed(kind, reading, road, lead) != 0) {
        return -1;
    }
    reading->nameSlots = newSlots(reading->count + countNodes(listHead), &reading->nameMask);
    if (reading->nameSlots == nullptr) {
        return -1;
    }
    for (uint32_t index = 0; index < reading->count; ++index) {
        indexName(reading, index);
    }
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        LiveObject_s* object = findLiveObject(reading, node->name);
        if (object != nullptr) {
            object->flags |= LIVE_NAMED;
            continue;
        }
        if (addObject(reading, node->name, LIVE_NAMED) != 0) {
            return -1;
        }
        indexName(reading, reading->count - 1);
        readLast(kind, reading);
        if (reportInterrupted(lead)) {
            return -1;
        }
    }
    return 0;
}

void freeLiveReading(LiveReading_s* reading)
{
    free(reading->objects);
    free(reading->names);
    free(reading->nameSlots);
    free(reading->idSlots);
    *reading = LiveReading_s{};
}

LiveObject_s* findLiveObject(const LiveReading_s* reading, const char* name)
{
    if (reading->nameSlots == nullptr) {
        return nullptr;
    }
    uint32_t at = hashBytes(name, strlen(name)) & reading->nameMask;
    for (uint32_t slot = reading->nameSlots[at]; slot != 0; slot = reading->nameSlots[at]) {
        LiveObject_s* object = &reading->objects[slot - 1];
        if (strcmp(liveName(reading, object), name) == 0) {
            return object;
        }
        at = (at + 1) & reading->nameMask;
    }
    return nullptr;
}

namespace {

bool isNil(const GUID* id)
{
    static const GUID nil{};
    return memcmp(id, &nil, sizeof nil) == 0;
}

// The objects that keep their IDs, read, indexed by ID. The nil ID, exempt, is left out:
// objects that have none yet would all stand in one chain of slots. 0, or -1 (reported).
int indexKeptIds(LiveReading_s* reading)
{
    reading->idSlots = newSlots(reading->count, &reading->idMask);
    if (reading->idSlots == nullptr) {
        return -1;
    }
    for (uint32_t index = 0; index < reading->count; ++index) {
        const LiveObject_s* object = &reading->objects[index];
        if (object->step != OBJECT_REACHED || (object->flags & LIVE_TAKES_LIST_ID) != 0 ||
            isNil(&object->id)) {
            continue;
        }
        uint32_t at = hashBytes(&object->id, sizeof object->id) & reading->idMask;
        while (reading->idSlots[at] != 0) {
            at = (at + 1) & reading->idMask;
        }
        reading->idSlots[at] = index + 1;
    }
    return 0;
}

}  // namespace

LiveVerdict_s judgeList(LiveReading_s* reading)
{
    LiveVerdict_s verdict = {LIVE_ACCEPTED, nullptr, nullptr};
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        LiveObject_s* object = findLiveObject(reading, node->name);
        if (object->step != OBJECT_REACHED) {
            verdict.node = (verdict.node == nullptr) ? node : verdict.node;
        } else if ((object->flags & LIVE_ACTIVE) != 0) {
            object->flags |= LIVE_TAKES_LIST_ID;
        }
    }
    if (indexKeptIds(reading) != 0) {
        return {LIVE_NO_MEMORY, nullptr, nullptr};
    }
    if (reading->walk.failedCall != nullptr) {
        return {LIVE_UNLISTED, nullptr, nullptr};
    }
    if (verdict.node != nullptr) {
        verdict.refusal = LIVE_UNREAD;
        return verdict;
    }
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        verdict.other = sameIdHolder(reading, node);
        if (verdict.other != nullptr) {
            return {LIVE_SAME_ID, node, verdict.other};
        }
    }
    return verdict;
}

const LiveObject_s* sameIdHolder(const LiveReading_s* reading, const NameGUIDList_s* node)
{
    const LiveObject_s* object = findLiveObject(reading, node->name);
    GUID wanted;
    // The reader has refused every ID text that does not convert, and two pairs of one ID:
    // the objects that take the list's IDs never share one.
    if ((object->flags & LIVE_TAKES_LIST_ID) == 0 || reading->idSlots == nullptr ||
        LB_GUIDFromString(node->guidText, &wanted) != 0 || isNil(&wanted) ||
        memcmp(&wanted, &object->id, sizeof wanted) == 0) {
        return nullptr;
    }
    uint32_t at = hashBytes(&wanted, sizeof wanted) & reading->idMask;
    for (uint32_t slot = reading->idSlots[at]; slot != 0; slot = reading->idSlots[at]) {
        const LiveObject_s* holder = &reading->objects[slot - 1];
        if (memcmp(&holder->id, &wanted, sizeof wanted) == 0) {
            return holder;
        }
        at = (at + 1) & reading->idMask;
    }
    return nullptr;
}

void printRefusal(const ObjectKind_s& kind, const LiveReading_s* reading,
                  const LiveVerdict_s& verdict)
{
    if (verdict.refusal == LIVE_UNLISTED) {
        reportListingFailure(&reading->walk);
    } else if (verdict.refusal == LIVE_UNREAD) {
        const LiveObject_s* object = findLiveObject(reading, verdict.node->name);
        if (object->step == GET_INFO_FAILED) {
            printf("%szGetInfo failed -- error %ld\n", kind.infoFailureLead,
                   statusValue(object->status));
        } else if (object->step == NAME_TOO_LONG) {
            printf("GUIDModify : name %s is too long\n", shown(verdict.node->name).text);
        } else {
            printf("GUIDModify : %s error %ld\n",
                   (object->step == ROOT_KEY_FAILED) ? "zRootKey" : "zOpen",
                   statusValue(object->status));
        }
    } else if (verdict.refusal == LIVE_SAME_ID) {
        printf("%s \"%s\" would get the ID that %s \"%s\" holds\n", kind.word,
               shown(verdict.node->name).text, kind.word,
               shown(liveName(reading, verdict.other)).text);
    }
}
