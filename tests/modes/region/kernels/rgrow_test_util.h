#pragma once
// Running the scipy reference script of the region-growing tests on volumes written to a
// temporary folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale>
#include <random>
#include <string>
#include <vector>

#include "geom/vec3.h"
#include "modes/region/kernels/rgrow_volume.h"

namespace rgrow_test {

inline const char* python() { return "/usr/bin/python3"; }

inline std::string scriptPath() {
  return std::string(KESTRIN_TEST_SOURCE_DIR) + "/scripts/rgrow_reference.py";
}

inline bool haveScipy() {
  static const int rc =
      std::system((std::string(python()) + " -c 'import scipy.ndimage, numpy, colorsys' >/dev/null 2>&1").c_str());
  return rc == 0;
}

// A volume with its own storage, random values and flags.
struct Volume {
  int W = 0, H = 0, D = 0, channels = 1;
  std::vector<float> ch[3], grad;
  std::vector<uint8_t> flags;

  Volume(int w, int h, int d, int c) : W(w), H(h), D(d), channels(c) {
    for (int k = 0; k < c; ++k) ch[k].resize(size());
    grad.resize(size());
    flags.resize(size());
  }
  size_t size() const { return static_cast<size_t>(W) * H * D; }
  TRgrowVolume view() const {
    TRgrowVolume v;
    v.W = W;
    v.H = H;
    v.D = D;
    v.channels = channels;
    for (int k = 0; k < channels; ++k) v.ch[k] = ch[k].data();
    v.gradient = grad.data();
    return v;
  }
  // Values uniform in [0, 100) (integers with some probability, so that ties and bounds occur),
  // gradient in [0, 1), flags 0 with probability pZero, else 1 or 255.
  void randomise(std::mt19937& rng, double pZero) {
    std::uniform_real_distribution<float> value(0.0f, 100.0f), unit(0.0f, 1.0f);
    for (int k = 0; k < channels; ++k)
      for (float& v : ch[k]) v = unit(rng) < 0.2f ? std::floor(value(rng)) : value(rng);
    for (float& g : grad) g = unit(rng);
    for (uint8_t& f : flags) f = unit(rng) < pZero ? 0 : (unit(rng) < 0.5f ? 1 : 255);
  }
};

class Reference : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveScipy()) GTEST_SKIP() << python() << " lacks numpy or scipy";
    char tmpl[] = "/tmp/kestrin_rgrowXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    if (!dir_.empty()) std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  template <class T>
  void writeRaw(const std::string& name, const std::vector<T>& data) {
    std::ofstream f(dir_ + "/" + name, std::ios::binary);
    f.write(reinterpret_cast<const char*>(data.data()), data.size() * sizeof(T));
  }
  template <class T>
  std::vector<T> readRaw(const std::string& name, size_t n) {
    std::vector<T> data(n);
    std::ifstream f(dir_ + "/" + name, std::ios::binary);
    f.read(reinterpret_cast<char*>(data.data()), n * sizeof(T));
    EXPECT_EQ(static_cast<size_t>(f.gcount()), n * sizeof(T)) << name;
    return data;
  }
  // Writes the volume and params.txt (size and channels first, then `params`).
  void writeVolume(const Volume& v, const std::string& params) {
    for (int k = 0; k < v.channels; ++k) writeRaw("ch" + std::to_string(k) + ".f32", v.ch[k]);
    writeRaw("grad.f32", v.grad);
    writeRaw("flags.u8", v.flags);
    std::ofstream p(dir_ + "/params.txt");
    p.imbue(std::locale::classic());
    p.precision(17);
    p << "size " << v.W << " " << v.H << " " << v.D << "\nchannels " << v.channels << "\n" << params;
  }
  void writeSeeds(const TPoints& seeds) {
    std::ofstream f(dir_ + "/seeds.txt");
    f.imbue(std::locale::classic());
    f.precision(17);
    for (const TVec3& s : seeds) f << s[0] << " " << s[1] << " " << s[2] << "\n";
  }
  // Runs the script; the flags it computes.
  std::vector<uint8_t> run(const std::string& op, size_t n) {
    const std::string cmd = std::string(python()) + " '" + scriptPath() + "' " + op + " '" + dir_ + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
    return readRaw<uint8_t>("out.u8", n);
  }

  std::string dir_;
};

// Number of voxels where two flag volumes differ, with the first one reported.
inline size_t countDiff(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want, int W, int H) {
  size_t n = 0;
  for (size_t i = 0; i < got.size(); ++i)
    if (got[i] != want[i]) {
      if (n++ == 0)
        ADD_FAILURE() << "first difference at x=" << i % W << " y=" << (i / W) % H << " z=" << i / W / H
                      << ": got " << int(got[i]) << ", reference " << int(want[i]);
    }
  return n;
}

}  // namespace rgrow_test
