// SPDX-License-Identifier: Apache-2.0
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "id_list.h"
#include "temp_dir.h"
#include "workflows.h"

// The writer's write and close calls come through here. Disarmed they go straight to
// the kernel; armed they count calls, cut writes short, interrupt them or fail a close,
// which a regular file cannot be made to do on demand.
namespace {
struct Shim {
    bool armed;
    size_t cap;         // at most this many bytes per write; 0: no cap
    bool interruptOdd;  // every odd-numbered write fails with EINTR before storing
    int closeErrno;     // close closes, then fails with this; 0: close as usual
    int writeCalls;
} shim;
}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t length)
{
    if (shim.armed) {
        if (++shim.writeCalls % 2 == 1 && shim.interruptOdd) {
            errno = EINTR;
            return -1;
        }
        if (shim.cap != 0 && length > shim.cap) {
            length = shim.cap;
        }
    }
    return static_cast<ssize_t>(syscall(SYS_write, fd, data, length));
}

extern "C" int close(int fd)
{
    int result = static_cast<int>(syscall(SYS_close, fd));
    if (result == 0 && shim.armed && shim.closeErrno != 0) {
        errno = shim.closeErrno;
        return -1;
    }
    return result;
}

namespace {

constexpr const char* idText = "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a";

void fillList(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        auto* node = static_cast<NameGUIDList_s*>(calloc(1, sizeof(NameGUIDList_s)));
        strcpy(node->name, name.c_str());
        strcpy(node->guidText, idText);
        appendNode(node);
    }
}

int listLength()
{
    int count = 0;
    for (NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        ++count;
    }
    return count;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The file opened, the list written and the file completed, as get does.
int writeTo(const ObjectKind_s& kind, const std::string& path)
{
    static OutputFile_s output;
    bool kept = false;
    if (openListFile(path.c_str(), &output) != 0 ||
        writeGUIDToFile(kind, &output, path.c_str()) != 0)
        return -1;
    return commitListFile(&output, path.c_str(), 0, &kept);
}

class Writer : public testing::Test {
   protected:
    void SetUp() override
    {
        dir = testdir::makeTempDir("korvane-writer");
        ASSERT_NE(dir, "");
        path = dir + "/ids.xml";
    }
    void TearDown() override
    {
        shim = Shim{};
        discardList();
        testdir::removeTree(dir);
    }
    // Runs the writer on `target` and returns what it printed.
    std::string run(const std::string& target, int* result)
    {
        testing::internal::CaptureStdout();
        *result = writeTo((kind == 1) ? POOL_KIND : VOLUME_KIND, target);
        return testing::internal::GetCapturedStdout();
    }
    int32_t kind = 1;  // the kind the list is written as: 1 pools, else volumes
    std::string dir;
    std::string path;
};

struct FileCase {
    int32_t kind;
    std::vector<std::string> names;
    const char* content;
};

class WriterFile : public Writer, public testing::WithParamInterface<FileCase> {};

TEST_P(WriterFile, WritesHeaderRecordsInListOrderAndTrailerOnly)
{
    const FileCase& c = GetParam();
    kind = c.kind;
    fillList(c.names);
    shim.armed = true;
    int result = 0;
    EXPECT_EQ(run(path, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shim.writeCalls, static_cast<int>(c.names.size()) + 2);  // one per piece
    EXPECT_EQ(readFile(path), c.content);
    EXPECT_EQ(listLength(), static_cast<int>(c.names.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WriterFile,
    testing::Values(FileCase{1,
                             {"P"},
                             "<listPools>\n\t<poolName>P</poolName>\n\t\t<poolGUID>"
                             "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</poolGUID> <!-- check 75c23292 "
                             "-->\n</listPools>"},
                    FileCase{0,
                             {"P"},
                             "<listVolumes>\n\t<volumeName>P</volumeName>\n\t\t<volumeGUID>"
                             "d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</volumeGUID> <!-- check "
                             "682c6a37 -->\n</listVolumes>"},
                    // names are written unescaped; any kind but 1 is volumes
                    FileCase{7,
                             {"V<1>", "a&b"},
                             "<listVolumes>\n"
                             "\t<volumeName>V<1></volumeName>\n"
                             "\t\t<volumeGUID>d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</volumeGUID>"
                             " <!-- check 6ddae5b0 -->\n"
                             "\t<volumeName>a&b</volumeName>\n"
                             "\t\t<volumeGUID>d4c3b2a1-f6e5-b8a7-c9-da-ebfc0d1e2f3a</volumeGUID>"
                             " <!-- check 48ba4b5c -->\n"
                             "</listVolumes>"}));

TEST_F(Writer, FileSizeFollowsTheRecordCountAndNameLengths)
{
    const std::string longest(255, 'n');
    const std::vector<std::string> names = {"P", "pool_2", longest, "x y", longest};
    for (int32_t each : {1, 0}) {
        for (size_t n = 1; n <= names.size(); ++n) {
            kind = each;
            std::vector<std::string> some(names.begin(), names.begin() + static_cast<long>(n));
            fillList(some);
            size_t expected = (kind == 1) ? 24 + 108 * n : 28 + 116 * n;
            for (const std::string& name : some) {
                expected += name.size();
            }
            int result = 0;
            run(path, &result);
            ASSERT_EQ(result, 0);
            std::string content = readFile(path);
            EXPECT_EQ(content.size(), expected) << "kind " << kind << " n " << n;
            EXPECT_EQ(content.back(), '>');
            discardList();
        }
    }
}

TEST_F(Writer, ExistingFileIsReplacedKeepingItsPermissions)
{
    {
        std::ofstream old(path);
        old << std::string(1000, 'o');
    }
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    fillList({"P"});
    int result = 0;
    run(path, &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readFile(path).size(), 133u);
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);

    // a new file gets 0644 less the creation mask
    mode_t previous = umask(0);
    fillList({"P"});
    run(dir + "/new.xml", &result);
    umask(previous);
    ASSERT_EQ(stat((dir + "/new.xml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST_F(Writer, EmptyListLeavesAnExistingFileAlone)
{
    fillList({"P"});
    int result = 0;
    run(path, &result);
    ASSERT_EQ(result, 0);
    discardList();
    const std::string written = readFile(path);
    for (int32_t each : {1, 0}) {  // same words for pools
        kind = each;
        EXPECT_EQ(run(path, &result), "List is empty, There are no Volumes\n");
        EXPECT_EQ(result, -1);
        EXPECT_EQ(readFile(path), written);
    }
    EXPECT_EQ(run(dir + "/absent.xml", &result), "List is empty, There are no Volumes\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/absent.xml"));
}

TEST_F(Writer, OpenFailureInAMissingDirectoryKeepsTheList)
{
    fillList({"P1", "P2"});
    NameGUIDList_s* head = listHead;
    int result = 0;
    EXPECT_EQ(run(dir + "/missing/ids.xml", &result), "Open failed, error : 2\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(listHead, head);
    EXPECT_EQ(listLength(), 2);
}

// A file opened before it was known to be one never to write, as the admin device is once
// the first request has opened it: refused at the first write, and let go.
TEST_F(Writer, FileRefusedOnceOpenIsNotWritten)
{
    fillList({"P"});
    OutputFile_s output;
    ASSERT_EQ(openListFile("/dev/zero", &output), 0);
    struct stat zero {};
    ASSERT_EQ(stat("/dev/zero", &zero), 0);
    refuseOutputInto(&zero);
    testing::internal::CaptureStdout();
    EXPECT_EQ(writeGUIDToFile(POOL_KIND, &output, "/dev/zero"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The list file cannot be the admin device \"/dev/zero\"\n");
    EXPECT_EQ(output.fd, -1);
}

TEST_F(Writer, HeaderWriteFailureReportsTheWritesOwnErrorNumber)
{
    fillList({"P1", "P2"});
    int result = 0;
    EXPECT_EQ(run("/dev/full", &result), "1:Write failed, ccode = -1, error = 28\n");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(listLength(), 2);

    // a failing close afterwards must not replace the number
    shim.armed = true;
    shim.closeErrno = EBADF;
    EXPECT_EQ(run("/dev/full", &result), "1:Write failed, ccode = -1, error = 28\n");
    EXPECT_EQ(listLength(), 2);
}

TEST_F(Writer, CloseFailureIsReportedAfterTheWholeFile)
{
    fillList({"P"});
    shim.armed = true;
    shim.closeErrno = EIO;
    int result = 0;
    EXPECT_EQ(run(path, &result), "close failed, ccode = -1, error = 5\n");
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(std::filesystem::is_empty(dir));  // neither the file nor its temporary file
}

struct ShimCase {
    size_t cap;
    bool interruptOdd;
};

class WriterRetry : public Writer, public testing::WithParamInterface<ShimCase> {};

TEST_P(WriterRetry, ShortAndInterruptedWritesAreCompleted)
{
    fillList({"P1", "pool two", "P3"});
    int result = 0;
    run(path, &result);
    const std::string expected = readFile(path);
    std::filesystem::remove(path);

    shim.armed = true;
    shim.cap = GetParam().cap;
    shim.interruptOdd = GetParam().interruptOdd;
    EXPECT_EQ(run(path, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_GT(shim.writeCalls, 5);
    EXPECT_EQ(readFile(path), expected);
}

INSTANTIATE_TEST_SUITE_P(Shims, WriterRetry,
                         testing::Values(ShimCase{1, false}, ShimCase{7, false}, ShimCase{0, true},
                                         ShimCase{5, true}));

// Writes into a file limited to `limit` bytes (SIGXFSZ ignored, so the write past the
// limit fails with EFBIG), in a child whose standard output comes back through a pipe.
struct LimitCase {
    rlim_t limit;
    const char* output;
};

class WriterLimit : public Writer, public testing::WithParamInterface<LimitCase> {};

TEST_P(WriterLimit, FailedWriteIsReportedWithTheListAsFarAsBuilt)
{
    const LimitCase& c = GetParam();
    fillList({"P1", "P2", "P3"});  // 12 + 3 * 110 + 12 bytes
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    fflush(stdout);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{c.limit, c.limit};
        setrlimit(RLIMIT_FSIZE, &limit);
        int result = writeTo(POOL_KIND, path);
        fflush(stdout);
        _exit((result == -1 ? 1 : 0) | listLength() << 1);
    }
    close(out[1]);
    std::string output;
    char buffer[256];
    for (ssize_t got; (got = read(out[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<size_t>(got));
    }
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(output, c.output);
    EXPECT_EQ(WEXITSTATUS(status), 1 | 3 << 1);  // the list left whole
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

INSTANTIATE_TEST_SUITE_P(
    Limits, WriterLimit,
    testing::Values(LimitCase{5, "1:Write failed, ccode = -1, error = 27\n"},
                    LimitCase{12 + 110, "2:Write failed, ccode = -1, error = 27\n"},
                    // a record cut short is completed, and the rest of it is what fails
                    LimitCase{12 + 110 + 40, "2:Write failed, ccode = -1, error = 27\n"},
                    LimitCase{12 + 3 * 110, "3:write failed, ccode = -1, error = 27\n"},
                    // a trailer cut short never leaves a truncated file behind a success
                    LimitCase{12 + 3 * 110 + 11, "3:write failed, ccode = -1, error = 27\n"}));

}  // namespace
