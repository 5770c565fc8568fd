// SPDX-License-Identifier: Apache-2.0
// What operations read back, what they leave alone on failure, and the client's own checks.
#include <cerrno>

#include "zapi_test_support.h"

namespace {

const ZapiId_s ID = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
uint8_t buffer[64];
uint8_t record[1212];

// Runs an operation with a 32-bit out-parameter as if it were 64-bit: untouched stays SENTINEL.
template <typename Call>
uint32_t narrow(uint64_t* out, Call call)
{
    uint32_t value = static_cast<uint32_t>(SENTINEL);
    uint32_t status = call(&value);
    *out = value == static_cast<uint32_t>(SENTINEL) ? SENTINEL : value;
    return status;
}

struct ReadCase {
    const char* label;
    uint64_t operation;
    std::vector<Field> reply;
    uint32_t (*call)(uint64_t key, uint64_t* out);
    uint64_t expected;
};

ReadCase reads(const char* label, uint64_t operation, const std::vector<Field>& reply,
               uint64_t expected, uint32_t (*call)(uint64_t key, uint64_t* out))
{
    return {label, operation, reply, call, expected};
}

const ReadCase READ_CASES[] = {
    reads("root key", 1000, {{16, 8, 0x4242}}, 0x4242,
          [](uint64_t, uint64_t* o) { return zRootKey(0, o); }),
    reads("open", 23, {{16, 8, 0x4343}}, 0x4343,
          [](uint64_t k, uint64_t* o) { return zOpen(k, 50, ZAPI_OPEN_FLAGS, "x", 0, o); }),
    reads("4 widened", 4, {{88, 8, 0xABCDEF01FFFFFFF0}}, 0xFFFFFFF0,
          [](uint64_t k, uint64_t* o) { return zOp4(k, 1, o); }),
    reads("5", 5, {{112, 8, 0x8877665544332211}}, 0x8877665544332211,
          [](uint64_t k, uint64_t* o) { return zOp5(k, 1, 2, o); }),
    reads("6 key", 6, {{16, 8, 0x4444}}, 0x4444,
          [](uint64_t k, uint64_t* o) { return zOp6(k, 1, 2, o); }),
    reads("17", 17, {{196, 8, 0x12345678FEDCBA98}}, 0xFEDCBA98,
          [](uint64_t k, uint64_t* o) {
              return narrow(o, [k](uint32_t* v) { return zOp17(k, v); });
          }),
    reads("18 value at 184", 18, {{184, 8, 0xAAAAAAAA80000001}}, 0x80000001,
          [](uint64_t k, uint64_t* o) { return zOp18(k, 0, nullptr, o, nullptr, nullptr); }),
    reads("18 cursor all ones", 18, {{192, 4, 0xFFFFFFFF}}, UINT64_MAX,
          [](uint64_t k, uint64_t* o) { return zOp18(k, 0, nullptr, nullptr, o, nullptr); }),
    reads("18 cursor 5", 18, {{192, 4, 5}}, 5,
          [](uint64_t k, uint64_t* o) { return zOp18(k, 0, nullptr, nullptr, o, nullptr); }),
    reads("18 cursor 0xFFFFFFFE", 18, {{192, 4, 0xFFFFFFFE}}, 0xFFFFFFFE,
          [](uint64_t k, uint64_t* o) { return zOp18(k, 0, nullptr, nullptr, o, nullptr); }),
    reads("18 form", 18, {{112, 4, 7}}, 7,
          [](uint64_t k, uint64_t* o) {
              return narrow(o,
                            [k](uint32_t* v) { return zOp18(k, 0, nullptr, nullptr, nullptr, v); });
          }),
    reads("18 short cursor", 18, {{184, 4, 3}, {192, 4, 0xFFFFFFFF}}, UINT64_MAX,
          [](uint64_t k, uint64_t* o) { return zOp18Short(k, 0, nullptr, nullptr, o); }),
    reads("18 short value at 184", 18, {{184, 8, 0xFFFFFFFF00000003}}, 3,
          [](uint64_t k, uint64_t* o) { return zOp18Short(k, 0, nullptr, o, nullptr); }),
    reads("24 key", 24, {{16, 8, 0x2424}}, 0x2424,
          [](uint64_t k, uint64_t* o) { return zOp24(k, 1, 2, &ID, 3, 4, o); }),
    reads("8 key", 8, {{16, 8, 0x0808}}, 0x0808,
          [](uint64_t k, uint64_t* o) { return zOp8(k, 1, 2, 3, u"n", 4, 5, 6, 7, o); }),
    reads("37 key", 37, {{16, 8, 0x3737}}, 0x3737,
          [](uint64_t k, uint64_t* o) { return zOp37(k, 1, 2, 3, &ID, 4, u"n", 5, 6, 7, 8, o); }),
    reads("34", 34, {{128, 8, 0x3434343434343434}}, 0x3434343434343434,
          [](uint64_t k, uint64_t* o) { return zOp34(k, 1, 2, 3, 4, 1212, 1, record, o); }),
    reads("15 at 120", 15, {{120, 8, 0x1515151515151515}}, 0x1515151515151515,
          [](uint64_t k, uint64_t* o) { return zOp15(k, 0, 1, 2, 64, buffer, o, nullptr); }),
    reads("15 at 132 widened", 15, {{132, 8, 0x1111111180000000}}, 0x80000000,
          [](uint64_t k, uint64_t* o) { return zOp15(k, 0, 1, 2, 64, buffer, nullptr, o); }),
    reads("33 widened", 33, {{136, 8, 0x99999999F0000001}}, 0xF0000001,
          [](uint64_t k, uint64_t* o) { return zOp33(k, 1, 2, 64, buffer, o); }),
    reads("1002 widened", 1002, {{136, 8, 0x99999999F0000002}}, 0xF0000002,
          [](uint64_t k, uint64_t* o) { return zOp1002(k, 1, 2, 64, buffer, o); }),
    reads("35 widened", 35, {{152, 8, 0x77777777F0000003}}, 0xF0000003,
          [](uint64_t k, uint64_t* o) { return zOp35ByValue(k, ID, o); }),
};

void PrintTo(const ReadCase& c, std::ostream* os)
{
    *os << c.label;
}

class ResultTest : public ZapiTest, public testing::WithParamInterface<ReadCase> {};

}  // namespace

TEST_P(ResultTest, ReadsBackOnlyAfterSuccess)
{
    const ReadCase& c = GetParam();
    openDevice();
    uint64_t out = SENTINEL;
    answer(c.operation, 0, 0, c.reply);
    ASSERT_EQ(c.call(KEY, &out), 0u);
    EXPECT_EQ(out, c.expected);

    // A device status and a refused call both leave the out-parameter alone.
    out = SENTINEL;
    answer(c.operation, 20201, 0, c.reply);
    EXPECT_EQ(c.call(KEY, &out), 20201u);
    EXPECT_EQ(out, SENTINEL);
    answer(c.operation, -1, ENXIO, c.reply);
    EXPECT_EQ(c.call(KEY, &out), static_cast<uint32_t>(ENXIO));
    EXPECT_EQ(out, SENTINEL);
    EXPECT_EQ(sent(), 3u);  // no key released: the caller took it or nothing came
}

INSTANTIATE_TEST_SUITE_P(Operations, ResultTest, testing::ValuesIn(READ_CASES),
                         [](const testing::TestParamInfo<ReadCase>& info) {
                             std::string name = info.param.label;
                             for (char& ch : name) {
                                 ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             }
                             return name;
                         });

using OperationTest = ZapiTest;

// Operation 18 copies 68 identity bytes for a long form and 16 otherwise; its short
// form always 16.
TEST_F(OperationTest, Op18CopiesTheIdentityOfTheReturnedForm)
{
    struct Case {
        uint32_t form;
        bool shortForm;
        size_t copied;
    } cases[] = {{0, false, 16}, {7, false, 68}, {7, true, 16}};
    std::vector<Field> reply;
    for (size_t i = 0; i < 68; i += 4) {
        reply.push_back({116 + i, 4, 0x03020100u + 0x04040404u * (i / 4) + 0x80808080u});
    }
    openDevice();
    for (const Case& c : cases) {
        reply.push_back({112, 4, c.form});
        answer(18, 0, 0, reply);
        reply.pop_back();
        uint8_t identity[70];
        memset(identity, 0xEE, sizeof(identity));
        uint32_t form = 0;
        uint32_t status = c.shortForm ? zOp18Short(KEY, 0, reinterpret_cast<ZapiId_s*>(identity),
                                                   nullptr, nullptr)
                                      : zOp18(KEY, 0, identity, nullptr, nullptr, &form);
        ASSERT_EQ(status, 0u);
        for (size_t i = 0; i < sizeof(identity); i++) {
            EXPECT_EQ(identity[i], i < c.copied ? 0x80 + i : 0xEE) << c.form << " byte " << i;
        }
    }
}

// Without a place for the new key, operations 8 and 37 release it with a close request
// and still succeed, whatever the close says.
TEST_F(OperationTest, NewKeyNobodyWantsIsReleased)
{
    openDevice();
    answer(8, 0, 0, {{16, 8, 0x0808}});
    answer(1001, 20201, 0);
    EXPECT_EQ(zOp8(KEY, 1, 2, 0, nullptr, 3, 4, 5, 6, nullptr), 0u);
    expectRequest(
        0, 8,
        blockOf(KEY, 0,
                {{80, 8, 2}, {88, 4, 1}, {96, 8, 5}, {120, 4, 6}, {124, 4, 3}, {128, 4, 4}}));
    expectRequest(1, 1001, blockOf(0x0808, 0, {}));

    answer(37, 0, 0, {{16, 8, 0x3737}});
    EXPECT_EQ(zOp37(KEY, 1, 2, 0, &ID, 3, nullptr, 4, 5, 6, 7, nullptr), 0u);
    BlockImage expected = blockOf(KEY, 0,
                                  {{80, 8, 2},
                                   {88, 4, 1},
                                   {92, 4, 4},
                                   {96, 8, 6},
                                   {136, 8, 3},
                                   {152, 4, 7},
                                   {156, 4, 4},
                                   {160, 4, 5}});
    memcpy(expected.bytes + 120, ID.bytes, 16);
    expectRequest(2, 37, expected);
    expectRequest(3, 1001, blockOf(0x3737, 0, {}));

    answer(8, 20201, 0);
    EXPECT_EQ(zOp8(KEY, 1, 2, 0, nullptr, 3, 4, 5, 6, nullptr), 20201u);
    EXPECT_EQ(sent(), 5u);  // a failed request gives no key to release
}

TEST_F(OperationTest, ClientChecksRefuseWithoutRequest)
{
    static const uint16_t name[] = {'n', 0};
    static uint8_t data[65537];
    openDevice();
    struct Case {
        uint32_t status;
        uint32_t got;
    } cases[] = {
        {0xFFFFFFFF, zOp2(KEY, 1, nullptr, 2, 0)},
        {0xFFFFFFFF, zOp10(KEY, 1, nullptr, 5)},
        {0xFFFFFFFF, zOp35(KEY, nullptr, nullptr, 0)},
        {20008, zOp43Name(KEY, nullptr)},
        {20008, zOp43NameData(KEY, nullptr, 1, data)},
        {20008, zOp43NameData(KEY, name, 0, data)},
        {20008, zOp43NameData(KEY, name, 65537, data)},
        {20008, zOp43NameData(KEY, name, 1, nullptr)},
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        EXPECT_EQ(cases[i].got, cases[i].status) << "case " << i;
    }
    EXPECT_EQ(sent(), 0u);
}

TEST(RecordEntry, FindsEntriesAndRefusesEverythingOutOfRange)
{
    struct Case {
        uint32_t version;
        uint32_t count;
        uint32_t table;
        uint32_t entry;
        uint64_t index;
        bool found;
    } cases[] = {
        {5, 3, 200, 300, 2, true},
        {0, 1, 200, 300, 0, true},
        {6, 3, 200, 300, 2, false},
        {5, 3, 200, 300, 3, false},
        {5, 3, 0, 300, 2, false},
        {5, 3, 200, 0, 2, false},
        {5, 0xFFFFFFFF, 200, 300, 0x100000002, false},
    };
    for (const Case& c : cases) {
        alignas(8) uint8_t bytes[512] = {};
        memcpy(bytes, &c.version, 4);
        memcpy(bytes + 120, &c.count, 4);
        memcpy(bytes + 124, &c.table, 4);
        if (c.table != 0) {
            memcpy(bytes + c.table + 4 * (c.index & 0xF), &c.entry, 4);
        }
        EXPECT_EQ(recordEntry(bytes, c.index), c.found ? bytes + c.entry : nullptr)
            << c.version << " " << c.index;
    }
    EXPECT_EQ(recordEntry(nullptr, 0), nullptr);
}
