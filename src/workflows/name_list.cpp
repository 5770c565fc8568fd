// SPDX-License-Identifier: Apache-2.0
#include <cstdio>
#include <cstdlib>

#include "workflows.h"

NameGUIDList_s* listHead = nullptr;
NameGUIDList_s* listTail = nullptr;
int32_t isPool = 0;
const char* poolAdminPath = "_admin:\\pools\\%s";
const char* volumeAdminPath = "_admin:\\volumes\\%s";

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
    const char* format = (isPool == 1) ? poolAdminPath : volumeAdminPath;
    // The format is one of the two fixed admin path formats, each with one %s.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int length = snprintf(buffer, size, format, name);
#pragma GCC diagnostic pop
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return -1;
    }
    return 0;
}
