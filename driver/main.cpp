// Process entry: the command line, then the banner, sizing pass, frame buffer, render pass and
// bitmap file.
#include <csignal>
#include <cstdio>

#include "driver/driver.h"
#include "driver/driver_internal.h"
#include "output/output.h"

namespace {
const int imageWidth = 6000;
const int imageHeight = 4800;
const int imageDepth = 24;
const char* const imageName = "3VErudadudIzad12UdidirAvorovirevEde";
}  // namespace

int main(int argc, char** argv) {
    // Help, version and bad usage end here, before anything is printed or written; -C has
    // changed the working folder once this returns 1.
    int status = 0;
    if (!vexOptions_Read(argc, argv, &status)) {
        return status;
    }

#ifdef SIGXFSZ
    // Under a file-size limit (ulimit -f) the signal would kill the process in the middle of
    // the picture's write and leave its temporary file behind; ignored, the write fails like one
    // on a full disk, and that failure is cleaned up and reported. Windows has neither the limit
    // nor the signal.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    vexPlot_Banner();
    int size = vexPlot_MandelbrotSet(imageWidth, imageHeight, imageDepth, nullptr);
    unsigned char* frame = static_cast<unsigned char*>(vexMemory_Calloc(size));
    vexPlot_MandelbrotSet(imageWidth, imageHeight, imageDepth, frame);
    // The file is the one vexBitmap_Save writes; only its red/blue swap runs on the run's threads.
    // A picture that could not be written is a failed run, whatever was drawn.
    int saved = vexBitmap_SaveFast(imageName, imageWidth, imageHeight, imageDepth, frame,
                                   vexPlot_ThreadCount());
    if (saved != 0) {
        std::printf("vexNIVplot: Cannot write bitmap file.\n");
    }
    vexMemory_Free(frame);

    // The banner and the statistics box are results of the run as well: standard output that
    // could not take them (a full disk, a closed descriptor) fails the run, said where it can
    // still be seen.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        std::fprintf(stderr, "vexNIVplot: Cannot write standard output.\n");
        return 1;
    }
    return saved == 0 ? 0 : 1;
}
