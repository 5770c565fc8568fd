// SPDX-License-Identifier: Apache-2.0
// The name/ID list that joins the two halves of each road, the process-wide object kind,
// and the record of everything that differs between pools and volumes.
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

// Ignores SIGPIPE and has SIGINT, SIGTERM and SIGHUP noted instead of ending the process,
// so that a road stops where it is safe to. Called once, at the start of the process.
void installSignalHandlers();
// While `interrupting`, such a signal makes a blocked call fail with EINTR (a read of a pipe
// or terminal that may never end); otherwise the call is restarted (a device request).
void interruptBlockingReads(bool interrupting);
// The first of those signals received, 0 while none was.
int caughtSignal();

// Everything that differs between the two kinds. The masks and the offsets into the
// 1212-byte information record are the device's; the words are those of the messages.
struct ObjectKind_s {
    const char* word;            // "Pool" or "Volume"
    const char* countedWord;     // "pools" or "volumes", after a number
    const char* adminDirectory;  // listed by the get road
    const char* adminPath;       // format of an object's admin path, one %s for the name
    const char* rootElement;     // elements of the ID list file
    const char* nameElement;
    const char* guidElement;
    uint64_t infoMask;            // zGetInfo
    uint64_t modifyMask;          // zModifyInfo
    size_t stateOffset;           // 32-bit object state
    size_t objectIdOffset;        // 16-byte object ID
    const char* infoFailureLead;  // put road: what precedes its "zGetInfo failed" line
    const char* successLead;      // what precedes the command's success line
};

inline constexpr ObjectKind_s POOL_KIND = {
    "Pool",
    "pools",
    "/_admin/Pools/",
    "_admin:\\pools\\%s",
    "listPools",
    "poolName",
    "poolGUID",
    0x40050,
    0x400000,
    632,
    616,
    "",
    "",
};
inline constexpr ObjectKind_s VOLUME_KIND = {
    "Volume",
    "volumes",
    "/_admin/Volumes/",
    "_admin:\\volumes\\%s",
    "listVolumes",
    "volumeName",
    "volumeGUID",
    0x10050,
    0x10000,
    432,
    416,
    "  ",
    "\n\n",
};

// The record of the kind `isPool` names: pools for 1, volumes for any other value.
const ObjectKind_s& objectKind();
