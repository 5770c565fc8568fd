// SPDX-License-Identifier: Apache-2.0
// In-process face of the simulated storage system, for test programs that link
// libzapisim.so directly (its open64/pread64 then stand in for the C library's).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The simulated device's own statuses (a status of the fault table may be anything).
constexpr uint32_t ZAPISIM_STATUS_MALFORMED = 20200;  // a request breaks the block layout rules
constexpr uint32_t ZAPISIM_STATUS_BAD_KEY = 20201;    // unknown or released key
constexpr uint32_t ZAPISIM_STATUS_NO_OBJECT = 20202;  // zOpen of a path that names no object
constexpr uint32_t ZAPISIM_STATUS_NO_SYSTEM = 20203;  // the storage directory is unusable

// Scripted mode, in this process only: "/dev/zapi" opens without any storage directory,
// every request is recorded, and each is answered by the script (by default result 0
// and the block left as sent). Begin clears the record, the script and the counters.
void zapisimScriptBegin(void);
void zapisimScriptEnd(void);

// What the client sent, in order: the block as it arrived (208 bytes), the offset
// (the operation code), the byte count and the descriptor of each pread64/pread.
// A block pointer stays valid until the next request; null past the last one.
size_t zapisimRequestCount(void);
const uint8_t* zapisimRequestBlock(size_t index);
uint64_t zapisimRequestOffset(size_t index);
uint64_t zapisimRequestSize(size_t index);
int zapisimRequestFd(size_t index);

// Successful opens of "/dev/zapi" since zapisimScriptBegin, and close calls on it.
size_t zapisimDeviceOpenCount(void);
size_t zapisimDeviceCloseCount(void);
// The next open of "/dev/zapi" fails with this errno (once).
void zapisimFailNextDeviceOpen(int errnoValue);
// The flags of the last attempt to open "/dev/zapi" (-1 when none since Begin).
int zapisimDeviceOpenFlags(void);

// The next request with this operation code returns `result` (-1: with errno set to
// errnoValue). Before it returns, each byte of `image` whose `mask` byte is non-zero
// is stored into the block (both 208 bytes; null: the block is left as sent).
// Answers for one operation code are used in the order they were given.
// An image without a mask replaces the whole block.
void zapisimAnswerNext(uint64_t operation, int64_t result, int errnoValue, const uint8_t* image,
                       const uint8_t* mask);

// Storage-backed mode in this process: the system directory `dir` (made by
// "zapisim init") stands behind "/dev/zapi" and the admin directories, exactly as
// with "zapisim run" (its fault rules and journal switch are read now; keys and
// fault counters start afresh). Null leaves storage mode. Returns 0, or -1 when
// `dir` is not a system or its faults file has a line that is not a rule (reported on
// standard error). Scripted mode, while on, takes precedence.
int zapisimUseSystem(const char* dir);
// Keys the device holds at this moment (root and object keys alike).
size_t zapisimHeldKeyCount(void);
}
