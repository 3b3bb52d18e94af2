#include "modes/curve/kernels/cntrs_file.h"

#include <cstdio>

bool t_writeContours(FILE* fp, int targetId, const TTriangleMesh& mesh, const TPoints& initial,
                     const std::vector<TFiberStroke>& stored, const std::vector<TCrossPoint>& cps) {
  if (!fp) return false;
  bool ok = std::fprintf(fp, "contoursAndSurface %d\n", targetId) >= 0;
  ok = mesh.writePolygonModel(fp) && ok;
  t_printVectors3D(fp, initial);
  std::fprintf(fp, "RecContFibs %d\n", static_cast<int>(stored.size()));
  for (const TFiberStroke& f : stored) ok = f.writeConstraints(fp) && ok;
  std::fprintf(fp, "CrossPoint %d\n", static_cast<int>(cps.size()));
  for (const TCrossPoint& cp : cps) {
    std::fprintf(fp, "%d\n", static_cast<int>(cp.storedPairs.size()));
    for (const auto& p : cp.storedPairs) std::fprintf(fp, "%d %d \n", p.first, p.second);
  }
  std::fprintf(fp, "END\n");
  return ok && std::fflush(fp) == 0 && std::ferror(fp) == 0;
}

TContoursWrite t_writeContoursFile(const std::string& path, int targetId, const TTriangleMesh& mesh,
                                   const TPoints& initial, const std::vector<TFiberStroke>& stored,
                                   const std::vector<TCrossPoint>& cps) {
  FILE* fp = std::fopen(path.c_str(), "w");
  if (!fp) return TContoursWrite::NotOpened;
  const bool ok = t_writeContours(fp, targetId, mesh, initial, stored, cps);
  const bool closed = std::fclose(fp) == 0;
  return ok && closed ? TContoursWrite::Written : TContoursWrite::WriteFailed;
}
