// SPDX-License-Identifier: Apache-2.0
// The 16-byte object ID of a pool or volume and its 37-character text form.
#pragma once

#include <cstddef>
#include <cstdint>

// Same bytes as the object ID field of an information record; never interpreted.
struct GUID {
    uint32_t timeLow;           // host byte order
    uint16_t timeMid;           // host byte order
    uint16_t timeHiAndVersion;  // host byte order
    uint8_t clockSeqHiAndReserved;
    uint8_t clockSeqLow;
    uint8_t node[6];
};
static_assert(sizeof(GUID) == 16);
static_assert(offsetof(GUID, timeLow) == 0);
static_assert(offsetof(GUID, timeMid) == 4);
static_assert(offsetof(GUID, timeHiAndVersion) == 6);
static_assert(offsetof(GUID, clockSeqHiAndReserved) == 8);
static_assert(offsetof(GUID, clockSeqLow) == 9);
static_assert(offsetof(GUID, node) == 10);

constexpr int LB_ERR_BUFFER_TOO_SMALL = 20004;
constexpr int LB_ERR_BAD_GUID_TEXT = 20821;

// Characters of an ID text, and bytes it needs with its terminating NUL.
constexpr int GUID_TEXT_LENGTH = 37;
constexpr int GUID_TEXT_SIZE = 38;

// Writes the 37 characters and a NUL into text (at least 38 bytes); always 0.
int LB_GUIDToString(const GUID* guid, char* text);
// As LB_GUIDToString when size > 37; otherwise an empty text (when size > 0) and 20004.
int LB_GUIDToStringSized(const GUID* guid, uint64_t size, char* text);
// Parses an ID text; 0, or 20821 (guid then undefined).
int LB_GUIDFromString(const char* text, GUID* guid);
