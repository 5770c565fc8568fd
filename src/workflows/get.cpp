// SPDX-License-Identifier: Apache-2.0
// Get road: every active pool or volume that the admin directory lists goes, with its
// object ID, into the list and from there into the ID list file.
#include <dirent.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "id_list.h"
#include "object_access.h"
#include "object_id.h"
#include "workflows.h"

namespace {

void releaseRootThenObject(uint64_t rootKey, uint64_t objectKey)
{
    zClose(rootKey);
    zClose(objectKey);
}

}  // namespace

int getInfo(const char* name)
{
    uint64_t rootKey = 0;
    uint64_t objectKey = 0;
    if (openObject("getInfo", name, &rootKey, &objectKey) != 0) {
        return -1;
    }

    const ObjectKind_s& kind = objectKind();
    ZapiInfo_s info;
    uint32_t status = readObjectInfo(kind, objectKey, &info);
    if (status != 0) {
        printf("%s :zGetInfo failed -- error %ld\n", kind.word, statusValue(status));
        releaseRootThenObject(rootKey, objectKey);
        return -1;
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s %s must be active to get its Tavro ID\n", kind.word, name);
        releaseRootThenObject(rootKey, objectKey);
        return -1;
    }

    GUID guid;
    memcpy(&guid, objectIdField(kind, &info), sizeof(guid));
    char guidText[GUID_TEXT_SIZE];
    LB_GUIDToString(&guid, guidText);

    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        puts("Malloc : Failed to allocate a tmp var of NameGUIDList_s");
        releaseRootThenObject(rootKey, objectKey);
        return -1;
    }
    // openObject has made sure that the name fits the node.
    (void)snprintf(node->name, sizeof(node->name), "%s", name);
    memcpy(node->guidText, guidText, sizeof(node->guidText));
    node->next = nullptr;
    appendNode(node);

    releaseRootThenObject(rootKey, objectKey);
    return 0;
}

int getName(const char* path)
{
    DIR* directory = opendir(objectKind().adminDirectory);
    if (directory == nullptr) {
        printf("Opendir failed, errno : %d\n", errno);
        return -1;
    }

    for (;;) {
        // readdir tells its end from its failure only through errno.
        errno = 0;
        const dirent* entry = readdir(directory);
        if (entry == nullptr) {
            int readError = errno;
            if (readError == 0) {
                break;
            }
            // A listing cut short would back up only some objects and still report
            // success: refuse the whole run instead.
            printf("Readdir failed, errno : %d\n", readError);
            closedir(directory);
            discardList();
            return -1;
        }
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        // A failing object has been reported and is left out; the others still count.
        getInfo(entry->d_name);
    }
    closedir(directory);

    int result = writeGUIDToFile(path);
    if (result != 0) {
        printf("getName : FAILED to print GUID to File %s, Error = %d\n", path, result);
        return -1;
    }
    return 0;
}
