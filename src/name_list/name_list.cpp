// SPDX-License-Identifier: Apache-2.0
#include "name_list.h"

#include <cstdio>
#include <cstdlib>

NameGUIDList_s* listHead = nullptr;
NameGUIDList_s* listTail = nullptr;
int32_t isPool = 0;
const char* poolAdminPath = POOL_KIND.adminPath;
const char* volumeAdminPath = VOLUME_KIND.adminPath;

const ObjectKind_s& objectKind()
{
    return (isPool == 1) ? POOL_KIND : VOLUME_KIND;
}

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

int formatAdminPath(char* buffer, size_t size, const char* name)
{
    // The format is one of the two fixed admin path formats, each with one %s.
    const char* format = objectKind().adminPath;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int length = snprintf(buffer, size, format, name);
#pragma GCC diagnostic pop
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return -1;
    }
    return 0;
}
