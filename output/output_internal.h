// Output and statistics, internal: the steps of the bitmap writer and the timer that only the
// output files and their tests use.
#pragma once

#include "output/output.h"

// ---- Bitmap file --------------------------------------------------------------------------------

extern int bitmapHeaderSize;  // header bytes vexBitmap_WriteFile writes; 56 once a header is built

int vexBitmap_BuildHeader(int width, int height, unsigned char* destination);
int vexBitmap_WriteFile(const char* baseName, const unsigned char* header,
                        const unsigned char* pixels);

// ---- Frame timer and run statistics -------------------------------------------------------------

int vexTimer_GetFrequency(double* frequency);
double vexTimer_Read();
double vexTimer_Elapsed();
void vexStats_ResetFrames();
int vexStats_Report();
