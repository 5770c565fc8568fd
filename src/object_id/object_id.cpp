#include "object_id.h"

#include <cstdlib>

// The text groups are converted with the C library's unsigned conversions, which yield
// 64-bit values here; the strict fast path below relies on the same width.
static_assert(sizeof(unsigned long) == 8);
static_assert(sizeof(unsigned long long) == 8);

namespace {

constexpr int GROUP_COUNT = 6;
// Characters that each group of the text must consume, in text order.
constexpr int groupWidth[GROUP_COUNT] = {8, 4, 4, 2, 2, 12};
constexpr char hexDigit[] = "0123456789abcdef";

// Writes the low `digits` nibbles of value as lower-case hex, most significant first.
char* putHex(char* out, uint64_t value, int digits)
{
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = hexDigit[value & 0xF];
        value >>= 4;
    }
    return out + digits;
}

// Value of one hex digit of either case, or -1.
int hexValue(unsigned char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c |= 0x20;  // folds 'A'..'F' onto 'a'..'f' and nothing else into that range
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
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
    const auto* cursor = reinterpret_cast<const unsigned char*>(text);
    for (int group = 0; group < GROUP_COUNT; ++group) {
        uint64_t value = 0;
        for (int i = 0; i < groupWidth[group]; ++i) {
            int digit = hexValue(*cursor++);  // a NUL stops the scan here
            if (digit < 0) {
                return false;
            }
            value = (value << 4) | static_cast<uint64_t>(digit);
        }
        values[group] = value;
        if (group < GROUP_COUNT - 1 && *cursor++ != '-') {
            return false;
        }
    }
    return hexValue(*cursor) < 0;
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
    char* out = putHex(text, guid->timeLow, 8);
    *out++ = '-';
    out = putHex(out, guid->timeMid, 4);
    *out++ = '-';
    out = putHex(out, guid->timeHiAndVersion, 4);
    *out++ = '-';
    out = putHex(out, guid->clockSeqHiAndReserved, 2);
    *out++ = '-';
    out = putHex(out, guid->clockSeqLow, 2);
    *out++ = '-';
    for (uint8_t byte : guid->node) {
        out = putHex(out, byte, 2);
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
