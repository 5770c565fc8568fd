// SPDX-License-Identifier: Apache-2.0
#include "object_access.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"

// The kind records carry the device's masks and record offsets as plain numbers.
static_assert(POOL_KIND.infoMask == ZAPI_POOL_INFO_MASK);
static_assert(VOLUME_KIND.infoMask == ZAPI_VOLUME_INFO_MASK);
static_assert(POOL_KIND.modifyMask == ZAPI_POOL_MODIFY_MASK);
static_assert(VOLUME_KIND.modifyMask == ZAPI_VOLUME_MODIFY_MASK);
static_assert(POOL_KIND.stateOffset == offsetof(ZapiInfo_s, poolState));
static_assert(VOLUME_KIND.stateOffset == offsetof(ZapiInfo_s, volumeState));
static_assert(POOL_KIND.objectIdOffset == offsetof(ZapiInfo_s, poolObjectId));
static_assert(VOLUME_KIND.objectIdOffset == offsetof(ZapiInfo_s, volumeObjectId));

uint32_t objectState(const ObjectKind_s& kind, const ZapiInfo_s* info)
{
    uint32_t state = 0;
    memcpy(&state, reinterpret_cast<const uint8_t*>(info) + kind.stateOffset, sizeof(state));
    return state;
}

uint8_t* objectIdField(const ObjectKind_s& kind, ZapiInfo_s* info)
{
    return reinterpret_cast<uint8_t*>(info) + kind.objectIdOffset;
}

namespace {

// Names come from the admin directory or from list nodes, so they fit a node and an admin
// path; anything else is refused before the device sees a request. OBJECT_REACHED with both
// keys held, or the step that failed with no key held.
Reach_s reachObject(const ObjectKind_s& kind, const char* name, uint64_t* rootKey,
                    uint64_t* objectKey)
{
    char adminPath[ADMIN_PATH_SIZE];
    if (strnlen(name, sizeof(NameGUIDList_s::name)) >= sizeof(NameGUIDList_s::name) ||
        formatAdminPath(kind, adminPath, sizeof(adminPath), name) != 0) {
        return {NAME_TOO_LONG, 0};
    }
    uint32_t status = zRootKey(0, rootKey);
    if (status != 0) {
        // Still closed: it is the device that could not be opened, not a request refused.
        if (zapiFd == -1) {
            explainDeviceOpenFailure(static_cast<int>(status));
        }
        return {ROOT_KEY_FAILED, status};
    }
    status = zOpen(*rootKey, ZAPI_OPEN_VALUE, ZAPI_OPEN_FLAGS, adminPath, 0, objectKey);
    if (status != 0) {
        zClose(*rootKey);
        return {OPEN_FAILED, status};
    }
    return {OBJECT_REACHED, 0};
}

}  // namespace

void reportReachFailure(const ObjectKind_s& kind, const char* caller, const char* name,
                        Reach_s reach)
{
    if (reach.step == NAME_TOO_LONG) {
        printf("%s : name %s is too long\n", caller, shown(name).text);
        return;
    }
    const char* request = (reach.step == ROOT_KEY_FAILED) ? "zRootKey" : "zOpen";
    printf("%s : %s error %ld\n", caller, request, statusValue(reach.status));
    // A device that could not be opened has been explained already.
    if (reach.step != ROOT_KEY_FAILED || zapiFd != -1) {
        explainRefusal(kind.word, name, request, reach.status);
    }
}

int openObject(const ObjectKind_s& kind, const char* caller, const char* name, uint64_t* rootKey,
               uint64_t* objectKey)
{
    Reach_s reach = reachObject(kind, name, rootKey, objectKey);
    if (reach.step != OBJECT_REACHED) {
        reportReachFailure(kind, caller, name, reach);
        return -1;
    }
    return 0;
}

Reach_s readObject(const ObjectKind_s& kind, const char* name, ZapiInfo_s* info)
{
    uint64_t rootKey = 0;
    uint64_t objectKey = 0;
    Reach_s reach = reachObject(kind, name, &rootKey, &objectKey);
    if (reach.step != OBJECT_REACHED) {
        return reach;
    }
    uint32_t status = readObjectInfo(kind, objectKey, info);
    zClose(rootKey);
    zClose(objectKey);
    return (status != 0) ? Reach_s{GET_INFO_FAILED, status} : Reach_s{OBJECT_REACHED, 0};
}

uint32_t readObjectInfo(const ObjectKind_s& kind, uint64_t objectKey, ZapiInfo_s* info)
{
    memset(info, 0, sizeof(*info));
    return zGetInfo(objectKey, kind.infoMask, sizeof(*info), ZAPI_INFO_VERSION, info);
}

int openAdminWalk(const ObjectKind_s& kind, AdminWalk_s* walk)
{
    *walk =
        AdminWalk_s{opendir(kind.adminDirectory), kind.adminDirectory, nullptr, false, nullptr, 0};
    if (walk->directory == nullptr) {
        *walk = AdminWalk_s{nullptr, kind.adminDirectory, nullptr, true, "Opendir", errno};
        return -1;
    }
    return 0;
}

bool nextAdminName(AdminWalk_s* walk)
{
    for (;;) {
        // readdir tells its end from its failure only through errno.
        errno = 0;
        const dirent* entry = readdir(walk->directory);
        if (entry == nullptr) {
            if (errno != 0) {
                walk->failed = true;
                walk->failedCall = "Readdir";
                walk->error = errno;
            }
            return false;
        }
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
            walk->name = entry->d_name;
            return true;
        }
    }
}

void reportListingFailure(const AdminWalk_s* walk)
{
    if (walk->failedCall != nullptr) {
        char line[64];
        (void)snprintf(line, sizeof line, "%s failed, errno : %d\n", walk->failedCall, walk->error);
        printFailureLine(line);
        explainListingFailure(walk->path, walk->error);
    }
}

uint32_t countAdminNames(const ObjectKind_s& kind)
{
    AdminWalk_s walk;
    uint32_t count = 0;
    if (openAdminWalk(kind, &walk) != 0) {
        return 0;
    }
    while (nextAdminName(&walk)) {
        ++count;
    }
    (void)closeAdminWalk(&walk);
    return count;
}

int closeAdminWalk(AdminWalk_s* walk)
{
    closedir(walk->directory);
    walk->directory = nullptr;
    return walk->failed ? -1 : 0;
}

namespace {

int compareNameMarks(const void* a, const void* b)
{
    return strcmp(static_cast<const NameMark_s*>(a)->name, static_cast<const NameMark_s*>(b)->name);
}

}  // namespace

void sortNameMarks(NameMark_s* marks, size_t count)
{
    qsort(marks, count, sizeof(NameMark_s), compareNameMarks);
}

NameMark_s* findNameMark(NameMark_s* marks, size_t count, const char* name)
{
    NameMark_s key = {name, false};
    return static_cast<NameMark_s*>(bsearch(&key, marks, count, sizeof(key), compareNameMarks));
}
