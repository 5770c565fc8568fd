// SPDX-License-Identifier: Apache-2.0
// Helpers for the in-process tests of the get and put roads: the name/ID list as plain
// pairs, and what the scripted simulated device saw and will answer.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "workflows.h"
#include "zapisim.h"

namespace roads {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The kind record of a table's kind column: 1 for pools, any other value for volumes.
inline const ObjectKind_s& kindOf(int32_t kind)
{
    return (kind == 1) ? POOL_KIND : VOLUME_KIND;
}

inline Pairs listPairs()
{
    Pairs pairs;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        pairs.emplace_back(node->name, node->guidText);
    }
    return pairs;
}

inline void appendPair(const std::string& name, const std::string& guidText)
{
    auto* node = static_cast<NameGUIDList_s*>(calloc(1, sizeof(NameGUIDList_s)));
    ASSERT_NE(node, nullptr);
    memcpy(node->name, name.c_str(), name.size() + 1);
    memcpy(node->guidText, guidText.c_str(), guidText.size() + 1);
    appendNode(node);
}

inline void writeFile(const std::string& path, const std::string& content)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(fwrite(content.data(), 1, content.size(), file), content.size());
    ASSERT_EQ(fclose(file), 0);
}

// The file's bytes, or "(missing)".
inline std::string readFile(const std::string& path)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return "(missing)";
    }
    std::string content;
    char chunk[4096];
    for (size_t length = 0; (length = fread(chunk, 1, sizeof(chunk), file)) > 0;) {
        content.append(chunk, length);
    }
    fclose(file);
    return content;
}

// 64-bit field of the index-th request block the device received.
inline uint64_t requestField(size_t index, size_t offset)
{
    uint64_t value = 0;
    memcpy(&value, zapisimRequestBlock(index) + offset, sizeof(value));
    return value;
}

// Every test starts with an empty list, the scripted device and nothing recorded.
class ScriptedDevice : public ::testing::Test {
   protected:
    void SetUp() override
    {
        discardList();
        zapisimScriptBegin();
    }
    void TearDown() override
    {
        zapisimScriptEnd();
        discardList();
    }
};

}  // namespace roads
