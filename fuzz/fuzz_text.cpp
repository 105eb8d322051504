// Fuzzes the bitmap font: a font file of any length and content, then strings and numbers of
// any bytes at any scale and position. No undefined behaviour, no write outside the canvas,
// bounded time.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/guarded_canvas.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

namespace {
const int width = 67;
const int height = 41;

const std::string& fontPath() {
    static const std::string path = "/tmp/vexfuzz-font-" + std::to_string(getpid());
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::vector<unsigned char> font =
        input.ConsumeBytes<unsigned char>(input.ConsumeIntegralInRange<size_t>(0, 9000));
    if (std::FILE* file = std::fopen(fontPath().c_str(), "wb")) {
        std::fwrite(font.data(), 1, font.size(), file);
        std::fclose(file);
    }
    vexText_LoadFont(fontPath().c_str());
    std::remove(fontPath().c_str());

    static GuardedCanvas canvas(width, height);
    canvas.reset();
    vexRaster_SetPenSize(input.ConsumeIntegralInRange<int>(-1, 1));
    while (input.remaining_bytes() > 0) {
        bool small = input.ConsumeBool();
        int scale = small ? input.ConsumeIntegralInRange<int>(-2, 6) : input.ConsumeIntegral<int>();
        int x = small ? input.ConsumeIntegralInRange<int>(-80, 80) : input.ConsumeIntegral<int>();
        int y = small ? input.ConsumeIntegralInRange<int>(-80, 80) : input.ConsumeIntegral<int>();
        vexText_SetScale(scale);
        vexText_SetOpaque(input.ConsumeIntegralInRange<int>(0, 2));
        vexText_SetForeground(input.ConsumeIntegral<int>());
        vexText_SetBackground(input.ConsumeIntegral<int>());
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0:
                vexText_DrawChar(x, y, static_cast<char>(input.ConsumeIntegral<unsigned char>()));
                break;
            case 1:
                vexText_DrawNumber(x, y, input.ConsumeIntegral<int>());
                break;
            default: {
                std::string text = input.ConsumeRandomLengthString(64);
                vexText_DrawString(x, y, text.c_str());
                break;
            }
        }
    }
    vexText_Flush();
    canvas.checkGuards();
    return 0;
}
