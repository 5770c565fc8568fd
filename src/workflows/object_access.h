// SPDX-License-Identifier: Apache-2.0
// Reaching the pools or volumes through the admin client and the admin directory: the part
// the get, put and diff roads share.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>

#include "admin_client.h"
#include "name_list.h"
#include "object_kind.h"

// The kind's state and object ID field of an information record.
uint32_t objectState(const ObjectKind_s& kind, const ZapiInfo_s* info);
uint8_t* objectIdField(const ObjectKind_s& kind, ZapiInfo_s* info);

// Steps of reaching an object and reading its record: the first one that failed, or
// OBJECT_REACHED.
enum ReachStep : int {
    OBJECT_REACHED,
    ROOT_KEY_FAILED,
    OPEN_FAILED,
    GET_INFO_FAILED,
    NAME_TOO_LONG
};
// How far reaching an object got, with the status of the request that failed.
struct Reach_s {
    ReachStep step;
    uint32_t status;
};

// Prints "<caller> : name %s is too long\n", "<caller> : zRootKey error %ld\n" or
// "<caller> : zOpen error %ld\n" for a step of reaching the object that failed, and the
// request's refusal on standard error.
void reportReachFailure(const ObjectKind_s& kind, const char* caller, const char* name,
                        Reach_s reach);

// Forms the admin path of `name`, takes a root key and opens the object. Failures are
// reported with reportReachFailure; after a failure no key is held. 0 (both keys held) or
// -1.
int openObject(const ObjectKind_s& kind, const char* caller, const char* name, uint64_t* rootKey,
               uint64_t* objectKey);

// Reads the named object's record with the get road's requests (zRootKey, zOpen, zGetInfo)
// and releases both keys, the root key first. Prints nothing. OBJECT_REACHED with the
// record in *info, or the step that failed.
Reach_s readObject(const ObjectKind_s& kind, const char* name, ZapiInfo_s* info);

// Clears the record and reads the kind's part of it with zGetInfo.
uint32_t readObjectInfo(const ObjectKind_s& kind, uint64_t objectKey, ZapiInfo_s* info);

// A status as printed with %ld: the unsigned 32-bit value, never sign-extended.
inline long statusValue(uint32_t status)
{
    return static_cast<long>(status);
}

// The admin directory of a kind, walked name by name ("." and ".." passed over).
struct AdminWalk_s {
    DIR* directory;
    const char* path;        // the kind's admin directory
    const char* name;        // the current object's name
    bool failed;             // the listing failed or the walk was stopped
    const char* failedCall;  // "Opendir" or "Readdir" when the listing failed, else null
    int error;               // its errno
};
// Opens the kind's admin directory. 0, or -1 (failedCall set).
int openAdminWalk(const ObjectKind_s& kind, AdminWalk_s* walk);
// True with the next object's name in walk->name; false at the end or when the listing
// fails (failedCall set): a listing cut short must not pass for the whole.
bool nextAdminName(AdminWalk_s* walk);
// Prints "Opendir failed, errno : %d\n" or "Readdir failed, errno : %d\n" when the listing
// failed, kept for the system log, and why on standard error; each road says it where its
// output needs it.
void reportListingFailure(const AdminWalk_s* walk);
// The names the kind's admin directory lists now ("." and ".." passed over); 0 when it
// cannot be listed. Only worth its listing when the count is shown.
uint32_t countAdminNames(const ObjectKind_s& kind);
// Closes the directory. 0 when every name was walked, -1 when the listing failed or the
// walk was stopped (walk->failed set by the caller).
int closeAdminWalk(AdminWalk_s* walk);

// A name among names sorted for lookups, `marked` once the road has met it.
struct NameMark_s {
    const char* name;
    bool marked;
};
// Sorts the names for findNameMark.
void sortNameMarks(NameMark_s* marks, size_t count);
// The mark of name among the sorted ones, or null.
NameMark_s* findNameMark(NameMark_s* marks, size_t count, const char* name);
