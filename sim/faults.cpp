// SPDX-License-Identifier: Apache-2.0
// Fault injection inside the program: the rules of the system's "faults" file, each
// with its own count of matching calls in this process.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "fault_rules.h"
#include "sim_internal.h"

bool simFileFaultsArmed = false;
bool simMallocFaultsArmed = false;

namespace {

SimFaultRule_s rules[SIM_MAX_RULES];
uint64_t matches[SIM_MAX_RULES];
size_t ruleCount = 0;

// Descriptors opened from a path that read/write/close/fcntl rules watch, with the set of
// those rules (one bit per rule).
struct WatchedFd_s {
    int fd;
    uint64_t rules;
};
constexpr size_t MAX_WATCHED = 256;
WatchedFd_s watched[MAX_WATCHED];
size_t watchedCount = 0;

// Counts the match for rule `index`; true when this call is the one to fail.
bool fires(size_t index)
{
    ++matches[index];
    return rules[index].nth == 0 || matches[index] == rules[index].nth;
}

// The first firing rule of `what` for which `matchesCall` holds; every matching rule
// counts the call, whichever fires.
template <typename Match>
const SimFaultRule_s* firstFiring(int what, Match matchesCall)
{
    const SimFaultRule_s* fired = nullptr;
    for (size_t i = 0; i < ruleCount; ++i) {
        if (rules[i].what != what || !matchesCall(rules[i], i))
            continue;
        if (fires(i) && fired == nullptr)
            fired = &rules[i];
    }
    return fired;
}

// A rule's path names the file itself and the temporary files written to replace it:
// ".NAME.XXXXXX" in the same directory.
bool samePathOrTemporary(const char* rulePath, const char* path)
{
    if (strcmp(rulePath, path) == 0)
        return true;
    const char* slash = strrchr(rulePath, '/');
    size_t directory = slash == nullptr ? 0 : static_cast<size_t>(slash - rulePath) + 1;
    const char* name = rulePath + directory;
    size_t nameLength = strlen(name);
    if (strlen(path) != directory + nameLength + 8 || strncmp(path, rulePath, directory) != 0)
        return false;
    const char* temporary = path + directory;
    return temporary[0] == '.' && strncmp(temporary + 1, name, nameLength) == 0 &&
           temporary[1 + nameLength] == '.' && strchr(temporary + 2 + nameLength, '/') == nullptr;
}

// A rule's path also names the numbered files kept beside it: "NAME.1", "NAME.2", ...
bool numberedFile(const char* rulePath, const char* path)
{
    size_t length = strlen(rulePath);
    if (strncmp(path, rulePath, length) != 0 || path[length] != '.' || path[length + 1] == '\0')
        return false;
    return strspn(path + length + 1, "0123456789") == strlen(path + length + 1);
}

bool failWithErrno(const SimFaultRule_s* rule, int* errnoOut)
{
    if (rule == nullptr)
        return false;
    *errnoOut = rule->errnoValue;
    return true;
}

// A call that rules of `what` watch: the first firing signal rule raises its signal, then
// the first firing error rule fails the call; either may fire alone.
template <typename Match>
bool signalOrFail(int what, Match matchesCall, int* errnoOut)
{
    auto matching = [&matchesCall](bool raising) {
        return [&matchesCall, raising](const SimFaultRule_s& rule, size_t index) {
            return matchesCall(rule, index) && (rule.signalNumber != 0) == raising;
        };
    };
    const SimFaultRule_s* raising = firstFiring(what, matching(true));
    if (raising != nullptr)
        (void)raise(raising->signalNumber);
    return failWithErrno(firstFiring(what, matching(false)), errnoOut);
}

// A rename or link whose source is the rule's path, a temporary file or a numbered file.
bool namedFileFault(int what, const char* from, int* errnoOut)
{
    return signalOrFail(
        what,
        [from](const SimFaultRule_s& rule, size_t) {
            return samePathOrTemporary(rule.text, from) || numberedFile(rule.text, from);
        },
        errnoOut);
}

}  // namespace

void simFaultsReset()
{
    simFileFaultsArmed = false;
    simMallocFaultsArmed = false;
    ruleCount = 0;
    watchedCount = 0;
    simPowerReset();
}

int simFaultsLoad(const char* dir)
{
    simFaultsReset();
    char path[SIM_PATH_SIZE];
    char problem[SIM_RULES_PROBLEM_SIZE];
    if (simSystemPath(path, sizeof path, dir, "faults") != 0)
        return 0;
    size_t count = 0;
    if (simReadRules(path, rules, &count, problem) != 0) {
        (void)dprintf(STDERR_FILENO, "zapisim: %s%s\n", path, problem);
        return -1;
    }
    for (size_t i = 0; i < count; ++i) {
        matches[i] = 0;
        // A rule on korvane's run lock or state folder names the file the calls reach.
        char standIn[SIM_PATH_SIZE];
        if (rules[i].what >= SIM_RULE_OPEN &&
            simStandInPath(standIn, sizeof standIn, dir, rules[i].text) == 1)
            (void)snprintf(rules[i].text, sizeof rules[i].text, "%s", standIn);
        simMallocFaultsArmed = simMallocFaultsArmed || rules[i].what == SIM_RULE_MALLOC;
        simFileFaultsArmed = simFileFaultsArmed || rules[i].what >= SIM_RULE_OPEN;
        if (rules[i].what == SIM_RULE_POWER && !simPowerArmed)
            simPowerArm(rules[i].nth, rules[i].outcome);
    }
    ruleCount = count;
    return 0;
}

bool simFaultDeviceOpen(int* errnoOut)
{
    return failWithErrno(
        firstFiring(SIM_RULE_DEVICE, [](const SimFaultRule_s&, size_t) { return true; }), errnoOut);
}

bool simFaultOpendir(int kind, int* errnoOut)
{
    auto sameKind = [kind](const SimFaultRule_s& rule, size_t) { return rule.kind == kind; };
    return failWithErrno(firstFiring(SIM_RULE_OPENDIR, sameKind), errnoOut);
}

bool simFaultReaddir(int kind, int* errnoOut)
{
    auto sameKind = [kind](const SimFaultRule_s& rule, size_t) { return rule.kind == kind; };
    return failWithErrno(firstFiring(SIM_RULE_READDIR, sameKind), errnoOut);
}

bool simFaultRequest(uint64_t operation, const char* name, int64_t* statusOut, int* errnoOut)
{
    auto matchesRequest = [operation, name](const SimFaultRule_s& rule, bool raising) {
        if (rule.operation != operation || (rule.signalNumber != 0) != raising)
            return false;
        return !rule.hasText || (name != nullptr && strcmp(rule.text, name) == 0);
    };
    // A signal rule only raises its signal; the request goes on to be answered.
    const SimFaultRule_s* raising =
        firstFiring(SIM_RULE_REQUEST,
                    [&](const SimFaultRule_s& rule, size_t) { return matchesRequest(rule, true); });
    if (raising != nullptr)
        (void)raise(raising->signalNumber);
    const SimFaultRule_s* rule = firstFiring(
        SIM_RULE_REQUEST,
        [&](const SimFaultRule_s& rule, size_t) { return matchesRequest(rule, false); });
    if (rule == nullptr)
        return false;
    *statusOut = rule->status;
    *errnoOut = rule->errnoValue;
    return true;
}

bool simFaultMalloc(size_t size)
{
    auto sameSize = [size](const SimFaultRule_s& rule, size_t) { return rule.size == size; };
    return firstFiring(SIM_RULE_MALLOC, sameSize) != nullptr;
}

bool simFaultOpen(const char* path, int* errnoOut)
{
    auto samePath = [path](const SimFaultRule_s& rule, size_t) {
        return samePathOrTemporary(rule.text, path);
    };
    return failWithErrno(firstFiring(SIM_RULE_OPEN, samePath), errnoOut);
}

void simFaultTrackFd(const char* path, int fd)
{
    uint64_t watching = 0;
    for (size_t i = 0; i < ruleCount; ++i) {
        bool onDescriptor = rules[i].what >= SIM_RULE_READ && rules[i].what != SIM_RULE_RENAME &&
                            rules[i].what != SIM_RULE_LINK;
        if (onDescriptor && samePathOrTemporary(rules[i].text, path))
            watching |= uint64_t{1} << i;
    }
    if (watching == 0)
        return;
    simFaultForgetFd(fd);
    if (watchedCount < MAX_WATCHED)
        watched[watchedCount++] = {fd, watching};
}

void simFaultForgetFd(int fd)
{
    for (size_t i = 0; i < watchedCount; ++i) {
        if (watched[i].fd == fd) {
            watched[i] = watched[--watchedCount];
            return;
        }
    }
}

bool simFaultFdCall(int what, int fd, int* errnoOut)
{
    uint64_t watching = 0;
    for (size_t i = 0; i < watchedCount; ++i) {
        if (watched[i].fd == fd)
            watching = watched[i].rules;
    }
    if (watching == 0)
        return false;
    return signalOrFail(
        what,
        [watching](const SimFaultRule_s&, size_t index) { return (watching >> index & 1) != 0; },
        errnoOut);
}

bool simFaultRename(const char* from, int* errnoOut)
{
    return namedFileFault(SIM_RULE_RENAME, from, errnoOut);
}

bool simFaultLink(const char* from, int* errnoOut)
{
    return namedFileFault(SIM_RULE_LINK, from, errnoOut);
}
