// The fiber contour file of a fixed scene, against text built here from the scene's numbers with
// iostream formatting, block by block as the file format lays them out.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <string>
#include <unistd.h>

#include "modes/curve/kernels/TFiberScene.h"

namespace {

std::string f6(double v) {
  std::ostringstream s;
  s << std::fixed << std::setprecision(6) << v;
  return s.str();
}

std::string readFile(const std::string& path) {
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TFiberStroke fiber(const TPoints& pts, bool closed, const std::vector<TFiberConstraint>& cs,
                   const std::vector<int>& pointConstraint) {
  TFiberStroke f;
  f.points = pts;
  f.closed = closed;
  f.constraints = cs;
  f.pointConstraint = pointConstraint;
  f.radius = 0.25;  // stored copies get 0.01
  return f;
}

TFiberConstraint constraint(int ma, int mb, double w, int fa, int fb, double t, bool active) {
  TFiberConstraint c;
  c.meshA = ma;
  c.meshB = mb;
  c.w = w;
  c.fibA = fa;
  c.fibB = fb;
  c.t = t;
  c.active = active ? 1 : 0;
  return c;
}

class ContoursFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/kestrin_cntrsXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

}  // namespace

TEST_F(ContoursFile, StoreWritesTheSceneInTheFileLayout) {
  TFiberScene scene;
  scene.targetId = 17;
  TTriangleMesh tet;
  ASSERT_TRUE(tet.initFromVertsPolys({{0, 0, 0}, {1.5, 0, 0}, {0, -2.25, 0}, {0.125, 0.5, 3.0000004}},
                                     {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {0, 3, 2}}));
  scene.setRegionMesh(tet);
  scene.initialPositions[2].set(-7.1234567, 0.0000004, 1e3);

  // One fiber stored earlier (open, two points), one new closed fiber of three points.
  scene.storedFibers.push_back(fiber({{0.5, 0, 0}, {0.2, 0.3, 1.9}}, false,
                                     {constraint(0, 1, 0.5, 0, 1, 1.0, true)}, {0, 0}));
  scene.storedFibers[0].radius = 0.01;
  scene.newFibers.push_back(fiber({{0.1, 0.2, 0.3}, {-0.4, 0.5, 0.6}, {0.7, -0.8, 0.9}}, true,
                                  {constraint(1, 3, 0.25, 0, 1, 0.75, true), constraint(2, 3, 0.0625, 1, 2, 0.0, false)},
                                  {0, 1, 1}));
  // A cross point joining both (its first new pair moves into the stored pairs), and one that
  // has no stored pair at all after the store.
  TCrossPoint joined;
  joined.storedPairs = {{0, 1}};
  joined.newPairs = {{0, 2}, {0, 0}};
  TCrossPoint bare;
  scene.crossPoints = {joined, bare};

  const std::string path = dir_ + "/tmp.cntrs";
  ASSERT_EQ(scene.storeFiber(path), TContoursWrite::Written);
  EXPECT_TRUE(scene.newFibers.empty());
  ASSERT_EQ(scene.storedFibers.size(), 2u);

  std::ostringstream e;
  e << "contoursAndSurface 17\n";
  e << "polgonModel 4 4\n";
  const double V[4][3] = {{0, 0, 0}, {1.5, 0, 0}, {0, -2.25, 0}, {0.125, 0.5, 3.0000004}};
  for (const auto& v : V) e << f6(v[0]) << " " << f6(v[1]) << " " << f6(v[2]) << "\n";
  e << "0 2 1\n0 1 3\n1 2 3\n0 3 2\n";
  e << "3DVectors 4\n";
  double I[4][3] = {{0, 0, 0}, {1.5, 0, 0}, {-7.1234567, 0.0000004, 1e3}, {0.125, 0.5, 3.0000004}};
  for (const auto& v : I) e << f6(v[0]) << " " << f6(v[1]) << " " << f6(v[2]) << "\n";
  e << "RecContFibs 2\n";
  // The fiber stored earlier.
  e << "fibConst\n" << "fiber 2 0 0.010000\n";
  e << "0.500000 0.000000 0.000000\n0.200000 0.300000 1.900000\n";
  e << "0 \n0 \n";
  e << "const 1\n" << "0 1 0.500000 0 1 1.000000  1\n";
  // The new fiber: closed, stored with radius 0.01.
  e << "fibConst\n" << "fiber 3 1 0.010000\n";
  e << "0.100000 0.200000 0.300000\n-0.400000 0.500000 0.600000\n0.700000 -0.800000 0.900000\n";
  e << "0 \n1 \n1 \n";
  e << "const 2\n" << "1 3 0.250000 0 1 0.750000  1\n" << "2 3 0.062500 1 2 0.000000  0\n";
  // Cross points: stored pairs only, the new fiber's pair renumbered after the stored ones.
  e << "CrossPoint 2\n" << "2\n" << "0 1 \n" << "1 2 \n" << "0\n";
  e << "END\n";
  EXPECT_EQ(readFile(path), e.str());

  // Storing again with nothing new rewrites the same file.
  ASSERT_EQ(scene.storeFiber(path), TContoursWrite::Written);
  EXPECT_EQ(readFile(path), e.str());
}

TEST_F(ContoursFile, EmptySceneAndFailedWrites) {
  TFiberScene scene;
  const std::string path = dir_ + "/tmp.cntrs";
  ASSERT_EQ(scene.writeContours(path), TContoursWrite::Written);
  EXPECT_EQ(readFile(path), "contoursAndSurface -1\npolgonModel 0 0\n3DVectors 0\nRecContFibs 0\nCrossPoint 0\nEND\n");

  EXPECT_EQ(scene.writeContours(dir_ + "/missing/tmp.cntrs"), TContoursWrite::NotOpened);
  if (access("/dev/full", W_OK) == 0) {
    // The device accepts the open and fails every write: the failure must not pass as success.
    TTriangleMesh box;
    box.initBox(1, 1, 1);
    scene.setRegionMesh(box);
    EXPECT_EQ(scene.writeContours("/dev/full"), TContoursWrite::WriteFailed);
  }
}
