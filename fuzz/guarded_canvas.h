// A small canvas framed by guard bytes, shared by the fuzz harnesses. It is set up once per
// process: setting up a canvas allocates a 256 KiB row table, and doing that for every input
// made the table, not the code under test, the cost of a run.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "raster/raster.h"

namespace {

class GuardedCanvas {
  public:
    GuardedCanvas(int width, int height)
        : memory(static_cast<size_t>(width) * height * 3 + 2 * guardBytes, guardValue) {
        vexRaster_Initialize(width, height, pixels());
    }

    // Fills the canvas and its guards with the guard value again; the drawing state (colour,
    // pen, clip flag) is left to the harness.
    void reset() { std::memset(memory.data(), guardValue, memory.size()); }

    unsigned char* pixels() { return memory.data() + guardBytes; }
    size_t size() const { return memory.size() - 2 * guardBytes; }

    // A changed guard byte is a write past one end of the canvas.
    void checkGuards() const {
        for (size_t i = 0; i < guardBytes; ++i) {
            if (memory[i] != guardValue || memory[memory.size() - 1 - i] != guardValue) {
                std::abort();
            }
        }
    }

  private:
    static constexpr size_t guardBytes = 32;
    static constexpr unsigned char guardValue = 0xAA;
    std::vector<unsigned char> memory;
};

}  // namespace
