// SPDX-License-Identifier: Apache-2.0
// The name/ID list shared by both roads, the object kind, and the get and put workflows.
#pragma once

#include <cstddef>
#include <cstdint>

// One pool or volume: its name and its ID text. One heap block per node.
struct NameGUIDList_s {
    char name[256];
    char guidText[38];
    NameGUIDList_s* next;
};

extern NameGUIDList_s* listHead;
extern NameGUIDList_s* listTail;
// 1 for pools; any other value means volumes.
extern int32_t isPool;
extern const char* poolAdminPath;    // "_admin:\pools\%s"
extern const char* volumeAdminPath;  // "_admin:\volumes\%s"

constexpr size_t ADMIN_PATH_SIZE = 1024;

// Appends a node whose fields the caller filled (next must be null).
void appendNode(NameGUIDList_s* node);
// Unlinks the first node and returns it (null for an empty list); the caller frees it.
NameGUIDList_s* takeFirstNode();
// Frees every node; the list is empty afterwards.
void discardList();
// The admin path of the named object of the current kind, bounded by size.
// 0, or -1 when it would not fit (nothing usable is left in buffer then).
int formatAdminPath(char* buffer, size_t size, const char* name);

// Get road: lists the admin directory, collects every active object's ID, writes the file.
int getName(const char* path);
int getInfo(const char* name);
// Put road: applies the list to the storage system, consuming it.
int GUIDModify();
