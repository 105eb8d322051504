// The installed program: what `cmake --install` puts under a prefix, and the installed program
// run from folders without a font, finding its own beside it.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/testutil.h"

namespace {

typedef std::set<std::string> Names;

// One install of this build into a fresh prefix, shared by the tests of this program.
struct Installed {
    Installed() {
        // CMake is the host's program, never the emulator's.
        result =
            runCommand({VEX_CMAKE_PATH, "--install", VEX_BUILD_DIR, "--prefix", prefix.path}, "");
        program = prefix.file("bin/vexplot");
    }
    TempDir prefix;
    RunResult result;
    std::string program;
};

const Installed& installed() {
    static const Installed tree;
    return tree;
}

// Every file under the folder, by its path from there.
Names filesUnder(const std::string& root) {
    Names files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) {
            files.insert(std::filesystem::relative(entry.path(), root).string());
        }
    }
    return files;
}

}  // namespace

TEST(Install, PutsTheProgramItsFontAndItsDocumentsUnderThePrefix) {
    const Installed& tree = installed();
    ASSERT_EQ(tree.result.exitStatus, 0) << tree.result.out << tree.result.err;
    EXPECT_EQ(filesUnder(tree.prefix.path),
              Names({"bin/vexplot", "share/vexplot/vexMSDOS.fon", "share/doc/vexplot/README.md",
                     "share/doc/vexplot/LICENSE"}));
    EXPECT_TRUE(readFile(tree.prefix.file("share/vexplot/vexMSDOS.fon")) ==
                readFile(VEX_FONT_PATH));
    EXPECT_EQ(readFile(tree.prefix.file("share/doc/vexplot/LICENSE")),
              readFile(VEX_SOURCE_DIR "/LICENSE"));

    TempDir elsewhere;
    RunResult version = runProgramWith(tree.program, {"--version"}, elsewhere.path);
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out, std::string("vexplot ") + VEX_VERSION + "\n");
    EXPECT_TRUE(folderEntries(elsewhere.path).empty());
}

TEST(Install, RendersFromAnEmptyFolderWithTheInstalledFont) {
    const Installed& tree = installed();
    ASSERT_EQ(tree.result.exitStatus, 0) << tree.result.out << tree.result.err;
    TempDir empty;
    RunResult run = runProgram(tree.program, empty.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerThenBox(run.out, 1);
    EXPECT_EQ(folderEntries(empty.path), Names({programBitmapName, programStatisticsName}));
    EXPECT_EQ(readFile(empty.file(programStatisticsName)), box + "\n");
    EXPECT_EQ(sha256Hex(readFile(empty.file(programBitmapName))), goldenPictureSha256);
}

TEST(Install, AFontInTheWorkingFolderComesFirstEvenOneThatCannotBeRead) {
    const Installed& tree = installed();
    ASSERT_EQ(tree.result.exitStatus, 0) << tree.result.out << tree.result.err;
    // A folder in the font's place: the run takes it and fails on it, as without the install,
    // rather than passing over it to the installed font.
    TempDir folder;
    ASSERT_TRUE(std::filesystem::create_directory(folder.file(programFontName)));
    RunResult run = runProgram(tree.program, folder.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    std::string message = "vexNIVplot: Cannot open font set.\n";
    EXPECT_EQ(run.out.compare(0, 1679 + message.size(), programBanner() + message), 0) << run.out;
    EXPECT_EQ(folderEntries(folder.path), Names({programFontName, programStatisticsName}));
}

TEST(Install, WithoutItsDataFolderTheFontIsMissingAsBefore) {
    const Installed& tree = installed();
    ASSERT_EQ(tree.result.exitStatus, 0) << tree.result.out << tree.result.err;
    TempDir bare;
    std::filesystem::create_directory(bare.file("bin"));
    std::filesystem::copy_file(tree.program, bare.file("bin/vexplot"));
    TempDir empty;
    RunResult run = runProgram(bare.file("bin/vexplot"), empty.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "");
    std::string message = "vexNIVplot: Cannot open font set.\n";
    ASSERT_EQ(run.out.compare(0, 1679 + message.size(), programBanner() + message), 0) << run.out;
    std::string box = run.out.substr(1679 + message.size() + 1, 8 * 80);
    expectStatisticsBox(box, 0);
    EXPECT_EQ(folderEntries(empty.path), Names({programStatisticsName}));
}
