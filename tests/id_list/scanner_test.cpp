// SPDX-License-Identifier: Apache-2.0
// Element scanner: documented edge cases with exact offsets, and every sub-range of each case
// scanned from a heap block of exactly that size, so a stray read trips AddressSanitizer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "id_list.h"
#include "other_scanner_operations.h"

namespace {

const int none = -1;

// The bytes of a range in a heap block of exactly their size, with no terminator after them.
struct Block_s {
    std::unique_ptr<char[]> bytes;
    size_t size;
    char* at(long offset) const
    {
        return bytes.get() + offset;
    }
    char* last() const
    {
        return bytes.get() + size - 1;
    }
    long offsetOf(const char* position) const
    {
        return position ? position - bytes.get() : none;
    }
    std::string text() const
    {
        return std::string(bytes.get(), size);
    }
};

Block_s makeBlock(const std::string& text, size_t from = 0, size_t count = std::string::npos)
{
    std::string part = text.substr(from, count);
    Block_s block{std::make_unique<char[]>(part.size()), part.size()};
    memcpy(block.bytes.get(), part.data(), part.size());
    return block;
}

struct ElementCase_s {
    const char* text;
    const char* name;
    int result;
    long nameEnd, contentStart, contentLast;
    uint64_t contentLength;
    long elementEnd;
    const char* after;  // the whole buffer after the call
};

const ElementCase_s elementCases[] = {
    {"<poolName>abc</poolName>", "poolName", 0, 9, 10, 12, 3, 23, "<poolName>abc</poolName>"},
    {"<poolName/>", "poolName", 0, 9, none, none, 0, 10, "<poolName/>"},
    {"<poolName kind=\"x\"/>", "poolName", 0, 9, none, none, 0, 19, "<poolName kind=\"x\"/>"},
    {"<poolName></poolName>", "poolName", 0, 9, 10, 9, 0, 20, "<poolName></poolName>"},
    {"<poolNameX>1</poolNameX><poolName>2</poolName>", "poolName", 0, 33, 34, 34, 1, 45,
     "<poolNameX>1</poolNameX><poolName>2</poolName>"},
    {"<poolName\tkind=\"x\">v</poolName>", "poolName", 0, 9, 19, 19, 1, 30,
     "<poolName\tkind=\"x\">v</poolName>"},
    {"<poolName>abc</poolName >", "poolName", -1, 0, 0, 0, 0, 0, "<poolName>abc</poolName >"},
    {"<a><![CDATA[x<y]]></a>", "a", 0, 2, 3, 5, 3, 21, "<a>x<yCDATA[x<y]]></a>"},
    {"<a><b><![CDATA[x]]></b></a>", "a", 0, 2, 3, 22, 20, 26, "<a><b><![CDATA[x]]></b></a>"},
    {"<a>1<a>2</a>3</a>", "a", 0, 2, 3, 12, 10, 16, "<a>1<a>2</a>3</a>"},
    {"<a>1<a/>2</a>3</a>", "a", 0, 2, 3, 13, 11, 17, "<a>1<a/>2</a>3</a>"},
    {"<a>1<a/>2</a>", "a", -1, 0, 0, 0, 0, 0, "<a>1<a/>2</a>"},
    {"<a><![CDATA[zz]]>1<a>2</a>3</a>", "a", 0, 2, 3, 14, 12, 30,
     "<a>zz1<a>2</a>3]>1<a>2</a>3</a>"},
    {"<a><![CDATA[x</a>", "a", -1, 0, 0, 0, 0, 0, "<a>x</aDATA[x</a>"},
    // A stray end tag drives the depth below 0, where no CDATA marker is recognised.
    {"<a></b><![CDATA[x]]></a>", "a", 0, 2, 3, 19, 17, 23, "<a></b><![CDATA[x]]></a>"},
    // A tag name runs to the first white space, ">" or "/", across any "<".
    {"<a>x<<y</a>", "a", 0, 2, 3, 6, 4, 10, "<a>x<<y</a>"},
    // A carriage return ends a tag name like any other white space.
    {"<poolName\r>v</poolName>", "poolName", 0, 9, 11, 11, 1, 22, "<poolName\r>v</poolName>"},
    {"<a>1<a\r>2</a>3</a>", "a", 0, 2, 3, 13, 11, 17, "<a>1<a\r>2</a>3</a>"},
};

class FindElementCase : public testing::TestWithParam<ElementCase_s> {};

TEST_P(FindElementCase, PositionsAndRewrittenBytes)
{
    const ElementCase_s& c = GetParam();
    Block_s block = makeBlock(c.text);
    XMLElement_s element{};
    ASSERT_EQ(findElement(c.name, block.at(0), block.last(), &element), c.result);
    EXPECT_EQ(block.text(), c.after);
    if (c.result != 0) {
        return;
    }
    EXPECT_EQ(block.offsetOf(element.nameEnd), c.nameEnd);
    EXPECT_EQ(block.offsetOf(element.contentStart), c.contentStart);
    EXPECT_EQ(block.offsetOf(element.contentLast), c.contentLast);
    EXPECT_EQ(element.contentLength, c.contentLength);
    EXPECT_EQ(block.offsetOf(element.elementEnd), c.elementEnd);
}

// Every prefix that holds the whole element finds it the same way; every shorter one fails.
// Every other sub-range merely has to stay inside its block.
TEST_P(FindElementCase, EverySubRangeStaysInBounds)
{
    const ElementCase_s& c = GetParam();
    std::string text = c.text;
    for (size_t from = 0; from < text.size(); ++from) {
        for (size_t count = 1; from + count <= text.size(); ++count) {
            Block_s block = makeBlock(text, from, count);
            XMLElement_s element{};
            int result = findElement(c.name, block.at(0), block.last(), &element);
            if (from == 0) {
                bool covers = c.result == 0 && static_cast<long>(count) > c.elementEnd;
                ASSERT_EQ(result, covers ? 0 : -1) << count;
                if (covers) {
                    EXPECT_EQ(block.offsetOf(element.contentLast), c.contentLast);
                    EXPECT_EQ(block.text(), std::string(c.after, count));
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Scanner, FindElementCase, testing::ValuesIn(elementCases));

TEST(FindElement, ClosesOnlyWithinTheRange)
{
    Block_s block = makeBlock("<poolName>abc</poolName>");
    XMLElement_s element{};
    EXPECT_EQ(findElement("poolName", block.at(0), block.at(22), &element), -1);
    EXPECT_EQ(findElement("poolName", block.at(0), block.at(23), &element), 0);
}

TEST(FindElement, SecondSearchSeesTheBytesLeftBehind)
{
    Block_s block = makeBlock("<a><![CDATA[x<y]]></a>");
    XMLElement_s element{};
    ASSERT_EQ(findElement("a", block.at(0), block.last(), &element), 0);
    ASSERT_EQ(findElement("a", block.at(0), block.last(), &element), 0);
    EXPECT_EQ(std::string(element.contentStart, element.contentLength), "x<yCDATA[x<y]]>");
}

TEST(FindElement, NoCandidateLeavesTheRecordUntouched)
{
    Block_s block = makeBlock("<poolNam>x</poolNam>");
    XMLElement_s element{};
    memset(&element, 0x5a, sizeof element);
    XMLElement_s before = element;
    EXPECT_EQ(findElement("poolName", block.at(0), block.last(), &element), -1);
    EXPECT_EQ(memcmp(&element, &before, sizeof element), 0);
}

// Called on its own, the scan must not look at the name byte before its range: a range that
// begins on the start tag's ">" is an element with content, not an empty one.
TEST(GetElementContent, RangeStartingOnTheTagEnd)
{
    Block_s block = makeBlock("><![CDATA[q]]></x>");
    XMLElement_s element{};
    ASSERT_EQ(getElementContent("x", 1, block.at(0), block.last(), &element), 0);
    EXPECT_EQ(block.offsetOf(element.nameEnd), 0);
    EXPECT_EQ(block.offsetOf(element.contentStart), 1);
    EXPECT_EQ(element.contentLength, 1u);
    EXPECT_EQ(block.offsetOf(element.elementEnd), 17);
    Block_s empty = makeBlock("/>");
    EXPECT_EQ(getElementContent("x", 1, empty.at(0), empty.last(), &element), 0);
    EXPECT_EQ(element.contentStart, nullptr);
}

TEST(FindNextElement, TakesWhateverComesFirst)
{
    XMLElement_s element{};
    char* name = nullptr;
    size_t length = 99;
    Block_s endTag = makeBlock("</x>abc</>");
    ASSERT_EQ(findNextElement(endTag.at(0), endTag.last(), &element, &name, &length), 0);
    EXPECT_EQ(endTag.offsetOf(name), 1);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(endTag.offsetOf(element.contentStart), 4);
    EXPECT_EQ(element.contentLength, 3u);
    EXPECT_EQ(endTag.offsetOf(element.elementEnd), 9);

    Block_s unclosed = makeBlock("</x>abc");
    EXPECT_EQ(findNextElement(unclosed.at(0), unclosed.last(), &element, &name, &length), -1);
    EXPECT_EQ(unclosed.offsetOf(name), 1);

    Block_s plain = makeBlock(" <pool a=\"1\">v</pool>");
    ASSERT_EQ(findNextElement(plain.at(0), plain.last(), &element, &name, &length), 0);
    EXPECT_EQ(std::string(name, length), "pool");
    EXPECT_EQ(plain.offsetOf(element.nameEnd), 6);
    ASSERT_EQ(getAttributeValue("a", &element), 0);
    EXPECT_EQ(std::string(element.valueStart, element.valueLength), "1");

    Block_s text = makeBlock("no tags");
    EXPECT_EQ(findNextElement(text.at(0), text.last(), &element, &name, &length), -1);
}

struct AttributeCase_s {
    const char* text;
    const char* attribute;
    int result;
    long valueStart, valueLast;
    uint64_t valueLength;
};

const AttributeCase_s attributeCases[] = {
    {"<e xid=\"1\" id=\"2\"/>", "id", 0, 8, 8, 1},
    {"<poolName kind = \"x y\">v</poolName>", "kind", 0, 18, 20, 3},
    {"<poolName kind = 'x y'>v</poolName>", "kind", -1, 0, 0, 0},
    {"<e id=\"\">v</e>", "id", 0, 7, 6, 0},
    {"<e id=\"v/>", "id", -1, 0, 0, 0},
    {"<e idx id=\"v\"/>", "id", 0, 11, 11, 1},
};

class AttributeCase : public testing::TestWithParam<AttributeCase_s> {};

TEST_P(AttributeCase, ValuePosition)
{
    const AttributeCase_s& c = GetParam();
    Block_s block = makeBlock(c.text);
    XMLElement_s element{};
    char* name = nullptr;
    size_t length = 0;
    ASSERT_EQ(findNextElement(block.at(0), block.last(), &element, &name, &length), 0);
    ASSERT_EQ(getAttributeValue(c.attribute, &element), c.result);
    if (c.result == 0) {
        EXPECT_EQ(block.offsetOf(element.valueStart), c.valueStart);
        EXPECT_EQ(block.offsetOf(element.valueLast), c.valueLast);
        EXPECT_EQ(element.valueLength, c.valueLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Scanner, AttributeCase, testing::ValuesIn(attributeCases));

TEST(FindStartTag, ExactTagOutsideCDATA)
{
    const struct {
        const char* text;
        int result;
        long position;
    } cases[] = {
        {"<a x><a >  <a/><a>", 0, 17},
        {"<![CDATA[<a>]]><a>", 0, 17},
        {"<![CDATA[<a>", 0, 11},  // unclosed: not skipped
        {"<a/>", -1, 0},
        {"<a>", 0, 2},
        {"<a", -1, 0},
    };
    for (const auto& c : cases) {
        Block_s block = makeBlock(c.text);
        char* position = nullptr;
        ASSERT_EQ(findStartTag("a", 1, block.at(0), block.last(), START_TAG_EXACT, &position),
                  c.result)
            << c.text;
        if (c.result == 0) {
            EXPECT_EQ(block.offsetOf(position), c.position) << c.text;
        }
    }
}

TEST(FindEndTagReverse, ClosestToTheHighEnd)
{
    Block_s block = makeBlock("</a>x</a>y");
    char* position = nullptr;
    ASSERT_EQ(findEndTagReverse("a", block.last(), block.at(0), &position), 0);
    EXPECT_EQ(block.offsetOf(position), 5);
    ASSERT_EQ(findEndTagReverse("a", block.at(7), block.at(0), &position), 0);
    EXPECT_EQ(block.offsetOf(position), 0);
    EXPECT_EQ(findEndTagReverse("a", block.at(7), block.at(1), &position), -1);
    EXPECT_EQ(findEndTagReverse("a", block.at(2), block.at(0), &position), -1);
    EXPECT_EQ(findEndTagReverse("b", block.last(), block.at(0), &position), -1);
}

TEST(RemoveWhiteSpace, CompactsOrRefuses)
{
    const struct {
        const char* text;
        int32_t length;
        int result;
        const char* after;
    } cases[] = {
        {" a b\t", 5, 0, "ab"},
        {"abc", 2, 0, "ab"},
        {"abc", 0, -1, "abc"},
        {"abc", 4, -1, "abc"},
        {"abc", -1, -1, "abc"},
        {" \n\v\f\r", 5, 0, ""},
        {"\xa0x\x85", 3, 0, "\xa0x\x85"},
    };
    for (const auto& c : cases) {
        char text[16];
        strcpy(text, c.text);
        EXPECT_EQ(removeWhiteSpace(text, c.length), c.result) << c.text;
        EXPECT_STREQ(text, c.after);
    }
    EXPECT_EQ(removeWhiteSpace(nullptr, 3), -1);
}

TEST(CursorOperations, WhiteSpaceAndCDATAMarkers)
{
    for (char byte : std::string(" \t\n\v\f\r")) {
        EXPECT_NE(isWhiteSpace(&byte), 0) << int(byte);
    }
    for (char byte : std::string("a\0\xa0\x85", 4)) {
        EXPECT_EQ(isWhiteSpace(&byte), 0) << int(byte);
    }
    Block_s words = makeBlock("  ab cd  ");
    const struct {
        bool wordEnd;
        long from, to;
    } moves[] = {
        {false, 0, 2}, {false, 2, 2}, {false, 7, 9}, {true, 2, 3}, {true, 4, 3}, {true, 5, 6},
    };
    for (const auto& m : moves) {
        char* cursor = words.at(m.from);
        if (m.wordEnd) {
            skipToWordEnd(&cursor, words.last());
        } else {
            skipWhiteSpace(&cursor, words.last());
        }
        EXPECT_EQ(words.offsetOf(cursor), m.to) << m.from;
    }
    Block_s word = makeBlock("abc");
    char* cursor = word.at(1);
    skipToWordEnd(&cursor, word.last());
    EXPECT_EQ(word.offsetOf(cursor), 2);

    Block_s cdata = makeBlock("<![CDATA[x]]>y");
    EXPECT_EQ(cdata.offsetOf(isCDATAStart(cdata.at(0), cdata.last())), 8);
    EXPECT_EQ(isCDATAStart(cdata.at(0), cdata.at(8)), nullptr);
    EXPECT_EQ(cdata.offsetOf(isCDATAEnd(cdata.at(10), cdata.last())), 12);
    EXPECT_EQ(isCDATAEnd(cdata.at(10), cdata.at(11)), nullptr);
    const struct {
        long from, last, to;
    } skips[] = {{0, 13, 13}, {0, 12, 13}, {0, 11, 0}, {1, 13, 1}};
    for (const auto& s : skips) {
        cursor = cdata.at(s.from);
        skipCDATA(&cursor, cdata.at(s.last));
        EXPECT_EQ(cdata.offsetOf(cursor), s.to) << s.last;
    }
}

}  // namespace
