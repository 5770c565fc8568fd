// SPDX-License-Identifier: Apache-2.0
// The check comment that follows a pair's ID element in a list file written by get.
#pragma once

#include <cstdio>
#include <string>

#include "id_list.h"

namespace listcheck {

// The pair's check comment; none for an ID text that does not convert, as get writes it.
inline std::string comment(const ObjectKind_s& kind, const std::string& name,
                           const std::string& idText)
{
    GUID id;
    char text[32] = "";
    if (LB_GUIDFromString(idText.c_str(), &id) == 0) {
        snprintf(text, sizeof text, CHECK_FORMAT, pairCheck(kind, name.c_str(), &id));
    }
    return text;
}

}  // namespace listcheck
