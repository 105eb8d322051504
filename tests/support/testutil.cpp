// Test support: canvases, files, temporary folders, child processes, the program's outputs,
// SHA-256.
#include "support/testutil.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "driver/driver.h"
#include "driver/driver_internal.h"

// ---- Canvases -----------------------------------------------------------------------------------

TestCanvas::TestCanvas(int w, int h, Color background, Color ink)
    : width(w), height(h), bytes(static_cast<size_t>(w) * h * 3 + 1, 0) {
    vexRaster_Initialize(w, h, bytes.data());
    vexRaster_SetPenSize(0);
    vexRaster_SetClearColor(background);
    vexRaster_Clear();
    vexRaster_SetColor(ink);
}

Color TestCanvas::at(int x, int y) const {
    size_t o = (static_cast<size_t>(height - 1 - y) * width + x) * 3;
    return (bytes[o] << 16) | (bytes[o + 1] << 8) | bytes[o + 2];
}

PixelSet TestCanvas::pixelsOf(Color colour) const {
    PixelSet found;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y) == (colour & 0xffffff)) {
                found.insert({x, y});
            }
        }
    }
    return found;
}

PixelSet TestCanvas::pixelsNot(Color colour) const {
    PixelSet found;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (at(x, y) != (colour & 0xffffff)) {
                found.insert({x, y});
            }
        }
    }
    return found;
}

std::string TestCanvas::ascii(Color background) const {
    std::string picture;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            picture += at(x, y) == (background & 0xffffff) ? '.' : '#';
        }
        picture += '\n';
    }
    return picture;
}

// ---- Files and folders --------------------------------------------------------------------------

#ifndef _WIN32
namespace {

// A fresh, uniquely named file or folder in the system's temporary folder (TMPDIR where set).
std::string temporaryPattern(const char* prefix) {
    return (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
}

}  // namespace
#endif

#ifdef _WIN32
// Windows has no mkdtemp: names are tried until a folder is made that did not exist.
TempDir::TempDir() {
    static unsigned long long sequence = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, "%lx-%llx",
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long long>(now.QuadPart) + sequence++);
        std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / (std::string("vextest-") + suffix);
        std::error_code error;
        if (std::filesystem::create_directory(candidate, error)) {
            path = candidate.u8string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}
#else
TempDir::TempDir() {
    std::string pattern = temporaryPattern("vextest");
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed in " + pattern);
    }
    path = pattern;
}
#endif

TempDir::~TempDir() {
    // Folders a test made read-only are opened up first, so everything in them can go as well.
    std::error_code error;
    std::filesystem::recursive_directory_iterator walk(path, error), end;
    for (; !error && walk != end; walk.increment(error)) {
        if (walk->is_directory(error) && !walk->is_symlink(error)) {
            std::filesystem::permissions(walk->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, error);
        }
    }
    error.clear();
    std::filesystem::remove_all(path, error);
    if (error) {
        std::fprintf(stderr, "could not remove %s: %s\n", path.c_str(), error.message().c_str());
    }
}

bool fileExists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::set<std::string> folderEntries(const std::string& path) {
    std::set<std::string> names;
    DIR* folder = opendir(path.c_str());
    if (folder == nullptr) {
        return names;
    }
    while (struct dirent* entry = readdir(folder)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.insert(name);
        }
    }
    closedir(folder);
    return names;
}

// ---- SHA-256 ------------------------------------------------------------------------------------

namespace {

const uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t rotateRight(uint32_t v, int n) {
    return (v >> n) | (v << (32 - n));
}

void compressBlock(uint32_t state[8], const unsigned char* block) {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        w[i] = (uint32_t(block[4 * i]) << 24) | (uint32_t(block[4 * i + 1]) << 16) |
               (uint32_t(block[4 * i + 2]) << 8) | uint32_t(block[4 * i + 3]);
    }
    for (int i = 16; i < 64; ++i) {
        uint32_t s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
        uint32_t s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        uint32_t t1 = h + (rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25)) +
                      ((e & f) ^ (~e & g)) + roundConstants[i] + w[i];
        uint32_t t2 = (rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22)) +
                      ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

}  // namespace

std::string sha256Hex(const std::string& bytes) {
    uint32_t state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                         0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::string padded = bytes;
    padded += static_cast<char>(0x80);
    while (padded.size() % 64 != 56) {
        padded += '\0';
    }
    uint64_t bits = static_cast<uint64_t>(bytes.size()) * 8;
    for (int i = 7; i >= 0; --i) {
        padded += static_cast<char>((bits >> (8 * i)) & 0xff);
    }
    for (size_t i = 0; i < padded.size(); i += 64) {
        compressBlock(state, reinterpret_cast<const unsigned char*>(padded.data() + i));
    }
    char hex[65];
    for (int i = 0; i < 8; ++i) {
        std::snprintf(hex + 8 * i, 9, "%08x", state[i]);
    }
    return std::string(hex, 64);
}

// ---- Child processes ----------------------------------------------------------------------------

RunResult runProgram(const std::string& program, const std::string& workDir,
                     const RunLimits& limits) {
    return runProgramWith(program, {}, workDir, limits);
}

std::vector<std::string> commandOf(const std::string& program,
                                   const std::vector<std::string>& arguments) {
    std::vector<std::string> command;
    std::istringstream emulator(VEX_EMULATOR);
    for (std::string word; emulator >> word;) {
        command.push_back(word);
    }
    command.push_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

std::string shellCommandOf(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& word : commandOf(program, arguments)) {
        line += (line.empty() ? "'" : " '") + word + "'";
    }
    return line;
}

#ifdef _WIN32

namespace {

std::wstring wideOf(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(),
                                     static_cast<int>(wide.size()));
    wide.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
    return wide;
}

// One argument as the C runtime splits a command line: quoted, with the backslashes before a
// quote doubled.
std::wstring quoted(const std::wstring& argument) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(2 * backslashes, L'\\');
    return out + L"\"";
}

// The text a Windows program wrote in text mode, with "\r\n" back to "\n".
std::string withNewlines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            out += text[i];
        }
    }
    return out;
}

HANDLE inheritableFile(const std::wstring& name, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

}  // namespace

// A Windows test runs inside Wine like any Windows program, so it starts the Windows program
// directly. The output goes to files outside the working folder, as on other systems.
RunResult runProgramWith(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workDir, const RunLimits& limits) {
    RunLimits unlimited;
    if (limits.addressSpace != unlimited.addressSpace || limits.fileSize != unlimited.fileSize ||
        limits.stack != unlimited.stack || limits.openFiles != unlimited.openFiles ||
        limits.processes != unlimited.processes) {
        throw std::runtime_error("Windows has no resource limits for a child process");
    }
    std::wstring commandLine = quoted(wideOf(program));
    for (const std::string& argument : arguments) {
        commandLine += L" " + quoted(wideOf(argument));
    }
    TempDir outputs;
    std::wstring outName = wideOf(outputs.file("out"));
    std::wstring errName = wideOf(outputs.file("err"));
    HANDLE in = inheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = inheritableFile(outName, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = inheritableFile(errName, GENERIC_WRITE, CREATE_ALWAYS);
    if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot make the files for a child's output");
    }
    STARTUPINFOW startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION child;
    std::wstring folder = wideOf(workDir);
    std::wstring application = wideOf(program);
    BOOL started =
        CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                       workDir.empty() ? nullptr : folder.c_str(), &startup, &child);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    RunResult result;
    if (!started) {
        result.exitStatus = 127;
        return result;
    }
    DWORD wait = limits.timeoutSeconds != 0 ? limits.timeoutSeconds * 1000 : INFINITE;
    if (WaitForSingleObject(child.hProcess, wait) == WAIT_TIMEOUT) {
        TerminateProcess(child.hProcess, 1);
        WaitForSingleObject(child.hProcess, INFINITE);
        result.signal = 14;  // what an alarm would have reported elsewhere
    } else {
        DWORD code = 0;
        GetExitCodeProcess(child.hProcess, &code);
        // An exit(-1) reads 255 on POSIX systems, as here after the cut to the low byte.
        result.exitStatus = static_cast<int>(code & 0xff);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    result.out = withNewlines(readFile(outputs.file("out")));
    result.err = withNewlines(readFile(outputs.file("err")));
    return result;
}

void sendStandardOutputToDeathCapture() {
    std::fflush(stdout);
    int capture = _dup(_fileno(stderr));
    int discard = _open("NUL", _O_WRONLY);
    _dup2(discard, _fileno(stderr));
    _dup2(capture, _fileno(stdout));
}

#else

void execCommand(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
}

RunResult runProgramWith(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workDir, const RunLimits& limits) {
    return runCommand(commandOf(program, arguments), workDir, limits);
}

RunResult runCommand(const std::vector<std::string>& command, const std::string& workDir,
                     const RunLimits& limits) {
    return runInChild(
        [&command]() {
            execCommand(command);
            return 127;
        },
        workDir, limits);
}

void limitAddressSpace(rlim_t bytes) {
    struct rlimit lowered = {bytes, bytes};
    setrlimit(RLIMIT_AS, &lowered);
}

rlim_t addressSpaceInUse() {
    // /proc/self/statm starts with the size of the address space in pages.
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%llu", &pages) != 1) {
            pages = 0;
        }
        std::fclose(statm);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

RunResult runInChild(const std::function<int()>& body, const std::string& workDir,
                     const RunLimits& limits) {
    // Output goes to files outside the working folder rather than to pipes, so a child that
    // writes much cannot block and the folder holds only what the child left there.
    std::string outPattern = temporaryPattern("vexchild-out");
    std::string errPattern = temporaryPattern("vexchild-err");
    int outFile = mkstemp(outPattern.data());
    int errFile = mkstemp(errPattern.data());
    if (outFile < 0 || errFile < 0) {
        throw std::runtime_error("mkstemp failed");
    }
    // Whatever the test process still holds in its buffers must not be written twice.
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) {
            _exit(127);
        }
        dup2(outFile, 1);
        dup2(errFile, 2);
        close(outFile);
        close(errFile);
        if (limits.openFiles != RLIM_INFINITY) {
            // The limit counts descriptors by number: whatever the test process holds open must
            // not take the child's few.
            for (int descriptor = 3; descriptor < 1024; ++descriptor) {
                close(descriptor);
            }
            struct rlimit fileLimit = {limits.openFiles, limits.openFiles};
            setrlimit(RLIMIT_NOFILE, &fileLimit);
        }
        if (limits.timeoutSeconds != 0) {
            alarm(limits.timeoutSeconds);  // kept across exec: a hanging program is ended
        }
        struct rlimit addressLimit = {limits.addressSpace, limits.addressSpace};
        struct rlimit sizeLimit = {limits.fileSize, limits.fileSize};
        setrlimit(RLIMIT_AS, &addressLimit);
        setrlimit(RLIMIT_FSIZE, &sizeLimit);
        if (limits.stack != RLIM_INFINITY) {
            // The main thread's stack, and every thread's by default.
            struct rlimit stackLimit = {limits.stack, limits.stack};
            setrlimit(RLIMIT_STACK, &stackLimit);
        }
        if (limits.processes != RLIM_INFINITY) {
            if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
                _exit(127);
            }
            struct rlimit processLimit = {limits.processes, limits.processes};
            setrlimit(RLIMIT_NPROC, &processLimit);
        }
        signal(SIGXFSZ, limits.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
        int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    RunResult result;
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    close(outFile);
    close(errFile);
    result.out = readFile(outPattern);
    result.err = readFile(errPattern);
    unlink(outPattern.c_str());
    unlink(errPattern.c_str());
    return result;
}

void sendStandardOutputToDeathCapture() {
    std::fflush(stdout);
    int capture = dup(STDERR_FILENO);
    int discard = open("/dev/null", O_WRONLY);
    dup2(discard, STDERR_FILENO);
    dup2(capture, STDOUT_FILENO);
}

#endif

bool builtWithSanitizers() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// ---- The program's outputs ----------------------------------------------------------------------

const char* const programBitmapName = "3VErudadudIzad12UdidirAvorovirevEde.bmp";
const char* const programStatisticsName = "___output_statistics.txt";
const char* const programFontName = "vexMSDOS.fon";

// Taken with sha256sum from the bitmap the literal frame drew with the shipped font, every cell
// through the facet renderer, the line walk and the scan fill. What else vouches for it: the
// fast frame matches the literal one byte for byte in its own tests, the surface's extent
// matches the camera's figures (test_program), and the picture was looked at.
const char* const goldenPictureSha256 =
    "8562e0e395f9d2069bf09782aa241cf7b95d09851e7fe38791395e2bbd05c95b";

std::string programBanner() {
    testing::internal::CaptureStdout();
    vexPlot_Banner();
    return testing::internal::GetCapturedStdout();
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    if (start < text.size()) {
        lines.push_back(text.substr(start));
    }
    return lines;
}

// True when the line has the shape: '#' stands for a digit or a blank, anything else for itself.
bool hasShape(const std::string& line, const std::string& shape) {
    if (line.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        bool digitOrBlank = line[i] == ' ' || (line[i] >= '0' && line[i] <= '9');
        if (shape[i] == '#' ? !digitOrBlank : line[i] != shape[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

void expectStatisticsBox(const std::string& box, int frames) {
    std::vector<std::string> lines = linesOf(box);
    ASSERT_EQ(lines.size(), 8u) << box;
    EXPECT_EQ(box.back(), '\n');
    std::string frame = " *" + std::string(76, '-') + "*";
    char counted[128];
    std::snprintf(counted, sizeof counted,
                  " |        Statistics         |                %10d frames               |",
                  frames);
    std::string title = "3V Azodevir Iror -- 12 -- Mandelbrot Set : f(z) = z^2 + c";
    EXPECT_EQ(lines[0], frame);
    EXPECT_EQ(lines[1], counted);
    EXPECT_EQ(lines[2], frame);
    EXPECT_TRUE(hasShape(lines[3],
                         " |   #####:##:##.## main-loop time      |  "
                         "#############.## frames/s (avg)    |"))
        << lines[3];
    EXPECT_TRUE(hasShape(lines[4], " |" + std::string(38, ' ') +
                                       "|  "
                                       "#############.## ms/frame (avg)    |"))
        << lines[4];
    EXPECT_EQ(lines[5], frame);
    EXPECT_EQ(lines[6], " |   " + std::string(69 - title.size(), ' ') + title + "    |");
    EXPECT_EQ(lines[7], frame);
}

std::string expectBannerThenBox(const std::string& out, int frames) {
    const std::string banner = programBanner();
    const size_t boxSize = 8 * 80;
    EXPECT_EQ(banner.size(), 1679u);
    EXPECT_EQ(out.size(), banner.size() + 1 + boxSize + 1) << out;
    EXPECT_EQ(out.compare(0, banner.size(), banner), 0) << out;
    // The banner's last line has no newline: the box, printed as "\n%s\n", continues it.
    if (out.size() != banner.size() + 1 + boxSize + 1) {
        return "";
    }
    EXPECT_EQ(out[banner.size()], '\n');
    EXPECT_EQ(out.back(), '\n');
    std::string box = out.substr(banner.size() + 1, boxSize);
    expectStatisticsBox(box, frames);
    return box;
}
