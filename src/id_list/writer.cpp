// SPDX-License-Identifier: Apache-2.0
// Writing the list file: its format, record by record, through a safe replacement of the
// file.
#include <signal.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "admin_report.h"
#include "file_replace.h"
#include "id_list.h"

namespace {

constexpr size_t RECORD_BUFFER_SIZE = 4096;

// Copies text (at most `bound` bytes, up to its terminator) to out; the position after it.
char* appendText(char* out, const char* text, size_t bound)
{
    size_t length = strnlen(text, bound);
    memcpy(out, text, length);
    return out + length;
}

// Copies "<element>text</element>" to out, the text bounded by its field; the position
// after it.
char* appendElement(char* out, const char* element, const char* text, size_t bound)
{
    out = appendText(out, "<", RECORD_BUFFER_SIZE);
    out = appendText(out, element, RECORD_BUFFER_SIZE);
    out = appendText(out, ">", RECORD_BUFFER_SIZE);
    out = appendText(out, text, bound);
    out = appendText(out, "</", RECORD_BUFFER_SIZE);
    out = appendText(out, element, RECORD_BUFFER_SIZE);
    return appendText(out, ">", RECORD_BUFFER_SIZE);
}

// Copies the pair's check comment, CHECK_FORMAT with the check, to out; the position after
// it. Written directly, as the rest of the record is: a formatted print per record costs a
// whole get a few percent.
char* appendCheck(char* out, uint32_t check)
{
    static const char digits[] = "0123456789abcdef";
    out = appendText(out, " <!-- check ", RECORD_BUFFER_SIZE);
    for (int shift = 28; shift >= 0; shift -= 4) {
        *out++ = digits[(check >> shift) & 0xfU];
    }
    return appendText(out, " -->", RECORD_BUFFER_SIZE);
}

// One pair's record at the start of the buffer: the name element on a line of its own after
// one tab, the ID element after two, followed on its line by the pair's check. Each text is
// bounded by a node's field, so the record always fits. Returns its length; only that many
// bytes are written out.
size_t buildRecord(char* record, const ObjectKind_s& kind, const char* name, const char* guidText)
{
    char* out = appendText(record, "\t", RECORD_BUFFER_SIZE);
    out = appendElement(out, kind.nameElement, name, sizeof NameGUIDList_s::name);
    out = appendText(out, "\n\t\t", RECORD_BUFFER_SIZE);
    out = appendElement(out, kind.guidElement, guidText, sizeof NameGUIDList_s::guidText);
    // The get road's texts always convert; a text that did not could not be checked
    // against anything, and its pair goes without, as a hand-written one does.
    GUID id;
    if (LB_GUIDFromString(guidText, &id) == 0) {
        out = appendCheck(out, pairCheck(kind, name, &id));
    }
    out = appendText(out, "\n", RECORD_BUFFER_SIZE);
    return static_cast<size_t>(out - record);
}

// Gives back the file-size limit's signal as it was before the list was begun.
ListStep endSteps(ListFile_s* file, ListStep step)
{
    (void)sigaction(SIGXFSZ, &file->previous, nullptr);
    return step;
}

// The step that failed, or LIST_INTERRUPTED; the output is abandoned already.
ListStep failedStep(ListFile_s* file, OutputResult result, ListStep step)
{
    return endSteps(file, (result == OUTPUT_INTERRUPTED) ? LIST_INTERRUPTED : step);
}

// Reports a failed write or commit with the failed call's error number; an interruption is
// the caller's to report. -1.
int reportFailure(const OutputFile_s* output, const char* path, OutputResult result,
                  const char* what)
{
    if (result != OUTPUT_INTERRUPTED) {
        char line[128];
        (void)snprintf(line, sizeof line, "%s, ccode = %d, error = %d\n", what, -1, output->error);
        printFailureLine(line);
        explainFileFailure(path, output->error);
    }
    return -1;
}

// Header, records and trailer into the open output.
int writeList(const ObjectKind_s& kind, OutputFile_s* output, const char* path)
{
    char header[64];
    char trailer[64];
    (void)snprintf(header, sizeof header, "<%s>\n", kind.rootElement);
    (void)snprintf(trailer, sizeof trailer, "</%s>", kind.rootElement);
    OutputResult result = writeOutput(output, header, strlen(header));
    if (result != OUTPUT_DONE) {
        return reportFailure(output, path, result, "1:Write failed");
    }

    char record[RECORD_BUFFER_SIZE];
    for (const NameGUIDList_s* node = listHead; node != nullptr; node = node->next) {
        result = writeOutput(output, record, buildRecord(record, kind, node->name, node->guidText));
        if (result != OUTPUT_DONE) {
            return reportFailure(output, path, result, "2:Write failed");
        }
    }

    result = writeOutput(output, trailer, strlen(trailer));
    return (result == OUTPUT_DONE) ? 0 : reportFailure(output, path, result, "3:write failed");
}

// A file refused as output, by the path given or by what it turned out to be.
void reportRefused(const OutputFile_s* output, const char* path)
{
    char line[sizeof(ShownText_s) + 64];
    (void)snprintf(line, sizeof line,
                   (output->refused == OUTPUT_BLOCK_DEVICE)
                       ? "The list file cannot be a block device \"%s\"\n"
                       : "The list file cannot be the admin device \"%s\"\n",
                   shown(path).text);
    printFailureLine(line);
}

}  // namespace

ListStep beginListFile(ListFile_s* file, const ObjectKind_s& kind, const char* path,
                       const char* waitLead)
{
    file->kind = &kind;
    // A file-size limit then fails the write with EFBIG, reported like any failed write,
    // instead of ending the process with the temporary file left behind.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)sigaction(SIGXFSZ, &ignore, &file->previous);
    if (openOutput(&file->output, path, waitLead) != 0) {
        return endSteps(file, LIST_OPEN_FAILED);
    }
    char header[64];
    (void)snprintf(header, sizeof header, "<%s>\n", kind.rootElement);
    OutputResult result = writeOutput(&file->output, header, strlen(header));
    return (result == OUTPUT_DONE) ? LIST_DONE : failedStep(file, result, LIST_HEADER_FAILED);
}

ListStep writeListPair(ListFile_s* file, const char* name, const char* guidText)
{
    char record[RECORD_BUFFER_SIZE];
    size_t length = buildRecord(record, *file->kind, name, guidText);
    OutputResult result = writeOutput(&file->output, record, length);
    return (result == OUTPUT_DONE) ? LIST_DONE : failedStep(file, result, LIST_RECORD_FAILED);
}

ListStep endListFile(ListFile_s* file, uint32_t keep, bool* kept)
{
    char trailer[64];
    (void)snprintf(trailer, sizeof trailer, "</%s>", file->kind->rootElement);
    OutputResult result = writeOutput(&file->output, trailer, strlen(trailer));
    if (result != OUTPUT_DONE) {
        return failedStep(file, result, LIST_TRAILER_FAILED);
    }
    result = commitOutput(&file->output, keep, kept);
    return (result == OUTPUT_DONE) ? endSteps(file, LIST_DONE)
                                   : failedStep(file, result, LIST_COMMIT_FAILED);
}

int openListFile(const char* path, OutputFile_s* output)
{
    // Only the get road writes a list: a wait for the file ends as its own.
    if (openOutput(output, path, "getName : ") == 0) {
        return 0;
    }
    if (output->refused != OUTPUT_ALLOWED) {
        reportRefused(output, path);
    } else if (!output->interrupted) {
        char line[64];
        (void)snprintf(line, sizeof line, "Open failed, error : %d\n", output->error);
        printFailureLine(line);
        explainFileFailure(path, output->error);
    }
    return -1;
}

int writeGUIDToFile(const ObjectKind_s& kind, OutputFile_s* output, const char* path)
{
    if (listHead == nullptr) {
        printFailureLine("List is empty, There are no Volumes\n");
        abandonOutput(output);
        return -1;
    }
    // A file opened before the run's own files were: it may have turned out to be one.
    if (outputRefusedNow(output)) {
        reportRefused(output, path);
        abandonOutput(output);
        return -1;
    }
    // A file-size limit then fails the write with EFBIG, reported like any failed write,
    // instead of ending the process with the temporary file left behind.
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)sigaction(SIGXFSZ, &ignore, &previous);
    int result = writeList(kind, output, path);
    (void)sigaction(SIGXFSZ, &previous, nullptr);
    return result;
}

int commitListFile(OutputFile_s* output, const char* path, uint32_t keep, bool* kept)
{
    OutputResult result = commitOutput(output, keep, kept);
    return (result == OUTPUT_DONE) ? 0 : reportFailure(output, path, result, "close failed");
}
