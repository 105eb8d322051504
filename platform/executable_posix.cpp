// Where the running program lies, read from the links the system keeps for each process.
#include <unistd.h>

#include <cstring>

#include "platform/platform.h"

namespace {

// The link to the running executable under the process file systems of Linux (/proc/self/exe),
// NetBSD and FreeBSD with procfs mounted (/proc/curproc/exe, /proc/curproc/file) and Solaris
// (/proc/self/path/a.out), tried in that order: the first that reads wins.
const char* const executableLinks[] = {
    "/proc/self/exe",
    "/proc/curproc/exe",
    "/proc/curproc/file",
    "/proc/self/path/a.out",
};

}  // namespace

int vexPlatform_ExecutableFolder(char* out, int size) {
    if (out == nullptr || size <= 0) {
        return 0;
    }
    out[0] = '\0';
    for (const char* link : executableLinks) {
        // readlink does not terminate the text and truncates silently: a result that fills the
        // whole buffer may have been cut, so it counts as not fitting.
        ssize_t length = readlink(link, out, static_cast<size_t>(size));
        if (length <= 0 || length >= size || out[0] != '/') {
            out[0] = '\0';
            continue;
        }
        out[length] = '\0';
        char* lastSlash = std::strrchr(out, '/');
        // The executable at the top of the tree lies in "/", which keeps its one slash.
        lastSlash[lastSlash == out ? 1 : 0] = '\0';
        return 1;
    }
    return 0;
}
