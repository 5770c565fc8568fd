// SPDX-License-Identifier: Apache-2.0
// Scripted mode: what in-process client tests rely on.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "zapisim.h"

namespace {

class ScriptedDevice : public ::testing::Test {
   protected:
    void SetUp() override
    {
        zapisimScriptBegin();
    }
    void TearDown() override
    {
        zapisimScriptEnd();
    }
};

TEST_F(ScriptedDevice, OpensCountsAndClosesTheDevice)
{
    int fd = open64("/dev/zapi", O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(zapisimDeviceOpenCount(), 1u);
    EXPECT_EQ(zapisimDeviceOpenFlags(), O_RDONLY);
    EXPECT_EQ(close(fd), 0);
    EXPECT_EQ(zapisimDeviceCloseCount(), 1u);

    zapisimFailNextDeviceOpen(EACCES);
    errno = 0;
    EXPECT_EQ(open64("/dev/zapi", O_RDONLY), -1);
    EXPECT_EQ(errno, EACCES);
    EXPECT_EQ(zapisimDeviceOpenCount(), 1u);  // only successful opens count
    fd = open("/dev/zapi", O_RDONLY);         // the failure was for one open only
    ASSERT_GE(fd, 0);
    close(fd);

    zapisimScriptBegin();
    EXPECT_EQ(zapisimDeviceOpenCount(), 0u);
    EXPECT_EQ(zapisimDeviceCloseCount(), 0u);
}

TEST_F(ScriptedDevice, RecordsEveryRequestAsSent)
{
    int fd = open64("/dev/zapi", O_RDONLY);
    ASSERT_GE(fd, 0);
    uint8_t block[208];
    for (size_t i = 0; i < sizeof block; ++i)
        block[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(pread64(fd, block, 208, 1000), 0);
    EXPECT_EQ(pread(fd, block, 100, 23), 0);

    ASSERT_EQ(zapisimRequestCount(), 2u);
    EXPECT_EQ(std::memcmp(zapisimRequestBlock(0), block, 208), 0);
    EXPECT_EQ(zapisimRequestOffset(0), 1000u);
    EXPECT_EQ(zapisimRequestSize(0), 208u);
    EXPECT_EQ(zapisimRequestFd(0), fd);
    EXPECT_EQ(zapisimRequestOffset(1), 23u);
    EXPECT_EQ(zapisimRequestSize(1), 100u);
    EXPECT_EQ(zapisimRequestBlock(1)[150], 0);  // beyond the bytes sent
    EXPECT_EQ(zapisimRequestBlock(2), nullptr);
    close(fd);
}

TEST_F(ScriptedDevice, AnswersInOrderPerOperation)
{
    int fd = open64("/dev/zapi", O_RDONLY);
    ASSERT_GE(fd, 0);
    uint8_t image[208] = {};
    uint8_t mask[208] = {};
    uint64_t key = 0x1122334455667788u;
    std::memcpy(image + 16, &key, sizeof key);
    std::memset(mask + 16, 1, 8);
    zapisimAnswerNext(1000, 0, 0, image, mask);
    zapisimAnswerNext(16, -1, EIO, nullptr, nullptr);
    zapisimAnswerNext(1000, 20001, 0, nullptr, nullptr);

    uint8_t block[208];
    std::memset(block, 0xEE, sizeof block);
    EXPECT_EQ(pread64(fd, block, 208, 1000), 0);
    uint64_t got = 0;
    std::memcpy(&got, block + 16, sizeof got);
    EXPECT_EQ(got, key);
    EXPECT_EQ(block[15], 0xEE);  // unmasked bytes stay as sent
    EXPECT_EQ(block[24], 0xEE);

    errno = 0;
    EXPECT_EQ(pread64(fd, block, 208, 16), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(pread64(fd, block, 208, 1000), 20001);
    EXPECT_EQ(pread64(fd, block, 208, 1000), 0);  // script used up: plain success
    EXPECT_EQ(zapisimRequestCount(), 4u);
    close(fd);
}

TEST_F(ScriptedDevice, BadBufferIsAFaultNotACrash)
{
    int fd = open64("/dev/zapi", O_RDONLY);
    ASSERT_GE(fd, 0);
    volatile uintptr_t unmapped = 8;  // hidden from the compiler's bounds checks
    errno = 0;
    EXPECT_EQ(pread64(fd, reinterpret_cast<void*>(unmapped), 208, 1000), -1);
    EXPECT_EQ(errno, EFAULT);
    close(fd);
}

TEST_F(ScriptedDevice, ForkedChildSendsItsOwnMemory)
{
    int fd = open64("/dev/zapi", O_RDONLY);
    ASSERT_GE(fd, 0);
    uint8_t block[208] = {};
    ASSERT_EQ(pread64(fd, block, 208, 1000), 0);  // the parent's request comes first
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        block[0] = 0x42;  // only in the child's copy
        bool sent = pread64(fd, block, 208, 1000) == 0 && zapisimRequestCount() == 2 &&
                    zapisimRequestBlock(1)[0] == 0x42;
        _exit(sent ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    close(fd);
}

TEST_F(ScriptedDevice, OtherFilesAreUntouched)
{
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_GE(fd, 0);
    uint8_t block[208];
    EXPECT_EQ(pread64(fd, block, 208, 0), 0);  // end of file, not a request
    EXPECT_EQ(zapisimRequestCount(), 0u);
    close(fd);
    EXPECT_EQ(zapisimDeviceCloseCount(), 0u);
}

TEST(DeviceWithoutSimulation, IsTheRealPath)
{
    errno = 0;
    int fd = open64("/dev/zapi", O_RDONLY);
    EXPECT_EQ(fd, -1);
    EXPECT_EQ(errno, ENOENT);
}

}  // namespace
