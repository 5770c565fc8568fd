// SPDX-License-Identifier: Apache-2.0
// Malformed and hostile list files given to `korvane put` under the simulated storage
// system: the files of this folder (one table row each), every prefix of a valid file,
// a megabyte without a newline. Each run must end with its exact messages and exit
// status, never a signal, hold no key, and change exactly the IDs the reader's rules
// give for that shape: none at all, not one request to the device, when the reader
// refuses the file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "harness.h"

namespace {

using Changes = std::vector<std::pair<std::string, std::string>>;

// The IDs the files of this folder carry (X1 to X3), and what the C library's
// conversion makes of the odd ones.
const std::string X1 = "1a2b0065-c065-4e65-e5-65-5eed00000065";
const std::string X2 = "1a2b0066-c066-4e66-e6-66-5eed00000066";
const std::string X3 = "1a2b0067-c067-4e67-e7-67-5eed00000067";
const std::string kHexPrefixId = "002b0065-0065-4e65-e5-65-5eed00000065";

const std::string kFailed = "Failed to Parse the XML from Buffer\n";
const std::string kWalkFailed = "GUIDModify failed, status -1\n" + kFailed;

std::string refused(const std::string& message)
{
    return message + kFailed;
}

std::string notFound(const std::string& root)
{
    return refused("XMLParser: " + root + " not found \n");
}

// Refused by the storage system's reading before any change.
std::string unchanged(const std::string& message)
{
    return message + "Nothing was changed\n" + kWalkFailed;
}

std::string badId(const std::string& line, const std::string& name)
{
    return "XMLParser: line " + line + ": Volume \"" + name + "\" has a bad ID text\n";
}

std::string mismatch(const std::string& line, const std::string& word, const std::string& name)
{
    return "XMLParser: line " + line + ": " + word + " \"" + name + "\" does not match its check\n";
}

std::string damaged(const std::string& line, const std::string& word, const std::string& name)
{
    return "XMLParser: line " + line + ": " + word + " \"" + name + "\" has a damaged check\n";
}

std::string success(const std::string& kind)
{
    return kind == "pool" ? "Successfully updated from file \"{path}\" to the Pool's GUID\n"
                          : "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n";
}

struct BadFile {
    const char* file;
    std::string kind;
    std::string out;  // after the banner; {path} stands for the file's path
    int exit;
    Changes changes;  // IDs the run gives; empty: the system stays as it was
    bool refusedByReader;
    std::string err = "";  // standard error; {path} as in `out`
};

void PrintTo(const BadFile& c, std::ostream* out)
{
    *out << c.file << " as " << c.kind;
}

// A file the reader refuses with `message`; one it hands on to the walk.
BadFile readerRefuses(const char* file, const char* kind, const std::string& message)
{
    return {file, kind, refused(message), 255, {}, true, ""};
}
BadFile walks(const char* file, const char* kind, const std::string& out, int exit,
              const Changes& changes, const std::string& err = "")
{
    return {file, kind, out, exit, changes, false, err};
}

const std::vector<BadFile>& badFiles()
{
    static const std::vector<BadFile> files = {
        {"binary-garbage.xml", "volume", notFound("listVolumes"), 255, {}, true},
        {"other-kind-root.xml",
         "volume",
         notFound("listVolumes"),
         255,
         {},
         true,
         "korvane: {path} holds a list of pools, not volumes\n"},
        {"wrong-case-root.xml", "volume", notFound("listVolumes"), 255, {}, true},
        {"unclosed-root.xml", "volume", notFound("listVolumes"), 255, {}, true},
        {"end-tag-with-blank.xml", "volume", notFound("listVolumes"), 255, {}, true},
        // A CDATA section or comment never closed, wherever it starts, the file's last bytes
        // included; a comment that has lost its "-->" shows at the next one's "<!--".
        readerRefuses("unclosed-cdata-root.xml", "volume",
                      "XMLParser: line 1: CDATA section is not closed\n"),
        readerRefuses("unclosed-cdata.xml", "volume",
                      "XMLParser: line 2: CDATA section is not closed\n"),
        readerRefuses("unclosed-cdata-at-end.xml", "volume",
                      "XMLParser: line 4: CDATA section is not closed\n"),
        readerRefuses("comment-not-closed.xml", "volume",
                      "XMLParser: line 4: comment is not closed\n"),
        readerRefuses("lost-comment-close.xml", "volume",
                      "XMLParser: line 4: \"<!--\" inside a comment\n"),
        readerRefuses("pi-not-closed.xml", "volume",
                      "XMLParser: line 4: processing instruction is not closed\n"),
        {"start-tags-without-closer.xml", "volume", notFound("listVolumes"), 255, {}, true},
        readerRefuses("name-without-id.xml", "volume",
                      "XMLParser: line 4: volumeName without volumeGUID\n"),
        readerRefuses("id-without-name.xml", "volume",
                      "XMLParser: line 2: volumeGUID without volumeName\n"),
        readerRefuses("empty-name.xml", "volume", "XMLParser: line 2: volumeName is empty\n"),
        // Hand-edit mistakes that would shift the pairs after them onto other objects.
        readerRefuses("id-line-deleted.xml", "volume",
                      "XMLParser: line 4: volumeName without volumeGUID\n"),
        readerRefuses("stray-id-line.xml", "pool",
                      "XMLParser: line 4: poolGUID without poolName\n"),
        readerRefuses("misspelt-tag.xml", "volume",
                      "XMLParser: line 5: volumeGUID without volumeName\n"),
        readerRefuses("later-pair-name-first.xml", "volume",
                      "XMLParser: line 2: volumeGUID without volumeName\n"),
        readerRefuses("last-id-line-moved-to-top.xml", "volume",
                      "XMLParser: line 2: volumeGUID without volumeName\n"),
        // The end tags left behind by a typo or a cut are named before the start tag that
        // never closes.
        readerRefuses("two-misspelt-tags.xml", "volume",
                      "XMLParser: line 3: volumeGUID end tag without a start tag\n"),
        readerRefuses("cut-from-id-to-name.xml", "volume",
                      "XMLParser: line 3: volumeName end tag without a start tag\n"),
        // A start tag left by a cut, with no end tag left behind: the innermost one is named.
        readerRefuses("cut-leaves-start-tag.xml", "volume",
                      "XMLParser: line 3: volumeGUIDe is not closed\n"),
        readerRefuses("name-listed-twice.xml", "pool",
                      "XMLParser: line 6: Pool \"P\\x1b1\" is listed twice\n"),
        // The same 16 bytes in other letters; the nil ID may stand more than once.
        readerRefuses("same-id-twice.xml", "volume",
                      "XMLParser: line 9: Volume \"V\\x7f9\" has the same ID as Volume "
                      "\"V\\x1b2\"\n"),
        readerRefuses("misspelt-end-tag.xml", "volume",
                      "XMLParser: line 1: volumeName is not closed\n"),
        readerRefuses("id-not-closed.xml", "pool", "XMLParser: line 4: poolGUID is not closed\n"),
        readerRefuses("nul-in-name.xml", "volume",
                      "XMLParser: line 2: volumeName holds a zero byte\n"),
        readerRefuses("nul-in-id.xml", "volume",
                      "XMLParser: line 3: volumeGUID holds a zero byte\n"),
        readerRefuses("repeated-root.xml", "volume",
                      "XMLParser: line 5: more than one listVolumes\n"),
        // A pair moved out of the list by its end tag is not passed over.
        readerRefuses("root-end-tag-moved-up.xml", "volume",
                      "XMLParser: line 7: volumeName outside listVolumes\n"),
        // An ID text that does not convert is refused before any object is changed.
        readerRefuses("id-empty-element.xml", "volume", badId("3", "V1")),
        readerRefuses("id-36-characters.xml", "volume", badId("3", "V1")),
        readerRefuses("id-leading-plus.xml", "volume", badId("3", "V1")),
        readerRefuses("id-sign-inside-group.xml", "volume", badId("3", "V1")),
        readerRefuses("id-leading-minus.xml", "volume", badId("5", "V2")),
        // Edits of a file written by get that leave it well formed: its checks refuse them.
        readerRefuses("check-id-lines-swapped.xml", "pool", mismatch("3", "Pool", "P1")),
        readerRefuses("check-id-lines-swapped.xml", "volume", mismatch("11", "Volume", "V2")),
        readerRefuses("check-name-lines-swapped.xml", "pool", mismatch("3", "Pool", "P2")),
        readerRefuses("check-name-lines-swapped.xml", "volume", mismatch("9", "Volume", "V3")),
        readerRefuses("check-hex-digit.xml", "pool", mismatch("5", "Pool", "P2")),
        readerRefuses("check-hex-digit.xml", "volume", mismatch("9", "Volume", "V1")),
        readerRefuses("check-name-byte.xml", "pool", mismatch("3", "Pool", "P9")),
        readerRefuses("check-name-byte.xml", "volume", mismatch("13", "Volume", "V9")),
        // Checks that a byte before them, a comment before them, an upper-case digit or a
        // lost digit used to turn off, each with two ID lines swapped.
        readerRefuses("check-byte-before-comment.xml", "volume", mismatch("7", "Volume", "V3")),
        readerRefuses("check-comment-first.xml", "volume", mismatch("3", "Volume", "V1")),
        readerRefuses("check-upper-case-hex.xml", "pool", damaged("3", "Pool", "P1")),
        readerRefuses("check-lost-digit.xml", "volume", damaged("8", "Volume", "V3")),
        // Whole pairs deleted or moved, white space changed: every check still holds.
        walks("check-pairs-moved.xml", "pool", success("pool"), 0, {{"P1", X1}, {"P2", X2}}),
        walks("check-pairs-moved.xml", "volume", success("volume"), 0, {{"V1", X1}, {"V3", X3}}),
        // Shapes the reader accepts; the walk then says what becomes of them.
        walks("empty-root.xml", "volume", "List is Empty, there are no Volumes\n" + kWalkFailed,
              255, {}),
        walks("unknown-name.xml", "volume", unchanged("GUIDModify : zOpen error 20202\n"), 255, {},
              "korvane: Volume \"V9\": the storage system refused zOpen (status 20202)\n"),
        // A 0x prefix or white space at the start of a later group counts towards its
        // width, and white space anywhere is dropped before parsing.
        walks("id-hex-prefix.xml", "volume", success("volume"), 0, {{"V1", kHexPrefixId}}),
        walks("id-space-inside-group.xml", "volume", success("volume"), 0, {{"V1", X1}}),
        // Only the first root element of the kind counts; one nested in it is content.
        walks("nested-root.xml", "volume", success("volume"), 0, {{"V1", X1}}),
        walks("both-kinds.xml", "volume", success("volume"), 0, {{"V2", X2}}),
        walks("both-kinds.xml", "pool", success("pool"), 0, {{"P1", X1}}),
        // A stray end tag does not change how a CDATA section is read: the name holds it.
        walks("stray-end-tag-before-cdata.xml", "volume",
              unchanged("GUIDModify : zOpen error 20202\n"), 255, {},
              "korvane: Volume \"V1</volumeName><volumeGUID>" + X2 +
                  "</volumeGUID><volumeName>V2\": the storage system refused zOpen (status "
                  "20202)\n"),
        // Nothing inside a comment, a CDATA section or a processing instruction counts.
        walks("pair-in-comment.xml", "volume",
              "List is Empty, there are no Volumes\n" + kWalkFailed, 255, {}),
        walks("comments-passed-over.xml", "volume", success("volume"), 0, {{"V1", X1}, {"V3", X3}}),
        walks("pair-in-cdata.xml", "volume", success("volume"), 0, {{"V1", X1}, {"V3", X3}}),
        walks("pi-parked-pair.xml", "volume", success("volume"), 0, {{"V1", X1}, {"V3", X3}}),
    };
    return files;
}

std::string caseName(const testing::TestParamInfo<BadFile>& info)
{
    std::string name = info.param.file;
    name = name.substr(0, name.find('.')) + "_" + info.param.kind;
    for (char& c : name) {
        if (c == '-') {
            c = '_';
        }
    }
    return name;
}

class BadInput : public e2e::EndToEnd {
   protected:
    void SetUp() override
    {
        e2e::EndToEnd::SetUp();
        addAll(e2e::mixedSystem());
    }

    // Runs put on the file; checks the output, the exit status, the IDs afterwards and,
    // when the reader refused the file, that no request reached the device, for diff too.
    void putFile(const std::string& kind, const std::string& path, const std::string& out, int exit,
                 const Changes& changes, bool refusedByReader, const std::string& err = "")
    {
        expectedErr = e2e::withPath(err, path);
        e2e::Outcome outcome = run({"put", kind, path});
        EXPECT_EQ(outcome.process.out, e2e::kBanner + e2e::withPath(out, path));
        EXPECT_EQ(outcome.process.exitStatus, exit);
        EXPECT_EQ(e2e::describe(outcome.objects),
                  e2e::expectedObjects(e2e::mixedSystem(), changes));
        if (refusedByReader) {
            EXPECT_TRUE(outcome.requests.empty()) << "first: " << outcome.requests.front();
            // diff reads the file as put does: the same refusal, and no request either.
            expectedErr = e2e::withPath(err, path);
            e2e::Outcome diff = run({"diff", kind, path});
            EXPECT_EQ(diff.process.out, outcome.process.out);
            EXPECT_EQ(diff.process.exitStatus, 255);
            EXPECT_TRUE(diff.requests.empty());
        }
    }
};

class BadInputFile : public BadInput, public testing::WithParamInterface<BadFile> {};

TEST_P(BadInputFile, EndsAsItsShapeSays)
{
    const BadFile& c = GetParam();
    const std::string path = std::string(BAD_INPUT_DIR) + "/" + c.file;
    putFile(c.kind, path, c.out, c.exit, c.changes, c.refusedByReader, c.err);
}

INSTANTIATE_TEST_SUITE_P(Files, BadInputFile, testing::ValuesIn(badFiles()), caseName);

// Every prefix of a valid file (the empty one included) is refused without a request:
// the root element's end tag is the file's last byte, and a pair's check comment cut short
// is never closed.
TEST_F(BadInput, EveryPrefixOfAValidFileIsRefused)
{
    for (const char* kind : {"pool", "volume"}) {
        const std::string root = std::string(kind) == "pool" ? "listPools" : "listVolumes";
        const std::string valid = e2e::listFile(kind, {{kind[0] == 'p' ? "P1" : "V1", X1}});
        const std::string path = file(std::string(kind) + ".xml");
        e2e::zapisim("journal", sys, {"--clear"});
        for (size_t length = 0; length < valid.size(); ++length) {
            const std::string prefix = valid.substr(0, length);
            e2e::writeFile(path, prefix);
            e2e::ProcessResult result = e2e::runKorvane(sys, {"put", kind, path});
            size_t check = prefix.rfind("<!--");
            std::string expected =
                length == 0 ? "readVolGUIDFromFile : File " + path + " is empty\n"
                : (check != std::string::npos && prefix.find("-->", check) == std::string::npos)
                    ? refused("XMLParser: line 3: comment is not closed\n")
                    : notFound(root);
            ASSERT_EQ(result.out, e2e::kBanner + expected) << kind << " prefix of " << length;
            ASSERT_EQ(result.exitStatus, 255) << kind << " prefix of " << length;
        }
        e2e::Journal journal = e2e::readJournal(sys);
        EXPECT_TRUE(journal.requests.empty());
        EXPECT_EQ(journal.exits.size(), valid.size());
        e2e::checkJournalHygiene(journal);
    }
    EXPECT_EQ(e2e::describe(e2e::showObjects(sys)), e2e::expectedObjects(e2e::mixedSystem()));
}

// A megabyte on one line: passed over between the pairs, or refused when it holds no
// root element.
TEST_F(BadInput, MegabyteWithoutNewline)
{
    const std::string filler(1 << 20, 'x');
    const std::string path = file("big.xml");
    e2e::writeFile(path, "<listVolumes><volumeName>V3</volumeName><volumeGUID>" + X3 +
                             "</volumeGUID>" + filler + "</listVolumes>");
    putFile("volume", path, success("volume"), 0, {{"V3", X3}}, false);

    e2e::writeFile(path, "<listVolumes" + filler);
    putFile("volume", path, notFound("listVolumes"), 255, {{"V3", X3}}, true);
}

}  // namespace
