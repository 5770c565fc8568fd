// SPDX-License-Identifier: Apache-2.0
// Every other device operation: its block byte for byte, its results, its own checks.
#include <cerrno>

#include "zapi_test_support.h"

namespace {

const char NAME[] = "pool-alpha";  // sent with length 11
const char16_t WNAME[] = u"vol";   // sent with length 8
const ZapiId_s ID = {{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C,
                      0x1D, 0x1E, 0x1F}};
uint8_t LONG_IDENTITY[68];
uint8_t RECORD[1212];
uint8_t DATA[65537];
constexpr uint32_t BYTES = ZAPI_FLAG_BYTE_STRING;
constexpr uint64_t V80 = 0x8080808080808001, V96 = 0x9696969696969600, V112 = 0x1212121212121201,
                   V128 = 0x2828282828282801, V136 = 0x3636363636363601, V144 = 0x4444444444444401;
const uint64_t NAME_AT = address(NAME), WNAME_AT = address(WNAME), RECORD_AT = address(RECORD);

uint64_t scratch;
uint32_t scratch32;
uint8_t scratchIdentity[68];

struct BlockCase {
    const char* label;
    uint32_t (*call)(uint64_t key);
    uint64_t operation;
    uint8_t count;
    std::vector<Field> fields;
    size_t runOffset = 0;  // a byte run (ID or identity) expected at this offset, when runSize
    const void* run = nullptr;
    size_t runSize = 0;
};

const BlockCase BLOCK_CASES[] = {
    {"1", [](uint64_t k) { return zOp1(k, V80); }, 1, 0, {{80, 8, V80}}},
    {"4", [](uint64_t k) { return zOp4(k, 0xB1B2B3B4, &scratch); }, 4, 0, {{88, 4, 0xB1B2B3B4}}},
    {"5", [](uint64_t k) { return zOp5(k, 0xC1C2C3C4, V80, &scratch); }, 5, 0,
     {{80, 8, V80}, {88, 4, 0xC1C2C3C4}}},
    {"6", [](uint64_t k) { return zOp6(k, 0xE1E2E3E4, 0xF1F2F3F4, &scratch); }, 6, 0,
     {{80, 4, 0xE1E2E3E4}, {88, 4, 0xF1F2F3F4}}},
    {"7", [](uint64_t k) { return zOp7(k, V80); }, 7, 0, {{80, 8, V80}}},
    {"13", [](uint64_t k) { return zOp13(k, 0x13131313); }, 13, 0, {{88, 4, 0x13131313}}},
    {"14", [](uint64_t k) { return zOp14(k); }, 14, 0, {}},
    {"17", [](uint64_t k) { return zOp17(k, &scratch32); }, 17, 0, {}},
    {"21", [](uint64_t k) { return zOp21(k, V80, V96, V112, V128, 0x21212121); }, 21, 0,
     {{80, 8, V80}, {96, 8, V96}, {112, 8, V112}, {120, 8, V128}, {128, 4, 0x21212121}}},
    {"27", [](uint64_t k) { return zOp27(k, V80, V112, V96); }, 27, 0,
     {{80, 8, V80}, {96, 8, V96}, {112, 8, V112}}},
    {"28", [](uint64_t k) { return zOp28(k, V80, 0x28282828); }, 28, 0,
     {{80, 8, V80}, {196, 4, 0x28282828}}},
    {"30", [](uint64_t k) { return zOp30(k, V80, V112, V128); }, 30, 0,
     {{80, 8, V80}, {112, 8, V112}, {120, 8, V128}}},
    {"32", [](uint64_t k) { return zOp32(k); }, 32, 0, {}},
    {"2 form 0", [](uint64_t k) { return zOp2(k, V80, LONG_IDENTITY, 0x84848484, 0); }, 2, 0,
     {{80, 8, V80}, {184, 4, 0x84848484}}, 116, LONG_IDENTITY, 16},
    {"2 long", [](uint64_t k) { return zOp2(k, V80, LONG_IDENTITY, 0x84848484, 9); }, 2, 0,
     {{80, 8, V80}, {112, 4, 9}, {184, 4, 0x84848484}}, 116, LONG_IDENTITY, 68},
    {"2 short", [](uint64_t k) { return zOp2Short(k, V80, &ID, 0x84848484); }, 2, 0,
     {{80, 8, V80}, {184, 4, 0x84848484}}, 116, &ID, 16},
    {"10 form 0", [](uint64_t k) { return zOp10(k, V80, LONG_IDENTITY, 0); }, 10, 0,
     {{80, 8, V80}}, 116, LONG_IDENTITY, 16},
    {"10 long", [](uint64_t k) { return zOp10(k, V80, LONG_IDENTITY, 1); }, 10, 0,
     {{80, 8, V80}, {112, 4, 1}}, 116, LONG_IDENTITY, 68},
    {"10 short", [](uint64_t k) { return zOp10Short(k, V80, &ID); }, 10, 0, {{80, 8, V80}}, 116,
     &ID, 16},
    {"18", [](uint64_t k) { return zOp18(k, 0x18181818, scratchIdentity, &scratch, &scratch,
                                         &scratch32); },
     18, 0, {{192, 4, 0x18181818}}},
    {"18 short", [](uint64_t k) { return zOp18Short(k, 0x18181818, nullptr, nullptr, nullptr); },
     18, 0, {{92, 4, 0x10}, {192, 4, 0x18181818}}},
    {"35 form 0", [](uint64_t k) { return zOp35(k, LONG_IDENTITY, &scratch, 0); }, 35, 0, {}, 84,
     LONG_IDENTITY, 16},
    {"35 long", [](uint64_t k) { return zOp35(k, LONG_IDENTITY, &scratch, 3); }, 35, 0,
     {{80, 4, 3}}, 84, LONG_IDENTITY, 68},
    {"35 by value", [](uint64_t k) { return zOp35ByValue(k, ID, nullptr); }, 35, 0, {}, 84, &ID,
     16},
    {"8 name", [](uint64_t k) { return zOp8(k, 0x88888888, V80, BYTES | 5, NAME, 0x124, 0x128,
                                            V96, 0x120, &scratch); },
     8, 1,
     {{40, 8, NAME_AT}, {48, 8, 11}, {80, 8, V80}, {88, 4, 0x88888888}, {92, 4, 1}, {96, 8, V96},
      {112, 4, BYTES | 5}, {120, 4, 0x120}, {124, 4, 0x124}, {128, 4, 0x128}}},
    {"37 ID name", [](uint64_t k) { return zOp37(k, 0x88888888, V80, 2, &ID, V136, WNAME, 0x156,
                                                 0x160, V96, 0x152, &scratch); },
     37, 1,
     {{40, 8, WNAME_AT}, {48, 8, 8}, {80, 8, V80}, {88, 4, 0x88888888}, {92, 4, 5}, {96, 8, V96},
      {112, 4, 2}, {136, 8, V136}, {152, 4, 0x152}, {156, 4, 0x156}, {160, 4, 0x160}},
     120, &ID, 16},
    {"37 bare", [](uint64_t k) { return zOp37(k, 1, V80, BYTES, nullptr, V136, nullptr, 0x156,
                                              0x160, V96, 0x152, &scratch); },
     37, 0,
     {{80, 8, V80}, {88, 4, 1}, {92, 4, 1}, {96, 8, V96}, {112, 4, BYTES}, {136, 8, V136},
      {152, 4, 0x152}, {156, 4, 0x156}, {160, 4, 0x160}}},
    {"24 ID", [](uint64_t k) { return zOp24(k, 0x88888888, 0x112, &ID, V136, 0x152, &scratch); },
     24, 0,
     {{88, 4, 0x88888888}, {92, 4, 4}, {112, 4, 0x112}, {136, 8, V136}, {152, 4, 0x152}}, 120,
     &ID, 16},
    {"24 bare", [](uint64_t k) { return zOp24(k, 1, 2, nullptr, V136, 3, &scratch); }, 24, 0,
     {{88, 4, 1}, {112, 4, 2}, {136, 8, V136}, {152, 4, 3}}},
    {"34", [](uint64_t k) { return zOp34(k, V128, 0x120, 0x124, 0x40050, 1212, 1, RECORD,
                                         &scratch); },
     34, 1,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {96, 8, 0x40050}, {112, 4, 1}, {120, 4, 0x120},
      {124, 4, 0x124}, {128, 8, V128}}},
    {"41 name", [](uint64_t k) { return zOp41(k, 3, WNAME, 0x10050, 1212, 1, 7, RECORD); }, 41, 2,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {56, 8, WNAME_AT}, {64, 8, 8}, {92, 4, 8},
      {96, 8, 0x10050}, {112, 4, 3}, {120, 4, 1}}},
    {"41 bare", [](uint64_t k) { return zOp41(k, BYTES, nullptr, 0x10050, 100, 4, 0, RECORD); },
     41, 1,
     {{40, 8, RECORD_AT}, {48, 8, 100}, {96, 8, 0x10050}, {112, 4, BYTES}, {120, 4, 4}}},
    {"42 name", [](uint64_t k) { return zOp42(k, V80, BYTES, NAME, 0x80000, 1212, 2, RECORD); },
     42, 2,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {56, 8, NAME_AT}, {64, 8, 11}, {80, 8, V80},
      {96, 8, 0x80000}, {112, 4, BYTES}, {120, 4, 2}}},
    {"42 bare", [](uint64_t k) { return zOp42(k, V80, 0, nullptr, 0x10, 1212, 1, RECORD); }, 42,
     1, {{40, 8, RECORD_AT}, {48, 8, 1212}, {80, 8, V80}, {96, 8, 0x10}, {120, 4, 1}}},
    {"31 form 6", [](uint64_t k) { return zOp31(k, 6, 0x120, NAME, 0x124, 0x10, 1212, 1,
                                                RECORD); },
     31, 2,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {56, 8, NAME_AT}, {64, 8, 11}, {96, 8, 0x10},
      {112, 4, 1}, {116, 4, 6}, {120, 4, 0x120}, {124, 4, 0x124}}},
    {"31 form 7", [](uint64_t k) { return zOp31(k, 7, 0x120, WNAME, 0x124, 0x10, 1212, 1,
                                                RECORD); },
     31, 2,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {56, 8, WNAME_AT}, {64, 8, 8}, {96, 8, 0x10},
      {112, 4, 1}, {116, 4, 7}, {120, 4, 0x120}, {124, 4, 0x124}}},
    {"31 bare", [](uint64_t k) { return zOp31(k, 6, 1, nullptr, 2, 0x10, 1212, 1, RECORD); }, 31,
     1,
     {{40, 8, RECORD_AT}, {48, 8, 1212}, {96, 8, 0x10}, {112, 4, 1}, {116, 4, 6}, {120, 4, 1},
      {124, 4, 2}}},
    {"15", [](uint64_t k) { return zOp15(k, V80, V112, 0x128, 64, RECORD, &scratch, &scratch); },
     15, 1, {{40, 8, RECORD_AT}, {48, 8, 64}, {112, 8, V112}, {128, 4, 0x128}}},
    {"33", [](uint64_t k) { return zOp33(k, V80, V112, 0x100000040, RECORD, &scratch); }, 33, 1,
     {{40, 8, RECORD_AT}, {48, 8, 0x100000040}, {80, 8, V80}, {112, 8, V112}, {132, 4, 0x40}}},
    {"1002", [](uint64_t k) { return zOp1002(k, V80, V112, 64, RECORD, &scratch); }, 1002, 1,
     {{40, 8, RECORD_AT}, {48, 8, 64}, {112, 8, V112}, {132, 4, 64}}},
    {"20", [](uint64_t k) { return zOp20(k, V80, BYTES, NAME, 0x120, 2, WNAME, V96); }, 20, 2,
     {{40, 8, NAME_AT}, {48, 8, 11}, {56, 8, WNAME_AT}, {64, 8, 8}, {80, 8, V80},
      {96, 8, V96 | 1}, {112, 4, BYTES}, {120, 4, 0x120}, {124, 4, 2}}},
    {"20 no names", [](uint64_t k) { return zOp20(k, V80, BYTES, nullptr, 0x120, 2, nullptr,
                                                  V96); },
     20, 2, {{80, 8, V80}, {96, 8, V96 | 1}, {112, 4, BYTES}, {120, 4, 0x120}, {124, 4, 2}}},
    {"26", [](uint64_t k) { return zOp26(k, V80, 0, WNAME, 0x120, BYTES, NAME, V96); }, 26, 2,
     {{40, 8, WNAME_AT}, {48, 8, 8}, {56, 8, NAME_AT}, {64, 8, 11}, {80, 8, V80}, {96, 8, V96},
      {120, 4, 0x120}, {124, 4, BYTES}}},
    {"9 name", [](uint64_t k) { return zOp9(k, V80, BYTES, NAME, 0x120, V96); }, 9, 1,
     {{40, 8, NAME_AT}, {48, 8, 11}, {80, 8, V80}, {96, 8, V96}, {112, 4, BYTES},
      {120, 4, 0x120}}},
    {"9 bare", [](uint64_t k) { return zOp9(k, V80, 0, nullptr, 0x120, V96); }, 9, 0,
     {{80, 8, V80}, {96, 8, V96}, {120, 4, 0x120}}},
    {"36 ID", [](uint64_t k) { return zOp36(k, V80, &ID, V136, V96); }, 36, 0,
     {{80, 8, V80}, {92, 4, 4}, {96, 8, V96}, {112, 4, 0xFFFFFFFF}, {136, 8, V136}}, 120, &ID,
     16},
    {"36 bare", [](uint64_t k) { return zOp36(k, V80, nullptr, V136, V96); }, 36, 0,
     {{80, 8, V80}, {96, 8, V96}, {112, 4, 0xFFFFFFFF}, {136, 8, V136}}},
    {"36 with value", [](uint64_t k) { return zOp36WithValue(k, V80, nullptr, V136, 7, V96); },
     36, 0, {{80, 8, V80}, {96, 8, V96}, {112, 4, 7}, {136, 8, V136}}},
    {"38 ID name", [](uint64_t k) { return zOp38(k, V80, &ID, V136, V144, BYTES, NAME, V96); },
     38, 1,
     {{40, 8, NAME_AT}, {48, 8, 11}, {80, 8, V80}, {92, 4, 4}, {96, 8, V96 | 1},
      {112, 4, BYTES}, {136, 8, V136}, {144, 8, V144}}, 120, &ID, 16},
    {"38 bare", [](uint64_t k) { return zOp38(k, V80, nullptr, V136, V144, 0, nullptr, V96); },
     38, 1, {{80, 8, V80}, {96, 8, V96 | 1}, {136, 8, V136}, {144, 8, V144}}},
    {"39", [](uint64_t k) { return zOp39(k, V80, &ID, V136, V144, 0, WNAME, V96); }, 39, 1,
     {{40, 8, WNAME_AT}, {48, 8, 8}, {80, 8, V80}, {92, 4, 4}, {96, 8, V96}, {136, 8, V136},
      {144, 8, V144}}, 120, &ID, 16},
    {"39 options, ID", [](uint64_t k) { return zOp39WithOptions(k, V80, &ID, V136, 0xFFFFFFFF,
                                                                V144, BYTES, NAME, V96); },
     39, 1,
     {{40, 8, NAME_AT}, {48, 8, 11}, {80, 8, V80}, {92, 4, 0x20000004}, {96, 8, V96},
      {112, 4, BYTES}, {136, 8, V136}, {144, 8, V144}}, 120, &ID, 16},
    {"39 options, none", [](uint64_t k) { return zOp39WithOptions(k, V80, nullptr, V136,
                                                                  0xDFFFFFFF, V144, BYTES, NAME,
                                                                  V96); },
     39, 1,
     {{40, 8, NAME_AT}, {48, 8, 11}, {80, 8, V80}, {96, 8, V96}, {112, 4, BYTES},
      {136, 8, V136}, {144, 8, V144}}},
    {"43 name", [](uint64_t k) { return zOp43Name(k, wide(WNAME)); }, 43, 1,
     {{40, 8, WNAME_AT}, {48, 8, 8}}},
    {"43 name and 65536 bytes", [](uint64_t k) { return zOp43NameData(k, wide(WNAME), 65536,
                                                                      DATA); },
     43, 2, {{40, 8, WNAME_AT}, {48, 8, 8}, {56, 8, address(DATA)}, {64, 8, 65536}}},
};

void PrintTo(const BlockCase& c, std::ostream* os)
{
    *os << c.label;
}

class BlockTest : public ZapiTest, public testing::WithParamInterface<BlockCase> {};

}  // namespace

TEST_P(BlockTest, SendsExactlyItsFields)
{
    const BlockCase& c = GetParam();
    for (size_t i = 0; i < sizeof(LONG_IDENTITY); i++) {
        LONG_IDENTITY[i] = static_cast<uint8_t>(0x40 + i);
    }
    openDevice();
    ASSERT_EQ(c.call(KEY), 0u);
    BlockImage expected = blockOf(KEY, c.count, c.fields);
    if (c.runSize != 0) {
        memcpy(expected.bytes + c.runOffset, c.run, c.runSize);
    }
    expectRequest(0, c.operation, expected);
    EXPECT_EQ(sent(), 1u);
    EXPECT_EQ(zapisimDeviceOpenCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Operations, BlockTest, testing::ValuesIn(BLOCK_CASES),
                         [](const testing::TestParamInfo<BlockCase>& info) {
                             std::string name = std::string("op") + info.param.label;
                             for (char& ch : name) {
                                 ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });
