// SPDX-License-Identifier: Apache-2.0
// parseGUIDList against the plain model of its parse. The reader recognises the writer's
// usual layout without running the searches; on every input the list, the messages, the
// result and the rewritten buffer must be exactly those of the searches.
#include "reader_model.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "id_list.h"
#include "workflows.h"

namespace reader_model {

// Failure reports show the outcome without the buffer's bytes.
void PrintTo(const ReaderOutcome& o, std::ostream* os)
{
    *os << "result " << o.result << ", printed \"" << o.printed << "\", list \"" << o.list << "\"";
}

}  // namespace reader_model

namespace {

using Outcome = reader_model::ReaderOutcome;
using reader_model::runModel;
using reader_model::takeList;

Outcome runReader(const std::string& text, int32_t kind)
{
    isPool = kind;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    Outcome out;
    testing::internal::CaptureStdout();
    out.result = parseGUIDList(buffer.data(), static_cast<uint32_t>(text.size()));
    out.printed = testing::internal::GetCapturedStdout();
    out.list = takeList();
    out.buffer.assign(buffer.data(), buffer.size());
    return out;
}

// A file of `pairs` pairs laid out as the writer lays it out.
std::string writerLayout(int32_t kind, int pairs)
{
    std::string n = kind == 1 ? "pool" : "volume";
    std::string root = kind == 1 ? "listPools" : "listVolumes";
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + root + ">\n";
    for (int i = 1; i <= pairs; ++i) {
        text += "  <" + n + "Name>" + n + std::to_string(i) + "</" + n + "Name>\n";
        char id[16];
        snprintf(id, sizeof id, "%08x", static_cast<unsigned>(i));
        text += "  <" + n + "GUID>" + id + "-0002-0003-04-05-060708090a0b</" + n + "GUID>\n";
    }
    return text + "</" + root + ">\n";
}

// Each case departs from the usual layout in one place that the usual path must notice.
const char* const NEAR_MISSES[] = {
    "<listVolumes><volumeName a=\"1\">V1</volumeName><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID b>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName><![CDATA[V 1]]></volumeName><volumeGUID>G</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID><![CDATA[G]]></volumeGUID></listVolumes>",
    "<listVolumes><volumeGUID>G1</volumeGUID><volumeName>V1</volumeName>"
    "<volumeGUID>G2</volumeGUID><volumeName>V2</volumeName></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID>"
    "<volumeGUID>G2</volumeGUID><volumeName>V2</volumeName></listVolumes>",
    "<listVolumes><volumeName>V<b>1</b></volumeName><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1<volumeGUID>G0</volumeGUID></volumeName>"
    "<volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName ><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID ></listVolumes>",
    "<listVolumes><volumeName/><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID/><volumeName>V2</volumeName>"
    "<volumeGUID>G2</volumeGUID></listVolumes>",
    "<listVolumes><volumeName></volumeName><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID></volumeGUID></listVolumes>",
    "<listVolumes><x><volumeName>V1</volumeName></x><y><volumeGUID>G1</volumeGUID></y>"
    "</listVolumes>",
    "<listVolumes><!-- <volumeName>C</volumeName> --><volumeName>V1</volumeName>"
    "<volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeNames>V0</volumeNames><volumeName>V1</volumeName>"
    "<volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUIDx>G0</volumeGUIDx>"
    "<volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><volumeName>V2"
    "</volumeName></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><volumeName>V2"
    "</volumeName><volumeGUID>G2</volumeGUID></listVolumes><volumeGUID>G3</volumeGUID>",
    "<listVolumes><volumeName>V1\n\t</volumeName><volumeGUID> G 1 </volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>0000000000000000000000000000000000"
    "00000</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V<</volumeName><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName></><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID></listVolumes",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><volumeName>V2"
    "</volumeName><volumeGUID>G2</volumeGUID>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><volumeName>"
    "</volumeName><volumeGUID>G2</volumeGUID>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><![CDATA[x]]>"
    "<volumeName>V2</volumeName><volumeGUID>G2</volumeGUID></listVolumes>",
    "<listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID><listVolumes>"
    "</listVolumes><volumeName>V2</volumeName><volumeGUID>G2</volumeGUID></listVolumes>",
    "<listVolumes a=\">\"><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID></listVolumes>",
    "<listVolumes/><listVolumes><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID>"
    "</listVolumes>",
    "<listVolumesX><listVolumes\t><volumeName>V1</volumeName><volumeGUID>G1</volumeGUID>"
    "</listVolumes>",
    "<listVolumes></listVolumes>",
    "<listVolumes>",
    "<listVolumes>\n</listVolumes>",
};

TEST(ReaderModel, NearMissesOfTheUsualLayoutReadAsTheSearchesRead)
{
    for (const char* text : NEAR_MISSES) {
        EXPECT_EQ(runReader(text, 0), runModel(text, 0)) << text;
    }
}

TEST(ReaderModel, TextsAtTheLengthLimitsReadAsTheSearchesRead)
{
    for (size_t length : {254, 255, 256, 300}) {
        for (int which = 0; which < 2; ++which) {
            std::string long_text(length, which == 0 ? 'n' : 'g');
            std::string text = "<listVolumes><volumeName>" + (which == 0 ? long_text : "V") +
                               "</volumeName><volumeGUID>" + (which == 1 ? long_text : "G") +
                               "</volumeGUID></listVolumes>";
            EXPECT_EQ(runReader(text, 0), runModel(text, 0)) << length << " " << which;
        }
    }
}

// Pieces that make or break elements of either kind.
const char* const PIECES[] = {
    "<",
    "</",
    ">",
    "/>",
    "/",
    " ",
    "\t",
    "\n",
    "!",
    "<![CDATA[",
    "]]>",
    "<!-- ",
    " -->",
    "x",
    "(zero byte)",
    "<volumeName>",
    "</volumeName>",
    "<volumeGUID>",
    "</volumeGUID>",
    "<volumeName a=\"x\">",
    "<volumeGUID/>",
    "<poolName>",
    "</poolName>",
    "<poolGUID>",
    "</poolGUID>",
    "<poolName\t>",
    "<listVolumes>",
    "</listPools>",
};

std::string piece(std::mt19937& random)
{
    size_t which = random() % (sizeof PIECES / sizeof PIECES[0]);
    // The zero byte cannot travel as a C string.
    return which == 14 ? std::string(1, '\0') : std::string(PIECES[which]);
}

TEST(ReaderModel, MutatedFilesReadAsTheSearchesRead)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 20000; ++round) {
        int32_t kind = static_cast<int32_t>(round % 2);
        std::string text = writerLayout(kind, 1 + static_cast<int>(random() % 4));
        int edits = 1 + static_cast<int>(random() % 4);
        for (int i = 0; i < edits; ++i) {
            size_t at = random() % (text.size() + 1);
            switch (random() % 3) {
                case 0:
                    text.insert(at, piece(random));
                    break;
                case 1:
                    text.erase(at, 1 + random() % 12);
                    break;
                default:
                    text.replace(at, 1, piece(random));
                    break;
            }
        }
        Outcome reader = runReader(text, kind);
        Outcome model = runModel(text, kind);
        ASSERT_EQ(reader, model) << "round " << round << ": " << text;
    }
}

TEST(ReaderModel, WriterLayoutOfManyPairsReadsWhole)
{
    for (int32_t kind : {0, 1}) {
        std::string text = writerLayout(kind, 500);
        Outcome reader = runReader(text, kind);
        EXPECT_EQ(reader, runModel(text, kind));
        EXPECT_EQ(reader.result, 0) << reader.printed;
    }
}

}  // namespace
