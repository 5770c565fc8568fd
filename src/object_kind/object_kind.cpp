// SPDX-License-Identifier: Apache-2.0
#include "object_kind.h"

#include <cstdio>

int32_t isPool = 0;

int formatAdminPath(const ObjectKind_s& kind, char* buffer, size_t size, const char* name)
{
    // The format is one of the two fixed admin path formats, each with one %s.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int length = snprintf(buffer, size, kind.adminPath, name);
#pragma GCC diagnostic pop
    if (length < 0 || static_cast<size_t>(length) >= size) {
        return -1;
    }
    return 0;
}
