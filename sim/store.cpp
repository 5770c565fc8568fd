// SPDX-License-Identifier: Apache-2.0
// Object files, listings and ID text of the simulated storage system.
#include "store.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char SYSTEM_MARKER[] = "zapisim system 1\n";

// A splitmix64 stream: cheap, deterministic for a seed, good enough to scatter bytes.
uint64_t nextMix(uint64_t* state)
{
    uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t hashName(int kind, const char* name)
{
    uint64_t hash = 0xCBF29CE484222325ull ^ static_cast<uint64_t>(kind);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p != 0; ++p) {
        hash = (hash ^ *p) * 0x100000001B3ull;
    }
    return hash;
}

int writeAll(int fd, const void* data, size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t done = write(fd, p, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += done;
        size -= static_cast<size_t>(done);
    }
    return 0;
}

// Writes `size` bytes into a fresh file of the system's scratch folder and returns
// its path in `scratch`. 0 or errno.
int writeScratch(const char* root, const void* data, size_t size, char* scratch, size_t scratchSize)
{
    static unsigned long counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int length = snprintf(scratch, scratchSize, "%s/tmp/%ld.%lu", root,
                              static_cast<long>(getpid()), ++counter);
        if (length < 0 || static_cast<size_t>(length) >= scratchSize)
            return ENAMETOOLONG;
        int fd = open(scratch, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        int error = writeAll(fd, data, size);
        if (close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0)
            unlink(scratch);
        return error;
    }
    return EEXIST;
}

int compareNames(const void* left, const void* right, void* bytes)
{
    const char* base = static_cast<const char*>(bytes);
    return strcmp(base + *static_cast<const size_t*>(left),
                  base + *static_cast<const size_t*>(right));
}

}  // namespace

const char* simKindWord(int kind)
{
    return kind == SIM_KIND_POOL ? "pool" : "volume";
}

const char* simKindFolder(int kind)
{
    return kind == SIM_KIND_POOL ? "pools" : "volumes";
}

int simKindFromWord(const char* word)
{
    if (strcmp(word, "pool") == 0)
        return SIM_KIND_POOL;
    if (strcmp(word, "volume") == 0)
        return SIM_KIND_VOLUME;
    return 0;
}

int simCheckName(const char* name)
{
    size_t length = strlen(name);
    if (length == 0 || length > SIM_NAME_MAX)
        return -1;
    if (strchr(name, '/') != nullptr)
        return -1;
    // They cannot be files, and a listing skips them anyway.
    if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return -1;
    return 0;
}

size_t simIdOffset(int kind)
{
    return kind == SIM_KIND_POOL ? SIM_RECORD_POOL_ID : SIM_RECORD_VOLUME_ID;
}

size_t simStateOffset(int kind)
{
    return kind == SIM_KIND_POOL ? SIM_RECORD_POOL_STATE : SIM_RECORD_VOLUME_STATE;
}

uint32_t simRecordState(int kind, const uint8_t* record)
{
    uint32_t state = 0;
    memcpy(&state, record + simStateOffset(kind), sizeof state);
    return state;
}

void simRecordSetState(int kind, uint8_t* record, uint32_t state)
{
    memcpy(record + simStateOffset(kind), &state, sizeof state);
}

void simMakeRecord(int kind, const char* name, uint32_t state, const uint8_t* id, uint8_t* record)
{
    uint64_t stream = hashName(kind, name);
    for (size_t i = 0; i < SIM_RECORD_SIZE; i += 8) {
        uint64_t bits = nextMix(&stream);
        for (size_t j = 0; j < 8 && i + j < SIM_RECORD_SIZE; ++j) {
            uint8_t byte = static_cast<uint8_t>(bits >> (8 * j));
            record[i + j] = byte != 0 ? byte : 0xA5;
        }
    }
    simRecordSetState(kind, record, state);
    memcpy(record + simIdOffset(kind), id, SIM_ID_SIZE);
}

// Object names may hold any byte but '/': tabs, newlines and other control bytes are
// escaped so that one request stays one line of six fields.
void simEscapeName(const char* name, char* out, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    size_t used = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
         *p != 0 && used + 5 < size; ++p) {
        if (*p == '\\') {
            out[used++] = '\\';
            out[used++] = '\\';
        } else if (*p == '\t') {
            out[used++] = '\\';
            out[used++] = 't';
        } else if (*p == '\n') {
            out[used++] = '\\';
            out[used++] = 'n';
        } else if (*p < 0x20 || *p == 0x7F) {
            out[used++] = '\\';
            out[used++] = 'x';
            out[used++] = digits[*p >> 4];
            out[used++] = digits[*p & 15];
        } else {
            out[used++] = static_cast<char>(*p);
        }
    }
    out[used] = '\0';
}

int simSystemPath(char* out, size_t size, const char* root, const char* leaf)
{
    int length = snprintf(out, size, "%s/%s", root, leaf);
    return length < 0 || static_cast<size_t>(length) >= size ? -1 : 0;
}

int simObjectPath(char* out, size_t size, const char* root, int kind, const char* name)
{
    int length = snprintf(out, size, "%s/%s/%s", root, simKindFolder(kind), name);
    return length < 0 || static_cast<size_t>(length) >= size ? -1 : 0;
}

int simStandInPath(char* out, size_t size, const char* root, const char* path)
{
    const char* leaf = nullptr;
    const char* rest = "";
    size_t stateLength = strlen(SIM_STATE_PATH);
    if (strcmp(path, SIM_LOCK_PATH) == 0) {
        leaf = "lock";
    } else if (strncmp(path, SIM_STATE_PATH, stateLength) == 0 &&
               (path[stateLength] == '\0' || path[stateLength] == '/')) {
        leaf = "state";
        rest = path + stateLength;
    }
    if (leaf == nullptr)
        return 0;
    int length = snprintf(out, size, "%s/%s%s", root, leaf, rest);
    return length < 0 || static_cast<size_t>(length) >= size ? -1 : 1;
}

int simIsSystem(const char* root)
{
    char path[SIM_PATH_SIZE];
    char marker[sizeof SYSTEM_MARKER] = {};
    if (simSystemPath(path, sizeof path, root, "system") != 0)
        return 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    ssize_t got = read(fd, marker, sizeof marker - 1);
    close(fd);
    return got == static_cast<ssize_t>(sizeof marker - 1) &&
           memcmp(marker, SYSTEM_MARKER, sizeof marker - 1) == 0;
}

int simCreateSystem(const char* root)
{
    if (mkdir(root, 0755) != 0 && errno != EEXIST)
        return errno;
    DIR* dir = opendir(root);
    if (dir == nullptr)
        return errno;
    int error = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            error = ENOTEMPTY;
    }
    closedir(dir);
    if (error != 0)
        return error;
    const char* folders[] = {"pools", "volumes", "tmp"};
    char path[SIM_PATH_SIZE];
    for (const char* folder : folders) {
        if (simSystemPath(path, sizeof path, root, folder) != 0)
            return ENAMETOOLONG;
        if (mkdir(path, 0755) != 0)
            return errno;
    }
    if (simSystemPath(path, sizeof path, root, "journal") != 0)
        return ENAMETOOLONG;
    error = simAppendText(path, "", 0);
    if (error != 0)
        return error;
    // The marker comes last: a half-made system is not taken for one.
    if (simSystemPath(path, sizeof path, root, "system") != 0)
        return ENAMETOOLONG;
    return simAppendText(path, SYSTEM_MARKER, sizeof SYSTEM_MARKER - 1);
}

int simLoadObject(const char* root, int kind, const char* name, SimObjectFile_s* object)
{
    char path[SIM_PATH_SIZE];
    if (simCheckName(name) != 0)
        return ENOENT;
    if (simObjectPath(path, sizeof path, root, kind, name) != 0)
        return ENAMETOOLONG;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    ssize_t got = read(fd, object, sizeof *object);
    int error = got < 0 ? errno : 0;
    close(fd);
    if (error != 0)
        return error;
    if (got != static_cast<ssize_t>(sizeof *object) ||
        memcmp(object->magic, SIM_OBJECT_MAGIC, 8) != 0 || static_cast<int>(object->kind) != kind) {
        return EINVAL;
    }
    return 0;
}

int simSaveObject(const char* root, int kind, const char* name, const SimObjectFile_s* object,
                  bool createOnly)
{
    char path[SIM_PATH_SIZE];
    char scratch[SIM_PATH_SIZE];
    if (simCheckName(name) != 0)
        return EINVAL;
    if (simObjectPath(path, sizeof path, root, kind, name) != 0)
        return ENAMETOOLONG;
    if (createOnly) {
        // A new name: exclusive creation refuses an existing one, and nobody holds a
        // key to the object yet, so it is written in place (three calls, not five:
        // add-many makes a hundred thousand of these).
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return errno;
        int error = writeAll(fd, object, sizeof *object);
        if (close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0)
            unlink(path);
        return error;
    }
    int error = writeScratch(root, object, sizeof *object, scratch, sizeof scratch);
    if (error != 0)
        return error;
    if (rename(scratch, path) != 0) {
        error = errno;
        unlink(scratch);
    }
    return error;
}

int simListNames(const char* root, int kind, SimNameList_s* list)
{
    list->bytes = nullptr;
    list->offsets = nullptr;
    list->count = 0;
    char path[SIM_PATH_SIZE];
    if (simSystemPath(path, sizeof path, root, simKindFolder(kind)) != 0)
        return ENAMETOOLONG;
    DIR* dir = opendir(path);
    if (dir == nullptr)
        return errno;
    size_t used = 0;
    size_t capacity = 0;
    size_t offsetCapacity = 0;
    int error = 0;
    errno = 0;
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0)
            continue;
        size_t length = strlen(entry->d_name) + 1;
        if (used + length > capacity) {
            size_t grown = capacity == 0 ? 16384 : capacity * 2;
            while (grown < used + length)
                grown *= 2;
            char* bytes = static_cast<char*>(realloc(list->bytes, grown));
            if (bytes == nullptr) {
                error = ENOMEM;
                break;
            }
            list->bytes = bytes;
            capacity = grown;
        }
        if (list->count == offsetCapacity) {
            size_t grown = offsetCapacity == 0 ? 1024 : offsetCapacity * 2;
            size_t* offsets = static_cast<size_t*>(realloc(list->offsets, grown * sizeof(size_t)));
            if (offsets == nullptr) {
                error = ENOMEM;
                break;
            }
            list->offsets = offsets;
            offsetCapacity = grown;
        }
        memcpy(list->bytes + used, entry->d_name, length);
        list->offsets[list->count++] = used;
        used += length;
        errno = 0;
    }
    if (error == 0 && errno != 0)
        error = errno;
    closedir(dir);
    if (error != 0) {
        simFreeNames(list);
        return error;
    }
    if (list->count > 1)
        qsort_r(list->offsets, list->count, sizeof(size_t), compareNames, list->bytes);
    return 0;
}

void simFreeNames(SimNameList_s* list)
{
    free(list->bytes);
    free(list->offsets);
    list->bytes = nullptr;
    list->offsets = nullptr;
    list->count = 0;
}

void simFormatId(const uint8_t* id, char* text)
{
    uint32_t timeLow = 0;
    uint16_t timeMid = 0;
    uint16_t timeHigh = 0;
    memcpy(&timeLow, id, 4);
    memcpy(&timeMid, id + 4, 2);
    memcpy(&timeHigh, id + 6, 2);
    (void)snprintf(text, SIM_ID_TEXT_SIZE, "%08x-%04x-%04x-%02x-%02x-%02x%02x%02x%02x%02x%02x",
                   timeLow, timeMid, timeHigh, id[8], id[9], id[10], id[11], id[12], id[13], id[14],
                   id[15]);
}

int simParseId(const char* text, uint8_t* id)
{
    static const int groups[] = {8, 4, 4, 2, 2, 12};
    if (strlen(text) != SIM_ID_TEXT_SIZE - 1)
        return -1;
    uint64_t values[6] = {};
    const char* p = text;
    for (int group = 0; group < 6; ++group) {
        for (int i = 0; i < groups[group]; ++i, ++p) {
            int digit = 0;
            if (*p >= '0' && *p <= '9')
                digit = *p - '0';
            else if (*p >= 'a' && *p <= 'f')
                digit = *p - 'a' + 10;
            else if (*p >= 'A' && *p <= 'F')
                digit = *p - 'A' + 10;
            else
                return -1;
            values[group] = values[group] * 16 + static_cast<uint64_t>(digit);
        }
        if (group < 5 && *p++ != '-')
            return -1;
    }
    uint32_t timeLow = static_cast<uint32_t>(values[0]);
    uint16_t timeMid = static_cast<uint16_t>(values[1]);
    uint16_t timeHigh = static_cast<uint16_t>(values[2]);
    memcpy(id, &timeLow, 4);
    memcpy(id + 4, &timeMid, 2);
    memcpy(id + 6, &timeHigh, 2);
    id[8] = static_cast<uint8_t>(values[3]);
    id[9] = static_cast<uint8_t>(values[4]);
    for (int i = 0; i < 6; ++i)
        id[10 + i] = static_cast<uint8_t>(values[5] >> (8 * (5 - i)));
    return 0;
}

void simRandomId(uint8_t* id)
{
    static uint64_t state = 0;
    if (state == 0) {
        int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            if (read(fd, &state, sizeof state) != static_cast<ssize_t>(sizeof state))
                state = 0;
            close(fd);
        }
        state ^= static_cast<uint64_t>(getpid()) << 32 ^ reinterpret_cast<uintptr_t>(&state);
    }
    uint64_t first = nextMix(&state);
    uint64_t second = nextMix(&state);
    memcpy(id, &first, 8);
    memcpy(id + 8, &second, 8);
}

int simAppendText(const char* path, const char* text, size_t length)
{
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return errno;
    int error = writeAll(fd, text, length);
    if (close(fd) != 0 && error == 0)
        error = errno;
    return error;
}
