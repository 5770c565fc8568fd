// SPDX-License-Identifier: Apache-2.0
// A small client run under "zapisim run" by the tests: each argument group is one
// step, and each step prints one line saying what the simulated system answered.
//   device | list KIND | get KIND NAME | put KIND NAME ID | leak KIND NAME
//   malloc SIZE | calloc SIZE | write PATH TEXT | read PATH
//   _exit STATUS (ends the process at once, without its exit handlers)
// A SIGUSR1 received during a step is added to its line as " signal=10".
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

namespace {

int deviceFd = -1;
volatile sig_atomic_t caught = 0;

void noteSignal(int number)
{
    caught = number;
}

std::string outcome(long long result)
{
    if (result == 0)
        return "ok";
    if (result == -1)
        return "errno=" + std::to_string(errno);
    return "status=" + std::to_string(result);
}

void put32(uint8_t* block, size_t offset, uint32_t value)
{
    memcpy(block + offset, &value, sizeof value);
}
void put64(uint8_t* block, size_t offset, uint64_t value)
{
    memcpy(block + offset, &value, sizeof value);
}
uint64_t get64(const uint8_t* block, size_t offset)
{
    uint64_t value = 0;
    memcpy(&value, block + offset, sizeof value);
    return value;
}

long long send(uint64_t operation, uint8_t* block)
{
    return static_cast<long long>(pread64(deviceFd, block, 208, static_cast<off64_t>(operation)));
}

bool openDevice(std::string* failure)
{
    if (deviceFd >= 0)
        return true;
    deviceFd = open64("/dev/zapi", O_RDONLY);
    if (deviceFd < 0)
        *failure = "device errno=" + std::to_string(errno);
    return deviceFd >= 0;
}

long long rootKey(uint64_t* key)
{
    uint8_t block[208] = {};
    long long result = send(1000, block);
    if (result == 0)
        *key = get64(block, 16);
    return result;
}

long long openObject(uint64_t root, const std::string& kind, const std::string& name, uint64_t* key)
{
    std::string path = (kind == "pool" ? "_admin:\\pools\\" : "_admin:\\volumes\\") + name;
    uint8_t block[208] = {};
    block[4] = 1;
    put64(block, 16, root);
    put64(block, 40, reinterpret_cast<uint64_t>(path.c_str()));
    put64(block, 48, path.size() + 1);
    put32(block, 88, 50);
    put32(block, 112, 0x40000004);
    long long result = send(23, block);
    if (result == 0)
        *key = get64(block, 16);
    return result;
}

long long recordRequest(uint64_t operation, uint64_t key, uint64_t mask, uint8_t* record)
{
    uint8_t block[208] = {};
    block[4] = 1;
    put64(block, 16, key);
    put64(block, 40, reinterpret_cast<uint64_t>(record));
    put64(block, 48, 1212);
    put64(block, 96, mask);
    put32(block, 112, 1);
    return send(operation, block);
}

long long closeKey(uint64_t key)
{
    uint8_t block[208] = {};
    put64(block, 16, key);
    return send(1001, block);
}

std::string idText(const uint8_t* id)
{
    uint32_t low = 0;
    uint16_t mid = 0;
    uint16_t high = 0;
    memcpy(&low, id, 4);
    memcpy(&mid, id + 4, 2);
    memcpy(&high, id + 6, 2);
    char text[40];
    snprintf(text, sizeof text, "%08x-%04x-%04x-%02x-%02x-%02x%02x%02x%02x%02x%02x", low, mid, high,
             id[8], id[9], id[10], id[11], id[12], id[13], id[14], id[15]);
    return text;
}

// get and put: root key, open, information, (modify), both closes.
std::string object(const std::string& step, const std::string& kind, const std::string& name,
                   const char* newId)
{
    std::string failure;
    if (!openDevice(&failure))
        return step + " " + failure;
    bool pool = kind == "pool";
    uint64_t root = 0;
    uint64_t key = 0;
    long long result = rootKey(&root);
    if (result != 0)
        return step + " root " + outcome(result);
    result = openObject(root, kind, name, &key);
    if (result != 0) {
        closeKey(root);
        return step + " open " + outcome(result);
    }
    uint8_t record[1212] = {};
    std::string line = step + " " + name;
    result = recordRequest(16, key, pool ? 0x40050 : 0x10050, record);
    if (result != 0) {
        line += " info " + outcome(result);
    } else {
        uint32_t state = 0;
        memcpy(&state, record + (pool ? 632 : 432), sizeof state);
        uint8_t* id = record + (pool ? 616 : 416);
        line += " " + std::to_string(state) + " " + idText(id);
        if (newId != nullptr) {
            unsigned values[16];
            sscanf(newId, "%8x-%4x-%4x-%2x-%2x-%2x%2x%2x%2x%2x%2x", &values[0], &values[1],
                   &values[2], &values[8], &values[9], &values[10], &values[11], &values[12],
                   &values[13], &values[14], &values[15]);
            uint32_t low = values[0];
            uint16_t mid = static_cast<uint16_t>(values[1]);
            uint16_t high = static_cast<uint16_t>(values[2]);
            memcpy(id, &low, 4);
            memcpy(id + 4, &mid, 2);
            memcpy(id + 6, &high, 2);
            for (int i = 8; i < 16; ++i)
                id[i] = static_cast<uint8_t>(values[i]);
            line += " modify " + outcome(recordRequest(22, key, pool ? 0x400000 : 0x10000, record));
        }
    }
    closeKey(key);
    closeKey(root);
    return line;
}

std::string leak(const std::string& kind, const std::string& name)
{
    std::string failure;
    if (!openDevice(&failure))
        return "leak " + failure;
    uint64_t root = 0;
    uint64_t key = 0;
    long long result = rootKey(&root);
    if (result == 0)
        result = openObject(root, kind, name, &key);
    return "leak " + outcome(result);
}

std::string list(const std::string& kind)
{
    DIR* dir = opendir(kind == "pool" ? "/_admin/Pools/" : "/_admin/Volumes");
    if (dir == nullptr)
        return "list opendir errno=" + std::to_string(errno);
    std::string line = "list";
    errno = 0;
    while (struct dirent* entry = readdir(dir)) {
        line += std::string(" ") + entry->d_name;
        errno = 0;
    }
    if (errno != 0)
        line += " readdir errno=" + std::to_string(errno);
    closedir(dir);
    return line;
}

std::string writeFile(const char* path, const char* text)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return "write open errno=" + std::to_string(errno);
    std::string line = "write";
    if (write(fd, text, strlen(text)) < 0)
        line += " write errno=" + std::to_string(errno);
    if (close(fd) != 0)
        line += " close errno=" + std::to_string(errno);
    return line == "write" ? "write ok" : line;
}

std::string readFile(const char* path)
{
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return "read open errno=" + std::to_string(errno);
    char buffer[256] = {};
    std::string line = "read";
    ssize_t got = read(fd, buffer, sizeof buffer - 1);
    if (got < 0)
        line += " read errno=" + std::to_string(errno);
    else
        line += std::string(" ") + buffer;
    if (close(fd) != 0)
        line += " close errno=" + std::to_string(errno);
    return line;
}

std::string allocate(const std::string& how, const char* size)
{
    size_t bytes = strtoull(size, nullptr, 10);
    void* memory = how == "malloc" ? malloc(bytes) : calloc(1, bytes);
    std::string line = how + (memory != nullptr ? " ok" : " null errno=" + std::to_string(errno));
    free(memory);
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    signal(SIGUSR1, noteSignal);
    for (int i = 1; i < argc;) {
        std::string step = argv[i];
        auto has = [&](int count) { return i + count < argc; };
        std::string line;
        if (step == "device" || step == "list") {
            if (step == "device") {
                std::string failure;
                line = openDevice(&failure) ? "device ok" : failure;
                i += 1;
            } else if (has(1)) {
                line = list(argv[i + 1]);
                i += 2;
            }
        } else if ((step == "get" || step == "leak") && has(2)) {
            line = step == "get" ? object(step, argv[i + 1], argv[i + 2], nullptr)
                                 : leak(argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (step == "put" && has(3)) {
            line = object(step, argv[i + 1], argv[i + 2], argv[i + 3]);
            i += 4;
        } else if ((step == "malloc" || step == "calloc") && has(1)) {
            line = allocate(step, argv[i + 1]);
            i += 2;
        } else if (step == "write" && has(2)) {
            line = writeFile(argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (step == "read" && has(1)) {
            line = readFile(argv[i + 1]);
            i += 2;
        } else if (step == "_exit" && has(1)) {
            _exit(atoi(argv[i + 1]));
        }
        if (line.empty()) {
            fprintf(stderr, "zapisim_probe: bad step %s\n", argv[i]);
            return 2;
        }
        if (caught != 0)
            line += " signal=" + std::to_string(caught);
        caught = 0;
        printf("%s\n", line.c_str());
    }
    return 0;
}
