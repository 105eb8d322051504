// The command line: what each option does to a run of the real program (its status, what it
// prints where, what it leaves in the folders), bad usage refused before anything is written,
// and the settings the options give the scene.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "support/testutil.h"

namespace {

typedef std::set<std::string> Names;
typedef std::vector<std::string> Arguments;

const std::string tryHelp = "Try 'vexplot --help'.\n";

// A fresh folder holding the font, as a user's folder would.
struct FontFolder {
    FontFolder() { writeFile(dir.file(programFontName), readFile(VEX_FONT_PATH)); }
    TempDir dir;
};

// The settings and working folder vexOptions_Read leaves, read in a child process so that the
// test process keeps its own.
struct Reading {
    int goesOn = -1;
    int exitStatus = -1;
    int threads = -1;
    int frames = -1;
    int reference = -1;
    std::string folder;
    std::string out;
    std::string err;
};

// The folder as the system names it, links resolved, as the working folder is reported.
std::string realPath(const std::string& path) {
    return std::filesystem::canonical(path).string();
}

Reading readOptions(const Arguments& arguments, const std::string& workDir) {
    TempDir report;
    const std::string reportFile = report.file("settings");
    RunResult child = runInChild(
        [&]() {
            std::vector<char*> argv = {const_cast<char*>("vexplot")};
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            int status = -1;
            int goesOn = vexOptions_Read(static_cast<int>(argv.size()) - 1, argv.data(), &status);
            std::FILE* file = std::fopen(reportFile.c_str(), "w");
            if (file == nullptr) {
                return 99;
            }
            std::fprintf(file, "%d %d %d %d %d\n%s", goesOn, status, plotThreadCount,
                         plotFrameCount, plotUseReference,
                         std::filesystem::current_path().string().c_str());
            return std::fclose(file) == 0 ? 0 : 99;
        },
        workDir);
    EXPECT_EQ(child.exitStatus, 0) << child.err;
    Reading reading;
    reading.out = child.out;
    reading.err = child.err;
    std::string settings = readFile(reportFile);
    size_t lineEnd = settings.find('\n');
    EXPECT_NE(lineEnd, std::string::npos) << settings;
    if (lineEnd != std::string::npos) {
        std::sscanf(settings.c_str(), "%d %d %d %d %d", &reading.goesOn, &reading.exitStatus,
                    &reading.threads, &reading.frames, &reading.reference);
        reading.folder = settings.substr(lineEnd + 1);
    }
    return reading;
}

}  // namespace

// ---- Help and version ---------------------------------------------------------------------------

TEST(OptionsHelp, HelpAndVersionPrintOnlyThemselvesAndWriteNothing) {
    FontFolder folder;
    RunResult help = runProgramWith(VEX_PROGRAM_PATH, {"--help"}, folder.dir.path);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: vexplot [OPTION]...\n", 0), 0u) << help.out;
    // Every option is documented, each line fits a terminal of 80 columns, and the text ends
    // its last line.
    for (const char* option : {"-C, --directory=DIR", "-j, --threads=N", "--frames=N",
                               "--reference", "-h, --help", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    for (size_t start = 0, end; (end = help.out.find('\n', start)) != std::string::npos;
         start = end + 1) {
        EXPECT_LT(end - start, 80u) << help.out.substr(start, end - start);
    }
    EXPECT_EQ(help.out.back(), '\n');

    // The short form, an abbreviation, and --help after other options or before a fault.
    const Arguments sameHelp[] = {
        {"-h"}, {"--he"}, {"-j", "3", "--frames", "2", "--help"}, {"--help", "--bogus"}, {"-hx"}};
    for (const Arguments& arguments : sameHelp) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        RunResult again = runProgramWith(VEX_PROGRAM_PATH, arguments, folder.dir.path);
        EXPECT_EQ(again.exitStatus, 0);
        EXPECT_EQ(again.err, "");
        EXPECT_EQ(again.out, help.out);
    }

    for (const Arguments& arguments : {Arguments{"--version"}, Arguments{"--vers"}}) {
        RunResult version = runProgramWith(VEX_PROGRAM_PATH, arguments, folder.dir.path);
        EXPECT_EQ(version.exitStatus, 0);
        EXPECT_EQ(version.err, "");
        EXPECT_EQ(version.out, std::string("vexplot ") + VEX_VERSION + "\n");
    }
    EXPECT_EQ(folderEntries(folder.dir.path), Names({programFontName}));
}

TEST(OptionsHelp, HelpThatCannotBeWrittenIsAFailure) {
    // /dev/full takes no byte, as a full disk would; the answer must not be reported as given.
    if (!fileExists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full on this system";
    }
    TempDir dir;
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        const std::vector<std::string> command = commandOf(VEX_PROGRAM_PATH, {option});
        RunResult run = runInChild(
            [&command]() {
                int full = open("/dev/full", O_WRONLY);
                if (full < 0 || dup2(full, STDOUT_FILENO) < 0) {
                    return 99;
                }
                execCommand(command);
                return 98;
            },
            dir.path);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "vexplot: cannot write standard output\n");
    }
    EXPECT_TRUE(folderEntries(dir.path).empty());
}

// ---- Bad usage ----------------------------------------------------------------------------------

TEST(OptionsUsage, BadUsageNamesTheFaultOnStandardErrorAndWritesNothing) {
    struct Case {
        Arguments arguments;
        std::string message;
    };
    const Case cases[] = {
        {{"--bogus"}, "unrecognized option '--bogus'"},
        {{"--bogus=1"}, "unrecognized option '--bogus'"},
        {{"-x"}, "invalid option -- 'x'"},
        {{"-j"}, "option requires an argument -- 'j'"},
        {{"--threads"}, "option '--threads' requires an argument"},
        {{"--frames"}, "option '--frames' requires an argument"},
        {{"-C"}, "option requires an argument -- 'C'"},
        {{"--directory"}, "option '--directory' requires an argument"},
        {{"-j", "0"}, "invalid thread count '0' (1 to 256)"},
        {{"-j", "abc"}, "invalid thread count 'abc' (1 to 256)"},
        {{"-j", "-1"}, "invalid thread count '-1' (1 to 256)"},
        {{"-j", "257"}, "invalid thread count '257' (1 to 256)"},
        {{"-j", "4x"}, "invalid thread count '4x' (1 to 256)"},
        {{"-jh"}, "invalid thread count 'h' (1 to 256)"},  // -j takes the rest of its group
        {{"-j", " 4"}, "invalid thread count ' 4' (1 to 256)"},
        {{"--threads="}, "invalid thread count '' (1 to 256)"},
        {{"--frames", "-1"}, "invalid frame count '-1' (1 to 2147483647)"},
        {{"--frames=0"}, "invalid frame count '0' (1 to 2147483647)"},
        {{"--frames", "2147483648"}, "invalid frame count '2147483648' (1 to 2147483647)"},
        {{"--frames", "99999999999999999999"},
         "invalid frame count '99999999999999999999' (1 to 2147483647)"},
        {{"--reference=yes"}, "option '--reference' doesn't allow an argument"},
        {{"--help=me"}, "option '--help' doesn't allow an argument"},
        {{"image.bmp"}, "unexpected argument 'image.bmp'"},
        {{"-"}, "unexpected argument '-'"},
        {{"--", "--help"}, "unexpected argument '--help'"},
        // Faults are met in order; arguments that are not options are refused after them.
        {{"stray", "-j", "0"}, "invalid thread count '0' (1 to 256)"},
        {{"-j", "2", "stray", "--frames", "3"}, "unexpected argument 'stray'"},
    };
    FontFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        RunResult run = runProgramWith(VEX_PROGRAM_PATH, c.arguments, folder.dir.path);
        ASSERT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "vexplot: " + c.message + "\n" + tryHelp);
    }
    EXPECT_EQ(folderEntries(folder.dir.path), Names({programFontName}));
}

TEST(OptionsUsage, FolderThatCannotBeEnteredIsRefusedBeforeAnythingIsWritten) {
    FontFolder folder;
    struct Case {
        std::string folder;
        std::string reason;
    };
    const Case cases[] = {
        {"missing", "No such file or directory"},
        {programFontName, "Not a directory"},
        {"", "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        RunResult run = runProgramWith(VEX_PROGRAM_PATH, {"-C", c.folder}, folder.dir.path);
        ASSERT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitStatus, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err,
                  "vexplot: cannot change to the folder '" + c.folder + "': " + c.reason + "\n");
    }
    // The second folder of a chain is looked for in the first.
    ASSERT_TRUE(std::filesystem::create_directory(folder.dir.file("first")));
    RunResult chained =
        runProgramWith(VEX_PROGRAM_PATH, {"-C", "first", "--directory=first"}, folder.dir.path);
    EXPECT_EQ(chained.exitStatus, 2);
    EXPECT_EQ(chained.out, "");
    EXPECT_EQ(chained.err,
              "vexplot: cannot change to the folder 'first': No such file or directory\n");
    EXPECT_EQ(folderEntries(folder.dir.path), Names({programFontName, "first"}));
    EXPECT_TRUE(folderEntries(folder.dir.file("first")).empty());
}

// ---- The settings the scene reads ---------------------------------------------------------------

TEST(OptionsSettings, EachSpellingSetsTheRunSettings) {
    struct Case {
        Arguments arguments;
        int threads;
        int frames;
        int reference;
    };
    const Case cases[] = {
        {{}, 0, 1, 0},  // the core count, one frame, the fast frame
        {{"-j", "3"}, 3, 1, 0},
        {{"-j3"}, 3, 1, 0},
        {{"--threads", "256"}, 256, 1, 0},
        {{"--threads=1"}, 1, 1, 0},
        {{"--thr", "007"}, 7, 1, 0},
        {{"-j", "2", "--threads", "5"}, 5, 1, 0},  // the last one counts
        {{"--frames", "4"}, 0, 4, 0},
        {{"--frames=2147483647"}, 0, 2147483647, 0},
        {{"--reference"}, 0, 1, 1},
        {{"--ref", "-j1", "--fr=9", "--"}, 1, 9, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        Reading reading = readOptions(c.arguments, dir.path);
        EXPECT_EQ(reading.goesOn, 1);
        EXPECT_EQ(reading.threads, c.threads);
        EXPECT_EQ(reading.frames, c.frames);
        EXPECT_EQ(reading.reference, c.reference);
        EXPECT_EQ(reading.folder, realPath(dir.path));
        EXPECT_EQ(reading.out, "");
        EXPECT_EQ(reading.err, "");
    }
    // After a fault the settings keep their defaults, whatever came before it.
    Reading refused = readOptions({"-j", "3", "--frames", "2", "--reference", "-x"}, dir.path);
    EXPECT_EQ(refused.goesOn, 0);
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.threads, 0);
    EXPECT_EQ(refused.frames, 1);
    EXPECT_EQ(refused.reference, 0);
}

TEST(OptionsSettings, DirectoriesAreEnteredInTurnEachFromTheOneBefore) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("a/b/c"));
    Reading reading = readOptions({"-C", "a", "--directory", "b", "-Cc", "-C", ".."}, dir.path);
    EXPECT_EQ(reading.goesOn, 1);
    EXPECT_EQ(reading.folder, realPath(dir.file("a/b")));
    Reading absolute = readOptions({"-C", "a", "--directory=" + dir.file("a/b")}, dir.path);
    EXPECT_EQ(absolute.folder, realPath(dir.file("a/b")));
}

// ---- Whole runs ---------------------------------------------------------------------------------

TEST(OptionRuns, DirectoryThreadsAndFramesGiveTheSamePictureInThatFolder) {
    TempDir start;  // where the program is started: nothing may land here
    FontFolder target;
    RunResult run = runProgramWith(
        VEX_PROGRAM_PATH, {"-C", target.dir.path, "--threads", "3", "--frames", "2"}, start.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerThenBox(run.out, 2);
    EXPECT_TRUE(folderEntries(start.path).empty());
    EXPECT_EQ(folderEntries(target.dir.path),
              Names({programFontName, programBitmapName, programStatisticsName}));
    EXPECT_EQ(readFile(target.dir.file(programStatisticsName)), box + "\n");
    // Drawn twice over, the picture is still the one of a single frame, labels included.
    EXPECT_EQ(sha256Hex(readFile(target.dir.file(programBitmapName))), goldenPictureSha256);
}

TEST(OptionRuns, ReferenceFrameOnOneThreadGivesTheSamePicture) {
    FontFolder folder;
    RunResult run = runProgramWith(VEX_PROGRAM_PATH, {"--reference", "-j", "1"}, folder.dir.path);
    ASSERT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.err, "");
    std::string box = expectBannerThenBox(run.out, 1);
    EXPECT_EQ(folderEntries(folder.dir.path),
              Names({programFontName, programBitmapName, programStatisticsName}));
    EXPECT_EQ(readFile(folder.dir.file(programStatisticsName)), box + "\n");
    EXPECT_EQ(sha256Hex(readFile(folder.dir.file(programBitmapName))), goldenPictureSha256);
}
