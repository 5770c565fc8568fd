// SPDX-License-Identifier: Apache-2.0
// The list file reader over buffers and files. What the parser hands on is observed by
// refusing the first request of GUIDModify: the walk then stops before it has consumed
// anything, and the whole list it was given can be read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "admin_client.h"
#include "id_list.h"
#include "roads_support.h"
#include "temp_dir.h"
#include "workflows.h"

namespace {

using roads::Pairs;

constexpr uint32_t REFUSED = 7;
// What follows a complete parse when the device refuses the first root key.
std::string handedOn(const std::string& stop)
{
    return "GUIDModify : zRootKey error 7\nStopped at " + stop + " not applied\n";
}

const char* const X1 = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";
const char* const X2 = "00000001-0002-0003-04-05-060708090a0b";
const char* const X3 = "ffffffff-ffff-ffff-ff-ff-ffffffffffff";
const char* const X0 = "00000000-0000-0000-00-00-000000000000";

// Parses the text and hands what was parsed to GUIDModify.
int parse(int32_t kind, std::string text)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    if (XMLParser(roads::kindOf(kind), buffer.data(), static_cast<uint32_t>(text.size())) != 0) {
        return -1;
    }
    return GUIDModify(roads::kindOf(kind), "ids.xml", nullptr);
}

class ReaderTest : public roads::ScriptedDevice {};

// ---- Accepted variants: the list the parser builds and hands to GUIDModify ----

struct Accepted {
    const char* label;
    int32_t kind;
    std::string text;
    Pairs pairs;
};

// Test names and failure reports show the case by its label.
void PrintTo(const Accepted& c, std::ostream* os)
{
    *os << c.label;
}

class Accepts : public ReaderTest, public ::testing::WithParamInterface<Accepted> {};

TEST_P(Accepts, BuildsTheListAndHandsItOn)
{
    const Accepted& c = GetParam();
    zapisimAnswerNext(ZAPI_OP_ROOT_KEY, REFUSED, 0, nullptr, nullptr);

    testing::internal::CaptureStdout();
    int result = parse(c.kind, c.text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              handedOn((c.kind == 1 ? "Pool \"" : "Volume \"") + c.pairs[0].first +
                       "\": 0 changed, " + std::to_string(c.pairs.size())));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(roads::listPairs(), c.pairs);
    ASSERT_EQ(zapisimRequestCount(), 1u);
    EXPECT_EQ(zapisimRequestOffset(0), ZAPI_OP_ROOT_KEY);
}

Accepted accepted(const char* label, int32_t kind, const std::string& text, const Pairs& pairs)
{
    return {label, kind, text, pairs};
}

const Accepted ACCEPTED[] = {
    accepted("WriterPools", 1,
             std::string("<listPools>\n\t<poolName>P1</poolName>\n\t\t<poolGUID>") + X1 +
                 "</poolGUID> <!-- check 18403dea -->\n\t<poolName>P2</poolName>\n\t\t"
                 "<poolGUID>" +
                 X2 + "</poolGUID> <!-- check f4a881e4 -->\n</listPools>",
             {{"P1", X1}, {"P2", X2}}),
    accepted("WriterVolumes", 0,
             std::string("<listVolumes>\n\t<volumeName>V1</volumeName>\n\t\t<volumeGUID>") + X1 +
                 "</volumeGUID>\n</listVolumes>",
             {{"V1", X1}}),
    accepted("AttributesAndTabsInStartTags", 0,
             std::string("<listVolumes version=\"2\">\t<volumeName\tlang=\"en\">V1</volumeName>"
                         "<volumeGUID  id=\"1\" >") +
                 X1 + "</volumeGUID></listVolumes>",
             {{"V1", X1}}),
    accepted("TextAroundTheRoot", 1,
             std::string("<?xml version=\"1.0\"?>\n<!-- pools -->junk <listVolumes/>\n<listPools>"
                         "<poolName>P1</poolName><poolGUID>") +
                 X1 + "</poolGUID></listPools>\ntrailing <listPoolsX>",
             {{"P1", X1}}),
    // An end tag that closes nothing, an empty element, a processing instruction and a
    // declaration open nothing.
    accepted("WrappersAndTextBetweenPairs", 1,
             std::string("<listPools>note<pool><br/></x><?pi?><!x><poolName>P1</poolName>") +
                 "<poolGUID>" + X1 +
                 "</poolGUID></pool>\n<other>x</other><pool id=\"2\"><poolName>P2</poolName>" +
                 "<poolGUID>" + X2 + "</poolGUID></pool></listPools>",
             {{"P1", X1}, {"P2", X2}}),
    accepted(
        "WhiteSpaceInsideTexts", 1,
        std::string("<listPools><poolName> my pool\n</poolName><poolGUID>\n  d4c3b2a1-f6e5-b8a7"
                    "\t-c9-da-ebfc0d1e2f3a \r\n</poolGUID>\n<!-- check 9144014c --></listPools>"),
        {{"mypool", X1}}),
    accepted("CDATANameAndID", 0,
             std::string("<listVolumes><volumeName><![CDATA[a<b&c]]></volumeName><volumeGUID>"
                         "<![CDATA[") +
                 X2 + "]]></volumeGUID></listVolumes>",
             {{"a<b&c", X2}}),
    accepted("OtherKindsElementsPassedOver", 0,
             std::string("<listVolumes><poolName>P1</poolName><poolGUID>") + X3 +
                 "</poolGUID><volumeName>V1</volumeName><volumeGUID>" + X1 +
                 "</volumeGUID></listVolumes>",
             {{"V1", X1}}),
    // Comments and processing instructions are passed over, also inside a text; a "--"
    // inside a comment is passed over too.
    accepted("CommentsPassedOver", 0,
             std::string(
                 "<listVolumes><!-- <volumeName>V9</volumeName> -- --><volumeName>V<!-- x -->1") +
                 "<?pi <volumeName>V9</volumeName> ?><![CDATA[<!--]]></volumeName><volumeGUID>" +
                 X1 + "</volumeGUID></listVolumes>",
             {{"V1<!--", X1}}),
    // Markup inside a name is part of its text.
    accepted("ChildElementInsideName", 0,
             std::string("<listVolumes><volumeName>V<b>1</b></volumeName><volumeGUID>") + X1 +
                 "</volumeGUID></listVolumes>",
             {{"V<b>1</b>", X1}}),
    // A section between pairs is dropped, and the pairs after it have moved.
    accepted("CDATABetweenPairs", 1,
             std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                 "</poolGUID><![CDATA[x]]><poolName>P2</poolName><poolGUID>" + X2 +
                 "</poolGUID></listPools>",
             {{"P1", X1}, {"P2", X2}}),
    // A comment is a pair's check only when it begins with "check", after the pair's ID
    // element and before the next start tag: none of these is, and none of their numbers
    // matches.
    accepted("NotChecksPassedOver", 0,
             std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                 "</volumeGUID> <!-- no check 00000000 --><volumeName><!-- check 00000000 -->V2" +
                 "</volumeName><volumeGUID>" + X2 +
                 "<!-- check 00000000 --></volumeGUID></listVolumes>",
             {{"V1", X1}, {"V2", X2}}),
    accepted("RootNestedInTheRoot", 0,
             std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                 "</volumeGUID><listVolumes></listVolumes><volumeName>V2</volumeName><volumeGUID>" +
                 X2 + "</volumeGUID></listVolumes>",
             {{"V1", X1}, {"V2", X2}}),
};

INSTANTIATE_TEST_SUITE_P(XMLParser, Accepts, ::testing::ValuesIn(ACCEPTED),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Refusals: a message, -1, GUIDModify never called, nothing sent to the device ----

struct Refused {
    const char* label;
    int32_t kind;
    std::string text;
    std::string output;
    Pairs left;  // nodes made before the refusal, never applied
};

// Test names and failure reports show the case by its label.
void PrintTo(const Refused& c, std::ostream* os)
{
    *os << c.label;
}

class Refuses : public ReaderTest, public ::testing::WithParamInterface<Refused> {};

TEST_P(Refuses, ReportsAndAppliesNothing)
{
    const Refused& c = GetParam();
    testing::internal::CaptureStdout();
    int result = parse(c.kind, c.text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(roads::listPairs(), c.left);
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

Refused refused(const char* label, int32_t kind, const std::string& text, const std::string& output,
                const Pairs& left)
{
    return {label, kind, text, output, left};
}

const Refused REFUSED_FILES[] = {
    refused("RootNotClosed", 1, "<listPools><poolName>P1</poolName><poolGUID>x</poolGUID>",
            "XMLParser: listPools not found \n", {}),
    refused("RootEndTagWithBlank", 1, "<listPools><poolName>P1</poolName></listPools >",
            "XMLParser: listPools not found \n", {}),
    refused("NameWithoutID", 0, "<listVolumes><volumeName>V1</volumeName></listVolumes>",
            "XMLParser: line 1: volumeName without volumeGUID\n", {}),
    refused("IDWithoutName", 1,
            std::string("<listPools><poolGUID>") + X1 + "</poolGUID></listPools>",
            "XMLParser: line 1: poolGUID without poolName\n", {}),
    // A name or ID element closes only by its exact end tag: not by one with a blank.
    refused("NameEndTagWithBlank", 1,
            std::string("<listPools><poolName>P1</poolName ><poolGUID>") + X1 +
                "</poolGUID></listPools>",
            "XMLParser: line 1: poolName is not closed\n", {}),
    refused("LaterNameWithoutID", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>P2</poolName></listPools>",
            "XMLParser: line 1: poolName without poolGUID\n", {{"P1", X1}}),
    refused("LaterIDWithoutName", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID><volumeGUID>" + X2 + "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeGUID without volumeName\n", {{"V1", X1}}),
    // A pair missing a part, or written in the other order, would shift the pairs after it.
    refused("IDLineDeleted", 1,
            std::string("<listPools><poolName>N1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>N2</poolName><poolName>N3</poolName><poolGUID>" + X3 +
                "</poolGUID></listPools>",
            "XMLParser: line 1: poolName without poolGUID\n", {{"N1", X1}}),
    refused("LaterPairIDFirst", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID><volumeGUID>" + X2 + "</volumeGUID><volumeName>V2</volumeName>" +
                "</listVolumes>",
            "XMLParser: line 1: volumeGUID without volumeName\n", {{"V1", X1}}),
    // A pair is a name then its ID: the first pair may not set another order.
    refused("EveryPairIDFirst", 1,
            std::string("<listPools><poolGUID>") + X1 +
                "</poolGUID><poolName>P1</poolName><poolGUID>" + X2 +
                "</poolGUID><poolName>P2</poolName></listPools>",
            "XMLParser: line 1: poolGUID without poolName\n", {}),
    // Stray end tags: between pairs, in a name's content, after the last pair.
    refused("EndTagWithBlankInName", 0,
            std::string("<listVolumes><volumeName>V1</volumeName ></volumeName><volumeGUID>") + X1 +
                "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeName end tag without a start tag\n",
            {{"V1</volumeName>", X1}}),
    refused("EndTagAfterTheLastPair", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID></poolGUID\n></listPools>",
            "XMLParser: line 1: poolGUID end tag without a start tag\n", {{"P1", X1}}),
    // Any other start tag whose element does not close: the innermost one left open is
    // named (the wrapper's end tag inside it closes nothing), at most 255 bytes of it.
    refused("UnclosedInsideAWrapper", 1,
            std::string("<listPools><pool><poolName>P1</poolName><poolGUIDx></pool><poolGUID>") +
                X1 + "</poolGUID></listPools>",
            "XMLParser: line 1: poolGUIDx is not closed\n", {{"P1", X1}}),
    refused("LongUnclosedName", 0, "<listVolumes><" + std::string(300, 'n') + "></listVolumes>",
            "XMLParser: line 1: " + std::string(255, 'n') + " is not closed\n", {}),
    // The order among refusals: an unclosed name or ID element, pairing, a stray end tag,
    // any other unclosed element, names and IDs listed twice; then the first pair repeating
    // an earlier name or ID, its name first.
    refused("PairingBeforeOtherUnclosed", 1,
            std::string("<listPools><poolGUID>") + X1 + "</poolGUID><poolName>P1</poolName><x>" +
                "</listPools>",
            "XMLParser: line 1: poolGUID without poolName\n", {}),
    refused("PairingBeforeStrayEndTag", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID></poolName><poolName>P1</poolName><poolGUID>" + X1 +
                "</poolGUID><poolGUID>" + X2 + "</poolGUID></listPools>",
            "XMLParser: line 1: poolGUID without poolName\n", {{"P1", X1}, {"P1", X1}}),
    refused("StrayEndTagBeforeListedTwice", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>P1</poolName><poolGUID>" + X1 + "</poolGUID></poolName>" +
                "</listPools>",
            "XMLParser: line 1: poolName end tag without a start tag\n", {{"P1", X1}, {"P1", X1}}),
    refused("NameBeforeIDOfTheSamePair", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>P2</poolName><poolGUID>" + X2 +
                "</poolGUID><poolName>P1</poolName><poolGUID>" + X2 + "</poolGUID></listPools>",
            "XMLParser: line 1: Pool \"P1\" is listed twice\n",
            {{"P1", X1}, {"P2", X2}, {"P1", X2}}),
    refused("FirstRepeatingPair", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID><volumeName>V2</volumeName><volumeGUID>" + X1 +
                "</volumeGUID><volumeName>V1</volumeName><volumeGUID>" + X3 +
                "</volumeGUID></listVolumes>",
            "XMLParser: line 1: Volume \"V2\" has the same ID as Volume \"V1\"\n",
            {{"V1", X1}, {"V2", X1}, {"V1", X3}}),
    refused("IDEndTagWithBlank", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID ></listVolumes>",
            "XMLParser: line 1: volumeGUID is not closed\n", {}),
    // Nor does its content end there: it runs on to the exact end tag.
    refused("IDTextRunsOverEndTagWithBlank", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID ></volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeGUID text is longer than 37 characters\n", {}),
    refused("IDInsideName", 0,
            std::string("<listVolumes><volumeName>V1<volumeGUID>") + X1 +
                "</volumeGUID></volumeName><volumeGUID>" + X2 + "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeName without volumeGUID\n", {}),
    refused("BlankName", 0,
            std::string("<listVolumes><volumeName> \t\n</volumeName><volumeGUID>") + X1 +
                "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeName is empty\n", {}),
    refused(
        "EmptyNameElement", 0,
        std::string("<listVolumes><volumeName/><volumeGUID>") + X1 + "</volumeGUID></listVolumes>",
        "XMLParser: line 1: volumeName is empty\n", {}),
    refused("LaterEmptyName", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName> </poolName><poolGUID>" + X2 + "</poolGUID></listPools>",
            "XMLParser: line 1: poolName is empty\n", {{"P1", X1}}),
    // An ID text that does not convert refuses the file, whatever the pairs around it: an
    // empty ID, one with end tags (its content is not looked into for stray ones).
    refused("EmptyIDElement", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID/><poolName>P2</poolName>"
                        "<poolGUID>") +
                X2 + "</poolGUID></listPools>",
            "XMLParser: line 1: Pool \"P1\" has a bad ID text\n", {{"P1", ""}, {"P2", X2}}),
    refused("IDWithoutContent", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID></volumeGUID>"
                        "<volumeName>V2</volumeName><volumeGUID>") +
                X2 + "</volumeGUID></listVolumes>",
            "XMLParser: line 1: Volume \"V1\" has a bad ID text\n", {{"V1", ""}, {"V2", X2}}),
    // An end tag inside a CDATA section of a name is text.
    refused("EndTagsInsideTexts", 0,
            std::string("<listVolumes><volumeName><![CDATA[a</volumeGUID>]]></volumeName>"
                        "<volumeGUID>x</volumeName></volumeGUID></listVolumes>"),
            "XMLParser: line 1: Volume \"a</volumeGUID>\" has a bad ID text\n",
            {{"a</volumeGUID>", "x</volumeName>"}}),
    // Whatever a CDATA section holds is text, a whole list included; a name or ID element
    // outside the root is refused.
    refused("ListInsideCDATA", 0,
            std::string("<volumeName>x<![CDATA[<listVolumes><volumeName>V8</volumeName>") +
                "<volumeGUID>" + X2 + "</volumeGUID></listVolumes>]]><listVolumes><![CDATA[" +
                "<volumeName>V9</volumeName><volumeGUID>" + X3 + "</volumeGUID>]]>" +
                "<volumeName>V1</volumeName><volumeGUID>" + X1 + "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeName outside listVolumes\n", {{"V1", X1}}),
    // The line is that of the inner "<!--", whose comment has lost its "-->".
    refused("CommentInsideAComment", 0, "<listVolumes>\n<!-- a\n<!-- b -->\n</listVolumes>",
            "XMLParser: line 3: \"<!--\" inside a comment\n", {}),
    // A start tag cut short by another "<" before its ">" never closes.
    refused("CutIDStartTag", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID\n") + X1 +
                "</volumeGUID></listVolumes>",
            "XMLParser: line 1: volumeGUID is not closed\n", {}),
    // A name that never closes is no name: the whole ID inside it comes first.
    refused("IDInsideANameLeftOpen", 1,
            std::string("<listPools><poolName><b>P1<poolGUID>") + X1 + "</poolGUID></listPools>",
            "XMLParser: line 1: poolGUID without poolName\n", {}),
    // The order among the later refusals: a second root, a name or ID element left open;
    // a stray end tag, a name or ID element outside the root, another element left open,
    // a bad ID text, names and IDs listed twice.
    refused("SecondRootBeforeOpenPairElement", 1,
            "<listPools><poolName>P1</poolName ></listPools>\n<listPools/>",
            "XMLParser: line 2: more than one listPools\n", {}),
    refused("StrayEndTagBeforeOutside", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID></poolGUID></listPools><poolName>",
            "XMLParser: line 1: poolGUID end tag without a start tag\n", {{"P1", X1}}),
    refused("OutsideBeforeOtherOpen", 1,
            std::string("<listPools><x><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID></listPools><poolGUID/>",
            "XMLParser: line 1: poolGUID outside listPools\n", {{"P1", X1}}),
    refused("OtherOpenBeforeBadID", 1,
            "<listPools><poolName>P1</poolName><poolGUID>x</poolGUID><x></listPools>",
            "XMLParser: line 1: x is not closed\n", {{"P1", "x"}}),
    refused("BadIDBeforeListedTwice", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>P1</poolName><poolGUID>x</poolGUID></listPools>",
            "XMLParser: line 1: Pool \"P1\" has a bad ID text\n", {{"P1", X1}, {"P1", "x"}}),
    // A check that does not match ranks with a bad ID text: the first such pair is named
    // (a bad ID text's check is not looked at), before names and IDs listed twice.
    refused("CheckBeforeLaterBadID", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID>\n<!-- check 233d8fc7 --><volumeName>V1</volumeName>" +
                "<volumeGUID>x</volumeGUID></listVolumes>",
            "XMLParser: line 1: Volume \"V1\" does not match its check\n",
            {{"V1", X1}, {"V1", "x"}}),
    refused("BadIDBeforeLaterCheck", 0,
            std::string("<listVolumes><volumeName>V1</volumeName><volumeGUID>x</volumeGUID>") +
                "<!-- check 00000000 --><volumeName>V2</volumeName>\n<volumeGUID>" + X2 +
                "</volumeGUID><!-- check 0 --></listVolumes>",
            "XMLParser: line 1: Volume \"V1\" has a bad ID text\n", {{"V1", "x"}, {"V2", X2}}),
    // Every comment meant as a check counts, in any case, after text, markup and end tags,
    // up to the next start tag; its own line is named when it is damaged.
    refused("DamagedCheckBeforeLaterMismatch", 0,
            std::string("<listVolumes><w><volumeName>V1</volumeName><volumeGUID>") + X1 +
                "</volumeGUID></w>x<![CDATA[y]]><?pi?><!-- a -->\n<!--\tChecK 233d8fc7 -->" +
                "<volumeName>V2</volumeName><volumeGUID>" + X2 +
                "</volumeGUID><!-- check 00000000 --></listVolumes>",
            "XMLParser: line 2: Volume \"V1\" has a damaged check\n", {{"V1", X1}, {"V2", X2}}),
    refused("CheckBeforeListedTwice", 1,
            std::string("<listPools><poolName>P1</poolName><poolGUID>") + X1 +
                "</poolGUID><poolName>P1</poolName>\n<poolGUID>" + X2 +
                "</poolGUID> <!-- check f4a881e4 --></listPools>",
            "XMLParser: line 2: Pool \"P1\" does not match its check\n", {{"P1", X1}, {"P1", X2}}),
};

INSTANTIATE_TEST_SUITE_P(XMLParser, Refuses, ::testing::ValuesIn(REFUSED_FILES),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ReaderTest, ListNotEmptyOnEntryIsRefusedWithoutReading)
{
    roads::appendPair("old", X1);
    std::string text = std::string("<listPools><poolName>P1</poolName><poolGUID>") + X2 +
                       "</poolGUID></listPools>";
    testing::internal::CaptureStdout();
    EXPECT_EQ(parse(1, text), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Volume Name and GUID List not Empty\n");
    EXPECT_EQ(roads::listPairs(), (Pairs{{"old", X1}}));
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

TEST_F(ReaderTest, RootWithoutPairsReachesGUIDModifyWithAnEmptyList)
{
    for (const char* text : {"<listVolumes/>", "<listVolumes></listVolumes>",
                             "<listVolumes>\n  <note/>\n</listVolumes>"}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(parse(0, text), -1) << text;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "List is Empty, there are no Volumes\n")
            << text;
        EXPECT_EQ(zapisimRequestCount(), 0u) << text;
    }
}

// ---- The file: read whole, however it arrives ----

const std::string TWO_POOLS =
    std::string("<listPools>\n\t<poolName>P1</poolName>\n\t\t<poolGUID>") + X1 +
    "</poolGUID>\n\t<poolName>P2</poolName>\n\t\t<poolGUID>" + X2 + "</poolGUID>\n</listPools>";
// Parsed whole and handed on: put then finds no admin directory to list.
const std::string READ_WHOLE =
    "Opendir failed, errno : 2\nNothing was changed\nGUIDModify failed, status -1\nFailed to "
    "Parse the XML from Buffer\n";

class ReadFileTest : public ReaderTest {
   protected:
    void SetUp() override
    {
        ReaderTest::SetUp();
        directory = testdir::makeTempDir("korvane-reader");
        ASSERT_NE(directory, "");
        path = directory + "/ids.xml";
    }
    void TearDown() override
    {
        testdir::removeTree(directory);
        ReaderTest::TearDown();
    }
    void writeFile(const std::string& content)
    {
        roads::writeFile(path, content);
    }
    // Reads `from` and returns what was printed.
    std::string read(const std::string& from, int expectedResult)
    {
        testing::internal::CaptureStdout();
        EXPECT_EQ(putList(roads::kindOf(kind), from.c_str(), {}, nullptr), expectedResult);
        return testing::internal::GetCapturedStdout();
    }

    std::string directory;
    std::string path;
    int32_t kind = 1;
};

// Failures met before the parse.
enum class FileKind { Empty, Missing, Directory, FourGiB };

struct FileFailure {
    const char* label;
    FileKind kind;
    const char* output;  // %s: the path read
};

void PrintTo(const FileFailure& c, std::ostream* os)
{
    *os << c.label;
}

class FileFailures : public ReadFileTest, public ::testing::WithParamInterface<FileFailure> {};

TEST_P(FileFailures, ReportedAndNothingSent)
{
    std::string from = path;
    switch (GetParam().kind) {
        case FileKind::Empty:
            writeFile("");
            break;
        case FileKind::Missing:
            from = directory + "/missing.xml";
            break;
        case FileKind::Directory:
            from = directory;
            break;
        case FileKind::FourGiB: {
            // Sparse: no disk space is used, and the size alone refuses it.
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(ftruncate(fd, static_cast<off_t>(UINT32_MAX) + 1), 0);
            close(fd);
            break;
        }
    }
    char expected[512];
    snprintf(expected, sizeof(expected), GetParam().output, from.c_str());
    EXPECT_EQ(read(from, -1), expected);
    EXPECT_EQ(listHead, nullptr);
    EXPECT_EQ(zapisimRequestCount(), 0u);
}

const FileFailure FILE_FAILURES[] = {
    {"Empty", FileKind::Empty, "readVolGUIDFromFile : File %s is empty\n"},
    {"Missing", FileKind::Missing, "readGUIDFromFile: open failed, error : 2\n"},
    {"ReadFails", FileKind::Directory, "Read failed, bytes = -1, error = 21\n"},
    {"FourGiB", FileKind::FourGiB, "readGUIDFromFile: file %s is too large\n"},
};

INSTANTIATE_TEST_SUITE_P(ReadGUIDFromFile, FileFailures, ::testing::ValuesIn(FILE_FAILURES),
                         [](const auto& info) { return std::string(info.param.label); });

volatile sig_atomic_t alarms = 0;

void countAlarm(int)
{
    alarms = alarms + 1;
}

// A pipe delivers the file in small pieces with pauses: reads come back short, or are
// interrupted by a signal while they wait, and only the end of the pipe ends the file.
// Parameter: whether a timer interrupts the reads.
class PipedFile : public ReadFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PipedFile, WholeFileArrives)
{
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    pid_t writer = fork();
    if (writer == 0) {
        close(ends[0]);
        for (size_t at = 0; at < TWO_POOLS.size(); at += 16) {
            size_t length = std::min<size_t>(16, TWO_POOLS.size() - at);
            if (write(ends[1], TWO_POOLS.data() + at, length) != static_cast<ssize_t>(length)) {
                _exit(1);
            }
            usleep(5000);
        }
        _exit(0);
    }
    close(ends[1]);

    // No SA_RESTART: a read waiting for the writer fails with EINTR.
    struct sigaction action = {};
    struct sigaction previous = {};
    action.sa_handler = countAlarm;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
    alarms = 0;
    itimerval timer = {{0, 1000}, {0, 1000}};
    if (GetParam()) {
        setitimer(ITIMER_REAL, &timer, nullptr);
    }
    zapisimAnswerNext(ZAPI_OP_ROOT_KEY, REFUSED, 0, nullptr, nullptr);
    std::string output = read("/dev/fd/" + std::to_string(ends[0]), -1);
    itimerval stop = {};
    setitimer(ITIMER_REAL, &stop, nullptr);
    sigaction(SIGALRM, &previous, nullptr);
    close(ends[0]);
    int status = 0;
    waitpid(writer, &status, 0);

    EXPECT_EQ(WIFEXITED(status) && WEXITSTATUS(status) == 0, true);
    EXPECT_EQ(alarms > 0, GetParam());
    EXPECT_EQ(output, READ_WHOLE);
    EXPECT_EQ(roads::listPairs(), (Pairs{{"P1", X1}, {"P2", X2}}));
}

INSTANTIATE_TEST_SUITE_P(ReadGUIDFromFile, PipedFile, ::testing::Bool());

}  // namespace
