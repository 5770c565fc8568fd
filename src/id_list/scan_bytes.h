// SPDX-License-Identifier: Apache-2.0
// Byte searches shared by the scanner and the list reader; not part of the public face.
// Where SSE2 is there (every x86-64), blocks of sixteen bytes are compared at once; the
// loops around them finish one byte at a time, so no byte past a range is read.
#pragma once

#include <bit>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// First byte equal to `byte` among the `count` bytes from `from`, or null: memchr, inlined.
// The distances searched here are mostly a few dozen bytes, where a library call costs
// more than the search itself.
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

#if defined(__SSE2__)
// Offset of the first of the sixteen bytes from `from` that ends a tag name (white space,
// "/" or ">"), or 16 when none does. Every byte is classified exactly.
inline unsigned firstNameEndOf16(const char* from)
{
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    // Tab to carriage return, compared as signed bytes: those above 0x7F are negative.
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('\t' - 1)),
                                          _mm_cmplt_epi8(block, _mm_set1_epi8('\r' + 1)));
    const __m128i ends =
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8('>')),
                                  _mm_cmpeq_epi8(block, _mm_set1_epi8('/'))),
                     _mm_or_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')), control));
    auto found = static_cast<unsigned>(_mm_movemask_epi8(ends));
    return found == 0 ? 16 : static_cast<unsigned>(std::countr_zero(found));
}
#endif
