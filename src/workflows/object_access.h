// SPDX-License-Identifier: Apache-2.0
// Reaching the pools or volumes through the admin client and the admin directory: the part
// the get, put and diff roads share.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>

#include "admin_client.h"
#include "name_list.h"
#include "object_id.h"
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

// The live system as put and diff read it before anything changes: every object the admin
// directory lists, in directory order, then each name of the list that the listing did not
// show, in list order. Of each object it keeps about its name and its 16 ID bytes.
struct LiveObject_s {
    GUID id;          // as read, whatever the state; unknown unless step is OBJECT_REACHED
    uint32_t nameAt;  // where its name starts in the reading's name block
    uint32_t status;  // of the request that failed
    uint8_t step;     // ReachStep
    uint8_t flags;    // LIVE_*
};
// The listing showed the object (else it was read by its pair's name).
inline constexpr uint8_t LIVE_LISTED = 1;
// State 6.
inline constexpr uint8_t LIVE_ACTIVE = 2;
// Its root key failed because the admin device could not be opened, which is explained
// already.
inline constexpr uint8_t LIVE_DEVICE_SHUT = 4;
// A pair of the list names it.
inline constexpr uint8_t LIVE_NAMED = 8;
// Read, active and named: the list's ID is the one it holds once the put is done.
inline constexpr uint8_t LIVE_TAKES_LIST_ID = 16;

struct LiveReading_s {
    LiveObject_s* objects;
    uint32_t count;
    uint32_t capacity;
    char* names;  // each name with its terminating zero
    size_t namesUsed;
    size_t namesCapacity;
    uint32_t* nameSlots;  // open addressing by name: an object's index + 1, 0 for none
    uint32_t nameMask;
    uint32_t* idSlots;  // the same by ID, of the objects that keep theirs
    uint32_t idMask;
    AdminWalk_s walk;  // the listing, failedCall set when it failed
};

// Reads the live system for the list (its nodes are the pairs taken): lists the kind's
// admin directory and reads every object it shows, then every node's name it did not, each
// with getInfo's requests and release order; a failure is kept with its object, not
// reported. A termination signal stops it between objects ("<lead>interrupted by signal
// N"). 0, or -1 (reported: the signal or memory too short).
int readLiveSystem(const ObjectKind_s& kind, LiveReading_s* reading, const char* road,
                   const char* lead);
void freeLiveReading(LiveReading_s* reading);
// The object of that name, or null.
LiveObject_s* findLiveObject(const LiveReading_s* reading, const char* name);
inline const char* liveName(const LiveReading_s* reading, const LiveObject_s* object)
{
    return reading->names + object->nameAt;
}

// Why put refuses a list before any change, in the order the checks are made.
enum LiveRefusal : int {
    LIVE_ACCEPTED = 0,
    LIVE_UNLISTED,  // the admin directory could not be listed
    LIVE_UNREAD,    // a pair's object could not be read
    LIVE_SAME_ID,   // a pair would give its object an ID another object holds
    LIVE_NO_MEMORY  // the check could not be made (reported)
};
struct LiveVerdict_s {
    LiveRefusal refusal;
    const NameGUIDList_s* node;  // LIVE_UNREAD, LIVE_SAME_ID: the first such pair
    const LiveObject_s* other;   // LIVE_SAME_ID: the object that holds the ID
};
// Judges the list against the reading; afterwards sameIdHolder answers for any pair.
LiveVerdict_s judgeList(LiveReading_s* reading);
// The object other than the pair's own that will hold the ID the pair gives its object, or
// null (also for a pair that changes nothing).
const LiveObject_s* sameIdHolder(const LiveReading_s* reading, const NameGUIDList_s* node);
// Prints the refusal's own line: the listing's failure, the failed request of the pair's
// object as the walk words it, or the two objects of one ID.
void printRefusal(const ObjectKind_s& kind, const LiveReading_s* reading,
                  const LiveVerdict_s& verdict);
