// The organ cross-section mode without a window: the split by the nearer side, the surfaces of a
// synthetic organ at anisotropic voxels (cut k keeps k mm from the tumour), the push-out, the brush,
// the display boxes, the entry questions, and the mode's build (loads refused while it runs, a
// volume too large for memory).
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <QCoreApplication>
#include <QTimer>

#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "core/MaskIdChooser.h"
#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/vis/organ_sections.h"
#include "modes/vis/StateVisOrgCrs.h"
#include "modes/vis/orgcrs_entry.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"
#include "view/VolRendManager.h"

namespace {

TEST(OrgCrsSplit, FreeVoxelsGoToTheNearerSideAndUnreachedOnesStayFree) {
  // A row from a seed to the background: the free voxels split at the middle, the seed side
  // taking the tie.
  std::vector<uint8_t> row = {255, 1, 1, 1, 1, 1, 1, 1, 0};
  splitByNearerSide(9, 1, 1, row.data());
  EXPECT_EQ(row, (std::vector<uint8_t>{255, 254, 254, 254, 254, 2, 2, 2, 0}));

  // Fronts move over the 26-neighbours: a diagonal step counts one.  The lone free voxel with
  // neither side around it stays 1.
  std::vector<uint8_t> sq = {255, 1, 1, 1,  //
                             1, 1, 1, 1,   //
                             1, 1, 1, 1,   //
                             1, 1, 1, 0};
  splitByNearerSide(4, 4, 1, sq.data());
  EXPECT_EQ(sq[5], 254);   // (1, 1): one diagonal step from the seed
  EXPECT_EQ(sq[10], 2);    // (2, 2): one diagonal step from the background
  std::vector<uint8_t> alone = {1, 1, 1};
  splitByNearerSide(3, 1, 1, alone.data());
  EXPECT_EQ(alone, (std::vector<uint8_t>{1, 1, 1}));
}

// Mask ids: 1 organ, 2 tumour, 3 highlighted part, 4 vessel.
struct Organ {
  static constexpr int W = 64, H = 64, D = 20;
  double pitch[3] = {0.5, 0.5, 2.0};
  double extent[3];
  double tumourMm[3] = {20, 16, 20}, tumourR = 4.5;
  std::vector<uint8_t> mask;
  Organ() {
    // 32 x 32 x 40 mm in a box whose longest side is 10: 0.25 units per mm on every axis.
    extent[0] = extent[1] = 8.0;
    extent[2] = 10.0;
    mask.assign(W * H * D, 0);
    for (int z = 0; z < D; ++z)
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
          double c[3];
          centre(x, y, z, c);
          auto d = [&](double a, double b, double e) {
            return std::sqrt((c[0] - a) * (c[0] - a) + (c[1] - b) * (c[1] - b) + (c[2] - e) * (c[2] - e));
          };
          uint8_t id = 0;
          if (d(16, 16, 20) < 14) id = 1;
          if (id && d(10, 16, 20) < 3.5) id = 3;
          if (id && std::hypot(c[0] - 16, c[1] - 24) < 1.5) id = 4;
          if (d(tumourMm[0], tumourMm[1], tumourMm[2]) < tumourR) id = 2;
          mask[x + W * (y + H * z)] = id;
        }
  }
  void centre(int x, int y, int z, double c[3]) const {
    c[0] = (x + 0.5) * pitch[0];
    c[1] = (y + 0.5) * pitch[1];
    c[2] = (z + 0.5) * pitch[2];
  }
  TOrganSurfaceJob job() const {
    TOrganSurfaceJob j;
    j.W = W, j.H = H, j.D = D;
    j.mask = mask.data();
    j.ids.organ[1] = j.ids.tumour[2] = j.ids.highlight[3] = j.ids.vessel[4] = 1;
    for (int a = 0; a < 3; ++a) j.extent[a] = extent[a], j.pitch[a] = pitch[a];
    return j;
  }
};

TEST(OrgCrsSurfaces, CutKKeepsKMillimetresFromTheTumourAtFineVoxels) {
  Organ o;
  std::vector<double> fractions;
  std::array<ClipSurface, kOrgSurfaceCount> s;
  ASSERT_EQ(buildRegionSurfaces(o.job(), s, [&](double f) { fractions.push_back(f); }), TOrganBuild::Done);
  for (int i : {0, 1, 2, 3, 4, 5, 7, 9, 10, 11}) EXPECT_GT(s[i].polyCount, 100) << "surface " << i;
  EXPECT_EQ(s[6].vertexCount, 0);
  EXPECT_EQ(s[8].vertexCount, 0);
  EXPECT_EQ(s[7].verts, s[5].verts);
  ASSERT_FALSE(fractions.empty());
  for (size_t i = 1; i < fractions.size(); ++i) EXPECT_GT(fractions[i], fractions[i - 1]);

  // Tumour voxel centres in mm; the box holds 4 units per mm.
  std::vector<TVec3> tumour;
  for (int z = 0; z < o.D; ++z)
    for (int y = 0; y < o.H; ++y)
      for (int x = 0; x < o.W; ++x)
        if (o.mask[x + o.W * (y + o.H * z)] == 2) {
          TVec3 c;
          o.centre(x, y, z, c.data());
          tumour.push_back(c);
        }
  const double perMm = 0.25, halfVoxel = 0.5 * 2.0;
  for (int k = 1; k <= 5; ++k) {
    double nearest = 1e9;
    for (const TVec3& v : s[k].verts) {
      const double p[3] = {v[0] / perMm, v[1] / perMm, v[2] / perMm};
      for (const TVec3& t : tumour) nearest = std::min(nearest, t_dist3(p, t));
    }
    EXPECT_GE(nearest, k - halfVoxel) << "cut " << k;
    // The cut still runs close to its margin, not far away from it.
    EXPECT_LT(nearest, k + o.tumourR) << "cut " << k;
  }
  // The tumour surface wraps the tumour: its vertices lie within a voxel of the sphere.
  for (const TVec3& v : s[kOrgTumour].verts) {
    const double p[3] = {v[0] / perMm, v[1] / perMm, v[2] / perMm};
    EXPECT_NEAR(t_dist3(p, o.tumourMm), o.tumourR, 2.0);
  }

  // The flag volume of the mode: highlight 1, vessel 2, tumour 3, organ and outside 0.
  std::vector<uint8_t> flags(o.mask.size(), 9);
  t_fillOrganFlags(o.mask.data(), o.mask.size(), o.job().ids, flags.data());
  const uint8_t expect[5] = {0, 0, 3, 1, 2};
  for (size_t i = 0; i < flags.size(); ++i) ASSERT_EQ(flags[i], expect[o.mask[i]]) << i;
}

TEST(OrgCrsSurfaces, MemoryRunningOutHalfWayEndsTheBuildWithNothingBuilt) {
  // An allocation failing after the tumour surface (the progress report stands in for it).
  Organ o;
  std::array<ClipSurface, kOrgSurfaceCount> s;
  auto failAt = [](double f) {
    if (f >= 0.3) throw std::bad_alloc();
  };
  EXPECT_EQ(buildRegionSurfaces(o.job(), s, failAt), TOrganBuild::OutOfMemory);
  for (const ClipSurface& c : s) EXPECT_EQ(c.vertexCount, 0);
}

TEST(OrgCrsSurfaces, PushOutMovesOnlyWhatIsTooCloseToTheTumour) {
  TTriangleMesh T;
  T.initSphere(1.0);
  TTriangleMesh near, far;
  near.initSphere(1.05);
  far.initSphere(2.0);
  const std::vector<TVec3> farBefore = far.verts;
  pushOutFromTumour(T, near, 0.2);
  pushOutFromTumour(T, far, 0.2);
  double out[3];
  for (const TVec3& v : near.verts) EXPECT_GT(T.distanceToPoint(v, out), 0.17);
  for (int i = 0; i < far.vertexCount; ++i)
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(far.verts[i][k], farBefore[i][k], 1e-9);
}

// A flat sheet in z = 0 facing +z, 0.1 between its vertices.
TTriangleMesh sheet() {
  std::vector<TVec3> pts;
  std::vector<TPolyIdx> tris;
  const int n = 21;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) pts.emplace_back(0.1 * i, 0.1 * j, 0.0);
  for (int j = 0; j + 1 < n; ++j)
    for (int i = 0; i + 1 < n; ++i) {
      const int a = i + n * j;
      tris.push_back({a, a + 1, a + n + 1});
      tris.push_back({a, a + n + 1, a + n});
    }
  TTriangleMesh m;
  m.initFromVertsPolys(pts, tris);
  return m;
}

TEST(OrgCrsBrush, PushesInsideTheRadiusAndMissesLeaveTheSurface) {
  TTriangleMesh m = sheet();
  const std::vector<TVec3> before = m.verts;
  const double down[3] = {0, 0, -1}, eye[3] = {1.0, 1.0, 5.0};
  const double away[3] = {5.0, 5.0, 5.0};
  EXPECT_FALSE(t_brushSurfacePatch(m, away, down, away, 0.05, 1.0, 100));
  EXPECT_EQ(m.verts, before);

  // Radius 5 * 0.05 = 0.25 around (1, 1, 0).
  ASSERT_TRUE(t_brushSurfacePatch(m, eye, down, eye, 0.05, 1.0, 100));
  int moved = 0;
  for (int i = 0; i < m.vertexCount; ++i) {
    const double d = std::hypot(before[i][0] - 1.0, before[i][1] - 1.0);
    if (d >= 0.25) {
      EXPECT_EQ(m.verts[i], before[i]) << i;
    } else {
      EXPECT_LE(m.verts[i][2], 0.0);
      moved += m.verts[i][2] < -1e-4;
    }
  }
  EXPECT_GT(moved, 4);
  EXPECT_NEAR(m.verts[10 + 21 * 10][2], -0.01, 2e-3);  // the centre sinks by depth x 1e-4

  // Across a right-angle fold the brush only smooths: no vertex sinks under the sheet.
  TTriangleMesh fold = sheet();
  for (TVec3& v : fold.verts)
    if (v[0] > 1.05) v[2] = v[0] - 1.0, v[0] = 1.0;
  fold.updateNormals();
  const double eye2[3] = {0.95, 1.0, 5.0};
  ASSERT_TRUE(t_brushSurfacePatch(fold, eye2, down, eye2, 0.05, 1.0, 100));
  for (const TVec3& v : fold.verts) EXPECT_GE(v[2], -1e-12);
}

TEST(OrgCrsDisplay, GroupBoxesExcludeEachOtherAndThePairsTheirPartner) {
  TOrgCrsDisplay d;
  d.reset();
  std::vector<int> onAtEntry;
  for (int i = 0; i < TOrgCrsDisplay::Count; ++i)
    if (d.on[i]) onAtEntry.push_back(i);
  EXPECT_EQ(onAtEntry, (std::vector<int>{TOrgCrsDisplay::Cut1 + 2, TOrgCrsDisplay::Interior, TOrgCrsDisplay::Vessel}));
  EXPECT_FALSE(d.brushEnabled());

  d.click(TOrgCrsDisplay::ImgDeform, true);
  d.click(TOrgCrsDisplay::EdgeDeform, true);
  EXPECT_TRUE(d.on[TOrgCrsDisplay::ImgDeform] && d.on[TOrgCrsDisplay::EdgeDeform]);
  EXPECT_FALSE(d.on[TOrgCrsDisplay::Cut1 + 2]);
  EXPECT_TRUE(d.brushEnabled());
  d.click(TOrgCrsDisplay::Whole, false);  // unchecking a group box leaves the whole group off
  for (int i = 0; i <= TOrgCrsDisplay::EdgeDeform; ++i) EXPECT_FALSE(d.on[i]) << i;
  EXPECT_TRUE(d.on[TOrgCrsDisplay::Interior] && d.on[TOrgCrsDisplay::Vessel]);

  d.click(TOrgCrsDisplay::VesselImg, true);
  d.click(TOrgCrsDisplay::Tumour, true);
  d.click(TOrgCrsDisplay::TumourImg, true);
  EXPECT_TRUE(d.on[TOrgCrsDisplay::VesselImg] && d.on[TOrgCrsDisplay::TumourImg]);
  EXPECT_FALSE(d.on[TOrgCrsDisplay::Vessel] || d.on[TOrgCrsDisplay::Tumour]);
}

class BusyMode : public FakeMode {
 public:
  BusyMode() : FakeMode("busy") {}
  const char* busyMessage() const override { return busy ? "busy: growing" : nullptr; }
  bool busy = false;
};

class OrgCrsEntry : public ::testing::Test {
 protected:
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  ScriptedChooser chooser;
  BusyMode other;
  std::vector<uint8_t> mask = {0, 1, 1, 2, 3, 4};
  TOrganIds ids;
  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    t_setMaskIdChooser(&chooser);
    TModeRegistry::getInst().clear();
    TModeEntry e;
    e.name = "busy";
    e.ids = {5};
    e.mode = [this]() -> TModeState* { return &other; };
    TModeRegistry::getInst().add(e);
  }
  void TearDown() override {
    t_setMaskIdChooser(nullptr);
    TModeRegistry::getInst().clear();
  }
  TOrgCrsEntry ask() { return t_askOrganIds(mask.data(), mask.size(), ids); }
};

TEST_F(OrgCrsEntry, RefusedWhileAWorkerRunsAndEndedByTheFirstOrFourthCancel) {
  other.busy = true;
  chooser.many = {{true, {1}}};
  EXPECT_EQ(ask(), TOrgCrsEntry::Busy);
  EXPECT_TRUE(chooser.titles.empty());
  EXPECT_TRUE(prompts.sawText("busy: growing"));
  other.busy = false;

  chooser.many = {{false, {}}};
  EXPECT_EQ(ask(), TOrgCrsEntry::Cancelled);
  EXPECT_EQ(chooser.titles.size(), 1u);

  chooser.titles.clear();
  chooser.many = {{true, {1}}, {true, {3}}, {true, {4}}, {false, {}}};
  EXPECT_EQ(ask(), TOrgCrsEntry::Cancelled);
  ASSERT_EQ(chooser.titles.size(), 4u);
  EXPECT_EQ(chooser.titles[3], "腫瘍領域を指定してください(複数可)");
}

TEST_F(OrgCrsEntry, SkippedOptionalSetsAreEmptyAndAnOrganWithoutVoxelsIsRefused) {
  chooser.many = {{true, {1, 7}}, {false, {}}, {false, {}}, {true, {2}}};
  EXPECT_EQ(ask(), TOrgCrsEntry::Ready);
  EXPECT_TRUE(ids.organ[1] && ids.organ[7] && ids.tumour[2]);
  for (int i = 0; i < 256; ++i) EXPECT_FALSE(ids.highlight[i] || ids.vessel[i]) << i;

  chooser.many = {{true, {9}}, {true, {3}}, {true, {4}}, {true, {2}}};
  EXPECT_EQ(ask(), TOrgCrsEntry::EmptyOrgan);
  EXPECT_TRUE(prompts.sawText("臓器領域が空です"));
}

// The mode itself, without a window: an application object for the build's event loop, the
// standard modes faked, the questions scripted.
class OrgCrsMode : public ::testing::Test {
 protected:
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  ScriptedChooser chooser;
  PointingViewHost host;
  FakeMode vis{"vis"};
  int loads = 0;
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_orgcrs_logic";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry v;
    v.name = "vis";
    v.ids = {0, 1, 2, 3};
    v.mode = [this]() -> TModeState* { return &vis; };
    reg.add(v);
    TModeEntry e;
    e.name = "StateVisOrgCrs";
    e.ids = {4};
    e.mode = []() -> TModeState* { return &StateVisOrgCrs::getInst(); };
    reg.add(e);
    TCoreWiring w;
    w.loadVolume = [this](const std::vector<std::string>&, int, double*, double*, double*) {
      ++loads;
      return true;
    };
    TCore::setWiring(w);
    TCore::getInst().setMode(3);
  }
  void TearDown() override {
    TCore::getInst().setMode(0);
    TCore::setWiring(TCoreWiring());
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setModeViewHost(nullptr);
    t_setMaskIdChooser(nullptr);
    scope.reset();
  }
};

TEST_F(OrgCrsMode, LoadsDuringTheBuildAreRefusedAndTheBuildUsesTheMaskItStartedWith) {
  Organ o;
  FakeRegionData data;
  data.mask = o.mask;
  data.flag.assign(o.mask.size(), 0);
  t_setModeRegionData(&data);
  host.volW = o.W, host.volH = o.H, host.volD = o.D;
  chooser.many = {{true, {1}}, {true, {3}}, {true, {4}}, {true, {2}}};

  // A load arriving while the surfaces are built (a file drop or a queued call reaches the build's
  // event loop); were it taken, it would replace the mask under the mode.
  bool fired = false, loaded = true;
  const char* busy = nullptr;
  QTimer::singleShot(0, [&] {
    fired = true;
    busy = TCore::getInst().busyMessage();
    loaded = TCore::getInst().loadVolume("/nonexistent/other.tif");
    if (loaded) data.mask.assign(8, 0);
  });
  TCore::getInst().setMode(4);
  ASSERT_TRUE(fired);
  EXPECT_FALSE(loaded);
  EXPECT_EQ(loads, 0);
  ASSERT_NE(busy, nullptr);
  EXPECT_TRUE(prompts.sawText(busy));
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);  // not after the build

  // The mode is on with the surfaces and flags of the mask it was entered with.
  ASSERT_EQ(TCore::getInst().modeId, 4);
  TOrganSurfaceJob job = o.job();
  for (int a = 0; a < 3; ++a) job.extent[a] = VolRendManager::getInst().extent[a], job.pitch[a] = 1;
  std::array<ClipSurface, kOrgSurfaceCount> expect;
  ASSERT_EQ(buildRegionSurfaces(job, expect), TOrganBuild::Done);
  for (int i = 0; i < kOrgSurfaceCount; ++i)
    EXPECT_EQ(StateVisOrgCrs::getInst().surfaces()[i].verts, expect[i].verts) << "surface " << i;
  std::vector<uint8_t> flags(o.mask.size());
  t_fillOrganFlags(o.mask.data(), o.mask.size(), job.ids, flags.data());
  EXPECT_TRUE(data.flag == flags);
}

// A mask of 2^37 voxels (address space only: untouched pages cost nothing) whose first voxel
// carries the organ.
class HugeRegionData : public TModeRegionData {
 public:
  static constexpr std::size_t kBytes = std::size_t(1) << 37;
  uint8_t* mask = nullptr;
  uint8_t* flag = nullptr;
  int drops = 0, commits = 0;
  HugeRegionData() {
    mask = map();
    flag = map();
    if (mask) mask[0] = 1;
  }
  ~HugeRegionData() override {
    if (mask) munmap(mask, kBytes);
    if (flag) munmap(flag, kBytes);
  }
  bool ok() const { return mask && flag; }
  std::size_t maskVoxelCount() override { return kBytes; }
  std::uint8_t* flagVoxels() override { return flag; }
  std::uint8_t* maskVoxels() override { return mask; }
  void dropFlagTexture() override { ++drops; }
  void dropMaskTexture() override { ++drops; }
  bool isIdUsed(int) override { return false; }
  void commitRegion(int) override { ++commits; }

 private:
  static uint8_t* map() {
    void* p = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
  }
};

TEST_F(OrgCrsMode, AVolumeTooLargeForMemoryIsToldAndLeavesEverythingInMode3) {
  HugeRegionData data;
  if (!data.ok()) GTEST_SKIP() << "no address space for the test volume";
  t_setModeRegionData(&data);
  host.volW = 1 << 16, host.volH = 1 << 16, host.volD = 1 << 5;
  chooser.many = {{true, {1}}, {false, {}}, {false, {}}, {true, {2}}};
  TCore::getInst().setMode(4);
  EXPECT_EQ(TCore::getInst().modeId, 3);
  const std::vector<std::string> texts = prompts.texts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_NE(texts[0].find("memory"), std::string::npos) << texts[0];
  EXPECT_EQ(data.mask[0], 1);
  EXPECT_EQ(data.mask[1], 0);
  EXPECT_EQ(data.flag[0], 0);
  EXPECT_EQ(data.drops + data.commits, 0);
  EXPECT_EQ(TCore::getInst().busyMessage(), nullptr);
}

}  // namespace
