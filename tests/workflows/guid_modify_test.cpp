// GUIDModify against the scripted device: the request order, which key each request
// carries, and where the walk stops. (A cleared record reads as an inactive object;
// applying IDs to active objects is covered by the storage-backed tests.)
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "admin_client.h"
#include "roads_support.h"
#include "workflows.h"

namespace {

using roads::Pairs;
using roads::Request;

const char* const X1 = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";
const char* const X2 = "00000001-0002-0003-04-05-060708090a0b";

// The requests for one object whose record was read: object key released first.
std::vector<Request> readAndReleased(uint64_t root, uint64_t object)
{
    return {{ZAPI_OP_ROOT_KEY, 0},
            {ZAPI_OP_OPEN, root},
            {ZAPI_OP_GET_INFO, object},
            {ZAPI_OP_CLOSE, object},
            {ZAPI_OP_CLOSE, root}};
}

class GUIDModifyTest : public roads::ScriptedDevice {};

TEST_F(GUIDModifyTest, EmptyListIsAFailure)
{
    for (int32_t kind : {0, 1}) {
        isPool = kind;
        testing::internal::CaptureStdout();
        EXPECT_EQ(GUIDModify(), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "List is Empty, there are no Volumes\n");
    }
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

struct Inactive {
    const char* label;
    int32_t kind;
    uint64_t infoMask;
    const char* output;
};

// Test names and failure reports show the case by its label.
void PrintTo(const Inactive& c, std::ostream* os)
{
    *os << c.label;
}

class SkipsInactive : public GUIDModifyTest, public ::testing::WithParamInterface<Inactive> {};

TEST_P(SkipsInactive, EveryObjectSkippedStillSucceeds)
{
    isPool = GetParam().kind;
    roads::appendPair("A1", X1);
    roads::appendPair("B 2", X2);
    roads::answerKey(ZAPI_OP_ROOT_KEY, 0x11);
    roads::answerKey(ZAPI_OP_OPEN, 0x12);
    roads::answerKey(ZAPI_OP_ROOT_KEY, 0x21);
    roads::answerKey(ZAPI_OP_OPEN, 0x22);

    testing::internal::CaptureStdout();
    EXPECT_EQ(GUIDModify(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().output);
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(listTail, nullptr);

    std::vector<Request> expected = readAndReleased(0x11, 0x12);
    std::vector<Request> second = readAndReleased(0x21, 0x22);
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(roads::requestsSent(), expected);
    EXPECT_EQ(roads::requestField64(2, 96), GetParam().infoMask);
    EXPECT_EQ(roads::requestField64(7, 96), GetParam().infoMask);
}

const Inactive INACTIVE[] = {
    {"Pools", 1, ZAPI_POOL_INFO_MASK,
     "Pool \"A1\" must be active to modify its Tavro ID\n"
     "Pool \"B 2\" must be active to modify its Tavro ID\n"},
    {"Volumes", 0, ZAPI_VOLUME_INFO_MASK,
     "Volume \"A1\" must be active to modify its Tavro ID\n"
     "Volume \"B 2\" must be active to modify its Tavro ID\n"},
};

INSTANTIATE_TEST_SUITE_P(GUIDModify, SkipsInactive, ::testing::ValuesIn(INACTIVE),
                         [](const auto& info) { return std::string(info.param.label); });

// A failure on the second object: the first was handled and freed, the second and the
// third stay in the list unapplied, and no key of the second stays open.
struct Stop {
    const char* label;
    int32_t kind;
    uint64_t refusedOp;
    uint32_t status;
    const char* output;  // after the first object's line
    std::vector<Request> requests;  // for the second object
};

// Test names and failure reports show the case by its label.
void PrintTo(const Stop& c, std::ostream* os)
{
    *os << c.label;
}

class StopsTheWalk : public GUIDModifyTest, public ::testing::WithParamInterface<Stop> {};

TEST_P(StopsTheWalk, AtTheFailingNode)
{
    const Stop& c = GetParam();
    isPool = c.kind;
    roads::appendPair("first", X1);
    roads::appendPair("second", X2);
    roads::appendPair("third", X1);
    roads::answerKey(ZAPI_OP_ROOT_KEY, 0x11);
    roads::answerKey(ZAPI_OP_OPEN, 0x12);
    if (c.refusedOp == ZAPI_OP_ROOT_KEY) {
        roads::answerStatus(ZAPI_OP_ROOT_KEY, c.status);
    } else {
        roads::answerKey(ZAPI_OP_ROOT_KEY, 0x21);
        if (c.refusedOp == ZAPI_OP_OPEN) {
            roads::answerStatus(ZAPI_OP_OPEN, c.status);
        } else {
            roads::answerKey(ZAPI_OP_OPEN, 0x22);
            roads::answerStatus(ZAPI_OP_GET_INFO, 0);
            roads::answerStatus(ZAPI_OP_GET_INFO, c.status);
        }
    }

    testing::internal::CaptureStdout();
    EXPECT_EQ(GUIDModify(), -1);
    std::string firstLine = (c.kind == 1) ? "Pool \"first\" must be active to modify its Tavro ID\n"
                                          : "Volume \"first\" must be active to modify its Tavro ID\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), firstLine + c.output);
    EXPECT_EQ(roads::listPairs(), (Pairs{{"second", X2}, {"third", X1}}));

    std::vector<Request> expected = readAndReleased(0x11, 0x12);
    expected.insert(expected.end(), c.requests.begin(), c.requests.end());
    EXPECT_EQ(roads::requestsSent(), expected);
}

const Stop STOPS[] = {
    // A status is printed as the unsigned 32-bit value.
    {"RootKeyRefused", 1, ZAPI_OP_ROOT_KEY, 0xFFFFFFF0u,
     "GUIDModify : zRootKey error 4294967280\n", {{ZAPI_OP_ROOT_KEY, 0}}},
    {"OpenRefused", 0, ZAPI_OP_OPEN, 20202, "GUIDModify : zOpen error 20202\n",
     {{ZAPI_OP_ROOT_KEY, 0}, {ZAPI_OP_OPEN, 0x21}, {ZAPI_OP_CLOSE, 0x21}}},
    {"PoolInfoRefused", 1, ZAPI_OP_GET_INFO, 5, "zGetInfo failed -- error 5\n",
     readAndReleased(0x21, 0x22)},
    {"VolumeInfoRefused", 0, ZAPI_OP_GET_INFO, 2147483648u,
     "  zGetInfo failed -- error 2147483648\n", readAndReleased(0x21, 0x22)},
};

INSTANTIATE_TEST_SUITE_P(GUIDModify, StopsTheWalk, ::testing::ValuesIn(STOPS),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
