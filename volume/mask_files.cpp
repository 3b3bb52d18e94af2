// Mask files: ".ksmask2" (tagged chunks; read and written) and the older ".ksmask" (versions 1 to
// 3; read only).  All numbers little-endian, no padding.
//
// Both readers take the whole file apart into a staging area and check it completely before the
// mask or the table is touched: a damaged file, one made for another volume size or one that
// stops early is refused with a message, and the user's current work stays as it was.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "volume/TMaskIdTable.h"
#include "volume/TOGL3DImage.h"
#include "volume/TextureManager.h"
#include "volume/replace_file.h"

namespace {

constexpr int kIds = TMaskIdTable::kIdCount;

bool readWholeFile(const char* path, std::vector<uint8_t>& out, std::string& error) {
  FILE* fp = fopen(path, "rb");
  if (!fp) {
    error = std::string("The file cannot be opened (") + strerror(errno) + ").";
    return false;
  }
  out.clear();
  uint8_t buf[1 << 16];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, fp)) > 0) out.insert(out.end(), buf, buf + got);
  const bool bad = ferror(fp) != 0;
  fclose(fp);
  if (bad) error = "The file cannot be read.";
  return !bad;
}

// Reads little-endian values off a byte buffer, never past its end.
class Cursor {
 public:
  Cursor(const uint8_t* p, size_t n) : m_p(p), m_left(n) {}
  size_t left() const { return m_left; }
  bool atEnd() const { return m_left == 0; }
  bool bytes(size_t n, const uint8_t** out) {
    if (n > m_left) return false;
    *out = m_p;
    m_p += n;
    m_left -= n;
    return true;
  }
  bool u8(uint8_t* v) {
    const uint8_t* p;
    if (!bytes(1, &p)) return false;
    *v = p[0];
    return true;
  }
  bool u32(uint32_t* v) {
    const uint8_t* p;
    if (!bytes(4, &p)) return false;
    *v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return true;
  }
  bool i32(int32_t* v) {
    uint32_t u;
    if (!u32(&u)) return false;
    std::memcpy(v, &u, 4);
    return true;
  }
  bool f64(double* v) {
    const uint8_t* p;
    if (!bytes(8, &p)) return false;
    uint64_t u = 0;
    for (int k = 7; k >= 0; --k) u = u << 8 | p[k];
    std::memcpy(v, &u, 8);
    return true;
  }

 private:
  const uint8_t* m_p;
  size_t m_left;
};

struct StagedSurface {
  std::vector<TVec3> verts;
  std::vector<TPolyIdx> polys;
  // Empty when the surface can be built; otherwise why it is left out (a vertex that is not a
  // number, a corner index out of range, a triangle with a repeated corner).
  std::string flaw;
};

// One surface record: nv, nt, nv vertices, nt triangles.  Counts are checked against the bytes
// left before anything is allocated.
bool readSurface(Cursor& c, StagedSurface* s, std::string& error) {
  int32_t nv, nt;
  if (!c.i32(&nv) || !c.i32(&nt)) {
    error = "The file ends inside a surface.";
    return false;
  }
  if (nv < 0 || nt < 0 || (nv == 0 && nt > 0) ||
      uint64_t(nv) * 24 + uint64_t(nt) * 12 > c.left()) {
    error = "A surface has an impossible vertex or triangle count (" + std::to_string(nv) + ", " +
            std::to_string(nt) + ").";
    return false;
  }
  s->verts.resize(nv);
  s->polys.resize(nt);
  // A bad vertex or triangle does not make the file unreadable (the voxels are the work; a
  // surface can be rebuilt from them), so such a surface is only marked to be left out.  The
  // record is still read to its end: its counts say where the next one starts.
  for (TVec3& v : s->verts)
    for (int a = 0; a < 3; ++a) {
      c.f64(&v[a]);  // the counts were checked against the bytes left
      if (!std::isfinite(v[a]) && s->flaw.empty()) s->flaw = "has vertices that are not numbers";
    }
  for (TPolyIdx& p : s->polys) {
    for (int a = 0; a < 3; ++a) {
      int32_t k = -1;
      c.i32(&k);  // the counts were checked against the bytes left
      if ((k < 0 || k >= nv) && s->flaw.empty()) s->flaw = "has a vertex index out of range";
      p[a] = k;
    }
    if ((p[0] == p[1] || p[1] == p[2] || p[0] == p[2]) && s->flaw.empty())
      s->flaw = "has a triangle with a repeated corner";
  }
  if (!s->flaw.empty()) {
    s->verts.clear();
    s->polys.clear();
  }
  return true;
}

void writeSurface(std::vector<uint8_t>& out, const TTriangleMesh& m);

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(uint8_t(v >> (8 * k)));
}
void putF64(std::vector<uint8_t>& out, double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  for (int k = 0; k < 8; ++k) out.push_back(uint8_t(u >> (8 * k)));
}

void writeSurface(std::vector<uint8_t>& out, const TTriangleMesh& m) {
  const int nv = m.vertexCount, nt = m.polyCount;
  put32(out, uint32_t(nv));
  put32(out, uint32_t(nt));
  for (int i = 0; i < nv; ++i)
    for (int a = 0; a < 3; ++a) putF64(out, m.verts[i][a]);
  for (int i = 0; i < nt; ++i)
    for (int a = 0; a < 3; ++a) put32(out, uint32_t(m.polys[i][a]));
}

void refuse(const std::string& title, const char* path, const std::string& reason) {
  fprintf(stderr, "%s: %s: %s\n", title.c_str(), path, reason.c_str());
  t_warn(title + "\n\n" + path + "\n" + reason + "\nThe mask and its regions were left unchanged.");
}

// The whole file of a mask load, read only when there is a volume to receive it; false after
// telling the user why not.
bool readMaskFile(const char* title, const char* path, const TOGL3DImage& mask,
                  std::vector<uint8_t>& buf) {
  if (mask.empty()) {
    refuse(title, path, "No volume is loaded.");
    return false;
  }
  std::string error;
  if (!readWholeFile(path, buf, error)) {
    refuse(title, path, error);
    return false;
  }
  return true;
}

// Builds a record's surface from what the file holds.
void applySurface(const StagedSurface& s, int id, TTriangleMesh& mesh) {
  if (!s.flaw.empty()) {
    fprintf(stderr, "surface of id %d %s; it is left out\n", id, s.flaw.c_str());
    mesh.clear();
  } else if (s.verts.empty()) {
    mesh.clear();
  } else {
    mesh.initFromVertsPolys(s.verts, s.polys);
  }
}

std::string sizeText(int W, int H, int D) {
  return std::to_string(W) + " x " + std::to_string(H) + " x " + std::to_string(D);
}

// The parts of a mask file that the loader applies, after everything was checked.
struct StagedMask {
  const uint8_t* voxels = nullptr;  // W*H*D bytes inside the file buffer
  std::vector<uint8_t> ownVoxels;   // converted voxels of the old int32 form
  bool hasPitch = false;
  double pitch[3] = {1, 1, 1};
  bool hasColor = false, hasAlpha = false, hasUsed = false, hasPoly = false, hasSurf = false;
  uint32_t color[kIds];
  uint8_t alpha[kIds];
  uint8_t used[kIds];
  uint8_t poly[kIds];
  std::vector<StagedSurface> surf;
  int recordCount = kIds;  // old format: records present in the file
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// ".ksmask2"

bool TMaskIdTable::saveKsmask2(const char* path) {
  TextureManager& tm = holder();
  const TOGL3DImage& mask = tm.volMask;
  if (mask.empty()) return false;

  t_progressStart(2);
  TReplaceFile file(path);
  std::vector<uint8_t> head;
  put32(head, 1);
  put32(head, uint32_t(mask.W));
  put32(head, uint32_t(mask.H));
  put32(head, uint32_t(mask.D));
  double pitch[3];
  tm.getPitch(pitch);
  put32(head, 2);
  for (double p : pitch) putF64(head, p);
  put32(head, 3);
  file.write(head.data(), head.size());
  file.write(mask.data, size_t(mask.size()));
  t_progressStep(50);

  std::vector<uint8_t> table;
  put32(table, 4);
  for (const TMaskIdInfo& r : records) put32(table, r.color);
  put32(table, 5);
  for (const TMaskIdInfo& r : records) table.push_back(r.alpha);
  put32(table, 6);
  for (const TMaskIdInfo& r : records) put32(table, r.used ? 1 : 0);
  put32(table, 7);
  for (const TMaskIdInfo& r : records) put32(table, r.polygonRendering ? 1 : 0);
  file.write(table.data(), table.size());
  t_progressStep(90);

  std::vector<uint8_t> surf;
  put32(surf, 8);
  for (const TMaskIdInfo& r : records) writeSurface(surf, r.surface);
  put32(surf, 0);
  file.write(surf.data(), surf.size());
  const bool ok = file.commit();
  t_progressEnd();
  if (!ok) {
    fprintf(stderr, "mask not saved: %s: %s\n", path, file.error().c_str());
    t_warn(std::string("The mask could not be saved.\n\n") + path + "\n" + file.error());
  }
  return ok;
}

bool TMaskIdTable::loadKsmask2(const char* path) {
  static const char* kTitle = "error in loading ksmask2";
  TextureManager& tm = holder();
  TOGL3DImage& mask = tm.volMask;
  std::vector<uint8_t> buf;
  if (!readMaskFile(kTitle, path, mask, buf)) return false;
  std::string error;
  Cursor c(buf.data(), buf.size());
  int32_t id = -1;
  if (!c.i32(&id) || id != 1) {
    refuse(kTitle, path, "This is not a mask file (it does not start with the volume size).");
    return false;
  }
  int32_t W, H, D;
  if (!c.i32(&W) || !c.i32(&H) || !c.i32(&D)) {
    refuse(kTitle, path, "The file ends inside the volume size.");
    return false;
  }
  if (W != mask.W || H != mask.H || D != mask.D) {
    refuse(kTitle, path,
           "The file holds a mask of " + sizeText(W, H, D) + " voxels; the loaded volume has " +
               sizeText(mask.W, mask.H, mask.D) + " voxels.");
    return false;
  }
  const size_t n = size_t(mask.size());
  StagedMask s;
  // Chunks come in any order and any number of times (the later one holds) until chunk 0;
  // whatever follows chunk 0 is not read.
  for (;;) {
    if (!c.i32(&id)) {
      refuse(kTitle, path, "The file ends early (no end mark); it may be truncated.");
      return false;
    }
    if (id == 0) break;
    bool ok = true;
    switch (id) {
      case 2:
        ok = c.f64(&s.pitch[0]) && c.f64(&s.pitch[1]) && c.f64(&s.pitch[2]);
        s.hasPitch = true;
        break;
      case 3:
        ok = c.bytes(n, &s.voxels);
        break;
      case 4:
        for (int i = 0; i < kIds && ok; ++i) ok = c.u32(&s.color[i]);
        s.hasColor = true;
        break;
      case 5:
        for (int i = 0; i < kIds && ok; ++i) ok = c.u8(&s.alpha[i]);
        s.hasAlpha = true;
        break;
      case 6:
      case 7:
        for (int i = 0; i < kIds && ok; ++i) {
          int32_t v = 0;
          ok = c.i32(&v);
          (id == 6 ? s.used : s.poly)[i] = v != 0;
        }
        (id == 6 ? s.hasUsed : s.hasPoly) = true;
        break;
      case 8:
        s.surf.assign(kIds, StagedSurface());
        for (int i = 0; i < kIds; ++i)
          if (!readSurface(c, &s.surf[i], error)) {
            refuse(kTitle, path, error);
            return false;
          }
        s.hasSurf = true;
        break;
      default:
        refuse(kTitle, path, "The file holds an unknown block (" + std::to_string(id) + ").");
        return false;
    }
    if (!ok) {
      refuse(kTitle, path, "The file ends inside block " + std::to_string(id) + "; it may be truncated.");
      return false;
    }
  }
  if (s.hasPitch && !(std::isfinite(s.pitch[0]) && std::isfinite(s.pitch[1]) &&
                      std::isfinite(s.pitch[2]) && s.pitch[0] > 0 && s.pitch[1] > 0 &&
                      s.pitch[2] > 0)) {
    refuse(kTitle, path, "The voxel pitch in the file is not valid.");
    return false;
  }

  // Everything checked: apply.
  t_progressStart(3);
  t_progressStep(50);
  if (s.hasPitch && m_pitchSink) m_pitchSink(s.pitch);
  if (s.voxels) std::memcpy(mask.data, s.voxels, n);
  mask.unbind();
  for (int i = 0; i < kIds; ++i) {
    TMaskIdInfo& r = records[i];
    if (s.hasColor) r.color = s.color[i];
    if (s.hasAlpha) r.alpha = s.alpha[i];
    if (s.hasUsed) r.used = s.used[i];
    if (s.hasPoly) r.polygonRendering = s.poly[i];
    if (s.hasSurf) applySurface(s.surf[i], i, r.surface);
  }
  t_progressEnd();
  updateColorTexture();
  return true;
}

// ---------------------------------------------------------------------------------------------
// ".ksmask" (versions 1 to 3, read only)

bool TMaskIdTable::loadKsmaskOld(const char* path) {
  static const char* kTitle = "error in loading ksmask";
  TextureManager& tm = holder();
  TOGL3DImage& mask = tm.volMask;
  std::vector<uint8_t> buf;
  if (!readMaskFile(kTitle, path, mask, buf)) return false;
  std::string error;
  Cursor c(buf.data(), buf.size());
  int32_t version, W, H, D;
  if (!c.i32(&version) || !c.i32(&W) || !c.i32(&H) || !c.i32(&D)) {
    refuse(kTitle, path, "The file is too short to be a mask file.");
    return false;
  }
  if (W != mask.W || H != mask.H || D != mask.D) {
    fprintf(stderr, "strange size, current[%d %d %d]  loading[%d %d %d]\n", mask.W, mask.H, mask.D,
            W, H, D);
    refuse(kTitle, path,
           "The file holds a mask of " + sizeText(W, H, D) + " voxels; the loaded volume has " +
               sizeText(mask.W, mask.H, mask.D) + " voxels.");
    return false;
  }
  const size_t n = size_t(mask.size());
  StagedMask s;
  if (version >= 3) {
    if (!c.bytes(n, &s.voxels)) {
      refuse(kTitle, path, "The file ends inside the voxels; it may be truncated.");
      return false;
    }
  } else {
    const uint8_t* p;
    if (n > c.left() / 4 || !c.bytes(4 * n, &p)) {
      refuse(kTitle, path, "The file ends inside the voxels; it may be truncated.");
      return false;
    }
    s.ownVoxels.resize(n);
    for (size_t i = 0; i < n; ++i) s.ownVoxels[i] = p[4 * i];  // the low byte of each int32
    s.voxels = s.ownVoxels.data();
  }

  if (version >= 1 && version <= 3) {
    s.surf.assign(kIds, StagedSurface());
    s.recordCount = 0;
    for (int k = 0; k < kIds; ++k) {
      // Files of the older layouts may stop before all 256 records; they stop between records.
      if (version >= 2 && c.atEnd()) {
        fprintf(stderr, "old file!!!!\n");
        break;
      }
      int32_t used;
      bool ok = c.u32(&s.color[k]) && c.u8(&s.alpha[k]) && c.i32(&used) && c.u8(&s.poly[k]);
      if (!ok) {
        refuse(kTitle, path, "The file ends inside the record of id " + std::to_string(k) + ".");
        return false;
      }
      s.used[k] = used != 0;
      if (!readSurface(c, &s.surf[k], error)) {
        refuse(kTitle, path, error);
        return false;
      }
      if (version == 1) {  // a trailing block of curves, read and discarded
        int32_t m;
        if (!c.i32(&m) || m < 0) ok = false;
        for (int32_t q = 0; ok && q < m; ++q) {
          int32_t count;
          const uint8_t* skip;
          ok = c.i32(&count) && count >= 0 && uint64_t(count) * 24 + 8 <= c.left() &&
               c.bytes(8 + size_t(count) * 24, &skip);
        }
        if (!ok) {
          refuse(kTitle, path, "The file ends inside the record of id " + std::to_string(k) + ".");
          return false;
        }
      }
      s.recordCount = k + 1;
    }
  } else if (!c.atEnd()) {
    // A version we do not know holds nothing after the voxels; anything more means the header
    // was damaged.
    refuse(kTitle, path, "The file has an unknown version (" + std::to_string(version) + ").");
    return false;
  }

  // Everything checked: apply.
  t_progressStart(3);
  t_progressStep(0);
  std::memcpy(mask.data, s.voxels, n);
  mask.unbind();
  if (version >= 1 && version <= 3) {
    for (int k = 0; k < s.recordCount; ++k) {
      TMaskIdInfo& r = records[k];
      r.color = s.color[k];
      r.alpha = s.alpha[k];
      r.used = s.used[k];
      r.polygonRendering = s.poly[k] != 0;
      applySurface(s.surf[k], k, r.surface);
      if (version >= 2) {
        t_progressStep(k * 100 / 255);
        fprintf(stderr, "%d %d   ", k, r.surface.vertexCount);
      }
    }
  }
  t_progressEnd();
  updateColorTexture();
  return true;
}
