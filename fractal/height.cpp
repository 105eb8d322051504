// Mandelbrot height function: the escape time of z -> z^2 + c turned into a surface height.
#include <cmath>

#include "fractal/fractal.h"
#include "fractal/fractal_kernels.h"

namespace {

const int iterationCap = 1024;

}  // namespace

// Every operation below is rounded on its own and in this order; the picture (and the fast
// renderer that must match it bit for bit) depends on it, so nothing here may be regrouped.
double vexFractal_MandelbrotHeight(double re, double im) {
    double zx = re;
    double zy = im;
    double zx2 = zx * zx;
    double zy2 = zy * zy;
    int n = 0;
    for (;;) {
        // A NaN sum never passes this test, so NaN input runs the whole budget and gives 1.
        if (zy2 + zx2 >= vexEscapeThreshold) {
            break;
        }
        double t = zy * zx;
        zy = (t + t) + im;
        // The real part uses the squares of the previous z, computed once for the test above.
        zx = (zx2 + re) - zy2;
        n = n + 1;
        zy2 = zy * zy;
        zx2 = zx * zx;
        // The 1024th iterate is computed but never tested.
        if (n >= iterationCap) {
            return 1.0;
        }
    }
    double s = zy2 + zx2;
    // 2^n is exact for every n reached here, so the division only rounds once.
    double v = std::log10(s) / std::pow(2.0, n);
    if (v > 1.0) {
        v = 1.0;
    }
    return 1.0 - v;
}
