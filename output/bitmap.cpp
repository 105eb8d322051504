// Bitmap file writer: a 56-byte header, then the canvas bytes as they lie in memory (rows
// bottom-up, blue-green-red after the in-place swap), written atomically under the final name.
// Rows of a width whose 3 bytes per pixel do not make a multiple of four are padded with zeros,
// as the format requires; the program's 6000-pixel rows (18000 bytes) need none.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
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

// Writes every byte of the pieces, looping over partial writes and interrupted calls; false
// when the system refuses any of it. The pieces are consumed.
bool writePieces(int descriptor, struct iovec* pieces, int count) {
    while (count > 0) {
        ssize_t written = writev(descriptor, pieces, count < IOV_MAX ? count : IOV_MAX);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;  // a regular file that takes nothing will not take more later
        }
        size_t left = static_cast<size_t>(written);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return true;
}

// Header and pixels in as few system calls as the rows allow: one, when the rows need no
// padding (the program's picture); else batches of rows, each followed by its zero padding.
bool writeHeaderAndPixels(int descriptor, const unsigned char* header,
                          const unsigned char* pixels) {
    static const unsigned char zeros[3] = {0, 0, 0};
    const int batchPieces = 1024;
    struct iovec pieces[batchPieces];
    int count = 0;
    pieces[count++] = {const_cast<unsigned char*>(header), static_cast<size_t>(bitmapHeaderSize)};
    size_t rowBytes = static_cast<size_t>(canvasWidth) * 3;
    size_t padding = static_cast<size_t>(paddedRowBytes(canvasWidth)) - rowBytes;
    if (padding == 0) {
        pieces[count++] = {const_cast<unsigned char*>(pixels), static_cast<size_t>(canvasByteSize)};
        return writePieces(descriptor, pieces, count);
    }
    for (int row = 0; row < canvasHeight; ++row) {
        if (count + 2 > batchPieces) {
            if (!writePieces(descriptor, pieces, count)) {
                return false;
            }
            count = 0;
        }
        pieces[count++] = {const_cast<unsigned char*>(pixels) + row * rowBytes, rowBytes};
        pieces[count++] = {const_cast<unsigned char*>(zeros), padding};
    }
    return writePieces(descriptor, pieces, count);
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
    // The temporary file is made private; the picture gets the permissions of any file made
    // under the process's mask. A file system without modes refuses this, which is no failure.
    fchmod(descriptor, 0666 & ~mask);
    bool written = writeHeaderAndPixels(descriptor, header, pixels);
    // No fsync: the rename alone already means that a run that fails never leaves a partial
    // picture under the real name, and a whole-disk flush of 86 MB would cost the run more
    // than any other step but the drawing.
    written = close(descriptor) == 0 && written;
    if (!written || std::rename(tempName, fileName) != 0) {
        unlink(tempName);
        return -1;
    }
    return 0;
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
