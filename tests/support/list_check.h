// SPDX-License-Identifier: Apache-2.0
// The check comment that follows a pair's ID element in a list file written by get,
// computed here from the ID text alone, so that no test takes the writer's word for it.
#pragma once

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace listcheck {

// " <!-- check XXXXXXXX -->" for the pair, or "" for an ID text not in the written form.
inline std::string comment(const std::string& root, const std::string& name,
                           const std::string& idText)
{
    if (idText.size() != 37) {
        return "";
    }
    std::string hex;
    for (size_t at = 0; at < idText.size(); ++at) {
        bool hyphen = at == 8 || at == 13 || at == 18 || at == 21 || at == 24;
        if (hyphen ? idText[at] != '-' : !isxdigit(static_cast<unsigned char>(idText[at]))) {
            return "";
        }
        hex += hyphen ? "" : idText.substr(at, 1);
    }
    // The first three groups are little-endian numbers: their bytes stand reversed.
    static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    std::string input = root + '\0' + name + '\0';
    for (int at : order) {
        input +=
            static_cast<char>(std::stoul(hex.substr(2 * static_cast<size_t>(at), 2), nullptr, 16));
    }
    char text[32];
    snprintf(
        text, sizeof text, " <!-- check %08lx -->",
        crc32(0, reinterpret_cast<const Bytef*>(input.data()), static_cast<uInt>(input.size())));
    return text;
}

}  // namespace listcheck
