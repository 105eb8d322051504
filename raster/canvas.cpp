// Canvas and pixels: the frame buffer's geometry and bottom-up row table, the drawing state,
// the pixel-write primitive every drawing operation rests on, clear and red/blue swap, and the
// whole-buffer clear and swap done in bulk on several threads.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "raster/raster.h"
#include "raster/raster_internal.h"

int canvasWidth = 0;
int canvasHeight = 0;
int canvasBytesPerPixel = 0;
int canvasByteSize = 0;
int canvasCenterX = 0;
int canvasCenterY = 0;
unsigned char* canvasBuffer = nullptr;
int clipEnabled = 1;

namespace {

int* canvasRowTable = nullptr;
const int rowTableCapacity = 65536;
Color drawColor = 0;
Color clearColor = 0;
int penHalfWidth = 0;
int penHalfHeight = 0;

void storePixel(int offset) {
    canvasBuffer[offset] = static_cast<unsigned char>(drawColor >> 16);
    canvasBuffer[offset + 1] = static_cast<unsigned char>(drawColor >> 8);
    canvasBuffer[offset + 2] = static_cast<unsigned char>(drawColor);
}

// The bulk routines treat 24 bytes, eight whole pixels, as three little-endian 64-bit words
// (byte i of a word is its bits 8i to 8i + 7), whatever the processor's byte order.
const int groupBytes = 24;

// Threads split the buffer at multiples of this many bytes: whole pixel groups and whole 4 KiB
// pages, so no two threads write the same cache line or page.
const long long sliceBytes = 3 * 4096;

// One thread's share of a bulk clear or swap: [0, byteCount) cut into `count` parts of whole
// slices, part `index` of them. Every byte lies in exactly one part, so the result does not
// depend on how many threads there are.
struct SliceRange {
    long long begin;
    long long end;
};

SliceRange sliceOf(long long byteCount, int index, int count) {
    long long slices = (byteCount + sliceBytes - 1) / sliceBytes;
    long long perPart = (slices + count - 1) / count * sliceBytes;
    long long begin = index * perPart;
    long long end = begin + perPart;
    return {begin < byteCount ? begin : byteCount, end < byteCount ? end : byteCount};
}

// Threads worth starting for `byteCount` bytes: no more than there are slices.
int threadsFor(long long byteCount, int threadCount) {
    long long slices = (byteCount + sliceBytes - 1) / sliceBytes;
    return threadCount < slices ? threadCount : static_cast<int>(slices);
}

// The 64-bit word k (0 to 2) of a pixel group with 0xff in every byte whose place in its pixel
// is `place` (0 red, 1 green, 2 blue, as the canvas stores them).
constexpr std::uint64_t placeMask(int word, int place) {
    std::uint64_t mask = 0;
    for (int i = 0; i < 8; ++i) {
        if ((word * 8 + i) % 3 == place) {
            mask |= std::uint64_t{0xff} << (8 * i);
        }
    }
    return mask;
}

// A word in memory as a little-endian one: a plain load or store on little-endian processors,
// the bytes reversed on big-endian ones (where the compiler makes it one instruction).
std::uint64_t littleEndian(std::uint64_t word) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_bswap64(word);
#else
    return word;
#endif
}

std::uint64_t loadWord(const unsigned char* at) {
    std::uint64_t word;
    std::memcpy(&word, at, 8);
    return littleEndian(word);
}

void storeWord(unsigned char* at, std::uint64_t word) {
    word = littleEndian(word);
    std::memcpy(at, &word, 8);
}

// Fills [begin, end) of the buffer with the colour; begin is a multiple of the group size.
void fillSlice(unsigned char* buffer, long long begin, long long end, Color colour) {
    unsigned char red = static_cast<unsigned char>(colour >> 16);
    unsigned char green = static_cast<unsigned char>(colour >> 8);
    unsigned char blue = static_cast<unsigned char>(colour);
    if (red == green && green == blue) {
        // A grey (the white of the picture) is one byte repeated: the library's fill is the
        // fastest way to write it.
        std::memset(buffer + begin, red, static_cast<size_t>(end - begin));
        return;
    }
    unsigned char group[groupBytes];
    for (int i = 0; i < groupBytes; i += 3) {
        group[i] = red;
        group[i + 1] = green;
        group[i + 2] = blue;
    }
    std::uint64_t w0 = loadWord(group), w1 = loadWord(group + 8), w2 = loadWord(group + 16);
    long long at = begin;
    for (; at + groupBytes <= end; at += groupBytes) {
        storeWord(buffer + at, w0);
        storeWord(buffer + at + 8, w1);
        storeWord(buffer + at + 16, w2);
    }
    std::memcpy(buffer + at, group, static_cast<size_t>(end - at));
}

// Exchanges red and blue in [begin, end); begin is a multiple of the group size. Seen as one
// 192-bit number, a group's new red bytes are the old ones shifted down by two bytes (the blue
// of the same pixel) and its new blue bytes the old ones shifted up by two; green stays.
void swapSlice(unsigned char* buffer, long long begin, long long end) {
    const std::uint64_t r0 = placeMask(0, 0), r1 = placeMask(1, 0), r2 = placeMask(2, 0);
    const std::uint64_t g0 = placeMask(0, 1), g1 = placeMask(1, 1), g2 = placeMask(2, 1);
    const std::uint64_t b0 = placeMask(0, 2), b1 = placeMask(1, 2), b2 = placeMask(2, 2);
    long long at = begin;
    for (; at + groupBytes <= end; at += groupBytes) {
        unsigned char* p = buffer + at;
        std::uint64_t w0 = loadWord(p), w1 = loadWord(p + 8), w2 = loadWord(p + 16);
        storeWord(p, (((w0 >> 16) | (w1 << 48)) & r0) | (w0 & g0) | ((w0 << 16) & b0));
        storeWord(p + 8,
                  (((w1 >> 16) | (w2 << 48)) & r1) | (w1 & g1) | (((w1 << 16) | (w0 >> 48)) & b1));
        storeWord(p + 16, ((w2 >> 16) & r2) | (w2 & g2) | (((w2 << 16) | (w1 >> 48)) & b2));
    }
    for (; at < end; at += 3) {
        unsigned char red = buffer[at];
        buffer[at] = buffer[at + 2];
        buffer[at + 2] = red;
    }
}

// The shares of the bulk clear (the canvas in the clear colour) and the bulk swap (the buffer
// given as the context).
void clearShare(void*, int index, int count) {
    SliceRange range = sliceOf(canvasByteSize, index, count);
    fillSlice(canvasBuffer, range.begin, range.end, clearColor);
}

void swapShare(void* buffer, int index, int count) {
    SliceRange range = sliceOf(canvasByteSize, index, count);
    swapSlice(static_cast<unsigned char*>(buffer), range.begin, range.end);
}

}  // namespace

void vexRaster_SetColor(Color value) {
    drawColor = value;
}

void vexRaster_SetClearColor(Color value) {
    clearColor = value;
}

Color vexRaster_MakeColor(int greenBlue, int red) {
    return ((red & 0xff) << 16) | (greenBlue & 0xffff);
}

void vexRaster_SetPenSize(int r) {
    penHalfWidth = r;
    penHalfHeight = r;
}

int vexRaster_Initialize(int width, int height, unsigned char* buffer) {
    // The row table describes at most 65536 rows and every byte offset is an int: a canvas
    // beyond either would corrupt memory, so it is refused before anything changes.
    long long byteSize = static_cast<long long>(width) * height * 3;
    if (width < 0 || height < 0 || height > rowTableCapacity || byteSize > INT_MAX) {
        char message[256];
        std::snprintf(message, sizeof message,
                      "canvas of %d x %d pixels not supported (vexRaster_Initialize)", width,
                      height);
        vexError_Fatal(message);
    }
    canvasWidth = width;
    canvasHeight = height;
    canvasBuffer = buffer;
    canvasBytesPerPixel = 3;
    canvasByteSize = static_cast<int>(byteSize);
    canvasCenterX = width / 2;
    canvasCenterY = height / 2;

    // A table left by an earlier initialisation is released: nothing refers to it any more.
    if (canvasRowTable != nullptr) {
        vexMemory_Free(canvasRowTable);
    }
    canvasRowTable = static_cast<int*>(vexMemory_Calloc(rowTableCapacity * 4));
    // Rows are stored bottom-up, as the bitmap format wants: canvas row 0 is the last memory row.
    for (int y = 0; y < height; ++y) {
        canvasRowTable[y] = (height - 1 - y) * width;
    }
    return canvasByteSize;
}

void vexRaster_PutPixel(int offset) {
    if (penHalfWidth == 0 && penHalfHeight == 0) {
        if (offset >= 0 && offset < canvasByteSize) {
            storePixel(offset);
        }
        return;
    }
    // The footprint is tested against the whole buffer, not the row: positions off the left or
    // right end of a row land on the neighbouring memory row.
    // The extents are widened before negation, so no pen size can overflow the loop bounds.
    for (long long dy = -static_cast<long long>(penHalfHeight); dy <= penHalfHeight; ++dy) {
        for (long long dx = -static_cast<long long>(penHalfWidth); dx <= penHalfWidth; ++dx) {
            long long o = offset + (dy * canvasWidth + dx) * canvasBytesPerPixel;
            if (o >= 0 && o < canvasByteSize) {
                storePixel(static_cast<int>(o));
            }
        }
    }
}

void vexRaster_Clear() {
    Color saved = drawColor;
    drawColor = clearColor;
    for (int offset = 0; offset < canvasByteSize; offset += canvasBytesPerPixel) {
        vexRaster_PutPixel(offset);
    }
    drawColor = saved;
}

void vexRaster_ClearFast(int threadCount) {
    // Every pen leaves the same canvas as the clear pixel by pixel: a non-negative one writes
    // every pixel in the clear colour (footprints only overlap), a negative one writes nothing.
    if (penHalfWidth < 0 || penHalfHeight < 0 || canvasByteSize <= 0) {
        return;
    }
    vexThreads_ForkJoin(threadsFor(canvasByteSize, threadCount), clearShare, nullptr);
}

int vexRaster_PixelOffset(int x, int y) {
    int index = canvasRowTable[y] + x;
    switch (canvasBytesPerPixel) {
        case 2:
            return index * 2;
        case 3:
            return index * 3;
        case 4:
            return index * 4;
        default:
            return index;
    }
}

void vexRaster_Plot(int x, int y) {
    if (clipEnabled != 0 && (x < 0 || x >= canvasWidth || y < 0 || y >= canvasHeight)) {
        return;
    }
    vexRaster_PutPixel(vexRaster_PixelOffset(x, y));
}

int vexRaster_SwapRedBlue(unsigned char* buffer) {
    // The offset is tested before the first pixel too, so an empty canvas touches no byte.
    for (int offset = 0; offset < canvasByteSize; offset += canvasBytesPerPixel) {
        unsigned char red = buffer[offset];
        buffer[offset] = buffer[offset + 2];
        buffer[offset + 2] = red;
    }
    return 0;
}

int vexRaster_SwapRedBlueFast(unsigned char* buffer, int threadCount) {
    if (canvasByteSize > 0) {
        vexThreads_ForkJoin(threadsFor(canvasByteSize, threadCount), swapShare, buffer);
    }
    return 0;
}
