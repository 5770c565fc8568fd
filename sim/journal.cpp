// SPDX-License-Identifier: Apache-2.0
// The journal of device requests: one tab-separated line per request, written with a
// single append so that lines of several processes never interleave.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <syslog.h>
#include <unistd.h>

#include "sim_internal.h"

namespace {

int journalFd = -1;
bool journalOn = false;
char journalPath[SIM_PATH_SIZE];
char syslogPath[SIM_PATH_SIZE];

constexpr size_t LINE_SIZE = 8192;

struct Line_s {
    char text[LINE_SIZE];
    size_t used;
};

void put(Line_s* line, const char* text)
{
    size_t length = strlen(text);
    if (length > LINE_SIZE - 1 - line->used)
        length = LINE_SIZE - 1 - line->used;
    memcpy(line->text + line->used, text, length);
    line->used += length;
    line->text[line->used] = '\0';
}

void putNumber(Line_s* line, const char* format, unsigned long long value)
{
    char number[32];
    (void)snprintf(number, sizeof number, format, value);
    put(line, number);
}

void putHex(Line_s* line, const uint8_t* bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < size && line->used + 2 < LINE_SIZE; ++i) {
        line->text[line->used++] = digits[bytes[i] >> 4];
        line->text[line->used++] = digits[bytes[i] & 15];
    }
    line->text[line->used] = '\0';
}

void emit(const Line_s* line)
{
    if (journalFd < 0) {
        journalFd = open(journalPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (journalFd < 0)
            return;
    }
    ssize_t ignored = write(journalFd, line->text, line->used);
    (void)ignored;
}

}  // namespace

void simJournalLoad(const char* dir)
{
    simJournalClose();
    char marker[SIM_PATH_SIZE];
    journalOn = simSystemPath(journalPath, sizeof journalPath, dir, "journal") == 0 &&
                simSystemPath(marker, sizeof marker, dir, "journal-off") == 0 &&
                simSystemPath(syslogPath, sizeof syslogPath, dir, "syslog") == 0 &&
                access(marker, F_OK) != 0;
}

void simJournalSyslog(const char* ident, int options, int priority, const char* text)
{
    static const char* const levels[] = {"emerg",   "alert",  "crit", "err",
                                         "warning", "notice", "info", "debug"};
    if (!journalOn)
        return;
    char facility[16];
    if ((priority & LOG_FACMASK) == LOG_AUTHPRIV)
        (void)snprintf(facility, sizeof facility, "authpriv");
    else
        (void)snprintf(facility, sizeof facility, "facility%d", LOG_FAC(priority));
    char pid[32] = "";
    if ((options & LOG_PID) != 0)
        (void)snprintf(pid, sizeof pid, "[%d]", static_cast<int>(getpid()));
    static Line_s line;
    line.used = 0;
    line.text[0] = '\0';
    put(&line, facility);
    put(&line, ".");
    put(&line, levels[LOG_PRI(priority)]);
    put(&line, " ");
    put(&line, ident);
    put(&line, pid);
    put(&line, ": ");
    put(&line, text);
    put(&line, "\n");
    // Each line in one append, as the journal's; the file is opened for the line alone.
    int fd = open(syslogPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    ssize_t ignored = write(fd, line.text, line.used);
    (void)ignored;
    close(fd);
}

void simJournalClose()
{
    if (journalFd >= 0)
        close(journalFd);
    journalFd = -1;
    journalOn = false;
}

void simJournalRequest(uint64_t operation, const char* object, int64_t result, int errnoValue,
                       uint64_t key, const uint8_t* block, size_t blockSize)
{
    if (!journalOn)
        return;
    static Line_s line;
    line.used = 0;
    line.text[0] = '\0';
    putNumber(&line, "%lld\t", operation);
    put(&line, object);
    if (result == 0)
        put(&line, "\t0");
    else if (result == -1)
        putNumber(&line, "\terrno=%llu", static_cast<unsigned long long>(errnoValue));
    else
        putNumber(&line, "\tstatus=%llu", static_cast<unsigned long long>(result));
    putNumber(&line, "\t%llu\t", key);
    if ((operation == 16 || operation == 22) && blockSize == SIM_BLOCK_SIZE) {
        uint64_t mask = 0;
        memcpy(&mask, block + 96, sizeof mask);
        putNumber(&line, "0x%llx\t", mask);
    } else {
        put(&line, "-\t");
    }
    putHex(&line, block, blockSize);
    put(&line, "\n");
    emit(&line);
}

void simJournalExit(size_t held, const uint64_t* keys, const char* const* objects)
{
    if (!journalOn)
        return;
    static Line_s line;
    line.used = 0;
    line.text[0] = '\0';
    putNumber(&line, "exit\t%llu\n", held);
    emit(&line);
    for (size_t i = 0; i < held; ++i) {
        line.used = 0;
        putNumber(&line, "held\t%llu\t", keys[i]);
        put(&line, objects[i]);
        put(&line, "\n");
        emit(&line);
    }
}
