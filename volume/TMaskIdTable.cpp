#include "volume/TMaskIdTable.h"

#include <cstdio>
#include <vector>

#include "geom/marching_cubes.h"
#include "platform/Prompt.h"
#include "volume/TOGL3DImage.h"
#include "volume/TextureManager.h"
#include "volume/volume_filters.h"

TMaskIdTable& TMaskIdTable::getInst() {
  static TMaskIdTable table;
  return table;
}

TMaskIdTable::TMaskIdTable() {
  resetRecords();
  updateColorTexture();
}

TextureManager& TMaskIdTable::holder() const { return TextureManager::getInst(); }

void TMaskIdTable::resetRecords() {
  records.clear();
  records.resize(kIdCount);
  for (int i = 0; i < kIdCount; ++i) records[i].reset(i);
  records[0].used = 1;
}

void TMaskIdTable::resetForVolume() {
  resetRecords();
  updateColorTexture();
}

void TMaskIdTable::updateColorTexture() {
  if (colorTable.N != kIdCount || !colorTable.data) colorTable.allocate(kIdCount);
  colorTable.unbind();
  for (int i = 0; i < kIdCount; ++i) {
    const TMaskIdInfo& r = records[i];
    uint8_t* e = colorTable.data + 4 * i;
    e[0] = r.color & 0xFF;
    e[1] = (r.color >> 8) & 0xFF;
    e[2] = (r.color >> 16) & 0xFF;
    e[3] = r.polygonRendering ? 0 : r.alpha;
  }
  colorTable.linear = false;
}

void TMaskIdTable::updateSurface(uint32_t id, int step, int umbrellaPasses, int lmPasses) {
  if (id >= uint32_t(kIdCount) || !records[id].used) return;
  const TOGL3DImage& mask = holder().volMask;
  TTriangleMesh& mesh = records[id].surface;
  if (mask.empty()) {
    mesh.clear();
    return;
  }
  fprintf(stderr, "update surface by Marching cubes....");
  const double extent[3] = {1.0, 1.0, 1.0};
  t_marchingCubesMaskRegion(mask.W, mask.H, mask.D, mask.data, id, extent, mesh, step < 1 ? 1 : step);
  fprintf(stderr, "done!!\n smoothing surface....");
  mesh.smoothUmbrella(umbrellaPasses);
  mesh.smoothLM(lmPasses);
  mesh.updateNormals();
  fprintf(stderr, "done!!\n");
}

void TMaskIdTable::activateRegion(uint32_t id) {
  if (id >= uint32_t(kIdCount)) {
    t_warn("error strange mask id is accessed!");
    return;
  }
  TMaskIdInfo& r = records[id];
  r.used = 1;
  r.alpha = 200;
  r.polygonRendering = 0;
  updateSurface(id, 1, 3, 3);
  updateColorTexture();
}

void TMaskIdTable::flipZ() {
  // Mirroring turns the surface inside out; reversing the winding of every triangle keeps its
  // normals pointing out of the region.
  for (int id = 1; id < kIdCount; ++id) {
    TTriangleMesh& mesh = records[id].surface;
    if (mesh.vertexCount == 0) continue;
    std::vector<TVec3> verts(mesh.verts.begin(), mesh.verts.begin() + mesh.vertexCount);
    std::vector<TPolyIdx> polys(mesh.polys.begin(), mesh.polys.begin() + mesh.polyCount);
    for (TVec3& v : verts) v[2] = 1.0 - v[2];
    for (TPolyIdx& p : polys) std::swap(p[1], p[2]);
    mesh.initFromVertsPolys(verts, polys);
  }
}

void TMaskIdTable::deleteRegion(int id) {
  if (id < 1 || id >= kIdCount) return;
  records[id].reset(id);
  TOGL3DImage& mask = holder().volMask;
  if (!mask.empty()) {
    const int64_t n = mask.size();
    const uint8_t v = uint8_t(id);
#pragma omp parallel for schedule(static) if (n > (1 << 15))
    for (int64_t i = 0; i < n; ++i)
      if (mask.data[i] == v) mask.data[i] = 0;
  }
  updateColorTexture();
  mask.unbind();
}

void TMaskIdTable::moveRegion(int a, int b) {
  // Moving the background relabels every background voxel and leaves record 0 as it is.  Moving
  // a region onto the background is refused: record 0 would take the region's opacity and
  // surface, and every background voxel would be drawn with them.
  if (a < 0 || a >= kIdCount || b < 1 || b >= kIdCount || a == b) return;
  records[b].color = records[a].color;
  records[b].alpha = records[a].alpha;
  records[b].polygonRendering = records[a].polygonRendering;
  records[b].used = records[a].used;
  records[b].surface = records[a].surface;
  TOGL3DImage& mask = holder().volMask;
  if (!mask.empty()) {
    const int64_t n = mask.size();
#pragma omp parallel for schedule(static) if (n > (1 << 15))
    for (int64_t i = 0; i < n; ++i)
      if (mask.data[i] == a) mask.data[i] = uint8_t(b);
  }
  deleteRegion(a);
  updateColorTexture();
  mask.unbind();
}

void TMaskIdTable::mergeRegion(uint32_t a, uint32_t b) {
  // Merging the background into a region turns every background voxel into that region; record
  // 0 stays (deleting id 0 does nothing).
  if (a >= uint32_t(kIdCount) || b >= uint32_t(kIdCount) || a == b) return;
  TOGL3DImage& mask = holder().volMask;
  if (!mask.empty()) {
    const int64_t n = mask.size();
#pragma omp parallel for schedule(static) if (n > (1 << 15))
    for (int64_t i = 0; i < n; ++i)
      if (mask.data[i] == a) mask.data[i] = uint8_t(b);
  }
  records[b].used = 1;
  // Merged into the background the region is erased; the background gets no surface (it would
  // enclose the whole volume).
  if (b != 0) updateSurface(b, 1, 3, 3);
  deleteRegion(int(a));
  updateColorTexture();
  mask.unbind();
}

namespace {

// 255 where the mask holds id, 0 elsewhere.
std::vector<uint8_t> regionVolume(const TOGL3DImage& mask, uint32_t id) {
  std::vector<uint8_t> v(size_t(mask.size()), 0);
  const int64_t n = mask.size();
#pragma omp parallel for schedule(static) if (n > (1 << 15))
  for (int64_t i = 0; i < n; ++i)
    if (mask.data[i] == id) v[i] = 255;
  return v;
}

}  // namespace

void TMaskIdTable::erodeRegion(uint32_t id) {
  if (id >= uint32_t(kIdCount)) return;
  TOGL3DImage& mask = holder().volMask;
  if (mask.empty()) return;
  std::vector<uint8_t> v = regionVolume(mask, id);
  const int from[3] = {0, 0, 0}, to[3] = {mask.W, mask.H, mask.D};
  t_erode3D(v.data(), mask.W, mask.H, mask.D, from, to);
  const int64_t n = mask.size();
#pragma omp parallel for schedule(static) if (n > (1 << 15))
  for (int64_t i = 0; i < n; ++i)
    if (v[i] == 0 && mask.data[i] == id) mask.data[i] = 0;
  mask.unbind();
  updateSurface(id, 1, 3, 3);
}

void TMaskIdTable::dilateRegion(uint32_t id, bool invade) {
  if (id >= uint32_t(kIdCount)) return;
  TOGL3DImage& mask = holder().volMask;
  if (mask.empty()) return;
  std::vector<uint8_t> v = regionVolume(mask, id);
  const int from[3] = {0, 0, 0}, to[3] = {mask.W, mask.H, mask.D};
  t_dilate3D(v.data(), mask.W, mask.H, mask.D, from, to);
  const int64_t n = mask.size();
#pragma omp parallel for schedule(static) if (n > (1 << 15))
  for (int64_t i = 0; i < n; ++i)
    if (v[i] == 255 && (invade || mask.data[i] == 0)) mask.data[i] = uint8_t(id);
  mask.unbind();
  updateSurface(id, 1, 3, 3);
}

int TMaskIdTable::countParts(uint8_t id) {
  const TOGL3DImage& mask = holder().volMask;
  std::vector<int> labels(size_t(mask.size()));
  const int n = t_labelConnectedRegions(&mask, id, labels.data());
  char text[128];
  snprintf(text, sizeof text, "非連結領域数は %d", n);
  t_info(text);
  return n;
}

bool TMaskIdTable::splitParts(uint32_t id) {
  // Dividing the background gives each of its parts a free id; record 0 stays (deleting id 0
  // does nothing).
  if (id >= uint32_t(kIdCount)) return false;
  TOGL3DImage& mask = holder().volMask;
  // The labelling numbers voxels with ints; beyond that it finds no parts, and dividing a region
  // into no parts would delete it.
  if (mask.size() > 0x7fffffffLL) {
    t_warn("The volume has too many voxels to divide a region into its parts.");
    return false;
  }
  std::vector<int> labels(size_t(mask.size()));
  const int n = t_labelConnectedRegions(&mask, uint8_t(id), labels.data());
  int freeIds = 0;
  for (int j = 1; j <= 254; ++j)
    if (!records[j].used) ++freeIds;
  if (freeIds < n) {
    char text[256];
    snprintf(text, sizeof text,
             "利用可能なmask idが足りないので，この処理は行えません\n空いているmaskID数:%d "
             "非連結領域数%d",
             freeIds, n);
    t_warn(text);
    return false;
  }
  const uint32_t color = records[id].color;
  deleteRegion(int(id));
  // Voxels of each part, collected in one pass.
  std::vector<std::vector<int64_t>> parts(n + 1);
  for (int64_t i = 0; i < mask.size(); ++i)
    if (labels[i] > 0) parts[labels[i]].push_back(i);
  for (int k = 1; k <= n; ++k) {
    int j = 1;
    while (j <= 254 && records[j].used) ++j;
    for (int64_t i : parts[k]) mask.data[i] = uint8_t(j);
    fprintf(stderr, "\n\n%d numVox:%d  ", k, int(parts[k].size()));
    TMaskIdInfo& r = records[j];
    r.color = color;
    r.alpha = 200;
    r.used = 1;
    r.polygonRendering = 0;
    updateSurface(j, 2, 1, 1);
  }
  mask.unbind();
  updateColorTexture();
  return true;
}

void TMaskIdTable::generateMembrane(uint32_t source, uint32_t target, double t) {
  // The shell is written into the background under target.  Neither id may be the background:
  // as a source, every background voxel turned into target would make its background
  // neighbours boundary voxels in turn, and the shell would spread over the whole background;
  // as a target, record 0 would take opacity 255 and a surface, and every background voxel
  // would be drawn.  A region cannot be its own shell.
  if (source < 1 || source >= uint32_t(kIdCount) || target < 1 || target >= uint32_t(kIdCount) ||
      source == target)
    return;
  TextureManager& tm = holder();
  TOGL3DImage& mask = tm.volMask;
  if (mask.empty()) return;
  mask.unbind();
  double pitch[3];
  tm.getPitch(pitch);
  const int W = mask.W, H = mask.H, D = mask.D;
  // Reach per axis; offsets beyond the volume's extent never land inside it.
  auto reach = [t](double p, int n) {
    const double r = t / p + 1.0;
    return r >= 0.0 && r < double(n) ? int(r) : (r >= double(n) ? n : 0);
  };
  const int rx = reach(pitch[0], W), ry = reach(pitch[1], H), rz = reach(pitch[2], D);
  const double t2 = t * t;
  const int64_t plane = int64_t(W) * H;
  uint8_t* m = mask.data;
  // Slices run in parallel.  A voxel only ever changes from background to target, which neither
  // the boundary test (source or not) nor the background test of another thread can tell apart
  // from its outcome, so the result is that of the plain scan; the byte accesses are atomic.
  auto ld = [&](int x, int y, int z) {
    return __atomic_load_n(m + z * plane + int64_t(y) * W + x, __ATOMIC_RELAXED);
  };
  const uint8_t src = uint8_t(source), tgt = uint8_t(target);
#pragma omp parallel for schedule(dynamic, 1) if (mask.size() > (1 << 15))
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        if (ld(x, y, z) != src) continue;
        const bool boundary = (x > 0 && ld(x - 1, y, z) != src) ||
                              (x < W - 1 && ld(x + 1, y, z) != src) ||
                              (y > 0 && ld(x, y - 1, z) != src) ||
                              (y < H - 1 && ld(x, y + 1, z) != src) ||
                              (z > 0 && ld(x, y, z - 1) != src) ||
                              (z < D - 1 && ld(x, y, z + 1) != src);
        if (!boundary) continue;
        for (int dz = -rz; dz <= rz; ++dz) {
          const int zz = z + dz;
          if (zz < 0 || zz >= D) continue;
          for (int dy = -ry; dy <= ry; ++dy) {
            const int yy = y + dy;
            if (yy < 0 || yy >= H) continue;
            for (int dx = -rx; dx <= rx; ++dx) {
              const int xx = x + dx;
              if (xx < 0 || xx >= W) continue;
              if (ld(xx, yy, zz) != 0) continue;
              const double ex = dx * pitch[0], ey = dy * pitch[1], ez = dz * pitch[2];
              if (t2 > ex * ex + ey * ey + ez * ez)
                __atomic_store_n(m + zz * plane + int64_t(yy) * W + xx, tgt, __ATOMIC_RELAXED);
            }
          }
        }
      }
  TMaskIdInfo& r = records[target];
  r.alpha = 255;
  r.used = 1;
  r.polygonRendering = 0;
  updateSurface(target, 1, 3, 3);
  // The new opacity must reach the renderer now, not at some later refresh.
  updateColorTexture();
}

void TMaskIdTable::setFromCombinedFile(const std::vector<unsigned char>& table,
                                       const TOGL3DImage& mask) {
  resetRecords();
  for (TMaskIdInfo& r : records) r.used = 0;
  const int64_t n = mask.empty() ? 0 : mask.size();
  bool present[kIdCount] = {};
  for (int64_t i = 0; i < n; ++i) present[mask.data[i]] = true;
  fprintf(stderr, "size %d\n", int(n));
  for (int i = 0; i < kIdCount; ++i) {
    records[i].used = present[i] ? 1 : 0;
    fprintf(stderr, "mask[%d]=%d\n", i, records[i].used);
  }
  for (int i = 0; i < kIdCount; ++i) {
    TMaskIdInfo& r = records[i];
    if (table.size() >= size_t(4 * kIdCount)) {
      r.color = uint32_t(table[4 * i]) | uint32_t(table[4 * i + 1]) << 8 |
                uint32_t(table[4 * i + 2]) << 16;
      r.alpha = table[4 * i + 3];
    }
    r.polygonRendering = 0;
    // The background has no surface; building one would enclose the whole volume.
    if (i != 0) updateSurface(i, 2, 1, 1);
  }
  updateColorTexture();
}
