#pragma once
// The surface of one mask region as a polygon model for other programs (OBJ or ASCII STL): built
// by marching cubes over the region's voxels in the unit cube, smoothed, mirrored in x, and
// written once scaled by the volume's size x pitch and once as it is.
#include <string>

// format 0 OBJ, 1 STL.  Reports which files were written.
void t_writeRegionSurface(int format, int id, int step, int umbrellaPasses, int lmPasses,
                          const double pitch[3], const std::string& path, const std::string& unitPath,
                          bool& pathWritten, bool& unitWritten);
