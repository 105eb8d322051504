// Output and statistics: the bitmap file writer, the frame timer on the platform's performance
// counter, frame counting and the statistics report.
#pragma once

// ---- Bitmap file --------------------------------------------------------------------------------

extern int bitmapHeaderSize;  // header bytes vexBitmap_WriteFile writes; 56 once a header is built

int vexBitmap_BuildHeader(int width, int height, unsigned char* destination);
int vexBitmap_WriteFile(const char* baseName, const unsigned char* header,
                        const unsigned char* pixels);
int vexBitmap_Save(const char* baseName, int width, int height, int bitsPerPixel,
                   unsigned char* canvas);
// The same file and the same converted canvas as vexBitmap_Save, with the red/blue swap done on
// up to threadCount threads (vexRaster_SwapRedBlueFast).
int vexBitmap_SaveFast(const char* baseName, int width, int height, int bitsPerPixel,
                       unsigned char* canvas, int threadCount);

// ---- Frame timer and run statistics -------------------------------------------------------------

extern int statsDone;  // raised when the frame target is reached; the frame loop polls it

int vexTimer_GetFrequency(double* frequency);
double vexTimer_Read();
void vexTimer_Start();
void vexTimer_Stop();
double vexTimer_Elapsed();
double vexTimer_Rate(unsigned int n);

int vexStats_Begin(const char* title, int frames);
void vexStats_ResetFrames();
void vexStats_CountFrame();
int vexStats_FrameCount();
int vexStats_Report();
int vexStats_End();
