// SPDX-License-Identifier: Apache-2.0
// The sanitized build catches faults in a program run the way the end-to-end tests
// run korvane: under "zapisim run", with libzapisim.so preloaded ahead of the ASan
// runtime. Without this, a broken bridge would turn the sanitized suite into a plain
// one without anyone noticing.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "harness.h"

namespace {

struct ProbeCase {
    const char* label;
    e2e::Lines args;
    e2e::Lines fault;    // `zapisim fail` arguments, empty for none
    bool fails;          // the probe must end with a sanitizer report
    const char* report;  // text the report (standard error) must contain
    const char* out;     // standard output of a probe that ends normally
};

const ProbeCase kCases[] = {
    {"LeakIsReported", {"leak"}, {}, true, "ERROR: LeakSanitizer: detected memory leaks", ""},
    {"HeapOverflowIsReported",
     {"overflow"},
     {},
     true,
     "ERROR: AddressSanitizer: heap-buffer-overflow",
     ""},
    {"UndefinedBehaviourStopsTheRun",
     {"undefined"},
     {},
     true,
     "runtime error: signed integer overflow",
     ""},
    {"AllocationFaultStillHappens",
     {"allocate", "4242"},
     {"malloc", "--size", "4242"},
     false,
     "",
     "null\n"},
    {"OtherSizesAreServed", {"allocate", "4243"}, {"malloc", "--size", "4242"}, false, "", "ok\n"},
    {"SoundProgramIsQuiet", {"clean"}, {}, false, "", "ok\n"},
};

void PrintTo(const ProbeCase& c, std::ostream* os)
{
    *os << c.label;
}

class SanitizerSelfCheck : public testing::TestWithParam<ProbeCase> {};

TEST_P(SanitizerSelfCheck, UnderTheSimulator)
{
    const ProbeCase& c = GetParam();
    std::string root = e2e::makeSystem();
    ASSERT_FALSE(root.empty());
    std::string sys = root + "/system";
    if (!c.fault.empty())
        e2e::zapisim("fail", sys, c.fault);

    e2e::Lines argv = {e2e::zapisimPath(), "run", sys, "--", SANITIZER_PROBE};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    e2e::ProcessResult result = e2e::runProcess(argv);
    if (c.fails) {
        EXPECT_TRUE(result.exitStatus != 0 || result.signal != 0);
        EXPECT_NE(result.err.find(c.report), std::string::npos) << result.err;
    } else {
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, c.out);
    }
    e2e::removeTree(root);
}

INSTANTIATE_TEST_SUITE_P(Probe, SanitizerSelfCheck, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ProbeCase>& info) {
                             return info.param.label;
                         });

}  // namespace
