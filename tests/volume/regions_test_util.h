#pragma once
// Shared by the region, mask-file, ".muxa" and export tests: a small volume installed in the one
// holder, a reset table, scripted prompts, temporary folders and raw file helpers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <iterator>
#include <fstream>
#include <string>
#include <vector>

#include "platform/ScriptedPrompts.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace regions_test {

inline size_t idx(int W, int H, int x, int y, int z) {
  return (size_t(z) * H + y) * W + x;
}

// Channel values, 8-bit textures (through each channel's data range), empty work volume and
// mask, in the one holder.
inline void installVolume(int W, int H, int D, const std::vector<std::vector<float>>& channels) {
  TextureManager& tm = TextureManager::getInst();
  float** vals[3] = {&tm.val1, &tm.val2, &tm.val3};
  for (int c = 0; c < 3; ++c) {
    delete[] *vals[c];
    *vals[c] = nullptr;
    tm.channelTexture(c).clear();
  }
  tm.channelCount = int(channels.size());
  for (size_t c = 0; c < channels.size(); ++c) {
    float* v = new float[channels[c].size()];
    double mn = 1e300, mx = -1e300;
    for (size_t i = 0; i < channels[c].size(); ++i) {
      v[i] = channels[c][i];
      mn = std::min(mn, double(v[i]));
      mx = std::max(mx, double(v[i]));
    }
    *vals[c] = v;
    tm.channelTexture(int(c)).allocateFromVolume(W, H, D, v, mn, mx);
  }
  tm.volFlag.allocate(W, H, D);
  tm.volMask.allocate(W, H, D);
}

inline void installMaskOnly(int W, int H, int D) {
  installVolume(W, H, D, {std::vector<float>(size_t(W) * H * D, 0.0f)});
}

inline void setPitch(double x, double y, double z) {
  TextureManager::getInst().setPitchSource([x, y, z](double p[3]) {
    p[0] = x;
    p[1] = y;
    p[2] = z;
  });
}

// The colour table holds what the records say.
inline void expectColorTableCurrent() {
  const TMaskIdTable& t = TMaskIdTable::getInst();
  ASSERT_EQ(t.colorTable.N, 256);
  for (int i = 0; i < 256; ++i) {
    const TMaskIdInfo& r = t.records[i];
    const uint8_t* e = t.colorTable.data + 4 * i;
    EXPECT_EQ(e[0], r.color & 0xFF) << "id " << i;
    EXPECT_EQ(e[1], (r.color >> 8) & 0xFF) << "id " << i;
    EXPECT_EQ(e[2], (r.color >> 16) & 0xFF) << "id " << i;
    EXPECT_EQ(e[3], r.polygonRendering ? 0 : r.alpha) << "id " << i;
  }
  EXPECT_FALSE(t.colorTable.linear);
}

// Everything a mask file carries, for before/after comparisons.
struct Snapshot {
  std::vector<uint8_t> mask;
  std::vector<uint32_t> color;
  std::vector<int> alpha, used, poly;
  std::vector<std::vector<TVec3>> verts;
  std::vector<std::vector<TPolyIdx>> polys;

  static Snapshot take() {
    Snapshot s;
    const TOGL3DImage& m = TextureManager::getInst().volMask;
    s.mask.assign(m.data, m.data + m.size());
    for (const TMaskIdInfo& r : TMaskIdTable::getInst().records) {
      s.color.push_back(r.color);
      s.alpha.push_back(r.alpha);
      s.used.push_back(r.used);
      s.poly.push_back(r.polygonRendering);
      s.verts.emplace_back(r.surface.verts.begin(), r.surface.verts.begin() + r.surface.vertexCount);
      s.polys.emplace_back(r.surface.polys.begin(), r.surface.polys.begin() + r.surface.polyCount);
    }
    return s;
  }
  bool operator==(const Snapshot& o) const {
    return mask == o.mask && color == o.color && alpha == o.alpha && used == o.used &&
           poly == o.poly && verts == o.verts && polys == o.polys;
  }
};

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/kestrin_regionsXXXXXX";
    if (mkdtemp(tmpl)) m_dir = tmpl;
  }
  ~TempDir() {
    if (!m_dir.empty()) std::system(("rm -rf '" + m_dir + "'").c_str());
  }
  std::string path(const std::string& name) const { return m_dir + "/" + name; }
  const std::string& dir() const { return m_dir; }

 private:
  std::string m_dir;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline bool fileExists(const std::string& path) {
  std::ifstream f(path);
  return bool(f);
}

// Little-endian builders for hand-made files.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& i32(int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
    return *this;
  }
  Bytes& u8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Bytes& f64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int k = 0; k < 8; ++k) b.push_back(uint8_t(u >> (8 * k)));
    return *this;
  }
  Bytes& raw(const std::vector<uint8_t>& v) {
    b.insert(b.end(), v.begin(), v.end());
    return *this;
  }
};

// Every test starts from a fresh table over a fresh volume, with prompts scripted.
class RegionsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    setPitch(1, 1, 1);
    installMaskOnly(8, 7, 6);
    TMaskIdTable::getInst().resetForVolume();
  }
  void TearDown() override { TMaskIdTable::getInst().setPitchSink(nullptr); }

  TScriptedPrompts prompts_;
  TScriptedPrompts::Scope scope_{prompts_};
};

}  // namespace regions_test
