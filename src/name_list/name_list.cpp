// SPDX-License-Identifier: Apache-2.0
#include "name_list.h"

#include <cstdlib>

NameGUIDList_s* listHead = nullptr;
NameGUIDList_s* listTail = nullptr;

void appendNode(NameGUIDList_s* node)
{
    node->next = nullptr;
    if (listHead == nullptr) {
        listHead = node;
    } else {
        listTail->next = node;
    }
    listTail = node;
}

NameGUIDList_s* takeFirstNode()
{
    NameGUIDList_s* node = listHead;
    if (node == nullptr) {
        return nullptr;
    }
    listHead = node->next;
    if (listHead == nullptr) {
        listTail = nullptr;
    }
    node->next = nullptr;
    return node;
}

void discardList()
{
    while (NameGUIDList_s* node = takeFirstNode()) {
        free(node);
    }
}

uint32_t countNodes(const NameGUIDList_s* head)
{
    uint32_t count = 0;
    for (; head != nullptr; head = head->next) {
        ++count;
    }
    return count;
}
