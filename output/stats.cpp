// Frame timer on the platform's performance counter, frame counting against a target, and the
// statistics box printed on standard output and appended to the statistics file.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "output/output.h"
#include "output/output_internal.h"
#include "platform/platform.h"

int statsDone = 0;

namespace {

// Counter readings are kept as doubles: all time arithmetic is done on counts, and counts become
// seconds only by dividing by the frequency.
double timerFrequency = 0.0;
double timerStartCount = 0.0;
double timerStopCount = 0.0;
double rateLastCount = 0.0;
bool rateHasReading = false;  // vexTimer_Rate binds rateLastCount to the start mark once

const char* statsTitle = nullptr;  // kept, not copied: the caller's text outlives the report
int statsFrameCount = 0;
int statsTargetFrames = 0;
int statsUnlimited = 0;

const char* const statsFileName = "___output_statistics.txt";
const char* const boxRule =
    " *----------------------------------------------------------------------------*\n";

const int boxSize = 1024;
const int lineSize = 256;
// Line 7 is " |   " + title + "    |\n"; a longer title is cut so the line still fits its buffer
// with the box's right edge and newline intact.
const int titleMaxLength = lineSize - 1 - 11;

// Whole hundredths of a second in an interval of `counts`. The result is an unsigned 32-bit
// count; a negative or undefined interval (a counter that went backwards, no frequency) reads
// as 0 and an interval beyond 2^32 hundredths (about 497 days) holds at the largest value rather
// than wrapping round to a small, plausible-looking time.
unsigned int hundredthsOf(double counts, double frequency) {
    if (!(frequency > 0.0)) {
        return 0;
    }
    double hundredths = counts * 100.0 / frequency;
    if (!(hundredths >= 0.0)) {  // negative or NaN
        return 0;
    }
    if (hundredths >= 4294967296.0) {
        return 4294967295u;
    }
    return static_cast<unsigned int>(hundredths);
}

// Formats one line into its own buffer and appends it to the box; neither buffer can overflow,
// whatever the values: a line is cut at its buffer, the box at its own.
[[gnu::format(printf, 2, 3)]] void appendLine(char* box, const char* format, ...) {
    char line[lineSize];
    va_list values;
    va_start(values, format);
    std::vsnprintf(line, sizeof line, format, values);
    va_end(values);
    size_t used = std::strlen(box);
    std::snprintf(box + used, boxSize - used, "%s", line);
}

}  // namespace

int vexTimer_GetFrequency(double* frequency) {
    long long counts = 0;
    if (!vexPlatform_QueryPerformanceFrequency(&counts)) {
        return 0;
    }
    // A counter that claims no positive rate cannot time anything; treating it as absent keeps
    // a division by a zero frequency out of every later computation.
    if (counts <= 0) {
        return 0;
    }
    *frequency = static_cast<double>(counts);
    return 1;
}

double vexTimer_Read() {
    long long count = 0;
    vexPlatform_QueryPerformanceCounter(&count);
    return static_cast<double>(count);
}

void vexTimer_Start() {
    timerStartCount = vexTimer_Read();
}

void vexTimer_Stop() {
    timerStopCount = vexTimer_Read();
}

double vexTimer_Elapsed() {
    return timerStopCount - timerStartCount;
}

double vexTimer_Rate(unsigned int n) {
    if (!rateHasReading) {
        rateLastCount = timerStartCount;
        rateHasReading = true;
    }
    double now = vexTimer_Read();
    double interval = now - rateLastCount;
    rateLastCount = now;
    // No time measured (or a counter running backwards) gives no rate, not an infinity.
    if (!(interval > 0.0)) {
        return 0.0;
    }
    return static_cast<double>(n) * timerFrequency / interval;
}

int vexStats_Begin(const char* title, int frames) {
    statsTitle = title;
    if (frames == -1) {
        statsUnlimited = 1;
    } else if (frames == 1) {
        // Done before the first frame: the frame loop tests the flag after each pass, so it
        // still runs exactly one frame.
        statsDone = 1;
    } else {
        statsTargetFrames = frames;
    }
    vexStats_ResetFrames();
    if (!vexTimer_GetFrequency(&timerFrequency)) {
        return 0;
    }
    vexTimer_Start();
    return 1;
}

void vexStats_ResetFrames() {
    statsFrameCount = 0;
}

void vexStats_CountFrame() {
    ++statsFrameCount;
    if (statsUnlimited == 0 && statsFrameCount == statsTargetFrames) {
        statsDone = 1;
    }
}

int vexStats_FrameCount() {
    return statsFrameCount;
}

int vexStats_Report() {
    unsigned int h = hundredthsOf(vexTimer_Elapsed(), timerFrequency);

    char timeText[lineSize];
    std::snprintf(timeText, sizeof timeText, "%3d:%02d:%02d.%02d", static_cast<int>(h / 360000u),
                  static_cast<int>((h / 6000u) % 60u), static_cast<int>((h / 100u) % 60u),
                  static_cast<int>(h % 100u));

    // h > 0 implies a positive frequency and a positive interval, so neither quotient divides
    // by zero.
    double framesPerSecond = 0.0;
    double msPerFrame = 0.0;
    if (h != 0) {
        framesPerSecond = static_cast<double>(static_cast<unsigned int>(statsFrameCount)) *
                          timerFrequency / vexTimer_Elapsed();
        msPerFrame = framesPerSecond != 0.0 ? 1000.0 / framesPerSecond : 0.0;
    }

    const char* title = statsTitle != nullptr ? statsTitle : "";
    char box[boxSize];
    std::snprintf(box, sizeof box, "%s", boxRule);
    appendLine(box, " |        Statistics         |                %10ld frames               |\n",
               static_cast<long>(statsFrameCount));
    appendLine(box, "%s", boxRule);
    appendLine(box, " |   %14s main-loop time      |  %16.2f frames/s (avg)    |\n", timeText,
               framesPerSecond);
    appendLine(box, " |   %14s                     |  %16.2f ms/frame (avg)    |\n", " ",
               msPerFrame);
    appendLine(box, "%s", boxRule);
    appendLine(box, " |   %69.*s    |\n", titleMaxLength, title);
    appendLine(box, "%s", boxRule);

    std::printf("\n%s\n", box);
    return vexFile_AppendLine(statsFileName, box);
}

int vexStats_End() {
    return vexStats_Report();
}
