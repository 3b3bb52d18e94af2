// Surface tracking from a Hermite-RBF field: only the voxels on both sides of the zero surface
// reachable from the samples, and the region's cuts on the faces of the volume, are evaluated;
// the region is what the outside flood cannot reach.
#include <chrono>
#include <cstdio>

#include "implicit/field_labelling.h"
#include "implicit/hrbf.h"
#include "implicit/hrbf_voxel_field.h"
#include "implicit/voxel_grid.h"

using kimplicit::VoxelGrid;

namespace {

enum : uint8_t { kNeg = 1, kPos = 2 };
// Per axis code (0 z, 1 x, 2 y): examined and queued bits of the face towards +axis.
const uint8_t kExamined[3] = {4, 16, 64};
const uint8_t kQueuedBit[3] = {8, 32, 128};
// Axis code -> coordinate index, and the two other axes in the order the tracker walks them.
const int kAxis[3] = {2, 0, 1};
const int kU[3] = {0, 1, 0};
const int kV[3] = {1, 2, 2};

bool stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_acquire); }

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct Face {
  int axis;  // code
  int v[3];  // lower voxel
};

class Tracker {
 public:
  Tracker(const kimplicit::HrbfVoxelField& F, uint8_t* label, float* field)
      : F(F), g(F.grid), label(label), field(field) {}

  bool evaluated(uint32_t i) const { return (label[i] & 3) != 0; }
  void setValue(uint32_t i, float f) {
    field[i] = f;
    label[i] = uint8_t(label[i] | (f >= 0.0f ? kPos : kNeg));
  }
  // Evaluates the listed voxels that are not yet evaluated, all threads.
  void evaluate(std::vector<uint32_t>& list) {
    std::vector<uint32_t> todo;
    for (uint32_t i : list)
      if (!evaluated(i)) todo.push_back(i);
    kimplicit::t_uniqueList(todo);
    std::vector<float> vals;
    kimplicit::t_evalVoxelList(todo, [&](uint32_t i) { return F.at(i); }, vals);
    for (size_t e = 0; e < todo.size(); ++e) setValue(todo[e], vals[e]);
    list.clear();
  }
  bool faceInVolume(const Face& f) const {
    const int dim[3] = {g.W, g.H, g.D};
    for (int a = 0; a < 3; ++a)
      if (f.v[a] < 0 || f.v[a] >= dim[a]) return false;
    return f.v[kAxis[f.axis]] < dim[kAxis[f.axis]] - 1;
  }
  uint32_t lower(const Face& f) const { return g.idx(f.v[0], f.v[1], f.v[2]); }
  uint32_t upper(const Face& f) const {
    int w[3] = {f.v[0], f.v[1], f.v[2]};
    ++w[kAxis[f.axis]];
    return g.idx(w[0], w[1], w[2]);
  }
  bool isCrossing(const Face& f) const { return (label[lower(f)] & 3) != (label[upper(f)] & 3); }
  bool examined(const Face& f) const {
    return (label[lower(f)] & (kExamined[f.axis] | kQueuedBit[f.axis])) != 0;
  }
  // Examines a face not seen before: queued when it is a crossing, else marked examined.
  void examine(const Face& f, std::vector<Face>& queue) {
    if (!faceInVolume(f) || examined(f)) return;
    const uint32_t a = lower(f);
    if (isCrossing(f)) {
      label[a] = uint8_t(label[a] | kQueuedBit[f.axis]);
      queue.push_back(f);
    } else {
      label[a] = uint8_t(label[a] | kExamined[f.axis]);
    }
  }

  const kimplicit::HrbfVoxelField& F;
  const VoxelGrid& g;
  uint8_t* label;
  float* field;
};

Face faceOf(int axis, int x, int y, int z) { return Face{axis, {x, y, z}}; }

// Voxels outside the box or excluded by the entry label count as evaluated outside (field -1);
// every other voxel starts unevaluated.
void excludeVoxels(const VoxelGrid& g, const int lo[3], const int hi[3], uint8_t* label, float* field) {
#pragma omp parallel for schedule(static)
  for (int z = 0; z < g.D; ++z)
    for (int y = 0; y < g.H; ++y)
      for (int x = 0; x < g.W; ++x) {
        const uint32_t i = g.idx(x, y, z);
        const bool outBox = x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1] || z < lo[2] || z > hi[2];
        if (outBox || label[i] == 0) {
          label[i] = kNeg;
          field[i] = -1.0f;
        } else {
          label[i] = 0;
          field[i] = 0.0f;
        }
      }
}

// Steps 2 and 3: seeds, then the tracking rounds.  Returns false when stopped.
bool track(Tracker& T, int N, const THrbfSample* samples, std::vector<uint32_t>& outsideList,
           const std::atomic<bool>* stop) {
  const VoxelGrid& g = T.g;
  static const int nb[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  std::vector<int> seed(size_t(N), -1);
  std::vector<uint32_t> pre;
  for (int s = 0; s < N; ++s) {
    int v[3];
    if (!g.voxelOf(samples[s].pos, v)) continue;
    if (v[0] < 1 || v[1] < 1 || v[2] < 1 || v[0] > g.W - 2 || v[1] > g.H - 2 || v[2] > g.D - 2) continue;
    seed[size_t(s)] = int(g.idx(v[0], v[1], v[2]));
    pre.push_back(uint32_t(seed[size_t(s)]));
    for (const auto& o : nb) pre.push_back(g.idx(v[0] + o[0], v[1] + o[1], v[2] + o[2]));
  }
  T.evaluate(pre);

  std::vector<Face> queue, next;
  for (int s = 0; s < N; ++s) {
    if (seed[size_t(s)] < 0) continue;
    int x, y, z;
    g.coords(uint32_t(seed[size_t(s)]), x, y, z);
    // Faces +x, -x, +y, -y, +z, -z of the seed (the -axis faces belong to the neighbour).
    const Face faces[6] = {faceOf(1, x, y, z), faceOf(1, x - 1, y, z), faceOf(2, x, y, z),
                           faceOf(2, x, y - 1, z), faceOf(0, x, y, z), faceOf(0, x, y, z - 1)};
    for (const Face& f : faces)
      if (T.isCrossing(f) && !T.examined(f)) {
        const uint32_t a = T.lower(f);
        T.label[a] = uint8_t(T.label[a] | kQueuedBit[f.axis]);
        queue.push_back(f);
      }
    for (const auto& o : nb) {
      const uint32_t j = g.idx(x + o[0], y + o[1], z + o[2]);
      if (T.field[j] < 0.0f) outsideList.push_back(j);
    }
  }

  std::vector<uint32_t> toEval;
  while (!queue.empty()) {
    if (stopped(stop)) return false;
    // The eight voxels beside every face of this round, evaluated together.
    for (const Face& f : queue) {
      const int ax = kAxis[f.axis], u = kU[f.axis], v = kV[f.axis];
      int b[3] = {f.v[0], f.v[1], f.v[2]};
      ++b[ax];
      for (const int* c : {f.v, static_cast<const int*>(b)})
        for (int dir : {u, v})
          for (int sgn : {-1, 1}) {
            int w[3] = {c[0], c[1], c[2]};
            w[dir] += sgn;
            if (g.inside(w[0], w[1], w[2])) toEval.push_back(g.idx(w[0], w[1], w[2]));
          }
    }
    T.evaluate(toEval);
    next.clear();
    for (const Face& f : queue) {
      const int ax = kAxis[f.axis], u = kU[f.axis], v = kV[f.axis];
      // Axis codes of the faces along u and v.
      const int codeU = u == 2 ? 0 : (u == 0 ? 1 : 2);
      const int codeV = v == 2 ? 0 : (v == 0 ? 1 : 2);
      auto shifted = [&](const int* base, int dir, int d) {
        Face r{0, {base[0], base[1], base[2]}};
        r.v[dir] += d;
        return r;
      };
      int b[3] = {f.v[0], f.v[1], f.v[2]};
      ++b[ax];
      Face same[4] = {shifted(f.v, u, -1), shifted(f.v, u, 1), shifted(f.v, v, -1), shifted(f.v, v, 1)};
      for (Face& s : same) {
        s.axis = f.axis;
        T.examine(s, next);
      }
      Face alongU[4] = {shifted(f.v, u, -1), shifted(f.v, u, 0), shifted(b, u, -1), shifted(b, u, 0)};
      for (Face& s : alongU) {
        s.axis = codeU;
        T.examine(s, next);
      }
      Face alongV[4] = {shifted(f.v, v, -1), shifted(f.v, v, 0), shifted(b, v, -1), shifted(b, v, 0)};
      for (Face& s : alongV) {
        s.axis = codeV;
        T.examine(s, next);
      }
    }
    queue.swap(next);
  }
  return true;
}

// Where the region meets a face of the volume, tracking reaches the face only along the rim of
// the cut, so the rest of the cut would stay unevaluated and the outside flood, which starts on
// the faces, would pour in through it.  The inside border voxels are therefore grown over the
// border (6-neighbours that are border voxels too, which keeps the growth within the faces and
// lets it turn round the volume's edges), evaluating as they go, until outside voxels bound the
// cut.  The work is the area of the cut: part of the region's surface.  Returns false when stopped.
bool closeCutsOnFaces(Tracker& T, const std::atomic<bool>* stop) {
  const VoxelGrid& g = T.g;
  static const int nb[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  std::vector<uint32_t> front, cand, fresh;
  kimplicit::t_forEachFaceVoxel(g, [&](uint32_t i) {
    if (T.label[i] & kPos) front.push_back(i);
  });
  while (!front.empty()) {
    if (stopped(stop)) return false;
    cand.clear();
    for (uint32_t i : front) {
      int x, y, z;
      g.coords(i, x, y, z);
      for (const auto& o : nb) {
        const int X = x + o[0], Y = y + o[1], Z = z + o[2];
        if (!g.inside(X, Y, Z) || !g.onBorder(X, Y, Z)) continue;
        const uint32_t j = g.idx(X, Y, Z);
        if (!T.evaluated(j)) cand.push_back(j);
      }
    }
    kimplicit::t_uniqueList(cand);
    fresh = cand;
    T.evaluate(cand);
    front.clear();
    for (uint32_t j : fresh)
      if (T.label[j] & kPos) front.push_back(j);
  }
  return true;
}

}  // namespace

void t_hrbfJoint4_surfaceTrack(int kernel, int W, int H, int D, const float* vol, const double extent[3],
                               double weight, int N, const double* coef, const THrbfSample* samples,
                               const int lo[3], const int hi[3], uint8_t* label, float* field,
                               const std::atomic<bool>* stop) {
  const double t0 = wallSeconds();
  const THrbfField f(4, kernel, N, coef, samples);
  const float* v[3] = {vol, nullptr, nullptr};
  const kimplicit::HrbfVoxelField F(f, W, H, D, extent, v, weight);
  const VoxelGrid& g = F.grid;
  auto outBox = [&](int x, int y, int z) {
    return x < lo[0] || x > hi[0] || y < lo[1] || y > hi[1] || z < lo[2] || z > hi[2];
  };
  // 1. Box and mask exclusions count as evaluated outside.
  excludeVoxels(g, lo, hi, label, field);
  Tracker T(F, label, field);
  std::vector<uint32_t> outsideList;
  if (!track(T, N, samples, outsideList, stop) || !closeCutsOnFaces(T, stop)) return;
  const double t1 = wallSeconds();

  // 4. Region: inside voxels 2; box interior 0; the rest (and the outside list) flood sources.
#pragma omp parallel for schedule(static)
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint32_t i = g.idx(x, y, z);
        if (label[i] & kPos) label[i] = 2;
        else label[i] = (!outBox(x, y, z) && !g.onBorder(x, y, z)) ? 0 : 1;
      }
  for (uint32_t i : outsideList) label[i] = 1;
  int b0[3], b1[3];
  const int dim[3] = {W, H, D};
  for (int a = 0; a < 3; ++a) {
    b0[a] = std::max(lo[a], 1);
    b1[a] = std::min(hi[a], dim[a] - 2);
  }
  if (stopped(stop)) return;
  kimplicit::t_floodBox(label, g, b0, b1, 0, 1);
  const long n = long(g.n);
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) {
    if (label[i] == 1) {
      label[i] = 0;
      if (field[i] >= 0.0f) field[i] = -1.0f;
    } else {
      label[i] = 255;
      if (field[i] < 0.0f) field[i] = 1.0f;
    }
  }
  const double t2 = wallSeconds();
  std::fprintf(stderr, "surface tracking %.10f %.10f\n", t1 - t0, t2 - t1);
}

void t_hrbfJoint6_surfaceTrack(int kernel, int W, int H, int D, const float* vol1, const float* vol2,
                               const float* vol3, const double extent[3], double weight, int N,
                               const double* coef, const THrbfSample* samples, const int lo[3],
                               const int hi[3], uint8_t* label, float* field, const std::atomic<bool>* stop) {
  std::fprintf(stderr, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa 6D surface track region growing\n");
  const THrbfField f(6, kernel, N, coef, samples);
  const float* v[3] = {vol1, vol2, vol3};
  const kimplicit::HrbfVoxelField F(f, W, H, D, extent, v, weight);
  const VoxelGrid& g = F.grid;
  excludeVoxels(g, lo, hi, label, field);
  Tracker T(F, label, field);
  std::vector<uint32_t> outsideList;
  if (!track(T, N, samples, outsideList, stop) || !closeCutsOnFaces(T, stop)) return;

  const long n = long(g.n);
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) label[i] = (label[i] & kPos) ? 2 : 0;
  // The outside is flooded from every face of the volume and from the outside list.
  if (stopped(stop)) return;
  kimplicit::t_floodOutside(label, g, lo, hi, outsideList);
#pragma omp parallel for schedule(static)
  for (long i = 0; i < n; ++i) label[i] = label[i] == 1 ? 0 : 255;

  // One erosion and one dilation of the 255-region over the half-open box lo..hi-1.
  auto inBoxHalfOpen = [&](int x, int y, int z) {
    return x >= lo[0] && x < hi[0] && y >= lo[1] && y < hi[1] && z >= lo[2] && z < hi[2];
  };
  std::vector<uint32_t> change;
  for (int pass = 0; pass < 2; ++pass) {
    const uint8_t from = pass == 0 ? 255 : 0, to = pass == 0 ? 0 : 255;
    change.clear();
    for (int z = std::max(0, lo[2]); z < std::min(D, hi[2]); ++z)
      for (int y = std::max(0, lo[1]); y < std::min(H, hi[1]); ++y)
        for (int x = std::max(0, lo[0]); x < std::min(W, hi[0]); ++x) {
          if (!inBoxHalfOpen(x, y, z)) continue;
          const uint32_t i = g.idx(x, y, z);
          if (label[i] != from) continue;
          bool hit = false;
          if (pass == 0) {
            hit = g.onBorder(x, y, z) || label[i - 1] == 0 || label[i + 1] == 0 || label[i - g.sW] == 0 ||
                  label[i + g.sW] == 0 || label[i - g.sWH] == 0 || label[i + g.sWH] == 0;
          } else {
            hit = (x > 0 && label[i - 1] == 255) || (x < W - 1 && label[i + 1] == 255) ||
                  (y > 0 && label[i - g.sW] == 255) || (y < H - 1 && label[i + g.sW] == 255) ||
                  (z > 0 && label[i - g.sWH] == 255) || (z < D - 1 && label[i + g.sWH] == 255);
          }
          if (hit) change.push_back(i);
        }
    for (uint32_t i : change) label[i] = to;
  }
}
