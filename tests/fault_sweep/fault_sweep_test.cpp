// SPDX-License-Identifier: Apache-2.0
// Fault sweep: get and put over three objects of the kind, under the simulated storage
// system, failing one step at a time: each device request (once with a device status,
// once with the system call failing with an errno), the device open, the run lock's open
// and fcntl, each open, read, write and close of the list file, each call writing put's
// undo list and each call listing the admin directory, up to the first call that is never
// made, where the run completes. Each row says what the run must print on standard output
// and on standard error, its exit status, the request that met the fault, the IDs it leaves
// and the key it leaves with the device; every run must also leave the other kind's objects
// alone.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"
#include "run_lock.h"

namespace {

using e2e::Lines;

constexpr int kObjects = 3;
constexpr const char* kErrno = "5";  // the errno of a failing system call (EIO)

struct Row {
    const char* run;  // "get pool", "put volume", ...; "get" or "put" alone: both kinds
    // The `zapisim fail` arguments ("" for none). {path} is the list file, {undo} put's undo
    // list, {lock} the run
    // lock's file, {kind} the run's kind. A request's ("1000 --nth 2") runs twice: the
    // device answering status 77, and the system call failing with errno 5.
    const char* fault;
    int request;  // a request's fault: where the failing request stands in the run, from 1
    int exit;
    // get: the objects in the list file afterwards ("no file": none is left); put: the
    // objects that carry their new IDs. "all": the three.
    const char* ids;
    const char* held;  // the key left with the device at exit ("" for none)
    // What the run prints after the banner. {e} is the status or errno of a request's
    // fault; {saved} the command's last line when all went through, {lost} its last lines
    // when an object failed (with the blank lines the volume texts put before them).
    // Here and in `ids` and `held`, {1} to {3} are the kind's objects, {Word} its word in
    // the messages and {lead} what put's zGetInfo line starts with.
    const char* out;
    // The lines on standard error, with the tokens of `out`, {dir} the kind's admin
    // directory and {lock} the run lock's file.
    const char* err = "";
};

#define FILE_ERR "korvane: {path}: Input/output error\n"
#define LIST_ERR "korvane: cannot list {dir}: Input/output error\n"
#define LOCK_ERR "korvane: cannot lock {lock}: Input/output error\n"
#define UNDO_FAILED \
    "Undo list \"{undo}\" could not be written, error : 5\nNothing was changed\n{lost}"
#define UNDO_FILE_ERR "korvane: {undo}: Input/output error\n"
#define DEVICE_ERR "korvane: cannot open the admin device /dev/zapi: Input/output error\n"
// A stopped put's way back.
#define UNDO_ERR                                                                                 \
    "korvane: the IDs from before this put are in \"/var/lib/korvane/{kind}s-before-put.xml\"; " \
    "korvane put {kind} /var/lib/korvane/{kind}s-before-put.xml puts them back\n"
#define REFUSED(OBJECT, REQUEST) \
    "korvane: {Word} \"{" OBJECT "}\": the storage system refused " REQUEST " (status {e})\n"

const Row kRows[] = {
    {"get", "", 0, 0, "all", "", "{saved}"},
    {"get", "device --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"get", "open --path {path} --errno 5 --nth 1", 0, 255, "no file", "",
     "Open failed, error : 5\ngetName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    // The path is looked at through an open of its own, then its temporary file opened.
    {"get", "open --path {path} --errno 5 --nth 2", 0, 255, "no file", "",
     "Open failed, error : 5\ngetName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "open --path {path} --errno 5 --nth 3", 0, 0, "all", "", "{saved}"},
    {"get", "read --path {path} --errno 5 --nth 1", 0, 0, "all", "", "{saved}"},
    // The header, one record per object, the trailer: each failure is reported again by
    // getName, and no file is left (the list goes to a temporary file first).
    {"get", "write --path {path} --errno 5 --nth 1", 0, 255, "no file", "",
     "1:Write failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "write --path {path} --errno 5 --nth 2", 0, 255, "no file", "",
     "2:Write failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "write --path {path} --errno 5 --nth 3", 0, 255, "no file", "",
     "2:Write failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "write --path {path} --errno 5 --nth 4", 0, 255, "no file", "",
     "2:Write failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "write --path {path} --errno 5 --nth 5", 0, 255, "no file", "",
     "3:write failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "write --path {path} --errno 5 --nth 6", 0, 0, "all", "", "{saved}"},
    {"get", "close --path {path} --errno 5 --nth 1", 0, 255, "no file", "",
     "close failed, ccode = -1, error = 5\n"
     "getName : FAILED to print GUID to File {path}, Error = -1\n",
     FILE_ERR},
    {"get", "close --path {path} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"get", "opendir {kind} --errno 5 --nth 1", 0, 255, "no file", "",
     "Opendir failed, errno : 5\n", LIST_ERR},
    {"get", "opendir {kind} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    // ".", "..", the three names, the end.
    {"get", "readdir {kind} --errno 5 --nth 1", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 2", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 3", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 4", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 5", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 6", 0, 255, "no file", "",
     "Readdir failed, errno : 5\n", LIST_ERR},
    {"get", "readdir {kind} --errno 5 --nth 7", 0, 0, "all", "", "{saved}"},
    // The lock's two bytes, the storage system's and the lists', each taken at the first
    // try: the lock is free, so no one is asked who holds it.
    {"get", "open --path {lock} --errno 5 --nth 1", 0, 255, "no file", "",
     "Lock failed, error : 5\n", LOCK_ERR},
    {"get", "open --path {lock} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"get", "fcntl --path {lock} --errno 5 --nth 1", 0, 255, "no file", "",
     "Lock failed, error : 5\n", LOCK_ERR},
    {"get", "fcntl --path {lock} --errno 5 --nth 2", 0, 255, "no file", "",
     "Lock failed, error : 5\n", LOCK_ERR},
    {"get", "fcntl --path {lock} --errno 5 --nth 3", 0, 0, "all", "", "{saved}"},

    // Each object's requests: root key, open, get info, then the root key's close and the
    // object's. A failing close is not looked at: the key stays with the device.
    {"get", "device --errno 5 --nth 1", 0, 1, "{2} {3}", "",
     "getInfo : zRootKey error 5\n{Word} {1} could not be saved\n{lost}", DEVICE_ERR},
    {"get", "1000 --nth 1", 1, 1, "{2} {3}", "",
     "getInfo : zRootKey error {e}\n{Word} {1} could not be saved\n{lost}",
     REFUSED("1", "zRootKey")},
    {"get", "23 --nth 1", 2, 1, "{2} {3}", "",
     "getInfo : zOpen error {e}\n{Word} {1} could not be saved\n{lost}", REFUSED("1", "zOpen")},
    {"get", "16 --nth 1", 3, 1, "{2} {3}", "",
     "{Word} :zGetInfo failed -- error {e}\n{Word} {1} could not be saved\n{lost}",
     REFUSED("1", "zGetInfo")},
    {"get", "1001 --nth 1", 4, 0, "all", "root", "{saved}"},
    {"get", "1001 --nth 2", 5, 0, "all", "{kind}:{1}", "{saved}"},
    {"get", "1000 --nth 2", 6, 1, "{1} {3}", "",
     "getInfo : zRootKey error {e}\n{Word} {2} could not be saved\n{lost}",
     REFUSED("2", "zRootKey")},
    {"get", "23 --nth 2", 7, 1, "{1} {3}", "",
     "getInfo : zOpen error {e}\n{Word} {2} could not be saved\n{lost}", REFUSED("2", "zOpen")},
    {"get", "16 --nth 2", 8, 1, "{1} {3}", "",
     "{Word} :zGetInfo failed -- error {e}\n{Word} {2} could not be saved\n{lost}",
     REFUSED("2", "zGetInfo")},
    {"get", "1001 --nth 3", 9, 0, "all", "root", "{saved}"},
    {"get", "1001 --nth 4", 10, 0, "all", "{kind}:{2}", "{saved}"},
    {"get", "1000 --nth 3", 11, 1, "{1} {2}", "",
     "getInfo : zRootKey error {e}\n{Word} {3} could not be saved\n{lost}",
     REFUSED("3", "zRootKey")},
    {"get", "23 --nth 3", 12, 1, "{1} {2}", "",
     "getInfo : zOpen error {e}\n{Word} {3} could not be saved\n{lost}", REFUSED("3", "zOpen")},
    {"get", "16 --nth 3", 13, 1, "{1} {2}", "",
     "{Word} :zGetInfo failed -- error {e}\n{Word} {3} could not be saved\n{lost}",
     REFUSED("3", "zGetInfo")},
    {"get", "1001 --nth 5", 14, 0, "all", "root", "{saved}"},
    {"get", "1001 --nth 6", 15, 0, "all", "{kind}:{3}", "{saved}"},

    // put reads the whole list (the small file, then its end) before it changes anything.
    {"put", "", 0, 0, "all", "", "{saved}"},
    {"put", "device --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "open --path {path} --errno 5 --nth 1", 0, 255, "", "",
     "readGUIDFromFile: open failed, error : 5\n", FILE_ERR},
    {"put", "open --path {path} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "read --path {path} --errno 5 --nth 1", 0, 255, "", "",
     "Read failed, bytes = -1, error = 5\n", FILE_ERR},
    {"put", "read --path {path} --errno 5 --nth 2", 0, 255, "", "",
     "Read failed, bytes = -1, error = 5\n", FILE_ERR},
    {"put", "read --path {path} --errno 5 --nth 3", 0, 0, "all", "", "{saved}"},
    {"put", "write --path {path} --errno 5 --nth 1", 0, 0, "all", "", "{saved}"},
    {"put", "close --path {path} --errno 5 --nth 1", 0, 255, "", "",
     "Close failed, ccode = -1, error = 5\n", FILE_ERR},
    {"put", "close --path {path} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "open --path {lock} --errno 5 --nth 1", 0, 255, "", "", "Lock failed, error : 5\n",
     LOCK_ERR},
    {"put", "open --path {lock} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "fcntl --path {lock} --errno 5 --nth 1", 0, 255, "", "", "Lock failed, error : 5\n",
     LOCK_ERR},
    {"put", "fcntl --path {lock} --errno 5 --nth 2", 0, 255, "", "", "Lock failed, error : 5\n",
     LOCK_ERR},
    {"put", "fcntl --path {lock} --errno 5 --nth 3", 0, 0, "all", "", "{saved}"},

    // The undo list, written whole before the walk's first request or the list refused: the
    // look at its path, its temporary file's open, the header, three records, the trailer,
    // the sync, the close and the rename.
    {"put", "open --path {undo} --errno 5 --nth 1", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "open --path {undo} --errno 5 --nth 2", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "open --path {undo} --errno 5 --nth 3", 0, 0, "all", "", "{saved}"},
    {"put", "write --path {undo} --errno 5 --nth 1", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "write --path {undo} --errno 5 --nth 2", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "write --path {undo} --errno 5 --nth 3", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "write --path {undo} --errno 5 --nth 4", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "write --path {undo} --errno 5 --nth 5", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "write --path {undo} --errno 5 --nth 6", 0, 0, "all", "", "{saved}"},
    {"put", "fsync --path {undo} --errno 5 --nth 1", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "fsync --path {undo} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "close --path {undo} --errno 5 --nth 1", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "close --path {undo} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "rename --path {undo} --errno 5 --nth 1", 0, 255, "", "", UNDO_FAILED, UNDO_FILE_ERR},
    {"put", "rename --path {undo} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    // The admin directory is listed before any change; a listing cut short refuses the list.
    {"put", "opendir {kind} --errno 5 --nth 1", 0, 255, "", "",
     "Opendir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "opendir {kind} --errno 5 --nth 2", 0, 0, "all", "", "{saved}"},
    {"put", "readdir {kind} --errno 5 --nth 1", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 2", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 3", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 4", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 5", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 6", 0, 255, "", "",
     "Readdir failed, errno : 5\nNothing was changed\n{lost}", LIST_ERR},
    {"put", "readdir {kind} --errno 5 --nth 7", 0, 0, "all", "", "{saved}"},
    // The reading: each object's requests as get makes them. A pair whose object cannot be
    // read refuses the list before any change; a failing close is not looked at.
    {"put", "device --errno 5 --nth 1", 0, 255, "", "",
     "GUIDModify : zRootKey error 5\nNothing was changed\n{lost}", DEVICE_ERR},
    {"put", "1000 --nth 1", 1, 255, "", "",
     "GUIDModify : zRootKey error {e}\nNothing was changed\n{lost}", REFUSED("1", "zRootKey")},
    {"put", "23 --nth 1", 2, 255, "", "",
     "GUIDModify : zOpen error {e}\nNothing was changed\n{lost}", REFUSED("1", "zOpen")},
    {"put", "16 --nth 1", 3, 255, "", "",
     "{lead}zGetInfo failed -- error {e}\nNothing was changed\n{lost}", REFUSED("1", "zGetInfo")},
    {"put", "1001 --nth 1", 4, 0, "all", "root", "{saved}"},
    {"put", "1001 --nth 2", 5, 0, "all", "{kind}:{1}", "{saved}"},
    {"put", "1000 --nth 2", 6, 255, "", "",
     "GUIDModify : zRootKey error {e}\nNothing was changed\n{lost}", REFUSED("2", "zRootKey")},
    {"put", "23 --nth 2", 7, 255, "", "",
     "GUIDModify : zOpen error {e}\nNothing was changed\n{lost}", REFUSED("2", "zOpen")},
    {"put", "16 --nth 2", 8, 255, "", "",
     "{lead}zGetInfo failed -- error {e}\nNothing was changed\n{lost}", REFUSED("2", "zGetInfo")},
    {"put", "1001 --nth 3", 9, 0, "all", "root", "{saved}"},
    {"put", "1001 --nth 4", 10, 0, "all", "{kind}:{2}", "{saved}"},
    {"put", "1000 --nth 3", 11, 255, "", "",
     "GUIDModify : zRootKey error {e}\nNothing was changed\n{lost}", REFUSED("3", "zRootKey")},
    {"put", "23 --nth 3", 12, 255, "", "",
     "GUIDModify : zOpen error {e}\nNothing was changed\n{lost}", REFUSED("3", "zOpen")},
    {"put", "16 --nth 3", 13, 255, "", "",
     "{lead}zGetInfo failed -- error {e}\nNothing was changed\n{lost}", REFUSED("3", "zGetInfo")},
    {"put", "1001 --nth 5", 14, 0, "all", "root", "{saved}"},
    {"put", "1001 --nth 6", 15, 0, "all", "{kind}:{3}", "{saved}"},

    // The walk: each object's requests: root key, open, get info, modify, then the object's
    // close and the root key's. A failure stops the walk, naming what was changed before it.
    {"put", "1000 --nth 4", 16, 255, "", "",
     "GUIDModify : zRootKey error {e}\nStopped at {Word} \"{1}\": 0 changed, 3 not "
     "applied\n{lost}",
     REFUSED("1", "zRootKey") UNDO_ERR},
    {"put", "23 --nth 4", 17, 255, "", "",
     "GUIDModify : zOpen error {e}\nStopped at {Word} \"{1}\": 0 changed, 3 not applied\n{lost}",
     REFUSED("1", "zOpen") UNDO_ERR},
    {"put", "16 --nth 4", 18, 255, "", "",
     "{lead}zGetInfo failed -- error {e}\nStopped at {Word} \"{1}\": 0 changed, 3 not "
     "applied\n{lost}",
     REFUSED("1", "zGetInfo") UNDO_ERR},
    {"put", "22 --nth 1", 19, 255, "", "",
     "zModifyInfo error {e}\nStopped at {Word} \"{1}\": 0 changed, 3 not applied\n{lost}",
     REFUSED("1", "zModifyInfo") UNDO_ERR},
    {"put", "1001 --nth 7", 20, 0, "all", "{kind}:{1}", "{saved}"},
    {"put", "1001 --nth 8", 21, 0, "all", "root", "{saved}"},
    {"put", "1000 --nth 5", 22, 255, "{1}", "",
     "GUIDModify : zRootKey error {e}\nStopped at {Word} \"{2}\": 1 changed, 2 not "
     "applied\n{lost}",
     REFUSED("2", "zRootKey") UNDO_ERR},
    {"put", "23 --nth 5", 23, 255, "{1}", "",
     "GUIDModify : zOpen error {e}\nStopped at {Word} \"{2}\": 1 changed, 2 not applied\n{lost}",
     REFUSED("2", "zOpen") UNDO_ERR},
    {"put", "16 --nth 5", 24, 255, "{1}", "",
     "{lead}zGetInfo failed -- error {e}\nStopped at {Word} \"{2}\": 1 changed, 2 not "
     "applied\n{lost}",
     REFUSED("2", "zGetInfo") UNDO_ERR},
    {"put", "22 --nth 2", 25, 255, "{1}", "",
     "zModifyInfo error {e}\nStopped at {Word} \"{2}\": 1 changed, 2 not applied\n{lost}",
     REFUSED("2", "zModifyInfo") UNDO_ERR},
    {"put", "1001 --nth 9", 26, 0, "all", "{kind}:{2}", "{saved}"},
    {"put", "1001 --nth 10", 27, 0, "all", "root", "{saved}"},
    {"put", "1000 --nth 6", 28, 255, "{1} {2}", "",
     "GUIDModify : zRootKey error {e}\nStopped at {Word} \"{3}\": 2 changed, 1 not "
     "applied\n{lost}",
     REFUSED("3", "zRootKey") UNDO_ERR},
    {"put", "23 --nth 6", 29, 255, "{1} {2}", "",
     "GUIDModify : zOpen error {e}\nStopped at {Word} \"{3}\": 2 changed, 1 not applied\n{lost}",
     REFUSED("3", "zOpen") UNDO_ERR},
    {"put", "16 --nth 6", 30, 255, "{1} {2}", "",
     "{lead}zGetInfo failed -- error {e}\nStopped at {Word} \"{3}\": 2 changed, 1 not "
     "applied\n{lost}",
     REFUSED("3", "zGetInfo") UNDO_ERR},
    {"put", "22 --nth 3", 31, 255, "{1} {2}", "",
     "zModifyInfo error {e}\nStopped at {Word} \"{3}\": 2 changed, 1 not applied\n{lost}",
     REFUSED("3", "zModifyInfo") UNDO_ERR},
    {"put", "1001 --nth 11", 32, 0, "all", "{kind}:{3}", "{saved}"},
    {"put", "1001 --nth 12", 33, 0, "all", "root", "{saved}"},
};

// The command's last lines of each run, for {saved} and {lost}, and the kind's words.
struct LastLines {
    const char* run;
    const char* saved;
    const char* lost;
    const char* word;
    const char* lead;
};

const LastLines kLastLines[] = {
    {"get pool", "Successfully updated the file \"{path}\" with Pool GUID List\n",
     "Updated the file \"{path}\" with Pool GUID List, but 1 pool could not be saved\n", "Pool",
     ""},
    {"get volume", "\n\nSuccessfully updated the file \"{path}\" with Volume GUID List\n",
     "\n\nUpdated the file \"{path}\" with Volume GUID List, but 1 volume could not be saved\n",
     "Volume", ""},
    {"put pool", "Successfully updated from file \"{path}\" to the Pool's GUID\n",
     "GUIDModify failed, status -1\nFailed to Parse the XML from Buffer\n", "Pool", ""},
    {"put volume", "\n\nSuccessfully updated from file \"{path}\" to the Volume's GUID\n",
     "GUIDModify failed, status -1\nFailed to Parse the XML from Buffer\n", "Volume", "  "},
};

// One run of a row: the row's text with the kind and the failing value filled in.
struct SweepCase {
    std::string road;  // "get" or "put"
    std::string kind;  // "pool" or "volume"
    std::string name;
    Lines fault;
    int request = 0;
    std::string result;  // a request's fault: what the journal records for it
    int exit = 0;
    std::string ids;
    std::string held;
    std::string out;
    std::string err;
};

void PrintTo(const SweepCase& c, std::ostream* out)
{
    *out << c.name;
}

std::string replaced(std::string text, const std::string& token, const std::string& value)
{
    for (size_t at = text.find(token); at != std::string::npos;
         at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
    return text;
}

// put's own undo list for the kind, as korvane names it.
std::string undoPath(const std::string& kind)
{
    return "/var/lib/korvane/" + kind + "s-before-put.xml";
}

std::string objectName(const std::string& kind, int i)
{
    return (kind == "pool" ? "P" : "V") + std::to_string(i + 1);
}

std::string oldId(const std::string& kind, int i)
{
    return e2e::testId((kind == "pool" ? 11u : 1u) + static_cast<unsigned>(i));
}

std::string newId(const std::string& kind, int i)
{
    return e2e::testId((kind == "pool" ? 111u : 101u) + static_cast<unsigned>(i));
}

// Three pools and three volumes, so a run of one kind is seen to leave the other alone.
std::vector<e2e::ObjectSpec> systemObjects()
{
    std::vector<e2e::ObjectSpec> objects;
    for (const char* kind : {"pool", "volume"}) {
        for (int i = 0; i < kObjects; ++i) {
            objects.push_back({kind, objectName(kind, i), 6, oldId(kind, i)});
        }
    }
    return objects;
}

// The name/ID pairs of the objects a row's `ids` names, with their new or old IDs.
std::vector<std::pair<std::string, std::string>> pairs(const std::string& kind,
                                                       const std::string& ids, bool fresh)
{
    std::vector<std::pair<std::string, std::string>> list;
    for (int i = 0; i < kObjects; ++i) {
        const std::string name = objectName(kind, i);
        if (ids == "all" || (" " + ids + " ").find(" " + name + " ") != std::string::npos) {
            list.emplace_back(name, fresh ? newId(kind, i) : oldId(kind, i));
        }
    }
    return list;
}

// The test's name: the run, then the fault's words without the options that every
// fault of its call carries.
std::string caseName(const std::string& run, const Lines& words, const std::string& variant)
{
    std::string name = replaced(run, " ", "_");
    for (size_t k = 0; k < words.size(); ++k) {
        if ((words[k] == "--errno" || words[k] == "--path") && k + 1 < words.size()) {
            name += words[k] == "--path" && words[k + 1] == "{lock}" ? "_lock" : "";
            name += words[k] == "--path" && words[k + 1] == "{undo}" ? "_undo" : "";
            ++k;
        } else if (words[k] != "--nth" && words[k] != "{kind}") {
            name += "_" + words[k];
        }
    }
    return name + (words.empty() ? "_baseline" : "") + variant;
}

// Each row once for each kind it names; a request's row twice, its fault and {e} filled
// in with the status, then with the errno.
std::vector<SweepCase> sweepCases()
{
    std::vector<SweepCase> cases;
    for (const Row& row : kRows) {
        for (const LastLines& last : kLastLines) {
            const std::string run = last.run;
            if (row.run != run && row.run != run.substr(0, 3)) {
                continue;
            }
            SweepCase c;
            c.road = run.substr(0, 3);
            c.kind = run.substr(4);
            c.request = row.request;
            c.exit = row.exit;
            auto kindWords = [&](std::string text) {
                for (int i = 0; i < kObjects; ++i) {
                    text = replaced(text, "{" + std::to_string(i + 1) + "}", objectName(c.kind, i));
                }
                text = replaced(text, "{dir}",
                                c.kind == "pool" ? "/_admin/Pools/" : "/_admin/Volumes/");
                text = replaced(text, "{lock}", RUN_LOCK_PATH);
                text = replaced(text, "{undo}", undoPath(c.kind));
                return replaced(replaced(replaced(text, "{kind}", c.kind), "{Word}", last.word),
                                "{lead}", last.lead);
            };
            c.err = kindWords(row.err);
            c.ids = kindWords(row.ids);
            c.held = kindWords(row.held);
            c.out =
                kindWords(replaced(replaced(row.out, "{saved}", last.saved), "{lost}", last.lost));
            Lines words;
            std::istringstream fault(row.fault);
            for (std::string word; fault >> word;) {
                words.push_back(word);
                c.fault.push_back(
                    replaced(replaced(replaced(word, "{kind}", c.kind), "{lock}", RUN_LOCK_PATH),
                             "{undo}", undoPath(c.kind)));
            }
            if (row.request == 0) {
                c.name = caseName(run, words, "");
                cases.push_back(c);
                continue;
            }
            for (const char* option : {"--status", "--errno"}) {
                const std::string value = option == std::string("--status") ? "77" : "5";
                SweepCase one = c;
                one.name = caseName(run, words, std::string("_") + (option + 2));
                one.fault.insert(one.fault.begin() + 1, {option, value});
                one.result = std::string(option + 2) + "=" + value;
                one.out = replaced(c.out, "{e}", value);
                one.err = replaced(c.err, "{e}", value);
                cases.push_back(one);
            }
        }
    }
    return cases;
}

std::string testName(const testing::TestParamInfo<SweepCase>& info)
{
    return info.param.name;
}

class FaultSweep : public e2e::EndToEndP<SweepCase> {};

TEST_P(FaultSweep, EndsWithItsMessageStatusAndIds)
{
    const SweepCase& c = GetParam();
    const bool get = c.road == "get";
    const std::string path = file("list.xml");
    addAll(systemObjects());
    if (!get) {
        e2e::writeFile(path, e2e::listFile(c.kind, pairs(c.kind, "all", true)));
    }
    if (!c.fault.empty()) {
        failAll({c.fault}, path);
    }

    e2e::zapisim("journal", sys, {"--clear"});
    e2e::Outcome outcome;
    outcome.process = e2e::runKorvane(sys, {c.road, c.kind, path});
    outcome.journal = e2e::readJournal(sys);
    outcome.objects = e2e::showObjects(sys);

    // A put that went through ends by saying so: each of the three objects took its ID.
    std::string closing = (!get && outcome.process.exitStatus == 0)
                              ? "korvane: put " + c.kind + " from \"" + path +
                                    "\": 3 changed, 0 already held their ID, 0 inactive skipped\n"
                              : "";
    EXPECT_EQ(outcome.process.err, e2e::withPath(c.err, path) + closing);
    ASSERT_EQ(outcome.journal.exits.size(), 1u) << "one korvane process exit in the journal";
    EXPECT_EQ(outcome.journal.exits[0], c.held.empty() ? 0 : 1) << "keys held at exit";
    if (c.held.empty()) {
        e2e::checkJournalHygiene(outcome.journal);
    } else {
        ASSERT_EQ(outcome.journal.held.size(), 1u);
        const std::string& held = outcome.journal.held[0];
        EXPECT_EQ(held.substr(held.find(' ') + 1), c.held);
    }

    EXPECT_EQ(outcome.process.out, e2e::kBanner + e2e::withPath(c.out, path));
    EXPECT_EQ(outcome.process.exitStatus, c.exit);
    EXPECT_EQ(e2e::describe(outcome.objects),
              e2e::expectedObjects(systemObjects(),
                                   get ? pairs(c.kind, "", true) : pairs(c.kind, c.ids, true)));
    if (get) {
        bool exists = false;
        std::string written = e2e::readFile(path, &exists);
        EXPECT_EQ(exists, c.ids != "no file");
        if (exists) {
            EXPECT_EQ(written, e2e::listFile(c.kind, pairs(c.kind, c.ids, false)));
        }
    }
    // The fault met the request it was meant for, after the same requests as without it.
    if (c.request > 0) {
        const size_t at = static_cast<size_t>(c.request - 1);
        ASSERT_GT(outcome.journal.requests.size(), at);
        for (size_t k = 0; k < at; ++k) {
            EXPECT_EQ(outcome.journal.requests[k].result, "0") << "request " << k + 1;
        }
        EXPECT_EQ(outcome.journal.requests[at].op, std::stol(c.fault[0]));
        EXPECT_EQ(outcome.journal.requests[at].result, c.result);
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, FaultSweep, testing::ValuesIn(sweepCases()), testName);

}  // namespace

namespace {

// get --keep 3 over a list file and two kept lists, with the last write, the sync of the
// temporary file, each rename and the link failed (EIO) or signalled (SIGINT) in turn, up
// to the first that is never made. A failed run leaves every file as it was; a signal
// stops the run before the first rename or not at all. A file system without hard links
// (the link failing with EPERM) has the list file renamed instead; an immutable list file
// fails that rename too.
enum KeepStep { KEEP_WRITE, KEEP_FSYNC, KEEP_RENAME, KEEP_LINK };

struct KeepSweepCase {
    KeepStep step;
    int nth;
    bool signal;
    bool unsupported;  // the link fails with EPERM, and so does the step
};

std::string keepCaseText(const KeepSweepCase& c)
{
    static const char* const steps[] = {"write", "fsync", "rename", "link"};
    return std::string(steps[c.step]) + std::to_string(c.nth) +
           (c.signal ? "_signal" : (c.unsupported ? "_unsupported" : "_errno"));
}

void PrintTo(const KeepSweepCase& c, std::ostream* out)
{
    *out << keepCaseText(c);
}

std::string keepCaseName(const testing::TestParamInfo<KeepSweepCase>& info)
{
    return keepCaseText(info.param);
}

std::vector<KeepSweepCase> keepSweepCases()
{
    std::vector<KeepSweepCase> cases;
    // The trailer, the last write (each write's own failure is the sweep above's); the
    // temporary file's sync; two renames of the kept lists, then the temporary file's
    // after the list file's link.
    const int calls[] = {kObjects + 2, 1, 3, 1};
    for (KeepStep step : {KEEP_WRITE, KEEP_FSYNC, KEEP_RENAME, KEEP_LINK}) {
        for (int nth = step == KEEP_WRITE ? calls[step] : 1; nth <= calls[step] + 1; ++nth) {
            cases.push_back({step, nth, false, false});
            cases.push_back({step, nth, true, false});
        }
    }
    cases.push_back({KEEP_LINK, 1, false, true});
    cases.push_back({KEEP_RENAME, 3, false, true});
    return cases;
}

class KeepSweep : public e2e::EndToEndP<KeepSweepCase> {};

TEST_P(KeepSweep, LeavesWholeFilesOnly)
{
    const KeepSweepCase& c = GetParam();
    const std::string path = file("list.xml");
    addAll(systemObjects());
    const std::string list = e2e::listFile("volume", pairs("volume", "all", false));
    e2e::writeFile(path, "A");
    e2e::writeFile(path + ".1", "B");
    e2e::writeFile(path + ".2", "C");
    static const char* const words[] = {"write", "fsync", "rename", "link"};
    const std::string error = c.unsupported ? "1" : kErrno;
    if (c.unsupported)
        fail({"link", "--path", path, "--errno", "1"});
    fail({words[c.step], "--path", path, c.signal ? "--signal" : "--errno", c.signal ? "2" : error,
          "--nth", std::to_string(c.nth)});

    const int calls[] = {kObjects + 2, 1, 3, 1};
    const bool reached = c.nth <= calls[c.step] && !(c.unsupported && c.step == KEEP_LINK);
    const std::string tail = "getName : FAILED to print GUID to File " + path + ", Error = -1\n";
    // What list.xml, .1, .2 and .3 hold ("" for none), and the output after the banner.
    std::vector<std::string> files = {list, "A", "B", "C"};
    std::string out = "\n\nSuccessfully updated the file \"" + path +
                      "\" with Volume GUID List\nThe previous list is kept as \"" + path + ".1\"\n";
    if (reached && (!c.signal || c.step < KEEP_RENAME)) {
        files = {"A", "B", "C", ""};
        out = c.signal ? "getName : interrupted by signal 2\n"
                       : (c.step == KEEP_WRITE ? "3:write" : "close") +
                             std::string(" failed, ccode = -1, error = ") + error + "\n" + tail;
        expectedErr = c.signal ? "" : "korvane: " + path + ": " + strerror(std::stoi(error)) + "\n";
    }
    e2e::Outcome outcome = run({"get", "--keep", "3", "volume", path});
    EXPECT_EQ(outcome.process.out, e2e::kBanner + out);
    EXPECT_EQ(outcome.process.exitStatus, files[0] == list ? 0 : 255);
    for (size_t k = 0; k < files.size(); ++k) {
        std::string name = k == 0 ? path : path + "." + std::to_string(k);
        bool exists = false;
        std::string content = e2e::readFile(name, &exists);
        EXPECT_EQ(exists, !files[k].empty()) << name;
        EXPECT_EQ(content, files[k]) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Keep, KeepSweep, testing::ValuesIn(keepSweepCases()), keepCaseName);

}  // namespace
