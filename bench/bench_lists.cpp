// SPDX-License-Identifier: Apache-2.0
#include "bench_lists.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "id_list.h"
#include "name_list.h"
#include "object_id.h"

void fillVolumeList(uint32_t count, uint32_t seed)
{
    std::mt19937_64 random(seed);
    for (uint32_t i = 1; i <= count; ++i) {
        auto* node = static_cast<NameGUIDList_s*>(malloc(sizeof(NameGUIDList_s)));
        if (node == nullptr) {
            abort();
        }
        snprintf(node->name, sizeof node->name, "VOL%06u", i);
        uint64_t halves[2] = {random(), random()};
        GUID guid;
        memcpy(&guid, halves, sizeof guid);
        LB_GUIDToString(&guid, node->guidText);
        node->next = nullptr;
        appendNode(node);
    }
}

std::string makeScratchDirectory()
{
    char pattern[] = "/tmp/korvane-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        perror("mkdtemp");
        abort();
    }
    return pattern;
}

void removeScratchDirectory(const std::string& directory)
{
    if (DIR* listing = opendir(directory.c_str())) {
        while (const dirent* entry = readdir(listing)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) {
                unlink((directory + "/" + entry->d_name).c_str());
            }
        }
        closedir(listing);
    }
    rmdir(directory.c_str());
}

int writeVolumeList(const std::string& path)
{
    static OutputFile_s output;
    bool kept = false;
    if (openListFile(path.c_str(), &output) != 0 ||
        writeGUIDToFile(VOLUME_KIND, &output, path.c_str()) != 0) {
        return -1;
    }
    return commitListFile(&output, path.c_str(), 0, &kept);
}

std::string volumeListFile(const std::string& directory, uint32_t count, uint32_t seed)
{
    fillVolumeList(count, seed);
    std::string path = directory + "/volumes.xml";
    if (writeVolumeList(path) != 0) {
        abort();
    }
    discardList();
    std::string bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        abort();
    }
    char chunk[65536];
    size_t got = 0;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.append(chunk, got);
    }
    fclose(file);
    return bytes;
}
