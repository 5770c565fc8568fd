// SPDX-License-Identifier: Apache-2.0
// A fresh directory of its own for each test, under TMPDIR or /tmp, and its removal.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testdir {

// "BASE/PREFIX-XXXXXX" made, or "" when it cannot be.
inline std::string makeTempDir(const char* prefix)
{
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    return mkdtemp(pattern.data()) != nullptr ? pattern : "";
}

// Removes the directory and everything in it; "" is left alone.
inline void removeTree(const std::string& dir)
{
    std::error_code ignored;
    if (!dir.empty())
        std::filesystem::remove_all(dir, ignored);
}

}  // namespace testdir
