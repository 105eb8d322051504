// Files on POSIX systems: reading the start of a file and appending to one without blocking on
// pipes or devices, appends serialised between processes, and the replacement of a file by a new
// one that appears under its name only when it is complete.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/platform.h"
#include "platform/platform_internal.h"

int platformUnnamedFiles = 1;

namespace {

// ---- Opening and writing ------------------------------------------------------------------------

// Opens without blocking (a pipe with no one at the other end would otherwise hold the run
// forever) and keeps only regular files and character devices. The descriptor stays
// non-blocking: a device with nothing to give or take fails the read or write instead.
int openAcceptable(const char* fileName, int flags, struct stat* status) {
    int descriptor = open(fileName, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        return -1;
    }
    if (fstat(descriptor, status) != 0 || !(S_ISREG(status->st_mode) || S_ISCHR(status->st_mode))) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

// Writes every byte of the pieces in as few system calls as the system's limit on pieces allows,
// looping over partial writes and interrupted calls. Counts the bytes that reached the file in
// *written; false when the system refuses any of it.
bool writePieces(int descriptor, const VexFilePiece* pieces, int count, long long* written) {
    const int batchPieces = 64;
    int piece = 0;
    long long offset = 0;  // bytes of pieces[piece] already written
    *written = 0;
    while (piece < count) {
        struct iovec batch[batchPieces];
        int used = 0;
        for (int i = piece; i < count && used < batchPieces && used < IOV_MAX; ++i) {
            long long skip = i == piece ? offset : 0;
            batch[used].iov_base =
                const_cast<char*>(static_cast<const char*>(pieces[i].bytes)) + skip;
            batch[used].iov_len = static_cast<size_t>(pieces[i].size - skip);
            ++used;
        }
        ssize_t done = writev(descriptor, batch, used);
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        long long total = 0;
        for (int i = 0; i < used; ++i) {
            total += static_cast<long long>(batch[i].iov_len);
        }
        if (done == 0 && total > 0) {
            return false;  // a file that takes nothing will not take more later
        }
        *written += done;
        long long left = done;
        while (piece < count && left >= pieces[piece].size - offset) {
            left -= pieces[piece].size - offset;
            offset = 0;
            ++piece;
        }
        offset += left;
    }
    return true;
}

// ---- Temporary names ----------------------------------------------------------------------------

// A name of its own in the folder of `fileName`, from the time, the process and a sequence.
bool makeTemporaryName(const char* fileName, char* out, size_t size) {
    static std::uint64_t sequence = 0;
    static std::mutex sequenceLock;
    std::uint64_t seed;
    {
        std::lock_guard<std::mutex> hold(sequenceLock);
        struct timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        sequence += 0x9e3779b97f4a7c15ULL;
        seed = sequence ^ (static_cast<std::uint64_t>(getpid()) << 32) ^
               static_cast<std::uint64_t>(now.tv_nsec) ^
               (static_cast<std::uint64_t>(now.tv_sec) << 20);
    }
    const char* slash = std::strrchr(fileName, '/');
    int folderLength = slash == nullptr ? 0 : static_cast<int>(slash - fileName + 1);
    return platformTemporaryName(fileName, folderLength, seed, out, size);
}

// The folder of `fileName`, "." when it has none.
bool folderOf(const char* fileName, char* out, size_t size) {
    const char* slash = std::strrchr(fileName, '/');
    int length = slash == nullptr    ? std::snprintf(out, size, ".")
                 : slash == fileName ? std::snprintf(out, size, "/")
                                     : std::snprintf(out, size, "%.*s",
                                                     static_cast<int>(slash - fileName), fileName);
    return length >= 0 && static_cast<size_t>(length) < size;
}

// ---- Removal on an interrupting signal ----------------------------------------------------------

// While a new file has a temporary name, SIGINT, SIGTERM and SIGHUP remove it before they end the
// process as they would have. Only one name is kept; the program replaces one file at a time.

const int interruptSignals[] = {SIGINT, SIGTERM, SIGHUP};
const int interruptSignalCount = sizeof interruptSignals / sizeof interruptSignals[0];

std::mutex removalLock;  // guards the slot below against a second replacement at the same time
bool removalSlotTaken = false;
const VexFileReplace* removalOwner = nullptr;
char removalName[vexFileNameCapacity];
volatile sig_atomic_t removalArmed = 0;
struct sigaction previousActions[interruptSignalCount];
bool handlerInstalled[interruptSignalCount];

extern "C" void removeAndReraise(int signalNumber) {
    if (removalArmed != 0) {
        unlink(removalName);
        removalArmed = 0;
    }
    // The signal stays blocked while its handler runs: raised again with the default action,
    // it ends the process as soon as the handler returns, and the exit status says by what.
    struct sigaction standard;
    std::memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signalNumber, &standard, nullptr);
    raise(signalNumber);
}

void blockInterrupts(sigset_t* previous) {
    sigset_t interrupts;
    sigemptyset(&interrupts);
    for (int signalNumber : interruptSignals) {
        sigaddset(&interrupts, signalNumber);
    }
    pthread_sigmask(SIG_BLOCK, &interrupts, previous);
}

void restoreInterrupts(const sigset_t* previous) {
    pthread_sigmask(SIG_SETMASK, previous, nullptr);
}

// Arms the removal of the file's temporary name. Signals the process ignores or handles itself
// are left as they are: only the default action, ending the process, is taken over.
void armRemoval(const VexFileReplace* file) {
    std::lock_guard<std::mutex> hold(removalLock);
    if (removalSlotTaken) {
        return;
    }
    removalSlotTaken = true;
    removalOwner = file;
    std::memcpy(removalName, file->temporaryName, sizeof removalName);
    removalArmed = 1;
    for (int i = 0; i < interruptSignalCount; ++i) {
        handlerInstalled[i] = false;
        if (sigaction(interruptSignals[i], nullptr, &previousActions[i]) != 0 ||
            (previousActions[i].sa_flags & SA_SIGINFO) != 0 ||
            previousActions[i].sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction removal;
        std::memset(&removal, 0, sizeof removal);
        removal.sa_handler = removeAndReraise;
        sigemptyset(&removal.sa_mask);
        for (int signalNumber : interruptSignals) {
            sigaddset(&removal.sa_mask, signalNumber);
        }
        handlerInstalled[i] = sigaction(interruptSignals[i], &removal, nullptr) == 0;
    }
}

// Disarms it; called with the interrupting signals blocked, after the name is gone or renamed.
void disarmRemoval(const VexFileReplace* file) {
    std::lock_guard<std::mutex> hold(removalLock);
    if (!removalSlotTaken || removalOwner != file) {
        return;
    }
    removalArmed = 0;
    for (int i = 0; i < interruptSignalCount; ++i) {
        if (handlerInstalled[i]) {
            sigaction(interruptSignals[i], &previousActions[i], nullptr);
        }
    }
    removalOwner = nullptr;
    removalSlotTaken = false;
}

// ---- Replacement --------------------------------------------------------------------------------

// Gives the unnamed new file a temporary name in the folder: through its entry under
// /proc/self/fd where that exists, else by its descriptor (which some systems allow only to
// privileged processes). Retries while a name is taken.
bool linkUnnamed(VexFileReplace* file) {
#ifdef O_TMPFILE
    char procName[64];
    std::snprintf(procName, sizeof procName, "/proc/self/fd/%d", static_cast<int>(file->handle));
    const int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!makeTemporaryName(file->fileName, file->temporaryName, sizeof file->temporaryName)) {
            return false;
        }
        if (linkat(AT_FDCWD, procName, AT_FDCWD, file->temporaryName, AT_SYMLINK_FOLLOW) == 0) {
            return true;
        }
#ifdef AT_EMPTY_PATH
        if (errno != EEXIST && linkat(static_cast<int>(file->handle), "", AT_FDCWD,
                                      file->temporaryName, AT_EMPTY_PATH) == 0) {
            return true;
        }
#endif
        if (errno != EEXIST) {
            return false;
        }
    }
#else
    (void)file;
#endif
    return false;
}

// Opens an unnamed file in the folder; -1 where the system or the file system has none, or
// where it could not be linked in later.
int openUnnamed(const char* fileName, int mode) {
#ifdef O_TMPFILE
    char folder[vexFileNameCapacity];
    if (!folderOf(fileName, folder, sizeof folder)) {
        return -1;
    }
    int descriptor = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (descriptor < 0) {
        return -1;
    }
    // Without /proc the link by descriptor alone is left, which needs a privilege most
    // processes lack: a named temporary file is the safer choice then.
    char procName[64];
    std::snprintf(procName, sizeof procName, "/proc/self/fd/%d", descriptor);
    struct stat status;
    if (stat(procName, &status) != 0) {
        close(descriptor);
        return -1;
    }
    return descriptor;
#else
    (void)fileName;
    (void)mode;
    return -1;
#endif
}

int openNamed(VexFileReplace* file, int mode) {
    const int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (!makeTemporaryName(file->fileName, file->temporaryName, sizeof file->temporaryName)) {
            return -1;
        }
        int descriptor =
            open(file->temporaryName, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
        if (descriptor >= 0 || errno != EEXIST) {
            return descriptor;
        }
    }
    return -1;
}

}  // namespace

long long vexPlatform_ReadFileStart(const char* fileName, void* buffer, long long capacity) {
    struct stat status;
    int descriptor = openAcceptable(fileName, O_RDONLY, &status);
    if (descriptor < 0) {
        return -1;
    }
    long long count = 0;
    while (count < capacity) {
        ssize_t got = read(descriptor, static_cast<char*>(buffer) + count,
                           static_cast<size_t>(capacity - count));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            close(descriptor);
            return -1;
        }
        if (got == 0) {
            break;
        }
        count += got;
    }
    close(descriptor);
    return count;
}

VexAppendResult vexPlatform_AppendToFile(const char* fileName, const VexFilePiece* pieces,
                                         int count) {
    struct stat status;
    int descriptor = openAcceptable(fileName, O_WRONLY | O_APPEND | O_CREAT, &status);
    if (descriptor < 0) {
        return vexAppendNotOpened;
    }
    bool regular = S_ISREG(status.st_mode);
    // The lock covers the whole file and is held until the descriptor is closed: another run's
    // append waits, so the end this one measures is still the end when it writes or cuts back.
    // A file system without locks still gets the append; the cut below then checks that nothing
    // was added after this process's bytes.
    if (regular) {
        struct flock whole;
        std::memset(&whole, 0, sizeof whole);
        whole.l_type = F_WRLCK;
        whole.l_whence = SEEK_SET;
        while (fcntl(descriptor, F_SETLKW, &whole) != 0 && errno == EINTR) {
        }
        if (fstat(descriptor, &status) != 0) {
            close(descriptor);
            return vexAppendNotOpened;
        }
    }
    long long before = status.st_size;
    long long written = 0;
    VexAppendResult result = vexAppendWritten;
    if (!writePieces(descriptor, pieces, count, &written)) {
        result = vexAppendNotWritten;
        // A regular file is cut back to where it ended before, so it never keeps half a text (a
        // statistics box torn off at the end of a full disk) -- but only when its end is where
        // this process's bytes end. The cut uses the descriptor already open, so it works even
        // when no further file can be opened.
        if (regular) {
            struct stat after;
            bool ownEnd = fstat(descriptor, &after) == 0 && after.st_size == before + written;
            if (!ownEnd || ftruncate(descriptor, before) != 0) {
                result = vexAppendNotRestored;
            }
        }
    }
    if (close(descriptor) != 0 && result == vexAppendWritten) {
        // A close that fails may have lost bytes already counted as written; what the file
        // holds now is not known.
        result = vexAppendNotRestored;
    }
    return result;
}

int vexPlatform_BeginFileReplace(VexFileReplace* file, const char* fileName) {
    file->handle = -1;
    file->unnamed = 0;
    file->permissions = -1;
    file->temporaryName[0] = '\0';
    int length = std::snprintf(file->fileName, sizeof file->fileName, "%s", fileName);
    if (length < 0 || length >= static_cast<int>(sizeof file->fileName)) {
        return 0;
    }
    // The new file keeps the permission bits of the one it replaces; it is created with no more
    // than those, so the picture is never readable by more people while it is being written.
    struct stat older;
    int mode = 0666;
    if (stat(fileName, &older) == 0 && S_ISREG(older.st_mode)) {
        file->permissions = static_cast<int>(older.st_mode & 0777);
        mode = file->permissions;
    }
    int descriptor = platformUnnamedFiles != 0 ? openUnnamed(fileName, mode) : -1;
    if (descriptor >= 0) {
        file->unnamed = 1;
    } else {
        // An interrupting signal between the creation and the arming would leave the name.
        sigset_t previous;
        blockInterrupts(&previous);
        descriptor = openNamed(file, mode);
        if (descriptor >= 0) {
            armRemoval(file);
        }
        restoreInterrupts(&previous);
        if (descriptor < 0) {
            return 0;
        }
    }
    file->handle = descriptor;
    // The creation mode was cut by the process's mask; the older file's bits are restored exactly.
    // A file system without modes refuses this, which is no failure.
    if (file->permissions >= 0) {
        fchmod(descriptor, static_cast<mode_t>(file->permissions));
    }
    return 1;
}

int vexPlatform_WriteFileReplace(VexFileReplace* file, const VexFilePiece* pieces, int count) {
    long long written = 0;
    return writePieces(static_cast<int>(file->handle), pieces, count, &written) ? 1 : 0;
}

int vexPlatform_CommitFileReplace(VexFileReplace* file) {
    int descriptor = static_cast<int>(file->handle);
    // No fsync: the rename alone already means that a run that fails never leaves a partial file
    // under the real name, and a whole-disk flush of the picture would cost the run more than
    // any other step but the drawing. The interrupting signals wait while the new file has a
    // temporary name that is about to change, so the handler never sees it half done.
    sigset_t previous;
    blockInterrupts(&previous);
    bool done;
    if (file->unnamed != 0) {
        bool linked = linkUnnamed(file);
        done = close(descriptor) == 0 && linked;
        if (linked && (!done || std::rename(file->temporaryName, file->fileName) != 0)) {
            unlink(file->temporaryName);
            done = false;
        }
    } else {
        done = close(descriptor) == 0;
        if (!done || std::rename(file->temporaryName, file->fileName) != 0) {
            unlink(file->temporaryName);
            done = false;
        }
        disarmRemoval(file);
    }
    restoreInterrupts(&previous);
    file->handle = -1;
    return done ? 1 : 0;
}

void vexPlatform_AbandonFileReplace(VexFileReplace* file) {
    sigset_t previous;
    blockInterrupts(&previous);
    close(static_cast<int>(file->handle));
    if (file->unnamed == 0) {
        unlink(file->temporaryName);
        disarmRemoval(file);
    }
    restoreInterrupts(&previous);
    file->handle = -1;
}
