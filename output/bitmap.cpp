// Bitmap file writer: a 56-byte header, then the canvas bytes as they lie in memory (rows
// bottom-up, blue-green-red after the in-place swap), written atomically under the final name.
// Rows of a width whose 3 bytes per pixel do not make a multiple of four are padded with zeros,
// as the format requires; the program's 6000-pixel rows (18000 bytes) need none.
#include <cstdio>
#include <cstring>

#include "driver/driver.h"
#include "output/output.h"
#include "output/output_internal.h"
#include "platform/platform.h"
#include "raster/raster.h"

int bitmapHeaderSize = 0;

namespace {

const int headerBytes = 56;  // 14-byte file header, 40-byte information header, 2 gap bytes

// The file being written; module state rather than a local, as its two names take 8 KiB and the
// program must run on a small stack.
VexFileReplace bitmapReplace;

void putLittleEndian(unsigned char* at, unsigned int value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// Bytes of one file row: 3 per pixel, rounded up to a multiple of four.
long long paddedRowBytes(long long width) {
    return (width * 3 + 3) / 4 * 4;
}

// Header and pixels in as few system calls as the rows allow: one, when the rows need no
// padding (the program's picture); else batches of rows, each followed by its zero padding.
bool writeHeaderAndPixels(VexFileReplace* file, const unsigned char* header,
                          const unsigned char* pixels) {
    static const unsigned char zeros[3] = {0, 0, 0};
    const int batchPieces = 1024;
    VexFilePiece pieces[batchPieces];
    int count = 0;
    pieces[count++] = {header, bitmapHeaderSize};
    long long rowBytes = static_cast<long long>(canvasWidth) * 3;
    long long padding = paddedRowBytes(canvasWidth) - rowBytes;
    if (padding == 0) {
        pieces[count++] = {pixels, canvasByteSize};
        return vexPlatform_WriteFileReplace(file, pieces, count) != 0;
    }
    for (int row = 0; row < canvasHeight; ++row) {
        if (count + 2 > batchPieces) {
            if (!vexPlatform_WriteFileReplace(file, pieces, count)) {
                return false;
            }
            count = 0;
        }
        pieces[count++] = {pixels + row * rowBytes, rowBytes};
        pieces[count++] = {zeros, padding};
    }
    return vexPlatform_WriteFileReplace(file, pieces, count) != 0;
}

// Builds the header, converts the canvas to blue-green-red with the given swap and writes the
// file; the literal and the fast save differ only in the swap.
template <typename Swap>
int saveWith(const char* baseName, int width, int height, unsigned char* canvas, const Swap& swap) {
    int size = vexBitmap_BuildHeader(width, height, nullptr);
    unsigned char* header = static_cast<unsigned char*>(vexMemory_Calloc(size));
    vexBitmap_BuildHeader(width, height, header);
    swap(canvas);
    int result = vexBitmap_WriteFile(baseName, header, canvas);
    vexMemory_Free(header);
    return result;
}

}  // namespace

int vexBitmap_BuildHeader(int width, int height, unsigned char* destination) {
    bitmapHeaderSize = headerBytes;
    if (destination == nullptr) {
        return headerBytes;
    }
    long long absHeight = height < 0 ? -static_cast<long long>(height) : height;
    unsigned int imageSize = static_cast<unsigned int>(paddedRowBytes(width) * absHeight);

    unsigned char* scratch = static_cast<unsigned char*>(vexMemory_Calloc(headerBytes));
    scratch[0] = 'B';
    scratch[1] = 'M';
    putLittleEndian(scratch + 2, headerBytes + imageSize, 4);  // file size
    putLittleEndian(scratch + 10, headerBytes, 4);             // offset of the pixel data
    putLittleEndian(scratch + 14, 40, 4);                      // information header size
    putLittleEndian(scratch + 18, static_cast<unsigned int>(width), 4);
    putLittleEndian(scratch + 22, static_cast<unsigned int>(height), 4);  // positive: bottom-up
    putLittleEndian(scratch + 26, 1, 2);                                  // colour planes
    putLittleEndian(scratch + 28, 24, 2);                                 // bits per pixel
    putLittleEndian(scratch + 34, imageSize, 4);
    std::memcpy(destination, scratch, headerBytes);
    vexMemory_Free(scratch);
    return headerBytes;
}

int vexBitmap_WriteFile(const char* baseName, const unsigned char* header,
                        const unsigned char* pixels) {
    // A base name of more than 251 characters does not fit the name buffer with ".bmp": the
    // write is refused rather than made under a cut-off name.
    char fileName[256];
    int nameLength = std::snprintf(fileName, sizeof fileName, "%s.bmp", baseName);
    if (nameLength < 0 || nameLength >= static_cast<int>(sizeof fileName)) {
        return -1;
    }

    // The picture is written as a new file that takes the name only once every byte is out: a
    // failed or interrupted write never leaves a truncated picture behind, and an older good one
    // survives it. The name is replaced, not the older file rewritten, so the new picture keeps
    // the older one's permission bits but not its owner.
    if (!vexPlatform_BeginFileReplace(&bitmapReplace, fileName)) {
        return -1;
    }
    if (!writeHeaderAndPixels(&bitmapReplace, header, pixels)) {
        vexPlatform_AbandonFileReplace(&bitmapReplace);
        return -1;
    }
    return vexPlatform_CommitFileReplace(&bitmapReplace) ? 0 : -1;
}

int vexBitmap_Save(const char* baseName, int width, int height, int bitsPerPixel,
                   unsigned char* canvas) {
    (void)bitsPerPixel;  // the file is always 24 bits per pixel
    return saveWith(baseName, width, height, canvas,
                    [](unsigned char* pixels) { vexRaster_SwapRedBlue(pixels); });
}

int vexBitmap_SaveFast(const char* baseName, int width, int height, int bitsPerPixel,
                       unsigned char* canvas, int threadCount) {
    (void)bitsPerPixel;
    return saveWith(baseName, width, height, canvas, [threadCount](unsigned char* pixels) {
        vexRaster_SwapRedBlueFast(pixels, threadCount);
    });
}
