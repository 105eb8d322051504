// Platform layer: everything that differs between operating systems and processors (the
// performance counter, large blocks of memory, threads, processor features, and files read,
// appended and replaced safely) behind plain functions; the rest of the program is standard C++.
#pragma once

// ---- Performance counter ------------------------------------------------------------------------
// Implemented outside the core library (platform/counter.cpp, counter_windows.cpp): the program
// links the system's monotonic clock or, on Windows, its performance counter; the tests link
// counters they control.

// Stores the counter's fixed frequency in counts per second and returns 1; returns 0 and
// stores nothing when the platform has no such counter.
int vexPlatform_QueryPerformanceFrequency(long long* frequency);
// Stores the current count (never decreasing) and returns 1.
int vexPlatform_QueryPerformanceCounter(long long* count);

// ---- Processor ----------------------------------------------------------------------------------

// Vector instruction sets the fast kernels can use, as bits of vexPlatform_CpuFeatures.
enum VexCpuFeature {
    vexCpuAvx2 = 1,
    vexCpuAvx512 = 2,  // the F, BW, VL and DQ sets together
    vexCpuNeon = 4,    // AArch64's Advanced SIMD, on every processor of that family
};

// The features of the processor running the program; 0 on processors without any of them.
// Detected once; safe to call from any thread.
int vexPlatform_CpuFeatures();

// The cores the bulk work is spread over: the hardware's count, at least 1.
int vexPlatform_CoreCount();

// ---- Large blocks of memory ---------------------------------------------------------------------

// A zeroed block of `bytes` on a large-page boundary, backed by large pages where the system
// offers them; null when the system refuses (the caller then asks the heap).
void* vexPlatform_AllocateLargeBlock(long long bytes);
// Returns the block to the system and 1 if it came from vexPlatform_AllocateLargeBlock; 0, and
// nothing done, for any other pointer.
int vexPlatform_ReleaseLargeBlock(void* block);

// ---- Threads ------------------------------------------------------------------------------------

// A started thread, to be joined exactly once; the record must stay in place until then. The
// handle is the system's, kept as bytes so that no system header is needed here.
const int vexThreadHandleBytes = 16;
struct VexThread {
    alignas(8) unsigned char handle[vexThreadHandleBytes];
    void (*entry)(void*);
    void* argument;
};

// Starts entry(argument) on a new thread: 1 when it runs, 0 when the system cannot start one
// (too many threads, no memory for its stack). Never throws.
int vexPlatform_StartThread(VexThread* thread, void (*entry)(void*), void* argument);
// Waits until a thread started by vexPlatform_StartThread has returned.
void vexPlatform_JoinThread(VexThread* thread);

// ---- Files --------------------------------------------------------------------------------------
// Files other than regular ones are refused by the readers and appenders below, except character
// devices: /dev/null (NUL on Windows) is the usual way to throw statistics away, and the files
// are opened and used without ever blocking, so a pipe or a terminal with nothing to give fails
// instead of hanging (Windows refuses pipes and consoles outright). Names are UTF-8.

// Writes the absolute path of the folder holding the running program's executable, without a
// trailing separator, into out (size bytes, terminating zero included) and returns 1; returns 0,
// leaving out an empty string when size allows, when the system does not tell or the path does
// not fit.
int vexPlatform_ExecutableFolder(char* out, int size);

// Bytes to be written one after another in one call.
struct VexFilePiece {
    const void* bytes;
    long long size;
};

// Reads up to `capacity` bytes from the start of the named file into `buffer`. Returns how many
// it read (fewer at the end of the file), or -1 when the file cannot be opened, is refused, or
// cannot be read.
long long vexPlatform_ReadFileStart(const char* fileName, void* buffer, long long capacity);

// What vexPlatform_AppendToFile did.
enum VexAppendResult {
    vexAppendWritten = 0,      // every byte is at the end of the file
    vexAppendNotOpened = 1,    // the file could not be opened or created, or was refused
    vexAppendNotWritten = 2,   // the write failed; the file holds what it held before
    vexAppendNotRestored = 3,  // the write failed, and cutting the file back failed too
};

// Appends the pieces to the named file, creating it (mode 0666 less the process's mask; on
// Windows with the folder's default access) if it does not exist. Appends by concurrent processes
// are serialised with a lock on the whole file (advisory on POSIX systems), and a failed append is
// cut back to what the file held before it, never further: nothing another process wrote is lost.
// The cut needs no further file descriptor.
VexAppendResult vexPlatform_AppendToFile(const char* fileName, const VexFilePiece* pieces,
                                         int count);

// A new file being written to replace the named one in a single step: until it is committed the
// name keeps the older file, or nothing. Where the system can, the new file has no name at all
// until it is complete, so even a process killed outright leaves nothing behind; elsewhere it has
// a temporary name in the same folder, removed on failure and on the interrupting signals
// SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl-C, Ctrl-Break, the console's closing, logoff and
// shutdown). The fields belong to the platform layer.
const int vexFileNameCapacity = 4096;
struct VexFileReplace {
    long long handle;                         // the open new file, as the system names it
    int unnamed;                              // non-zero: the new file has no name yet
    int permissions;                          // the permission bits (Windows: attributes) kept
    char fileName[vexFileNameCapacity];       // the name being replaced
    char temporaryName[vexFileNameCapacity];  // the new file's own name, while it has one
};

// Creates the new file beside `fileName`. It gets the permission bits of the file it replaces,
// where one exists, else those of any new file (0666 less the process's mask); on Windows it
// keeps the older file's hidden, system and archive attributes, never read-only. Returns 1, or 0
// when the new file cannot be created (nothing is left behind).
int vexPlatform_BeginFileReplace(VexFileReplace* file, const char* fileName);
// Writes the pieces to the new file, one after another; 1 when every byte is written.
int vexPlatform_WriteFileReplace(VexFileReplace* file, const VexFilePiece* pieces, int count);
// Closes the new file and puts it in place under the name. Returns 1; or 0 when the close or the
// replacement fails, and then the new file is removed and the name keeps what it held.
int vexPlatform_CommitFileReplace(VexFileReplace* file);
// Closes and removes the new file; the name keeps what it held.
void vexPlatform_AbandonFileReplace(VexFileReplace* file);
