// SPDX-License-Identifier: Apache-2.0
// Power-cut sweep: get --keep N over a list file and kept lists, the power cut after each
// of its file-system calls in turn and, at each, every way the disk may come back. FILE
// always holds the old list or the new one, whole; every kept file a whole list; no list
// lost but the one beyond N, and that one only once the new list is FILE. Cut just after
// the run ends, the lists are where a run without the cut leaves them. A put's undo list is
// whole on disk before it changes any object.
#include <dirent.h>
#include <signal.h>

#include <regex>
#include <string>
#include <vector>

#include "harness.h"

namespace {

struct PowerCase {
    const char* label;
    unsigned keep;
    size_t lists;      // the old lists: FILE, FILE.1, ... FILE.(lists-1)
    e2e::Lines fault;  // also made to fail, besides the cut
};

const PowerCase kPowerCases[] = {
    {"KeepThree", 3, 3, {}},
    // FILE.2 and FILE.1 move up, FILE is linked as FILE.1: the third rename is the new
    // list's over FILE.
    {"LastRenameFails", 3, 3, {"rename", "--path", "{path}", "--errno", "5", "--nth", "3"}},
    {"KeepOneDropsOne", 1, 3, {}},
    {"KeepFiveDropsOne", 5, 6, {}},
};

void PrintTo(const PowerCase& c, std::ostream* os)
{
    *os << c.label;
}

class PowerSweep : public e2e::EndToEndP<PowerCase> {};

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

TEST_P(PowerSweep, LeavesEveryListWhole)
{
    const PowerCase& c = GetParam();
    const std::string path = file("list.xml");
    addAll({{"volume", "V1", 6, e2e::testId(1)}, {"volume", "V2", 6, e2e::testId(2)}});
    const std::string fresh =
        e2e::listFile("volume", {{"V1", e2e::testId(1)}, {"V2", e2e::testId(2)}});
    std::vector<std::string> old;
    for (unsigned j = 0; j < c.lists; ++j)
        old.push_back(e2e::listFile("volume", {{"V" + std::to_string(j + 3), e2e::testId(7 + j)}}));
    auto name = [&](size_t k) { return k == 0 ? path : path + "." + std::to_string(k); };
    // Where a run without the cut leaves the lists: FILE.k for k up to keep the list
    // before, the others untouched. A failed run leaves them all.
    std::vector<std::string> after(c.lists + 2);
    for (size_t k = 0; k < after.size(); ++k) {
        if (!c.fault.empty() || k > c.keep)
            after[k] = k < c.lists ? old[k] : "";
        else
            after[k] = k == 0 ? fresh : (k - 1 < c.lists ? old[k - 1] : "");
    }
    // The run lock's file is there already, as after any earlier run.
    e2e::writeFile(sys + "/lock", "");
    const std::regex said(
        "power cut (at exit, )?after call ([0-9]+).*: outcome ([0-9]+) of ([0-9]+)\n");
    bool ended = false;
    for (int call = 1; !ended && call < 100; ++call) {
        for (unsigned long outcome = 0, outcomes = 1; outcome < outcomes; ++outcome) {
            SCOPED_TRACE("cut after call " + std::to_string(call) + ", outcome " +
                         std::to_string(outcome));
            for (const std::string& each : namesStarting(root, "list.xml"))
                unlink(each.c_str());
            for (const std::string& each : namesStarting(root, ".list.xml"))
                unlink(each.c_str());
            for (size_t k = 0; k < c.lists; ++k)
                e2e::writeFile(name(k), old[k]);
            fail({"clear"});
            if (!c.fault.empty())
                failAll({c.fault}, path);
            fail({"power", "--nth", std::to_string(call), "--outcome", std::to_string(outcome)});
            e2e::ProcessResult result =
                e2e::runProcess({e2e::zapisimPath(), "run", sys, "--", e2e::korvanePath(), "get",
                                 "--keep", std::to_string(c.keep), "volume", path});
            std::smatch match;
            ASSERT_TRUE(std::regex_search(result.err, match, said)) << result.err;
            ended = match[1].matched;
            outcomes = std::stoul(match[4]);
            EXPECT_EQ(std::stoul(match[3]), outcome);
            EXPECT_EQ(ended ? result.exitStatus : result.signal,
                      ended ? (c.fault.empty() ? 0 : 255) : SIGKILL);

            // What each name holds, and how many of the old lists are still somewhere.
            std::vector<std::string> held(after.size());
            std::vector<unsigned> found(c.lists);
            for (size_t k = 0; k < held.size(); ++k) {
                bool exists = false;
                held[k] = e2e::readFile(name(k), &exists);
                bool whole = held[k] == fresh;
                for (size_t j = 0; j < c.lists; ++j) {
                    found[j] += exists && held[k] == old[j];
                    whole = whole || held[k] == old[j];
                }
                EXPECT_TRUE(!exists || whole) << "a torn file " << k << ": " << held[k];
            }
            EXPECT_TRUE(held[0] == old[0] || held[0] == fresh) << held[0];
            for (size_t j = 0; j < c.lists; ++j)
                EXPECT_TRUE(found[j] > 0 || (j == c.keep && held[0] == fresh)) << "list " << j;
            if (ended) {
                EXPECT_EQ(held, after);
            }
            EXPECT_EQ(namesStarting(root, ".zapisim-power").size(), 0u);
        }
    }
    EXPECT_TRUE(ended);
}

INSTANTIATE_TEST_SUITE_P(E2E, PowerSweep, ::testing::ValuesIn(kPowerCases),
                         [](const auto& info) { return std::string(info.param.label); });

class PutPowerSweep : public e2e::EndToEnd {};

// put volume, cut after each of its file-system calls: its undo list is absent or whole,
// and whole on disk before any object is changed.
TEST_F(PutPowerSweep, NoChangeWithoutAWholeUndoList)
{
    const std::vector<e2e::ObjectSpec> objects = {{"volume", "V1", 6, e2e::testId(1)},
                                                  {"volume", "V2", 6, e2e::testId(2)}};
    addAll(objects);
    const std::string path = file("list.xml"), undo = sys + "/state/volumes-before-put.xml";
    e2e::writeFile(path, e2e::listFile("volume", {{"V1", e2e::testId(7)}, {"V2", e2e::testId(8)}}));
    const std::string whole =
        e2e::listFile("volume", {{"V1", e2e::testId(1)}, {"V2", e2e::testId(2)}});
    e2e::writeFile(sys + "/lock", "");
    const std::regex said(
        "power cut (at exit, )?after call [0-9]+.*: outcome [0-9]+ of ([0-9]+)\n");
    bool ended = false;
    for (int call = 1; !ended && call < 100; ++call) {
        for (unsigned long outcome = 0, outcomes = 1; outcome < outcomes; ++outcome) {
            SCOPED_TRACE("cut after call " + std::to_string(call) + ", outcome " +
                         std::to_string(outcome));
            e2e::removeTree(sys + "/state");
            for (const e2e::ObjectSpec& object : objects)
                e2e::zapisim("set", sys, {"volume", object.name, "--id", object.id});
            fail({"clear"});
            fail({"power", "--nth", std::to_string(call), "--outcome", std::to_string(outcome)});
            e2e::ProcessResult result = e2e::runProcess(
                {e2e::zapisimPath(), "run", sys, "--", e2e::korvanePath(), "put", "volume", path});
            std::smatch match;
            ASSERT_TRUE(std::regex_search(result.err, match, said)) << result.err;
            ended = match[1].matched;
            outcomes = std::stoul(match[2]);
            bool exists = false;
            const std::string held = e2e::readFile(undo, &exists);
            EXPECT_TRUE(!exists || held == whole) << "a torn undo list: " << held;
            const bool changed =
                e2e::describe(e2e::showObjects(sys)) != e2e::expectedObjects(objects);
            EXPECT_TRUE(!changed || held == whole) << "an object changed without the undo list";
            EXPECT_TRUE(!ended || (changed && held == whole));
        }
    }
    EXPECT_TRUE(ended);
}

}  // namespace
