// Files on Windows: reading the start of a file and appending to one, refusing pipes and consoles
// that could block, appends serialised between processes with a lock, and the replacement of a
// file by a new one that takes its name only when it is complete. Names are UTF-8 in the program
// and UTF-16 for the system; bytes are written as they are, with no line-end translation.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/platform.h"
#include "platform/platform_internal.h"

// Windows has no unnamed files that can be given a name later: every new file is a named
// temporary one, whatever this says.
int platformUnnamedFiles = 1;

namespace {

// ---- Names --------------------------------------------------------------------------------------

// The UTF-16 form of a UTF-8 name; false when it is not valid UTF-8 or does not fit.
bool wideName(const char* name, wchar_t* out, int capacity) {
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name, -1, out, capacity);
    return length > 0;
}

// ---- Opening and writing ------------------------------------------------------------------------

// Keeps only files on disk and character devices other than consoles (NUL is the usual way to
// throw statistics away): a pipe or a console with nothing to give would hold the run forever.
// Folders are refused by CreateFileW itself.
bool acceptable(HANDLE file, bool* onDisk) {
    DWORD type = GetFileType(file);
    DWORD consoleMode;
    *onDisk = type == FILE_TYPE_DISK;
    return type == FILE_TYPE_DISK ||
           (type == FILE_TYPE_CHAR && !GetConsoleMode(file, &consoleMode));
}

HANDLE openAcceptable(const char* fileName, DWORD access, DWORD disposition, bool* onDisk) {
    wchar_t name[vexFileNameCapacity];
    if (!wideName(fileName, name, vexFileNameCapacity)) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileW(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return file;
    }
    if (!acceptable(file, onDisk)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// Writes every byte of the pieces, in calls of at most 1 GiB each. Counts the bytes that reached
// the file in *written; false when the system refuses any of it.
bool writePieces(HANDLE file, const VexFilePiece* pieces, int count, long long* written) {
    const long long largestCall = 1LL << 30;
    *written = 0;
    for (int i = 0; i < count; ++i) {
        const char* bytes = static_cast<const char*>(pieces[i].bytes);
        long long left = pieces[i].size;
        while (left > 0) {
            DWORD asked = static_cast<DWORD>(left < largestCall ? left : largestCall);
            DWORD done = 0;
            if (!WriteFile(file, bytes, asked, &done, nullptr) || done == 0) {
                return false;  // a file that takes nothing will not take more later
            }
            bytes += done;
            left -= done;
            *written += done;
        }
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
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        sequence += 0x9e3779b97f4a7c15ULL;
        seed = sequence ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^
               static_cast<std::uint64_t>(now.QuadPart);
    }
    // The folder ends at the last separator of either kind, or after a drive's colon ("C:name").
    int folderLength = 0;
    for (int i = 0; fileName[i] != '\0'; ++i) {
        if (fileName[i] == '/' || fileName[i] == '\\' || (i == 1 && fileName[i] == ':')) {
            folderLength = i + 1;
        }
    }
    return platformTemporaryName(fileName, folderLength, seed, out, size);
}

// ---- Removal on an interruption -----------------------------------------------------------------

// While a new file has its temporary name, Ctrl-C, Ctrl-Break, closing the console, logging off
// and shutting down remove it before the process ends as it would have. The handler runs on a
// thread of its own; the lock keeps it from the name while a commit or abandon is changing it.
// Only one name is kept; the program replaces one file at a time.
std::mutex removalLock;
const VexFileReplace* removalOwner = nullptr;
wchar_t removalName[vexFileNameCapacity];
bool handlerInstalled = false;

BOOL WINAPI removeOnInterrupt(DWORD event) {
    (void)event;
    std::lock_guard<std::mutex> hold(removalLock);
    if (removalOwner != nullptr) {
        // The new file is open with FILE_SHARE_DELETE: it goes once the process's handle closes.
        DeleteFileW(removalName);
        removalOwner = nullptr;
    }
    return FALSE;  // the next handler, in the end the system's, ends the process
}

void disarmRemoval(const VexFileReplace* file) {
    if (removalOwner == file) {
        removalOwner = nullptr;
    }
}

// The attributes the new file takes over from the one it replaces. Read-only is not among them:
// the next run could not replace the picture.
const DWORD keptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                             FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

}  // namespace

long long vexPlatform_ReadFileStart(const char* fileName, void* buffer, long long capacity) {
    bool onDisk;
    HANDLE file = openAcceptable(fileName, GENERIC_READ, OPEN_EXISTING, &onDisk);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    const long long largestCall = 1LL << 30;
    long long count = 0;
    while (count < capacity) {
        long long left = capacity - count;
        DWORD got = 0;
        if (!ReadFile(file, static_cast<char*>(buffer) + count,
                      static_cast<DWORD>(left < largestCall ? left : largestCall), &got, nullptr)) {
            CloseHandle(file);
            return -1;
        }
        if (got == 0) {
            break;
        }
        count += got;
    }
    CloseHandle(file);
    return count;
}

VexAppendResult vexPlatform_AppendToFile(const char* fileName, const VexFilePiece* pieces,
                                         int count) {
    bool onDisk;
    HANDLE file = openAcceptable(fileName, GENERIC_WRITE, OPEN_ALWAYS, &onDisk);
    if (file == INVALID_HANDLE_VALUE) {
        return vexAppendNotOpened;
    }
    // The lock covers every byte the file could ever hold and is held until the handle is closed:
    // another run's append waits, so the end this one measures is still the end when it writes or
    // cuts back.
    OVERLAPPED whole;
    std::memset(&whole, 0, sizeof whole);
    LARGE_INTEGER before;
    before.QuadPart = 0;
    if (onDisk) {
        if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) ||
            !GetFileSizeEx(file, &before) || !SetFilePointerEx(file, before, nullptr, FILE_BEGIN)) {
            CloseHandle(file);
            return vexAppendNotOpened;
        }
    }
    long long written = 0;
    VexAppendResult result = vexAppendWritten;
    if (!writePieces(file, pieces, count, &written)) {
        result = vexAppendNotWritten;
        // A file on disk is cut back to where it ended before, so it never keeps half a text (a
        // statistics box torn off at the end of a full disk) -- but only when its end is where
        // this process's bytes end. The cut uses the handle already open, so it works even when
        // no further file can be opened.
        if (onDisk) {
            LARGE_INTEGER after;
            FILE_END_OF_FILE_INFO end;
            end.EndOfFile = before;
            bool ownEnd =
                GetFileSizeEx(file, &after) && after.QuadPart == before.QuadPart + written;
            if (!ownEnd || !SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end)) {
                result = vexAppendNotRestored;
            }
        }
    }
    if (onDisk) {
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    }
    if (!CloseHandle(file) && result == vexAppendWritten) {
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
    wchar_t name[vexFileNameCapacity];
    if (length < 0 || length >= static_cast<int>(sizeof file->fileName) ||
        !wideName(fileName, name, vexFileNameCapacity)) {
        return 0;
    }
    // Here the "permission bits" are the attributes kept from the older file.
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    DWORD older = GetFileAttributesW(name);
    if (older != INVALID_FILE_ATTRIBUTES && (older & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (older & keptAttributes) != 0) {
        attributes = older & keptAttributes;
        file->permissions = static_cast<int>(attributes);
    }
    const int attempts = 100;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        wchar_t temporary[vexFileNameCapacity];
        if (!makeTemporaryName(fileName, file->temporaryName, sizeof file->temporaryName) ||
            !wideName(file->temporaryName, temporary, vexFileNameCapacity)) {
            break;
        }
        // The removal is armed under the lock before the file exists, so an interruption between
        // the creation and the arming cannot leave the name behind.
        std::lock_guard<std::mutex> hold(removalLock);
        HANDLE created = CreateFileW(temporary, GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                                     CREATE_NEW, attributes, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            file->handle = reinterpret_cast<std::intptr_t>(created);
            if (removalOwner == nullptr) {
                std::memcpy(removalName, temporary, sizeof removalName);
                removalOwner = file;
            }
            if (!handlerInstalled) {
                handlerInstalled = SetConsoleCtrlHandler(removeOnInterrupt, TRUE) != 0;
            }
            return 1;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    file->temporaryName[0] = '\0';
    return 0;
}

int vexPlatform_WriteFileReplace(VexFileReplace* file, const VexFilePiece* pieces, int count) {
    long long written = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file->handle));
    return writePieces(handle, pieces, count, &written) ? 1 : 0;
}

int vexPlatform_CommitFileReplace(VexFileReplace* file) {
    // No flush to the disk: the move alone already means that a run that fails never leaves a
    // partial file under the real name. The interruption handler waits while the name changes.
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file->handle));
    wchar_t temporary[vexFileNameCapacity];
    wchar_t name[vexFileNameCapacity];
    bool named = wideName(file->temporaryName, temporary, vexFileNameCapacity) &&
                 wideName(file->fileName, name, vexFileNameCapacity);
    std::lock_guard<std::mutex> hold(removalLock);
    bool done = CloseHandle(handle) != 0 && named &&
                MoveFileExW(temporary, name, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!done && named) {
        DeleteFileW(temporary);
    }
    disarmRemoval(file);
    file->handle = -1;
    return done ? 1 : 0;
}

void vexPlatform_AbandonFileReplace(VexFileReplace* file) {
    HANDLE handle = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(file->handle));
    wchar_t temporary[vexFileNameCapacity];
    std::lock_guard<std::mutex> hold(removalLock);
    CloseHandle(handle);
    if (wideName(file->temporaryName, temporary, vexFileNameCapacity)) {
        DeleteFileW(temporary);
    }
    disarmRemoval(file);
    file->handle = -1;
}
