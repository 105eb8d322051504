// 3D view and facets, internal: the outlines only the facet renderer draws.
#pragma once

#include "view3d/view3d.h"

// Projects the corners and draws the closed outline in the current colour.
void vex3D_DrawTriangleOutline(Point3 t0, Point3 t1, Point3 t2);
void vex3D_DrawQuadOutline(Point3 q0, Point3 q1, Point3 q2, Point3 q3);
