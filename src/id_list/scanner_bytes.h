// SPDX-License-Identifier: Apache-2.0
// Inside the element scanner: the byte tests and bounded searches that every scanner
// operation builds on, the ones the tool calls and the others alike. Not part of the
// scanner's public face.
#pragma once

#include <cstddef>
#include <cstring>

// White space of the C locale, independent of whatever locale the process runs in; bytes
// above 0x7F never qualify.
inline bool isSpaceByte(char byte)
{
    unsigned char value = static_cast<unsigned char>(byte);
    return value == ' ' || (value >= '\t' && value <= '\r');
}

// True when the bytes from `from` to `from + count` all lie at or before `last`, i.e.
// from + count <= last, without forming a pointer past the buffer.
inline bool reaches(const char* from, const char* last, size_t count)
{
    ptrdiff_t distance = last - from;
    return distance >= 0 && static_cast<size_t>(distance) >= count;
}

// True when `count` bytes starting at `from` lie in the range and equal `text`.
inline bool matchesAt(const char* from, const char* last, const char* text, size_t count)
{
    if (count == 0) {
        return true;
    }
    return reaches(from, last, count - 1) && memcmp(from, text, count) == 0;
}

// A tag name runs to the first white space, ">" or "/".
inline bool endsTagName(char byte)
{
    return byte == '>' || byte == '/' || isSpaceByte(byte);
}

// First byte from `from` to `last` that ends a tag name, or null.
inline char* findNameEnd(char* from, const char* last)
{
    for (; last - from >= 0; ++from) {
        if (endsTagName(*from)) {
            return from;
        }
    }
    return nullptr;
}

// First byte equal to `byte` among the `count` bytes from `from`, or null.
inline char* findByte(char* from, size_t count, char byte)
{
    return static_cast<char*>(memchr(from, byte, count));
}
