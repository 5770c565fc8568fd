// SPDX-License-Identifier: Apache-2.0
#include "object_id.h"

#include <cstdlib>
#include <cstring>

// The text groups are converted with the C library's unsigned conversions, which yield
// 64-bit values here; the strict fast path below relies on the same width.
static_assert(sizeof(unsigned long) == 8);
static_assert(sizeof(unsigned long long) == 8);

namespace {

constexpr int GROUP_COUNT = 6;
// Characters that each group of the text must consume, in text order.
constexpr int groupWidth[GROUP_COUNT] = {8, 4, 4, 2, 2, 12};

// The two lower-case hex digits of every byte value, and the value of every character as a
// hex digit of either case (NOT_HEX for any other character). Looking both up costs no
// branch per character, which on random IDs would be mispredicted half of the time.
struct HexTables_s {
    char pairs[256][2];
    uint8_t values[256];
};
constexpr uint8_t NOT_HEX = 0xFF;

constexpr HexTables_s makeHexTables()
{
    HexTables_s tables{};
    const char digits[] = "0123456789abcdef";
    for (int byte = 0; byte < 256; ++byte) {
        tables.pairs[byte][0] = digits[byte >> 4];
        tables.pairs[byte][1] = digits[byte & 0xF];
        tables.values[byte] = NOT_HEX;
    }
    for (int digit = 0; digit < 16; ++digit) {
        tables.values[static_cast<unsigned char>(digits[digit])] = static_cast<uint8_t>(digit);
    }
    for (int digit = 10; digit < 16; ++digit) {
        tables.values['A' + digit - 10] = static_cast<uint8_t>(digit);
    }
    return tables;
}
constexpr HexTables_s hex = makeHexTables();

// Writes the low `bytes` bytes of value as lower-case hex, most significant first.
char* putHex(char* out, uint64_t value, size_t bytes)
{
    for (size_t i = bytes; i > 0; --i) {
        memcpy(out + 2 * (i - 1), hex.pairs[value & 0xFF], 2);
        value >>= 8;
    }
    return out + 2 * bytes;
}

void storeGroups(const uint64_t values[GROUP_COUNT], GUID* guid)
{
    guid->timeLow = static_cast<uint32_t>(values[0]);
    guid->timeMid = static_cast<uint16_t>(values[1]);
    guid->timeHiAndVersion = static_cast<uint16_t>(values[2]);
    guid->clockSeqHiAndReserved = static_cast<uint8_t>(values[3]);
    guid->clockSeqLow = static_cast<uint8_t>(values[4]);
    // node byte 0 takes bits 47..40 of the last group, byte 5 bits 7..0
    for (int i = 0; i < 6; ++i) {
        guid->node[i] = static_cast<uint8_t>(values[5] >> (40 - 8 * i));
    }
}

// The plain form as the formatter writes it (either case): every group exactly its width
// of hex digits, hyphens between, and no hex digit after the last group. On such text
// the C library's conversion stops exactly where this scan does and yields the same
// values, so a match here is a match there. False means "let the library decide".
bool scanPlainText(const char* text, uint64_t values[GROUP_COUNT])
{
    // Only a text of at least 37 characters can be plain, and then its 38th byte (a
    // character or the terminator) may be read too.
    if (strnlen(text, GUID_TEXT_SIZE) < GUID_TEXT_LENGTH) {
        return false;
    }
    const auto* cursor = reinterpret_cast<const unsigned char*>(text);
    // Any character that is not a hex digit leaves high bits here.
    uint8_t notHex = 0;
    for (int group = 0; group < GROUP_COUNT; ++group) {
        uint64_t value = 0;
        for (int i = 0; i < groupWidth[group]; ++i) {
            uint8_t digit = hex.values[*cursor++];
            notHex |= digit;
            value = (value << 4) | (digit & 0xF);
        }
        values[group] = value;
        if (group < GROUP_COUNT - 1) {
            notHex |= (*cursor++ != '-') ? NOT_HEX : 0;
        }
    }
    return notHex < 0x10 && hex.values[*cursor] == NOT_HEX;
}

// Any other text: the conversion rules themselves decide, so white space, a sign or a
// 0x prefix at the start of a group count towards its width exactly as they consume.
int convertGroups(const char* text, uint64_t values[GROUP_COUNT])
{
    const char* start = text;
    for (int group = 0; group < GROUP_COUNT; ++group) {
        char* end = nullptr;
        if (group < GROUP_COUNT - 1) {
            values[group] = strtoul(start, &end, 16);
        } else {
            values[group] = strtoull(start, &end, 16);
        }
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
    return 0;
}

}  // namespace

int LB_GUIDToString(const GUID* guid, char* text)
{
    char* out = putHex(text, guid->timeLow, 4);
    *out++ = '-';
    out = putHex(out, guid->timeMid, 2);
    *out++ = '-';
    out = putHex(out, guid->timeHiAndVersion, 2);
    *out++ = '-';
    out = putHex(out, guid->clockSeqHiAndReserved, 1);
    *out++ = '-';
    out = putHex(out, guid->clockSeqLow, 1);
    *out++ = '-';
    for (uint8_t byte : guid->node) {
        out = putHex(out, byte, 1);
    }
    *out = '\0';
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
    if (text == nullptr || text[0] == '+' || text[0] == '-') {
        return LB_ERR_BAD_GUID_TEXT;
    }
    uint64_t values[GROUP_COUNT] = {};
    if (!scanPlainText(text, values)) {
        int status = convertGroups(text, values);
        if (status != 0) {
            return status;
        }
    }
    storeGroups(values, guid);
    return 0;
}
