// Output and statistics: the bitmap file writer, the frame timer on the platform's performance
// counter, frame counting and the statistics report.
#pragma once

// ---- Bitmap file --------------------------------------------------------------------------------

// Writes the canvas as "<baseName>.bmp", converting it to blue-green-red in place first. The
// name is replaced only by a complete file. Returns 0, or -1 when the file cannot be written.
int vexBitmap_Save(const char* baseName, int width, int height, int bitsPerPixel,
                   unsigned char* canvas);
// The same file and the same converted canvas as vexBitmap_Save, with the red/blue swap done on
// up to threadCount threads (vexRaster_SwapRedBlueFast).
int vexBitmap_SaveFast(const char* baseName, int width, int height, int bitsPerPixel,
                       unsigned char* canvas, int threadCount);

// ---- Frame timer and run statistics -------------------------------------------------------------

extern int statsDone;  // raised when the frame target is reached; the frame loop polls it

void vexTimer_Start();
void vexTimer_Stop();
double vexTimer_Rate(unsigned int n);

int vexStats_Begin(const char* title, int frames);
void vexStats_CountFrame();
int vexStats_FrameCount();
int vexStats_End();
