// Byte search shared by the scanner and the list reader; not part of the public face.
#pragma once

#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// First byte equal to `byte` among the `count` bytes from `from`, or null: memchr, inlined.
// The distances searched here are mostly a few dozen bytes, where a library call costs
// more than the search itself. Sixteen bytes at a time while sixteen remain, then one at
// a time, so no byte past the range is read.
inline char* findByte(const char* from, size_t count, char byte)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi8(byte);
    while (count >= 16) {
        __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
        if (hits != 0) {
            return const_cast<char*>(from) + std::countr_zero(hits);
        }
        from += 16;
        count -= 16;
    }
#endif
    for (; count > 0; ++from, --count) {
        if (*from == byte) {
            return const_cast<char*>(from);
        }
    }
    return nullptr;
}
