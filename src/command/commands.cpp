// SPDX-License-Identifier: Apache-2.0
// The pool and volume commands: one road per run, then the success line of the kind.
#include <strings.h>

#include <cstdio>

#include "command.h"
#include "id_list.h"
#include "workflows.h"

namespace {

int isGet(const char* direction)
{
    return strcasecmp(direction, "get") == 0;
}

// get: storage system to file; anything else (main lets only put through): file to
// storage system. 0 or -1; the road reports its own failures.
int runRoad(const char* direction, const char* path)
{
    return isGet(direction) ? getName(path) : readGUIDFromFile(path);
}

}  // namespace

int runPoolCommand(const char* direction, const char* path)
{
    if (runRoad(direction, path) != 0) {
        return -1;
    }
    if (isGet(direction)) {
        printf("Successfully updated the file \"%s\" with Pool GUID List\n", path);
    } else {
        printf("Successfully updated from file \"%s\" to the Pool's GUID\n", path);
    }
    return 0;
}

int runVolumeCommand(const char* direction, const char* path)
{
    if (runRoad(direction, path) != 0) {
        return -1;
    }
    if (isGet(direction)) {
        printf("\n\nSuccessfully updated the file \"%s\" with Volume GUID List\n", path);
    } else {
        printf("\n\nSuccessfully updated from file \"%s\" to the Volume's GUID\n", path);
    }
    return 0;
}
