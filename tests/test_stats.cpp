// Tests of the frame timer and the run statistics, driven by the fake performance counter. The
// module's state is set-only, so every scenario runs in a child process with fresh state.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fractal/fractal.h"
#include "output/output.h"
#include "output/output_internal.h"
#include "support/testutil.h"

namespace {

const char* const programTitle = vexSceneTitle;
const char* const statsFile = "___output_statistics.txt";
const std::string rule =
    " *----------------------------------------------------------------------------*\n";

// Runs the scenario in a child process, whose module state is the program's initial state.
// Failures inside the child are printed there and turn into a non-zero exit status here.
#ifdef _WIN32
// Windows cannot fork: a death test's child is the test program started anew, which runs only
// the statement.
void inFreshProcess(const std::function<void()>& scenario) {
    EXPECT_EXIT(
        {
            scenario();
            std::fflush(nullptr);
            std::exit(testing::Test::HasFailure() ? 1 : 0);
        },
        testing::ExitedWithCode(0), "")
        << "the scenario failed in its child process (see the messages above)";
}
#else
void inFreshProcess(const std::function<void()>& scenario) {
    std::fflush(nullptr);
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        scenario();
        std::fflush(nullptr);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the scenario failed in its child process (see the messages above)";
}
#endif

struct ReportRun {
    int result = 0;
    std::string out;
    std::string err;
    std::string file;  // the statistics file afterwards
};

// Reports `times` times in a fresh temporary working folder; with `fileIsFolder` the statistics
// file's name is taken by a folder, so it cannot be opened.
ReportRun reportInTempDir(int times = 1, bool fileIsFolder = false,
                          int (*report)() = vexStats_Report) {
    TempDir dir;
    if (fileIsFolder) {
        std::filesystem::create_directory(dir.file(statsFile));
    }
    ReportRun run;
    std::error_code error;
    std::filesystem::path previous = std::filesystem::current_path(error);
    if (!error) {
        std::filesystem::current_path(dir.path, error);
    }
    if (error) {
        ADD_FAILURE() << "cannot enter " << dir.path;
        return run;
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (int i = 0; i < times; ++i) {
        run.result = report();
    }
    run.out = testing::internal::GetCapturedStdout();
    run.err = testing::internal::GetCapturedStderr();
    std::filesystem::current_path(previous, error);
    EXPECT_FALSE(error);
    if (!fileIsFolder) {
        run.file = readFile(dir.file(statsFile));
    }
    return run;
}

std::vector<std::string> linesOf(const std::string& box) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < box.size()) {
        size_t end = box.find('\n', start);
        end = end == std::string::npos ? box.size() : end + 1;
        lines.push_back(box.substr(start, end - start));
        start = end;
    }
    return lines;
}

// One frame timed from count `start` to count `stop` at `frequency`, then reported.
ReportRun timedRun(long long frequency, long long start, long long stop, int frames = 1,
                   const char* title = programTitle) {
    vexTestCounter_Set(true, frequency, start);
    EXPECT_EQ(vexStats_Begin(title, -1), 1);
    for (int i = 0; i < frames; ++i) {
        vexStats_CountFrame();
    }
    vexTestCounter_SetCount(stop);
    vexTimer_Stop();
    return reportInTempDir();
}

std::string boxOf(const ReportRun& run) {
    return run.out.substr(1, run.out.size() - 2);
}

}  // namespace

// ---- The report ---------------------------------------------------------------------------------

TEST(StatsReport, WorkedExampleGivesTheExactBoxOnScreenAndInTheFile) {
    inFreshProcess([] {
        ReportRun run = timedRun(10000000, 0, 1234567890);
        const std::string box =
            rule +
            " |        Statistics         |                         1 frames               |\n" +
            rule +
            " |       0:02:03.45 main-loop time      |              0.01 frames/s (avg)    |\n" +
            " |                                      |         123456.79 ms/frame (avg)    |\n" +
            rule +
            " |               3V Azodevir Iror -- 12 -- Mandelbrot Set : f(z) = z^2 + c    |\n" +
            rule;
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.out, "\n" + box + "\n");
        EXPECT_EQ(run.file, box + "\n");
        EXPECT_EQ(run.err, "");
        std::vector<std::string> lines = linesOf(box);
        ASSERT_EQ(lines.size(), 8u);
        for (const std::string& line : lines) {
            EXPECT_EQ(line.size(), 80u) << line;  // 79 characters and the newline
        }
    });
}

TEST(StatsReport, EachReportAppendsOneBoxAndAnEmptyLine) {
    inFreshProcess([] {
        vexTestCounter_Set(true, 1000, 0);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        vexTestCounter_SetCount(2500);
        vexTimer_Stop();
        ReportRun run = reportInTempDir(2, false, vexStats_End);
        EXPECT_EQ(run.result, 0);
        std::vector<std::string> lines = linesOf(run.file);
        ASSERT_EQ(lines.size(), 18u);
        EXPECT_EQ(lines[8], "\n");
        EXPECT_EQ(lines[17], "\n");
        EXPECT_EQ(run.file.substr(0, run.file.size() / 2), run.file.substr(run.file.size() / 2));
        EXPECT_NE(lines[3].find("  0:00:02.50 main-loop time"), std::string::npos) << lines[3];
    });
}

TEST(StatsReport, UnopenableFileFailsAfterTheBoxIsPrinted) {
    inFreshProcess([] {
        vexTestCounter_Set(true, 1000, 0);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        ReportRun run = reportInTempDir(1, true, vexStats_End);
        EXPECT_EQ(run.result, -1);
        EXPECT_EQ(run.err, "Cannot open input file.\n");
        ASSERT_EQ(linesOf(run.out).size(), 10u);  // empty line, the box, empty line
        EXPECT_EQ(linesOf(run.out)[1], rule);
    });
}

// Intervals under a hundredth of a second, backwards and beyond the 32-bit range of hundredths.
TEST(StatsReport, ElapsedTimeAndAveragesAtTheirLimits) {
    struct Case {
        long long frequency, start, stop;
        int frames;
        const char* line4;
        const char* line5;
    };
    const Case cases[] = {
        // h = 0: no averages
        {10000000, 0, 99999, 1,
         " |       0:00:00.00 main-loop time      |              0.00 frames/s (avg)    |\n",
         " |                                      |              0.00 ms/frame (avg)    |\n"},
        // the first whole hundredth
        {10000000, 0, 100000, 1,
         " |       0:00:00.01 main-loop time      |            100.00 frames/s (avg)    |\n",
         " |                                      |             10.00 ms/frame (avg)    |\n"},
        // no frames counted: no milliseconds per frame rather than a division by zero
        {1000, 0, 3723450, 0,
         " |       1:02:03.45 main-loop time      |              0.00 frames/s (avg)    |\n",
         " |                                      |              0.00 ms/frame (avg)    |\n"},
        // a counter that went backwards reads as no time
        {1000, 5000, 1000, 1,
         " |       0:00:00.00 main-loop time      |              0.00 frames/s (avg)    |\n",
         " |                                      |              0.00 ms/frame (avg)    |\n"},
        // 10^19 hundredths do not fit: the time holds at 2^32 - 1 hundredths
        {1, 0, 100000000000000000LL, 1,
         " |   11930:27:52.95 main-loop time      |              0.00 frames/s (avg)    |\n",
         " |                                      |  100000000000000000000.00 ms/frame (avg)    "
         "|\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line4);
        inFreshProcess([&c] {
            ReportRun run = timedRun(c.frequency, c.start, c.stop, c.frames);
            std::vector<std::string> lines = linesOf(boxOf(run));
            ASSERT_EQ(lines.size(), 8u);
            EXPECT_EQ(lines[3], c.line4);
            EXPECT_EQ(lines[4], c.line5);
        });
    }
}

TEST(StatsReport, TitleIsRightAlignedAndAnOverlongTitleIsCut) {
    inFreshProcess([] {
        // Past 69 characters the field widens.
        std::string wide(70, 'w');
        std::vector<std::string> lines = linesOf(boxOf(timedRun(1000, 0, 1000, 1, wide.c_str())));
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[6], " |   " + wide + "    |\n");
    });
    inFreshProcess([] {
        // Past 244 characters the title is cut so line 7 still fits its 256-character buffer.
        std::string overlong(600, 'x');
        ReportRun run = timedRun(1000, 0, 1000, 1, overlong.c_str());
        std::vector<std::string> lines = linesOf(boxOf(run));
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[6], " |   " + std::string(244, 'x') + "    |\n");
        EXPECT_EQ(lines[7], rule);
        EXPECT_EQ(run.file, boxOf(run) + "\n");
    });
}

// ---- Frame counting -----------------------------------------------------------------------------

TEST(StatsFrames, TargetOfOneIsDoneBeforeTheFirstFrameAndThreeOnTheThird) {
    inFreshProcess([] {
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        EXPECT_EQ(statsDone, 1);
        int passes = 0;
        do {
            ++passes;
            vexStats_CountFrame();
        } while (statsDone == 0 && passes < 100);
        EXPECT_EQ(passes, 1);
        EXPECT_EQ(vexStats_FrameCount(), 1);
    });
    inFreshProcess([] {
        ASSERT_EQ(vexStats_Begin(programTitle, 3), 1);
        EXPECT_EQ(statsDone, 0);
        vexStats_CountFrame();
        vexStats_CountFrame();
        EXPECT_EQ(statsDone, 0);
        vexStats_CountFrame();
        EXPECT_EQ(statsDone, 1);
        EXPECT_EQ(vexStats_FrameCount(), 3);
        vexStats_ResetFrames();
        EXPECT_EQ(vexStats_FrameCount(), 0);
    });
}

TEST(StatsFrames, NoLimitZeroAndNegativeTargetsNeverFinish) {
    for (int frames : {-1, 0, -5}) {
        SCOPED_TRACE(frames);
        inFreshProcess([frames] {
            ASSERT_EQ(vexStats_Begin(programTitle, frames), 1);
            for (int i = 0; i < 1000; ++i) {
                vexStats_CountFrame();
                ASSERT_EQ(statsDone, 0) << "after frame " << i + 1;
            }
            EXPECT_EQ(vexStats_FrameCount(), 1000);
        });
    }
}

// ---- Timer --------------------------------------------------------------------------------------

TEST(StatsTimer, BeginTakesTheStartMarkAndStartMovesIt) {
    inFreshProcess([] {
        vexTestCounter_Set(true, 1000, 5000);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        vexTestCounter_SetCount(8000);
        vexTimer_Stop();
        EXPECT_EQ(vexTimer_Elapsed(), 3000.0);
        vexTimer_Start();
        vexTestCounter_SetCount(8250);
        vexTimer_Stop();
        EXPECT_EQ(vexTimer_Elapsed(), 250.0);
        EXPECT_EQ(vexTimer_Read(), 8250.0);
    });
}

TEST(StatsTimer, MissingOrNonPositiveFrequencyFailsWithoutAStartMark) {
    struct Case {
        bool present;
        long long frequency;
    };
    for (Case c : {Case{false, 1000}, Case{true, 0}, Case{true, -1000}}) {
        SCOPED_TRACE(c.frequency);
        inFreshProcess([c] {
            vexTestCounter_Set(true, 1000, 100);
            vexTimer_Start();
            vexTestCounter_Set(c.present, c.frequency, 900);
            double frequency = 42.0;
            EXPECT_EQ(vexTimer_GetFrequency(&frequency), 0);
            EXPECT_EQ(frequency, 42.0);  // nothing stored
            EXPECT_EQ(vexStats_Begin(programTitle, 1), 0);
            vexTimer_Stop();
            EXPECT_EQ(vexTimer_Elapsed(), 800.0);  // still timed from the earlier mark
        });
    }
}

TEST(StatsTimer, RateMeasuresFromTheStartMarkThenFromItsOwnReading) {
    inFreshProcess([] {
        vexTestCounter_Set(true, 10000000, 0);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        vexTestCounter_SetCount(20000000);
        EXPECT_EQ(vexTimer_Rate(7), 3.5);
        vexTestCounter_SetCount(30000000);
        EXPECT_EQ(vexTimer_Rate(10), 10.0);
    });
    inFreshProcess([] {
        // n is an unsigned count: values past the int range are not negative.
        vexTestCounter_Set(true, 10000000, 0);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        vexTestCounter_SetCount(20000000);
        EXPECT_EQ(vexTimer_Rate(4000000000u), 2000000000.0);
    });
    inFreshProcess([] {
        // The first call binds to the start mark of that moment; later marks do not matter.
        vexTestCounter_Set(true, 10000000, 0);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        vexTestCounter_SetCount(5000000);
        vexTimer_Start();
        vexTestCounter_SetCount(25000000);
        EXPECT_EQ(vexTimer_Rate(10), 5.0);
        vexTestCounter_SetCount(26000000);
        vexTimer_Start();
        vexTestCounter_SetCount(30000000);
        EXPECT_EQ(vexTimer_Rate(5), 10.0);
    });
}

TEST(StatsTimer, RateOverNoTimeIsZero) {
    inFreshProcess([] {
        vexTestCounter_Set(true, 1000, 400);
        ASSERT_EQ(vexStats_Begin(programTitle, 1), 1);
        EXPECT_EQ(vexTimer_Rate(3), 0.0);  // no time since the start mark
        vexTestCounter_SetCount(300);
        EXPECT_EQ(vexTimer_Rate(3), 0.0);  // the counter went backwards
        vexTestCounter_SetCount(1300);
        EXPECT_EQ(vexTimer_Rate(3), 3.0);  // measured from the latest reading, 300
    });
}
