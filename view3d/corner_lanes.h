// Grid corners in vector lanes: the shades of both triangles of every cell and the projection
// of every corner, each with the facet renderer's and the projection's own operations in their
// order. A kernel body, included by the kernel units after the lanes (see lanes/lanes_scalar.h).
#pragma once

namespace {

// ---- Shading ------------------------------------------------------------------------------------

template <class L>
struct EdgeLanes {
    typename L::Real x, y, z;
};

// Scales an edge to unit length as the facet renderer does. The length is never 0 here (the
// frame checks every grid step), so the components that are exactly +0 stay +0 and are not
// divided.
template <class L>
inline void normalizeXZ(EdgeLanes<L>& e) {
    typename L::Real length = L::sqrt(e.z * e.z + e.y * e.y + e.x * e.x);
    e.x = e.x / length;
    e.z = e.z / length;
}

template <class L>
inline void normalizeYZ(EdgeLanes<L>& e) {
    typename L::Real length = L::sqrt(e.z * e.z + e.y * e.y + e.x * e.x);
    e.y = e.y / length;
    e.z = e.z / length;
}

template <class L>
inline typename L::Real shadeOf(const EdgeLanes<L>& n, const VexShadeColumn& c) {
    typedef typename L::Real Real;
    Real dot = n.z * L::splat(c.lightZ) + n.y * L::splat(c.lightY) + n.x * L::splat(c.lightX);
    Real shade = L::abs(dot) * L::splat(c.shadeRange) + L::splat(c.shadeLow);
    // A NaN shade takes the low shade, 0. |dot| <= 1 (unit edges, unit light), so the value
    // always fits an int.
    return L::select(L::isNan(shade), L::splat(c.shadeLow), shade);
}

template <class L>
inline void shadeCells(const VexShadeColumn& c, int j, unsigned char* shades) {
    typedef typename L::Real Real;
    const Real offset = L::splat(c.heightOffset);
    const Real zero = L::splat(0.0);
    // The corners' plot z, as the sweep builds them: P0 (x, y), P1 (xn, y), P2 (xn, yn),
    // P3 (x, yn).
    Real z0 = L::load(c.left + j) - offset;
    Real z1 = L::load(c.right + j) - offset;
    Real z2 = L::load(c.right + j + 1) - offset;
    Real z3 = L::load(c.left + j + 1) - offset;
    // E01 = P1 - P0, E03 = P3 - P0, E21 = P1 - P2, E23 = P3 - P2; a coordinate minus itself is +0.
    EdgeLanes<L> e01 = {L::splat(c.stepRight), zero, z1 - z0};
    EdgeLanes<L> e03 = {zero, L::load(c.stepUp + j), z3 - z0};
    EdgeLanes<L> e21 = {zero, L::load(c.stepDown + j), z1 - z2};
    EdgeLanes<L> e23 = {L::splat(c.stepLeft), zero, z3 - z2};
    normalizeXZ(e01);
    normalizeYZ(e03);
    normalizeYZ(e21);
    normalizeXZ(e23);
    // The cross products in full, zero components included, so that every product and
    // difference is the facet renderer's own.
    EdgeLanes<L> n1 = {e03.y * e01.z - e03.z * e01.y, e03.z * e01.x - e03.x * e01.z,
                       e03.x * e01.y - e03.y * e01.x};
    EdgeLanes<L> n2 = {e21.y * e23.z - e21.z * e23.y, e21.z * e23.x - e21.x * e23.z,
                       e21.x * e23.y - e21.y * e23.x};
    int first[L::width], second[L::width];
    L::truncate(shadeOf(n1, c), first);
    L::truncate(shadeOf(n2, c), second);
    for (int k = 0; k < L::width; ++k) {
        // Only the low byte of a shade reaches the colour.
        shades[2 * (j + k)] = static_cast<unsigned char>(first[k] & 0xff);
        shades[2 * (j + k) + 1] = static_cast<unsigned char>(second[k] & 0xff);
    }
}

template <class L>
void shadeColumn(const VexShadeColumn& column, int count, unsigned char* shades) {
    int j = 0;
    for (; j + L::width <= count; j += L::width) {
        shadeCells<L>(column, j, shades);
    }
    for (; j < count; ++j) {
        shadeCells<ScalarLanes>(column, j, shades);
    }
}

// ---- Projection ---------------------------------------------------------------------------------

// The integer part of a pixel offset as the projection takes it: NaN counts as 0 and offsets
// beyond the limit are held there.
template <class L>
inline void truncateOffsets(typename L::Real offset, int* out) {
    typedef typename L::Real Real;
    const Real limit = L::splat(static_cast<double>(vexProjectionLimit));
    const Real lowest = L::splat(-static_cast<double>(vexProjectionLimit));
    offset = L::select(L::isNan(offset), L::splat(0.0), offset);
    offset = L::select(L::ge(offset, limit), limit, offset);
    offset = L::select(L::ge(lowest, offset), lowest, offset);
    L::truncate(offset, out);
}

template <class L>
inline void projectCorners(const double* heights, const double* viewY, int j, double viewX,
                           const VexProjectionConstants& k, int* columns, int* rows) {
    typedef typename L::Real Real;
    Real X = L::splat(viewX);
    Real Y = L::load(viewY + j);
    Real z = L::load(heights + j) - L::splat(k.heightOffset);
    Real Z = (z - L::splat(k.centerZ)) * L::splat(k.scaleZ);
    Real V = L::splat(k.cosElevation) * Z + L::splat(k.sinElevCosAzim) * Y +
             L::splat(k.sinElevSinAzim) * X;
    Real D = L::splat(k.cosElevCosAzim) * Y + L::splat(k.cosElevSinAzim) * X -
             L::splat(k.sinElevation) * Z;
    Real H = L::splat(k.cosAzimuth) * X - L::splat(k.sinAzimuth) * Y;
    Real divisor = D - L::splat(k.eyeDepth);
    Real distance = L::splat(k.screenDistance);
    int across[L::width], up[L::width];
    truncateOffsets<L>(H * distance / divisor, across);
    truncateOffsets<L>(distance * V / divisor, up);
    for (int m = 0; m < L::width; ++m) {
        columns[j + m] = across[m] + k.centerX;
        rows[j + m] = k.centerY - up[m];
    }
}

template <class L>
void projectColumn(const double* heights, const double* viewY, int count, double viewX,
                   const VexProjectionConstants& camera, int* columns, int* rows) {
    int j = 0;
    for (; j + L::width <= count; j += L::width) {
        projectCorners<L>(heights, viewY, j, viewX, camera, columns, rows);
    }
    for (; j < count; ++j) {
        projectCorners<ScalarLanes>(heights, viewY, j, viewX, camera, columns, rows);
    }
}

}  // namespace
