// SPDX-License-Identifier: Apache-2.0
// The list reader's two halves on their own: XMLParser takes name and ID texts without
// their white space, and readGUIDFromFile delivers a file whole, however its buffer grows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
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
const std::string NAME = "volume-with-a-name-of-forty-characters-x";

// What the reader makes of an element's content: the text without the C locale's white
// space (a zero byte refuses the file).
std::string expectedText(const std::string& content)
{
    std::string text;
    for (char c : content) {
        if (c != ' ' && (c < '\t' || c > '\r')) {
            text += c;
        }
    }
    return text;
}

// Bytes that white-space removal or the terminator concerns, and their neighbours.
const unsigned char SPECIAL[] = {'\0', '\t', '\n', '\v', '\f', '\r', ' ', 0x08,
                                 0x0e, 0x1f, '!',  0x7f, 0x80, 0xa0, 0xff};

class ReaderTexts : public testing::TestWithParam<unsigned char> {
   protected:
    void TearDown() override
    {
        discardList();
    }

    // Parses one pair and returns what the list holds, or the output of a refusal.
    std::string parsePair(const std::string& name, const std::string& id)
    {
        std::string text = "<listVolumes><volumeName>" + name + "</volumeName><volumeGUID>" + id +
                           "</volumeGUID></listVolumes>";
        std::string buffer = text + '\0';
        testing::internal::CaptureStdout();
        int result = XMLParser(VOLUME_KIND, buffer.data(), static_cast<uint32_t>(text.size()));
        std::string output = testing::internal::GetCapturedStdout();
        if (result != 0) {
            return "refused: " + output;
        }
        EXPECT_EQ(output, "");
        std::string pairs = listText();
        discardList();
        return pairs;
    }
};

TEST_P(ReaderTexts, NameTakesTheByteAtEveryPositionAsWhiteSpaceRemovalSays)
{
    for (size_t at = 0; at < NAME.size(); ++at) {
        std::string name = NAME;
        name[at] = static_cast<char>(GetParam());
        std::string expected = expectedText(name);
        std::string want = GetParam() == '\0' ? "refused: XMLParser: volumeName holds a zero byte\n"
                           : expected.empty() ? "refused: XMLParser: volumeName is empty\n"
                                              : expected + "|" + ID;
        EXPECT_EQ(parsePair(name, ID), want) << "byte at " << at;
    }
}

TEST_P(ReaderTexts, IdTakesTheByteInsertedAtEveryPositionAsWhiteSpaceRemovalSays)
{
    for (size_t at = 0; at <= ID.size(); ++at) {
        std::string id = ID;
        id.insert(at, 1, static_cast<char>(GetParam()));
        std::string expected = expectedText(id);
        std::string want =
            GetParam() == '\0' ? "refused: XMLParser: volumeGUID holds a zero byte\n"
            : expected.size() > 37
                ? "refused: XMLParser: volumeGUID text is longer than 37 characters\n"
                : NAME + "|" + expected;
        EXPECT_EQ(parsePair(NAME, id), want) << "byte at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Bytes, ReaderTexts, testing::ValuesIn(SPECIAL));

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
