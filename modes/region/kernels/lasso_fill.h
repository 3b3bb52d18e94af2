#pragma once
// Filling of a closed lasso drawn on a slice plane.
#include <cstdint>
#include <vector>

#include "geom/vec3.h"
#include "modes/region/kernels/brush_paint.h"
#include "modes/region/kernels/voxel_box.h"

// Scan-line fill of a closed polygon (x and y of each point; the last point joins the first)
// into a w x h byte grid of cells cx x cy: a cell is 255 when its centre ((c + 0.5) cx,
// (r + 0.5) cy) is inside the polygon by the even-odd rule, else 0.  The polygon may cross
// itself and may reach outside the grid.  grid is resized to w * h, row r at r * w.
void t_fillLassoPolygon(int w, int h, const double cellSize[2], const TPoints& polygon,
                        std::vector<std::uint8_t>& grid);

// A lasso stroke on one slice plane: plane 0 (XY) fills a W x H grid from (x, y) at slice
// k = min(D * position, D - 1); plane 1 (YZ) an H x D grid from (y, z) at slice i of x;
// plane 2 (ZX) a W x D grid from (x, z) at slice j of y.  `position` is the slice position of
// that plane's axis as a fraction 0..1 of the box.  Every filled cell's voxel gets t_lassoVoxel.
// A stroke of fewer than 3 points does nothing.  Returns the number of flags changed.
std::int64_t t_applyLassoStroke(const TVoxelBox& box, const TPoints& stroke, int plane,
                                double position, bool paint, const TPaintRules& rules,
                                std::uint8_t* flags, const std::uint8_t* mask);
