// SPDX-License-Identifier: Apache-2.0
// The name/ID list that joins the two halves of each road.
#pragma once

#include <cstdint>

// One pool or volume: its name and its ID text. One heap block per node.
struct NameGUIDList_s {
    char name[256];
    char guidText[38];
    NameGUIDList_s* next;
};

extern NameGUIDList_s* listHead;
extern NameGUIDList_s* listTail;

// Appends a node whose fields the caller filled (next must be null).
void appendNode(NameGUIDList_s* node);
// Unlinks the first node and returns it (null for an empty list); the caller frees it.
NameGUIDList_s* takeFirstNode();
// Frees every node; the list is empty afterwards.
void discardList();
// The nodes from `head` to the end.
uint32_t countNodes(const NameGUIDList_s* head);
