// Helpers for the in-process tests of the get and put roads: the name/ID list as plain
// pairs, and the scripted simulated device (requests seen, answers given).
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "workflows.h"
#include "zapisim.h"

namespace roads {

using Pairs = std::vector<std::pair<std::string, std::string>>;

inline void freeList()
{
    while (NameGUIDList_s* node = takeFirstNode()) {
        free(node);
    }
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
    ASSERT_LT(name.size(), sizeof(node->name));
    ASSERT_LT(guidText.size(), sizeof(node->guidText));
    memcpy(node->name, name.c_str(), name.size() + 1);
    memcpy(node->guidText, guidText.c_str(), guidText.size() + 1);
    appendNode(node);
}

// One request as the device received it: operation code and the block's key field.
struct Request {
    uint64_t op;
    uint64_t key;
    bool operator==(const Request&) const = default;
};

inline std::vector<Request> requests()
{
    std::vector<Request> seen;
    for (size_t index = 0; index < zapisimRequestCount(); ++index) {
        uint64_t key = 0;
        memcpy(&key, zapisimRequestBlock(index) + 16, sizeof(key));
        seen.push_back({zapisimRequestOffset(index), key});
    }
    return seen;
}

// As requests(), with the key field of zRootKey requests, which carry none, as 0.
inline std::vector<Request> requestsSent()
{
    std::vector<Request> seen = requests();
    for (Request& request : seen) {
        if (request.op == 1000) {
            request.key = 0;
        }
    }
    return seen;
}

inline uint64_t requestField64(size_t index, size_t offset)
{
    uint64_t value = 0;
    memcpy(&value, zapisimRequestBlock(index) + offset, sizeof(value));
    return value;
}

// The next request of `op` succeeds and hands out `key`.
inline void answerKey(uint64_t op, uint64_t key)
{
    uint8_t image[208] = {};
    uint8_t mask[208] = {};
    memcpy(image + 16, &key, sizeof(key));
    memset(mask + 16, 1, sizeof(key));
    zapisimAnswerNext(op, 0, 0, image, mask);
}

// The next request of `op` is refused with `status`.
inline void answerStatus(uint64_t op, uint32_t status)
{
    zapisimAnswerNext(op, status, 0, nullptr, nullptr);
}

// Every test starts with an empty list, the scripted device and nothing recorded.
class ScriptedDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        freeList();
        zapisimScriptBegin();
    }
    void TearDown() override
    {
        zapisimScriptEnd();
        freeList();
        isPool = 0;
    }
};

}  // namespace roads
