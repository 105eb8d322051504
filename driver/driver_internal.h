// Program driver, internal: the plot frame that main drives, and the allocator's threshold; only
// the driver's own files and the tests use them.
#pragma once

// Blocks of this many bytes and more are asked of the platform layer as large blocks on a
// huge-page boundary; smaller ones come from the heap.
constexpr int vexMemoryLargeBlockBytes = 2 << 20;

// Prints the 21-line banner box; the last line has no newline. Always returns 0.
int vexPlot_Banner();

// Sizing pass (null buffer): sets up the canvas geometry and returns width * height * 3 + 1.
// Render pass: draws the whole picture into the buffer and returns the same value.
int vexPlot_MandelbrotSet(int width, int height, int pixelDepth, unsigned char* buffer);
