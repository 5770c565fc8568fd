// SPDX-License-Identifier: Apache-2.0
#include "harness.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "list_check.h"
#include "temp_dir.h"

namespace e2e {

namespace {

// A run that takes longer than this is killed and reported: the suite must not hang.
constexpr int kProcessTimeoutMs = 20000;

using Clock = std::chrono::steady_clock;

long msSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A pseudo-terminal that passes bytes as they are written (no line feed turned into a
// carriage return and a line feed): *master to read; *child, a pipe's end, closed and
// replaced by the terminal itself. True, or false with errno.
bool openTerminal(int* master, int* child)
{
    *master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (*master < 0 || grantpt(*master) != 0 || unlockpt(*master) != 0)
        return false;
    int terminal = open(ptsname(*master), O_RDWR | O_NOCTTY);
    termios modes{};
    if (terminal < 0 || tcgetattr(terminal, &modes) != 0)
        return false;
    modes.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    if (tcsetattr(terminal, TCSANOW, &modes) != 0)
        return false;
    close(*child);
    *child = terminal;
    return true;
}

void drain(int& fd, std::string& into)
{
    char buffer[4096];
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(fd);
        fd = -1;
    }
}

// A name as zapisim escapes it in show and journal lines (\t, \n, \\ and \xHH written
// out), back to its bytes.
std::string unescapeName(const std::string& text)
{
    std::string name;
    for (size_t at = 0; at < text.size(); ++at) {
        char next = at + 1 < text.size() ? text[at + 1] : '\0';
        if (text[at] != '\\' || next == '\0') {
            name += text[at];
        } else if (next == 'x' && at + 3 < text.size()) {
            name += static_cast<char>(std::stoi(text.substr(at + 2, 2), nullptr, 16));
            at += 3;
        } else {
            name += next == 't' ? '\t' : next == 'n' ? '\n' : next;
            ++at;
        }
    }
    return name;
}

Lines splitTabs(const std::string& line)
{
    Lines fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<uint8_t> fromHex(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

std::string kindOf(const std::string& object)
{
    size_t colon = object.find(':');
    return colon == std::string::npos ? std::string() : object.substr(0, colon);
}

}  // namespace

std::string korvanePath()
{
    return KORVANE_BINARY;
}
std::string zapisimPath()
{
    return ZAPISIM_BINARY;
}

ProcessResult runProcess(const Lines& argv, const StdinFeed* feed, size_t addressSpaceLimit,
                         Terminal terminal)
{
    ProcessResult result;
    int outPipe[2], errPipe[2], inPipe[2] = {-1, -1};
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0 || (feed != nullptr && pipe(inPipe) != 0)) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return result;
    }
    // The terminal takes the place of the pipe's writing end.
    int terminalFd = -1;
    if (terminal != Terminal::None && !openTerminal(&terminalFd, &errPipe[1])) {
        ADD_FAILURE() << "pseudo-terminal: " << std::strerror(errno);
        return result;
    }
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        if (addressSpaceLimit != 0) {
#if defined(__SANITIZE_ADDRESS__)
            // AddressSanitizer reserves terabytes of address space for its shadow at start, so
            // the sanitized build bounds each allocation through the runtime instead.
            const char* options = std::getenv("ASAN_OPTIONS");
            std::string bounded =
                std::string(options != nullptr ? options : "") +
                ":max_allocation_size_mb=" + std::to_string(addressSpaceLimit >> 20);
            setenv("ASAN_OPTIONS", bounded.c_str(), 1);
#else
            rlimit limit{addressSpaceLimit, addressSpaceLimit};
            setrlimit(RLIMIT_AS, &limit);
#endif
        }
        int in = feed != nullptr ? inPipe[0] : open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(terminal == Terminal::Both ? errPipe[1] : outPipe[1], 1);
        dup2(errPipe[1], 2);
        // Only the standard three are passed on: the run's own descriptors then have the
        // same numbers wherever the tests run.
        closefrom(3);
        execv(args[0], args.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    if (feed != nullptr)
        close(inPipe[0]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return result;
    }

    // A child that stops reading must not kill the harness with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    int outFd = outPipe[0], errFd = errPipe[0], inFd = inPipe[1];
    if (terminal != Terminal::None) {
        // The terminal's bytes come from its other side, until it has no process left.
        close(errFd);
        errFd = terminalFd;
    }
    if (terminal == Terminal::Both) {
        close(outFd);
        outFd = -1;
    }
    size_t fed = 0;
    Clock::time_point start = Clock::now();
    Clock::time_point nextPiece = start;
    while (outFd >= 0 || errFd >= 0) {
        if (inFd >= 0 && Clock::now() >= nextPiece) {
            size_t piece = feed->piece == 0 ? feed->data.size() - fed
                                            : std::min(feed->piece, feed->data.size() - fed);
            ssize_t put = piece == 0 ? 0 : write(inFd, feed->data.data() + fed, piece);
            if (put > 0)
                fed += static_cast<size_t>(put);
            if (put < 0 && errno != EINTR)
                fed = feed->data.size();
            if (fed >= feed->data.size()) {
                close(inFd);
                inFd = -1;
            }
            nextPiece = Clock::now() + std::chrono::milliseconds(feed->pauseMs);
        }
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        int wait = inFd >= 0 ? feed->pauseMs : 200;
        poll(fds, 2, wait);
        if (outFd >= 0 && fds[0].revents != 0)
            drain(outFd, result.out);
        if (errFd >= 0 && fds[1].revents != 0)
            drain(errFd, terminal == Terminal::Both ? result.out : result.err);
        if (msSince(start) > kProcessTimeoutMs) {
            result.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
    }
    for (int fd : {outFd, errFd, inFd}) {
        if (fd >= 0)
            close(fd);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    EXPECT_FALSE(result.timedOut) << argv[0] << " was killed after " << kProcessTimeoutMs << " ms";
    return result;
}

std::string makeSystem()
{
    std::string dir = testdir::makeTempDir("korvane-e2e");
    if (dir.empty()) {
        ADD_FAILURE() << "mkdtemp: " << std::strerror(errno);
        return "";
    }
    zapisim("init", dir + "/system");
    return dir;
}

void removeTree(const std::string& dir)
{
    testdir::removeTree(dir);
}

ProcessResult zapisim(const std::string& sub, const std::string& dir, const Lines& args)
{
    Lines argv = {zapisimPath(), sub, dir};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult result = runProcess(argv);
    if (result.exitStatus != 0) {
        std::string line;
        for (const std::string& arg : argv)
            line += " " + arg;
        ADD_FAILURE() << "zapisim failed (" << result.exitStatus << "):" << line << "\n"
                      << result.out << result.err;
    }
    return result;
}

std::vector<SimObject> showObjects(const std::string& dir)
{
    std::vector<SimObject> objects;
    std::istringstream lines(zapisim("show", dir).out);
    std::string line;
    while (std::getline(lines, line)) {
        Lines fields = splitTabs(line);
        if (fields.size() != 4) {
            ADD_FAILURE() << "zapisim show line of unknown shape: " << line;
            continue;
        }
        objects.push_back(
            {fields[0], unescapeName(fields[1]), std::atoi(fields[2].c_str()), fields[3]});
    }
    return objects;
}

Journal readJournal(const std::string& dir)
{
    Journal journal;
    std::istringstream lines(zapisim("journal", dir).out);
    std::string line;
    while (std::getline(lines, line)) {
        Lines fields = splitTabs(line);
        if (fields.size() == 2 && fields[0] == "exit") {
            journal.exits.push_back(std::atol(fields[1].c_str()));
        } else if (fields.size() == 3 && fields[0] == "held") {
            journal.held.push_back(fields[1] + " " + fields[2]);
        } else if (fields.size() == 6) {
            JournalRequest request;
            request.op = std::atol(fields[0].c_str());
            request.object = unescapeName(fields[1]);
            request.result = fields[2];
            request.key = fields[3];
            request.hasMask = fields[4] != "-";
            if (request.hasMask)
                request.mask = std::strtoull(fields[4].c_str(), nullptr, 16);
            request.block = fromHex(fields[5]);
            journal.requests.push_back(request);
        } else {
            journal.unparsed.push_back(line);
        }
    }
    return journal;
}

Lines takeSystemLog(const std::string& dir)
{
    const std::string path = dir + "/syslog";
    std::istringstream lines(readFile(path));
    std::remove(path.c_str());
    Lines log;
    for (std::string line; std::getline(lines, line);) {
        size_t open = line.find('[');
        size_t close = line.find("]: ");
        if (open != std::string::npos && close != std::string::npos && open < close) {
            line.replace(open + 1, close - open - 1, "PID");
        }
        log.push_back(line);
    }
    return log;
}

Lines korvaneCommand(const std::string& dir, const Lines& args)
{
    Lines argv = {zapisimPath(), "run", dir, "--"};
    // KORVANE_TEST_WRAPPER: words that go before korvane's path, such as the valgrind
    // command line of make memcheck.
    const char* wrapperWords = std::getenv("KORVANE_TEST_WRAPPER");
    std::istringstream wrapper(wrapperWords != nullptr ? wrapperWords : "");
    for (std::string word; wrapper >> word;)
        argv.push_back(word);
    argv.push_back(korvanePath());
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

ProcessResult runKorvane(const std::string& dir, const Lines& args, const StdinFeed* feed,
                         size_t addressSpaceLimit, Terminal terminal)
{
    return runProcess(korvaneCommand(dir, args), feed, addressSpaceLimit, terminal);
}

Stopped startUntilStopped(const Lines& argv, const std::string& outPath)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    Stopped process{fork(), -1, outPath};
    if (process.pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open((outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0) {
            _exit(126);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    while (process.pid > 0 && waitpid(process.pid, &status, WUNTRACED) < 0 && errno == EINTR) {
    }
    if (process.pid < 0 || !WIFSTOPPED(status)) {
        ADD_FAILURE() << argv[0] << " ended before it stopped: " << readFile(outPath)
                      << readFile(outPath + ".err");
        process.pid = -1;
    }
    std::string pid = std::to_string(process.pid);
    std::string children = readFile("/proc/" + pid + "/task/" + pid + "/children");
    process.commandPid = children.empty() ? process.pid : std::stoi(children);
    return process;
}

ProcessResult endStopped(const Stopped& process, int signal)
{
    ProcessResult result;
    if (process.pid <= 0)
        return result;
    // zapisim run passes on how its command ended, and lets it go on when it goes on.
    if (signal == SIGKILL && process.commandPid != process.pid) {
        kill(process.commandPid, SIGKILL);
        signal = SIGCONT;
    }
    kill(process.pid, signal);
    int status = 0;
    while (waitpid(process.pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readFile(process.outPath);
    result.err = readFile(process.outPath + ".err");
    return result;
}

std::string unreachableBy(uid_t user)
{
    const std::string library =
        std::filesystem::path(zapisimPath()).parent_path() / "libzapisim.so";
    const std::pair<std::string, int> needed[] = {{library, R_OK}, {korvanePath(), X_OK}};
    for (const auto& [path, mode] : needed) {
        pid_t pid = fork();
        if (pid == 0) {
            bool reached = setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0 &&
                           access(path.c_str(), mode) == 0;
            _exit(reached ? 0 : 1);
        }
        int status = -1;
        while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return "user " + std::to_string(user) + " cannot reach " + path +
                   ": korvane would not run under the simulator";
    }
    return "";
}

ProcessResult runShell(const std::string& dir, const std::string& script)
{
    std::string text = script;
    for (size_t at = text.find("{korvane}"); at != std::string::npos; at = text.find("{korvane}"))
        text.replace(at, 9, korvanePath());
    return runProcess({zapisimPath(), "run", dir, "--", "/bin/sh", "-c", text});
}

ProcessResult stopWhenAsleep(const std::string& dir, const std::string& prepare,
                             const std::string& start, const std::string& stop)
{
    return runShell(dir,
                    prepare + " && { " + start +
                        " & } && pid=$! && alive=\"grep -qs ^State:.[RSD] /proc/$pid/status\" && "
                        "for i in $(seq 100); do $alive || break; grep -qs sleeping "
                        "/proc/$pid/status && break; sleep 0.05; done; " +
                        stop +
                        "; for i in $(seq 50); do $alive || break; sleep 0.1; done; "
                        "kill -KILL $pid 2>/dev/null; wait $pid; echo $?");
}

Lines requestSequence(const Journal& journal)
{
    Lines sequence;
    for (const JournalRequest& request : journal.requests) {
        sequence.push_back(std::to_string(request.op) + " " + request.object + " " +
                           request.result);
    }
    return sequence;
}

void checkJournalHygiene(const Journal& journal)
{
    EXPECT_TRUE(journal.unparsed.empty())
        << "journal lines of unknown shape, first: " << journal.unparsed.front();
    EXPECT_FALSE(journal.exits.empty()) << "no process exit in the journal";
    for (long held : journal.exits) {
        EXPECT_EQ(held, 0) << "keys left open at exit";
    }
    EXPECT_TRUE(journal.held.empty())
        << "held: " << (journal.held.empty() ? "" : journal.held.front());
    for (const JournalRequest& request : journal.requests) {
        std::string where = std::to_string(request.op) + " " + request.object;
        std::string kind = kindOf(request.object);
        if (request.op == 16) {
            EXPECT_EQ(request.mask, kind == "pool" ? 0x40050u : 0x10050u) << where;
        } else if (request.op == 22) {
            EXPECT_EQ(request.mask, kind == "pool" ? 0x400000u : 0x10000u) << where;
        } else {
            EXPECT_FALSE(request.hasMask) << where;
        }
        // Every block is cleared before it is filled: what no operation writes is zero.
        ASSERT_EQ(request.block.size(), 208u) << where;
        for (size_t i = 0; i < 80; ++i) {
            bool written = i == 4 || (i >= 16 && i < 24) || (i >= 40 && i < 56);
            if (!written) {
                EXPECT_EQ(request.block[i], 0) << where << " byte " << i;
            }
        }
    }
}

Lines getRequests(const std::string& kind, const std::string& name)
{
    std::string object = kind + ":" + name;
    return {"1000 root 0", "23 " + object + " 0", "16 " + object + " 0", "1001 root 0",
            "1001 " + object + " 0"};
}

Lines putRequests(const std::string& kind, const std::string& name)
{
    std::string object = kind + ":" + name;
    return {"1000 root 0",         "23 " + object + " 0",   "16 " + object + " 0",
            "22 " + object + " 0", "1001 " + object + " 0", "1001 root 0"};
}

Lines getInfoStop(const std::string& kind, const std::string& name, const std::string& result)
{
    std::string object = kind + ":" + name;
    return {"1000 root 0", "23 " + object + " 0", "16 " + object + " " + result, "1001 root 0",
            "1001 " + object + " 0"};
}

Lines putInfoStop(const std::string& kind, const std::string& name, const std::string& result)
{
    std::string object = kind + ":" + name;
    return {"1000 root 0", "23 " + object + " 0", "16 " + object + " " + result,
            "1001 " + object + " 0", "1001 root 0"};
}

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string testId(unsigned n)
{
    char text[64];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x-%02x-%012llx", 0x1a2b0000u + n,
                  0xc000u + n, 0x4e00u + (n & 0xff), 0x80u + (n & 0x7f), n & 0xff,
                  0x5eed00000000ull + n);
    return text;
}

std::string listFile(const std::string& kind,
                     const std::vector<std::pair<std::string, std::string>>& pairs)
{
    std::string root = kind == "pool" ? "listPools" : "listVolumes";
    std::string name = kind == "pool" ? "poolName" : "volumeName";
    std::string id = kind == "pool" ? "poolGUID" : "volumeGUID";
    std::string text = "<" + root + ">\n";
    for (const auto& [objectName, objectId] : pairs) {
        text += "\t<" + name + ">" + objectName + "</" + name + ">\n\t\t<" + id + ">" + objectId +
                "</" + id + ">" +
                listcheck::comment(kind == "pool" ? POOL_KIND : VOLUME_KIND, objectName, objectId) +
                "\n";
    }
    return text + "</" + root + ">";
}

std::string idChanged(const std::string& object, const std::string& from, const std::string& to)
{
    return object + " changed its ID since the last list: " + from + " -> " + to;
}

std::string progress(const std::string& lead, unsigned done, unsigned total)
{
    return "\rkorvane: " + lead + ": " + std::to_string(done) + " of " + std::to_string(total);
}

std::string blanked(const std::string& lead, unsigned done, unsigned total)
{
    std::string line = progress(lead, done, total);
    return line + "\r" + std::string(line.size() + 1, ' ') + "\r";
}

std::string withPath(std::string text, const std::string& path)
{
    for (size_t at = text.find("{path}"); at != std::string::npos;
         at = text.find("{path}", at + path.size())) {
        text.replace(at, 6, path);
    }
    return text;
}

Lines withPath(Lines lines, const std::string& path)
{
    for (std::string& line : lines)
        line = withPath(line, path);
    return lines;
}

std::string readFile(const std::string& path, bool* exists)
{
    std::ifstream in(path, std::ios::binary);
    if (exists != nullptr)
        *exists = in.is_open();
    if (!in.is_open())
        return "";
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

void writeFile(const std::string& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << data;
    ASSERT_TRUE(static_cast<bool>(out)) << "cannot write " << path;
}

std::vector<ObjectSpec> mixedSystem()
{
    return {{"pool", "P1", 6, testId(11)},
            {"pool", "P2", 6, testId(12)},
            {"volume", "V1", 6, testId(1)},
            {"volume", "V2", 6, testId(2)},
            {"volume", "V3", 6, testId(3)}};
}

Lines describe(const std::vector<SimObject>& objects)
{
    Lines lines;
    for (const SimObject& object : objects) {
        lines.push_back(object.kind + " " + object.name + " " + std::to_string(object.state) + " " +
                        object.id);
    }
    return lines;
}

Lines expectedObjects(const std::vector<ObjectSpec>& created,
                      const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<ObjectSpec> sorted = created;
    std::stable_sort(sorted.begin(), sorted.end(), [](const ObjectSpec& a, const ObjectSpec& b) {
        if (a.kind != b.kind)
            return a.kind == "pool";
        return a.name < b.name;
    });
    Lines lines;
    for (ObjectSpec& object : sorted) {
        for (const auto& [name, id] : changes) {
            if (name == object.name)
                object.id = id;
        }
        lines.push_back(object.kind + " " + object.name + " " + std::to_string(object.state) + " " +
                        object.id);
    }
    return lines;
}

void EndToEnd::SetUp()
{
    root = makeSystem();
    ASSERT_FALSE(root.empty());
    // As korvane names files in the system log: by their absolute path, links resolved.
    root = std::filesystem::canonical(root).string();
    sys = root + "/system";
}

void EndToEnd::TearDown()
{
    removeTree(root);
}

void EndToEnd::add(const ObjectSpec& object)
{
    Lines args = {object.kind, object.name, "--state", std::to_string(object.state)};
    if (!object.id.empty())
        args.insert(args.end(), {"--id", object.id});
    zapisim("add", sys, args);
}

void EndToEnd::addAll(const std::vector<ObjectSpec>& objects)
{
    for (const ObjectSpec& object : objects)
        add(object);
}

void EndToEnd::fail(const Lines& args)
{
    zapisim("fail", sys, args);
}

void EndToEnd::failAll(const std::vector<Lines>& faults, const std::string& path)
{
    for (Lines args : faults) {
        for (std::string& arg : args)
            arg = withPath(arg, path);
        fail(args);
    }
}

Outcome EndToEnd::run(const Lines& args, const StdinFeed* feed, size_t addressSpaceLimit)
{
    zapisim("journal", sys, {"--clear"});
    takeSystemLog(sys);
    Outcome outcome;
    outcome.process = runKorvane(sys, args, feed, addressSpaceLimit, terminal);
    terminal = Terminal::None;
    zapisim("fail", sys, {"clear"});
    outcome.journal = readJournal(sys);
    outcome.log = takeSystemLog(sys);
    outcome.requests = requestSequence(outcome.journal);
    outcome.objects = showObjects(sys);
    EXPECT_EQ(outcome.process.signal, 0) << "korvane was killed by a signal";
    // Standard error is for the messages of a get whose list goes to standard output.
    const std::string last = args.empty() ? "" : args.back();
    bool listOnStandardOutput =
        !args.empty() && args[0] == "get" &&
        (last == "-" || last.ends_with("stdout") || last.ends_with("/fd/1"));
    // A put that went through ends by saying what it did, as its closing line in the system
    // log says it.
    if (!args.empty() && strcasecmp(args[0].c_str(), "put") == 0 &&
        outcome.process.exitStatus == 0 && !outcome.log.empty()) {
        const std::string& closing = outcome.log.back();
        expectedErr += "korvane: " + closing.substr(closing.find("]: ") + 3) + "\n";
    }
    if (!listOnStandardOutput) {
        EXPECT_EQ(outcome.process.err, expectedErr);
    }
    expectedErr.clear();
    if (!args.empty() && strcasecmp(args[0].c_str(), "diff") == 0) {
        EXPECT_EQ(outcome.log, Lines{}) << "diff wrote to the system log";
    }
    checkJournalHygiene(outcome.journal);
    return outcome;
}

}  // namespace e2e
