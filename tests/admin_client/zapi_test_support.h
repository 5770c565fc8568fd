// SPDX-License-Identifier: Apache-2.0
// Expected request blocks, scripted answers and a fixture around the in-process device.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "admin_client.h"
#include "other_admin_operations.h"
#include "zapisim.h"

constexpr uint64_t KEY = 0x1122334455667788;
constexpr uint64_t SENTINEL = 0x5A5A5A5A5A5A5A5A;

// One field of a block: its offset, its width in bytes (1, 4 or 8) and its value.
struct Field {
    size_t offset;
    int width;
    uint64_t value;
};

struct BlockImage {
    uint8_t bytes[208];
};

inline void putField(BlockImage& image, Field field)
{
    memcpy(image.bytes + field.offset, &field.value, static_cast<size_t>(field.width));
}

inline uint64_t address(const void* pointer)
{
    return reinterpret_cast<uintptr_t>(pointer);
}

inline const uint16_t* wide(const char16_t* text)
{
    return reinterpret_cast<const uint16_t*>(text);
}

// A zero block with the key at 16, the count at 4 and the given fields.
inline BlockImage blockOf(uint64_t key, uint8_t count, const std::vector<Field>& fields)
{
    BlockImage image{};
    putField(image, {16, 8, key});
    putField(image, {4, 1, count});
    for (Field field : fields) {
        putField(image, field);
    }
    return image;
}

// The next request of `operation` is answered with `result` and these fields written back.
inline void answer(uint64_t operation, int64_t result, int errnoValue,
                   const std::vector<Field>& fields = {})
{
    BlockImage image{};
    BlockImage mask{};
    for (Field field : fields) {
        putField(image, field);
        memset(mask.bytes + field.offset, 1, static_cast<size_t>(field.width));
    }
    zapisimAnswerNext(operation, result, errnoValue, image.bytes, mask.bytes);
}

class ZapiTest : public testing::Test {
   protected:
    size_t base = 0;  // requests made by the fixture itself

    void SetUp() override
    {
        zapisimScriptBegin();
        zapiFd = -1;
    }
    void TearDown() override
    {
        if (zapiFd != -1) {
            close(zapiFd);
        }
        zapiFd = -1;
        zapisimScriptEnd();
    }
    // Opens the device through the only operation that may, as a caller must.
    void openDevice()
    {
        uint64_t root = 0;
        ASSERT_EQ(zRootKey(0, &root), 0u);
        base = zapisimRequestCount();
    }
    size_t sent() const
    {
        return zapisimRequestCount() - base;
    }

    // Request `index` (after the fixture's own) went out as one 208-byte pread64 on the
    // shared descriptor, with the operation code as offset and exactly this block.
    void expectRequest(size_t index, uint64_t operation, const BlockImage& expected) const
    {
        ASSERT_LT(base + index, zapisimRequestCount());
        EXPECT_EQ(zapisimRequestOffset(base + index), operation);
        EXPECT_EQ(zapisimRequestSize(base + index), 208u);
        EXPECT_EQ(zapisimRequestFd(base + index), zapiFd);
        const uint8_t* block = zapisimRequestBlock(base + index);
        std::string differences;
        for (size_t i = 0; i < sizeof(expected.bytes); i++) {
            if (block[i] != expected.bytes[i]) {
                differences += " [" + std::to_string(i) + "] " + std::to_string(block[i]) +
                               " not " + std::to_string(expected.bytes[i]);
            }
        }
        EXPECT_EQ(differences, "") << "operation " << operation;
    }
};
