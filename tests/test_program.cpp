// The real program, run as a user runs it, in fresh temporary folders: what it prints, the
// statistics file, the bitmap it leaves, and its exit status on the way out of each failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "support/testutil.h"

namespace {

const char* const bitmapName = programBitmapName;
const char* const statisticsName = programStatisticsName;
const int imageWidth = 6000;
const int imageHeight = 4800;
const size_t headerSize = 56;
const size_t bitmapSize = 86400056;

// A folder with the font, as the program finds it beside itself after the build.
struct RunFolder {
    RunFolder() { writeFile(dir.file("vexMSDOS.fon"), readFile(VEX_FONT_PATH)); }
    TempDir dir;
};

// One normal run, shared by the tests that only look at it.
struct NormalRun {
    NormalRun() : result(runProgram(VEX_PROGRAM_PATH, folder.dir.path)) {
        bitmap = readFile(folder.dir.file(bitmapName));
        statistics = readFile(folder.dir.file(statisticsName));
    }
    RunFolder folder;
    RunResult result;
    std::string bitmap;
    std::string statistics;
};

const NormalRun& normalRun() {
    static const NormalRun run;
    return run;
}

// The colour of canvas pixel (x, y) in the file: rows bottom-up, bytes blue, green, red.
int filePixel(const std::string& bitmap, int x, int y) {
    size_t o = headerSize + (static_cast<size_t>(imageHeight - 1 - y) * imageWidth + x) * 3;
    auto byte = [&](size_t i) { return static_cast<unsigned char>(bitmap[i]); };
    return (byte(o + 2) << 16) | (byte(o + 1) << 8) | byte(o);
}

}  // namespace

TEST(ProgramRun, PrintsTheBannerThenTheStatisticsBox) {
    const NormalRun& run = normalRun();
    ASSERT_EQ(run.result.signal, 0);
    EXPECT_EQ(run.result.exitStatus, 0);
    EXPECT_EQ(run.result.err, "");
    expectBannerThenBox(run.result.out, 1);
}

TEST(ProgramRun, SecondRunAppendsItsBoxAndWritesTheSameBytes) {
    const NormalRun& run = normalRun();
    std::string box = run.result.out.substr(1679 + 1, 8 * 80);
    EXPECT_EQ(run.statistics, box + "\n");

    // A second run in the same folder appends to the statistics, it does not replace them, and
    // replaces the picture with the same bytes.
    RunResult again = runProgram(VEX_PROGRAM_PATH, run.folder.dir.path);
    ASSERT_EQ(again.exitStatus, 0);
    std::string secondBox = again.out.substr(1679 + 1, 8 * 80);
    EXPECT_EQ(readFile(run.folder.dir.file(statisticsName)), box + "\n" + secondBox + "\n");
    EXPECT_TRUE(readFile(run.folder.dir.file(bitmapName)) == run.bitmap);
    EXPECT_EQ(folderEntries(run.folder.dir.path),
              std::set<std::string>({programFontName, bitmapName, statisticsName}));
}

TEST(ProgramRun, WritesTheBitmapWithItsHeader) {
    const NormalRun& run = normalRun();
    ASSERT_EQ(run.bitmap.size(), bitmapSize);
    const unsigned char expected[56] = {0x42, 0x4D, 0x38, 0x5C, 0x26, 0x05, 0,    0,   0,    0,
                                        0x38, 0,    0,    0,    0x28, 0,    0,    0,   0x70, 0x17,
                                        0,    0,    0xC0, 0x12, 0,    0,    0x01, 0,   0x18, 0,
                                        0,    0,    0,    0,    0x00, 0x5C, 0x26, 0x05};
    EXPECT_EQ(
        run.bitmap.compare(0, headerSize, std::string(reinterpret_cast<const char*>(expected), 56)),
        0);
}

TEST(ProgramRun, LabelsAreBlackOnWhiteAboveTheSurface) {
    const NormalRun& run = normalRun();
    ASSERT_EQ(run.bitmap.size(), bitmapSize);
    // Find the topmost row with anything on it below the labels: the top of the surface.
    int surfaceTop = -1;
    for (int y = 192; y < imageHeight && surfaceTop < 0; ++y) {
        for (int x = 0; x < imageWidth; ++x) {
            if (filePixel(run.bitmap, x, y) != 0xffffff) {
                surfaceTop = y;
                break;
            }
        }
    }
    // The highest point of the surface lies near row 553.
    EXPECT_GE(surfaceTop, 550);
    EXPECT_LE(surfaceTop, 556);

    long black = 0;
    for (int y = 0; y < surfaceTop; ++y) {
        bool labelRow = (y >= 40 && y < 72) || (y >= 100 && y < 132) || (y >= 160 && y < 192);
        for (int x = 0; x < imageWidth; ++x) {
            int pixel = filePixel(run.bitmap, x, y);
            if (pixel == 0xffffff) {
                continue;
            }
            ASSERT_EQ(pixel, 0x000000) << "at " << x << ", " << y;
            ASSERT_TRUE(labelRow && x >= 40) << "ink outside the labels at " << x << ", " << y;
            ++black;
        }
    }
    EXPECT_GT(black, 10000);  // three lines of large text
}

TEST(ProgramRun, SurfaceEndsNearItsRightmostColumn) {
    const NormalRun& run = normalRun();
    ASSERT_EQ(run.bitmap.size(), bitmapSize);
    int rightmost = -1;
    for (int x = imageWidth - 1; x >= 0 && rightmost < 0; --x) {
        for (int y = 192; y < imageHeight; ++y) {
            if (filePixel(run.bitmap, x, y) != 0xffffff) {
                rightmost = x;
                break;
            }
        }
    }
    EXPECT_GE(rightmost, 5918);
    EXPECT_LE(rightmost, 5924);
    // Surface pixels are shades of pure red.
    for (int x = 0; x < imageWidth; x += 7) {
        for (int y = 192; y < imageHeight; y += 5) {
            int pixel = filePixel(run.bitmap, x, y);
            ASSERT_TRUE(pixel == 0xffffff || (pixel & 0x00ffff) == 0) << std::hex << pixel;
        }
    }
}

// Guards the whole picture against regressions (support/testutil.cpp says what vouches for the
// value).
TEST(ProgramRun, GoldenPicture) {
    const NormalRun& run = normalRun();
    EXPECT_EQ(sha256Hex(run.bitmap), goldenPictureSha256);
}

TEST(ProgramFailure, MissingFontPrintsReportAndWritesNoBitmap) {
    TempDir dir;
    RunResult result = runProgram(VEX_PROGRAM_PATH, dir.path);
    EXPECT_EQ(result.exitStatus, 1);
    std::string expectedBanner = programBanner();
    ASSERT_EQ(result.out.compare(0, expectedBanner.size(), expectedBanner), 0);
    std::string rest = result.out.substr(expectedBanner.size());
    std::string message = "vexNIVplot: Cannot open font set.\n";
    ASSERT_EQ(rest.compare(0, message.size(), message), 0) << rest;
    std::string box = rest.substr(message.size() + 1, 8 * 80);
    expectStatisticsBox(box, 0);
    EXPECT_FALSE(fileExists(dir.file(bitmapName)));
    EXPECT_EQ(readFile(dir.file(statisticsName)), box + "\n");
}

TEST(ProgramFailure, NoTimerPrintsItsMessageAndNothingElse) {
    RunFolder folder;
    RunResult result = runProgram(VEX_PROGRAM_NOTIMER_PATH, folder.dir.path);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, programBanner() + "vexNIVplot: Cannot open timer device.\n");
    EXPECT_FALSE(fileExists(folder.dir.file(bitmapName)));
    EXPECT_FALSE(fileExists(folder.dir.file(statisticsName)));
}

#ifdef _WIN32
// Elsewhere test_install installs the program with cmake and runs the installed tree.
TEST(ProgramInstalled, AloneInATreeWithANonAsciiNameItFindsItsFontBesideIt) {
    // The program copied alone (linked statically, it needs no DLL beside it) into bin\ of a tree
    // whose name Windows holds in UTF-16 only, its font in share\vexplot\, run from an empty
    // folder.
    TempDir tree;
    std::filesystem::path root = std::filesystem::u8path(tree.file("B\xc3\xa4ume \xe2\x82\xac"));
    std::filesystem::create_directories(root / "bin");
    std::filesystem::create_directories(root / "share" / "vexplot");
    std::filesystem::copy_file(VEX_PROGRAM_PATH, root / "bin" / "vexplot.exe");
    std::filesystem::copy_file(VEX_FONT_PATH, root / "share" / "vexplot" / "vexMSDOS.fon");
    TempDir empty;
    RunResult run = runProgram((root / "bin" / "vexplot.exe").u8string(), empty.path);
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerThenBox(run.out, 1);
    EXPECT_EQ(folderEntries(empty.path), (std::set<std::string>{bitmapName, statisticsName}));
    EXPECT_EQ(readFile(empty.file(statisticsName)), box + "\n");
    EXPECT_EQ(sha256Hex(readFile(empty.file(bitmapName))), goldenPictureSha256);
}
#endif
