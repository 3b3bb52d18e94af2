// Iso-surface extraction from a regular voxel grid (marching cubes) into a TTriangleMesh.
//
// Samples sit at voxel centres ((a + 0.5) sx, (b + 0.5) sy, (c + 0.5) sz) with
// s = extent / (W, H, D).  The lattice is padded by one border layer on every side
// (0 for bytes, -1.0 for floats), so every surface closes at the volume's border.  The
// surfaces are closed, and every triangle's right-hand normal points out of the inside.
// Vertex and triangle order do not depend on the number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "geom/TTriangleMesh.h"

// Surface around the nonzero voxels.  lo/hi (both given or both null): an inclusive voxel
// box that holds every nonzero voxel; only the cells touching it are visited.
void t_marchingCubesByte(uint32_t W, uint32_t H, uint32_t D, const uint8_t* volume, const double extent[3],
                         TTriangleMesh& mesh, const int* lo, const int* hi);
// Surface of field > iso (a value equal to iso is outside), linear along the cut edges.
void t_marchingCubesFloat(uint32_t W, uint32_t H, uint32_t D, const float* field, float iso,
                          const double extent[3], TTriangleMesh& mesh, const int* lo, const int* hi);
// Surface of the voxels equal to id, on a grid coarsened by step (a block is inside when
// more than half of its voxels carry the id).
void t_marchingCubesMaskRegion(int W, int H, int D, const uint8_t* mask, uint32_t id, const double extent[3],
                               TTriangleMesh& mesh, int step);
// The same for every nonzero voxel.
void t_marchingCubesNonZero(int W, int H, int D, const uint8_t* volume, const double extent[3],
                            TTriangleMesh& mesh, int step);

// The extraction itself, into plain arrays (no mesh build, no console line).
void t_marchingCubesByteArrays(uint32_t W, uint32_t H, uint32_t D, const uint8_t* volume, const double extent[3],
                               std::vector<TVec3>& verts, std::vector<TPolyIdx>& tris, const int* lo,
                               const int* hi);
void t_marchingCubesFloatArrays(uint32_t W, uint32_t H, uint32_t D, const float* field, float iso,
                                const double extent[3], std::vector<TVec3>& verts, std::vector<TPolyIdx>& tris,
                                const int* lo, const int* hi);
