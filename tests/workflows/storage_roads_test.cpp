// SPDX-License-Identifier: Apache-2.0
// Both roads in-process against a simulated storage system made with the zapisim
// command: what reaches the ID list file, which IDs change, and that no key stays held.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "id_list.h"
#include "list_check.h"
#include "roads_support.h"
#include "temp_dir.h"
#include "workflows.h"

namespace {

using roads::Pairs;

const std::string A = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";
const std::string B = "00000001-0002-0003-04-05-060708090a0b";
const std::string C = "ffffffff-ffff-ffff-ff-ff-ffffffffffff";
const std::string D = "0a0b0c0d-1111-2222-33-44-556677889900";

// Runs zapisim with `arguments` (already shell-quoted where needed); its standard output.
std::string zapisim(const std::string& arguments)
{
    std::string command = std::string(ZAPISIM_BINARY) + " " + arguments;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr) << command;
    std::string output;
    char chunk[4096];
    size_t length = 0;
    while (pipe != nullptr && (length = fread(chunk, 1, sizeof(chunk), pipe)) > 0) {
        output.append(chunk, length);
    }
    int status = (pipe != nullptr) ? pclose(pipe) : -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return output;
}

class StorageRoads : public ::testing::Test {
   protected:
    void SetUp() override
    {
        discardList();
        work = testdir::makeTempDir("korvane-roads");
        ASSERT_NE(work, "");
        system = work + "/system";
        listFile = work + "/ids.xml";
        zapisim("init " + system);
    }
    void TearDown() override
    {
        zapisimUseSystem(nullptr);
        discardList();
        testdir::removeTree(work);
    }
    void add(const char* kind, const std::string& name, int state, const std::string& id)
    {
        zapisim(std::string("add ") + system + " " + kind + " '" + name + "' --state " +
                std::to_string(state) + " --id " + id);
    }
    // Starts the in-process device on the system, with the faults set so far.
    void useSystem()
    {
        ASSERT_EQ(zapisimUseSystem(system.c_str()), 0);
    }
    std::string show()
    {
        return zapisim("show " + system);
    }

    std::string work;
    std::string system;
    std::string listFile;
    uint32_t unsaved = 0;  // what getName could not save
    bool kept = false;
};

std::string volumeFile(const Pairs& pairs)
{
    std::string text = "<listVolumes>\n";
    for (const auto& [name, id] : pairs) {
        text += "\t<volumeName>" + name + "</volumeName>\n\t\t<volumeGUID>" + id + "</volumeGUID>" +
                listcheck::comment(VOLUME_KIND, name, id) + "\n";
    }
    return text + "</listVolumes>";
}

TEST_F(StorageRoads, GetLeavesOutTheInactiveVolume)
{
    add("volume", "V1", 6, A);
    add("volume", "V2", 3, B);
    add("volume", "V3", 6, C);
    useSystem();

    testing::internal::CaptureStdout();
    EXPECT_EQ(getName(VOLUME_KIND, listFile.c_str(), 0, &unsaved, &kept), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Volume V2 must be active to get its Tavro ID\n");
    EXPECT_EQ(roads::readFile(listFile), volumeFile({{"V1", A}, {"V3", C}}));
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

// A listing that cannot be had whole writes no file: the old one stays.
class DirectoryFails : public StorageRoads,
                       public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(DirectoryFails, NoFileIsWritten)
{
    add("volume", "V1", 6, A);
    add("volume", "V2", 6, B);
    zapisim("fail " + system + " " + GetParam().first);
    useSystem();
    roads::writeFile(listFile, "kept");

    testing::internal::CaptureStdout();
    EXPECT_EQ(getName(VOLUME_KIND, listFile.c_str(), 0, &unsaved, &kept), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().second);
    EXPECT_EQ(roads::readFile(listFile), "kept");
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

// The readdir fault strikes after ".", ".." and V1 have been listed.
INSTANTIATE_TEST_SUITE_P(GetName, DirectoryFails,
                         ::testing::Values(std::make_pair("opendir volume --errno 13",
                                                          "Opendir failed, errno : 13\n"),
                                           std::make_pair("readdir volume --errno 5 --nth 4",
                                                          "Readdir failed, errno : 5\n")));

TEST_F(StorageRoads, PutAppliesEveryActiveObject)
{
    add("pool", "P1", 6, A);
    add("pool", "P2", 1, B);
    add("pool", "P3", 6, C);
    useSystem();
    roads::appendPair("P3", D);
    roads::appendPair("P2", D);
    roads::appendPair("P1", B);

    testing::internal::CaptureStdout();
    EXPECT_EQ(GUIDModify(POOL_KIND, "ids.xml", nullptr), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Pool \"P2\" must be active to modify its Tavro ID\n");
    EXPECT_EQ(show(), "pool\tP1\t6\t" + B + "\npool\tP2\t1\t" + B + "\npool\tP3\t6\t" + D + "\n");
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

struct PutStop {
    const char* label;
    std::string secondText;
    std::string output;
};

void PrintTo(const PutStop& c, std::ostream* os)
{
    *os << c.label;
}

class PutStops : public StorageRoads, public ::testing::WithParamInterface<PutStop> {};

// The first volume keeps its new ID, the walk stops at the second, the third is untouched.
TEST_P(PutStops, AtTheSecondVolume)
{
    const PutStop& c = GetParam();
    add("volume", "V1", 6, A);
    add("volume", "V2", 6, A);
    add("volume", "V3", 6, A);
    useSystem();
    roads::appendPair("V1", B);
    roads::appendPair("V2", c.secondText);
    roads::appendPair("V3", C);

    testing::internal::CaptureStdout();
    EXPECT_EQ(GUIDModify(VOLUME_KIND, "ids.xml", nullptr), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              c.output + "Stopped at Volume \"V2\": 1 changed, 2 not applied\n");
    EXPECT_EQ(show(),
              "volume\tV1\t6\t" + B + "\nvolume\tV2\t6\t" + A + "\nvolume\tV3\t6\t" + A + "\n");
    EXPECT_EQ(roads::listPairs(), (Pairs{{"V2", c.secondText}, {"V3", C}}));
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

const PutStop PUT_STOPS[] = {
    {"SignedText", "-" + D.substr(1), "GUIDModify : LB_GUIDFromString Failed, status 20821\n"},
    {"EmptyText", "", "GUIDModify : LB_GUIDFromString Failed, status 20821\n"},
};

INSTANTIATE_TEST_SUITE_P(GUIDModify, PutStops, ::testing::ValuesIn(PUT_STOPS),
                         [](const auto& info) { return std::string(info.param.label); });

// get, then put of the file it wrote: every ID stays as it was.
TEST_F(StorageRoads, RoundTripChangesNothing)
{
    add("pool", "P1", 6, A);
    add("pool", "P2", 6, B);
    add("volume", "V1", 6, C);
    useSystem();
    std::string before = show();
    for (int32_t kind : {1, 0}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(getName(roads::kindOf(kind), listFile.c_str(), 0, &unsaved, &kept), 0);
        EXPECT_EQ(putList(roads::kindOf(kind), listFile.c_str(), {}, nullptr), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    }
    EXPECT_EQ(show(), before);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

}  // namespace
