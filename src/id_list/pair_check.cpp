// SPDX-License-Identifier: Apache-2.0
// The check that ties a pair's name to its ID in the list file, so that a swapped line, a
// cut, a typo or a flipped bit cannot give an object another object's ID unnoticed: its
// value, and its form as the comment the writer puts after each ID element.
#include <zlib.h>

#include <cstring>

#include "id_list.h"
#include "scanner_bytes.h"

uint32_t pairCheck(const ObjectKind_s& kind, const char* name, const GUID* id)
{
    // The zero bytes keep the root, the name and the ID apart: no shift of bytes between
    // them gives the same input. The root makes a pool's check differ from a volume's.
    static const Bytef zero = 0;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(kind.rootElement),
                static_cast<uInt>(strlen(kind.rootElement)));
    crc = crc32(crc, &zero, 1);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(name), static_cast<uInt>(strlen(name)));
    crc = crc32(crc, &zero, 1);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(id), sizeof(*id));
    return static_cast<uint32_t>(crc);
}

bool readCheck(const char* text, size_t length, uint32_t* check)
{
    static const char lead[] = " check ";
    constexpr size_t LEAD = sizeof(lead) - 1;
    constexpr size_t DIGITS = 8;
    if (length != LEAD + DIGITS + 1 || memcmp(text, lead, LEAD) != 0 || text[length - 1] != ' ') {
        return false;
    }
    *check = 0;
    for (size_t at = LEAD; at < LEAD + DIGITS; ++at) {
        // The writer's digits: lower case only.
        char digit = text[at];
        uint32_t value = 0;
        if (digit >= '0' && digit <= '9') {
            value = static_cast<uint32_t>(digit - '0');
        } else if (digit >= 'a' && digit <= 'f') {
            value = static_cast<uint32_t>(digit - 'a' + 10);
        } else {
            return false;
        }
        *check = (*check << 4) | value;
    }
    return true;
}

bool meantAsCheck(const char* text, size_t length)
{
    static const char word[] = "check";
    constexpr size_t WORD = sizeof(word) - 1;
    size_t at = 0;
    while (at < length && isSpaceByte(text[at])) {
        ++at;
    }
    for (size_t letter = 0; letter < WORD; ++letter, ++at) {
        // Setting the 0x20 bit makes an upper-case ASCII letter lower case, and no other
        // byte becomes one of these letters.
        if (at == length || (static_cast<unsigned char>(text[at]) | 0x20U) !=
                                static_cast<unsigned char>(word[letter])) {
            return false;
        }
    }
    return true;
}
