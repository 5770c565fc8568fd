// SPDX-License-Identifier: Apache-2.0
// LB_GUIDFromString on any bytes. Whatever parses must format to 37 lower-case
// characters that parse back to the same 16 bytes. Any 16 bytes must survive formatting
// and parsing.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "object_id.h"

namespace {

bool isLowerHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

// 37 characters: lower-case hex digits with hyphens after the 8th, 4th, 4th, 2nd and
// 2nd group, and the terminator right after.
void checkTextForm(const char* text)
{
    for (int i = 0; i < GUID_TEXT_LENGTH; ++i) {
        bool hyphen = (i == 8 || i == 13 || i == 18 || i == 21 || i == 24);
        if (hyphen ? text[i] != '-' : !isLowerHex(text[i])) {
            abort();
        }
    }
    if (text[GUID_TEXT_LENGTH] != '\0') {
        abort();
    }
}

// Formats, checks the text, parses it back: the same 16 bytes.
void checkRoundTrip(const GUID* guid)
{
    char* text = static_cast<char*>(malloc(GUID_TEXT_SIZE));  // exactly the size needed
    if (LB_GUIDToString(guid, text) != 0) {
        abort();
    }
    checkTextForm(text);
    GUID again;
    if (LB_GUIDFromString(text, &again) != 0 || memcmp(&again, guid, sizeof again) != 0) {
        abort();
    }

    // The sized form: a full text from 38 bytes on, an empty one below, nothing at all
    // written into a buffer of no bytes.
    char sized[GUID_TEXT_SIZE + 2];
    static const uint64_t sizes[] = {0, 1, 37, 38, 40};
    for (uint64_t size : sizes) {
        memset(sized, 0x5a, sizeof sized);
        int status = LB_GUIDToStringSized(guid, size, sized);
        if (size > GUID_TEXT_LENGTH) {
            if (status != 0 || memcmp(sized, text, GUID_TEXT_SIZE) != 0) {
                abort();
            }
        } else if (status != LB_ERR_BUFFER_TOO_SMALL || sized[0] != (size == 0 ? 0x5a : '\0') ||
                   sized[1] != 0x5a) {
            abort();
        }
    }
    free(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The text as the reader hands it over: the bytes and a terminator, in a block of
    // exactly that size, so a read past the terminator is caught.
    char* text = static_cast<char*>(malloc(size + 1));
    memcpy(text, data, size);
    text[size] = '\0';

    GUID parsed;
    memset(&parsed, 0xa5, sizeof parsed);
    int status = LB_GUIDFromString(text, &parsed);
    if (status != 0 && status != LB_ERR_BAD_GUID_TEXT) {
        abort();
    }
    if (status == 0) {
        checkRoundTrip(&parsed);
    }
    free(text);

    if (size >= sizeof(GUID)) {
        GUID raw;
        memcpy(&raw, data, sizeof raw);
        checkRoundTrip(&raw);
    }
    if (LB_GUIDFromString(nullptr, &parsed) != LB_ERR_BAD_GUID_TEXT) {
        abort();
    }
    return 0;
}
