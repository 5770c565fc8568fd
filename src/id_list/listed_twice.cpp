// SPDX-License-Identifier: Apache-2.0
// Names and IDs listed twice, found with two hash tables in one pass over the list, so that
// a list of a million pairs costs about as much as reading it.
#include "listed_twice.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "object_id.h"

namespace {

// Slots per table: at least twice the pairs, so that probe runs stay short.
constexpr size_t MIN_SLOTS = 16;

struct IdSlot_s {
    GUID id;
    const NameGUIDList_s* node;  // null: the slot is free
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
const NameGUIDList_s* noteName(const NameGUIDList_s** slots, size_t mask,
                               const NameGUIDList_s* node)
{
    size_t at = hashBytes(node->name, strlen(node->name)) & mask;
    for (; slots[at] != nullptr; at = (at + 1) & mask) {
        if (strcmp(slots[at]->name, node->name) == 0) {
            return slots[at];
        }
    }
    slots[at] = node;
    return nullptr;
}

// The same for the ID node's text converts to. A text that does not convert is left to
// the walk, which refuses it; the nil ID is no object's identity.
const NameGUIDList_s* noteId(IdSlot_s* slots, size_t mask, const NameGUIDList_s* node)
{
    static const GUID nil = {};
    GUID id;
    if (LB_GUIDFromString(node->guidText, &id) != 0 || memcmp(&id, &nil, sizeof(id)) == 0) {
        return nullptr;
    }
    size_t at = hashBytes(&id, sizeof(id)) & mask;
    for (; slots[at].node != nullptr; at = (at + 1) & mask) {
        if (memcmp(&slots[at].id, &id, sizeof(id)) == 0) {
            return slots[at].node;
        }
    }
    slots[at] = IdSlot_s{id, node};
    return nullptr;
}

}  // namespace

int refuseListedTwice(const ObjectKind_s& kind)
{
    size_t pairs = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++pairs;
    }
    size_t slots = MIN_SLOTS;
    while (slots < 2 * pairs) {
        slots *= 2;
    }
    // One block: the name table, then the ID table.
    void* tables = calloc(slots, sizeof(const NameGUIDList_s*) + sizeof(IdSlot_s));
    if (tables == nullptr) {
        puts("Malloc : Failed to allocate the duplicate check");
        return -1;
    }
    auto* names = static_cast<const NameGUIDList_s**>(tables);
    auto* ids = reinterpret_cast<IdSlot_s*>(names + slots);
    int result = 0;
    for (const NameGUIDList_s* node = listHead; node != nullptr && result == 0; node = node->next) {
        const NameGUIDList_s* earlier = noteName(names, slots - 1, node);
        if (earlier != nullptr) {
            printf("XMLParser: %s \"%s\" is listed twice\n", kind.word, node->name);
            result = -1;
        } else if ((earlier = noteId(ids, slots - 1, node)) != nullptr) {
            printf("XMLParser: %s \"%s\" has the same ID as %s \"%s\"\n", kind.word, node->name,
                   kind.word, earlier->name);
            result = -1;
        }
    }
    free(tables);
    return result;
}
