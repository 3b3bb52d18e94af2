// Mask files: ".ksmask2" round trips and layout, damaged and foreign files refused without a
// change, failed saves that keep the earlier file; ".ksmask" versions 1 to 3.
#include <cmath>
#include <csignal>
#include <random>
#include <sys/resource.h>

#include "regions_test_util.h"

namespace {

using namespace regions_test;

const int W = 8, H = 7, D = 6, N = W * H * D;

uint8_t* mask() { return TextureManager::getInst().volMask.data; }
TMaskIdTable& table() { return TMaskIdTable::getInst(); }

void fillBlock(int x0, int y0, int z0, int x1, int y1, int z1, uint8_t id) {
  for (int z = z0; z < z1; ++z)
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) mask()[idx(W, H, x, y, z)] = id;
}

class MaskFile : public RegionsFixture {
 protected:
  void SetUp() override {
    RegionsFixture::SetUp();
    table().setPitchSink([this](const double p[3]) {
      for (int a = 0; a < 3; ++a) pitch_[a] = p[a];
      ++pitchCalls_;
    });
  }
  // A mask with three committed regions and some table entries off their defaults.
  void makeWork() {
    fillBlock(1, 1, 1, 4, 4, 3, 3);
    fillBlock(4, 2, 2, 7, 6, 5, 200);
    fillBlock(0, 0, 5, 2, 2, 6, 255);
    table().records[3].color = 0x00FF8040;
    table().activateRegion(3);
    table().activateRegion(200);
    table().activateRegion(255);
    table().records[200].polygonRendering = 1;
    table().records[255].alpha = 77;
    table().records[40].used = 1;
    table().records[41].color = 0xFFFFFFFF;
    table().updateColorTexture();
  }
  // The user's current work as a second, different state: what a refused load must keep.
  void makeOtherWork() {
    installMaskOnly(W, H, D);
    table().resetForVolume();
    fillBlock(2, 2, 2, 5, 5, 5, 9);
    table().activateRegion(9);
  }
  // Expects a refusal: a message was shown and nothing changed.
  void expectRefused(const std::string& file, const Snapshot& before, const std::string& why) {
    const size_t shown = prompts_.shown.size();
    EXPECT_FALSE(table().loadKsmask2(file.c_str())) << why;
    ASSERT_EQ(prompts_.shown.size(), shown + 1) << why;
    EXPECT_EQ(prompts_.shown.back().text.rfind("error in loading ksmask2", 0), 0u) << why;
    EXPECT_TRUE(Snapshot::take() == before) << why;
    EXPECT_EQ(pitchCalls_, 0) << why;
  }

  double pitch_[3] = {0, 0, 0};
  int pitchCalls_ = 0;
  TempDir tmp_;
};

size_t surfaceBytes() {
  size_t s = 0;
  for (const TMaskIdInfo& r : table().records)
    s += 8 + 24 * size_t(r.surface.vertexCount) + 12 * size_t(r.surface.polyCount);
  return s;
}

TEST_F(MaskFile, Ksmask2RoundTripRestoresEverything) {
  setPitch(0.5, 0.75, 2.25);
  makeWork();
  const Snapshot saved = Snapshot::take();
  const std::string file = tmp_.path("work.ksmask2");
  ASSERT_TRUE(table().saveKsmask2(file.c_str()));
  EXPECT_EQ(readFile(file).size(), 4 + 12 + 4 + 24 + 4 + size_t(N) + 4 + 1024 + 4 + 256 + 4 + 1024 +
                                       4 + 1024 + 4 + surfaceBytes() + 4);
  makeOtherWork();
  ASSERT_FALSE(Snapshot::take() == saved);
  ASSERT_TRUE(table().loadKsmask2(file.c_str()));
  EXPECT_TRUE(Snapshot::take() == saved);
  EXPECT_EQ(pitchCalls_, 1);
  EXPECT_EQ(pitch_[0], 0.5);
  EXPECT_EQ(pitch_[1], 0.75);
  EXPECT_EQ(pitch_[2], 2.25);
  EXPECT_EQ(table().records[41].color, 0xFFFFFFFFu);
  expectColorTableCurrent();
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(MaskFile, Ksmask2ChunksInAnyOrderAndOptional) {
  makeOtherWork();
  std::vector<uint8_t> voxels(N, 0);
  voxels[5] = 12;
  Bytes f;
  f.i32(1).i32(W).i32(H).i32(D).i32(3).raw(voxels).i32(2).f64(0.25).f64(0.5).f64(1.5).i32(4);
  for (int i = 0; i < 256; ++i) f.i32(0x010203 * (i % 3));
  f.i32(0);
  const std::string file = tmp_.path("sparse.ksmask2");
  writeFile(file, f.b);
  const Snapshot before = Snapshot::take();
  ASSERT_TRUE(table().loadKsmask2(file.c_str()));
  EXPECT_EQ(mask()[5], 12);
  EXPECT_EQ(mask()[idx(W, H, 3, 3, 3)], 0);
  EXPECT_EQ(pitch_[2], 1.5);
  EXPECT_EQ(table().records[4].color, 0x010203u);
  // What the file does not carry stays: alphas, flags, surfaces.
  EXPECT_EQ(table().records[9].alpha, 200);
  EXPECT_EQ(table().records[9].used, 1);
  EXPECT_EQ(Snapshot::take().verts, before.verts);
  expectColorTableCurrent();
}

TEST_F(MaskFile, Ksmask2DamagedOrForeignFilesChangeNothing) {
  makeWork();
  const std::string good = tmp_.path("good.ksmask2");
  ASSERT_TRUE(table().saveKsmask2(good.c_str()));
  const std::vector<uint8_t> bytes = readFile(good);
  makeOtherWork();
  const Snapshot before = Snapshot::take();
  const std::string bad = tmp_.path("bad.ksmask2");

  expectRefused(tmp_.path("missing.ksmask2"), before, "missing file");

  // Another volume size.
  setPitch(1, 1, 1);
  installMaskOnly(W + 1, H, D);
  table().resetForVolume();
  const Snapshot otherSize = Snapshot::take();
  expectRefused(good, otherSize, "foreign size");
  EXPECT_NE(prompts_.shown.back().text.find("9 x 7 x 6"), std::string::npos);
  makeOtherWork();

  // Every cut: the end mark is missing, or a block is short.
  for (size_t len = 0; len < bytes.size(); len += (len < 64 ? 1 : 37)) {
    writeFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + len));
    expectRefused(bad, before, "cut at " + std::to_string(len));
  }

  // Flips in the structure: the first chunk, the size, the end mark, surface counts.  (A flipped
  // chunk id may name another known chunk, which a reader that takes chunks in any order and any
  // number of times reads; those flips belong with the flips anywhere below.)
  std::vector<size_t> structural = {0, 4, 8, 12};
  size_t pos = 48 + N + 4 + 1024 + 4 + 256 + 4 + 1024 + 4 + 1024 + 4;
  std::vector<size_t> counts;
  for (int i = 0; i < 256; ++i) {
    int32_t nv, nt;
    std::memcpy(&nv, &bytes[pos], 4);
    std::memcpy(&nt, &bytes[pos + 4], 4);
    counts.push_back(pos);
    counts.push_back(pos + 4);
    pos += 8 + 24 * size_t(nv) + 12 * size_t(nt);
  }
  ASSERT_EQ(pos + 4, bytes.size());
  structural.push_back(pos);  // end mark
  for (size_t at : structural)
    for (int bit = 0; bit < 32; ++bit) {
      std::vector<uint8_t> b = bytes;
      b[at + bit / 8] ^= uint8_t(1 << (bit % 8));
      writeFile(bad, b);
      expectRefused(bad, before, "bit " + std::to_string(bit) + " of the field at " + std::to_string(at));
    }
  for (size_t at : counts)
    for (int bit : {12, 19, 26, 31}) {
      std::vector<uint8_t> b = bytes;
      b[at + bit / 8] ^= uint8_t(1 << (bit % 8));
      writeFile(bad, b);
      expectRefused(bad, before, "count bit " + std::to_string(bit) + " at " + std::to_string(at));
    }
  // Flips anywhere (the chunk ids among them): a flip may load, but never half-way.
  std::vector<size_t> chunkIds = {16, 44, 48 + size_t(N)};
  for (size_t at = 48 + N + 4 + 1024, k = 0; k < 4; ++k) {
    chunkIds.push_back(at);
    at += k == 0 ? 4 + 256 : 4 + 1024;
  }
  std::mt19937 rng(7);
  for (int k = 0; k < 300 + 32 * int(chunkIds.size()); ++k) {
    std::vector<uint8_t> b = bytes;
    if (k < 32 * int(chunkIds.size()))
      b[chunkIds[size_t(k / 32)] + size_t(k % 32) / 8] ^= uint8_t(1 << (k % 8));
    else
      b[rng() % b.size()] ^= uint8_t(1 << (rng() % 8));
    writeFile(bad, b);
    const Snapshot prior = Snapshot::take();
    const size_t shown = prompts_.shown.size();
    if (!table().loadKsmask2(bad.c_str())) {
      EXPECT_EQ(prompts_.shown.size(), shown + 1);
      EXPECT_TRUE(Snapshot::take() == prior);
    }
  }
}

TEST_F(MaskFile, Ksmask2SurfaceWithVerticesNotNumbersIsLeftOut) {
  makeWork();
  const Snapshot saved = Snapshot::take();
  const std::string file = tmp_.path("nan.ksmask2");
  ASSERT_TRUE(table().saveKsmask2(file.c_str()));
  std::vector<uint8_t> bytes = readFile(file);
  // The surface of id 200: walk the surface records of block 8.
  size_t pos = 48 + size_t(N) + 4 + 1024 + 4 + 256 + 4 + 1024 + 4 + 1024 + 4;
  for (int i = 0; i < 200; ++i) {
    int32_t nv, nt;
    std::memcpy(&nv, &bytes[pos], 4);
    std::memcpy(&nt, &bytes[pos + 4], 4);
    pos += 8 + 24 * size_t(nv) + 12 * size_t(nt);
  }
  ASSERT_GT(saved.verts[200].size(), 0u);
  const double nan = std::nan("");
  std::memcpy(&bytes[pos + 8 + 8], &nan, 8);  // y of the first vertex
  writeFile(file, bytes);
  makeOtherWork();
  // The voxels and the rest of the table load; only that surface is left out.
  ASSERT_TRUE(table().loadKsmask2(file.c_str()));
  Snapshot loaded = Snapshot::take();
  EXPECT_TRUE(loaded.verts[200].empty());
  EXPECT_EQ(table().records[200].surface.polyCount, 0);
  loaded.verts[200] = saved.verts[200];
  loaded.polys[200] = saved.polys[200];
  EXPECT_TRUE(loaded == saved);
  EXPECT_TRUE(prompts_.shown.empty());
}

// Chunks may repeat (the later one holds) and nothing after chunk 0 is read.
TEST_F(MaskFile, Ksmask2RepeatedChunksLaterHoldsAndEndMarkEndsTheRead) {
  makeOtherWork();
  std::vector<uint8_t> first(N, 4), second(N, 0);
  second[7] = 21;
  Bytes f;
  f.i32(1).i32(W).i32(H).i32(D);
  f.i32(3).raw(first).i32(2).f64(3).f64(3).f64(3).i32(5);
  for (int i = 0; i < 256; ++i) f.u8(10);
  f.i32(3).raw(second).i32(2).f64(0.5).f64(0.25).f64(2).i32(5);
  for (int i = 0; i < 256; ++i) f.u8(uint8_t(i));
  // Chunk 8 twice, with one surface for id 21: the second is a different triangle.
  for (int pass = 0; pass < 2; ++pass) {
    f.i32(8);
    for (int i = 0; i < 256; ++i) {
      if (i != 21) {
        f.i32(0).i32(0);
        continue;
      }
      f.i32(3).i32(1);
      for (int v = 0; v < 9; ++v) f.f64(v == 0 ? 0.1 * (pass + 1) : 0.5);
      f.i32(0).i32(1).i32(2);
    }
  }
  f.i32(0);
  f.i32(99).i32(3).u8(1);  // after the end mark: neither a known chunk nor a whole one
  const std::string file = tmp_.path("repeated.ksmask2");
  writeFile(file, f.b);
  ASSERT_TRUE(table().loadKsmask2(file.c_str()));
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(mask()[7], 21);
  EXPECT_EQ(mask()[0], 0);
  EXPECT_EQ(pitchCalls_, 1);
  EXPECT_EQ(pitch_[0], 0.5);
  EXPECT_EQ(pitch_[1], 0.25);
  EXPECT_EQ(pitch_[2], 2);
  EXPECT_EQ(table().records[9].alpha, 9);
  EXPECT_EQ(table().records[200].alpha, 200);
  ASSERT_EQ(table().records[21].surface.vertexCount, 3);
  EXPECT_DOUBLE_EQ(table().records[21].surface.verts[0][0], 0.2);
  expectColorTableCurrent();
}

// A surface with a corner index out of range or a repeated corner is left out with a console
// line; the voxels, the table and the other surfaces load.
TEST_F(MaskFile, Ksmask2BadTrianglesLeaveOnlyTheirSurfaceOut) {
  makeOtherWork();
  std::vector<uint8_t> voxels(N, 0);
  voxels[3] = 30;
  voxels[4] = 31;
  voxels[5] = 32;
  Bytes f;
  f.i32(1).i32(W).i32(H).i32(D).i32(3).raw(voxels).i32(6);
  for (int i = 0; i < 256; ++i) f.i32(i >= 30 && i <= 32);
  f.i32(8);
  for (int i = 0; i < 256; ++i) {
    if (i < 30 || i > 32) {
      f.i32(0).i32(0);
      continue;
    }
    f.i32(3).i32(2);
    for (int v = 0; v < 9; ++v) f.f64(0.1 * v);
    f.i32(0).i32(1).i32(2);
    if (i == 30) f.i32(0).i32(3).i32(1);        // index out of range
    else if (i == 31) f.i32(2).i32(1).i32(2);   // repeated corner
    else f.i32(2).i32(1).i32(0);                // sound
  }
  f.i32(0);
  const std::string file = tmp_.path("badtri.ksmask2");
  writeFile(file, f.b);
  testing::internal::CaptureStderr();
  const bool loaded = table().loadKsmask2(file.c_str());
  const std::string console = testing::internal::GetCapturedStderr();
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(prompts_.shown.empty());
  EXPECT_EQ(mask()[3], 30);
  EXPECT_EQ(mask()[5], 32);
  EXPECT_EQ(table().records[31].used, 1);
  EXPECT_EQ(table().records[9].used, 0);
  EXPECT_EQ(table().records[30].surface.polyCount, 0);
  EXPECT_EQ(table().records[31].surface.polyCount, 0);
  EXPECT_EQ(table().records[32].surface.polyCount, 2);
  EXPECT_NE(console.find("surface of id 30 has a vertex index out of range; it is left out"),
            std::string::npos);
  EXPECT_NE(console.find("surface of id 31 has a triangle with a repeated corner; it is left out"),
            std::string::npos);
  EXPECT_EQ(console.find("surface of id 32"), std::string::npos);
}

TEST_F(MaskFile, FailedSavesTellTheUserAndKeepTheEarlierFile) {
  makeWork();
  EXPECT_FALSE(table().saveKsmask2("/nonexistent-folder/work.ksmask2"));
  ASSERT_EQ(prompts_.shown.size(), 1u);
  EXPECT_EQ(prompts_.shown[0].text.rfind("The mask could not be saved.", 0), 0u);

  const std::string file = tmp_.path("work.ksmask2");
  ASSERT_TRUE(table().saveKsmask2(file.c_str()));
  const std::vector<uint8_t> good = readFile(file);
  // A write that fails part way (the file-size limit stands in for a full disk).
  fillBlock(0, 0, 0, W, H, D, 5);
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 100;
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const bool saved = table().saveKsmask2(file.c_str());
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_FALSE(saved);
  EXPECT_EQ(prompts_.shown.size(), 2u);
  EXPECT_EQ(readFile(file), good);
  // Nothing is left beside it.
  const std::string ls = "ls -A '" + tmp_.dir() + "' | wc -l";
  FILE* p = popen(ls.c_str(), "r");
  int entries = -1;
  ASSERT_EQ(fscanf(p, "%d", &entries), 1);
  pclose(p);
  EXPECT_EQ(entries, 1);
}

// ---- ".ksmask" ------------------------------------------------------------------------------

// A record of the old layout; surface: a tetrahedron when solid.
void oldRecord(Bytes& f, uint32_t color, uint8_t alpha, int32_t used, uint8_t poly, bool solid) {
  f.i32(int32_t(color)).u8(alpha).i32(used).u8(poly);
  if (!solid) {
    f.i32(0).i32(0);
    return;
  }
  f.i32(4).i32(4);
  const double v[4][3] = {{0.1, 0.1, 0.1}, {0.9, 0.1, 0.1}, {0.1, 0.9, 0.1}, {0.1, 0.1, 0.9}};
  for (const auto& p : v) f.f64(p[0]).f64(p[1]).f64(p[2]);
  const int t[4][3] = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  for (const auto& q : t) f.i32(q[0]).i32(q[1]).i32(q[2]);
}

TEST_F(MaskFile, OldFormatVersions) {
  makeOtherWork();
  // Version 1: int32 voxels (only the low byte counts) and a trailing block after each record.
  Bytes v1;
  v1.i32(1).i32(W).i32(H).i32(D);
  for (int i = 0; i < N; ++i) v1.i32(0x12345600 | (i % 5));
  for (int k = 0; k < 256; ++k) {
    oldRecord(v1, 0x00112233u + k, uint8_t(k), k % 2, k == 4, k == 3);
    v1.i32(1).i32(2).f64(0).f64(1).f64(2).f64(3).f64(4).f64(5).f64(6);
  }
  const std::string f1 = tmp_.path("v1.ksmask");
  writeFile(f1, v1.b);
  ASSERT_TRUE(table().loadKsmaskOld(f1.c_str()));
  for (int i = 0; i < N; ++i) ASSERT_EQ(mask()[i], i % 5);
  EXPECT_EQ(table().records[7].color, 0x00112233u + 7);
  EXPECT_EQ(table().records[7].alpha, 7);
  EXPECT_EQ(table().records[7].used, 1);
  EXPECT_EQ(table().records[4].polygonRendering, 1);
  EXPECT_EQ(table().records[3].surface.polyCount, 4);
  EXPECT_EQ(table().records[9].surface.vertexCount, 0);  // its old surface was replaced
  expectColorTableCurrent();

  // Version 3: byte voxels.
  Bytes v3;
  v3.i32(3).i32(W).i32(H).i32(D);
  for (int i = 0; i < N; ++i) v3.u8(uint8_t(i % 7));
  for (int k = 0; k < 256; ++k) oldRecord(v3, 0x0A0B0C, 9, 1, 0, false);
  const std::string f3 = tmp_.path("v3.ksmask");
  writeFile(f3, v3.b);
  ASSERT_TRUE(table().loadKsmaskOld(f3.c_str()));
  EXPECT_EQ(mask()[13], 13 % 7);
  EXPECT_EQ(table().records[200].color, 0x0A0B0Cu);

  // Version 2 files that stop between records keep the records they have.
  makeOtherWork();
  Bytes v2;
  v2.i32(2).i32(W).i32(H).i32(D);
  for (int i = 0; i < N; ++i) v2.i32(1);
  for (int k = 0; k < 10; ++k) oldRecord(v2, 0x445566, 50, 1, 0, k == 9);
  const std::string f2 = tmp_.path("v2.ksmask");
  writeFile(f2, v2.b);
  ASSERT_TRUE(table().loadKsmaskOld(f2.c_str()));
  EXPECT_EQ(table().records[9].color, 0x445566u);
  EXPECT_EQ(table().records[9].surface.polyCount, 4);
  EXPECT_EQ(table().records[10].color, 0x0A0A0Au);
  EXPECT_TRUE(prompts_.shown.empty());
}

TEST_F(MaskFile, OldFormatDamagedOrForeignFilesChangeNothing) {
  Bytes v2;
  v2.i32(2).i32(W).i32(H).i32(D);
  for (int i = 0; i < N; ++i) v2.i32(3);
  for (int k = 0; k < 256; ++k) oldRecord(v2, 0x445566, 50, 1, 0, k % 3 == 0);
  const std::vector<uint8_t> bytes = v2.b;
  makeOtherWork();
  const Snapshot before = Snapshot::take();
  const std::string bad = tmp_.path("bad.ksmask");
  auto expectRefused = [&](const std::string& why) {
    const size_t shown = prompts_.shown.size();
    EXPECT_FALSE(table().loadKsmaskOld(bad.c_str())) << why;
    EXPECT_EQ(prompts_.shown.size(), shown + 1) << why;
    EXPECT_TRUE(Snapshot::take() == before) << why;
  };
  // Cuts inside the header, the voxels or a record (not between records).
  const size_t voxelEnd = 16 + 4 * size_t(N);
  for (size_t len : {size_t(0), size_t(3), size_t(15), size_t(16), voxelEnd - 1, voxelEnd + 1,
                     voxelEnd + 9, voxelEnd + 10 + 20, bytes.size() - 1})
    if (len < bytes.size()) {
      writeFile(bad, std::vector<uint8_t>(bytes.begin(), bytes.begin() + len));
      expectRefused("cut at " + std::to_string(len));
    }
  // Another size: the console line and a message.
  std::vector<uint8_t> foreign = bytes;
  foreign[4] = W + 2;
  writeFile(bad, foreign);
  testing::internal::CaptureStderr();
  expectRefused("foreign size");
  EXPECT_NE(testing::internal::GetCapturedStderr().find(
                "strange size, current[8 7 6]  loading[10 7 6]\n"),
            std::string::npos);
  // A surface count that runs past the end.
  std::vector<uint8_t> huge = bytes;
  huge[voxelEnd + 10 + 3] = 0x40;
  writeFile(bad, huge);
  expectRefused("vertex count");
  // An unknown version followed by data it cannot hold.
  std::vector<uint8_t> unknown = bytes;
  unknown[0] = 9;
  writeFile(bad, unknown);
  expectRefused("unknown version");
}

}  // namespace
