// The mask-ID table and its region operations on the holder's mask.
#include <cmath>

#include "regions_test_util.h"

namespace {

using namespace regions_test;

uint8_t* mask() { return TextureManager::getInst().volMask.data; }
TMaskIdTable& table() { return TMaskIdTable::getInst(); }
const int W = 8, H = 7, D = 6;  // the fixture's volume

void setVoxel(int x, int y, int z, uint8_t id) { mask()[idx(W, H, x, y, z)] = id; }
int countId(uint8_t id) {
  int n = 0;
  for (int64_t i = 0; i < TextureManager::getInst().volMask.size(); ++i) n += mask()[i] == id;
  return n;
}

// Six times the signed volume enclosed by the surface: positive when the triangles wind so that
// their normals point out of the region.
double signedVolume(const TTriangleMesh& m) {
  double s = 0;
  for (int p = 0; p < m.polyCount; ++p) {
    double c[3];
    t_cross3(m.verts[m.polys[p][1]], m.verts[m.polys[p][2]], c);
    s += t_dot3(m.verts[m.polys[p][0]], c);
  }
  return s;
}

using RegionTable = RegionsFixture;

TEST_F(RegionTable, DefaultsAndColourTable) {
  EXPECT_EQ(table().records.size(), 256u);
  EXPECT_EQ(table().records[7].color, 0x070707u);
  EXPECT_EQ(table().records[7].alpha, 0);
  EXPECT_EQ(table().records[7].used, 0);
  EXPECT_EQ(table().records[0].used, 1);
  const uint8_t* e = table().colorTable.data + 4 * 7;
  EXPECT_EQ(e[0], 7);
  EXPECT_EQ(e[1], 7);
  EXPECT_EQ(e[2], 7);
  EXPECT_EQ(e[3], 0);
  // A polygon-rendered region is invisible in the voxel colours whatever its alpha.
  table().records[5].alpha = 200;
  table().records[5].polygonRendering = 1;
  table().updateColorTexture();
  EXPECT_EQ(table().colorTable.data[4 * 5 + 3], 0);
  expectColorTableCurrent();
}

TEST_F(RegionTable, CommitBuildsTheSurfaceAndRefusesStrangeIds) {
  for (int z = 1; z <= 3; ++z)
    for (int y = 2; y <= 4; ++y)
      for (int x = 2; x <= 5; ++x) setVoxel(x, y, z, 6);
  const Snapshot before = Snapshot::take();
  table().activateRegion(300);
  EXPECT_TRUE(prompts_.sawText("error strange mask id is accessed!"));
  EXPECT_TRUE(Snapshot::take() == before);

  table().activateRegion(6);
  const TMaskIdInfo& r = table().records[6];
  EXPECT_EQ(r.used, 1);
  EXPECT_EQ(r.alpha, 200);
  EXPECT_EQ(r.polygonRendering, 0);
  ASSERT_GT(r.surface.polyCount, 0);
  EXPECT_GT(signedVolume(r.surface), 0.0) << "surface normals point out of the region";
  for (int v = 0; v < r.surface.vertexCount; ++v)
    for (int a = 0; a < 3; ++a) {
      EXPECT_GT(r.surface.verts[v][a], 0.0);
      EXPECT_LT(r.surface.verts[v][a], 1.0);
    }
  expectColorTableCurrent();
}

TEST_F(RegionTable, MoveMergeDelete) {
  setVoxel(1, 1, 1, 3);
  setVoxel(2, 1, 1, 3);
  setVoxel(5, 5, 4, 4);
  table().records[3].color = 0x123456;
  table().activateRegion(3);
  table().activateRegion(4);

  // Moving onto itself, moving a region onto the background, or out of range does nothing.
  const Snapshot before = Snapshot::take();
  table().moveRegion(3, 3);
  table().mergeRegion(3, 3);
  table().moveRegion(3, 0);
  table().moveRegion(3, 256);
  table().mergeRegion(0, 256);
  EXPECT_TRUE(Snapshot::take() == before);
  EXPECT_EQ(countId(0), W * H * D - 3);

  const TTriangleMesh surface3 = table().records[3].surface;
  table().moveRegion(3, 5);
  EXPECT_EQ(countId(3), 0);
  EXPECT_EQ(countId(5), 2);
  EXPECT_EQ(table().records[5].color, 0x123456u);
  EXPECT_EQ(table().records[5].alpha, 200);
  EXPECT_EQ(table().records[5].used, 1);
  EXPECT_EQ(table().records[5].surface.verts, surface3.verts);
  EXPECT_EQ(table().records[3].color, 0x030303u);
  EXPECT_EQ(table().records[3].used, 0);
  EXPECT_EQ(table().records[3].surface.vertexCount, 0);
  expectColorTableCurrent();

  table().mergeRegion(5, 4);
  EXPECT_EQ(countId(5), 0);
  EXPECT_EQ(countId(4), 3);
  EXPECT_EQ(table().records[4].used, 1);
  EXPECT_EQ(table().records[5].used, 0);
  EXPECT_GT(table().records[4].surface.polyCount, 0);
  expectColorTableCurrent();

  table().deleteRegion(4);
  EXPECT_EQ(countId(4), 0);
  EXPECT_EQ(countId(0), W * H * D);
  EXPECT_EQ(table().records[4].used, 0);
  EXPECT_EQ(table().records[4].alpha, 0);
  EXPECT_EQ(table().records[4].surface.vertexCount, 0);
  expectColorTableCurrent();

  // Merging into the background erases the region; the background keeps its record and gets no
  // surface.
  setVoxel(6, 2, 3, 7);
  setVoxel(6, 3, 3, 7);
  table().activateRegion(7);
  TextureManager::getInst().volMask.texName = 12345;  // stands for an uploaded texture
  table().mergeRegion(7, 0);
  EXPECT_EQ(countId(7), 0);
  EXPECT_EQ(countId(0), W * H * D);
  EXPECT_EQ(table().records[7].used, 0);
  EXPECT_EQ(table().records[7].surface.vertexCount, 0);
  EXPECT_EQ(table().records[0].used, 1);
  EXPECT_EQ(table().records[0].alpha, 0);
  EXPECT_EQ(table().records[0].surface.vertexCount, 0);
  EXPECT_EQ(TextureManager::getInst().volMask.texName, TOGL3DImage::kNoTexture);
  expectColorTableCurrent();

  // Moving the background copies record 0 to the target and relabels every background voxel;
  // record 0 stays.
  setVoxel(1, 1, 1, 3);
  table().activateRegion(3);
  table().records[0].color = 0x0A0B0C;
  const TMaskIdInfo& r0 = table().records[0];
  table().moveRegion(0, 5);
  EXPECT_EQ(countId(0), 0);
  EXPECT_EQ(countId(5), W * H * D - 1);
  EXPECT_EQ(countId(3), 1);
  EXPECT_EQ(table().records[5].color, 0x0A0B0Cu);
  EXPECT_EQ(table().records[5].alpha, r0.alpha);
  EXPECT_EQ(table().records[5].used, 1);
  EXPECT_EQ(r0.color, 0x0A0B0Cu);
  EXPECT_EQ(r0.used, 1);
  expectColorTableCurrent();

  // Merging the background into a region gives that region every background voxel.
  table().deleteRegion(5);
  ASSERT_EQ(countId(0), W * H * D - 1);
  table().mergeRegion(0, 3);
  EXPECT_EQ(countId(3), W * H * D);
  EXPECT_EQ(table().records[3].used, 1);
  EXPECT_GT(table().records[3].surface.polyCount, 0);
  EXPECT_EQ(table().records[0].used, 1);
  EXPECT_EQ(table().records[0].color, 0x0A0B0Cu);
  expectColorTableCurrent();
}

TEST_F(RegionTable, ErodeAndDilate) {
  // One voxel thick: gone entirely.
  for (int z = 1; z < 5; ++z)
    for (int y = 1; y < 6; ++y) setVoxel(6, y, z, 2);
  // A block in the corner: its border voxels go too.
  for (int z = 0; z < 4; ++z)
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) setVoxel(x, y, z, 1);
  table().activateRegion(1);
  table().activateRegion(2);
  table().erodeRegion(2);
  EXPECT_EQ(countId(2), 0);
  table().erodeRegion(1);
  EXPECT_EQ(countId(1), 8);
  for (int z = 1; z <= 2; ++z)
    for (int y = 1; y <= 2; ++y)
      for (int x = 1; x <= 2; ++x) EXPECT_EQ(mask()[idx(W, H, x, y, z)], 1);
  EXPECT_GT(table().records[1].surface.polyCount, 0);

  // Dilation next to another region: keep it or invade it.
  installMaskOnly(W, H, D);
  setVoxel(3, 3, 3, 1);
  setVoxel(4, 3, 3, 2);
  table().dilateRegion(1, false);
  EXPECT_EQ(countId(1), 6);
  EXPECT_EQ(mask()[idx(W, H, 4, 3, 3)], 2);
  table().dilateRegion(1, true);
  EXPECT_EQ(countId(2), 0);
  EXPECT_EQ(mask()[idx(W, H, 4, 3, 3)], 1);
  EXPECT_EQ(mask()[idx(W, H, 5, 3, 3)], 0);
}

TEST_F(RegionTable, CountAndDivideParts) {
  setVoxel(1, 1, 1, 4);
  setVoxel(2, 2, 2, 4);  // touches the first at a corner
  setVoxel(5, 5, 4, 4);
  table().records[4].color = 0xABCDEF;
  for (int j = 1; j <= 4; ++j) table().records[j].used = 1;
  EXPECT_EQ(table().countParts(4), 2);
  EXPECT_TRUE(prompts_.sawText("非連結領域数は 2"));

  ASSERT_TRUE(table().splitParts(4));
  EXPECT_EQ(mask()[idx(W, H, 1, 1, 1)], 4);
  EXPECT_EQ(mask()[idx(W, H, 2, 2, 2)], 4);
  EXPECT_EQ(mask()[idx(W, H, 5, 5, 4)], 5);
  for (int j : {4, 5}) {
    EXPECT_EQ(table().records[j].color, 0xABCDEFu);
    EXPECT_EQ(table().records[j].alpha, 200);
    EXPECT_EQ(table().records[j].used, 1);
  }
  expectColorTableCurrent();

  // Three parts, two free ids: refused, nothing changes.
  setVoxel(7, 0, 0, 5);
  setVoxel(0, 6, 5, 5);
  for (int j = 1; j <= 254; ++j) table().records[j].used = j != 10 && j != 20;
  const Snapshot before = Snapshot::take();
  EXPECT_FALSE(table().splitParts(5));
  EXPECT_TRUE(prompts_.sawText(
      "利用可能なmask idが足りないので，この処理は行えません\n空いているmaskID数:2 非連結領域数3"));
  EXPECT_TRUE(Snapshot::take() == before);
  // Dividing the background: its one part takes the lowest free id; record 0 stays.
  ASSERT_TRUE(table().splitParts(0));
  EXPECT_EQ(countId(0), 0);
  EXPECT_EQ(countId(10), W * H * D - 5);
  EXPECT_EQ(table().records[10].used, 1);
  EXPECT_EQ(table().records[10].alpha, 200);
  EXPECT_EQ(table().records[20].used, 0);
  EXPECT_EQ(table().records[0].used, 1);
  EXPECT_EQ(table().records[0].alpha, 0);
}

TEST_F(RegionTable, MembraneReachesBelowTheThickness) {
  const int N = 33, C = 16;  // large enough for the parallel scan
  installMaskOnly(N, N, N);
  mask()[idx(N, N, C, C, C)] = 3;
  table().records[9].color = 0x0000FF;
  table().generateMembrane(3, 9, 4.1);
  int expected = 0;
  for (int dz = -5; dz <= 5; ++dz)
    for (int dy = -5; dy <= 5; ++dy)
      for (int dx = -5; dx <= 5; ++dx) {
        const int d2 = dx * dx + dy * dy + dz * dz;
        if (d2 == 0) continue;
        const bool in = d2 < 4.1 * 4.1;
        expected += in;
        EXPECT_EQ(mask()[idx(N, N, C + dx, C + dy, C + dz)], in ? 9 : 0) << dx << dy << dz;
      }
  EXPECT_EQ(mask()[idx(N, N, C + 4, C, C)], 9);  // 4 voxels out along an axis
  EXPECT_EQ(mask()[idx(N, N, C + 5, C, C)], 0);  // not 5
  EXPECT_EQ(mask()[idx(N, N, C, C, C)], 3);
  EXPECT_GT(expected, 0);
  EXPECT_EQ(table().records[9].alpha, 255);
  EXPECT_EQ(table().records[9].used, 1);
  EXPECT_GT(table().records[9].surface.polyCount, 0);
  expectColorTableCurrent();  // the new opacity is visible at once

  // The background is no region to wrap, and a region is not its own shell: nothing changes.
  const Snapshot before = Snapshot::take();
  table().generateMembrane(0, 12, 4.1);
  table().generateMembrane(3, 3, 4.1);
  table().generateMembrane(3, 0, 4.1);
  EXPECT_TRUE(Snapshot::take() == before);

  // An anisotropic pitch shortens the reach along the coarse axis.
  installMaskOnly(N, N, N);
  setPitch(1, 1, 2);
  mask()[idx(N, N, C, C, C)] = 3;
  table().generateMembrane(3, 9, 4.1);
  EXPECT_EQ(mask()[idx(N, N, C, C, C + 2)], 9);   // 4 mm
  EXPECT_EQ(mask()[idx(N, N, C, C, C + 3)], 0);  // 6 mm
  EXPECT_EQ(mask()[idx(N, N, C + 4, C, C)], 9);
}

TEST_F(RegionTable, FlipZMirrorsEverySurfaceAndKeepsThemOutward) {
  for (int z = 0; z < 2; ++z)
    for (int y = 1; y < 4; ++y)
      for (int x = 1; x < 4; ++x) setVoxel(x, y, z, 255);
  for (int z = 3; z < 6; ++z)
    for (int y = 2; y < 5; ++y)
      for (int x = 4; x < 7; ++x) setVoxel(x, y, z, 17);
  table().activateRegion(255);
  table().activateRegion(17);
  for (int id : {17, 255}) {
    const TTriangleMesh before = table().records[id].surface;
    ASSERT_GT(before.polyCount, 0);
    table().flipZ();
    const TTriangleMesh& after = table().records[id].surface;
    ASSERT_EQ(after.vertexCount, before.vertexCount) << id;
    for (int v = 0; v < after.vertexCount; ++v) {
      EXPECT_EQ(after.verts[v][0], before.verts[v][0]);
      EXPECT_DOUBLE_EQ(after.verts[v][2], 1.0 - before.verts[v][2]);
    }
    EXPECT_NEAR(signedVolume(after), signedVolume(before), 1e-12) << "id " << id;
    EXPECT_GT(signedVolume(after), 0.0);
    // Vertex normals point away from the region's centre.
    double c[3] = {0, 0, 0};
    for (int v = 0; v < after.vertexCount; ++v)
      for (int a = 0; a < 3; ++a) c[a] += after.verts[v][a] / after.vertexCount;
    int outward = 0;
    for (int v = 0; v < after.vertexCount; ++v) {
      double d[3];
      t_sub3(after.verts[v], c, d);
      outward += t_dot3(d, after.vertNormals[v]) > 0;
    }
    EXPECT_EQ(outward, after.vertexCount) << "id " << id;
    table().flipZ();  // back again for the next id
  }
}

TEST_F(RegionTable, CombinedFileTable) {
  // Blocks on the grid coarsened by 2, so that the coarse surfaces are not empty.
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x) {
        setVoxel(2 + x, 2 + y, z, 2);
        setVoxel(4 + x, 4 + y, 2 + z, 9);
      }
  std::vector<unsigned char> colours(1024);
  for (int i = 0; i < 256; ++i) {
    colours[4 * i] = uint8_t(i);
    colours[4 * i + 1] = uint8_t(255 - i);
    colours[4 * i + 2] = 40;
    colours[4 * i + 3] = uint8_t(i / 2);
  }
  table().records[30].used = 1;
  table().setFromCombinedFile(colours, TextureManager::getInst().volMask);
  for (int i = 0; i < 256; ++i) {
    const TMaskIdInfo& r = table().records[i];
    EXPECT_EQ(r.used, i == 0 || i == 2 || i == 9) << i;
    EXPECT_EQ(r.color, uint32_t(i) | uint32_t(255 - i) << 8 | 40u << 16);
    EXPECT_EQ(r.alpha, i / 2);
    EXPECT_EQ(r.surface.vertexCount > 0, i == 2 || i == 9) << "surface of id " << i;
  }
  expectColorTableCurrent();
}

}  // namespace
