// SPDX-License-Identifier: Apache-2.0
#include "object_id.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

constexpr uint8_t sampleBytes[16] = {0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6, 0xa7, 0xb8,
                                     0xc9, 0xda, 0xeb, 0xfc, 0x0d, 0x1e, 0x2f, 0x3a};
constexpr const char* sampleText = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";

GUID fromBytes(const uint8_t* bytes)
{
    GUID guid;
    memcpy(&guid, bytes, sizeof guid);
    return guid;
}

std::string format(const GUID& guid)
{
    char text[GUID_TEXT_SIZE];
    EXPECT_EQ(LB_GUIDToString(&guid, text), 0);
    return text;
}

TEST(GuidText, SampleRecordFormatsAndParsesBack)
{
    GUID guid = fromBytes(sampleBytes);
    EXPECT_EQ(format(guid), sampleText);
    GUID parsed;
    ASSERT_EQ(LB_GUIDFromString(sampleText, &parsed), 0);
    EXPECT_EQ(memcmp(&parsed, sampleBytes, 16), 0);
}

TEST(GuidText, RandomRecordsFormatAndParseBack)
{
    std::mt19937_64 random(20821);
    for (int i = 0; i < 20000; ++i) {
        uint8_t bytes[16];
        for (uint8_t& b : bytes) {
            b = static_cast<uint8_t>(random());
        }
        std::string text = format(fromBytes(bytes));
        ASSERT_EQ(text.size(), 37u);
        GUID parsed;
        ASSERT_EQ(LB_GUIDFromString(text.c_str(), &parsed), 0) << text;
        ASSERT_EQ(memcmp(&parsed, bytes, 16), 0) << text;
    }
}

TEST(GuidText, RandomMixedCaseTextsParseAndFormatBackInLowerCase)
{
    std::mt19937 random(38);
    const char digits[] = "0123456789abcdefABCDEF";
    for (int i = 0; i < 20000; ++i) {
        std::string text = sampleText;
        for (char& c : text) {
            if (c != '-') {
                c = digits[random() % 22];
            }
        }
        GUID parsed;
        ASSERT_EQ(LB_GUIDFromString(text.c_str(), &parsed), 0) << text;
        std::string lower = text;
        for (char& c : lower) {
            c = static_cast<char>(tolower(c));
        }
        ASSERT_EQ(format(parsed), lower);
    }
}

struct ParseCase {
    const char* text;
    int status;
    const char* formatted;  // the parsed record formatted again; null when it fails
};

class GuidParse : public testing::TestWithParam<ParseCase> {};

TEST_P(GuidParse, FollowsTheLibraryConversionRules)
{
    const ParseCase& c = GetParam();
    GUID parsed{};
    ASSERT_EQ(LB_GUIDFromString(c.text, &parsed), c.status);
    if (c.formatted != nullptr) {
        EXPECT_EQ(format(parsed), c.formatted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, GuidParse,
    testing::Values(
        ParseCase{"D4C3B2A1-F6E5-B8A7-C9-DA-EBFC0D1E2F3A", 0, sampleText},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a\n", 0, sampleText},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a ", 0, sampleText},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</poolGUID>", 0, sampleText},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3ax", 0, sampleText},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a0", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3aF", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        // a sign is refused at the start of every group, also after white space
        ParseCase{"+4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"-4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-+6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1--6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7--9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da--00000000001", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{" -c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5- +8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        // leading white space is consumed and counts towards the width
        ParseCase{" 4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a", 0,
                  "04c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a"},
        ParseCase{"d4c3b2a1-\t6e5-b8a7-c9-da-ebfc0d1e2f3a", 0,
                  "d4c3b2a1-06e5-b8a7-c9-da-ebfc0d1e2f3a"},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da- bfc0d1e2f3a", 0,
                  "d4c3b2a1-f6e5-b8a7-c9-da-0bfc0d1e2f3a"},
        ParseCase{"d4c3b2a1-f6e5-b8a7- 9-da-ebfc0d1e2f3a", 0,
                  "d4c3b2a1-f6e5-b8a7-09-da-ebfc0d1e2f3a"},
        ParseCase{"d4c3b2a1-  e5-b8a7-c9-da-ebfc0d1e2f3a", 0,
                  "d4c3b2a1-00e5-b8a7-c9-da-ebfc0d1e2f3a"},
        // a 0x prefix is consumed and counts towards the width
        ParseCase{"0x123456-0X12-b8a7-c9-da-ebfc0d1e2f3a", 0,
                  "00123456-0012-b8a7-c9-da-ebfc0d1e2f3a"},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-0x0d1e2f3a00", 0,
                  "d4c3b2a1-f6e5-b8a7-c9-da-000d1e2f3a00"},
        ParseCase{"d4c3b2a1-f6e5-b8a7-0x-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        // wrong widths, separators and digits
        ParseCase{"d4c3b2a-f6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1f-f6e5-b8a7-c9-da-ebfc0d1e2f3", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1_f6e5-b8a7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8g7-c9-da-ebfc0d1e2f3a", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"d4c3b2a1-f6e5-b8a7-c9-da-", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{"", LB_ERR_BAD_GUID_TEXT, nullptr},
        ParseCase{nullptr, LB_ERR_BAD_GUID_TEXT, nullptr}));

struct SizedCase {
    uint64_t size;
    int status;
    const char* text;  // what the buffer holds afterwards; null: untouched
};

class GuidSized : public testing::TestWithParam<SizedCase> {};

TEST_P(GuidSized, WritesOnlyWhenTheTextAndItsNulFit)
{
    const SizedCase& c = GetParam();
    GUID guid = fromBytes(sampleBytes);
    char text[64];
    memset(text, '#', sizeof text);
    text[sizeof text - 1] = '\0';
    EXPECT_EQ(LB_GUIDToStringSized(&guid, c.size, text), c.status);
    EXPECT_EQ(std::string(text), c.text != nullptr ? c.text : std::string(63, '#'));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, GuidSized,
    testing::Values(SizedCase{38, 0, sampleText}, SizedCase{39, 0, sampleText},
                    SizedCase{UINT64_MAX, 0, sampleText},
                    SizedCase{37, LB_ERR_BUFFER_TOO_SMALL, ""},
                    SizedCase{1, LB_ERR_BUFFER_TOO_SMALL, ""},
                    // no room even for the terminator: the buffer is left alone
                    SizedCase{0, LB_ERR_BUFFER_TOO_SMALL, nullptr}));

}  // namespace
