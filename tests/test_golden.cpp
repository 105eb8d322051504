// Golden-image tests: small named pictures drawn on small canvases and compared pixel for pixel
// with the reference images kept in tests/golden/.
//
// Each case compares every pixel exactly (integer rasterisation has no tolerance) with
// tests/golden/<case>.ppm, a binary PPM: a short text header, then red, green, blue bytes from
// the top row down, a layout that shares nothing with the canvas or the bitmap writer and that
// any image viewer opens. On a mismatch the case writes golden-<case>.actual.ppm and
// golden-<case>.diff.ppm (differing pixels magenta, the others dimmed) into its working folder,
// build/<preset>/tests under ctest, and names both in the failure.
//
// To regenerate the references after a deliberate change of the drawing:
//
//     VEX_UPDATE_GOLDEN=1 build/test/tests/test_golden [--gtest_filter=Golden.LinesStar]
//
// Each case then writes its reference instead of comparing and reports itself skipped, never
// passed. Look at every new reference before committing it, for example
// `convert tests/golden/lines_star.ppm /tmp/lines_star.png`. Without the variable a missing
// reference fails its case: a case never passes without having compared.
//
// The canvases are deliberately awkward: odd widths, asymmetric shapes, red ink on blue (so that
// a red/blue exchange shows), and shapes that cross every edge of the canvas.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "raster/raster.h"
#include "raster/raster_internal.h"
#include "support/testutil.h"
#include "view3d/view3d.h"

namespace {

const Color red = 0xff0000;
const Color blue = 0x0000ff;
const Color yellow = 0xffff00;
const Color green = 0x00c000;
const Color white = 0xffffff;
const Color orange = 0xff8000;
const Color black = 0x000000;
const Color magenta = 0xff00ff;

// ---- Pictures and their files -------------------------------------------------------------------

// A picture as a viewer sees it: red, green, blue bytes, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    Color at(int x, int y) const {
        size_t o = (static_cast<size_t>(y) * width + x) * 3;
        return (rgb[o] << 16) | (rgb[o + 1] << 8) | rgb[o + 2];
    }
};

Picture pictureOf(const TestCanvas& canvas) {
    Picture picture;
    picture.width = canvas.width;
    picture.height = canvas.height;
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            Color c = canvas.at(x, y);
            picture.rgb.push_back(static_cast<unsigned char>(c >> 16));
            picture.rgb.push_back(static_cast<unsigned char>(c >> 8));
            picture.rgb.push_back(static_cast<unsigned char>(c));
        }
    }
    return picture;
}

std::string encodePpm(const Picture& picture) {
    std::string file =
        "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
    file.append(picture.rgb.begin(), picture.rgb.end());
    return file;
}

// Reads the header's next decimal field; fields are separated by white space.
bool readHeaderNumber(const std::string& file, size_t* at, int* value) {
    while (*at < file.size() && std::strchr(" \t\r\n", file[*at]) != nullptr) {
        ++*at;
    }
    size_t start = *at;
    long long number = 0;
    while (*at < file.size() && file[*at] >= '0' && file[*at] <= '9' && number < 100000) {
        number = number * 10 + (file[*at] - '0');
        ++*at;
    }
    *value = static_cast<int>(number);
    return *at > start && number < 100000;
}

// Accepts exactly what encodePpm writes (any white space between the header fields); anything
// else is a damaged reference and is reported as such rather than compared.
bool decodePpm(const std::string& file, Picture* picture, std::string* reason) {
    size_t at = 2;
    int maximum = 0;
    if (file.compare(0, 2, "P6") != 0 || !readHeaderNumber(file, &at, &picture->width) ||
        !readHeaderNumber(file, &at, &picture->height) || !readHeaderNumber(file, &at, &maximum) ||
        maximum != 255 || at >= file.size() || picture->width <= 0 || picture->height <= 0) {
        *reason = "not a binary PPM with 8-bit channels";
        return false;
    }
    ++at;  // the single white-space byte that ends the header
    size_t size = static_cast<size_t>(picture->width) * picture->height * 3;
    if (file.size() - at != size) {
        *reason = "holds " + std::to_string(file.size() - at) + " pixel bytes instead of " +
                  std::to_string(size);
        return false;
    }
    picture->rgb.assign(file.begin() + static_cast<long>(at), file.end());
    return true;
}

unsigned int littleEndian(const std::string& file, size_t at, int bytes) {
    unsigned int value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(file[at + i]);
    }
    return value;
}

// Reads an uncompressed 24-bit bitmap as any viewer would: rows padded to four bytes, bottom
// row first for a positive height, blue-green-red pixels. The file must end with its last row.
bool decodeBitmap(const std::string& file, Picture* picture, std::string* reason) {
    if (file.size() < 54 || file.compare(0, 2, "BM") != 0) {
        *reason = "not a bitmap file";
        return false;
    }
    size_t pixelsAt = littleEndian(file, 10, 4);
    int width = static_cast<int>(littleEndian(file, 18, 4));
    int height = static_cast<int>(littleEndian(file, 22, 4));
    if (littleEndian(file, 28, 2) != 24 || littleEndian(file, 30, 4) != 0 || width <= 0 ||
        width > 100000 || height == 0 || height > 100000 || height < -100000) {
        *reason = "not an uncompressed 24-bit bitmap of a sensible size";
        return false;
    }
    int rows = height < 0 ? -height : height;
    size_t stride = (static_cast<size_t>(width) * 3 + 3) / 4 * 4;
    if (file.size() != pixelsAt + stride * rows) {
        *reason = "is " + std::to_string(file.size()) + " bytes long, its header promises " +
                  std::to_string(pixelsAt + stride * rows);
        return false;
    }
    picture->width = width;
    picture->height = rows;
    picture->rgb.clear();
    for (int y = 0; y < rows; ++y) {
        size_t row = pixelsAt + stride * static_cast<size_t>(height > 0 ? rows - 1 - y : y);
        for (int x = 0; x < width; ++x) {
            size_t o = row + static_cast<size_t>(x) * 3;
            picture->rgb.push_back(static_cast<unsigned char>(file[o + 2]));
            picture->rgb.push_back(static_cast<unsigned char>(file[o + 1]));
            picture->rgb.push_back(static_cast<unsigned char>(file[o]));
        }
    }
    return true;
}

// Differing pixels in magenta, the rest at a third of their brightness.
Picture diffPicture(const Picture& expected, const Picture& actual) {
    Picture diff = actual;
    for (size_t i = 0; i < diff.rgb.size(); i += 3) {
        bool differs = std::memcmp(&expected.rgb[i], &actual.rgb[i], 3) != 0;
        for (int c = 0; c < 3; ++c) {
            diff.rgb[i + c] = differs ? static_cast<unsigned char>(magenta >> (16 - 8 * c))
                                      : static_cast<unsigned char>(actual.rgb[i + c] / 3);
        }
    }
    return diff;
}

std::string hexColour(Color c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", static_cast<unsigned int>(c) & 0xffffff);
    return text;
}

std::string workingFolder() {
    std::vector<char> path(4096);
    return getcwd(path.data(), path.size()) != nullptr ? std::string(path.data()) : ".";
}

// ---- Comparison ---------------------------------------------------------------------------------

enum class GoldenOutcome { matched, written, failed };

// Compares a picture with <referenceFolder>/<name>.ppm, or with `update` writes that reference
// instead. Mismatches are reported as test failures; the actual picture and the diff then go to
// `outputFolder`, and an earlier run's leftovers there are removed once the case matches.
GoldenOutcome compareWithReference(const std::string& referenceFolder,
                                   const std::string& outputFolder, const std::string& name,
                                   const Picture& actual, bool update) {
    std::string reference = referenceFolder + "/" + name + ".ppm";
    std::string actualPath = outputFolder + "/golden-" + name + ".actual.ppm";
    std::string diffPath = outputFolder + "/golden-" + name + ".diff.ppm";

    // A picture of one colour cannot show what any case is about: drawing failed altogether,
    // and such a picture must not become a reference either.
    bool uniform = true;
    for (size_t i = 3; i < actual.rgb.size() && uniform; ++i) {
        uniform = actual.rgb[i] == actual.rgb[i % 3];
    }
    if (uniform) {
        ADD_FAILURE() << "case " << name << " drew a picture of a single colour";
        return GoldenOutcome::failed;
    }
    if (update) {
        writeFile(reference, encodePpm(actual));
        return GoldenOutcome::written;
    }
    if (!fileExists(reference)) {
        ADD_FAILURE() << "no reference image " << reference
                      << "; run with VEX_UPDATE_GOLDEN=1 to create it, and look at it before "
                         "committing it";
        return GoldenOutcome::failed;
    }
    Picture expected;
    std::string reason;
    if (!decodePpm(readFile(reference), &expected, &reason)) {
        ADD_FAILURE() << "reference image " << reference << " is damaged: " << reason;
        return GoldenOutcome::failed;
    }
    if (expected.width != actual.width || expected.height != actual.height) {
        writeFile(actualPath, encodePpm(actual));
        ADD_FAILURE() << "case " << name << " drew " << actual.width << " x " << actual.height
                      << " pixels, the reference " << reference << " has " << expected.width
                      << " x " << expected.height << "; actual picture: " << actualPath;
        return GoldenOutcome::failed;
    }
    int differing = 0;
    int firstX = 0;
    int firstY = 0;
    for (int y = 0; y < actual.height; ++y) {
        for (int x = 0; x < actual.width; ++x) {
            if (actual.at(x, y) != expected.at(x, y) && differing++ == 0) {
                firstX = x;
                firstY = y;
            }
        }
    }
    if (differing == 0) {
        std::remove(actualPath.c_str());
        std::remove(diffPath.c_str());
        return GoldenOutcome::matched;
    }
    writeFile(actualPath, encodePpm(actual));
    writeFile(diffPath, encodePpm(diffPicture(expected, actual)));
    ADD_FAILURE() << "case " << name << ": " << differing << " of " << actual.width * actual.height
                  << " pixels differ from " << reference << "; the first at (" << firstX << ", "
                  << firstY << ") is " << hexColour(actual.at(firstX, firstY)) << ", expected "
                  << hexColour(expected.at(firstX, firstY)) << "\n  actual picture: " << actualPath
                  << "\n  differences (magenta): " << diffPath;
    return GoldenOutcome::failed;
}

bool updatingReferences() {
    const char* flag = std::getenv("VEX_UPDATE_GOLDEN");
    return flag != nullptr && std::strcmp(flag, "1") == 0;
}

void checkGolden(const std::string& name, const Picture& picture) {
    bool update = updatingReferences();
    if (compareWithReference(VEX_GOLDEN_DIR, workingFolder(), name, picture, update) ==
        GoldenOutcome::written) {
        GTEST_SKIP() << "VEX_UPDATE_GOLDEN=1: wrote the reference " << VEX_GOLDEN_DIR << "/" << name
                     << ".ppm instead of comparing; look at it before committing it";
    }
}

// ---- Drawing helpers ----------------------------------------------------------------------------

void fillPolygon(Color colour, std::initializer_list<PolygonVertex> vertices) {
    vexRaster_SetColor(colour);
    bool first = true;
    for (const PolygonVertex& v : vertices) {
        if (first) {
            vexRaster_PolygonBegin(v.x, v.y);
        } else {
            vexRaster_PolygonAddVertex(v.x, v.y);
        }
        first = false;
    }
    vexRaster_PolygonFill();
}

}  // namespace

// ---- Cases --------------------------------------------------------------------------------------

// Red lines from the centre of an odd-width canvas to points beyond every edge and corner, at
// shallow and steep slopes, all through the clipped walk; yellow lines wholly on the canvas in
// every octant, through the fast runs, some ending exactly on the edge pixels.
TEST(Golden, LinesStar) {
    TestCanvas canvas(63, 47, blue, red);
    const PolygonVertex beyond[] = {{-20, 23}, {-15, -30}, {10, -9},  {31, -12}, {55, -25},
                                    {80, -3},  {90, 23},   {75, 40},  {100, 70}, {40, 60},
                                    {31, 52},  {0, 90},    {-40, 50}, {-7, 30}};
    for (const PolygonVertex& p : beyond) {
        vexRaster_DrawLine(canvas.width / 2, canvas.height / 2, p.x, p.y);
    }
    vexRaster_SetColor(yellow);
    const PolygonVertex inside[] = {{62, 46}, {62, 38}, {62, 31}, {55, 46}, {51, 46}, {47, 46},
                                    {41, 46}, {40, 41}, {41, 34}, {44, 31}, {49, 28}, {53, 27}};
    for (const PolygonVertex& p : inside) {
        vexRaster_DrawLine(51, 38, p.x, p.y);
    }
    vexRaster_DrawLine(0, 0, 0, 8);    // along the left edge
    vexRaster_DrawLine(62, 0, 54, 0);  // along the top edge, drawn right to left
    // Lines that must leave no trace: both ends beyond the same edge, and one that passes the
    // edge tests but grazes the corner outside the canvas.
    vexRaster_DrawLine(-5, -5, -1, 40);
    vexRaster_DrawLine(10, 47, 50, 60);
    vexRaster_DrawLine(-10, 5, 5, -10);
    checkGolden("lines_star", pictureOf(canvas));
}

// Filled triangles: one across each corner of the canvas, one wholly left and one wholly right
// of it (which still paint the single edge column on each row they span), two triangles each
// given in both windings (a crossing is measured from the edge's first vertex and halves round
// away from zero, so the two windings can differ by a pixel), a triangle collapsed onto one
// column and one collapsed onto one row, which paints nothing.
TEST(Golden, FillTriangles) {
    TestCanvas canvas(71, 53, blue, red);
    fillPolygon(white, {{-8, -6}, {11, -3}, {-4, 12}});     // top and left edges
    fillPolygon(yellow, {{58, -7}, {78, 2}, {64, 11}});     // top and right edges
    fillPolygon(green, {{60, 40}, {80, 46}, {56, 60}});     // right and bottom edges
    fillPolygon(orange, {{-5, 42}, {13, 47}, {2, 62}});     // bottom and left edges
    fillPolygon(red, {{16, 12}, {33, 17}, {21, 31}});       // asymmetric, on the canvas
    fillPolygon(yellow, {{-12, 30}, {-4, 30}, {-12, 35}});  // wholly left: column 0 only
    fillPolygon(green, {{76, 16}, {85, 18}, {78, 23}});     // wholly right: the last column only
    fillPolygon(white, {{36, 14}, {39, 26}, {33, 26}});     // edges of slope 1/4: half-pixel
    fillPolygon(white, {{48, 14}, {45, 26}, {51, 26}});     // crossings, in both windings
    fillPolygon(red, {{24, 36}, {33, 39}, {27, 45}});       // one winding
    fillPolygon(red, {{38, 36}, {41, 45}, {47, 39}});       // the other, shifted
    fillPolygon(orange, {{64, 26}, {64, 34}, {64, 30}});    // a single column
    fillPolygon(orange, {{44, 4}, {54, 4}, {49, 4}});       // a single row: nothing at all
    checkGolden("fill_triangles", pictureOf(canvas));
}

// Shaded cells under a prism of their own (the program's azimuth, a steeper elevation so that
// every cell shows), one flag combination per cell: the program's own filled cell, a folded
// cell whose near half turns from the light and is culled, a blue outline over the triangles,
// the corners in the opposite order with a narrower shade range, triangles drawn as outlines
// only, a reversed cell that culling removes entirely, the red outline alone, and a folded cell
// whose two halves shade apart.
TEST(Golden, ShadedCells) {
    TestCanvas canvas(97, 73, 0x303030, red);
    ASSERT_EQ(
        vex3D_InitializePrism(-0.2, -1.0, -1.0, 3.8, 3.0, 1.5, 0, 20.0, 240.0, 60.0, -300.0, 500.0),
        1);
    // A cell of 0.8 x 0.8 at (x, y), corners counter-clockwise from above as the program orders
    // them, each with its height. The gaps between cells keep every flag's effect apart.
    auto cell = [](double x, double y, double h0, double h1, double h2, double h3) {
        return std::vector<Point3>{
            {x, y, h0}, {x + 0.8, y, h1}, {x + 0.8, y + 0.8, h2}, {x, y + 0.8, h3}};
    };
    // Painted from back to front as the program sweeps: x outermost.
    std::vector<Point3> c;
    c = cell(0, 0, 0.2, 0.2, 0.2, 0.2);  // flat: both halves take one shade
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 0, 0, 0, 0, 255, 0);
    c = cell(0, 1, 0.2, 0.2, 1.4, 0.2);  // near half turned from the light: culled
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 0, 0, 1, 0, 255, 0);
    c = cell(1, 0, 0.1, 0.3, 0.3, 0.1);  // a blue outline over the triangles
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 1, 0, 0, 0, 255, 0);
    c = cell(1, 1, 0.3, 0.2, 0.1, 0.2);  // corners reversed, shades 60 to 200
    vex3D_DrawShadedQuad(c[0], c[3], c[2], c[1], 0, 0, 0, 60, 200, 0);
    c = cell(2, 0, 0.3, 0.1, 0.4, 0.2);  // triangles as outlines only
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 0, 0, 0, 0, 255, 1);
    c = cell(2, 1, 0.3, 0.3, 0.3, 0.3);  // reversed and culled: nothing at all
    vex3D_DrawShadedQuad(c[0], c[3], c[2], c[1], 1, 0, 1, 0, 255, 0);
    c = cell(3, 0, 0.0, 0.3, 0.3, 0.0);  // the red outline alone, with the caller's pen
    vexRaster_SetPenSize(0);
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 1, 1, 0, 0, 255, 0);
    c = cell(3, 1, 0.0, 0.0, 0.5, 0.1);  // folded, not culled: the halves shade apart
    vex3D_DrawShadedQuad(c[0], c[1], c[2], c[3], 0, 0, 0, 0, 255, 0);
    checkGolden("shaded_cells", pictureOf(canvas));
}

// Text at scales 1, 2 and 3 on blue, opaque and transparent, in letters that show any flip or
// mirror of a glyph, a negative number, and strings cut by each of the four canvas edges.
TEST(Golden, TextScales) {
    TestCanvas canvas(101, 67, blue, red);
    ASSERT_EQ(vexText_LoadFont(VEX_FONT_PATH), 1);
    vexText_SetOpaque(1);
    vexText_SetScale(1);
    vexText_SetForeground(yellow);
    vexText_SetBackground(black);
    vexText_DrawString(2, 10, "Rg4J");
    vexText_DrawNumber(38, 10, -45);
    vexText_SetOpaque(0);
    vexText_SetForeground(red);
    vexText_DrawString(2, 20, "red/blue");
    vexText_SetScale(2);
    vexText_SetOpaque(1);
    vexText_SetForeground(red);
    vexText_SetBackground(white);
    vexText_DrawString(2, 30, "Fq");
    vexText_SetOpaque(0);
    vexText_SetForeground(white);
    vexText_DrawString(38, 30, "P7");
    vexText_DrawString(75, -7, "Zk");  // cut by the top and right edges
    vexText_SetScale(3);
    vexText_SetForeground(red);
    vexText_DrawString(-4, 47, "Lb");  // cut by the left and bottom edges
    vexText_SetOpaque(1);
    vexText_SetForeground(green);
    vexText_SetBackground(black);
    vexText_DrawString(74, 49, "Q");  // opaque, cut by the bottom edge
    checkGolden("text_scales", pictureOf(canvas));
}

// The demonstration tool's own picture, as it writes it: drawn by the tool in a folder of its
// own with the real font, saved through the bitmap writer and read back as a viewer reads it.
TEST(Golden, Demo) {
    TempDir dir;
    writeFile(dir.file("vexMSDOS.fon"), readFile(VEX_FONT_PATH));
    RunResult run = runProgram(VEX_DEMO_PATH, dir.path);
    ASSERT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "vexdemo: wrote vexdemo.bmp, 320 x 203 pixels\n");
    EXPECT_EQ(run.err, "");
    Picture picture;
    std::string reason;
    ASSERT_TRUE(decodeBitmap(readFile(dir.file("vexdemo.bmp")), &picture, &reason))
        << "vexdemo.bmp " << reason;
    checkGolden("demo", picture);
}

// ---- The demonstration tool's failures ----------------------------------------------------------

TEST(DemoTool, MissingFontFailsWithoutAPicture) {
    TempDir dir;
    RunResult run = runProgram(VEX_DEMO_PATH, dir.path);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "vexdemo: cannot open the font file vexMSDOS.fon\n");
    EXPECT_EQ(folderEntries(dir.path), std::set<std::string>{});
}

// A folder in the picture's place cannot be replaced by a file: the save fails, and the tool
// must say so instead of reporting the picture written.
TEST(DemoTool, FailedSaveIsReported) {
    TempDir dir;
    writeFile(dir.file("vexMSDOS.fon"), readFile(VEX_FONT_PATH));
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("vexdemo.bmp")));
    RunResult run = runProgram(VEX_DEMO_PATH, dir.path);
    EXPECT_NE(run.exitStatus, 0);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vexdemo: cannot write vexdemo.bmp\n");
    EXPECT_EQ(folderEntries(dir.path), (std::set<std::string>{"vexMSDOS.fon", "vexdemo.bmp"}));
}

// ---- The comparison itself ----------------------------------------------------------------------
// These guard the promise that a case never passes without having compared.

class GoldenCheck : public testing::Test {
  protected:
    GoldenCheck() {
        picture.width = 5;
        picture.height = 3;
        for (int i = 0; i < 15; ++i) {
            Color c = i == 7 ? orange : blue;
            picture.rgb.insert(picture.rgb.end(),
                               {static_cast<unsigned char>(c >> 16),
                                static_cast<unsigned char>(c >> 8), static_cast<unsigned char>(c)});
        }
    }
    GoldenOutcome compare(const Picture& p, bool update) {
        return compareWithReference(references.path, output.path, "sample", p, update);
    }
    TempDir references;
    TempDir output;
    Picture picture;
};

TEST_F(GoldenCheck, MissingReferenceFails) {
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(compare(picture, false), GoldenOutcome::failed),
                            "no reference image");
    EXPECT_EQ(folderEntries(references.path), std::set<std::string>{});
}

TEST_F(GoldenCheck, UpdateWritesAReferenceThatThenMatches) {
    EXPECT_EQ(compare(picture, true), GoldenOutcome::written);
    EXPECT_EQ(readFile(references.file("sample.ppm")),
              "P6\n5 3\n255\n" + std::string(picture.rgb.begin(), picture.rgb.end()));
    EXPECT_EQ(compare(picture, false), GoldenOutcome::matched);
    EXPECT_EQ(folderEntries(output.path), std::set<std::string>{});
}

// A single pixel whose red and blue are exchanged fails, and the diff marks that pixel alone.
TEST_F(GoldenCheck, OneSwappedPixelFailsAndIsMarked) {
    ASSERT_EQ(compare(picture, true), GoldenOutcome::written);
    Picture changed = picture;
    std::swap(changed.rgb[7 * 3], changed.rgb[7 * 3 + 2]);
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(compare(changed, false), GoldenOutcome::failed),
                            "1 of 15 pixels differ");
    Picture diff;
    std::string reason;
    ASSERT_TRUE(decodePpm(readFile(output.file("golden-sample.diff.ppm")), &diff, &reason))
        << reason;
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(diff.at(i % 5, i / 5), i == 7 ? magenta : blue / 3) << "pixel " << i;
    }
    Picture actual;
    ASSERT_TRUE(decodePpm(readFile(output.file("golden-sample.actual.ppm")), &actual, &reason))
        << reason;
    EXPECT_EQ(actual.rgb, changed.rgb);
}

TEST_F(GoldenCheck, DifferentSizeFails) {
    ASSERT_EQ(compare(picture, true), GoldenOutcome::written);
    Picture wider = picture;
    wider.width = 3;
    wider.height = 5;
    EXPECT_NONFATAL_FAILURE(compare(wider, false), "drew 3 x 5 pixels");
}

TEST_F(GoldenCheck, DamagedReferenceFails) {
    writeFile(references.file("sample.ppm"), "P6\n5 3\n255\nshort");
    EXPECT_NONFATAL_FAILURE(compare(picture, false), "is damaged");
}

TEST_F(GoldenCheck, SingleColourPictureIsNeitherComparedNorWritten) {
    Picture flat = picture;
    std::fill(flat.rgb.begin(), flat.rgb.end(), 0x40);
    EXPECT_NONFATAL_FAILURE(compare(flat, true), "single colour");
    EXPECT_EQ(folderEntries(references.path), std::set<std::string>{});
}
