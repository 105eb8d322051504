// Bitmap file writer: a 56-byte header, then the canvas bytes as they lie in memory (rows
// bottom-up, blue-green-red after the in-place swap), written atomically under the final name.
// Rows of a width whose 3 bytes per pixel do not make a multiple of four are padded with zeros,
// as the format requires; the program's 6000-pixel rows (18000 bytes) need none.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/driver.h"
#include "output/output.h"
#include "raster/raster.h"

int bitmapHeaderSize = 0;

namespace {

const int headerBytes = 56;  // 14-byte file header, 40-byte information header, 2 gap bytes

void putLittleEndian(unsigned char* at, unsigned int value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

// The temporary file lies in the picture's own folder, so the final rename stays on one file
// system; it has a short name of its own, so a base name near the limit still leaves room.
bool temporaryNameFor(const char* fileName, char* out, size_t size) {
    const char* slash = std::strrchr(fileName, '/');
    int folderLength = slash == nullptr ? 0 : static_cast<int>(slash - fileName + 1);
    int length = std::snprintf(out, size, "%.*svexbitmap-XXXXXX", folderLength, fileName);
    return length >= 0 && length < static_cast<int>(size);
}

// Bytes of one file row: 3 per pixel, rounded up to a multiple of four.
long long paddedRowBytes(long long width) {
    return (width * 3 + 3) / 4 * 4;
}

// True when every byte went out; fwrite itself retries short writes until the disk refuses.
bool writeAll(std::FILE* file, const unsigned char* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, file) == size;
}

// The canvas goes out as one block when its rows need no padding, else row by row.
bool writePixels(std::FILE* file, const unsigned char* pixels) {
    size_t rowBytes = static_cast<size_t>(canvasWidth) * 3;
    size_t padding = static_cast<size_t>(paddedRowBytes(canvasWidth)) - rowBytes;
    if (padding == 0) {
        return writeAll(file, pixels, static_cast<size_t>(canvasByteSize));
    }
    const unsigned char zeros[3] = {0, 0, 0};
    for (int row = 0; row < canvasHeight; ++row) {
        if (!writeAll(file, pixels + row * rowBytes, rowBytes) || !writeAll(file, zeros, padding)) {
            return false;
        }
    }
    return true;
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
    char tempName[sizeof fileName + 32];
    int nameLength = std::snprintf(fileName, sizeof fileName, "%s.bmp", baseName);
    if (nameLength < 0 || nameLength >= static_cast<int>(sizeof fileName) ||
        !temporaryNameFor(fileName, tempName, sizeof tempName)) {
        return -1;
    }

    // The picture is written under a temporary name in the same folder and renamed over the
    // real name only once every byte is out: a failed write never leaves a truncated picture
    // behind, and an older good one survives it.
    int descriptor = mkstemp(tempName);
    if (descriptor < 0) {
        return -1;
    }
    mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        close(descriptor);
        unlink(tempName);
        return -1;
    }
    bool written =
        writeAll(file, header, static_cast<size_t>(bitmapHeaderSize)) && writePixels(file, pixels);
    written = std::fflush(file) == 0 && written;
    // The bytes reach the disk before the rename makes them the picture: after a crash the name
    // holds the older file or the whole new one, never a new one still half in the cache.
    written = written && fsync(fileno(file)) == 0;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(tempName, fileName) != 0) {
        unlink(tempName);
        return -1;
    }
    return 0;
}

int vexBitmap_Save(const char* baseName, int width, int height, int bitsPerPixel,
                   unsigned char* canvas) {
    (void)bitsPerPixel;  // the file is always 24 bits per pixel
    int size = vexBitmap_BuildHeader(width, height, nullptr);
    unsigned char* header = static_cast<unsigned char*>(vexMemory_Calloc(size));
    vexBitmap_BuildHeader(width, height, header);
    vexRaster_SwapRedBlue(canvas);
    int result = vexBitmap_WriteFile(baseName, header, canvas);
    vexMemory_Free(header);
    return result;
}
