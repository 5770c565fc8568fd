// SPDX-License-Identifier: Apache-2.0
// The simulator's own ID text, names and fault rule lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "fault_rules.h"
#include "store.h"

namespace {

TEST(SimIdText, FormatsAndParsesTheToolsForm)
{
    const uint8_t id[16] = {0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6, 0xa7, 0xb8,
                            0xc9, 0xda, 0xeb, 0xfc, 0x0d, 0x1e, 0x2f, 0x3a};
    char text[SIM_ID_TEXT_SIZE];
    simFormatId(id, text);
    EXPECT_STREQ(text, "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a");
    uint8_t back[16] = {};
    ASSERT_EQ(simParseId(text, back), 0);
    EXPECT_EQ(std::memcmp(id, back, 16), 0);
    ASSERT_EQ(simParseId("D4C3B2A1-F6E5-B8A7-C9-DA-EBFC0D1E2F3A", back), 0);
    EXPECT_EQ(std::memcmp(id, back, 16), 0);
}

TEST(SimIdText, RefusesAnythingElse)
{
    const char* bad[] = {
        "",
        "d4c3b2a1-f6e5-b8a7-c9da-ebfc0d1e2f3a",    // the common 36-character form
        "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a0",  // one digit more
        "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3",    // one digit less
        "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3g",   // not a digit
        "+4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a",   // no signs, no blanks
        " 4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a",
        "d4c3b2a1_f6e5-b8a7-c9-da-ebfc0d1e2f3a",
    };
    uint8_t id[16];
    for (const char* text : bad)
        EXPECT_EQ(simParseId(text, id), -1) << text;
}

TEST(SimNames, AllowAnyByteButSlash)
{
    EXPECT_EQ(simCheckName("P1"), 0);
    EXPECT_EQ(simCheckName("a b\t\\c\xff"), 0);
    EXPECT_EQ(simCheckName(".hidden"), 0);
    EXPECT_EQ(simCheckName(std::string(255, 'x').c_str()), 0);
    EXPECT_EQ(simCheckName(std::string(256, 'x').c_str()), -1);
    EXPECT_EQ(simCheckName(""), -1);
    EXPECT_EQ(simCheckName("a/b"), -1);
    EXPECT_EQ(simCheckName("."), -1);
    EXPECT_EQ(simCheckName(".."), -1);
}

TEST(SimNames, EscapeOnlyWhatWouldBreakALine)
{
    char out[SIM_ESCAPED_NAME_SIZE];
    simEscapeName("plain name-1", out, sizeof out);
    EXPECT_STREQ(out, "plain name-1");
    simEscapeName("a\tb\nc\\d\x01\x7f\xff", out, sizeof out);
    EXPECT_STREQ(out, "a\\tb\\nc\\\\d\\x01\\x7f\xff");
    std::string worst(255, '\x01');
    simEscapeName(worst.c_str(), out, sizeof out);
    EXPECT_EQ(std::strlen(out), 4u * 255u);
}

TEST(SimRecord, FillsEveryByteAndPlacesTheFields)
{
    uint8_t id[16];
    std::memset(id, 0x77, sizeof id);
    uint8_t pool[SIM_RECORD_SIZE];
    uint8_t again[SIM_RECORD_SIZE];
    uint8_t other[SIM_RECORD_SIZE];
    simMakeRecord(SIM_KIND_POOL, "P1", 6, id, pool);
    simMakeRecord(SIM_KIND_POOL, "P1", 6, id, again);
    simMakeRecord(SIM_KIND_POOL, "P2", 6, id, other);
    EXPECT_EQ(std::memcmp(pool, again, sizeof pool), 0) << "deterministic";
    EXPECT_NE(std::memcmp(pool, other, sizeof pool), 0) << "different per object";
    EXPECT_EQ(simRecordState(SIM_KIND_POOL, pool), 6u);
    EXPECT_EQ(std::memcmp(pool + 616, id, 16), 0);
    EXPECT_NE(simRecordState(SIM_KIND_VOLUME, pool), 6u) << "the volume part is noise in a pool";
    simRecordSetState(SIM_KIND_POOL, pool, 2);
    EXPECT_EQ(pool[632], 2);
}

TEST(SimStandIns, AreTheRunLockAndTheStateFolder)
{
    const std::pair<const char*, const char*> paths[] = {
        {"/run/korvane.lock", "/sys/lock"},
        {"/var/lib/korvane", "/sys/state"},
        {"/var/lib/korvane/", "/sys/state/"},
        {"/var/lib/korvane/volumes-before-put.xml.1", "/sys/state/volumes-before-put.xml.1"},
        {"/var/lib/korvane.xml", nullptr},
        {"/var/lib", nullptr},
        {"var/lib/korvane/x", nullptr},
        {"/run/korvane.lock.1", nullptr},
    };
    char out[SIM_PATH_SIZE] = "untouched";
    for (const auto& [path, standIn] : paths) {
        EXPECT_EQ(simStandInPath(out, sizeof out, "/sys", path), standIn != nullptr) << path;
        EXPECT_STREQ(out, standIn != nullptr ? standIn : "untouched") << path;
        (void)std::snprintf(out, sizeof out, "untouched");
    }
    EXPECT_EQ(simStandInPath(out, 10, "/sys", "/var/lib/korvane/x"), -1);
}

// Each rule survives the trip through its line.
class SimRuleLines : public ::testing::TestWithParam<SimFaultRule_s> {};

TEST_P(SimRuleLines, RoundTrip)
{
    const SimFaultRule_s& rule = GetParam();
    char line[SIM_RULE_LINE_SIZE];
    ASSERT_EQ(simFormatRule(&rule, line, sizeof line), 0);
    ASSERT_EQ(line[std::strlen(line) - 1], '\n');
    line[std::strlen(line) - 1] = '\0';
    SimFaultRule_s back;
    ASSERT_EQ(simParseRule(line, &back), 0) << line;
    EXPECT_EQ(back.what, rule.what);
    EXPECT_EQ(back.operation, rule.operation);
    EXPECT_EQ(back.kind, rule.kind);
    EXPECT_EQ(back.status, rule.status);
    EXPECT_EQ(back.errnoValue, rule.errnoValue);
    EXPECT_EQ(back.size, rule.size);
    EXPECT_EQ(back.nth, rule.nth);
    EXPECT_EQ(back.outcome, rule.outcome);
    EXPECT_EQ(back.hasText, rule.hasText);
    EXPECT_STREQ(back.text, rule.text);
}

SimFaultRule_s rule(int what, uint64_t operation, int kind, int64_t status, int errnoValue,
                    uint64_t size, uint64_t nth, const char* text)
{
    SimFaultRule_s made = {};
    made.what = what;
    made.operation = operation;
    made.kind = kind;
    made.status = status;
    made.errnoValue = errnoValue;
    made.size = size;
    made.nth = nth;
    made.hasText = text != nullptr;
    if (text != nullptr)
        std::strcpy(made.text, text);
    return made;
}

SimFaultRule_s powerCut(uint64_t nth, uint64_t outcome)
{
    SimFaultRule_s made = rule(SIM_RULE_POWER, 0, 0, 0, 0, 0, nth, nullptr);
    made.outcome = outcome;
    return made;
}

INSTANTIATE_TEST_SUITE_P(
    Sim, SimRuleLines,
    ::testing::Values(rule(SIM_RULE_REQUEST, 16, 0, 4294967295, 0, 0, 0, nullptr),
                      rule(SIM_RULE_REQUEST, 1001, 0, 0, 5, 0, 3, "name with blanks\tand tab="),
                      rule(SIM_RULE_DEVICE, 0, 0, 0, 13, 0, 0, nullptr),
                      rule(SIM_RULE_OPENDIR, 0, SIM_KIND_POOL, 0, 2, 0, 0, nullptr),
                      rule(SIM_RULE_READDIR, 0, SIM_KIND_VOLUME, 0, 5, 0, 4, nullptr),
                      rule(SIM_RULE_MALLOC, 0, 0, 0, 0, 304, 2, nullptr),
                      rule(SIM_RULE_OPEN, 0, 0, 0, 13, 0, 0, "/tmp/ids file.xml"),
                      rule(SIM_RULE_WRITE, 0, 0, 0, 28, 0, 2, "relative/path"),
                      rule(SIM_RULE_LINK, 0, 0, 0, 1, 0, 1, "/tmp/ids.xml"), powerCut(12, 5)));

TEST(SimRuleLines, RefuseWhatIsNotARule)
{
    const char* bad[] = {"",
                         "what=bogus",
                         "what=open errno=5",
                         "what=readdir errno=5",
                         "what=request op=x",
                         "what=request op=16 colour=red",
                         "what=open path=2 errno=5",
                         "what=power outcome=3",
                         "op=16"};
    SimFaultRule_s parsed;
    for (const char* line : bad)
        EXPECT_EQ(simParseRule(line, &parsed), -1) << line;
}

}  // namespace
