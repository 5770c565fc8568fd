// SPDX-License-Identifier: Apache-2.0
// Power-cut sweep: get --keep 3 over a list file and two kept lists, the power cut after
// each of its file-system calls in turn and, at each, every way the disk may come back.
// FILE always holds the old list or the new one, whole; every kept file a whole list; no
// list lost. Cut just after the run ends, the new list is in FILE and the old in FILE.1.
#include <dirent.h>
#include <signal.h>

#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace {

class PowerSweep : public e2e::EndToEnd {};

// The names in dir that start with `prefix`.
std::vector<std::string> namesStarting(const std::string& dir, const std::string& prefix)
{
    std::vector<std::string> names;
    DIR* listing = opendir(dir.c_str());
    for (dirent* entry = listing ? readdir(listing) : nullptr; entry; entry = readdir(listing)) {
        if (std::string(entry->d_name).rfind(prefix, 0) == 0)
            names.push_back(dir + "/" + entry->d_name);
    }
    if (listing)
        closedir(listing);
    return names;
}

TEST_F(PowerSweep, LeavesEveryListWhole)
{
    const std::string path = file("list.xml");
    addAll({{"volume", "V1", 6, e2e::testId(1)}, {"volume", "V2", 6, e2e::testId(2)}});
    const std::string fresh =
        e2e::listFile("volume", {{"V1", e2e::testId(1)}, {"V2", e2e::testId(2)}});
    const std::string old[] = {e2e::listFile("volume", {{"V1", e2e::testId(7)}}),
                               e2e::listFile("volume", {{"V2", e2e::testId(8)}}),
                               e2e::listFile("volume", {{"V3", e2e::testId(9)}})};
    // The run lock's file is there already, as after any earlier run.
    e2e::writeFile(sys + "/lock", "");
    const std::regex said(
        "power cut (at exit, )?after call ([0-9]+).*: outcome ([0-9]+) of ([0-9]+)\n");
    bool ended = false;
    for (int call = 1; !ended && call < 100; ++call) {
        for (unsigned long outcome = 0, outcomes = 1; outcome < outcomes; ++outcome) {
            SCOPED_TRACE("cut after call " + std::to_string(call) + ", outcome " +
                         std::to_string(outcome));
            for (const std::string& name : namesStarting(root, "list.xml"))
                unlink(name.c_str());
            for (const std::string& name : namesStarting(root, ".list.xml"))
                unlink(name.c_str());
            for (size_t k = 0; k < 3; ++k)
                e2e::writeFile(k == 0 ? path : path + "." + std::to_string(k), old[k]);
            fail({"clear"});
            fail({"power", "--nth", std::to_string(call), "--outcome", std::to_string(outcome)});
            e2e::ProcessResult result =
                e2e::runProcess({e2e::zapisimPath(), "run", sys, "--", e2e::korvanePath(), "get",
                                 "--keep", "3", "volume", path});
            std::smatch match;
            ASSERT_TRUE(std::regex_search(result.err, match, said)) << result.err;
            ended = match[1].matched;
            outcomes = std::stoul(match[4]);
            EXPECT_EQ(std::stoul(match[3]), outcome);
            EXPECT_EQ(ended ? result.exitStatus : result.signal, ended ? 0 : SIGKILL);

            // What each name holds, and how many of the old lists are still somewhere.
            std::string held[4];
            bool exists[4] = {};
            unsigned found[3] = {};
            for (size_t k = 0; k < 4; ++k) {
                held[k] = e2e::readFile(k == 0 ? path : path + "." + std::to_string(k), &exists[k]);
                bool whole = held[k] == fresh;
                for (size_t j = 0; j < 3; ++j) {
                    found[j] += exists[k] && held[k] == old[j];
                    whole = whole || held[k] == old[j];
                }
                EXPECT_TRUE(!exists[k] || whole) << "a torn file " << k << ": " << held[k];
            }
            EXPECT_TRUE(exists[0] && (held[0] == old[0] || held[0] == fresh)) << held[0];
            for (size_t j = 0; j < 3; ++j)
                EXPECT_GT(found[j], 0u) << "list " << j << " lost";
            if (ended) {
                EXPECT_EQ(held[0], fresh);
                EXPECT_EQ(held[1], old[0]);
            }
            EXPECT_EQ(namesStarting(root, ".zapisim-power").size(), 0u);
        }
    }
    EXPECT_TRUE(ended);
}

}  // namespace
