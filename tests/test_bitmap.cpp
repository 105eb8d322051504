// Tests of the bitmap writer: the header byte for byte, the pixel rows in the file, replacing an
// older file, the fast save against the literal one, and failures that must leave neither a
// broken picture nor a stray file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "output/output.h"
#include "output/output_internal.h"
#include "raster/raster.h"
#include "support/testutil.h"

namespace {

std::string headerFor(int width, int height) {
    unsigned char bytes[56];
    EXPECT_EQ(vexBitmap_BuildHeader(width, height, bytes), 56);
    return std::string(reinterpret_cast<char*>(bytes), 56);
}

// The file a canvas should give, worked out pixel by pixel from the picture: rows from the
// bottom of the picture up, each pixel blue, green, red, each row padded to four bytes.
std::string expectedFile(const TestCanvas& canvas) {
    std::string file = headerFor(canvas.width, canvas.height);
    for (int y = canvas.height - 1; y >= 0; --y) {
        for (int x = 0; x < canvas.width; ++x) {
            Color c = canvas.at(x, y);
            file += static_cast<char>(c & 0xff);
            file += static_cast<char>((c >> 8) & 0xff);
            file += static_cast<char>((c >> 16) & 0xff);
        }
        file += std::string((4 - canvas.width * 3 % 4) % 4, '\0');
    }
    return file;
}

// An asymmetric picture on an odd number of rows: red top left, blue bottom right, a green
// pixel one in from the left on the middle row.
void drawMarkers(TestCanvas& canvas) {
    vexRaster_SetColor(0xff0000);
    vexRaster_Plot(0, 0);
    vexRaster_SetColor(0x0000ff);
    vexRaster_Plot(canvas.width - 1, canvas.height - 1);
    vexRaster_SetColor(0x00ff00);
    vexRaster_Plot(1, canvas.height / 2);
}

long long fileSize(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

}  // namespace

// ---- Header -------------------------------------------------------------------------------------

TEST(BitmapHeader, ProgramSizeByteForByte) {
    const unsigned char programHeader[38] = {
        0x42, 0x4D, 0x38, 0x5C, 0x26, 0x05, 0x00, 0x00, 0x00, 0x00, 0x38, 0x00, 0x00,
        0x00, 0x28, 0x00, 0x00, 0x00, 0x70, 0x17, 0x00, 0x00, 0xC0, 0x12, 0x00, 0x00,
        0x01, 0x00, 0x18, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x5C, 0x26, 0x05};
    std::string expected(reinterpret_cast<const char*>(programHeader), 38);
    expected += std::string(18, '\0');
    bitmapHeaderSize = 0;
    EXPECT_EQ(headerFor(6000, 4800), expected);
    EXPECT_EQ(bitmapHeaderSize, 56);
}

TEST(BitmapHeader, SizeQueryOnlySetsTheHeaderSize) {
    bitmapHeaderSize = 0;
    EXPECT_EQ(vexBitmap_BuildHeader(6000, 4800, nullptr), 56);
    EXPECT_EQ(bitmapHeaderSize, 56);
}

TEST(BitmapHeader, NegativeHeightCountsItsMagnitudeInTheImageSize) {
    std::string header = headerFor(4, -3);
    EXPECT_EQ(header.substr(2, 4), std::string("\x5c\x00\x00\x00", 4));  // 56 + 36
    EXPECT_EQ(header.substr(22, 4), std::string("\xfd\xff\xff\xff", 4));
    EXPECT_EQ(header.substr(34, 4), std::string("\x24\x00\x00\x00", 4));
}

TEST(BitmapHeader, RowsArePaddedToFourBytesInTheSizes) {
    // 5 pixels make 15 bytes, padded to 16 in the file: 48 bytes of image for 3 rows.
    std::string header = headerFor(5, 3);
    EXPECT_EQ(header.substr(2, 4), std::string("\x68\x00\x00\x00", 4));  // 56 + 48
    EXPECT_EQ(header.substr(34, 4), std::string("\x30\x00\x00\x00", 4));
    EXPECT_EQ(headerFor(6, 1).substr(34, 4), std::string("\x14\x00\x00\x00", 4));  // 18 -> 20
}

// ---- Saving -------------------------------------------------------------------------------------

TEST(BitmapSave, RowsBottomUpPixelsBlueGreenRed) {
    TempDir dir;
    TestCanvas canvas(4, 3);
    drawMarkers(canvas);
    std::string expected = expectedFile(canvas);

    EXPECT_EQ(vexBitmap_Save(dir.file("small").c_str(), 4, 3, 24, canvas.bytes.data()), 0);
    std::string file = readFile(dir.file("small.bmp"));
    ASSERT_EQ(file.size(), 56u + 36u);
    EXPECT_EQ(file, expected);
    // Canvas row 0 is the last row of the file: its red pixel comes first there, as 00 00 FF.
    EXPECT_EQ(file.substr(56 + 24, 3), std::string("\x00\x00\xff", 3));
    // The canvas is left converted.
    EXPECT_EQ(canvas.at(0, 0), 0x0000ff);
}

TEST(BitmapSave, OddWidthRowsArePaddedWithZeros) {
    // Without the padding a reader takes each row from the wrong place and the file is short.
    TempDir dir;
    for (int width : {1, 2, 3, 5, 7}) {
        TestCanvas canvas(width, 3);
        drawMarkers(canvas);
        std::string expected = expectedFile(canvas);
        std::string base = dir.file("odd" + std::to_string(width));
        EXPECT_EQ(vexBitmap_Save(base.c_str(), width, 3, 24, canvas.bytes.data()), 0);
        std::string file = readFile(base + ".bmp");
        EXPECT_EQ(file.size(), 56u + 3u * ((width * 3 + 3) / 4 * 4)) << width;
        EXPECT_EQ(file, expected) << width;
    }
}

TEST(BitmapSave, ManyPaddedRowsGoOutInSeveralBatches) {
    // 1500 padded rows need more pieces than one system call takes.
    TempDir dir;
    TestCanvas canvas(5, 1500, 0x102030);
    drawMarkers(canvas);
    std::string expected = expectedFile(canvas);
    EXPECT_EQ(vexBitmap_Save(dir.file("tall").c_str(), 5, 1500, 24, canvas.bytes.data()), 0);
    EXPECT_EQ(readFile(dir.file("tall.bmp")), expected);
}

TEST(BitmapSave, FastSaveWritesTheSameFileAndLeavesTheSameCanvas) {
    TempDir dir;
    const int sizes[][2] = {{4, 3}, {5, 3}, {7, 2}, {1001, 37}};
    for (const auto& size : sizes) {
        int width = size[0], height = size[1];
        TestCanvas literal(width, height, 0x3c5a78);
        drawMarkers(literal);
        const std::vector<unsigned char> drawn = literal.bytes;
        std::string literalBase = dir.file("literal");
        ASSERT_EQ(vexBitmap_Save(literalBase.c_str(), width, height, 24, literal.bytes.data()), 0);
        std::string expected = readFile(literalBase + ".bmp");
        ASSERT_EQ(expected.size(), 56u + height * ((width * 3 + 3) / 4 * 4));
        for (int threads : {1, 2, 3}) {
            SCOPED_TRACE(::testing::Message()
                         << width << " x " << height << ", " << threads << " threads");
            std::vector<unsigned char> fast = drawn;
            vexRaster_Initialize(width, height, fast.data());
            std::string base = dir.file("fast" + std::to_string(threads));
            EXPECT_EQ(vexBitmap_SaveFast(base.c_str(), width, height, 24, fast.data(), threads), 0);
            EXPECT_TRUE(readFile(base + ".bmp") == expected);
            EXPECT_TRUE(fast == literal.bytes);
        }
    }
}

#ifndef _WIN32
// POSIX only: permission bits, the process's mask and hard links.
TEST(BitmapSave, NewPictureHasOrdinaryPermissionsAReplacedOneKeepsTheOlderFiles) {
    TestCanvas canvas(4, 3);
    drawMarkers(canvas);
    std::string expected = expectedFile(canvas);
    auto permissionsOf = [](const std::string& name) {
        struct stat info;
        return stat(name.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
    };

    // With no older file the picture is readable by others like any file made under the mask.
    {
        TempDir dir;
        mode_t mask = umask(022);
        EXPECT_EQ(vexBitmap_Save(dir.file("picture").c_str(), 4, 3, 24, canvas.bytes.data()), 0);
        umask(mask);
        vexRaster_SwapRedBlue(canvas.bytes.data());  // back to the canvas's own order
        EXPECT_EQ(readFile(dir.file("picture.bmp")), expected);
        EXPECT_EQ(permissionsOf(dir.file("picture.bmp")), 0644);
    }
    // A private or read-only older picture keeps its bits, whatever the mask. The name is
    // replaced, not the older file rewritten: another name for the older file keeps its bytes.
    for (int older : {0600, 0444, 0666}) {
        SCOPED_TRACE(older);
        TempDir dir;
        std::string name = dir.file("picture.bmp");
        writeFile(name, std::string(10000, 'x'));
        ASSERT_EQ(chmod(name.c_str(), static_cast<mode_t>(older)), 0);
        ASSERT_EQ(link(name.c_str(), dir.file("kept").c_str()), 0);
        mode_t mask = umask(077);
        EXPECT_EQ(vexBitmap_Save(dir.file("picture").c_str(), 4, 3, 24, canvas.bytes.data()), 0);
        umask(mask);
        vexRaster_SwapRedBlue(canvas.bytes.data());
        EXPECT_EQ(readFile(name), expected);
        EXPECT_EQ(permissionsOf(name), older);
        EXPECT_EQ(readFile(dir.file("kept")), std::string(10000, 'x'));
        EXPECT_EQ(folderEntries(dir.path), (std::set<std::string>{"picture.bmp", "kept"}));
    }
}
#endif

TEST(BitmapSave, BitsPerPixelArgumentChangesNothing) {
    TempDir dir;
    std::vector<std::string> files;
    for (int bits : {24, 8, 32, 0}) {
        TestCanvas canvas(4, 3);
        drawMarkers(canvas);
        std::string base = dir.file("bits" + std::to_string(bits));
        EXPECT_EQ(vexBitmap_Save(base.c_str(), 4, 3, bits, canvas.bytes.data()), 0);
        files.push_back(readFile(base + ".bmp"));
    }
    EXPECT_EQ(files[0].size(), 92u);
    for (size_t i = 1; i < files.size(); ++i) {
        EXPECT_EQ(files[i], files[0]);
    }
}

TEST(BitmapSave, LongestBaseNameFitsAndOneMoreIsRefused) {
    // The file name buffer holds 255 characters: a base name of 251 plus ".bmp".
    TempDir dir;
    std::string prefix = dir.path + "/";
    std::string fits = prefix + std::string(251 - prefix.size(), 'n');
    std::string tooLong = prefix + std::string(252 - prefix.size(), 'l');
    TestCanvas canvas(4, 1);
    vexBitmap_BuildHeader(4, 1, nullptr);
    unsigned char header[56];
    vexBitmap_BuildHeader(4, 1, header);

    EXPECT_EQ(vexBitmap_WriteFile(fits.c_str(), header, canvas.bytes.data()), 0);
    EXPECT_EQ(fileSize(fits + ".bmp"), 56 + 12);
    EXPECT_EQ(vexBitmap_WriteFile(tooLong.c_str(), header, canvas.bytes.data()), -1);
    EXPECT_EQ(vexBitmap_Save(tooLong.c_str(), 4, 1, 24, canvas.bytes.data()), -1);
    EXPECT_EQ(folderEntries(dir.path).size(), 1u);
}

// ---- Failures -----------------------------------------------------------------------------------

TEST(BitmapFailure, FolderInTheWayLeavesNoTemporaryFile) {
    TempDir dir;
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("taken.bmp")));
    TestCanvas canvas(4, 3);
    EXPECT_EQ(vexBitmap_Save(dir.file("taken").c_str(), 4, 3, 24, canvas.bytes.data()), -1);
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"taken.bmp"});
    EXPECT_TRUE(folderEntries(dir.file("taken.bmp")).empty());

    EXPECT_EQ(vexBitmap_Save(dir.file("missing/folder").c_str(), 4, 3, 24, canvas.bytes.data()),
              -1);
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"taken.bmp"});

    EXPECT_EQ(vexBitmap_SaveFast(dir.file("taken").c_str(), 4, 3, 24, canvas.bytes.data(), 2), -1);
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"taken.bmp"});
    EXPECT_TRUE(folderEntries(dir.file("taken.bmp")).empty());
}

#ifndef _WIN32
// POSIX only: the write is cut off by a file-size limit, which Windows does not have.
TEST(BitmapFailure, FailedWriteKeepsTheOlderFile) {
    // The write is cut off by a file-size limit in a child process; the picture there before
    // must come through byte for byte, and nothing else may be left in the folder.
    TempDir dir;
    std::string base = dir.file("kept");
    std::string older;
    {
        TestCanvas canvas(8, 4, 0x00ff00);
        drawMarkers(canvas);
        ASSERT_EQ(vexBitmap_Save(base.c_str(), 8, 4, 24, canvas.bytes.data()), 0);
        older = readFile(base + ".bmp");
    }
    ASSERT_EQ(older.size(), 56u + 96u);

    RunLimits limits;
    limits.fileSize = 1000;
    RunResult child = runInChild(
        [&] {
            TestCanvas canvas(40, 30, 0x0000ff);
            return vexBitmap_Save(base.c_str(), 40, 30, 24, canvas.bytes.data()) == -1 ? 0 : 1;
        },
        "", limits);
    EXPECT_EQ(child.signal, 0);
    EXPECT_EQ(child.exitStatus, 0) << "the cut-off write was reported as a success";
    EXPECT_EQ(readFile(base + ".bmp"), older);
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{"kept.bmp"});
}
#endif
