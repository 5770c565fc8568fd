// SPDX-License-Identifier: Apache-2.0
// The list reader's two halves on their own: XMLParser takes name and ID texts without
// their white space, and readGUIDFromFile delivers a file whole, however its buffer grows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "id_list.h"
#include "workflows.h"

namespace {

// "name|ID" of each node.
std::string listText()
{
    std::string text;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        text += std::string(text.empty() ? "" : ",") + node->name + "|" + node->guidText;
    }
    return text;
}

const std::string ID = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";

constexpr const char* ZERO_NAME = "XMLParser: line 1: volumeName holds a zero byte\n";
constexpr const char* ZERO_ID = "XMLParser: line 1: volumeGUID holds a zero byte\n";
constexpr const char* LONG_ID = "XMLParser: line 1: volumeGUID text is longer than 37 characters\n";

#define BAD_ID(NAME) "XMLParser: line 1: Volume \"" NAME "\" has a bad ID text\n"

// A byte three times in a name ("#a#b#") and in an ID (at its start, middle and end):
// the C locale's white space goes, every other byte stays in the text. What the list
// then holds ("name|ID", '#' standing for the byte), or the refusal; and the refusal of
// the name with a bad ID, which shows bytes below 0x20 and 0x7f as "\xHH".
struct ByteRow {
    unsigned char byte;
    const char* name;
    const char* id;
    const char* shown;
};

const ByteRow BYTES[] = {
    {'\0', ZERO_NAME, ZERO_ID, ZERO_NAME},
    {'\t', "ab|ID", "n|ID", BAD_ID("ab")},
    {'\n', "ab|ID", "n|ID", "XMLParser: line 4: Volume \"ab\" has a bad ID text\n"},
    {'\v', "ab|ID", "n|ID", BAD_ID("ab")},
    {'\f', "ab|ID", "n|ID", BAD_ID("ab")},
    {'\r', "ab|ID", "n|ID", BAD_ID("ab")},
    {' ', "ab|ID", "n|ID", BAD_ID("ab")},
    {0x08, "#a#b#|ID", LONG_ID, BAD_ID("\\x08a\\x08b\\x08")},
    {0x0e, "#a#b#|ID", LONG_ID, BAD_ID("\\x0ea\\x0eb\\x0e")},
    {0x1f, "#a#b#|ID", LONG_ID, BAD_ID("\\x1fa\\x1fb\\x1f")},
    {'!', "#a#b#|ID", LONG_ID, BAD_ID("#a#b#")},
    {0x7f, "#a#b#|ID", LONG_ID, BAD_ID("\\x7fa\\x7fb\\x7f")},
    {0x80, "#a#b#|ID", LONG_ID, BAD_ID("#a#b#")},
    {0xa0, "#a#b#|ID", LONG_ID, BAD_ID("#a#b#")},
    {0xff, "#a#b#|ID", LONG_ID, BAD_ID("#a#b#")},
};

void PrintTo(const ByteRow& row, std::ostream* out)
{
    *out << "byte " << static_cast<int>(row.byte);
}

class ReaderTexts : public testing::TestWithParam<ByteRow> {
   protected:
    void TearDown() override
    {
        discardList();
    }

    // Parses one pair and returns what the list holds ("name|ID", ID for the test's ID),
    // or the refusal.
    std::string parsePair(const std::string& name, const std::string& id)
    {
        std::string text = "<listVolumes><volumeName>" + name + "</volumeName><volumeGUID>" + id +
                           "</volumeGUID></listVolumes>";
        std::string buffer = text + '\0';
        testing::internal::CaptureStdout();
        int result = XMLParser(VOLUME_KIND, buffer.data(), static_cast<uint32_t>(text.size()));
        std::string output = testing::internal::GetCapturedStdout();
        if (result != 0) {
            return output;
        }
        EXPECT_EQ(output, "");
        std::string pairs = listText();
        discardList();
        const size_t at = pairs.find(ID);
        return at == std::string::npos ? pairs : pairs.replace(at, ID.size(), "ID");
    }
};

TEST_P(ReaderTexts, NameAndIdLoseWhiteSpaceOnly)
{
    const ByteRow& row = GetParam();
    const char byte = static_cast<char>(row.byte);
    auto withByte = [byte](std::string text) {
        for (char& c : text) {
            c = c == '#' ? byte : c;
        }
        return text;
    };
    const std::string name = std::string() + byte + 'a' + byte + 'b' + byte;
    EXPECT_EQ(parsePair(name, ID), withByte(row.name));
    EXPECT_EQ(parsePair("n", byte + ID.substr(0, 18) + byte + ID.substr(18) + byte), row.id);
    EXPECT_EQ(parsePair(name, "-x"), withByte(row.shown));
}

INSTANTIATE_TEST_SUITE_P(Bytes, ReaderTexts, testing::ValuesIn(BYTES));

class ReadWholeFile : public testing::TestWithParam<size_t> {};

// The buffer doubles as it fills: every size around its steps arrives whole, with a zero.
TEST_P(ReadWholeFile, DeliversEveryByteAndATerminator)
{
    std::string content(GetParam(), '\0');
    for (size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    }
    char path[] = "/tmp/korvane-read-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);

    char* buffer = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(readGUIDFromFile(path, &buffer, &length), 0);
    unlink(path);
    ASSERT_EQ(length, content.size());
    EXPECT_EQ(std::string(buffer, length), content);
    EXPECT_EQ(buffer[length], '\0');
    free(buffer);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadWholeFile,
                         testing::Values(1, 4095, 4096, 4097, 8192, 8193, 16384, 16385, 32769,
                                         1000000));

}  // namespace
