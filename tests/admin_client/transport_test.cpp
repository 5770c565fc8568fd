// SPDX-License-Identifier: Apache-2.0
// The device descriptor, the status convention, string lengths and the five operations.
#include <cerrno>

#include "zapi_test_support.h"

TEST(ZapiStatus, ConvertsCallResults)
{
    struct Case {
        int64_t result;
        int errnoValue;
        uint32_t status;
    } cases[] = {
        {0, 0, 0},
        {20201, 0, 20201},
        {-1, ENOENT, ENOENT},
        {-1, 0, EIO},  // a failed call never reads as success
        {INT64_C(0x100000000), 0, EIO},
    };
    for (const Case& c : cases) {
        errno = c.errnoValue;
        EXPECT_EQ(zapiStatus(c.result), c.status) << c.result;
    }
}

TEST(WideLength, CountsUnitsBeforeTheTerminator)
{
    EXPECT_EQ(wideLength(wide(u"")), 0u);
    EXPECT_EQ(wideLength(wide(u"a\u1234\uFF00")), 3u);
    EXPECT_EQ(wideLength(wide(u"abcdefghijklmnopqrst")), 20u);
}

using DeviceTest = ZapiTest;

TEST_F(DeviceTest, FirstRootKeyOpensTheDeviceAndLaterOnesReuseIt)
{
    uint64_t root = SENTINEL;
    answer(1000, 0, 0, {{16, 8, 0x77}});
    ASSERT_EQ(zRootKey(0x12345678, &root), 0u);
    EXPECT_EQ(root, 0x77u);
    EXPECT_NE(zapiFd, -1);
    expectRequest(0, 1000, blockOf(0, 0, {{80, 4, 0x12345678}}));
    int opened = zapiFd;
    ASSERT_EQ(zRootKey(0, &root), 0u);
    ASSERT_EQ(zClose(root), 0u);
    EXPECT_EQ(zapiFd, opened);
    EXPECT_EQ(zapisimDeviceOpenCount(), 1u);
    EXPECT_EQ(zapisimDeviceCloseCount(), 0u);
    EXPECT_EQ(sent(), 3u);
}

TEST_F(DeviceTest, FailedOpenIsRetriedByTheNextRootKey)
{
    uint64_t root = SENTINEL;
    zapisimFailNextDeviceOpen(EACCES);
    EXPECT_EQ(zRootKey(0, &root), static_cast<uint32_t>(EACCES));
    EXPECT_EQ(zapiFd, -1);
    EXPECT_EQ(root, SENTINEL);
    EXPECT_EQ(sent(), 0u);
    ASSERT_EQ(zRootKey(0, &root), 0u);
    EXPECT_EQ(zapisimDeviceOpenCount(), 1u);
    EXPECT_NE(zapiFd, -1);
}

TEST_F(DeviceTest, OperationsBeforeAnyRootKeyFailWithBadDescriptor)
{
    uint64_t result = SENTINEL;
    EXPECT_EQ(zClose(KEY), static_cast<uint32_t>(EBADF));
    EXPECT_EQ(zOp4(KEY, 1, &result), static_cast<uint32_t>(EBADF));
    EXPECT_EQ(result, SENTINEL);
    EXPECT_EQ(zapisimDeviceOpenCount(), 0u);
}

TEST_F(DeviceTest, DeviceResultsBecomeStatusesAndAreNotRetried)
{
    openDevice();
    answer(1001, 20201, 0);
    EXPECT_EQ(zClose(KEY), 20201u);
    answer(1001, -1, EINTR);
    EXPECT_EQ(zClose(KEY), static_cast<uint32_t>(EINTR));
    EXPECT_EQ(sent(), 2u);
    expectRequest(1, 1001, blockOf(KEY, 0, {}));
}

// zOpen carries its path by the string rule: byte strings count their terminator byte,
// 16-bit strings their terminating unit.
TEST_F(DeviceTest, OpenSendsPathLengthsByForm)
{
    struct Case {
        const void* path;
        uint32_t flags;
        uint64_t length;
    } cases[] = {
        {"", ZAPI_OPEN_FLAGS, 1},
        {"abcdefghijklmnopqrst", ZAPI_FLAG_BYTE_STRING, 21},
        {"_admin:\\volumes\\abcd", ZAPI_OPEN_FLAGS, 21},
        {u"", 0x4, 2},
        {u"abcdefghijklmnopqrst", 0, 42},
    };
    openDevice();
    for (size_t i = 0; i < std::size(cases); i++) {
        uint64_t newKey = SENTINEL;
        answer(23, 0, 0, {{16, 8, 0x99}});
        ASSERT_EQ(zOpen(KEY, 50, cases[i].flags, cases[i].path, 0x0A0B0C0D, &newKey), 0u);
        EXPECT_EQ(newKey, 0x99u);
        expectRequest(i, 23,
                      blockOf(KEY, 1,
                              {{40, 8, address(cases[i].path)},
                               {48, 8, cases[i].length},
                               {88, 4, 50},
                               {112, 4, cases[i].flags},
                               {120, 4, 0x0A0B0C0D}}));
    }
}

TEST_F(DeviceTest, OpenWithoutPathSendsNoDescriptor)
{
    openDevice();
    uint64_t newKey = SENTINEL;
    answer(23, 20202, 0);
    EXPECT_EQ(zOpen(KEY, 1, 2, nullptr, 3, &newKey), 20202u);
    EXPECT_EQ(newKey, SENTINEL);
    expectRequest(0, 23, blockOf(KEY, 0, {{88, 4, 1}, {112, 4, 2}, {120, 4, 3}}));
}

TEST_F(DeviceTest, GetAndModifyInfoPassTheRecord)
{
    openDevice();
    ZapiInfo_s record{};
    ASSERT_EQ(zGetInfo(KEY, ZAPI_POOL_INFO_MASK, sizeof(record), 1, &record), 0u);
    expectRequest(
        0, 16,
        blockOf(KEY, 1, {{40, 8, address(&record)}, {48, 8, 1212}, {96, 8, 0x40050}, {112, 4, 1}}));
    ASSERT_EQ(zGetInfo(KEY, 0x80000, 1212, 2, nullptr), 0u);  // null record: still described
    expectRequest(1, 16, blockOf(KEY, 1, {{48, 8, 1212}, {96, 8, 0x80000}, {112, 4, 2}}));
    ASSERT_EQ(zModifyInfo(KEY, 0xABCDEF0123, 0x480000, 1212, 2, &record), 0u);
    expectRequest(2, 22,
                  blockOf(KEY, 1,
                          {{40, 8, address(&record)},
                           {48, 8, 1212},
                           {80, 8, 0xABCDEF0123},
                           {96, 8, 0x480000},
                           {112, 4, 2}}));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
    for (size_t i = 0; i < sizeof(record); i++) {
        ASSERT_EQ(bytes[i], 0) << "modify must not preset, offset " << i;
    }
}

// Versions 2 to 5 asked with mask bit 0x80000 get two fields preset before the request.
TEST_F(DeviceTest, GetInfoPresetRule)
{
    struct Case {
        uint32_t version;
        uint64_t mask;
        bool preset;
    } cases[] = {
        {1, 0x80000, false},
        {2, 0x80000, true},
        {5, 0xC0050, true},
        {6, 0x80000, false},
        {0, 0x80000, false},
        {2, 0x40050, false},
        {3, 0xFFFFFFFFFFF7FFFF, false},
    };
    openDevice();
    for (const Case& c : cases) {
        uint8_t record[1212];
        memset(record, 0xCC, sizeof(record));
        ASSERT_EQ(zGetInfo(KEY, c.mask, sizeof(record), c.version, record), 0u);
        uint64_t limit = 0;
        uint64_t zero = 1;
        memcpy(&limit, record + 700, 8);
        memcpy(&zero, record + 708, 8);
        EXPECT_EQ(limit, c.preset ? 0x7FFFFFFFFFFFFFFFu : 0xCCCCCCCCCCCCCCCCu) << c.version;
        EXPECT_EQ(zero, c.preset ? 0u : 0xCCCCCCCCCCCCCCCCu) << c.version;
        EXPECT_EQ(record[699], 0xCC);
        EXPECT_EQ(record[716], 0xCC);
    }
}
