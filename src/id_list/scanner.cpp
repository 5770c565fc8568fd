// SPDX-License-Identifier: Apache-2.0
// White space taken out of a name or ID text in place, the one scanner operation the reader
// calls; the element searches are in other_scanner_operations.
#include <cstring>

#include "id_list.h"
#include "scanner_bytes.h"

int removeWhiteSpace(char* text, int32_t length)
{
    if (text == nullptr || length <= 0) {
        return -1;
    }
    size_t count = static_cast<size_t>(length);
    // Looks no further than `length` bytes for the terminator.
    if (strnlen(text, count) < count) {
        return -1;
    }
    size_t kept = 0;
    for (size_t index = 0; index < count; ++index) {
        if (!isSpaceByte(text[index])) {
            text[kept++] = text[index];
        }
    }
    text[kept] = '\0';
    return 0;
}
