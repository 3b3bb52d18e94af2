#pragma once
// TRoiMesh: the patch of a region surface around the user's fibers, with the sparse systems that
// bend it through fiber constraints while it keeps the detail of a reference shape.
//
// The systems come from the uniform Laplacian L of the patch, whose rows of fixed (border)
// vertices are identity rows:
//   M0 = L^T                       right-hand sides  b = M0 * delta
//   M1 = L^T L (+ 0.001 on free diagonals)        curvature diffusion
//   M2 = L^T L + residual terms of the edge-point constraints
//   M3 = L^T L + 10 * (constraint terms)         the deformation itself
// Each deformation is 8 least-squares solves of M3 with a target Laplacian per free vertex.
#include <cstdint>
#include <memory>
#include <vector>

#include "geom/TSparseMatrix.h"
#include "geom/TTriangleMesh.h"
#include "geom/vec3.h"

// Pins one patch vertex to a position.
struct TRoiVertexConstraint {
  int vertex = -1;
  double pos[3] = {0, 0, 0};
};

// Pulls the point t * P(a) + (1 - t) * P(b) of the patch edge a-b towards pos.
struct TRoiConstraint {
  int a = -1;
  int b = -1;
  double t = 0.0;
  double pos[3] = {0, 0, 0};
};

class TRoiMesh {
 public:
  static constexpr double kConstraintWeight = 10.0;
  static constexpr double kSmoothingWeight = 0.001;
  static constexpr int kIterations = 8;
  static constexpr double kBlendVoxels = 5.0;

  std::vector<double> curvature;                   // h, one per vertex
  TPoints refLaplacian;                            // d, from the reference positions
  std::vector<double> vertArea;                    // A: triangle areas around + 0.0001
  std::vector<uint16_t> fixedFlags;                // 1 on the patch border
  std::vector<TRoiConstraint> edgeConstraints;     // targets may be rewritten in place
  std::vector<TRoiVertexConstraint> vertConstraints;
  std::unique_ptr<TSparseMatrix> M0, M1, M2, M3;
  std::vector<double> rhs[3];
  std::vector<double> sol[3];                      // sol[0] also serves the scalar solves
  std::vector<double> blend;                       // w of the last fiber deformation
  bool luReady = false;                            // every factor the deformations use is current
  TTriangleMesh mesh;

  TRoiMesh() = default;
  TRoiMesh(const TRoiMesh&) = delete;
  TRoiMesh& operator=(const TRoiMesh&) = delete;

  int vertexCount() const { return mesh.vertexCount; }
  bool empty() const { return mesh.vertexCount == 0; }

  // Builds the patch and its systems.  refPositions are the vertex positions of the whole region
  // mesh that the caller keeps, map the region-mesh index of every patch vertex.  False when the
  // patch mesh cannot be built; true (with empty systems) for a patch without vertices.
  bool init(const TPoints& verts, const std::vector<TPolyIdx>& polys, const TPoints& refPositions,
            const std::vector<int>& map);
  void addVertexConstraints(const std::vector<TRoiVertexConstraint>& cs);
  void addEdgePointConstraints(const std::vector<TRoiConstraint>& cs);
  void clear();
  void computePolygonAreas();

  // The three deformations.  Each returns false, leaving the patch where it was, when a system
  // cannot be factorised or solved (for instance a closed patch without any constraint).
  bool deformByFibers(const std::vector<int>& map, const TPoints& refPositions, const double voxelSize[3]);
  bool deformLaplacianPreserving(const std::vector<int>& map, const TPoints& refPositions,
                                 const double voxelSize[3]);
  bool deformFiberMesh();

 private:
  void buildSystems();
  // Factorises the systems a deformation needs that are not current.
  bool ensureFactors(bool needResidual);
  void curvatureStep();
  // One iteration's solve of M3 for the target Laplacians; false when a solve fails.
  bool solvePositions(const TPoints& delta);
  bool iterate(int mode);

  // Per system: its factor matches its current entries.
  bool m_m1Regularised = false;
  bool m_factored[4] = {false, false, false, false};
};

// Adds v to entry (r, c) of m in its row lists and in its compressed arrays; entries outside the
// matrix's pattern are left alone (returns false).
bool t_addToSparseEntry(TSparseMatrix& m, int r, int c, double v);
