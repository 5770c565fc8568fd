// getInfo against the scripted device: the request order (root key released first),
// the messages of each failure, and that a failing object adds nothing to the list.
#include <ostream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "admin_client.h"
#include "roads_support.h"
#include "workflows.h"

namespace {

using roads::Request;

// The requests for one object whose record was read: root key released first.
std::vector<Request> readAndReleased()
{
    return {{ZAPI_OP_ROOT_KEY, 0},
            {ZAPI_OP_OPEN, 0x31},
            {ZAPI_OP_GET_INFO, 0x32},
            {ZAPI_OP_CLOSE, 0x31},
            {ZAPI_OP_CLOSE, 0x32}};
}

class GetInfoTest : public roads::ScriptedDevice {};

struct Failure {
    const char* label;
    int32_t kind;
    uint64_t refusedOp;  // 0: nothing refused (the cleared record reads as inactive)
    uint32_t status;
    const char* output;
    std::vector<Request> requests;
};

// Test names and failure reports show the case by its label.
void PrintTo(const Failure& c, std::ostream* os)
{
    *os << c.label;
}

class LeavesOut : public GetInfoTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(LeavesOut, FailingObject)
{
    const Failure& c = GetParam();
    isPool = c.kind;
    if (c.refusedOp == ZAPI_OP_ROOT_KEY) {
        roads::answerStatus(ZAPI_OP_ROOT_KEY, c.status);
    } else {
        roads::answerKey(ZAPI_OP_ROOT_KEY, 0x31);
        if (c.refusedOp == ZAPI_OP_OPEN) {
            roads::answerStatus(ZAPI_OP_OPEN, c.status);
        } else {
            roads::answerKey(ZAPI_OP_OPEN, 0x32);
            if (c.refusedOp == ZAPI_OP_GET_INFO) {
                roads::answerStatus(ZAPI_OP_GET_INFO, c.status);
            }
        }
    }

    testing::internal::CaptureStdout();
    EXPECT_EQ(getInfo("obj1"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(roads::requestsSent(), c.requests);
}

const Failure FAILURES[] = {
    {"RootKeyRefused", 0, ZAPI_OP_ROOT_KEY, 4294967295u, "getInfo : zRootKey error 4294967295\n",
     {{ZAPI_OP_ROOT_KEY, 0}}},
    {"OpenRefused", 1, ZAPI_OP_OPEN, 20202, "getInfo : zOpen error 20202\n",
     {{ZAPI_OP_ROOT_KEY, 0}, {ZAPI_OP_OPEN, 0x31}, {ZAPI_OP_CLOSE, 0x31}}},
    {"PoolInfoRefused", 1, ZAPI_OP_GET_INFO, 13, "Pool :zGetInfo failed -- error 13\n",
     readAndReleased()},
    {"VolumeInfoRefused", 0, ZAPI_OP_GET_INFO, 13, "Volume :zGetInfo failed -- error 13\n",
     readAndReleased()},
    {"PoolInactive", 1, 0, 0, "Pool obj1 must be active to get its Tavro ID\n",
     readAndReleased()},
    {"VolumeInactive", 0, 0, 0, "Volume obj1 must be active to get its Tavro ID\n",
     readAndReleased()},
};

INSTANTIATE_TEST_SUITE_P(GetInfo, LeavesOut, ::testing::ValuesIn(FAILURES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(GetInfoTest, InfoMaskFollowsTheKind)
{
    isPool = 1;
    testing::internal::CaptureStdout();
    getInfo("p");
    isPool = 0;
    getInfo("v");
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(zapisimRequestCount(), 10u);
    EXPECT_EQ(roads::requestField64(2, 96), ZAPI_POOL_INFO_MASK);
    EXPECT_EQ(roads::requestField64(7, 96), ZAPI_VOLUME_INFO_MASK);
}

TEST_F(GetInfoTest, NameLongerThanANodeHoldsSendsNothing)
{
    std::string name(256, 'n');
    testing::internal::CaptureStdout();
    EXPECT_EQ(getInfo(name.c_str()), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "getInfo : name " + name + " is too long\n");
    EXPECT_EQ(zapisimRequestCount(), 0u);
    EXPECT_EQ(listHead, nullptr);
}

TEST_F(GetInfoTest, MissingAdminDirectoryFailsTheRun)
{
    struct stat status;
    if (stat("/_admin", &status) == 0) {
        GTEST_SKIP() << "this machine has an admin directory";
    }
    char path[] = "/tmp/korvane-get-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    for (int32_t kind : {0, 1}) {
        isPool = kind;
        testing::internal::CaptureStdout();
        EXPECT_EQ(getName(path), -1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Opendir failed, errno : 2\n");
    }
    struct stat written;
    ASSERT_EQ(stat(path, &written), 0);
    EXPECT_EQ(written.st_size, 0);
    unlink(path);
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

}  // namespace
