// SPDX-License-Identifier: Apache-2.0
// Names and IDs listed twice, found with two hash tables in one pass over the list, so that
// a list of a million pairs costs about as much per pair as a short one.
#include "listed_twice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"

namespace {

// Slots per table: at least twice the pairs, so that probe runs stay short.
constexpr size_t MIN_SLOTS = 16;

// Slot i of the name table and slot i of the ID table, side by side. A node is null while
// its slot is free.
struct Slot_s {
    const NameGUIDList_s* named;
    const NameGUIDList_s* identified;
    GUID id;
};

// FNV-1a.
uint64_t hashBytes(const void* bytes, size_t size)
{
    uint64_t hash = 14695981039346656037ULL;
    for (size_t at = 0; at < size; ++at) {
        hash = (hash ^ static_cast<const unsigned char*>(bytes)[at]) * 1099511628211ULL;
    }
    return hash;
}

// The earlier node of node's name, or null once node is noted as the first of it.
const NameGUIDList_s* noteName(Slot_s* slots, size_t mask, const NameGUIDList_s* node)
{
    size_t at = hashBytes(node->name, strlen(node->name)) & mask;
    for (; slots[at].named != nullptr; at = (at + 1) & mask) {
        if (strcmp(slots[at].named->name, node->name) == 0) {
            return slots[at].named;
        }
    }
    slots[at].named = node;
    return nullptr;
}

// The same for the ID a pair's text converted to; the nil ID is no object's identity.
const NameGUIDList_s* noteId(Slot_s* slots, size_t mask, const NameGUIDList_s* node, const GUID& id)
{
    static const GUID nil = {};
    if (memcmp(&id, &nil, sizeof(id)) == 0) {
        return nullptr;
    }
    size_t at = hashBytes(&id, sizeof(id)) & mask;
    for (; slots[at].identified != nullptr; at = (at + 1) & mask) {
        if (memcmp(&slots[at].id, &id, sizeof(id)) == 0) {
            return slots[at].identified;
        }
    }
    slots[at].identified = node;
    slots[at].id = id;
    return nullptr;
}

}  // namespace

int refuseListedTwice(const ObjectKind_s& kind, const PairNote_s* notes, bool quiet)
{
    size_t pairs = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++pairs;
    }
    size_t count = MIN_SLOTS;
    while (count < 2 * pairs) {
        count *= 2;
    }
    auto* slots = static_cast<Slot_s*>(calloc(count, sizeof(Slot_s)));
    if (slots == nullptr) {
        if (!quiet) {
            puts("Malloc : Failed to allocate the duplicate check");
        }
        return -1;
    }
    int result = 0;
    const PairNote_s* note = notes;
    for (const NameGUIDList_s* node = listHead; node != nullptr && result == 0;
         node = node->next, ++note) {
        const NameGUIDList_s* earlier = noteName(slots, count - 1, node);
        if (earlier != nullptr) {
            result = -1;
            if (!quiet) {
                printf("XMLParser: line %u: %s \"%s\" is listed twice\n", note->nameLine, kind.word,
                       shown(node->name).text);
            }
        } else if ((earlier = noteId(slots, count - 1, node, note->id)) != nullptr) {
            result = -1;
            if (!quiet) {
                printf("XMLParser: line %u: %s \"%s\" has the same ID as %s \"%s\"\n",
                       note->guidLine, kind.word, shown(node->name).text, kind.word,
                       shown(earlier->name).text);
            }
        }
    }
    free(slots);
    return result;
}
