// Where the running program lies, as Windows names the module the process was started from.
#include <windows.h>

#include "platform/platform.h"

int vexPlatform_ExecutableFolder(char* out, int size) {
    if (out == nullptr || size <= 0) {
        return 0;
    }
    out[0] = '\0';
    // A name that fills the buffer may have been cut, so it counts as unknown.
    wchar_t wide[vexFileNameCapacity];
    const DWORD capacity = sizeof wide / sizeof wide[0];
    DWORD length = GetModuleFileNameW(nullptr, wide, capacity);
    if (length == 0 || length >= capacity) {
        return 0;
    }
    DWORD cut = length;
    while (cut > 0 && wide[cut - 1] != L'\\' && wide[cut - 1] != L'/') {
        --cut;
    }
    if (cut == 0) {
        return 0;
    }
    // The folder loses its separator, except at the top of a drive ("C:\"), which keeps it.
    if (cut > 1 && wide[cut - 2] != L':') {
        --cut;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, static_cast<int>(cut), out,
                                    size - 1, nullptr, nullptr);
    if (bytes <= 0) {
        out[0] = '\0';
        return 0;
    }
    out[bytes] = '\0';
    return 1;
}
