// SPDX-License-Identifier: Apache-2.0
// Fault rules of a simulated storage system: written by "zapisim fail" into the
// system's "faults" file, one line each, and read by libzapisim.so when it starts.
//
// A line is space-separated key=value words; names and paths are hex-encoded so any
// byte can appear in them:
//   what=request op=16 status=5 [name=HEX] [nth=N]
//   what=request op=16 errno=5 [name=HEX] [nth=N]
//   what=request op=16 signal=2 [name=HEX] [nth=N]
//   what=device errno=E [nth=N]
//   what=opendir kind=pool errno=E [nth=N]
//   what=readdir kind=volume errno=E [nth=N]
//   what=malloc size=S [nth=N]
//   what=open|read|write|close|fcntl|fchown|fsync|rename|link path=HEX errno=E [nth=N]
//   what=read|write|close|fcntl|fchown|fsync|rename|link path=HEX signal=S [nth=N]
//   what=power nth=N [outcome=K]
#pragma once

#include <cstddef>
#include <cstdint>

#include "store.h"

constexpr int SIM_RULE_REQUEST = 1;
constexpr int SIM_RULE_DEVICE = 2;
constexpr int SIM_RULE_OPENDIR = 3;
constexpr int SIM_RULE_READDIR = 4;
constexpr int SIM_RULE_MALLOC = 5;
constexpr int SIM_RULE_POWER = 6;  // the power cut after the nth file-system call
constexpr int SIM_RULE_OPEN = 7;
constexpr int SIM_RULE_READ = 8;
constexpr int SIM_RULE_WRITE = 9;
constexpr int SIM_RULE_CLOSE = 10;
constexpr int SIM_RULE_FCNTL = 11;
constexpr int SIM_RULE_FCHOWN = 12;
constexpr int SIM_RULE_FSYNC = 13;
constexpr int SIM_RULE_RENAME = 14;  // by path, not on a descriptor
constexpr int SIM_RULE_LINK = 15;    // by path, not on a descriptor

constexpr size_t SIM_MAX_RULES = 64;
constexpr size_t SIM_RULE_LINE_SIZE = 2 * SIM_PATH_SIZE + 256;

struct SimFaultRule_s {
    int what;            // SIM_RULE_*
    uint64_t operation;  // request: the operation code
    int kind;            // opendir/readdir: SIM_KIND_POOL or SIM_KIND_VOLUME
    int64_t status;      // request: the status to return (0: fail with errnoValue)
    int errnoValue;      // the errno of a failing call
    int signalNumber;    // request, descriptor call or rename: raised before the call goes on
    uint64_t size;       // malloc: the size that fails
    uint64_t nth;        // only the nth matching call in a process (0: every one)
    uint64_t outcome;    // power: which of the possible disks the cut leaves
    bool hasText;
    char text[SIM_PATH_SIZE];  // request: object name; file rules: path
};

// The rule word of the command line and of the file ("open", "readdir", ...), or null.
const char* simRuleWord(int what);
int simRuleFromWord(const char* word);  // SIM_RULE_*, or 0

// Writes the rule as one line with its newline. 0, or -1 when it does not fit.
int simFormatRule(const SimFaultRule_s* rule, char* line, size_t size);
// Reads one line (without its newline). 0, or -1 when it is not a rule.
int simParseRule(const char* line, SimFaultRule_s* rule);
// Reads the rules file `path` (absent: no rules) into rules[0..*count), at most
// SIM_MAX_RULES. 0, or -1 with what went wrong in `problem`, written to follow the
// path: " line 3: not a fault rule", " line 65: too many rules", ": Permission denied".
constexpr size_t SIM_RULES_PROBLEM_SIZE = 128;
int simReadRules(const char* path, SimFaultRule_s* rules, size_t* count, char* problem);
