// SPDX-License-Identifier: Apache-2.0
// Linked into every program of the sanitized build (AddressSanitizer with its shared
// runtime). The tests run korvane under "zapisim run", which preloads libzapisim.so
// ahead of the ASan runtime: the check that the runtime comes first must be off, and
// the simulator's allocation wrappers, which hand allocations to the C library's
// internal entry points, must reach ASan's allocator instead, or every block they
// hand out would later be freed by ASan as foreign memory.
#include <cstddef>

extern "C" {

void* __interceptor_malloc(size_t size);
void* __interceptor_calloc(size_t count, size_t size);
void* __interceptor_realloc(void* pointer, size_t size);

// Read by the runtimes at start-up; ASAN_OPTIONS and UBSAN_OPTIONS from the
// environment still override each of these.
const char* __asan_default_options()
{
    return "verify_asan_link_order=0:detect_leaks=1:suppressions=" KORVANE_ASAN_SUPPRESSIONS;
}
const char* __ubsan_default_options()
{
    return "print_stacktrace=1";
}

// Exported from the executable, these come first in the symbol lookup and so stand
// in for the C library's own for every library loaded into the process.
void* __libc_malloc(size_t size)
{
    return __interceptor_malloc(size);
}
void* __libc_calloc(size_t count, size_t size)
{
    return __interceptor_calloc(count, size);
}
void* __libc_realloc(void* pointer, size_t size)
{
    return __interceptor_realloc(pointer, size);
}

}  // extern "C"
