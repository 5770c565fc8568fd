// SPDX-License-Identifier: Apache-2.0
// The list reader's parser end to end: XMLParser on arbitrary bytes, then GUIDModify on the
// list it built, once as a pool file and once as a volume file, with the simulated storage
// system in this process (a few active and inactive pools and volumes whose names the seeds
// use, so parses that succeed go on to real modify requests). After every run: no key
// held, the list consistent (then emptied here), every node within its widths, no name in
// two nodes of an accepted file, and when the parser refused the file, not a single
// request reached the device and the refusal names a line of the file (but for a missing
// root). Requests that did reach it must all be well formed (the device refuses malformed
// blocks and unknown keys). The same input also edits a list file written as get writes it,
// once, and no name may then come out with another's ID.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "id_list.h"
#include "workflows.h"
#include "zapisim.h"

extern char** environ;

namespace {

std::string systemDir;
std::string journalPath;
int captureFd = -1;

void check(bool condition, const char* what)
{
    if (!condition) {
        fprintf(stderr, "parser_fuzz: %s\n", what);
        abort();
    }
}

void runZapisim(const char* const* words)
{
    char* argv[16];
    size_t count = 0;
    argv[count++] = const_cast<char*>(ZAPISIM_BINARY);
    for (; words[count - 1] != nullptr && count < 15; ++count) {
        argv[count] = const_cast<char*>(words[count - 1]);
    }
    argv[count] = nullptr;
    pid_t pid = 0;
    check(posix_spawn(&pid, ZAPISIM_BINARY, nullptr, nullptr, argv, environ) == 0, "spawn zapisim");
    int status = 0;
    check(waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0,
          "zapisim failed");
}

void addObject(const char* kind, const char* name, const char* state)
{
    const char* words[] = {"add", systemDir.c_str(), kind, name, "--state", state, nullptr};
    runZapisim(words);
}

// Standard output goes into a memory file, read back after each run.
std::string takeOutput()
{
    fflush(stdout);
    std::string output;
    char chunk[4096];
    off_t at = 0;
    for (;;) {
        ssize_t got = pread(captureFd, chunk, sizeof chunk, at);
        if (got <= 0) {
            break;
        }
        output.append(chunk, static_cast<size_t>(got));
        at += got;
    }
    check(ftruncate(captureFd, 0) == 0, "ftruncate capture");
    check(lseek(1, 0, SEEK_SET) == 0, "lseek capture");
    return output;
}

std::string takeJournal()
{
    std::string journal;
    int fd = open(journalPath.c_str(), O_RDONLY);
    if (fd >= 0) {
        char chunk[4096];
        ssize_t got = 0;
        while ((got = read(fd, chunk, sizeof chunk)) > 0) {
            journal.append(chunk, static_cast<size_t>(got));
        }
        close(fd);
        check(truncate(journalPath.c_str(), 0) == 0, "truncate journal");
    }
    // The system log lines beside it would only grow from run to run.
    (void)unlink((systemDir + "/syslog").c_str());
    return journal;
}

bool hasSpace(const char* text)
{
    for (; *text != '\0'; ++text) {
        unsigned char c = static_cast<unsigned char>(*text);
        if (c == ' ' || (c >= '\t' && c <= '\r')) {
            return true;
        }
    }
    return false;
}

// Walks listHead..listTail (no cycle, the tail is the last node), checks each node's
// texts and frees them all. Returns the number of nodes.
size_t drainList(size_t limit)
{
    size_t count = 0;
    NameGUIDList_s* last = nullptr;
    for (NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        check(++count <= limit, "list longer than the file allows (cycle?)");
        size_t nameLength = strnlen(node->name, sizeof node->name);
        size_t guidLength = strnlen(node->guidText, sizeof node->guidText);
        check(nameLength > 0 && nameLength < sizeof node->name, "node name width");
        check(guidLength < sizeof node->guidText, "node ID text width");
        check(!hasSpace(node->name) && !hasSpace(node->guidText), "white space left in a node");
        last = node;
    }
    check(count == 0 || listTail == last, "listTail is not the last node");
    while (listHead != nullptr) {
        free(takeFirstNode());
    }
    check(listHead == nullptr && listTail == nullptr, "list not empty after draining");
    return count;
}

// True when two nodes of the list carry the same name.
bool nameListedTwice()
{
    std::set<std::string> names;
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        if (!names.insert(node->name).second) {
            return true;
        }
    }
    return false;
}

void parseAs(int32_t kind, const uint8_t* data, size_t size)
{
    // The reader's buffer: the file bytes and a zero, in a block of exactly that size.
    char* buffer = static_cast<char*>(malloc(size + 1));
    memcpy(buffer, data, size);
    buffer[size] = '\0';

    const ObjectKind_s& record = (kind == 1) ? POOL_KIND : VOLUME_KIND;
    int result = XMLParser(record, buffer, static_cast<uint32_t>(size));
    free(buffer);
    bool parsed = result == 0;
    if (parsed) {
        check(!nameListedTwice(), "an accepted file names an object twice");
        result = GUIDModify(record, "fuzz.xml", nullptr);
    }

    std::string output = takeOutput();
    std::string journal = takeJournal();
    check(zapisimHeldKeyCount() == 0, "a key is still held");
    // Every node needs at least its two elements' tags in the file.
    size_t left = drainList(size / 8 + 1);

    size_t refusal = output.find("XMLParser: ");
    bool refused = refusal != std::string::npos;
    // A refusal names a line of the file, except for a missing root.
    unsigned line = 0;
    int lineEnd = 0;
    const char* text = output.c_str() + (refused ? refusal + strlen("XMLParser: ") : 0);
    check(!refused || output.find(" not found \n") != std::string::npos ||
              (sscanf(text, "line %u: %n", &line, &lineEnd) == 1 && lineEnd > 0 && line >= 1 &&
               line <= 1 + static_cast<size_t>(std::count(data, data + size, '\n'))),
          "a refusal without the line of the file it stands on");
    bool applied = parsed && result != 0;
    if (refused) {
        check(result == -1, "refused file without -1");
        check(!applied, "refused file reached GUIDModify");
        check(journal.empty(), "a request reached the device for a refused file");
    } else {
        check(left == 0 || result != 0, "nodes left after success");
        check(result == 0 || applied, "failure without a message");
        check(!applied || output.find("List is Empty") != std::string::npos ||
                  output.find("Stopped at ") != std::string::npos,
              "a stopped walk that does not say where");
    }
    if (result == 0) {
        check(output.find("Failed") == std::string::npos, "success with a failure message");
    }
    // The device refuses malformed blocks (20200) and unknown keys (20201).
    check(journal.find("\tstatus=20200\t") == std::string::npos, "malformed request");
    check(journal.find("\tstatus=20201\t") == std::string::npos, "request with a bad key");
}

// The check comment at the end of an ID line, damaged as a hand or a tool may: a byte
// before it, another comment before it, its digits in upper case, a digit lost. None of
// these may turn it off.
void damageCheck(std::string* line, unsigned damage)
{
    size_t at = line->find(" <!-- check ");
    size_t digits = at + strlen(" <!-- check ");
    if (damage == 1) {
        (*line)[at] = '.';
    } else if (damage == 2) {
        line->insert(at, " <!-- restored -->");
    } else if (damage == 3) {
        std::transform(line->begin() + digits, line->begin() + digits + 8, line->begin() + digits,
                       [](char c) { return static_cast<char>(toupper(c)); });
    } else if (damage == 4) {
        line->erase(digits, 1);
    }
}

// A list file as get writes it, of two to five pairs whose IDs come from the input, with
// one edit that a slip of the hand or the backup medium makes, chosen by the input: two ID
// lines swapped, two name lines swapped, one hex digit of an ID changed, one byte of a name
// changed; the checks of both pairs edited may be damaged as well. (Arbitrary bytes prove
// nothing here: anyone can compute a CRC-32.) Whatever the reader accepts must pair each
// name only with the ID it stood with, checked, before the edit.
void parseEditedList(const uint8_t* data, size_t size)
{
    if (size < 5) {
        return;
    }
    const ObjectKind_s& kind = (data[0] & 1) ? POOL_KIND : VOLUME_KIND;
    unsigned edit = (data[0] >> 1) % 4;
    unsigned damage = (data[0] >> 3) % 5;
    size_t pairs = 2 + data[1] % 4;
    size_t first = data[2] % pairs;
    size_t second = (first + 1 + data[3] % (pairs - 1)) % pairs;
    uint8_t byte = data[4];

    std::set<std::pair<std::string, std::string>> written;
    std::string nameLines[5];
    std::string idLines[5];
    for (size_t at = 0; at < pairs; ++at) {
        char name[8];
        snprintf(name, sizeof name, "%c%zu", kind.word[0], at + 1);
        GUID id;
        for (size_t offset = 0; offset < sizeof id; ++offset) {
            size_t from = 5 + at * sizeof id + offset;
            reinterpret_cast<uint8_t*>(&id)[offset] = (from < size) ? data[from] : uint8_t(at);
        }
        char text[GUID_TEXT_SIZE];
        LB_GUIDToString(&id, text);
        char check[32];
        snprintf(check, sizeof check, CHECK_FORMAT, pairCheck(kind, name, &id));
        written.insert({name, std::string(reinterpret_cast<const char*>(&id), sizeof id)});
        nameLines[at] =
            std::string("\t<") + kind.nameElement + ">" + name + "</" + kind.nameElement + ">\n";
        idLines[at] = std::string("\t\t<") + kind.guidElement + ">" + text + "</" +
                      kind.guidElement + ">" + check + "\n";
    }
    damageCheck(&idLines[first], damage);
    damageCheck(&idLines[second], damage);
    if (edit == 0) {
        std::swap(idLines[first], idLines[second]);
    } else if (edit == 1) {
        std::swap(nameLines[first], nameLines[second]);
    } else if (edit == 2) {
        // Digit `byte % 32` of the text, passing over the hyphens; any hex digit in its place.
        size_t at = idLines[first].find('>') + 1;
        for (size_t digits = byte % 32;; ++at) {
            if (idLines[first][at] != '-' && digits-- == 0) {
                break;
            }
        }
        idLines[first][at] = "0123456789abcdefABCDEF"[byte % 22];
    } else {
        size_t at = nameLines[first].find('>') + 1 + second % 2;
        nameLines[first][at] = static_cast<char>(byte);
    }
    std::string text = std::string("<") + kind.rootElement + ">\n";
    for (size_t at = 0; at < pairs; ++at) {
        text += nameLines[at] + idLines[at];
    }
    text += std::string("</") + kind.rootElement + ">";

    if (XMLParser(kind, text.data(), static_cast<uint32_t>(text.size())) == 0) {
        for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
            GUID id;
            check(LB_GUIDFromString(node->guidText, &id) == 0, "an accepted ID does not convert");
            check(written.count({node->name,
                                 std::string(reinterpret_cast<const char*>(&id), sizeof id)}) == 1,
                  "an edited file pairs a name with an ID it did not stand with");
        }
    }
    discardList();
    takeOutput();
    check(takeJournal().empty(), "the parser alone made a request");
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    remove(path);
    return 0;
}

// The system lives only as long as this process.
void removeSystem()
{
    nftw(systemDir.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// A run that crashed or was interrupted leaves its system behind: remove those whose
// process is gone.
void removeStaleSystems(const char* base)
{
    DIR* dir = opendir(base);
    if (dir == nullptr) {
        return;
    }
    while (struct dirent* entry = readdir(dir)) {
        int pid = 0;
        char rest = 0;
        if (sscanf(entry->d_name, "parser_fuzz.%d%c", &pid, &rest) == 1 && pid > 0 &&
            kill(pid, 0) != 0 && errno == ESRCH) {
            std::string stale = std::string(base) + "/" + entry->d_name;
            nftw(stale.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
        }
    }
    closedir(dir);
}

}  // namespace

// The device answers a request with its status as pread64's result, a number that has
// nothing to do with bytes read. AddressSanitizer's own pread64 would take a status of
// 20202 for 20202 bytes written into the 208-byte block and report an overflow, so this
// program hands pread64 straight to the next definition: the simulated device.
extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset)
{
    using Pread = ssize_t (*)(int, void*, size_t, off64_t);
    static Pread next = reinterpret_cast<Pread>(dlsym(RTLD_NEXT, "pread64"));
    return next(fd, buffer, count, offset);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = (access("/dev/shm", W_OK) == 0) ? "/dev/shm" : "/tmp";
    removeStaleSystems(base);
    char dir[256];
    snprintf(dir, sizeof dir, "%s/parser_fuzz.%d", base, static_cast<int>(getpid()));
    systemDir = dir;
    journalPath = systemDir + "/journal";
    const char* init[] = {"init", dir, nullptr};
    runZapisim(init);
    atexit(removeSystem);
    // The names the seed files use: active ones get new IDs, inactive ones are skipped.
    static const char* const activePools[] = {"P1", "P2", "pool-a"};
    static const char* const activeVolumes[] = {"V1", "V2", "vol-a"};
    for (const char* name : activePools) {
        addObject("pool", name, "6");
    }
    for (const char* name : activeVolumes) {
        addObject("volume", name, "6");
    }
    addObject("pool", "P3", "2");
    addObject("volume", "V3", "2");
    check(zapisimUseSystem(dir) == 0, "zapisimUseSystem");

    fflush(stdout);
    captureFd = memfd_create("parser_fuzz_stdout", 0);
    check(captureFd >= 0 && dup2(captureFd, 1) == 1, "capture stdout");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > UINT32_MAX) {
        return 0;
    }
    parseAs(1, data, size);
    parseAs(0, data, size);
    parseEditedList(data, size);
    return 0;
}
