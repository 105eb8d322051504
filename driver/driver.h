// Program driver: the command line and the run settings, the banner, the two-pass plot frame,
// and the support routines (fatal errors, memory, text-file append, rounding) that every other
// module relies on.
#pragma once

// ---- Run settings -------------------------------------------------------------------------------
// Set from the command line before the render pass; without options they keep these defaults.

extern int plotThreadCount;   // threads for the clear, the frame and the swap; 0: the core count
extern int plotFrameCount;    // frames drawn in the timed loop; 1 or more (default 1)
extern int plotUseReference;  // non-zero: the literal frame instead of the fast one (default 0)

// Reads the command line: options in the usual GNU style (see the help text), the run settings
// set from them, and the working folder changed for -C. Returns 1 when the program goes on to
// render; 0 when it ends now with *exitStatus: 0 after --help or --version (printed on standard
// output), 2 after bad usage or a folder it cannot change to (a message on standard error).
// Nothing is written or created when it returns 0.
int vexOptions_Read(int argc, char** argv, int* exitStatus);

// The threads a run draws on: plotThreadCount, or the core count when that is 0.
int vexPlot_ThreadCount();

// Where a data file of the program is read: `name` in the working folder when anything of that
// name is there (or when the data folder does not hold it either), else its path in the data
// folder installed beside the program (../share/vexplot from the executable's folder). The path
// stays valid until the next call.
const char* vexPlot_DataFile(const char* name);

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

// Work for vexThreads_ForkJoin: called once for every index of the threads that run.
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
