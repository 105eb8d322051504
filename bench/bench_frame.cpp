// Frame benchmark: renders the real picture with the literal and the fast frame, each variant
// in a fresh child process, and prints every phase (clear, sweep, labels, swap and write), below
// the sweep the fast frame's own phases, the ratios and each child's peak resident memory. The
// literal variant clears and swaps pixel by pixel; the fast ones use the bulk clear and swap on
// their threads. Both write the file the same way. Usage: vexbench [repetitions] [folder].
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/driver.h"
#include "fractal/fractal.h"
#include "kernels/kernels.h"
#include "output/output.h"
#include "platform/platform.h"
#include "raster/raster.h"
#include "view3d/view3d.h"

namespace {

const int imageWidth = 6000;
const int imageHeight = 4800;

enum Phase { phaseClear, phaseSweep, phaseLabels, phaseSave, phaseCount };
const char* const phaseNames[phaseCount] = {"clear", "sweep", "labels", "swap+write"};
// The fast sweep's own phases, printed below the sweep.
const char* const framePhaseNames[vexFramePhaseCount] = {"  set-up",     "  heights", "  shading",
                                                         "  projection", "  filing",  "  drawing"};

struct Variant {
    const char* name;
    bool fast;
    int threads;  // 0: the machine's count
    int lanes;    // 0: the widest the processor has
};

// The literal frame, the fast frame as the program runs it, and two fast frames with one of
// its means taken away, to show what each buys.
const Variant variants[] = {
    {"literal", false, 1, 0},
    {"fast", true, 0, 0},
    {"fast, 1 thread", true, 1, 0},
    {"fast, scalar", true, 0, 1},
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One whole frame as the program makes it, timed phase by phase; the labels are the scene's
// three lines, drawn as the scene draws them.
void runVariant(const Variant& v, const std::string& imageBase, double seconds[phaseCount],
                VexFramePhases* phases) {
    if (v.lanes != 0 && !vexKernels_SelectLanes(v.lanes)) {
        vexError_Fatal("vector width not supported (vexbench)");
    }
    int size = vexRaster_Initialize(imageWidth, imageHeight, nullptr) + 1;
    unsigned char* frame = static_cast<unsigned char*>(vexMemory_Calloc(size));
    vexRaster_Initialize(imageWidth, imageHeight, frame);

    int threads = v.threads == 0 ? vexPlatform_CoreCount() : v.threads;
    auto start = std::chrono::steady_clock::now();
    vexRaster_SetClearColor(0xffffff);
    if (v.fast) {
        vexRaster_ClearFast(threads);
    } else {
        vexRaster_Clear();
    }
    seconds[phaseClear] = secondsSince(start);

    vexText_SetOpaque(0);
    vexText_SetBackground(vexSceneLabelPaper);
    if (!vexText_LoadFont(VEX_FONT_PATH)) {
        vexError_Fatal("cannot read the font " VEX_FONT_PATH " (vexbench)");
    }
    vexText_SetScale(vexSceneLabelScale);
    vexFractal_InitializeScenePrism();
    vexRaster_SetPenSize(0);
    vexRaster_SetColor(vexSceneSurfaceColour);

    start = std::chrono::steady_clock::now();
    if (v.fast) {
        vexFractal_DrawSurfaceFast(threads);
    } else {
        vexFractal_DrawSurfaceLiteral();
    }
    seconds[phaseSweep] = secondsSince(start);
    *phases = vexFractal_LastFramePhases();

    start = std::chrono::steady_clock::now();
    vexText_SetOpaque(1);
    vexText_SetScale(vexSceneLabelScale);
    vexText_SetForeground(vexSceneLabelInk);
    int s = textScale;
    vexText_DrawString(10 * s, 10 * s, vexSceneTitle);
    vexText_DrawString(10 * s, 25 * s, vexSceneCopyright);
    vexText_DrawString(10 * s, 40 * s, vexSceneRights);
    vexText_Flush();
    seconds[phaseLabels] = secondsSince(start);

    start = std::chrono::steady_clock::now();
    int saved =
        v.fast ? vexBitmap_SaveFast(imageBase.c_str(), imageWidth, imageHeight, 24, frame, threads)
               : vexBitmap_Save(imageBase.c_str(), imageWidth, imageHeight, 24, frame);
    if (saved != 0) {
        vexError_Fatal("cannot write the bitmap (vexbench)");
    }
    seconds[phaseSave] = secondsSince(start);
    vexMemory_Free(frame);
}

// What a child sends back: each phase's seconds, and the fast sweep's own phases.
struct Figures {
    double seconds[phaseCount];
    VexFramePhases frame;
};

struct Measurement {
    Figures figures;
    long peakKilobytes;
};

// Runs variant k in a child process (this program, started afresh) and collects its figures.
bool measure(const char* self, int k, const std::string& folder, Measurement* m) {
    int channel[2];
    if (pipe(channel) != 0) {
        return false;
    }
    pid_t child = fork();
    if (child < 0) {
        return false;
    }
    if (child == 0) {
        close(channel[0]);
        dup2(channel[1], 3);
        std::string variant = std::to_string(k);
        execl(self, self, "--child", variant.c_str(), folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    bool got =
        read(channel[0], &m->figures, sizeof m->figures) == static_cast<ssize_t>(sizeof m->figures);
    close(channel[0]);
    int status = 0;
    struct rusage usage;
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return false;
    }
    m->peakKilobytes = usage.ru_maxrss;
    return got;
}

bool sameFile(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa != nullptr && fb != nullptr;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        same = na == nb && std::memcmp(ba.data(), bb.data(), na) == 0;
        if (na == 0) {
            break;
        }
    }
    if (fa != nullptr) {
        std::fclose(fa);
    }
    if (fb != nullptr) {
        std::fclose(fb);
    }
    return same;
}

// The middle value (the mean of the two middle ones for an even count).
double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double total(const Measurement& m) {
    double sum = 0;
    for (double s : m.figures.seconds) {
        sum += s;
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    const int variantCount = static_cast<int>(sizeof variants / sizeof variants[0]);
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0) {
        int k = std::atoi(argv[2]);
        if (k < 0 || k >= variantCount) {
            return 2;
        }
        Figures figures;
        runVariant(variants[k], std::string(argv[3]) + "/variant" + argv[2], figures.seconds,
                   &figures.frame);
        return write(3, &figures, sizeof figures) == static_cast<ssize_t>(sizeof figures) ? 0 : 1;
    }
    int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    char pattern[] = "/tmp/vexbench-XXXXXX";
    std::string folder = argc > 2 ? argv[2] : "";
    if (folder.empty()) {
        if (mkdtemp(pattern) == nullptr) {
            std::perror("mkdtemp");
            return 1;
        }
        folder = pattern;
    }

    // Each variant's best run of each phase; the variants take turns, so that a slow spell of
    // the machine hits all of them.
    std::vector<Measurement> best(variantCount);
    // Every run's sweep, for the typical figure beside the best: on a shared machine the best
    // run shows what the code can do, the median how it usually fares.
    std::vector<std::vector<double>> sweeps(variantCount);
    for (Measurement& m : best) {
        std::fill(m.figures.seconds, m.figures.seconds + phaseCount, 1e30);
        std::fill(m.figures.frame.seconds, m.figures.frame.seconds + vexFramePhaseCount, 1e30);
        m.peakKilobytes = 0;
    }
    for (int r = 0; r < repetitions; ++r) {
        for (int k = 0; k < variantCount; ++k) {
            Measurement m;
            if (!measure("/proc/self/exe", k, folder, &m)) {
                std::fprintf(stderr, "variant %s failed\n", variants[k].name);
                return 1;
            }
            Figures& b = best[k].figures;
            for (int p = 0; p < phaseCount; ++p) {
                b.seconds[p] = std::min(b.seconds[p], m.figures.seconds[p]);
            }
            for (int p = 0; p < vexFramePhaseCount; ++p) {
                b.frame.seconds[p] = std::min(b.frame.seconds[p], m.figures.frame.seconds[p]);
            }
            best[k].peakKilobytes = std::max(best[k].peakKilobytes, m.peakKilobytes);
            sweeps[k].push_back(m.figures.seconds[phaseSweep]);
        }
    }

    std::printf("%d x %d frame, %d threads, %d vector lanes, best of %d runs (ms)\n\n", imageWidth,
                imageHeight, vexPlatform_CoreCount(), vexKernels_Lanes(), repetitions);
    std::printf("%-16s", "phase");
    for (const Variant& v : variants) {
        std::printf("%16s", v.name);
    }
    std::printf("%16s\n", "literal/fast");
    for (int p = 0; p <= phaseCount; ++p) {
        std::printf("%-16s", p < phaseCount ? phaseNames[p] : "whole run");
        for (int k = 0; k < variantCount; ++k) {
            double s = p < phaseCount ? best[k].figures.seconds[p] : total(best[k]);
            std::printf("%16.1f", s * 1000.0);
        }
        double literal = p < phaseCount ? best[0].figures.seconds[p] : total(best[0]);
        double fast = p < phaseCount ? best[1].figures.seconds[p] : total(best[1]);
        std::printf("%15.1fx\n", literal / fast);
        for (int q = 0; p == phaseSweep && q < vexFramePhaseCount; ++q) {
            std::printf("%-16s", framePhaseNames[q]);
            for (int k = 0; k < variantCount; ++k) {
                if (variants[k].fast) {
                    std::printf("%16.1f", best[k].figures.frame.seconds[q] * 1000.0);
                } else {
                    std::printf("%16s", "");
                }
            }
            std::printf("\n");
        }
    }
    std::printf("%-16s", "peak RSS (MB)");
    for (int k = 0; k < variantCount; ++k) {
        std::printf("%16.1f", best[k].peakKilobytes * 1024.0 / 1e6);
    }
    std::printf("\n%-16s", "sweep, median");
    for (int k = 0; k < variantCount; ++k) {
        std::printf("%16.1f", median(sweeps[k]) * 1000.0);
    }
    std::printf("%15.1fx\n\n", median(sweeps[0]) / median(sweeps[1]));

    bool identical = true;
    for (int k = 1; k < variantCount; ++k) {
        bool same =
            sameFile(folder + "/variant0.bmp", folder + "/variant" + std::to_string(k) + ".bmp");
        std::printf("%s bitmap %s the literal one\n", variants[k].name,
                    same ? "is identical to" : "DIFFERS from");
        identical = identical && same;
    }
    for (int k = 0; k < variantCount; ++k) {
        std::remove((folder + "/variant" + std::to_string(k) + ".bmp").c_str());
    }
    if (argc <= 2) {
        rmdir(folder.c_str());
    }
    return identical ? 0 : 1;
}
