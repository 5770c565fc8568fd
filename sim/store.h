// SPDX-License-Identifier: Apache-2.0
// The simulated storage system on disk, shared by libzapisim.so and the zapisim
// command. A system is a directory:
//   system            marker line written by "zapisim init"
//   pools/NAME        one object file per pool (SimObjectFile_s)
//   volumes/NAME      one object file per volume
//   tmp/              scratch files, renamed into place
//   faults            fault rules, one a line (see fault_rules.h)
//   journal           one line per device request
//   journal-off       present while journaling is switched off
//   syslog            one line per system log line of the programs run against the system
//   lock              korvane's run lock, in place of "/run/korvane.lock"
//   state/            korvane's state folder, in place of "/var/lib/korvane": absent until
//                     a program makes that folder
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t SIM_PATH_SIZE = 4096;
constexpr size_t SIM_NAME_MAX = 255;
constexpr size_t SIM_ID_SIZE = 16;
constexpr size_t SIM_ID_TEXT_SIZE = 38;  // 37 characters and the terminator

constexpr int SIM_KIND_POOL = 1;
constexpr int SIM_KIND_VOLUME = 2;

// The version-1 information record as this device lays it out. These offsets are
// the device's own; the client's header is deliberately not used, so a layout fault
// on either side shows up as a rejected request instead of agreeing by construction.
constexpr size_t SIM_RECORD_SIZE = 1212;
constexpr size_t SIM_RECORD_VOLUME_ID = 416;
constexpr size_t SIM_RECORD_VOLUME_STATE = 432;
constexpr size_t SIM_RECORD_POOL_ID = 616;
constexpr size_t SIM_RECORD_POOL_STATE = 632;
constexpr uint32_t SIM_STATE_ACTIVE = 6;

constexpr char SIM_OBJECT_MAGIC[8] = {'Z', 'S', 'O', 'B', 'J', '0', '0', '1'};

struct SimObjectFile_s {
    char magic[8];
    uint32_t kind;  // SIM_KIND_POOL or SIM_KIND_VOLUME
    uint32_t reserved;
    uint8_t record[SIM_RECORD_SIZE];  // returned whole by an information request
};
static_assert(sizeof(SimObjectFile_s) == 16 + SIM_RECORD_SIZE);
static_assert(offsetof(SimObjectFile_s, kind) == 8);
static_assert(offsetof(SimObjectFile_s, record) == 16);

// Names and kinds.
const char* simKindWord(int kind);      // "pool" / "volume"
const char* simKindFolder(int kind);    // "pools" / "volumes"
int simKindFromWord(const char* word);  // kind, or 0
// 0 when `name` can be an object name: 1..255 bytes, no '/', not "." or "..".
int simCheckName(const char* name);

// The name as shown in the journal and by "zapisim show": '\\', tab, newline and other
// control bytes escaped (\\ \t \n \xHH), so a name never breaks a line or a field.
// `out` should hold SIM_ESCAPED_NAME_SIZE bytes.
void simEscapeName(const char* name, char* out, size_t size);
constexpr size_t SIM_ESCAPED_NAME_SIZE = 4 * SIM_NAME_MAX + 8;

// Record fields of the part that belongs to `kind`.
size_t simIdOffset(int kind);
size_t simStateOffset(int kind);
uint32_t simRecordState(int kind, const uint8_t* record);
void simRecordSetState(int kind, uint8_t* record, uint32_t state);
// A fresh record: deterministic non-zero bytes derived from kind and name, with the
// state and ID of the object's own part.
void simMakeRecord(int kind, const char* name, uint32_t state, const uint8_t* id, uint8_t* record);

// Paths. Each returns 0, or -1 when the result would not fit.
int simSystemPath(char* out, size_t size, const char* root, const char* leaf);
int simObjectPath(char* out, size_t size, const char* root, int kind, const char* name);

// The machine's files that a system keeps in its own directory while a program runs with
// it: korvane's run lock, and its state folder with everything in it.
constexpr const char* SIM_LOCK_PATH = "/run/korvane.lock";
constexpr const char* SIM_STATE_PATH = "/var/lib/korvane";
// What the program's `path` reaches in the system at `root`: 1 with that path in `out`,
// 0 when `path` is none of those files (out untouched), -1 when the result would not fit.
int simStandInPath(char* out, size_t size, const char* root, const char* path);

// 1 when `root` holds a system made by "zapisim init".
int simIsSystem(const char* root);
// Creates an empty system in `root` (absent or empty directory). 0 or errno.
int simCreateSystem(const char* root);

// Object files. Each returns 0 or an errno value (ENOENT: no such object;
// EEXIST: simSaveObject with createOnly and the name taken; EINVAL: bad file).
int simLoadObject(const char* root, int kind, const char* name, SimObjectFile_s* object);
int simSaveObject(const char* root, int kind, const char* name, const SimObjectFile_s* object,
                  bool createOnly);

// A sorted listing of one kind's names (bytewise order).
struct SimNameList_s {
    char* bytes;      // the names, each with its terminator
    size_t* offsets;  // start of each name in `bytes`, in sorted order
    size_t count;
};
int simListNames(const char* root, int kind, SimNameList_s* list);
void simFreeNames(SimNameList_s* list);

// ID text: the 37-character form, groups 8-4-4-2-2-12, the first three groups
// being little-endian integers shown as numbers.
void simFormatId(const uint8_t* id, char* text);
int simParseId(const char* text, uint8_t* id);  // 0, or -1 when not exactly that form
void simRandomId(uint8_t* id);

// Whole-file helpers used for the small text files of a system.
int simAppendText(const char* path, const char* text, size_t length);  // 0 or errno
