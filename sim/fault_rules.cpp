// SPDX-License-Identifier: Apache-2.0
// The text form of fault rules.
#include "fault_rules.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

const char* const RULE_WORDS[] = {nullptr,  "request", "device", "opendir", "readdir", "malloc",
                                  "power",  "open",    "read",   "write",   "close",   "fcntl",
                                  "fchown", "fsync",   "rename", "link"};
constexpr int RULE_WORD_COUNT = sizeof RULE_WORDS / sizeof RULE_WORDS[0];

// Appends text at *used; false when it does not fit.
bool appendText(char* line, size_t size, size_t* used, const char* text)
{
    size_t length = strlen(text);
    if (length >= size - *used)
        return false;
    memcpy(line + *used, text, length + 1);
    *used += length;
    return true;
}

// Appends " key=value".
bool appendNumber(char* line, size_t size, size_t* used, const char* key, unsigned long long value)
{
    char word[64];
    (void)snprintf(word, sizeof word, " %s=%llu", key, value);
    return appendText(line, size, used, word);
}

bool appendHex(char* line, size_t size, size_t* used, const char* text)
{
    static const char digits[] = "0123456789abcdef";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*used + 3 > size)
            return false;
        line[(*used)++] = digits[*p >> 4];
        line[(*used)++] = digits[*p & 15];
    }
    line[*used] = '\0';
    return true;
}

bool readHex(const char* hex, size_t length, char* text, size_t size)
{
    if (length % 2 != 0 || length / 2 >= size)
        return false;
    for (size_t i = 0; i < length; i += 2) {
        char pair[3] = {hex[i], hex[i + 1], '\0'};
        char* end = nullptr;
        unsigned long byte = strtoul(pair, &end, 16);
        if (end != pair + 2 || byte == 0)
            return false;
        text[i / 2] = static_cast<char>(byte);
    }
    text[length / 2] = '\0';
    return true;
}

bool readNumber(const char* text, size_t length, unsigned long long* value)
{
    if (length == 0 || length > 20)
        return false;
    char digits[24];
    memcpy(digits, text, length);
    digits[length] = '\0';
    if (digits[0] < '0' || digits[0] > '9')
        return false;
    char* end = nullptr;
    errno = 0;
    *value = strtoull(digits, &end, 10);
    return errno == 0 && *end == '\0';
}

}  // namespace

const char* simRuleWord(int what)
{
    return what > 0 && what < RULE_WORD_COUNT ? RULE_WORDS[what] : nullptr;
}

int simRuleFromWord(const char* word)
{
    for (int what = 1; what < RULE_WORD_COUNT; ++what) {
        if (strcmp(word, RULE_WORDS[what]) == 0)
            return what;
    }
    return 0;
}

int simFormatRule(const SimFaultRule_s* rule, char* line, size_t size)
{
    const char* word = simRuleWord(rule->what);
    if (word == nullptr || size == 0)
        return -1;
    size_t used = 0;
    line[0] = '\0';
    bool fits = appendText(line, size, &used, "what=") && appendText(line, size, &used, word);
    if (rule->what == SIM_RULE_REQUEST)
        fits = fits && appendNumber(line, size, &used, "op", rule->operation);
    if (rule->what == SIM_RULE_OPENDIR || rule->what == SIM_RULE_READDIR) {
        fits = fits && appendText(line, size, &used,
                                  rule->kind == SIM_KIND_POOL ? " kind=pool" : " kind=volume");
    }
    if (rule->what == SIM_RULE_MALLOC)
        fits = fits && appendNumber(line, size, &used, "size", rule->size);
    if (rule->what == SIM_RULE_REQUEST && rule->status != 0) {
        fits = fits && appendNumber(line, size, &used, "status",
                                    static_cast<unsigned long long>(rule->status));
    } else if (rule->signalNumber != 0) {
        fits = fits && appendNumber(line, size, &used, "signal",
                                    static_cast<unsigned long long>(rule->signalNumber));
    } else if (rule->what == SIM_RULE_POWER) {
        fits = fits && appendNumber(line, size, &used, "outcome", rule->outcome);
    } else if (rule->what != SIM_RULE_MALLOC) {
        fits = fits && appendNumber(line, size, &used, "errno",
                                    static_cast<unsigned long long>(rule->errnoValue));
    }
    if (rule->hasText) {
        fits = fits &&
               appendText(line, size, &used, rule->what >= SIM_RULE_OPEN ? " path=" : " name=");
        fits = fits && appendHex(line, size, &used, rule->text);
    }
    if (rule->nth != 0)
        fits = fits && appendNumber(line, size, &used, "nth", rule->nth);
    fits = fits && appendText(line, size, &used, "\n");
    return fits ? 0 : -1;
}

int simParseRule(const char* line, SimFaultRule_s* rule)
{
    memset(rule, 0, sizeof *rule);
    const char* p = line;
    while (*p != '\0') {
        while (*p == ' ')
            ++p;
        if (*p == '\0')
            break;
        const char* end = p;
        while (*end != '\0' && *end != ' ')
            ++end;
        const char* equals = static_cast<const char*>(memchr(p, '=', static_cast<size_t>(end - p)));
        if (equals == nullptr)
            return -1;
        size_t keyLength = static_cast<size_t>(equals - p);
        const char* value = equals + 1;
        size_t valueLength = static_cast<size_t>(end - value);
        unsigned long long number = 0;
        auto keyIs = [&](const char* key) {
            return strlen(key) == keyLength && memcmp(p, key, keyLength) == 0;
        };
        if (keyIs("what")) {
            char word[16] = {};
            if (valueLength >= sizeof word)
                return -1;
            memcpy(word, value, valueLength);
            rule->what = simRuleFromWord(word);
        } else if (keyIs("kind")) {
            if (valueLength == 4 && memcmp(value, "pool", 4) == 0)
                rule->kind = SIM_KIND_POOL;
            else if (valueLength == 6 && memcmp(value, "volume", 6) == 0)
                rule->kind = SIM_KIND_VOLUME;
            else
                return -1;
        } else if (keyIs("name") || keyIs("path")) {
            if (!readHex(value, valueLength, rule->text, sizeof rule->text))
                return -1;
            rule->hasText = true;
        } else if (readNumber(value, valueLength, &number)) {
            if (keyIs("op"))
                rule->operation = number;
            else if (keyIs("status"))
                rule->status = static_cast<int64_t>(number);
            else if (keyIs("errno"))
                rule->errnoValue = static_cast<int>(number);
            else if (keyIs("signal"))
                rule->signalNumber = static_cast<int>(number);
            else if (keyIs("size"))
                rule->size = number;
            else if (keyIs("nth"))
                rule->nth = number;
            else if (keyIs("outcome"))
                rule->outcome = number;
            else
                return -1;
        } else {
            return -1;
        }
        p = end;
    }
    if (rule->what == 0)
        return -1;
    if ((rule->what == SIM_RULE_OPENDIR || rule->what == SIM_RULE_READDIR) && rule->kind == 0)
        return -1;
    if (rule->what >= SIM_RULE_OPEN && !rule->hasText)
        return -1;
    if (rule->what == SIM_RULE_POWER && rule->nth == 0)
        return -1;
    return 0;
}

int simReadRules(const char* path, SimFaultRule_s* rules, size_t* count, char* problem)
{
    *count = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT)
        return 0;
    if (fd < 0) {
        (void)snprintf(problem, SIM_RULES_PROBLEM_SIZE, ": %s", strerror(errno));
        return -1;
    }
    // Lines are read one by one from a small window: the file is tiny, and this keeps
    // the library's start free of large allocations.
    static char window[SIM_RULE_LINE_SIZE + 1];
    size_t held = 0;
    size_t lineNumber = 0;
    bool eof = false;
    const char* wrong = nullptr;
    while (wrong == nullptr) {
        if (!eof && held < SIM_RULE_LINE_SIZE) {
            ssize_t got = read(fd, window + held, SIM_RULE_LINE_SIZE - held);
            if (got < 0) {
                (void)snprintf(problem, SIM_RULES_PROBLEM_SIZE, ": %s", strerror(errno));
                close(fd);
                return -1;
            }
            eof = got == 0;
            held += static_cast<size_t>(got);
        }
        if (held == 0)
            break;
        char* newline = static_cast<char*>(memchr(window, '\n', held));
        if (newline == nullptr && !eof && held < SIM_RULE_LINE_SIZE)
            continue;
        ++lineNumber;
        size_t lineLength = newline != nullptr ? static_cast<size_t>(newline - window) : held;
        window[lineLength] = '\0';
        if (newline == nullptr && !eof)
            wrong = "too long";
        else if (*count == SIM_MAX_RULES)
            wrong = "too many rules";
        else if (simParseRule(window, &rules[*count]) != 0)
            wrong = "not a fault rule";
        else
            ++*count;
        size_t consumed = newline != nullptr ? lineLength + 1 : held;
        memmove(window, window + consumed, held - consumed);
        held -= consumed;
    }
    close(fd);
    if (wrong == nullptr)
        return 0;
    (void)snprintf(problem, SIM_RULES_PROBLEM_SIZE, " line %zu: %s", lineNumber, wrong);
    return -1;
}
