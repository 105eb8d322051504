// Every module's kernel bodies, in the order they build on one another, for a kernel unit to
// include after its lanes; the table that lists them comes last. Includes only the bodies
// themselves (see lanes/lanes_scalar.h).
#pragma once

#include "fractal/orbit_escape.h"

#include "fractal/orbit_lanes.h"

#include "view3d/corner_lanes.h"

#include "raster/fixed_point.h"

#include "raster/band_lines.h"

#include "raster/band_triangles.h"

#include "raster/cell_rows.h"

#include "raster/band_cells.h"

#include "kernels/kernel_table.h"
