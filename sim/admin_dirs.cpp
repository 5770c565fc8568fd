// SPDX-License-Identifier: Apache-2.0
// The admin directories "/_admin/Pools/" and "/_admin/Volumes/": listings of the
// system's pools or volumes, sorted once when the directory is opened.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "sim_internal.h"

namespace {

struct AdminDir_s {
    int kind;
    SimNameList_s names;
    size_t next;  // 0 and 1 are "." and "..", then the names
    struct dirent entry;
};

constexpr size_t MAX_ADMIN_DIRS = 16;
AdminDir_s* openDirs[MAX_ADMIN_DIRS];
size_t openDirCount = 0;

int adminKind(const char* path)
{
    if (path == nullptr)
        return 0;
    if (strcmp(path, "/_admin/Pools/") == 0 || strcmp(path, "/_admin/Pools") == 0)
        return SIM_KIND_POOL;
    if (strcmp(path, "/_admin/Volumes/") == 0 || strcmp(path, "/_admin/Volumes") == 0)
        return SIM_KIND_VOLUME;
    return 0;
}

}  // namespace

DIR* simAdminOpendir(const char* path, bool* handled)
{
    int kind = adminKind(path);
    *handled = kind != 0;
    if (kind == 0)
        return nullptr;
    int errnoValue = 0;
    if (simFaultOpendir(kind, &errnoValue)) {
        errno = errnoValue;
        return nullptr;
    }
    if (!simRootUsable) {
        errno = ENOENT;
        return nullptr;
    }
    if (openDirCount == MAX_ADMIN_DIRS) {
        errno = EMFILE;
        return nullptr;
    }
    AdminDir_s* dir = static_cast<AdminDir_s*>(calloc(1, sizeof(AdminDir_s)));
    if (dir == nullptr) {
        errno = ENOMEM;
        return nullptr;
    }
    int error = simListNames(simRoot, kind, &dir->names);
    if (error != 0) {
        free(dir);
        errno = error;
        return nullptr;
    }
    dir->kind = kind;
    openDirs[openDirCount++] = dir;
    return reinterpret_cast<DIR*>(dir);
}

bool simIsAdminDir(const DIR* dir)
{
    for (size_t i = 0; i < openDirCount; ++i) {
        if (reinterpret_cast<DIR*>(openDirs[i]) == dir)
            return true;
    }
    return false;
}

struct dirent* simAdminReaddir(DIR* handle)
{
    AdminDir_s* dir = reinterpret_cast<AdminDir_s*>(handle);
    int errnoValue = 0;
    if (simFaultReaddir(dir->kind, &errnoValue)) {
        errno = errnoValue;
        return nullptr;
    }
    const char* name = nullptr;
    if (dir->next == 0)
        name = ".";
    else if (dir->next == 1)
        name = "..";
    else if (dir->next - 2 < dir->names.count)
        name = dir->names.bytes + dir->names.offsets[dir->next - 2];
    if (name == nullptr)
        return nullptr;  // the end: errno untouched
    ++dir->next;
    struct dirent* entry = &dir->entry;
    entry->d_ino = dir->next;
    entry->d_off = static_cast<off_t>(dir->next);
    entry->d_reclen = sizeof *entry;
    entry->d_type = DT_UNKNOWN;
    size_t length = strlen(name);
    if (length >= sizeof entry->d_name)
        length = sizeof entry->d_name - 1;
    memcpy(entry->d_name, name, length);
    entry->d_name[length] = '\0';
    return entry;
}

int simAdminClosedir(const DIR* handle)
{
    for (size_t i = 0; i < openDirCount; ++i) {
        if (reinterpret_cast<DIR*>(openDirs[i]) == handle) {
            simFreeNames(&openDirs[i]->names);
            free(openDirs[i]);
            openDirs[i] = openDirs[--openDirCount];
            return 0;
        }
    }
    errno = EBADF;
    return -1;
}
