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

// Names the object that a failure, reported just before, keeps out of the file.
int notSaved(const char* name)
{
    printf("%s %s could not be saved\n", objectKind().word, name);
    return -1;
}

// The reader takes white space around a name as the file's layout, and '<' as the start
// of a tag: such a name would not come back as it was.
bool fileCannotHold(const char* name)
{
    return strpbrk(name, " \t\n\v\f\r<") != nullptr;
}

int interrupted()
{
    printf("getName : interrupted by signal %d\n", caughtSignal());
    return -1;
}

}  // namespace

int getInfo(const char* name)
{
    // The keys are released, root key first, as soon as the record is read: everything
    // after that needs only the record.
    const ObjectKind_s& kind = objectKind();
    ZapiInfo_s info;
    uint32_t status = 0;
    int step = readObject(kind, name, &info, &status);
    if (step == GET_INFO_FAILED) {
        printf("%s :zGetInfo failed -- error %ld\n", kind.word, statusValue(status));
        return notSaved(name);
    }
    if (step != OBJECT_REACHED) {
        reportReachFailure("getInfo", name, step, status);
        return notSaved(name);
    }
    if (objectState(kind, &info) != ZAPI_STATE_ACTIVE) {
        printf("%s %s must be active to get its Tavro ID\n", kind.word, name);
        return 1;
    }

    GUID guid;
    memcpy(&guid, objectIdField(kind, &info), sizeof(guid));
    char guidText[GUID_TEXT_SIZE];
    LB_GUIDToString(&guid, guidText);
    if (fileCannotHold(name)) {
        // The ID is printed so that it is not lost.
        printf("%s %s could not be saved: the list file cannot hold its name (Tavro ID %s)\n",
               kind.word, name, guidText);
        return -1;
    }

    auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
    if (node == nullptr) {
        puts("Malloc : Failed to allocate a tmp var of NameGUIDList_s");
        return notSaved(name);
    }
    // readObject has made sure that the name fits the node.
    (void)snprintf(node->name, sizeof(node->name), "%s", name);
    memcpy(node->guidText, guidText, sizeof(node->guidText));
    node->next = nullptr;
    appendNode(node);
    return 0;
}

int getName(const char* path, uint32_t keep, uint32_t* unsaved, bool* kept)
{
    *unsaved = 0;
    *kept = false;
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
        if (getInfo(entry->d_name) < 0) {
            ++*unsaved;
        }
        if (caughtSignal() != 0) {
            closedir(directory);
            discardList();
            return interrupted();
        }
    }
    closedir(directory);

    int result = writeGUIDToFile(path, keep, kept);
    if (result != 0) {
        // An interrupted writer has left the file as it was and said nothing.
        if (caughtSignal() != 0) {
            return interrupted();
        }
        printf("getName : FAILED to print GUID to File %s, Error = %d\n", path, result);
        return -1;
    }
    return (*unsaved == 0) ? 0 : 1;
}
