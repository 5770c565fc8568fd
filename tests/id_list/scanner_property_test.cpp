// SPDX-License-Identifier: Apache-2.0
// Randomized checks of the element scanner: small XML-ish buffers, random ranges copied into
// heap blocks of exactly their size, every operation, each held to what it promises.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "id_list.h"
#include "other_scanner_operations.h"

namespace {

bool space(char byte)
{
    return byte == ' ' || (byte >= '\t' && byte <= '\r');
}

bool same(const std::string& s, long at, const std::string& text)
{
    return at >= 0 && at + static_cast<long>(text.size()) <= static_cast<long>(s.size()) &&
           s.compare(at, text.size(), text) == 0;
}

const std::string tokens[] = {"<a>",
                              "</a>",
                              "<a/>",
                              "<a ",
                              "<ab>",
                              "</ab>",
                              "<b>",
                              "</b>",
                              "<![CDATA[",
                              "]]>",
                              "]",
                              "a",
                              "x",
                              " ",
                              "\t",
                              "\"",
                              "=",
                              "id",
                              "id=\"v\"",
                              "<",
                              ">",
                              "/",
                              "!",
                              "\xa0",
                              "<a id=\"1\">",
                              std::string(1, '\0')};

struct Range_s {
    std::unique_ptr<char[]> bytes;
    char* first;
    char* last;
    long offset(const char* position) const
    {
        return position ? position - first : -1;
    }
};

Range_s copyRange(const std::string& text)
{
    Range_s range{std::make_unique<char[]>(text.size()), nullptr, nullptr};
    memcpy(range.bytes.get(), text.data(), text.size());
    range.first = range.bytes.get();
    range.last = range.first + text.size() - 1;
    return range;
}

void checkElement(const std::string& text, const std::string& name)
{
    Range_s range = copyRange(text);
    XMLElement_s element{};
    if (findElement(name.c_str(), range.first, range.last, &element) != 0) {
        return;
    }
    long start = range.offset(element.nameEnd) - static_cast<long>(name.size()) - 1;
    ASSERT_TRUE(same(text, start, "<" + name));
    long end = range.offset(element.elementEnd);
    ASSERT_TRUE(end < static_cast<long>(text.size()) && range.first[end] == '>');
    if (element.contentStart != nullptr) {
        ASSERT_EQ(element.contentLength,
                  static_cast<uint64_t>(element.contentLast - element.contentStart + 1));
        ASSERT_LT(element.contentLast, element.elementEnd - name.size() - 2);
    }
    // Nothing outside the start tag .. end tag span is rewritten.
    ASSERT_EQ(memcmp(range.first, text.data(), static_cast<size_t>(start)), 0);
    ASSERT_EQ(std::string(element.elementEnd + 1, range.last + 1),
              text.substr(static_cast<size_t>(end) + 1));
    if (getAttributeValue("id", &element) == 0) {
        char* regionEnd = element.contentStart ? element.contentStart - 1 : element.elementEnd - 1;
        ASSERT_GE(element.valueStart - 1, element.nameEnd);
        ASSERT_LE(element.valueLast + 1, regionEnd);
        ASSERT_EQ(element.valueStart[-1], '"');
        ASSERT_EQ(element.valueLast[1], '"');
        ASSERT_EQ(element.valueLength,
                  static_cast<uint64_t>(element.valueLast - element.valueStart + 1));
    }
}

void checkOthers(const std::string& text, std::mt19937& random)
{
    Range_s range = copyRange(text);
    long size = static_cast<long>(text.size());
    XMLElement_s element{};
    char* name = nullptr;
    size_t length = 0;
    if (findNextElement(range.first, range.last, &element, &name, &length) == 0) {
        long end = range.offset(element.elementEnd);
        ASSERT_TRUE(end < size && range.first[end] == '>');
        ASSERT_EQ(std::string(element.elementEnd + 1, range.last + 1),
                  text.substr(static_cast<size_t>(end) + 1));
    }
    range = copyRange(text);
    char* position = nullptr;
    if (findStartTag("a", 1, range.first, range.last, START_TAG_EXACT, &position) == 0) {
        ASSERT_TRUE(same(text, range.offset(position) - 2, "<a>"));
    }
    long low = std::uniform_int_distribution<long>(0, size - 1)(random);
    long expected = -1;
    for (long k = size - 1; k >= low + 3 && expected < 0; --k) {
        expected = same(text, k - 3, "</a>") ? k - 3 : -1;
    }
    int result = findEndTagReverse("a", range.last, range.first + low, &position);
    ASSERT_EQ(result == 0 ? range.offset(position) : -1, expected);

    for (long at = 0; at < size; ++at) {
        char* cursor = range.first + at;
        skipWhiteSpace(&cursor, range.last);
        ASSERT_TRUE(cursor > range.last || !space(*cursor));
        for (char* skipped = range.first + at; skipped < cursor; ++skipped) {
            ASSERT_TRUE(space(*skipped));
        }
        cursor = range.first + at;
        skipToWordEnd(&cursor, range.last);
        ASSERT_TRUE(cursor == range.last || space(cursor[1]));
        cursor = range.first + at;
        skipCDATA(&cursor, range.last);
        if (cursor != range.first + at) {
            ASSERT_TRUE(same(text, at, "<![CDATA["));
            ASSERT_TRUE(same(text, range.offset(cursor) - 3, "]]>"));
            ASSERT_GE(range.offset(cursor) - 3, at + 9);
        }
        char* marker = isCDATAStart(range.first + at, range.last);
        ASSERT_EQ(marker != nullptr, at + 9 < size && same(text, at, "<![CDATA["));
        marker = isCDATAEnd(range.first + at, range.last);
        ASSERT_EQ(marker != nullptr, same(text, at, "]]>"));
    }
}

TEST(ScannerProperty, RandomRangesOfRandomText)
{
    std::mt19937 random(20240611);
    const int tokenCount = static_cast<int>(sizeof(tokens) / sizeof(tokens[0]));
    for (int iteration = 0; iteration < 20000; ++iteration) {
        std::string text;
        int pieces = std::uniform_int_distribution<int>(1, 14)(random);
        for (int i = 0; i < pieces; ++i) {
            text += tokens[std::uniform_int_distribution<int>(0, tokenCount - 1)(random)];
        }
        size_t from = std::uniform_int_distribution<size_t>(0, text.size() - 1)(random);
        size_t count = std::uniform_int_distribution<size_t>(1, text.size() - from)(random);
        std::string range = text.substr(from, count);
        SCOPED_TRACE(testing::Message() << "iteration " << iteration << " range '" << range << "'");
        ASSERT_NO_FATAL_FAILURE(checkElement(range, "a"));
        ASSERT_NO_FATAL_FAILURE(checkElement(range, "ab"));
        ASSERT_NO_FATAL_FAILURE(checkOthers(range, random));
    }
}

}  // namespace
