// SPDX-License-Identifier: Apache-2.0
// The floor of a whole korvane run: the device requests that `korvane get` or `korvane put`
// makes on a storage system, in the same order and with the same request blocks, through
// the same admin client, and nothing else: no list, no file, no text. Run it as the tool is
// run, e.g. under "zapisim run DIR --", so both meet the same device.
//
//   korvane_floor get|put|list pool|volume
//
// Names come from the admin directory, in its order. put reads every object as get does,
// then walks them again, writing each record back. A put file written by a get of the same
// system lists the same names in that order with the IDs the objects hold, so the tool then
// sends the very blocks sent here: the record as read, given back unchanged. "list" only
// lists the admin directory, to show what the listing alone costs.
#include <dirent.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "admin_client.h"

namespace {

int requestsOf(const char* name, bool pool, bool put)
{
    char adminPath[1024];
    snprintf(adminPath, sizeof adminPath, pool ? "_admin:\\pools\\%s" : "_admin:\\volumes\\%s",
             name);
    uint64_t rootKey = 0;
    uint64_t objectKey = 0;
    if (zRootKey(0, &rootKey) != 0) {
        return -1;
    }
    if (zOpen(rootKey, ZAPI_OPEN_VALUE, ZAPI_OPEN_FLAGS, adminPath, 0, &objectKey) != 0) {
        zClose(rootKey);
        return -1;
    }
    ZapiInfo_s info;
    memset(&info, 0, sizeof info);
    uint32_t status = zGetInfo(objectKey, pool ? ZAPI_POOL_INFO_MASK : ZAPI_VOLUME_INFO_MASK,
                               sizeof info, ZAPI_INFO_VERSION, &info);
    if (!put) {
        zClose(rootKey);
        zClose(objectKey);
        return status == 0 ? 0 : -1;
    }
    uint32_t state = pool ? info.poolState : info.volumeState;
    if (status == 0 && state == ZAPI_STATE_ACTIVE) {
        status = zModifyInfo(objectKey, 0, pool ? ZAPI_POOL_MODIFY_MASK : ZAPI_VOLUME_MODIFY_MASK,
                             sizeof info, ZAPI_INFO_VERSION, &info);
    }
    zClose(objectKey);
    zClose(rootKey);
    return status == 0 ? 0 : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* road = (argc == 3) ? argv[1] : "";
    bool known = strcmp(road, "get") == 0 || strcmp(road, "put") == 0 || strcmp(road, "list") == 0;
    if (!known || (strcmp(argv[2], "pool") != 0 && strcmp(argv[2], "volume") != 0)) {
        fputs("usage: korvane_floor get|put|list pool|volume\n", stderr);
        return 2;
    }
    bool pool = strcmp(argv[2], "pool") == 0;
    bool listOnly = strcmp(road, "list") == 0;
    bool put = strcmp(road, "put") == 0;

    DIR* directory = opendir(pool ? "/_admin/Pools/" : "/_admin/Volumes/");
    if (directory == nullptr) {
        perror("korvane_floor: opendir");
        return 1;
    }
    unsigned long objects = 0;
    unsigned long failures = 0;
    std::string names;  // put's walk: each name and its terminating zero
    while (const dirent* entry = readdir(directory)) {
        if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        ++objects;
        if (!listOnly && requestsOf(entry->d_name, pool, false) != 0) {
            ++failures;
        }
        if (put) {
            names.append(entry->d_name).push_back('\0');
        }
    }
    closedir(directory);
    for (size_t at = 0; at < names.size(); at += strlen(names.c_str() + at) + 1) {
        failures += (requestsOf(names.c_str() + at, pool, true) != 0) ? 1 : 0;
    }
    if (failures != 0) {
        fprintf(stderr, "korvane_floor: %lu of %lu objects failed\n", failures, objects);
        return 1;
    }
    return 0;
}
