// SPDX-License-Identifier: Apache-2.0
// The object kind: everything that differs between pools and volumes, chosen once by the
// command and handed down to every road.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 for pools, 0 for volumes: set by main from the command line, read by nothing else.
extern int32_t isPool;

constexpr size_t ADMIN_PATH_SIZE = 1024;

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
    const char* commandWord;      // "pool" or "volume", as on the command line
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
    "pool",
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
    "volume",
};

// The admin path of the named object of the kind, bounded by size.
// 0, or -1 when it would not fit (nothing usable is left in buffer then).
int formatAdminPath(const ObjectKind_s& kind, char* buffer, size_t size, const char* name);
