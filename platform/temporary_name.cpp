// Platform layer, portable: the temporary names new files take in the folder they will replace
// a file in, on every system.
#include <cstdio>

#include "platform/platform_internal.h"

const char* const platformTemporaryPrefix = "vexbitmap-";

bool platformTemporaryName(const char* fileName, int folderLength, std::uint64_t seed, char* out,
                           size_t size) {
    // One round of a 64-bit mixer spreads every bit of the seed over the whole value.
    seed = (seed ^ (seed >> 30)) * 0xbf58476d1ce4e5b9ULL;
    seed = (seed ^ (seed >> 27)) * 0x94d049bb133111ebULL;
    seed ^= seed >> 31;
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const int suffixLength = 6;
    char suffix[suffixLength + 1];
    for (int i = 0; i < suffixLength; ++i) {
        suffix[i] = letters[seed % (sizeof letters - 1)];
        seed /= sizeof letters - 1;
    }
    suffix[suffixLength] = '\0';
    int length = std::snprintf(out, size, "%.*s%s%s", folderLength, fileName,
                               platformTemporaryPrefix, suffix);
    return length >= 0 && static_cast<size_t>(length) < size;
}
