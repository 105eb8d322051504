// Tests of the font generator on good and malformed glyph sources, and of the font the build makes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/testutil.h"

namespace {

RunResult runFontgen(const std::string& source, const std::string& font) {
    const std::vector<std::string> command = commandOf(VEX_FONTGEN_PATH, {source, font});
    return runInChild([&]() {
        execCommand(command);
        return 127;
    });
}

std::string glyphSource(int code, const std::vector<std::string>& rows) {
    std::string text = "glyph " + std::to_string(code) + "\n";
    for (const std::string& row : rows) {
        text += row + "\n";
    }
    return text;
}

const std::vector<std::string> letterA = {"..##....", ".####...", "##..##..", "##..##..",
                                          "######..", "##..##..", "##..##..", "........"};
const std::vector<std::string> diagonal = {"#.......", ".#......", "..#.....", "...#....",
                                           "....#...", ".....#..", "......#.", ".......#"};

// The 64 bytes a glyph's rows should become.
std::string glyphBytes(const std::vector<std::string>& rows) {
    std::string bytes;
    for (const std::string& row : rows) {
        for (char c : row) {
            bytes += c == '#' ? '\1' : '\0';
        }
    }
    return bytes;
}

}  // namespace

TEST(FontGenerator, BuildsTheFontFromAGoodSource) {
    TempDir dir;
    // Comments, blank lines, CRLF line ends, hexadecimal and leading-zero codes, a comment far
    // longer than any line buffer, and a last line without its line end.
    std::string source = "; a test font\n\n" + glyphSource(65, letterA) + "   \r\n;" +
                         std::string(5000, 'x') + "\n" + "glyph 0x42\r\n";
    for (const std::string& row : diagonal) {
        source += row + "\r\n";
    }
    source += "glyph 010\n";
    for (size_t i = 0; i < diagonal.size(); ++i) {
        source += diagonal[7 - i] + (i + 1 < diagonal.size() ? "\n" : "");
    }
    writeFile(dir.file("glyphs.txt"), source);

    RunResult run = runFontgen(dir.file("glyphs.txt"), dir.file("font.fon"));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");

    std::string expected(8192, '\0');
    expected.replace(65 * 64, 64, glyphBytes(letterA));
    expected.replace(0x42 * 64, 64, glyphBytes(diagonal));
    // "010" is ten, not octal eight.
    expected.replace(10 * 64, 64,
                     glyphBytes(std::vector<std::string>(diagonal.rbegin(), diagonal.rend())));
    EXPECT_EQ(readFile(dir.file("font.fon")), expected);
}

TEST(FontGenerator, RejectsMalformedSourcesNamingTheLine) {
    struct Case {
        const char* what;
        std::string source;
        int line;
        const char* reason;
    };
    std::string good = glyphSource(65, letterA);
    std::string shortRow = "; comment\n" + glyphSource(66, letterA);
    shortRow.replace(shortRow.find("##..##..\n"), 9, "##..##.\n");
    std::string badCharacter = good;
    badCharacter.replace(badCharacter.find(".####..."), 8, ".####.o.");
    std::string cutShort = good + "glyph 66\n##......\n#.#.....\n";
    std::string cutByHeader = "glyph 66\n##......\n" + good;
    const std::vector<Case> cases = {
        {"row too short", shortRow, 5, "found \"##..##.\""},
        {"row too long", good + glyphSource(66, {"........."}), 11, "exactly 8 characters"},
        {"bad character", badCharacter, 3, "found \".####.o.\""},
        {"unknown header", good + "\nletter 66\n", 11, "expected \"glyph N\""},
        {"header with trailing text", "glyph 65 A\n", 1, "expected \"glyph N\""},
        {"header without a number", "glyph \n", 1, "expected \"glyph N\""},
        {"code 128", good + glyphSource(128, letterA), 10, "out of range"},
        {"code 0x80", glyphSource(0x80, letterA).replace(6, 3, "0x80"), 1, "out of range"},
        {"huge code", "glyph 99999999999999999999999\n", 1, "out of range"},
        {"duplicate glyph", good + "; again\n" + good, 11,
         "glyph 65 defined twice (first at line 1)"},
        {"cut short at end of file", cutShort, 12, "glyph 66 ends after 2 of 8 rows"},
        {"cut short by the next header", cutByHeader, 3, "found \"glyph 65\""},
        {"line number after a long line", ";" + std::string(3000, '#') + "\nglyph x\n", 2,
         "expected \"glyph N\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::string sourcePath = dir.file("glyphs.txt");
        writeFile(sourcePath, c.source);
        // A font from an earlier build must survive a failed one untouched.
        writeFile(dir.file("font.fon"), "earlier font");
        RunResult run = runFontgen(sourcePath, dir.file("font.fon"));
        EXPECT_EQ(run.signal, 0);
        EXPECT_NE(run.exitStatus, 0);
        std::string where = sourcePath + ":" + std::to_string(c.line) + ": ";
        EXPECT_EQ(run.err.compare(0, where.size(), where), 0) << run.err;
        EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        EXPECT_EQ(readFile(dir.file("font.fon")), "earlier font");
    }
}

TEST(FontGenerator, FailsOnAMissingSourceOrAnUnwritableFont) {
    TempDir dir;
    RunResult missing = runFontgen(dir.file("absent.txt"), dir.file("font.fon"));
    EXPECT_NE(missing.exitStatus, 0);
    EXPECT_NE(missing.err.find(dir.file("absent.txt")), std::string::npos) << missing.err;
    EXPECT_FALSE(fileExists(dir.file("font.fon")));

    writeFile(dir.file("glyphs.txt"), glyphSource(65, letterA));
    RunResult unwritable = runFontgen(dir.file("glyphs.txt"), dir.file("no/such/folder/font.fon"));
    EXPECT_NE(unwritable.exitStatus, 0);
    EXPECT_NE(unwritable.err.find("cannot write font file"), std::string::npos) << unwritable.err;
}

TEST(BuiltFont, HasEveryPrintableGlyphInTheFileFormat) {
    std::string font = readFile(VEX_FONT_PATH);
    ASSERT_EQ(font.size(), 8192u);
    for (size_t i = 0; i < font.size(); ++i) {
        ASSERT_TRUE(font[i] == 0 || font[i] == 1) << "byte " << i;
    }
    EXPECT_EQ(font.substr(32 * 64, 64), std::string(64, '\0')) << "space must be blank";
    for (int code = 33; code <= 126; ++code) {
        EXPECT_NE(font.substr(code * 64, 64), std::string(64, '\0'))
            << "no ink in glyph " << code << " '" << static_cast<char>(code) << "'";
    }
}
