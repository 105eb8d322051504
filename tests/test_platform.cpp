// Tests of the platform layer and the fork-join helper on it: threads that the system refuses,
// replacements interrupted by signals, reads that must not block, appends of concurrent runs.
// On Windows the tests that rest on resource limits, signals and forked children are left out;
// reading and appending have their own there.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/driver.h"
#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "raster/raster.h"
#include "support/testutil.h"

namespace {

// ---- Fork-join ----------------------------------------------------------------------------------

// What every share of a fork-join saw, and a barrier of `count` parties that every share passes
// before it records itself: a count that changed after the work began would leave it waiting.
struct ShareLog {
    std::atomic<int> arrived{0};
    std::atomic<int> runs[8];
    std::atomic<int> counts[8];
};

void logShare(void* context, int index, int count) {
    ShareLog* log = static_cast<ShareLog*>(context);
    log->arrived.fetch_add(1);
    while (log->arrived.load() < count) {
    }
    log->runs[index].fetch_add(1);
    log->counts[index].store(count);
}

#ifndef _WIN32
// Address space the process already uses, from /proc/self/statm (in pages).
rlim_t addressSpaceInUse() {
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    statm >> pages;
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}
#endif

// ---- Files --------------------------------------------------------------------------------------

const std::string older = "the older picture";

#ifndef _WIN32
// Starts a replacement of `name` and writes part of a new file, as an interrupted save would
// have; returns 3 if the file got no temporary name it should have, 4 if it could not begin.
int beginAndWritePart(const std::string& name, bool unnamedWanted) {
    platformUnnamedFiles = unnamedWanted ? 1 : 0;
    static VexFileReplace file;
    if (!vexPlatform_BeginFileReplace(&file, name.c_str())) {
        return 4;
    }
    if (unnamedWanted != (file.unnamed != 0)) {
        return 3;
    }
    std::string part(1 << 20, 'n');
    VexFilePiece piece = {part.data(), static_cast<long long>(part.size())};
    return vexPlatform_WriteFileReplace(&file, &piece, 1) ? 0 : 5;
}
#endif

}  // namespace

// ---- Fork-join ----------------------------------------------------------------------------------

TEST(ForkJoin, EveryShareRunsOnceWithTheCountFixedBeforeAnyBegins) {
    for (int asked : {-3, 0, 1, 2, 3, 5}) {
        SCOPED_TRACE(asked);
        ShareLog log;
        for (int i = 0; i < 8; ++i) {
            log.runs[i] = 0;
            log.counts[i] = 0;
        }
        int count = vexThreads_ForkJoin(asked, logShare, &log);
        EXPECT_EQ(count, asked < 1 ? 1 : asked);  // the test machine starts a handful of threads
        for (int i = 0; i < 8; ++i) {
            EXPECT_EQ(log.runs[i].load(), i < count ? 1 : 0) << i;
            EXPECT_EQ(log.counts[i].load(), i < count ? count : 0) << i;
        }
    }
}

#ifndef _WIN32
namespace {

// The threads' fate under a limit, as an exit status: 0 when the work ran once on the calling
// thread alone and the bulk clear and swap gave the expected bytes.
int runUnderAddressLimit(const std::vector<unsigned char>& expected, TestCanvas& canvas) {
    // A few megabytes above what the process uses: no thread gets its stack.
    rlim_t limit = addressSpaceInUse() + (4 << 20);
    struct rlimit addressLimit = {limit, limit};
    setrlimit(RLIMIT_AS, &addressLimit);
    ShareLog log;
    for (int i = 0; i < 8; ++i) {
        log.runs[i] = 0;
        log.counts[i] = 0;
    }
    int count = vexThreads_ForkJoin(4, logShare, &log);
    if (count != 1 || log.runs[0] != 1 || log.counts[0] != 1 || log.runs[1] != 0) {
        return 2;
    }
    vexRaster_ClearFast(4);
    vexRaster_SwapRedBlueFast(canvas.bytes.data(), 4);
    return canvas.bytes == expected ? 0 : 3;
}

}  // namespace

TEST(ForkJoinDeathTest, ThreadsTheSystemRefusesMeanFewerThreadsAndTheSameBytes) {
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the sanitizers reserve far more address space than any useful limit";
    }
    // A process that has run threads keeps their stacks for reuse, and a forked child inherits
    // them: the check runs in a freshly started copy of this test, which has started none.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The bytes of a bulk clear and swap, on the calling thread alone (the bytes do not depend
    // on the thread count; the canvas tests hold that).
    const int width = 301;
    const int height = 207;
    TestCanvas canvas(width, height, 0x000000);
    vexRaster_SetClearColor(0x123456);  // red unlike blue, so the swap shows
    vexRaster_ClearFast(1);
    vexRaster_SwapRedBlueFast(canvas.bytes.data(), 1);
    const std::vector<unsigned char> expected = canvas.bytes;
    std::fill(canvas.bytes.begin(), canvas.bytes.end(), 0);
    EXPECT_EXIT(std::exit(runUnderAddressLimit(expected, canvas)), testing::ExitedWithCode(0), "");
}
#endif

// ---- Replacing a file ---------------------------------------------------------------------------

#ifndef _WIN32
TEST(FileReplace, InterruptedReplacementsLeaveOnlyTheOlderFile) {
    // The unnamed file is gone even after SIGKILL; the named one on SIGINT, SIGTERM and SIGHUP,
    // with the signal still ending the process. A file of another run's that merely looks like
    // a temporary one is never touched.
    struct Case {
        bool unnamed;
        int signal;
    };
    const Case cases[] = {
        {true, SIGKILL}, {true, SIGTERM}, {false, SIGINT}, {false, SIGTERM}, {false, SIGHUP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.unnamed ? "unnamed, " : "named, ") + strsignal(c.signal));
        TempDir dir;
        writeFile(dir.file("picture.bmp"), older);
        writeFile(dir.file("vexbitmap-Other1"), "another run's");
        std::string name = dir.file("picture.bmp");
        RunResult child = runInChild([&] {
            int status = beginAndWritePart(name, c.unnamed);
            if (status != 0) {
                return status;
            }
            // The named file is really there while it is written.
            if (!c.unnamed && folderEntries(dir.path).size() != 3) {
                return 6;
            }
            raise(c.signal);
            return 7;
        });
        if (c.unnamed && child.exitStatus == 3) {
            continue;  // the temporary folder's file system makes no unnamed files
        }
        EXPECT_EQ(child.signal, c.signal) << "exit status " << child.exitStatus;
        EXPECT_EQ(folderEntries(dir.path),
                  (std::set<std::string>{"picture.bmp", "vexbitmap-Other1"}));
        EXPECT_EQ(readFile(name), older);
        EXPECT_EQ(readFile(dir.file("vexbitmap-Other1")), "another run's");
    }
    platformUnnamedFiles = 1;
}

TEST(FileReplace, SignalsTheProcessIgnoresStayIgnored) {
    // Under nohup SIGHUP is ignored: the save must neither die of it nor lose the new file.
    TempDir dir;
    std::string name = dir.file("picture.bmp");
    RunResult child = runInChild([&] {
        signal(SIGHUP, SIG_IGN);
        platformUnnamedFiles = 0;
        static VexFileReplace file;
        if (!vexPlatform_BeginFileReplace(&file, name.c_str())) {
            return 2;
        }
        raise(SIGHUP);
        VexFilePiece piece = {"new", 3};
        if (!vexPlatform_WriteFileReplace(&file, &piece, 1)) {
            return 3;
        }
        return vexPlatform_CommitFileReplace(&file) ? 0 : 4;
    });
    EXPECT_EQ(child.signal, 0);
    EXPECT_EQ(child.exitStatus, 0);
    EXPECT_EQ(readFile(name), "new");
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"picture.bmp"});
}
#endif

TEST(FileReplace, BothWaysCommitWholeFilesAndAbandonLeavesNothing) {
    for (int unnamed : {1, 0}) {
        SCOPED_TRACE(unnamed);
        platformUnnamedFiles = unnamed;
        TempDir dir;
        std::string name = dir.file("picture.bmp");
        writeFile(name, older);
        VexFileReplace file;
        ASSERT_EQ(vexPlatform_BeginFileReplace(&file, name.c_str()), 1);
        VexFilePiece abandoned = {"abandoned", 9};
        EXPECT_EQ(vexPlatform_WriteFileReplace(&file, &abandoned, 1), 1);
        vexPlatform_AbandonFileReplace(&file);
        EXPECT_EQ(readFile(name), older);
        EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"picture.bmp"});

        ASSERT_EQ(vexPlatform_BeginFileReplace(&file, name.c_str()), 1);
        std::string big(3 << 20, 'b');
        VexFilePiece pieces[3] = {
            {"head", 4}, {"", 0}, {big.data(), static_cast<long long>(big.size())}};
        EXPECT_EQ(vexPlatform_WriteFileReplace(&file, pieces, 3), 1);
        EXPECT_EQ(readFile(name), older);  // nothing shows under the name before the commit
        EXPECT_EQ(vexPlatform_CommitFileReplace(&file), 1);
        EXPECT_TRUE(readFile(name) == "head" + big);
        EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"picture.bmp"});
    }
    platformUnnamedFiles = 1;
}

TEST(FileReplace, NamesAreUtf8) {
    // Windows takes names in UTF-16: the program's UTF-8 must reach the system as the same name.
    TempDir dir;
    std::string name = dir.file("Bild \xc3\xa4\xe2\x82\xac \xf0\x9f\x8c\x80.bmp");
    std::filesystem::path system = std::filesystem::u8path(name);
    VexFileReplace file;
    for (const char* bytes : {"older", "newer"}) {
        ASSERT_EQ(vexPlatform_BeginFileReplace(&file, name.c_str()), 1);
        VexFilePiece piece = {bytes, 5};
        EXPECT_EQ(vexPlatform_WriteFileReplace(&file, &piece, 1), 1);
        EXPECT_EQ(vexPlatform_CommitFileReplace(&file), 1);
        std::ifstream in(system, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
    }
    char buffer[16];
    EXPECT_EQ(vexPlatform_ReadFileStart(name.c_str(), buffer, sizeof buffer), 5);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), {}), 1);
    // Bytes that are no UTF-8 name no file.
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("\xff\xfe").c_str(), buffer, sizeof buffer), -1);
}

// ---- Reading and appending ----------------------------------------------------------------------

namespace {

// What every system reads alike: a folder and a missing file are refused, a character device
// (`emptyDevice`, which holds nothing) is read like a file, and a read takes no more than asked.
void expectFoldersMissingFilesDevicesAndShortReads(const TempDir& dir, const char* emptyDevice) {
    char buffer[16];
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.path.c_str(), buffer, sizeof buffer), -1);
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("missing").c_str(), buffer, sizeof buffer), -1);
    EXPECT_EQ(vexPlatform_ReadFileStart(emptyDevice, buffer, sizeof buffer), 0);
    writeFile(dir.file("short"), "0123456789");
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("short").c_str(), buffer, 4), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("short").c_str(), buffer, sizeof buffer), 10);
}

}  // namespace

#ifdef _WIN32
TEST(ReadFileStart, PipesAndFoldersAreRefusedWithoutWaitingDevicesRead) {
    TempDir dir;
    char buffer[16];
    // A pipe whose other end has written nothing: a read would wait for it.
    std::string pipeName = "\\\\.\\pipe\\vextest-read-" + std::to_string(GetCurrentProcessId());
    HANDLE server = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096,
                                     4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_EQ(vexPlatform_ReadFileStart(pipeName.c_str(), buffer, sizeof buffer), -1);
    CloseHandle(server);
    expectFoldersMissingFilesDevicesAndShortReads(dir, "NUL");
}

TEST(AppendToFile, AnotherRunsAppendIsWaitedFor) {
    // Another run (here another handle of this process: Windows locks belong to a handle) holds
    // the lock while it appends its box. The append under test waits for it, then adds its text
    // after the box. Statistics thrown away on NUL are written and gone.
    TempDir dir;
    std::string name = dir.file("statistics.txt");
    const std::string earlier = "earlier runs\n";
    const std::string otherBox(2000, 'o');
    const std::string text(1000, 't');
    writeFile(name, earlier);
    HANDLE held = CreateFileW(std::filesystem::path(name).wstring().c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    OVERLAPPED whole;
    std::memset(&whole, 0, sizeof whole);
    ASSERT_TRUE(LockFileEx(held, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                           MAXDWORD, &whole));
    std::atomic<int> result{-1};
    std::thread other([&] {
        VexFilePiece piece = {text.data(), static_cast<long long>(text.size())};
        result = vexPlatform_AppendToFile(name.c_str(), &piece, 1);
    });
    Sleep(300);
    EXPECT_EQ(result.load(), -1) << "the append did not wait for the lock";
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(earlier.size());
    DWORD written = 0;
    EXPECT_TRUE(SetFilePointerEx(held, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(
        WriteFile(held, otherBox.data(), static_cast<DWORD>(otherBox.size()), &written, nullptr));
    UnlockFileEx(held, 0, MAXDWORD, MAXDWORD, &whole);
    CloseHandle(held);
    other.join();
    EXPECT_EQ(result.load(), vexAppendWritten);
    EXPECT_TRUE(readFile(name) == earlier + otherBox + text);

    VexFilePiece piece = {text.data(), static_cast<long long>(text.size())};
    EXPECT_EQ(vexPlatform_AppendToFile("NUL", &piece, 1), vexAppendWritten);
}
#else
TEST(ReadFileStart, PipesAndFoldersAreRefusedWithoutWaitingDevicesRead) {
    TempDir dir;
    char buffer[16];
    // A pipe with no writer: opening it for reading would wait for one forever.
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0644), 0);
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("pipe").c_str(), buffer, sizeof buffer), -1);
    // With a writer that has written, it is still no file of fixed bytes.
    int writer = open(dir.file("pipe").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "abc", 3), 3);
    EXPECT_EQ(vexPlatform_ReadFileStart(dir.file("pipe").c_str(), buffer, sizeof buffer), -1);
    close(writer);
    expectFoldersMissingFilesDevicesAndShortReads(dir, "/dev/null");
}

TEST(AppendToFile, AnotherRunsAppendIsWaitedForAndNeverCutBack) {
    // Another run (this test process) holds the lock while it appends its box. The run under test
    // waits for it, then fails part-way through its own text under the file-size limit: it must
    // cut back its own bytes and no more.
    TempDir dir;
    std::string name = dir.file("statistics.txt");
    const std::string earlier = "earlier runs\n";
    const std::string otherBox(2000, 'o');
    writeFile(name, earlier);
    int held = open(name.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(held, 0);
    struct flock whole;
    std::memset(&whole, 0, sizeof whole);
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(held, F_SETLK, &whole), 0);

    std::fflush(nullptr);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The limit lets the file take the other box but not this text as well.
        struct rlimit size = {earlier.size() + otherBox.size() + 100,
                              earlier.size() + otherBox.size() + 100};
        setrlimit(RLIMIT_FSIZE, &size);
        signal(SIGXFSZ, SIG_IGN);
        std::string text(1000, 't');
        VexFilePiece piece = {text.data(), static_cast<long long>(text.size())};
        _exit(vexPlatform_AppendToFile(name.c_str(), &piece, 1));
    }
    // Long enough for the child to reach the lock; the outcome does not depend on it.
    usleep(300000);
    ASSERT_EQ(write(held, otherBox.data(), otherBox.size()), static_cast<ssize_t>(otherBox.size()));
    close(held);  // releases the lock
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), vexAppendNotWritten);
    EXPECT_TRUE(readFile(name) == earlier + otherBox);
}
#endif
