// Storage-backed device: not yet built; only the scripted mode is available.
#include <errno.h>

#include "sim_internal.h"

char simRoot[SIM_PATH_SIZE] = "";
bool simRootUsable = false;
bool simFileFaultsArmed = false;
bool simMallocFaultsArmed = false;

int simStartSystem(const char*) { return -1; }
int64_t simSystemRequest(uint8_t*, uint64_t, int* errnoOut) {
    *errnoOut = ENODEV;
    return -1;
}
void simSystemDeviceOpened() {}
void simSystemExit() {}
size_t simHeldKeys() { return 0; }
DIR* simAdminOpendir(const char*, bool* handled) {
    *handled = false;
    return nullptr;
}
bool simIsAdminDir(DIR*) { return false; }
struct dirent* simAdminReaddir(DIR*) { return nullptr; }
int simAdminClosedir(DIR*) { return -1; }
bool simFaultDeviceOpen(int*) { return false; }
bool simFaultMalloc(size_t) { return false; }
bool simFaultOpen(const char*, int*) { return false; }
void simFaultTrackFd(const char*, int) {}
void simFaultForgetFd(int) {}
bool simFaultFdCall(int, int, int*) { return false; }
void simJournalRequest(uint64_t, const char*, int64_t, int, uint64_t, const uint8_t*, size_t) {}
