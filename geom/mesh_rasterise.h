// Voxelisation of a closed triangle mesh into a byte volume.
#pragma once

#include <cstdint>

class TTriangleMesh;

// Fills out (W*H*D bytes, x fastest) with 1 at the voxel centres inside the closed mesh
// and 0 elsewhere; voxel (x, y, z) has its centre at ((x + 0.5) px, (y + 0.5) py,
// (z + 0.5) pz) with p = extent / (W, H, D).  The mesh's polygon normals are recomputed.
// Returns whether any voxel is inside.  Throws std::bad_alloc when its working lists find no
// memory (out is then incomplete).
bool t_rasterizeMeshToVolume(int W, int H, int D, TTriangleMesh& mesh, const double extent[3], uint8_t* out);
