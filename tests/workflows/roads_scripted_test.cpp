// SPDX-License-Identifier: Apache-2.0
// getInfo and GUIDModify against the scripted device: for each way one object can
// fail, the message, the requests in order with the key each one carries (the two
// roads release their keys in opposite orders), and what is left in the list.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "admin_client.h"
#include "roads_support.h"
#include "workflows.h"

namespace {

constexpr uint64_t ROOT = 0x71;
constexpr uint64_t OBJECT = 0x72;
const char* const X1 = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";

struct Request {
    uint64_t op;
    uint64_t key;  // as sent; zRootKey sends none and is listed with 0
    bool operator==(const Request&) const = default;
};

std::vector<Request> requestsSent()
{
    std::vector<Request> seen;
    for (size_t index = 0; index < zapisimRequestCount(); ++index) {
        uint64_t op = zapisimRequestOffset(index);
        seen.push_back({op, (op == ZAPI_OP_ROOT_KEY) ? 0 : roads::requestField(index, 16)});
    }
    return seen;
}

// The next request of `op` gets `status`; on 0 it hands out `key`.
void answer(uint64_t op, uint32_t status, uint64_t key)
{
    uint8_t image[208] = {};
    uint8_t mask[208] = {};
    memcpy(image + 16, &key, sizeof(key));
    memset(mask + 16, 1, sizeof(key));
    zapisimAnswerNext(op, status, 0, (status == 0) ? image : nullptr,
                      (status == 0) ? mask : nullptr);
}

enum class Road { Get, Put };

struct Case {
    const char* label;
    Road road;
    int32_t kind;
    uint64_t refusedOp;  // 0: every request succeeds; the cleared record reads as inactive
    uint32_t status;
    const char* output;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.label;
}

class OneObject : public roads::ScriptedDevice, public ::testing::WithParamInterface<Case> {};

TEST_P(OneObject, FailsOrIsSkipped)
{
    const Case& c = GetParam();
    answer(ZAPI_OP_ROOT_KEY, (c.refusedOp == ZAPI_OP_ROOT_KEY) ? c.status : 0, ROOT);
    answer(ZAPI_OP_OPEN, (c.refusedOp == ZAPI_OP_OPEN) ? c.status : 0, OBJECT);
    answer(ZAPI_OP_GET_INFO, (c.refusedOp == ZAPI_OP_GET_INFO) ? c.status : 0, OBJECT);

    std::vector<Request> expected = {{ZAPI_OP_ROOT_KEY, 0}};
    if (c.refusedOp == ZAPI_OP_OPEN) {
        expected.insert(expected.end(), {{ZAPI_OP_OPEN, ROOT}, {ZAPI_OP_CLOSE, ROOT}});
    } else if (c.refusedOp != ZAPI_OP_ROOT_KEY) {
        expected.insert(expected.end(), {{ZAPI_OP_OPEN, ROOT}, {ZAPI_OP_GET_INFO, OBJECT}});
        // get releases the root key first, put the object key first.
        uint64_t first = (c.road == Road::Get) ? ROOT : OBJECT;
        expected.insert(expected.end(),
                        {{ZAPI_OP_CLOSE, first}, {ZAPI_OP_CLOSE, (first == ROOT) ? OBJECT : ROOT}});
    }

    testing::internal::CaptureStdout();
    int result = 0;
    if (c.road == Road::Get) {
        result = getInfo(roads::kindOf(c.kind), "obj 1");
    } else {
        roads::appendPair("obj 1", X1);
        result = GUIDModify(roads::kindOf(c.kind), "ids.xml", nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    EXPECT_EQ(requestsSent(), expected);
    if (expected.size() == 5) {
        EXPECT_EQ(roads::requestField(2, 96),
                  (c.kind == 1) ? ZAPI_POOL_INFO_MASK : ZAPI_VOLUME_INFO_MASK);
    }
    // Only a skipped object lets the walk end well; a failing node stays in the list. get
    // tells an inactive object (1) from one it could not save (-1).
    bool skipped = (c.road == Road::Put && c.refusedOp == 0);
    EXPECT_EQ(result, skipped ? 0 : (c.road == Road::Get && c.refusedOp == 0) ? 1 : -1);
    EXPECT_EQ(listHead == nullptr, c.road == Road::Get || skipped);
}

// Statuses are printed as unsigned 32-bit values.
const Case CASES[] = {
    {"GetRootKey", Road::Get, 0, ZAPI_OP_ROOT_KEY, 4294967295u,
     "getInfo : zRootKey error 4294967295\nVolume obj 1 could not be saved\n"},
    {"GetOpen", Road::Get, 1, ZAPI_OP_OPEN, 20202,
     "getInfo : zOpen error 20202\nPool obj 1 could not be saved\n"},
    {"GetPoolInfo", Road::Get, 1, ZAPI_OP_GET_INFO, 13,
     "Pool :zGetInfo failed -- error 13\nPool obj 1 could not be saved\n"},
    {"GetVolumeInfo", Road::Get, 0, ZAPI_OP_GET_INFO, 13,
     "Volume :zGetInfo failed -- error 13\nVolume obj 1 could not be saved\n"},
    {"GetPoolInactive", Road::Get, 1, 0, 0, "Pool obj 1 must be active to get its Tavro ID\n"},
    {"GetVolumeInactive", Road::Get, 0, 0, 0, "Volume obj 1 must be active to get its Tavro ID\n"},
    {"PutRootKey", Road::Put, 1, ZAPI_OP_ROOT_KEY, 0xFFFFFFF0u,
     "GUIDModify : zRootKey error 4294967280\nStopped at Pool \"obj 1\": 0 changed, 1 not "
     "applied\n"},
    {"PutOpen", Road::Put, 0, ZAPI_OP_OPEN, 20202,
     "GUIDModify : zOpen error 20202\nStopped at Volume \"obj 1\": 0 changed, 1 not applied\n"},
    {"PutPoolInfo", Road::Put, 1, ZAPI_OP_GET_INFO, 5,
     "zGetInfo failed -- error 5\nStopped at Pool \"obj 1\": 0 changed, 1 not applied\n"},
    {"PutVolumeInfo", Road::Put, 0, ZAPI_OP_GET_INFO, 2147483648u,
     "  zGetInfo failed -- error 2147483648\nStopped at Volume \"obj 1\": 0 changed, 1 not "
     "applied\n"},
    {"PutPoolInactive", Road::Put, 1, 0, 0,
     "Pool \"obj 1\" must be active to modify its Tavro ID\n"},
    {"PutVolumeInactive", Road::Put, 0, 0, 0,
     "Volume \"obj 1\" must be active to modify its Tavro ID\n"},
};

INSTANTIATE_TEST_SUITE_P(Roads, OneObject, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.label); });

class Scripted : public roads::ScriptedDevice {};

TEST_F(Scripted, PutOfAnEmptyListFails)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(GUIDModify(VOLUME_KIND, "ids.xml", nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "List is Empty, there are no Volumes\n");
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

TEST_F(Scripted, GetRefusesANameLongerThanANodeHolds)
{
    std::string name = std::string(255, 'n') + "\x1b";
    const std::string shownName = std::string(255, 'n') + "\\x1b";
    testing::internal::CaptureStdout();
    EXPECT_EQ(getInfo(VOLUME_KIND, name.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "getInfo : name " + shownName +
                                                          " is too long\nVolume " + shownName +
                                                          " could not be saved\n");
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

}  // namespace
