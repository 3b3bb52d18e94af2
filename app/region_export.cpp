#include "app/region_export.h"

#include <cstdio>

#include "geom/TTriangleMesh.h"
#include "geom/marching_cubes.h"
#include "volume/TextureManager.h"

namespace {

bool writeMesh(const TTriangleMesh& mesh, int format, const std::string& path) {
  FILE* fp = std::fopen(path.c_str(), "w");
  if (!fp) return false;
  // The writer closes the stream.
  return format == 0 ? mesh.exportObjFile(fp) : mesh.exportStlFile(fp);
}

}  // namespace

void t_writeRegionSurface(int format, int id, int step, int umbrellaPasses, int lmPasses,
                          const double pitch[3], const std::string& path, const std::string& unitPath,
                          bool& pathWritten, bool& unitWritten) {
  pathWritten = unitWritten = false;
  TextureManager& tm = TextureManager::getInst();
  const int W = tm.getW(), H = tm.getH(), D = tm.getD();
  TTriangleMesh unit, scaled;
  const double extent[3] = {1, 1, 1};
  if (tm.volMask.data && tm.volMask.W == W && tm.volMask.H == H && tm.volMask.D == D)
    t_marchingCubesMaskRegion(W, H, D, tm.volMask.data, uint32_t(id), extent, unit, step < 1 ? 1 : step);
  unit.smoothUmbrella(umbrellaPasses);
  unit.smoothLM(lmPasses);
  // Mirrored against the voxel order in x; the triangles then face outwards again when flipped.
  for (TVec3& v : unit.verts) v[0] = 1.0 - v[0];
  unit.flipOrientation();
  scaled.copyFrom(unit);
  const double s[3] = {W * pitch[0], H * pitch[1], D * pitch[2]};
  for (TVec3& v : scaled.verts)
    for (int k = 0; k < 3; ++k) v[k] *= s[k];
  unit.updateNormals();
  scaled.updateNormals();
  pathWritten = writeMesh(scaled, format, path);
  unitWritten = writeMesh(unit, format, unitPath);
}
