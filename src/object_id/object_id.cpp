// SPDX-License-Identifier: Apache-2.0
#include "object_id.h"

#include <cctype>
#include <cstdlib>

// The groups are converted with the C library's unsigned conversions, which yield 64-bit
// values here: the last group's 48 bits need that width.
static_assert(sizeof(unsigned long) == 8);
static_assert(sizeof(unsigned long long) == 8);

namespace {

constexpr int GROUP_COUNT = 6;
// Characters that each group of the text must consume, in text order.
constexpr int groupWidth[GROUP_COUNT] = {8, 4, 4, 2, 2, 12};

// A sign would be taken by the conversion and negate the group in unsigned arithmetic, so
// none may begin a group, also after the white space the conversion passes over.
bool startsWithSign(const char* group)
{
    while (isspace(static_cast<unsigned char>(*group)) != 0) {
        ++group;
    }
    return *group == '+' || *group == '-';
}

// Writes the low `digits` hex digits of value in lower case, most significant first, and
// a hyphen after them. Returns the position after the hyphen.
char* putHex(char* out, uint64_t value, int digits)
{
    static const char hexDigits[] = "0123456789abcdef";
    for (int at = digits - 1; at >= 0; --at) {
        out[at] = hexDigits[value & 0xF];
        value >>= 4;
    }
    out[digits] = '-';
    return out + digits + 1;
}

}  // namespace

int LB_GUIDToString(const GUID* guid, char* text)
{
    // The form of "%08lx-%04x-%04x-%02x-%02x-%02x%02x%02x%02x%02x%02x", written directly:
    // a get of many objects formats every ID, and the general formatter costs a tenth of
    // such a run.
    uint64_t node = 0;
    for (uint8_t byte : guid->node) {
        node = (node << 8) | byte;
    }
    char* out = putHex(text, guid->timeLow, 8);
    out = putHex(out, guid->timeMid, 4);
    out = putHex(out, guid->timeHiAndVersion, 4);
    out = putHex(out, guid->clockSeqHiAndReserved, 2);
    out = putHex(out, guid->clockSeqLow, 2);
    out = putHex(out, node, 12);
    // The last group takes no hyphen after it: the terminator goes there.
    out[-1] = '\0';
    return 0;
}

int LB_GUIDToStringSized(const GUID* guid, uint64_t size, char* text)
{
    if (size > GUID_TEXT_LENGTH) {
        return LB_GUIDToString(guid, text);
    }
    // A buffer of no bytes has no room even for the terminator: leave it alone.
    if (size > 0) {
        text[0] = '\0';
    }
    return LB_ERR_BUFFER_TOO_SMALL;
}

int LB_GUIDFromString(const char* text, GUID* guid)
{
    if (text == nullptr) {
        return LB_ERR_BAD_GUID_TEXT;
    }
    // Each group is one base-16 conversion that must consume exactly its width, so white
    // space or a 0x prefix at the start of a group count towards it.
    uint64_t values[GROUP_COUNT] = {};
    const char* start = text;
    for (int group = 0; group < GROUP_COUNT; ++group) {
        if (startsWithSign(start)) {
            return LB_ERR_BAD_GUID_TEXT;
        }
        char* end = nullptr;
        values[group] =
            (group < GROUP_COUNT - 1) ? strtoul(start, &end, 16) : strtoull(start, &end, 16);
        if (end - start != groupWidth[group]) {
            return LB_ERR_BAD_GUID_TEXT;
        }
        if (group < GROUP_COUNT - 1) {
            if (*end != '-') {
                return LB_ERR_BAD_GUID_TEXT;
            }
            start = end + 1;
        }
    }
    guid->timeLow = static_cast<uint32_t>(values[0]);
    guid->timeMid = static_cast<uint16_t>(values[1]);
    guid->timeHiAndVersion = static_cast<uint16_t>(values[2]);
    guid->clockSeqHiAndReserved = static_cast<uint8_t>(values[3]);
    guid->clockSeqLow = static_cast<uint8_t>(values[4]);
    // node byte 0 takes bits 47..40 of the last group, byte 5 bits 7..0
    for (int i = 0; i < 6; ++i) {
        guid->node[i] = static_cast<uint8_t>(values[5] >> (40 - 8 * i));
    }
    return 0;
}
