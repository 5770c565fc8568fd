// SPDX-License-Identifier: Apache-2.0
// Run under "zapisim run" by sanitizer_selfcheck_test in the sanitized build: does one
// deliberately faulty (or sound) thing, so that the test can see the sanitizers catch
// it with libzapisim.so preloaded, as they must for korvane.
//   leak | overflow | undefined | allocate SIZE | clean
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void* volatile lostBlock = nullptr;

int main(int argc, char** argv)
{
    const char* what = argc > 1 ? argv[1] : "";
    if (strcmp(what, "leak") == 0) {
        // The only pointer is overwritten, in a place no stack scan still sees.
        lostBlock = malloc(100);
        lostBlock = nullptr;
        return 0;
    }
    if (strcmp(what, "overflow") == 0) {
        char* buffer = static_cast<char*>(malloc(16));
        volatile size_t past = 16;
        int byte = buffer[past];
        free(buffer);
        return byte;
    }
    if (strcmp(what, "undefined") == 0) {
        volatile int large = INT_MAX;
        int sum = large + 1;
        return sum == 0 ? 1 : 0;
    }
    if (strcmp(what, "allocate") == 0 && argc > 2) {
        void* block = malloc(strtoul(argv[2], nullptr, 10));
        puts(block == nullptr ? "null" : "ok");
        free(block);
        return 0;
    }
    if (strcmp(what, "clean") == 0) {
        char* copy = strdup("korvane");
        void* grown = realloc(copy, 4096);
        free(grown != nullptr ? grown : copy);
        void* zeroed = calloc(8, 8);
        free(zeroed);
        puts("ok");
        return 0;
    }
    return 2;
}
