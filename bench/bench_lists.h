// SPDX-License-Identifier: Apache-2.0
// Name/ID lists and list files of generated volumes, shared by the list benchmarks.
#pragma once

#include <cstdint>
#include <string>

// Objects in the list benchmarks: a large storage server.
constexpr uint32_t BENCH_OBJECTS = 100000;

// Appends `count` volumes to the empty list, named as "zapisim add-many" names them
// (VOL000001, ...), with IDs drawn from a generator seeded with `seed`.
void fillVolumeList(uint32_t count, uint32_t seed);

// A fresh directory for the benchmark's files, and its removal with its files.
std::string makeScratchDirectory();
void removeScratchDirectory(const std::string& directory);

// The list written as a volume list file at path, as get writes it (opened, written,
// completed); the list is left as it is. 0 or -1.
int writeVolumeList(const std::string& path);

// The bytes of the volume list file that the tool's writer makes for such a list.
std::string volumeListFile(const std::string& directory, uint32_t count, uint32_t seed);
