// SPDX-License-Identifier: Apache-2.0
// The list file named on the command line, looked at before any request: a file the
// run must never write, or one that cannot keep history, ends it at once.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_client.h"
#include "admin_report.h"
#include "command.h"
#include "file_replace.h"
#include "run_lock.h"

namespace {

// The absolute path of path, its directory's ".", ".." and symbolic links resolved (from
// the working directory when relative). The last component is not followed: what a link
// there leads to is another file. 0, or -1 when the directory cannot be resolved or the
// result does not fit in PATH_MAX bytes.
int resolveDirectory(const char* path, char (&full)[PATH_MAX])
{
    const char* slash = strrchr(path, '/');
    size_t length = (slash == nullptr) ? 0 : static_cast<size_t>(slash - path) + 1;
    if (length >= PATH_MAX) {
        return -1;
    }
    char directory[PATH_MAX];
    (void)snprintf(directory, sizeof directory, "%.*s", static_cast<int>(length), path);
    char resolved[PATH_MAX];
    if (realpath((length == 0) ? "." : directory, resolved) == nullptr) {
        return -1;
    }
    int written = snprintf(full, sizeof full, "%s/%s", (strcmp(resolved, "/") == 0) ? "" : resolved,
                           path + length);
    return (written < 0 || static_cast<size_t>(written) >= sizeof full) ? -1 : 0;
}

// True when path is the admin device's name once its directory is resolved; a link in the
// last component is compared as a device.
bool resolvesToDeviceName(const char* path)
{
    char full[PATH_MAX];
    return resolveDirectory(path, full) == 0 && strcmp(full, ADMIN_DEVICE_PATH) == 0;
}

// True when the file, as stat described it, is the admin device under another name: the
// same character device, or the very same node.
bool isAdminDevice(const struct stat* file)
{
    struct stat device {};
    if (!S_ISCHR(file->st_mode) || stat(ADMIN_DEVICE_PATH, &device) != 0) {
        return false;
    }
    return (S_ISCHR(device.st_mode) && file->st_rdev == device.st_rdev) ||
           (file->st_dev == device.st_dev && file->st_ino == device.st_ino);
}

}  // namespace

int checkListFile(Direction direction, const char* path, uint32_t keep)
{
    // get writes standard output's names to descriptor 1 as it stands.
    bool toStandardOutput = direction == DIRECTION_GET && namesStandardOutput(path);
    struct stat file {};
    bool exists = !toStandardOutput && stat(path, &file) == 0;
    if (strcmp(path, ADMIN_DEVICE_PATH) == 0 || resolvesToDeviceName(path) ||
        (exists && isAdminDevice(&file))) {
        printf("The list file cannot be the admin device \"%s\"\n", shown(path).text);
        return -1;
    }
    // A disk written over loses what it holds; its superblock first.
    if (direction == DIRECTION_GET && exists && S_ISBLK(file.st_mode)) {
        printf("The list file cannot be a block device \"%s\"\n", shown(path).text);
        return -1;
    }
    // History is kept by renaming files: a stream has none to rename.
    if (keep != 0 && (toStandardOutput || (exists && !S_ISREG(file.st_mode)))) {
        puts("--keep needs a regular list file");
        return -1;
    }
    if (!keptNameFits(path, keep)) {
        printf("--keep %u makes the name \"%s.%u\" too long\n", keep, shown(path).text, keep);
        return -1;
    }
    return 0;
}

void noteListFile(const char* path)
{
    // "-" is a standard stream, and a path that ends in no name ("", "dir/") no file: they
    // are named as given, as is a path whose directory cannot be resolved.
    const char* slash = strrchr(path, '/');
    const char* name = (slash == nullptr) ? path : slash + 1;
    char full[PATH_MAX];
    bool resolved = strcmp(path, "-") != 0 && name[0] != '\0' && resolveDirectory(path, full) == 0;
    nameListFile(path, resolved ? full : path);
}

int checkUndoFile(const char* path)
{
    bool refused = strcmp(path, ADMIN_DEVICE_PATH) == 0 || resolvesToDeviceName(path) ||
                   namesStandardOutput(path);
    if (!refused) {
        // Looked at through a descriptor of the node itself, as the undo list's open will
        // find it: the run lock's file may be reached under another name.
        struct stat file {};
        struct stat lock {};
        int node = open(path, O_PATH | O_CLOEXEC);
        refused =
            node >= 0 && fstat(node, &file) == 0 &&
            (!S_ISREG(file.st_mode) || (fstat(runLockFd(), &lock) == 0 &&
                                        file.st_dev == lock.st_dev && file.st_ino == lock.st_ino));
        if (node >= 0) {
            (void)close(node);
        }
    }
    if (refused) {
        printf("The undo list cannot be \"%s\": it must be a regular file\n", shown(path).text);
        return -1;
    }
    return 0;
}
