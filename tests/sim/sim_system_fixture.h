// SPDX-License-Identifier: Apache-2.0
// A throw-away simulated storage system for the in-process tests, with hand-built
// request blocks sent straight to "/dev/zapi".
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "store.h"
#include "temp_dir.h"
#include "zapisim.h"

namespace simtest {

inline void addObject(const std::string& root, int kind, const std::string& name, uint32_t state,
                      const uint8_t* id)
{
    SimObjectFile_s object = {};
    std::memcpy(object.magic, SIM_OBJECT_MAGIC, sizeof object.magic);
    object.kind = static_cast<uint32_t>(kind);
    simMakeRecord(kind, name.c_str(), state, id, object.record);
    ASSERT_EQ(simSaveObject(root.c_str(), kind, name.c_str(), &object, true), 0) << name;
}

inline std::string readText(const std::string& path)
{
    std::string text;
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(got));
    close(fd);
    return text;
}

inline void writeText(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
}

// A request block as the client builds it.
// Room beyond the 208 bytes lets a test send a block one byte too long.
struct Block {
    uint8_t bytes[216] = {};
    void set32(size_t offset, uint32_t value)
    {
        std::memcpy(bytes + offset, &value, sizeof value);
    }
    void set64(size_t offset, uint64_t value)
    {
        std::memcpy(bytes + offset, &value, sizeof value);
    }
    uint64_t get64(size_t offset) const
    {
        uint64_t value = 0;
        std::memcpy(&value, bytes + offset, sizeof value);
        return value;
    }
};

class SystemTest : public ::testing::Test {
   protected:
    void SetUp() override
    {
        base = testdir::makeTempDir("zapisim-test");
        ASSERT_FALSE(base.empty());
        root = base + "/system";
        ASSERT_EQ(simCreateSystem(root.c_str()), 0);
        for (uint8_t i = 0; i < 16; ++i)
            poolId[i] = static_cast<uint8_t>(0xA0 + i);
        for (uint8_t i = 0; i < 16; ++i)
            volumeId[i] = static_cast<uint8_t>(0x10 + i);
        addObject(root, SIM_KIND_POOL, "P1", 6, poolId);
        addObject(root, SIM_KIND_VOLUME, "V1", 6, volumeId);
        ASSERT_EQ(zapisimUseSystem(root.c_str()), 0);
        fd = open64("/dev/zapi", O_RDONLY);
        ASSERT_GE(fd, 0);
    }

    void TearDown() override
    {
        if (fd >= 0)
            close(fd);
        zapisimUseSystem(nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(base, ignored);
    }

    // Re-reads the system's fault rules and journal switch (as a new process would).
    void restart()
    {
        ASSERT_EQ(zapisimUseSystem(root.c_str()), 0);
    }

    long long send(uint64_t operation, Block* block, size_t count = 208)
    {
        return static_cast<long long>(
            pread64(fd, block->bytes, count, static_cast<off64_t>(operation)));
    }

    Block rootBlock()
    {
        return Block{};
    }

    Block openBlock(uint64_t rootKey, const std::string& path)
    {
        paths[pathCount % 4] = path;
        const std::string& kept = paths[pathCount++ % 4];
        Block block;
        block.bytes[4] = 1;
        block.set64(16, rootKey);
        block.set64(40, reinterpret_cast<uint64_t>(kept.c_str()));
        block.set64(48, kept.size() + 1);
        block.set32(88, 50);
        block.set32(112, 0x40000004);
        return block;
    }

    Block recordBlock(uint64_t key, uint64_t mask, uint8_t* record)
    {
        Block block;
        block.bytes[4] = 1;
        block.set64(16, key);
        block.set64(40, reinterpret_cast<uint64_t>(record));
        block.set64(48, 1212);
        block.set64(96, mask);
        block.set32(112, 1);
        return block;
    }

    Block closeBlock(uint64_t key)
    {
        Block block;
        block.set64(16, key);
        return block;
    }

    uint64_t takeRoot()
    {
        Block block = rootBlock();
        EXPECT_EQ(send(1000, &block), 0);
        return block.get64(16);
    }

    uint64_t takeObject(uint64_t rootKey, const std::string& path)
    {
        Block block = openBlock(rootKey, path);
        EXPECT_EQ(send(23, &block), 0) << path;
        return block.get64(16);
    }

    long long closeKey(uint64_t key)
    {
        Block block = closeBlock(key);
        return send(1001, &block);
    }

    std::string base;
    std::string root;
    uint8_t poolId[16];
    uint8_t volumeId[16];
    int fd = -1;
    std::string paths[4];
    size_t pathCount = 0;
};

}  // namespace simtest
