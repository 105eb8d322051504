// Platform layer, internal: settings of the platform layer that only its own files and the tests
// change.
#pragma once

#include <cstddef>
#include <cstdint>

// Non-zero (the default): a replacing file is made without a name where the system offers that.
// The tests set it to 0 to drive the named temporary file that other systems use.
extern int platformUnnamedFiles;

// The prefix of every temporary name: "vexbitmap-".
extern const char* const platformTemporaryPrefix;

// Writes into `out` the first `folderLength` characters of `fileName` (its folder, separator
// included), the prefix and six letters and digits drawn from `seed`. Names are only ever taken
// with calls that fail on an existing file, so a name another process holds is never touched.
// False when the name does not fit.
bool platformTemporaryName(const char* fileName, int folderLength, std::uint64_t seed, char* out,
                           size_t size);
