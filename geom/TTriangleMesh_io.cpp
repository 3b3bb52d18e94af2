// Text writers of TTriangleMesh: OBJ, ASCII STL and the "polgonModel" block.
#include "geom/TTriangleMesh.h"

namespace {
// fclose also flushes: a full disk or a closed pipe shows up here at the latest.
bool finishAndClose(FILE* fp) {
  const bool failed = ferror(fp) != 0;
  const bool closeFailed = fclose(fp) != 0;
  return !failed && !closeFailed;
}
}  // namespace

bool TTriangleMesh::exportObjFile(FILE* fp) const {
  if (!fp) return false;
  fprintf(fp, "#Polygon model by TTriangleMesh\n");
  for (int i = 0; i < vertexCount; ++i) fprintf(fp, "v %f %f %f\n", verts[i][0], verts[i][1], verts[i][2]);
  for (int i = 0; i < polyCount; ++i) fprintf(fp, "f %d %d %d\n", polys[i][0] + 1, polys[i][1] + 1, polys[i][2] + 1);
  return finishAndClose(fp);
}

bool TTriangleMesh::exportStlFile(FILE* fp) const {
  if (!fp) return false;
  fprintf(fp, "solid ModelCreatedFromTTriangleMesh\n");
  for (int i = 0; i < polyCount; ++i) {
    const TVec3& n = polyNormals[i];
    fprintf(fp, "facet normal %e %e %e\n", n[0], n[1], n[2]);
    fprintf(fp, " outer loop\n");
    for (int k = 0; k < 3; ++k) {
      const TVec3& v = verts[polys[i][k]];
      fprintf(fp, "  vertex %e %e %e\n", v[0], v[1], v[2]);
    }
    fprintf(fp, " endloop\n");
    fprintf(fp, "endfacet\n");
  }
  fprintf(fp, "endsolid ModelCreatedFromTTriangleMesh\n");
  return finishAndClose(fp);
}

bool TTriangleMesh::writePolygonModel(FILE* fp) const {
  if (!fp) return false;
  fprintf(fp, "polgonModel %d %d\n", vertexCount, polyCount);
  for (int i = 0; i < vertexCount; ++i) fprintf(fp, "%f %f %f\n", verts[i][0], verts[i][1], verts[i][2]);
  for (int i = 0; i < polyCount; ++i) fprintf(fp, "%d %d %d\n", polys[i][0], polys[i][1], polys[i][2]);
  // The stream stays open for the caller; flush so that a failed write is seen now.
  return fflush(fp) == 0 && ferror(fp) == 0;
}
