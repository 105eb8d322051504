// Test support: small canvases, file and temporary-folder helpers, running the real program in a
// child process and checking what it prints, and control of the fake performance counter the
// tests link.
#pragma once

#ifdef _WIN32
// Windows has no resource limits. The type stays, so that the limits are one struct everywhere;
// the Windows runner refuses every limit but the timeout.
typedef unsigned long long rlim_t;
#define RLIM_INFINITY (~0ULL)
#else
#include <sys/resource.h>
#endif

#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raster/raster.h"

// ---- Fake performance counter -------------------------------------------------------------------

// Makes the counter present (with the given frequency) or absent, and sets its current count.
void vexTestCounter_Set(bool present, long long frequency, long long count);
void vexTestCounter_SetCount(long long count);

// ---- Canvases -----------------------------------------------------------------------------------

// A frame buffer of its own, installed as the canvas and cleared to `background`. The pen is
// reset to 0 and the drawing colour to `ink`.
struct TestCanvas {
    TestCanvas(int width, int height, Color background = 0xffffff, Color ink = 0x000000);
    Color at(int x, int y) const;  // read through the bottom-up layout, independently of the code
    std::set<std::pair<int, int>> pixelsOf(Color colour) const;  // (x, y) of every such pixel
    std::set<std::pair<int, int>> pixelsNot(Color colour) const;
    std::string ascii(Color background = 0xffffff) const;  // '.' background, '#' anything else
    int width;
    int height;
    std::vector<unsigned char> bytes;  // width * height * 3, plus one spare byte
};

typedef std::set<std::pair<int, int>> PixelSet;

// ---- Files and folders --------------------------------------------------------------------------

// A fresh folder in the system's temporary folder (TMPDIR where set), removed with everything
// in it when the test is done.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

bool fileExists(const std::string& path);
std::string readFile(const std::string& path);  // whole file as bytes; empty if missing
void writeFile(const std::string& path, const std::string& bytes);
std::set<std::string> folderEntries(const std::string& path);  // names, without "." and ".."
std::string sha256Hex(const std::string& bytes);

// ---- Child processes ----------------------------------------------------------------------------

struct RunLimits {
    rlim_t addressSpace = RLIM_INFINITY;  // RLIMIT_AS, bytes
    rlim_t fileSize = RLIM_INFINITY;      // RLIMIT_FSIZE, bytes
    bool ignoreFileSizeSignal = true;     // false: the child starts with SIGXFSZ's default action
    rlim_t stack = RLIM_INFINITY;         // RLIMIT_STACK, bytes; left as it is when infinite
    rlim_t openFiles = RLIM_INFINITY;     // RLIMIT_NOFILE; when set, only 0, 1 and 2 stay open
    unsigned int timeoutSeconds = 0;      // non-zero: SIGALRM ends a child still running then
    // RLIMIT_NPROC. The limit binds only unprivileged users, so a child of root runs as the
    // user "nobody" (uid and gid 65534) when it is set: its folder must be open to everyone.
    rlim_t processes = RLIM_INFINITY;
};

struct RunResult {
    int exitStatus = -1;  // 0..255 when the child exited normally
    int signal = 0;       // non-zero when the child was killed by a signal
    std::string out;
    std::string err;
};

// The words that start `program` with `arguments`: the program itself natively; in a cross build
// run under an emulator, the emulator's command (VEX_EMULATOR) before it, since the system
// cannot start a program of another processor on its own. Every test that starts a program of
// the build goes through this.
std::vector<std::string> commandOf(const std::string& program,
                                   const std::vector<std::string>& arguments = {});
// The same as one line for the shell, each word in single quotes.
std::string shellCommandOf(const std::string& program,
                           const std::vector<std::string>& arguments = {});
#ifndef _WIN32
// Replaces the calling process with the command (its first word a path); returns only when that
// fails.
void execCommand(const std::vector<std::string>& command);
#endif

// Runs the program with no arguments in `workDir`, capturing standard output and error. On
// Windows the standard output and error come back with "\n" line ends, as on other systems.
RunResult runProgram(const std::string& program, const std::string& workDir,
                     const RunLimits& limits = RunLimits());
// The same with the given arguments after the program's name.
RunResult runProgramWith(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workDir, const RunLimits& limits = RunLimits());

// The status of exit(-1), the fatal error's, as a death test sees it: 255 where only the low
// byte reaches the parent, -1 on Windows, which keeps all 32 bits.
#ifdef _WIN32
const int fatalExitStatus = -1;
#else
const int fatalExitStatus = 255;
#endif

// For the statement of a death test: death tests match what the child wrote on standard error,
// while the program reports on standard output. Sends standard output where standard error was
// captured and discards standard error, so the match sees standard output alone.
void sendStandardOutputToDeathCapture();

#ifndef _WIN32
// Runs a command as it stands (its first word a path): for the host's own programs, such as
// CMake, which never go through the emulator.
RunResult runCommand(const std::vector<std::string>& command, const std::string& workDir,
                     const RunLimits& limits = RunLimits());

// Runs `body` in a forked child of the test process, in `workDir` when it is not empty, under
// the limits, capturing standard output and error; the child exits with body's result. Lets a
// test drive code that may end the process or must fail under a resource limit.
RunResult runInChild(const std::function<int()>& body, const std::string& workDir = "",
                     const RunLimits& limits = RunLimits());

// Address space the process already uses, in bytes: the base of an address-space limit.
rlim_t addressSpaceInUse();
// Holds this process (a death test's child) to `bytes` of address space.
void limitAddressSpace(rlim_t bytes);
#endif

// True when the tests were built with the address or thread sanitizer (address-space limits do
// not work).
bool builtWithSanitizers();

// ---- The program's outputs ----------------------------------------------------------------------

extern const char* const programBitmapName;      // "3VErudadudIzad12UdidirAvorovirevEde.bmp"
extern const char* const programStatisticsName;  // "___output_statistics.txt"
extern const char* const programFontName;        // "vexMSDOS.fon"

// The SHA-256 of the bitmap every successful run writes with the shipped font.
extern const char* const goldenPictureSha256;

// The banner as the program prints it: 21 lines, the last without its newline.
std::string programBanner();

// Checks the eight-line statistics box (without the empty line that follows it in the file):
// frame lines, count and title exactly, the time and the rates in their fields (they vary from
// run to run).
void expectStatisticsBox(const std::string& box, int frames);

// Checks the standard output of a run that reached its report: the banner, then the statistics
// box of `frames` frames on the banner's last line, then nothing. Returns the box.
std::string expectBannerThenBox(const std::string& out, int frames);
