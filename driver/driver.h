// Program driver: the banner, the two-pass plot frame, and the support routines (fatal errors,
// memory, text-file append, rounding) that every other module relies on.
#pragma once

// Prints the message and a newline on standard output and ends the process with status -1.
[[noreturn]] void vexError_Fatal(const char* message);

// Appends the text and a newline to the named file, creating it if needed. Returns 0 on
// success; -1, with a message on standard error, when the file cannot be opened or written.
// A regular file whose append failed is cut back to its earlier length.
int vexFile_AppendLine(const char* fileName, const char* text);

// Returns a zero-filled block of `size` bytes; never returns null (failure is fatal).
void* vexMemory_Calloc(int size);

// Releases a block from vexMemory_Calloc; always returns 0. A null block is fatal.
int vexMemory_Free(void* block);

// The cores the bulk work is spread over: vexPlatform_CoreCount, at least 1. Results never
// depend on it.
int vexCpu_CoreCount();

// The work of a fork-join: one thread's share, `index` of `count`.
typedef void (*VexThreadWork)(void* context, int index, int count);
// Runs work(context, index, count) for every index 0 <= index < count, each on a thread of
// its own, index 0 on the calling thread. count, the threads that actually run (1 to
// threadCount; fewer than 1 asked means 1), is fixed before any work(...) begins, so work may
// divide by it and wait at barriers of count parties. A thread that cannot be started means
// fewer threads, never an exception or an abort. Returns count once all have finished.
int vexThreads_ForkJoin(int threadCount, VexThreadWork work, void* context);

// The integer part, toward zero. Values beyond the int range saturate; NaN gives 0.
int vexMath_Truncate(double value);

// Nearest int, halves away from zero. Values beyond the int range saturate; NaN gives 0.
int vexMath_Round(double value);
