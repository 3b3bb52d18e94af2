#include "fuzz/fuzz_targets.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/TCore.h"
#include "modes/contour/contmesh_s2_file.h"
#include "modes/contour/rbf_fib_file.h"
#include "modes/region/kernels/ctrl_point_file.h"
#include "modes/region/kernels/gcut_cache.h"
#include "modes/region/kernels/seed_file.h"
#include "platform/ImageCodec.h"
#include "volume/TMaskIdTable.h"
#include "volume/TOGL3DImage.h"
#include "volume/TextureManager.h"
#include "volume/dicom_medcon.h"
#include "volume/muxa_file.h"
#include "volume/sph_reader.h"
#include "volume/volume_readers.h"

namespace {

// Stops the run with the reader and the broken promise named: the fuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) {                                                                     \
      std::fprintf(stderr, "fuzz check failed in %s: %s\n", __func__, #cond);          \
      std::abort();                                                                    \
    }                                                                                  \
  } while (0)

// The readers take paths: the input goes into one file per process (and per ending).
std::string inputFile(const uint8_t* data, size_t size, const char* ending) {
  const std::string path = std::string(P_tmpdir) + "/kestrin_fuzz_" + std::to_string(getpid()) + ending;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

// Output sentinels of the volume readers: a refusal must leave every one of them as it was.
struct VolumeOut {
  int W = -7, H = -7, D = -7, channels = -7;
  float* v[3] = {nullptr, nullptr, nullptr};
  double pitch[3] = {-7, -7, -7};
  ~VolumeOut() {
    for (float* p : v) delete[] p;
  }
  bool untouched() const {
    return W == -7 && H == -7 && D == -7 && channels == -7 && !v[0] && !v[1] && !v[2] &&
           pitch[0] == -7 && pitch[1] == -7 && pitch[2] == -7;
  }
  // An accepted volume has a size and its values.
  bool sound(int planes) const {
    if (W <= 0 || H <= 0 || D <= 0) return false;
    for (int k = 0; k < planes; ++k)
      if (!v[k]) return false;
    return true;
  }
};

// Pitch the readers may leave alone on success: the sentinel or a positive finite value.
bool pitchSound(const double p[3]) {
  for (int a = 0; a < 3; ++a)
    if (p[a] != -7 && !(std::isfinite(p[a]) && p[a] > 0)) return false;
  return true;
}

int fuzzTiff(const uint8_t* data, size_t size) {
  const std::string path = inputFile(data, size, ".tif");
  {
    VolumeOut o;
    if (t_loadVolTIFgry(path, &o.W, &o.H, &o.D, &o.v[0], o.pitch)) {
      FUZZ_CHECK(o.sound(1));
      FUZZ_CHECK(pitchSound(o.pitch));
    } else {
      FUZZ_CHECK(o.untouched());
    }
  }
  VolumeOut o;
  if (t_loadVolTifColor(path, &o.W, &o.H, &o.D, &o.v[0], &o.v[1], &o.v[2], o.pitch))
    FUZZ_CHECK(o.sound(3));
  else
    FUZZ_CHECK(o.untouched());
  return 0;
}

int fuzzSph(const uint8_t* data, size_t size) {
  VolumeOut o;
  if (t_loadVolSph(inputFile(data, size, ".sph"), &o.W, &o.H, &o.D, &o.v[0], o.pitch))
    FUZZ_CHECK(o.sound(1));
  else
    FUZZ_CHECK(o.untouched());
  return 0;
}

int fuzzTraw3dSs(const uint8_t* data, size_t size) {
  VolumeOut o;
  if (t_loadVolTraw3dSs(inputFile(data, size, ".traw3D_ss"), &o.W, &o.H, &o.D, &o.v[0], o.pitch)) {
    FUZZ_CHECK(o.sound(1));
    FUZZ_CHECK(pitchSound(o.pitch));
  } else {
    FUZZ_CHECK(o.untouched());
  }
  return 0;
}

// A stack of two slices: the input and the same file again.
int fuzzRawStack(const uint8_t* data, size_t size) {
  const std::string path = inputFile(data, size, ".raw");
  std::vector<std::string> names = {path, path};
  VolumeOut o;
  if (t_loadVolRaw16(names, &o.W, &o.H, &o.D, &o.v[0]))
    FUZZ_CHECK(o.sound(1) && o.D == 2);
  else
    FUZZ_CHECK(o.untouched());
  FUZZ_CHECK(names.empty());
  return 0;
}

int fuzzBmpStack(const uint8_t* data, size_t size) {
  const std::string path = inputFile(data, size, ".bmp");
  TRgbPicture pic;
  pic.W = -7;
  if (t_readBmp(path, pic))
    FUZZ_CHECK(pic.W > 0 && pic.H > 0 && pic.rgb.size() == size_t(pic.W) * size_t(pic.H) * 3);
  std::vector<std::string> names = {path, path};
  VolumeOut o;
  if (t_loadVolBmpColor(names, &o.W, &o.H, &o.D, &o.v[0], &o.v[1], &o.v[2]))
    FUZZ_CHECK(o.sound(3) && o.D == 2);
  else
    FUZZ_CHECK(o.untouched());
  return 0;
}

// The mask and table a mask-file load may replace, for before/after comparisons.
struct MaskState {
  std::vector<uint8_t> voxels;
  std::vector<uint32_t> colour;
  std::vector<int> flags;
  std::vector<std::vector<TVec3>> verts;
  std::vector<std::vector<TPolyIdx>> polys;
  static MaskState take() {
    MaskState s;
    const TOGL3DImage& m = TextureManager::getInst().volMask;
    s.voxels.assign(m.data, m.data + m.size());
    for (const TMaskIdInfo& r : TMaskIdTable::getInst().records) {
      s.colour.push_back(r.color);
      s.flags.push_back(r.alpha << 16 | r.used << 8 | r.polygonRendering);
      s.verts.emplace_back(r.surface.verts.begin(), r.surface.verts.begin() + r.surface.vertexCount);
      s.polys.emplace_back(r.surface.polys.begin(), r.surface.polys.begin() + r.surface.polyCount);
    }
    return s;
  }
  bool operator==(const MaskState& o) const {
    return voxels == o.voxels && colour == o.colour && flags == o.flags && verts == o.verts &&
           polys == o.polys;
  }
};

// A 4 x 3 x 2 mask with one region, the state every mask-file input starts from.
void installMask() {
  TOGL3DImage& m = TextureManager::getInst().volMask;
  if (m.W != 4 || m.H != 3 || m.D != 2) m.allocate(4, 3, 2);
  std::memset(m.data, 0, size_t(m.size()));
  m.data[5] = 3;
  TMaskIdTable& t = TMaskIdTable::getInst();
  t.resetForVolume();
  t.records[3].used = 1;
  t.records[3].alpha = 200;
  t.records[3].color = 0x123456;
  t.setPitchSink(nullptr);
}

int fuzzMaskFile(const uint8_t* data, size_t size, bool current) {
  installMask();
  const MaskState before = MaskState::take();
  const std::string path = inputFile(data, size, current ? ".ksmask2" : ".ksmask");
  TMaskIdTable& t = TMaskIdTable::getInst();
  const bool loaded = current ? t.loadKsmask2(path.c_str()) : t.loadKsmaskOld(path.c_str());
  if (!loaded) FUZZ_CHECK(MaskState::take() == before);
  // Whatever was loaded, every surface index lies inside its mesh.
  for (const TMaskIdInfo& r : t.records)
    for (int i = 0; i < r.surface.polyCount; ++i)
      for (int a = 0; a < 3; ++a)
        FUZZ_CHECK(r.surface.polys[i][a] >= 0 && r.surface.polys[i][a] < r.surface.vertexCount);
  return 0;
}
int fuzzKsmask2(const uint8_t* data, size_t size) { return fuzzMaskFile(data, size, true); }
int fuzzKsmask(const uint8_t* data, size_t size) { return fuzzMaskFile(data, size, false); }

int fuzzMuxa(const uint8_t* data, size_t size) {
  VolumeOut o;
  TOGL3DImage mask;
  mask.allocate(2, 2, 2);
  mask.data[0] = 42;
  std::vector<unsigned char> table;
  std::string why;
  if (t_loadVolMuxa(inputFile(data, size, ".muxa"), &o.W, &o.H, &o.D, &o.v[0], &o.v[1], &o.v[2],
                    &mask, &o.channels, o.pitch, table, &why)) {
    FUZZ_CHECK(o.sound(o.channels == 3 ? 3 : 1));
    FUZZ_CHECK(mask.W == o.W && mask.H == o.H && mask.D == o.D && table.size() == 1024);
  } else {
    FUZZ_CHECK(o.untouched() && table.empty() && mask.W == 2 && mask.data[0] == 42);
    FUZZ_CHECK(!why.empty());
  }
  return 0;
}

// The converter's header text; parsing never refuses, but every number it takes is one the
// slice reader can check.
int fuzzDicomHeader(const uint8_t* data, size_t size) {
  XMedConIO io;
  io.parseHeader(std::string(reinterpret_cast<const char*>(data), size));
  XMedConIO again;
  again.parseHeader(std::string(reinterpret_cast<const char*>(data), size));
  FUZZ_CHECK(io.width == again.width && io.height == again.height && io.bits == again.bits &&
             io.type == again.type && io.number == again.number);
  return 0;
}

int fuzzGcutCache(const uint8_t* data, size_t size) {
  // The volume size is taken from the file's first field, so that the fuzzer reaches the rest.
  int W = 1;
  if (size >= 4) {
    uint32_t n;
    std::memcpy(&n, data, 4);
    if (n > 0 && n <= (1u << 16)) W = int(n);
  }
  std::vector<int> labels = {-7};
  std::vector<TGCutRegion> regions(1);
  regions[0].voxels = {7};
  TGCutAdjacency adjacency = {{7}};
  std::string why;
  const bool ok = t_readPrecompFile(W, 1, 1, inputFile(data, size, ".ksgcutprecomp"), labels,
                                    regions, adjacency, &why);
  if (ok) {
    FUZZ_CHECK(labels.size() == size_t(W));
    for (int l : labels) FUZZ_CHECK(l >= 0 && size_t(l) < regions.size());
    FUZZ_CHECK(adjacency.size() == regions.size());
  } else {
    FUZZ_CHECK(labels.size() == 1 && labels[0] == -7 && regions.size() == 1 &&
               regions[0].voxels == std::vector<int>{7} && adjacency.size() == 1 &&
               adjacency[0] == std::vector<int>{7});
  }
  return 0;
}

int fuzzCtrlPoints(const uint8_t* data, size_t size) {
  TCtrlPointFrame frame;
  frame.dims[0] = 64;
  frame.dims[1] = 32;
  frame.dims[2] = 16;
  frame.pitch[2] = 2.5;
  TPoints points = {TVec3(0.25, 0.5, 0.75)};
  const int n = t_parseCtrlPoints(reinterpret_cast<const char*>(data), size, frame, points);
  FUZZ_CHECK(n >= 0 && points.size() == size_t(n) + 1);
  FUZZ_CHECK(points[0][0] == 0.25 && points[0][1] == 0.5 && points[0][2] == 0.75);
  for (const TVec3& p : points)
    for (int a = 0; a < 3; ++a) FUZZ_CHECK(std::isfinite(p[a]));
  return 0;
}

int fuzzSeedFile(const uint8_t* data, size_t size) {
  std::vector<TSrgGroup> groups(1);
  groups[0].color[0] = 0.5;
  groups[0].seeds = {TVec3(1, 2, 3)};
  const TSeedFileResult r = t_readSrgSeedFile(inputFile(data, size, ".txt"), groups);
  if (r.ok()) {
    FUZZ_CHECK(int(groups.size()) <= kSrgMaxGroups);
    for (const TSrgGroup& g : groups)
      for (double c : g.color) FUZZ_CHECK(c >= 0 && c <= 1);
  } else {
    FUZZ_CHECK(!r.message.empty());
    FUZZ_CHECK(groups.size() == 1 && groups[0].color[0] == 0.5 && groups[0].seeds.size() == 1 &&
               groups[0].seeds[0][2] == 3);
  }
  return 0;
}

// The camera loaders parse into a fresh pose or set-up and apply it only when the parse
// succeeded; here: a refusal says why, and what is accepted is a pose the view can take.
bool poseSound(const TCameraPose& p) {
  for (int a = 0; a < 3; ++a)
    if (!std::isfinite(p.eye[a]) || !std::isfinite(p.center[a]) || !std::isfinite(p.up[a])) return false;
  return p.eye[0] != p.center[0] || p.eye[1] != p.center[1] || p.eye[2] != p.center[2];
}

int fuzzCameraFiles(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string why;
  TCameraPose pose;
  if (TCore::parseCamera(text, pose, why))
    FUZZ_CHECK(poseSound(pose));
  else
    FUZZ_CHECK(!why.empty());
  why.clear();
  TVisSetup setup;
  if (TCore::parseVisSetup(text, setup, why)) {
    FUZZ_CHECK(poseSound(setup.camera));
    for (double p : setup.pitch) FUZZ_CHECK(std::isfinite(p) && p > 0);
  } else {
    FUZZ_CHECK(!why.empty());
  }
  return 0;
}

// Contour files: a refused file leaves the contours and coefficients as they were; an accepted
// one holds canvases whose triangles name their own vertices, finite points, and formats into
// text that parses back to the same records.
int fuzzRbfFib(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<TRbfFibContour> contours(1);
  contours[0].controlPoints = {TVec3(1, 2, 3)};
  TRbfFibCoefs coefs;
  coefs.colour = -7;
  std::string why;
  if (!t_parseRbfFib(text, contours, coefs, &why)) {
    FUZZ_CHECK(!why.empty());
    FUZZ_CHECK(contours.size() == 1 && contours[0].controlPoints.size() == 1 &&
               contours[0].controlPoints[0][2] == 3 && coefs.colour == -7);
    return 0;
  }
  for (const TRbfFibContour& c : contours) {
    for (const TPolyIdx& t : c.canvasPolys)
      for (int v : t) FUZZ_CHECK(v >= 0 && size_t(v) < c.canvasVerts.size());
    for (const TVec3& p : c.controlPoints)
      for (int a = 0; a < 3; ++a) FUZZ_CHECK(std::isfinite(p[a]));
  }
  const std::string out = t_formatRbfFib(contours, coefs);
  std::vector<TRbfFibContour> again;
  TRbfFibCoefs againCoefs;
  FUZZ_CHECK(t_parseRbfFib(out, again, againCoefs));
  FUZZ_CHECK(again.size() == contours.size() && t_formatRbfFib(again, againCoefs) == out);
  return 0;
}


int fuzzContMeshS2(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  TContMeshS2 d;
  d.contours.resize(1);
  d.contours[0].controlPoints = {TVec3(1, 2, 3)};
  d.weight = -7;
  std::string why;
  if (!t_parseContMeshS2(text, d, &why)) {
    FUZZ_CHECK(!why.empty());
    FUZZ_CHECK(d.contours.size() == 1 && d.contours[0].controlPoints.size() == 1 &&
               d.contours[0].controlPoints[0][2] == 3 && d.weight == -7);
    return 0;
  }
  for (const TContMeshS2Contour& c : d.contours) {
    for (const TPolyIdx& t : c.tris)
      for (int v : t) FUZZ_CHECK(v >= 0 && v < 4);
    for (const TVec3& p : c.controlPoints)
      for (int a = 0; a < 3; ++a) FUZZ_CHECK(std::isfinite(p[a]));
  }
  FUZZ_CHECK(std::isfinite(d.weight));
  const std::string out = t_formatContMeshS2(d);
  TContMeshS2 again;
  FUZZ_CHECK(t_parseContMeshS2(out, again));
  FUZZ_CHECK(again.contours.size() == d.contours.size() && t_formatContMeshS2(again) == out);
  return 0;
}

}  // namespace

const std::vector<TFuzzTarget>& t_fuzzTargets() {
  static const std::vector<TFuzzTarget> targets = {
      {"tiff", fuzzTiff},
      {"sph", fuzzSph},
      {"traw3d_ss", fuzzTraw3dSs},
      {"raw_stack", fuzzRawStack},
      {"bmp_stack", fuzzBmpStack},
      {"ksmask2", fuzzKsmask2},
      {"ksmask", fuzzKsmask},
      {"muxa", fuzzMuxa},
      {"dicom_header", fuzzDicomHeader},
      {"gcut_cache", fuzzGcutCache},
      {"ctrl_points", fuzzCtrlPoints},
      {"seed_file", fuzzSeedFile},
      {"camera_files", fuzzCameraFiles},
      {"rbf_fib", fuzzRbfFib},
      {"contmesh_s2", fuzzContMeshS2},
  };
  return targets;
}

TFuzzEntry t_fuzzEntry(const std::string& name) {
  for (const TFuzzTarget& t : t_fuzzTargets())
    if (name == t.name) return t.entry;
  return nullptr;
}
