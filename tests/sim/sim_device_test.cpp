// SPDX-License-Identifier: Apache-2.0
// The storage-backed device in-process: the five operations, the strict reading of
// each request, key accounting, listings and the journal.
#include <dirent.h>
#include <errno.h>
#include <stdarg.h>
#include <syslog.h>

#include <cctype>
#include <functional>
#include <vector>

#include "sim_system_fixture.h"

namespace simtest {
namespace {

constexpr long long MALFORMED = ZAPISIM_STATUS_MALFORMED;
constexpr long long BAD_KEY = ZAPISIM_STATUS_BAD_KEY;
constexpr long long NO_OBJECT = ZAPISIM_STATUS_NO_OBJECT;

using DeviceTest = SystemTest;

TEST_F(DeviceTest, ReadsAndChangesAnObjectId)
{
    uint64_t rootKey = takeRoot();
    uint64_t poolKey = takeObject(rootKey, "_admin:\\pools\\P1");
    EXPECT_NE(rootKey, poolKey);
    EXPECT_EQ(zapisimHeldKeyCount(), 2u);

    uint8_t record[1212] = {};
    Block info = recordBlock(poolKey, 0x40050, record);
    ASSERT_EQ(send(16, &info), 0);
    uint32_t state = 0;
    std::memcpy(&state, record + 632, 4);
    EXPECT_EQ(state, 6u);
    EXPECT_EQ(std::memcmp(record + 616, poolId, 16), 0);
    // Everything outside the pool's state field is filled, so a client that reads
    // the wrong offsets sees noise, not zeros.
    for (size_t i = 0; i < 1212; ++i) {
        if (i < 632 || i >= 636) {
            EXPECT_NE(record[i], 0) << "byte " << i;
        }
    }

    uint8_t newId[16];
    for (uint8_t i = 0; i < 16; ++i)
        newId[i] = static_cast<uint8_t>(0x50 + i);
    std::memcpy(record + 616, newId, 16);
    Block modify = recordBlock(poolKey, 0x400000, record);
    ASSERT_EQ(send(22, &modify), 0);
    // Acknowledged means stored.
    SimObjectFile_s object;
    ASSERT_EQ(simLoadObject(root.c_str(), SIM_KIND_POOL, "P1", &object), 0);
    EXPECT_EQ(std::memcmp(object.record + 616, newId, 16), 0);

    EXPECT_EQ(closeKey(poolKey), 0);
    EXPECT_EQ(closeKey(rootKey), 0);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
    // A released key is gone for good.
    EXPECT_EQ(closeKey(poolKey), BAD_KEY);
}

TEST_F(DeviceTest, InformationIsTheSameOnEveryRead)
{
    uint64_t rootKey = takeRoot();
    uint64_t volumeKey = takeObject(rootKey, "_admin:\\volumes\\V1");
    uint8_t first[1212] = {};
    uint8_t second[1212] = {};
    Block info = recordBlock(volumeKey, 0x10050, first);
    ASSERT_EQ(send(16, &info), 0);
    info = recordBlock(volumeKey, 0x10050, second);
    ASSERT_EQ(send(16, &info), 0);
    EXPECT_EQ(std::memcmp(first, second, sizeof first), 0);
    EXPECT_EQ(std::memcmp(first + 416, volumeId, 16), 0);
    uint32_t state = 0;
    std::memcpy(&state, first + 432, 4);
    EXPECT_EQ(state, 6u);
}

// One malformed request: a well-formed block of `operation` on the keys of a fresh
// root and object, changed by `spoil`, and the status the device must answer.
struct SpoiltCase {
    const char* what;
    uint64_t operation;
    std::function<void(Block&, uint8_t* record)> spoil;
    long long status;
    bool onPool = true;
};

class StrictChecks : public SystemTest, public ::testing::WithParamInterface<SpoiltCase> {};

TEST_P(StrictChecks, RefuseTheRequest)
{
    const SpoiltCase& spoilt = GetParam();
    uint64_t rootKey = takeRoot();
    bool pool = spoilt.onPool;
    uint64_t objectKey = takeObject(rootKey, pool ? "_admin:\\pools\\P1" : "_admin:\\volumes\\V1");
    uint8_t record[1212] = {};
    Block block;
    switch (spoilt.operation) {
        case 1000:
            block = rootBlock();
            break;
        case 23:
            block = openBlock(rootKey, "_admin:\\volumes\\V1");
            break;
        case 16:
            block = recordBlock(objectKey, pool ? 0x40050 : 0x10050, record);
            break;
        case 22: {
            Block info = recordBlock(objectKey, pool ? 0x40050 : 0x10050, record);
            ASSERT_EQ(send(16, &info), 0);
            block = recordBlock(objectKey, pool ? 0x400000 : 0x10000, record);
            break;
        }
        default:
            block = closeBlock(objectKey);
            break;
    }
    spoilt.spoil(block, record);
    uint8_t sent[208];
    std::memcpy(sent, block.bytes, sizeof sent);
    EXPECT_EQ(send(spoilt.operation, &block), spoilt.status) << spoilt.what;
    EXPECT_EQ(std::memcmp(sent, block.bytes, sizeof sent), 0)
        << "a refused request changes nothing";
    EXPECT_EQ(zapisimHeldKeyCount(), 2u) << "no key given out or released";
}

const SpoiltCase SPOILT[] = {
    {"root key with a buffer", 1000, [](Block& b, uint8_t*) { b.bytes[4] = 1; }, MALFORMED},
    {"root selector 1", 1000, [](Block& b, uint8_t*) { b.set32(80, 1); }, MALFORMED},
    {"open without buffer", 23, [](Block& b, uint8_t*) { b.bytes[4] = 0; }, MALFORMED},
    {"open with two buffers", 23, [](Block& b, uint8_t*) { b.bytes[4] = 2; }, MALFORMED},
    {"open value 51", 23, [](Block& b, uint8_t*) { b.set32(88, 51); }, MALFORMED},
    {"open flags of a 16-bit path", 23, [](Block& b, uint8_t*) { b.set32(112, 0x4); }, MALFORMED},
    {"open flags without 0x4", 23, [](Block& b, uint8_t*) { b.set32(112, 0x40000000); }, MALFORMED},
    {"open with 80 set", 23, [](Block& b, uint8_t*) { b.set64(80, 1); }, MALFORMED},
    {"open second value 1", 23, [](Block& b, uint8_t*) { b.set32(120, 1); }, MALFORMED},
    {"path length without terminator", 23, [](Block& b, uint8_t*) { b.set64(48, b.get64(48) - 1); },
     MALFORMED},
    {"path length one too many", 23, [](Block& b, uint8_t*) { b.set64(48, b.get64(48) + 1); },
     MALFORMED},
    {"path length zero", 23, [](Block& b, uint8_t*) { b.set64(48, 0); }, MALFORMED},
    {"open on an object key", 23, [](Block& b, uint8_t*) { b.set64(16, b.get64(16) + 1); },
     BAD_KEY},
    {"open on a made-up key", 23, [](Block& b, uint8_t*) { b.set64(16, 12345); }, BAD_KEY},
    {"info mask of a modify", 16, [](Block& b, uint8_t*) { b.set64(96, 0x400000); }, MALFORMED},
    {"info mask 0x40000", 16, [](Block& b, uint8_t*) { b.set64(96, 0x40000); }, MALFORMED},
    {"volume info mask on a pool", 16, [](Block& b, uint8_t*) { b.set64(96, 0x10050); }, BAD_KEY},
    {"pool info mask on a volume", 16, [](Block& b, uint8_t*) { b.set64(96, 0x40050); }, BAD_KEY,
     false},
    {"info version 2", 16, [](Block& b, uint8_t*) { b.set32(112, 2); }, MALFORMED},
    {"info record 1211 bytes", 16, [](Block& b, uint8_t*) { b.set64(48, 1211); }, MALFORMED},
    {"info record 1213 bytes", 16, [](Block& b, uint8_t*) { b.set64(48, 1213); }, MALFORMED},
    {"info without record", 16, [](Block& b, uint8_t*) { b.set64(40, 0); }, MALFORMED},
    {"info with two buffers", 16, [](Block& b, uint8_t*) { b.bytes[4] = 2; }, MALFORMED},
    {"info option bits", 16, [](Block& b, uint8_t*) { b.set32(92, 0x10); }, MALFORMED},
    {"info with 80 set", 16, [](Block& b, uint8_t*) { b.set64(80, 7); }, MALFORMED},
    {"info record not cleared", 16, [](Block&, uint8_t* r) { r[1000] = 1; }, MALFORMED},
    {"info on the root key", 16, [](Block& b, uint8_t*) { b.set64(16, b.get64(16) - 1); }, BAD_KEY},
    {"modify mask 0x40000", 22, [](Block& b, uint8_t*) { b.set64(96, 0x40000); }, MALFORMED},
    {"modify with an info mask", 22, [](Block& b, uint8_t*) { b.set64(96, 0x40050); }, MALFORMED},
    {"volume modify mask on a pool", 22, [](Block& b, uint8_t*) { b.set64(96, 0x10000); }, BAD_KEY},
    {"pool modify mask on a volume", 22, [](Block& b, uint8_t*) { b.set64(96, 0x400000); }, BAD_KEY,
     false},
    {"modify value 1", 22, [](Block& b, uint8_t*) { b.set64(80, 1); }, MALFORMED},
    {"modify version 0", 22, [](Block& b, uint8_t*) { b.set32(112, 0); }, MALFORMED},
    {"modify record 1200 bytes", 22, [](Block& b, uint8_t*) { b.set64(48, 1200); }, MALFORMED},
    {"modify changes the state", 22, [](Block&, uint8_t* r) { r[632] = 5; }, MALFORMED},
    {"modify changes the volume ID of a pool", 22, [](Block&, uint8_t* r) { r[416] ^= 1; },
     MALFORMED},
    {"modify changes the last byte", 22, [](Block&, uint8_t* r) { r[1211] ^= 1; }, MALFORMED},
    {"modify changes the byte before the ID", 22, [](Block&, uint8_t* r) { r[615] ^= 1; },
     MALFORMED},
    {"modify changes the pool ID of a volume", 22, [](Block&, uint8_t* r) { r[616] ^= 1; },
     MALFORMED, false},
    {"modify on the root key", 22, [](Block& b, uint8_t*) { b.set64(16, b.get64(16) - 1); },
     BAD_KEY},
    {"close with a buffer", 1001, [](Block& b, uint8_t*) { b.bytes[4] = 1; }, MALFORMED},
    {"close of a made-up key", 1001, [](Block& b, uint8_t*) { b.set64(16, 0); }, BAD_KEY},
    {"unused operation 3", 3, [](Block&, uint8_t*) {}, MALFORMED},
    {"unused operation 999", 999, [](Block&, uint8_t*) {}, MALFORMED},
    {"other operation with three buffers", 17, [](Block& b, uint8_t*) { b.bytes[4] = 3; },
     MALFORMED},
};

std::string caseName(const ::testing::TestParamInfo<SpoiltCase>& info)
{
    std::string name;
    for (const char* p = info.param.what; *p != '\0'; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Device, StrictChecks, ::testing::ValuesIn(SPOILT), caseName);

TEST_F(DeviceTest, ModifyNeedsAnInformationReadFirst)
{
    uint64_t rootKey = takeRoot();
    uint64_t poolKey = takeObject(rootKey, "_admin:\\pools\\P1");
    SimObjectFile_s object;
    ASSERT_EQ(simLoadObject(root.c_str(), SIM_KIND_POOL, "P1", &object), 0);
    Block modify = recordBlock(poolKey, 0x400000, object.record);
    EXPECT_EQ(send(22, &modify), MALFORMED);
}

TEST_F(DeviceTest, ModifyMayChangeOnlyTheIdAndRepeat)
{
    uint64_t rootKey = takeRoot();
    uint64_t volumeKey = takeObject(rootKey, "_admin:\\volumes\\V1");
    uint8_t record[1212] = {};
    Block info = recordBlock(volumeKey, 0x10050, record);
    ASSERT_EQ(send(16, &info), 0);
    for (uint8_t round = 1; round <= 2; ++round) {
        std::memset(record + 416, round, 16);
        Block modify = recordBlock(volumeKey, 0x10000, record);
        EXPECT_EQ(send(22, &modify), 0);
        SimObjectFile_s object;
        ASSERT_EQ(simLoadObject(root.c_str(), SIM_KIND_VOLUME, "V1", &object), 0);
        EXPECT_EQ(object.record[416], round);
        EXPECT_EQ(object.record[431], round);
    }
}

TEST_F(DeviceTest, OpenAnswersOnlyForExistingObjects)
{
    uint64_t rootKey = takeRoot();
    const char* missing[] = {"_admin:\\pools\\V1",
                             "_admin:\\volumes\\P1",
                             "_admin:\\pools\\",
                             "_admin:\\pools\\p1",
                             "_admin:/pools/P1",
                             "_ADMIN:\\pools\\P1",
                             "P1",
                             ""};
    for (const char* path : missing) {
        Block block = openBlock(rootKey, path);
        EXPECT_EQ(send(23, &block), NO_OBJECT) << path;
    }
    EXPECT_EQ(zapisimHeldKeyCount(), 1u);
}

TEST_F(DeviceTest, RequestOfAnotherSizeIsMalformed)
{
    Block block = rootBlock();
    EXPECT_EQ(send(1000, &block, 207), MALFORMED);
    EXPECT_EQ(send(1000, &block, 209), MALFORMED);
    EXPECT_EQ(zapisimHeldKeyCount(), 0u);
}

TEST_F(DeviceTest, OtherOperationsAreAccepted)
{
    uint64_t rootKey = takeRoot();
    for (uint64_t operation : {1u, 2u, 8u, 18u, 37u, 43u, 1002u}) {
        Block block = closeBlock(rootKey);
        EXPECT_EQ(send(operation, &block), 0) << operation;
    }
}

TEST_F(DeviceTest, DeviceOpensOnlyReadOnly)
{
    errno = 0;
    EXPECT_EQ(open64("/dev/zapi", O_RDWR), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(open64("/dev/zapi", O_RDONLY | O_CLOEXEC), -1);
    int dirFd = open("/", O_RDONLY | O_DIRECTORY);
    int other = openat(dirFd, "/dev/zapi", O_RDONLY);
    EXPECT_GE(other, 0);
    close(other);
    close(dirFd);
}

std::vector<std::string> listing(const char* path, bool use64)
{
    std::vector<std::string> names;
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return {"errno=" + std::to_string(errno)};
    if (use64) {
        while (struct dirent64* entry = readdir64(dir))
            names.push_back(entry->d_name);
    } else {
        while (struct dirent* entry = readdir(dir))
            names.push_back(entry->d_name);
    }
    EXPECT_EQ(closedir(dir), 0);
    return names;
}

TEST_F(DeviceTest, AdminDirectoriesListSortedNames)
{
    const char* names[] = {"b", "B", "a b", "\xff", "a", "aa", "-x", ".hidden"};
    for (const char* name : names)
        addObject(root, SIM_KIND_POOL, name, 6, poolId);
    std::vector<std::string> expected = {".", "..",  "-x", ".hidden", "B",   "P1",
                                         "a", "a b", "aa", "b",       "\xff"};
    EXPECT_EQ(listing("/_admin/Pools/", false), expected);
    EXPECT_EQ(listing("/_admin/Pools", true), expected);
    EXPECT_EQ(listing("/_admin/Volumes/", false), (std::vector<std::string>{".", "..", "V1"}));
    EXPECT_EQ(listing("/_admin/Volumes", true), (std::vector<std::string>{".", "..", "V1"}));
    EXPECT_EQ(listing("/_admin/pools/", false),
              (std::vector<std::string>{"errno=" + std::to_string(ENOENT)}));
}

TEST_F(DeviceTest, AdminDirectoriesNeedASystem)
{
    zapisimUseSystem(nullptr);
    EXPECT_EQ(listing("/_admin/Pools/", false),
              (std::vector<std::string>{"errno=" + std::to_string(ENOENT)}));
    EXPECT_EQ(zapisimUseSystem(base.c_str()), -1);  // a directory, but no system
}

std::vector<std::string> journalLines(const std::string& root)
{
    std::vector<std::string> lines;
    std::string text = readText(root + "/journal");
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(start, text.size()) << "the journal ends with a whole line";
    return lines;
}

std::string hex(const uint8_t* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

TEST_F(DeviceTest, JournalsEveryRequestAsSent)
{
    Block rootRequest = rootBlock();
    rootRequest.bytes[200] = 0x5A;  // a byte no operation reads is still journalled
    std::string rootSent = hex(rootRequest.bytes, 208);
    ASSERT_EQ(send(1000, &rootRequest), 0);
    uint64_t rootKey = rootRequest.get64(16);
    Block open = openBlock(rootKey, "_admin:\\pools\\P1");
    std::string openSent = hex(open.bytes, 208);
    ASSERT_EQ(send(23, &open), 0);
    uint64_t poolKey = open.get64(16);
    uint8_t record[1212] = {};
    Block info = recordBlock(poolKey, 0x40050, record);
    std::string infoSent = hex(info.bytes, 208);
    ASSERT_EQ(send(16, &info), 0);
    Block missing = openBlock(rootKey, "_admin:\\volumes\\NONE");
    std::string missingSent = hex(missing.bytes, 208);
    EXPECT_EQ(send(23, &missing), NO_OBJECT);
    Block shortBlock = closeBlock(poolKey);
    EXPECT_EQ(send(1001, &shortBlock, 20), MALFORMED);
    Block close = closeBlock(poolKey);
    std::string closeSent = hex(close.bytes, 208);
    EXPECT_EQ(closeKey(poolKey), 0);
    EXPECT_EQ(closeKey(poolKey), BAD_KEY);

    std::string rootText = std::to_string(rootKey);
    std::string poolText = std::to_string(poolKey);
    std::vector<std::string> expected = {
        "1000\troot\t0\t0\t-\t" + rootSent,
        "23\tpool:P1\t0\t" + rootText + "\t-\t" + openSent,
        "16\tpool:P1\t0\t" + poolText + "\t0x40050\t" + infoSent,
        "23\tvolume:NONE\tstatus=20202\t" + rootText + "\t-\t" + missingSent,
        // 20 bytes do not reach the end of the key field: no key was sent.
        "1001\t-\tstatus=20200\t0\t-\t" + closeSent.substr(0, 40),
        "1001\tpool:P1\t0\t" + poolText + "\t-\t" + closeSent,
        "1001\t-\tstatus=20201\t" + poolText + "\t-\t" + closeSent,
    };
    EXPECT_EQ(journalLines(root), expected);
}

// The C library's forms and the fortified ones a hardened build calls.
extern "C" void __syslog_chk(int priority, int flag, const char* format, ...);
extern "C" void __vsyslog_chk(int priority, int flag, const char* format, va_list args);

void logThroughVsyslog(bool fortified, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (fortified)
        __vsyslog_chk(LOG_ERR, 1, format, args);
    else
        vsyslog(LOG_INFO | LOG_DAEMON, format, args);
    va_end(args);
}

TEST_F(DeviceTest, SystemLogLinesGoToTheSystemsFile)
{
    openlog("probe", LOG_PID, LOG_AUTHPRIV);
    syslog(LOG_NOTICE, "one %d", 1);
    __syslog_chk(LOG_WARNING, 1, "two %s", "2");
    logThroughVsyslog(true, "three %c", '3');
    openlog("probe", 0, LOG_AUTHPRIV);
    logThroughVsyslog(false, "four");
    const std::string pid = "[" + std::to_string(getpid()) + "]";
    EXPECT_EQ(readText(root + "/syslog"), "authpriv.notice probe" + pid + ": one 1\n" +
                                              "authpriv.warning probe" + pid + ": two 2\n" +
                                              "authpriv.err probe" + pid + ": three 3\n" +
                                              "facility3.info probe: four\n");
}

TEST_F(DeviceTest, JournalCanBeSwitchedOff)
{
    writeText(root + "/journal-off", "");
    restart();
    takeRoot();
    syslog(LOG_NOTICE, "nothing");
    EXPECT_EQ(readText(root + "/journal"), "");
    EXPECT_EQ(readText(root + "/syslog"), "");
}

TEST_F(DeviceTest, FaultRulesFailTheMatchingRequest)
{
    writeText(
        root + "/faults",
        "what=request op=16 status=77 name=5631 nth=2\n"  // V1, second information request
        "what=request op=1001 errno=5 name=5031\n"        // every close of P1
        "what=request op=23 errno=13 name=4e4f4e45\n");   // NONE: the fault wins over NO_OBJECT
    restart();
    uint64_t rootKey = takeRoot();
    uint64_t volumeKey = takeObject(rootKey, "_admin:\\volumes\\V1");
    uint64_t poolKey = takeObject(rootKey, "_admin:\\pools\\P1");
    uint8_t record[1212] = {};
    Block info = recordBlock(volumeKey, 0x10050, record);
    EXPECT_EQ(send(16, &info), 0);
    std::memset(record, 0, sizeof record);
    info = recordBlock(volumeKey, 0x10050, record);
    EXPECT_EQ(send(16, &info), 77);
    EXPECT_EQ(record[416], 0) << "a failed information request leaves the record alone";
    info = recordBlock(volumeKey, 0x10050, record);
    EXPECT_EQ(send(16, &info), 0);
    errno = 0;
    EXPECT_EQ(closeKey(poolKey), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(zapisimHeldKeyCount(), 3u) << "a failed close keeps the key";
    Block open = openBlock(rootKey, "_admin:\\volumes\\NONE");
    errno = 0;
    EXPECT_EQ(send(23, &open), -1);
    EXPECT_EQ(errno, EACCES);
}

}  // namespace
}  // namespace simtest
