// The real program meeting faults, each run in a fresh folder: fonts that are empty, short, long,
// foreign or pipes, a picture or statistics file that cannot be written, a disk that fills up
// during the save, too few file descriptors, standard output that takes nothing, too little memory
// for the frame buffer, runs killed part-way. Every case checks the messages and where they went,
// the exit status and what is left on disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "fractal/fractal.h"
#include "output/output.h"
#include "support/testutil.h"

namespace {

const char* const bitmapName = "3VErudadudIzad12UdidirAvorovirevEde.bmp";
const char* const bitmapBase = "3VErudadudIzad12UdidirAvorovirevEde";
const char* const statisticsName = "___output_statistics.txt";
const char* const fontName = "vexMSDOS.fon";
const std::string bitmapMessage = "vexNIVplot: Cannot write bitmap file.\n";
const std::string fontMessage = "vexNIVplot: Cannot open font set.\n";
const int imageWidth = 6000;
const int imageHeight = 4800;
const size_t headerSize = 56;
const size_t rowBytes = imageWidth * 3;
const size_t bitmapSize = headerSize + rowBytes * imageHeight;
const size_t boxSize = 8 * 80;

// The labels at scale 4: every character is a 32 by 32 cell, the next one 32 pixels on.
struct Label {
    const char* text;
    int x;
    int y;
};
const Label labels[] = {
    {vexSceneTitle, 40, 40},
    {vexSceneCopyright, 40, 100},
    {vexSceneRights, 40, 160},
};
// Canvas rows 0 to 199 hold the labels on white canvas; the surface begins near row 553.
const int labelRows = 200;

std::string realFont() {
    return readFile(VEX_FONT_PATH);
}

std::string banner() {
    testing::internal::CaptureStdout();
    vexPlot_Banner();
    return testing::internal::GetCapturedStdout();
}

std::set<std::string> entries(std::initializer_list<const char*> names) {
    return std::set<std::string>(names.begin(), names.end());
}

// A fresh folder with the given bytes as its font.
struct Folder {
    explicit Folder(const std::string& font) { writeFile(dir.file(fontName), font); }
    TempDir dir;
};

// Earlier statistics that fill a file to within 100 bytes of `limit`: too little room for a box.
std::string earlierStatisticsFilling(rlim_t limit) {
    std::string earlier;
    while (earlier.size() + 100 < limit) {
        earlier += "an earlier line of statistics\n";
    }
    return earlier;
}

// Checks standard output of a run that reached its report: the banner, the statistics box on
// the banner's last line, then `tail`. Returns the box (empty when the layout is wrong).
std::string expectBannerBoxThen(const std::string& out, const std::string& tail) {
    std::string head = banner();
    size_t size = head.size() + 1 + boxSize + 1;
    EXPECT_EQ(out.size(), size + tail.size()) << out;
    if (out.size() != size + tail.size() || out.compare(0, head.size(), head) != 0) {
        ADD_FAILURE() << "no banner and box in:\n" << out;
        return "";
    }
    std::string box = out.substr(head.size() + 1, boxSize);
    EXPECT_EQ(out[head.size()], '\n');
    EXPECT_EQ(out[size - 1], '\n');
    EXPECT_EQ(box.substr(0, 3), " *-");
    EXPECT_EQ(box.substr(boxSize - 2), "*\n");
    EXPECT_EQ(out.substr(size), tail);
    return box;
}

// The label rows as the font file must make them: a byte equal to 1 among the file's first 8192
// is ink, a 4 by 4 black block; every other byte, and every byte beyond a short file, is white.
std::vector<int> expectedLabelRows(const std::string& font, long* inkPixels) {
    std::vector<int> rows(static_cast<size_t>(imageWidth) * labelRows, 0xffffff);
    *inkPixels = 0;
    for (const Label& label : labels) {
        for (size_t k = 0; label.text[k] != '\0'; ++k) {
            size_t glyph = static_cast<unsigned char>(label.text[k]) * 64u;
            for (int i = 0; i < 32; ++i) {
                for (int j = 0; j < 32; ++j) {
                    size_t at = glyph + (i / 4) * 8 + j / 4;
                    if (at < 8192 && at < font.size() && font[at] == 1) {
                        rows[static_cast<size_t>(label.y + i) * imageWidth + label.x + 32 * k + j] =
                            0;
                        ++*inkPixels;
                    }
                }
            }
        }
    }
    return rows;
}

// The colour of canvas pixel (x, y) in the file: rows bottom-up, bytes blue, green, red.
int filePixel(const std::string& bitmap, int x, int y) {
    size_t o = headerSize + static_cast<size_t>(imageHeight - 1 - y) * rowBytes + x * 3u;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bitmap[i]); };
    return (byte(o + 2) << 16) | (byte(o + 1) << 8) | byte(o);
}

void expectLabelRows(const std::string& bitmap, const std::string& font, long* inkPixels) {
    std::vector<int> expected = expectedLabelRows(font, inkPixels);
    long wrong = 0;
    int firstX = -1;
    int firstY = -1;
    for (int y = 0; y < labelRows; ++y) {
        for (int x = 0; x < imageWidth; ++x) {
            if (filePixel(bitmap, x, y) != expected[static_cast<size_t>(y) * imageWidth + x]) {
                if (wrong++ == 0) {
                    firstX = x;
                    firstY = y;
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "first wrong pixel at " << firstX << ", " << firstY;
}

// The header and the surface, canvas rows 200 down to the bottom (the file's first rows).
std::string headerAndSurface(const std::string& bitmap) {
    return bitmap.substr(0, headerSize + rowBytes * (imageHeight - labelRows));
}

}  // namespace

// ---- Fonts --------------------------------------------------------------------------------------

TEST(FontFaults, EmptyShortLongAndForeignFontsStillGiveTheWholePicture) {
    const std::string font = realFont();
    ASSERT_EQ(font.size(), 8192u);
    std::string foreign = font;  // the real glyph shapes, coded as 2 and 3: no byte is ink
    for (char& byte : foreign) {
        byte = static_cast<char>(byte + 2);
    }
    struct Case {
        const char* name;
        std::string font;
        bool inked;
    };
    const Case cases[] = {
        {"empty", "", false},
        // Codes 0 to 63 whole and '@' in part: the digits and signs are drawn, the letters blank.
        {"short", font.substr(0, 4150), true},
        // Only the first 8192 bytes count: the trailing bytes of 1 change nothing.
        {"long", font + std::string(4000, '\1'), true},
        {"foreign", foreign, false},
    };
    std::string firstSurface;
    long shortInk = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Folder folder(c.font);
        RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path);
        ASSERT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "");
        std::string box = expectBannerBoxThen(run.out, "");
        EXPECT_EQ(readFile(folder.dir.file(statisticsName)), box + "\n");
        EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));

        std::string bitmap = readFile(folder.dir.file(bitmapName));
        ASSERT_EQ(bitmap.size(), bitmapSize);
        long ink = 0;
        expectLabelRows(bitmap, c.font, &ink);
        EXPECT_EQ(ink > 0, c.inked) << ink << " ink pixels";
        if (std::string(c.name) == "short") {
            shortInk = ink;
        } else if (std::string(c.name) == "long") {
            EXPECT_GT(ink, shortInk);  // the letters are back
        }
        // The font touches the labels and nothing else.
        if (firstSurface.empty()) {
            firstSurface = headerAndSurface(bitmap);
        } else {
            EXPECT_TRUE(headerAndSurface(bitmap) == firstSurface);
        }
    }
}

TEST(FontFaults, FolderInPlaceOfTheFontIsAFontFailure) {
    // It opens, but reading it fails: not a short font, a font that cannot be read.
    TempDir dir;
    ASSERT_EQ(mkdir(dir.file(fontName).c_str(), 0755), 0);
    RunResult run = runProgram(VEX_PROGRAM_PATH, dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    // The message follows the banner, and the report follows the message.
    std::string out = run.out;
    size_t bannerSize = banner().size();
    ASSERT_EQ(out.compare(bannerSize, fontMessage.size(), fontMessage), 0) << out;
    std::string box = expectBannerBoxThen(out.erase(bannerSize, fontMessage.size()), "");
    EXPECT_EQ(readFile(dir.file(statisticsName)), box + "\n");
    EXPECT_EQ(folderEntries(dir.path), entries({fontName, statisticsName}));
}

TEST(FontFaults, PipeInPlaceOfTheFontIsAFontFailureNotAHang) {
    // A pipe with no writer would hold the open forever; one is refused like a folder.
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file(fontName).c_str(), 0644), 0);
    RunLimits limits;
    limits.timeoutSeconds = 60;
    RunResult run = runProgram(VEX_PROGRAM_PATH, dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    std::string out = run.out;
    size_t bannerSize = banner().size();
    ASSERT_EQ(out.compare(bannerSize, fontMessage.size(), fontMessage), 0) << out;
    std::string box = expectBannerBoxThen(out.erase(bannerSize, fontMessage.size()), "");
    EXPECT_EQ(readFile(dir.file(statisticsName)), box + "\n");
    EXPECT_EQ(folderEntries(dir.path), entries({fontName, statisticsName}));
}

// ---- The picture --------------------------------------------------------------------------------

TEST(BitmapFaults, FolderInTheWayIsAFailedRun) {
    Folder folder(realFont());
    ASSERT_EQ(mkdir(folder.dir.file(bitmapName).c_str(), 0755), 0);
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerBoxThen(run.out, bitmapMessage);
    EXPECT_EQ(readFile(folder.dir.file(statisticsName)), box + "\n");
    // Nothing half-written beside the folder, nothing put into it.
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));
    EXPECT_TRUE(folderEntries(folder.dir.file(bitmapName)).empty());
}

TEST(BitmapFaults, DiskFillingUpKeepsTheOlderPictureAndTheStatistics) {
    Folder folder(realFont());
    // A good picture from an earlier run, and the statistics of earlier runs.
    TestCanvas canvas(4, 3, 0x00ff00, 0x0000ff);
    vexRaster_Plot(1, 2);
    ASSERT_EQ(vexBitmap_Save(folder.dir.file(bitmapBase).c_str(), 4, 3, 24, canvas.bytes.data()),
              0);
    const std::string older = readFile(folder.dir.file(bitmapName));
    ASSERT_EQ(older.size(), headerSize + 36);
    const std::string earlier = "statistics of earlier runs\n\n";
    writeFile(folder.dir.file(statisticsName), earlier);

    // The file-size limit stops the picture at 4 MiB, as a full disk would. The program is left
    // to deal with SIGXFSZ itself: the limit must not kill it half-way through the write.
    RunLimits limits;
    limits.fileSize = 4 << 20;
    limits.ignoreFileSizeSignal = false;
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerBoxThen(run.out, bitmapMessage);
    EXPECT_EQ(readFile(folder.dir.file(statisticsName)), earlier + box + "\n");
    EXPECT_TRUE(readFile(folder.dir.file(bitmapName)) == older);
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));
}

// ---- The statistics -----------------------------------------------------------------------------

TEST(StatisticsFaults, FolderInPlaceOfTheFileLosesTheBoxButNotThePicture) {
    Folder folder(realFont());
    ASSERT_EQ(mkdir(folder.dir.file(statisticsName).c_str(), 0755), 0);
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "Cannot open input file.\n");
    expectBannerBoxThen(run.out, "");
    EXPECT_EQ(readFile(folder.dir.file(bitmapName)).size(), bitmapSize);
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));
    EXPECT_TRUE(folderEntries(folder.dir.file(statisticsName)).empty());
}

TEST(StatisticsFaults, FailedAppendIsReportedAndThePictureWritten) {
    // /dev/full opens for appending, and every write to it fails as on a full disk.
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    Folder folder(realFont());
    ASSERT_EQ(symlink("/dev/full", folder.dir.file(statisticsName).c_str()), 0);
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, std::string("Cannot write file ") + statisticsName + ".\n");
    expectBannerBoxThen(run.out, "");
    EXPECT_EQ(readFile(folder.dir.file(bitmapName)).size(), bitmapSize);
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));
}

namespace {

// Fills the statistics file near a 1 MiB file-size limit and runs the program under that limit
// and `limits`: the box is cut off, so the append and the picture both fail and are reported,
// and the folder keeps the earlier statistics (left in `earlierOut`) and nothing new.
void expectAppendCutOffLeavesTheEarlierStatistics(const Folder& folder, RunLimits limits,
                                                  std::string* earlierOut = nullptr) {
    const rlim_t limit = 1 << 20;
    const std::string earlier = earlierStatisticsFilling(limit);
    if (earlierOut != nullptr) {
        *earlierOut = earlier;
    }
    writeFile(folder.dir.file(statisticsName), earlier);
    limits.fileSize = limit;
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, std::string("Cannot write file ") + statisticsName + ".\n");
    expectBannerBoxThen(run.out, bitmapMessage);
    EXPECT_TRUE(readFile(folder.dir.file(statisticsName)) == earlier);
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, statisticsName}));
}

}  // namespace

TEST(StatisticsFaults, AppendCutOffByTheFileSizeLimitLeavesTheEarlierStatistics) {
    // The statistics are written before the picture, so a limit that cuts the box off stops the
    // picture as well: both failures are reported, and neither file is left half-written.
    Folder folder(realFont());
    expectAppendCutOffLeavesTheEarlierStatistics(folder, RunLimits());
}

TEST(StatisticsFaults, PipeInPlaceOfTheFileIsRefusedWhetherOrNotItIsRead) {
    // With no reader the open would wait for one after the whole render, and the picture would
    // never be saved; with one, the box would go to whoever reads. Both are refused.
    for (bool reader : {false, true}) {
        SCOPED_TRACE(reader ? "a reader" : "no reader");
        Folder folder(realFont());
        std::string pipe = folder.dir.file(statisticsName);
        ASSERT_EQ(mkfifo(pipe.c_str(), 0644), 0);
        int readEnd = reader ? open(pipe.c_str(), O_RDONLY | O_NONBLOCK) : -1;
        RunLimits limits;
        limits.timeoutSeconds = 60;
        RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
        ASSERT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "Cannot open input file.\n");
        expectBannerBoxThen(run.out, "");
        EXPECT_EQ(readFile(folder.dir.file(bitmapName)).size(), bitmapSize);
        if (reader) {
            char byte;
            EXPECT_LE(read(readEnd, &byte, 1), 0);  // nothing was written into the pipe
            close(readEnd);
        }
    }
}

TEST(StatisticsFaults, NullDeviceTakesTheBoxAndGivesAnEmptyFont) {
    // Character devices are files the program may use: /dev/null throws the statistics away, and
    // as a font it reads as empty, which leaves the labels blank.
    if (!fileExists("/dev/null")) {
        GTEST_SKIP() << "no /dev/null on this system";
    }
    TempDir dir;
    ASSERT_EQ(symlink("/dev/null", dir.file(statisticsName).c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", dir.file(fontName).c_str()), 0);
    RunResult run = runProgram(VEX_PROGRAM_PATH, dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    expectBannerBoxThen(run.out, "");
    std::string bitmap = readFile(dir.file(bitmapName));
    ASSERT_EQ(bitmap.size(), bitmapSize);
    long ink = 0;
    expectLabelRows(bitmap, "", &ink);
    EXPECT_EQ(ink, 0);
}

TEST(StatisticsFaults, FailedAppendIsCutBackEvenWithNoDescriptorToSpare) {
    // Under a limit of four descriptors the program holds one file at a time. A failed append
    // must still be cut back and reported: the cut uses the descriptor the append has open.
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the sanitizers' own checks need descriptors beyond the limit";
    }
    Folder folder(realFont());
    RunLimits limits;
    limits.openFiles = 4;
    std::string earlier;
    ASSERT_NO_FATAL_FAILURE(expectAppendCutOffLeavesTheEarlierStatistics(folder, limits, &earlier));

    // Without the size limit the same four descriptors make a normal run.
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerBoxThen(run.out, "");
    EXPECT_TRUE(readFile(folder.dir.file(statisticsName)) == earlier + box + "\n");
    EXPECT_EQ(readFile(folder.dir.file(bitmapName)).size(), bitmapSize);
}

// ---- Standard output and memory -----------------------------------------------------------------

TEST(OutputFaults, StandardOutputThatTakesNothingFailsTheRun) {
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    Folder folder(realFont());
    TempDir capture;
    std::string err = capture.file("err");
    std::string command = "cd '" + folder.dir.path + "' && exec " +
                          shellCommandOf(VEX_PROGRAM_PATH) + " >/dev/full 2>'" + err + "'";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(readFile(err), "vexNIVplot: Cannot write standard output.\n");
    // The files do not depend on standard output.
    EXPECT_EQ(readFile(folder.dir.file(bitmapName)).size(), bitmapSize);
    EXPECT_EQ(readFile(folder.dir.file(statisticsName)).size(), boxSize + 1);
}

TEST(MemoryFaults, FrameBufferBeyondTheAddressSpaceLimitIsFatal) {
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the sanitizers reserve far more address space than any useful limit";
    }
    // 32 MiB hold the program but not its 86,400,001-byte frame buffer, which is asked for
    // before the scene: nothing is drawn, reported or written.
    Folder folder(realFont());
    RunLimits limits;
    limits.addressSpace = 32 << 20;
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 255);  // exit(-1)
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, banner() + "out of memory (vexMemory_Calloc 5265c01 bytes)\n");
    EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName}));
}

TEST(MemoryFaults, LimitsThatLeaveTooLittleBeyondTheFrameBufferNeverAbort) {
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the sanitizers reserve far more address space than any useful limit";
    }
    // Limits from just above the frame buffer to a little above a whole run's needs: the
    // threads' stacks, the frame's working block and the run lists run out one after another.
    // A thread that cannot be had means fewer threads, and a block that cannot be had is the
    // fatal out-of-memory message after the banner; never an abort. Where the run gets through,
    // its picture is the golden one.
    Folder folder(realFont());
    const std::string fatal = banner() + "out of memory (vexMemory_Calloc ";
    for (rlim_t megabytes = 88; megabytes <= 112; megabytes += 4) {
        SCOPED_TRACE(megabytes);
        RunLimits limits;
        limits.addressSpace = megabytes * 1000 * 1024;
        RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
        ASSERT_EQ(run.signal, 0);
        EXPECT_EQ(run.err, "");
        if (run.exitStatus == 255) {
            EXPECT_EQ(run.out.compare(0, fatal.size(), fatal), 0) << run.out;
            EXPECT_EQ(run.out.substr(run.out.size() - 8), " bytes)\n");
        } else {
            EXPECT_EQ(run.exitStatus, 0) << run.out;
            EXPECT_EQ(sha256Hex(readFile(folder.dir.file(bitmapName))), goldenPictureSha256);
        }
    }
}

TEST(ThreadFaults, NoThreadToSpareDrawsTheSamePictureOnOne) {
    // Under a process limit of one, not one thread can be started: the clear, the heights, the
    // frame and the swap all run on the main thread alone, with the same bytes.
    if (builtWithSanitizers()) {
        GTEST_SKIP() << "the leak checker needs a thread of its own at exit";
    }
    Folder folder(realFont());
    std::filesystem::permissions(folder.dir.path, std::filesystem::perms::all);
    RunLimits limits;
    limits.processes = 1;
    RunResult run = runProgram(VEX_PROGRAM_PATH, folder.dir.path, limits);
    ASSERT_EQ(run.signal, 0);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    expectBannerBoxThen(run.out, "");
    EXPECT_EQ(sha256Hex(readFile(folder.dir.file(bitmapName))), goldenPictureSha256);
}

// ---- Interruptions ------------------------------------------------------------------------------

TEST(InterruptFaults, RunsKilledAtAnyMomentLeaveNoPartOfANewPicture) {
    // The run is ended by SIGTERM or SIGKILL at moments spread over its length, the save among
    // them. Whatever the moment, the bitmap's name holds the older picture or a whole new one,
    // and nothing else is left in the folder: no temporary file, under any name.
    Folder folder(realFont());
    TestCanvas canvas(4, 3, 0x00ff00);
    ASSERT_EQ(vexBitmap_Save(folder.dir.file(bitmapBase).c_str(), 4, 3, 24, canvas.bytes.data()),
              0);
    const std::string older = readFile(folder.dir.file(bitmapName));
    // A whole run's length on this machine, to spread the moments over.
    auto start = std::chrono::steady_clock::now();
    RunResult whole = runProgram(VEX_PROGRAM_PATH, folder.dir.path);
    ASSERT_EQ(whole.exitStatus, 0);
    const std::string newer = readFile(folder.dir.file(bitmapName));
    long runMicroseconds = static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                                 std::chrono::steady_clock::now() - start)
                                                 .count());
    const int moments = 8;
    for (int k = 0; k < moments; ++k) {
        int signal = k % 2 == 0 ? SIGKILL : SIGTERM;
        SCOPED_TRACE(k);
        writeFile(folder.dir.file(bitmapName), older);
        std::fflush(nullptr);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(folder.dir.path.c_str()) != 0 || !std::freopen("/dev/null", "w", stdout)) {
                _exit(127);
            }
            execCommand(commandOf(VEX_PROGRAM_PATH));
            _exit(127);
        }
        usleep(static_cast<useconds_t>(runMicroseconds * (k + 1) / (moments + 1)));
        kill(pid, signal);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        std::string bitmap = readFile(folder.dir.file(bitmapName));
        EXPECT_TRUE(bitmap == older || bitmap == newer) << bitmap.size() << " bytes";
        EXPECT_EQ(folderEntries(folder.dir.path), entries({fontName, bitmapName, statisticsName}));
    }
}
