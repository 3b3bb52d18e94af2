// The file commands of the core: loads refused while a worker runs, the z-flip wrap of every save
// and export, channels, the region closing, the region surface export's questions and report, and
// the camera files.  Everything the core reaches is a recording stand-in.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/MaskIdChooser.h"
#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/file_kinds.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

const char* const kBusy = "The system is computing Watershed segmentation. wait a moment...";
const char* const kHoldsGeometry = "a surface built for this pitch";

class BusyMode : public FakeMode {
 public:
  BusyMode() : FakeMode("busy") {}
  bool busy = false;
  bool holdsGeometry = false;
  const char* busyMessage() const override { return busy ? kBusy : nullptr; }
  const char* geometryBusyMessage() const override { return holdsGeometry ? kHoldsGeometry : nullptr; }
};

std::string tempPath(const std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kestrin_core_" + std::to_string(::getpid()) + "_" + name;
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream f(path, std::ios::binary);
  f << text;
}

class CoreFiles : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  FakeMode vis{"vis", &log};
  BusyMode gcut;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  ScriptedChooser chooser;
  int channels = 1;
  bool writerOk = true;
  TCameraPose camera;
  TVisSetup applied;
  int appliedCount = 0;
  std::vector<unsigned char> maskVox;
  int mW = 0, mH = 0, mD = 0;
  std::vector<unsigned char> changedIds;
  std::vector<std::string> cleanup;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    t_setMaskIdChooser(&chooser);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry e;
    e.name = "vis";
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13}) e.ids.push_back(id);
    e.mode = [this]() -> TModeState* { return &vis; };
    reg.add(e);
    TModeEntry g;
    g.name = "gcut";
    g.ids = {8};
    g.mode = [this]() -> TModeState* { return &gcut; };
    reg.add(g);

    TCoreWiring w;
    w.loadVolume = [this](const std::vector<std::string>& files, int type, double*, double*, double*) {
      log.push_back("load " + std::to_string(type) + " " + std::to_string(files.size()));
      return true;
    };
    w.channelCount = [this] { return channels; };
    w.resetMaskForVolume = [this] { log.push_back("resetMask"); };
    w.graphCutResetForNewVolume = [this] { log.push_back("gcutReset"); };
    w.flipZVolume = [this] { log.push_back("flipZ"); };
    w.flipZMaskSurfaces = [this] { log.push_back("flipSurfaces"); };
    w.loadMaskFile = [this](const std::string&) {
      log.push_back("readMask");
      return writerOk;
    };
    w.loadChannel = [this](int ch, const std::vector<std::string>& files, int type, double* mn, double* mx) {
      log.push_back("channel " + std::to_string(ch) + " type " + std::to_string(type) + " " +
                    std::to_string(files.size()));
      *mn = -1;
      *mx = 9;
      return writerOk;
    };
    w.winLvSetRange = [this](int ch, double mn, double mx) {
      log.push_back("range " + std::to_string(ch) + " " + std::to_string(int(mn)) + " " + std::to_string(int(mx)));
    };
    auto writer = [this](const char* name) {
      return [this, name](const std::string& path) {
        log.push_back(std::string(name) + " " + path);
        return writerOk;
      };
    };
    w.saveMaskFile = writer("saveMask");
    w.exportVolumeTif = writer("tif");
    w.exportVolumeTifChannels = writer("tif255");
    w.exportSlicesBmp = writer("bmp");
    w.saveCombinedFile = writer("muxa");
    w.exportMaskTif = writer("maskTif");
    w.maskVoxels = [this](int& W, int& H, int& D) -> unsigned char* {
      W = mW;
      H = mH;
      D = mD;
      return maskVox.empty() ? nullptr : maskVox.data();
    };
    w.maskVoxelsChanged = [this](const std::vector<unsigned char>& changed) {
      changedIds = changed;
      log.push_back("maskChanged");
    };
    w.getCamera = [this](TCameraPose& p) {
      p = camera;
      return true;
    };
    w.setCamera = [this](const TCameraPose& p) {
      camera = p;
      log.push_back("setCamera");
    };
    w.applyVisSetup = [this](const TVisSetup& s) {
      applied = s;
      ++appliedCount;
    };
    TCore::setWiring(w);
    TCore::getInst().zFlipped = false;
    TCore::getInst().modeId = 0;
  }

  void TearDown() override {
    for (const std::string& p : cleanup) std::remove(p.c_str());
    t_setMaskIdChooser(nullptr);
    scope.reset();
    TModeRegistry::getInst().clear();
    TCore::setWiring(TCoreWiring());
  }

  bool logHas(const std::string& s) const {
    for (const auto& l : log)
      if (l == s) return true;
    return false;
  }
};

}  // namespace

TEST_F(CoreFiles, EveryChangeOfTheDataIsRefusedWithTheBusyTextWhileAWorkerRuns) {
  TCore& c = TCore::getInst();
  c.setMode(6);
  log.clear();
  gcut.busy = true;
  c.zFlipped = true;
  EXPECT_FALSE(c.loadVolume("/d/a.tif"));
  EXPECT_FALSE(c.loadSlices({"/d/s1.bmp", "/d/s2.bmp"}));
  EXPECT_FALSE(c.loadChannelVolume("/d/b.tif", 2));
  EXPECT_FALSE(c.loadMask("/d/m.ksmask2"));
  // The two camera-and-transfer-function files: with a block (mode switch) and without one (the
  // pitch and the window levels still change).
  TVisSetup s;
  s.camera.eye[2] = 5;
  for (int block : {0, -1}) {
    const std::string tf = tempPath("busy" + std::to_string(block) + ".kscamtf");
    cleanup.push_back(tf);
    s.pitch[0] = 2.5;
    writeFile(tf, TCore::visSetupText(block, s));
    EXPECT_FALSE(c.loadCameraTransFunc(tf.c_str()));
  }
  chooser.many.push_back({true, {1}});
  maskVox.assign(8, 0);
  mW = mH = mD = 2;
  TCoreWiring& w = TCore::wiring();
  w.askInt = [](const std::string&, int& v) { return true; };
  c.multiRegionClosing();
  // Saves and exports of a flipped stack would flip the live arrays under the worker.
  EXPECT_FALSE(c.saveMask("/d/m.ksmask2"));
  EXPECT_FALSE(c.exportTifMinMax("/d/v.tif"));
  EXPECT_FALSE(c.exportTif255("/d/v.tif"));
  EXPECT_FALSE(c.exportBmpSlices("/d/v"));
  EXPECT_FALSE(c.exportCombinedFile("/d/v.muxa"));
  EXPECT_FALSE(c.exportMaskTif8("/d/m.tif"));
  c.exportRegionMesh(0, 3);
  // A mode switch the user asks for (menu, a cancelled dialog).
  EXPECT_FALSE(c.switchMode(3));
  EXPECT_EQ(c.modeId, 6);
  // Nothing was freed, flipped, loaded, written or changed, and the flip flag stays.
  EXPECT_TRUE(log.empty()) << log.front();
  EXPECT_EQ(appliedCount, 0);
  EXPECT_TRUE(c.zFlipped);
  EXPECT_EQ(prompts.texts().size(), 15u);
  for (const std::string& t : prompts.texts()) EXPECT_EQ(t, kBusy);

  // Unflipped, a save reads the arrays as they are and goes ahead.
  c.zFlipped = false;
  EXPECT_TRUE(c.saveMask("/d/m.ksmask2"));
  EXPECT_EQ(log, std::vector<std::string>{"saveMask /d/m.ksmask2"});
  log.clear();

  // Idle again: the graph cut forgets its pre-computation before the volume goes.
  gcut.busy = false;
  EXPECT_TRUE(c.loadVolume("/d/a.tif"));
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "gcutReset");
  EXPECT_EQ(log[1], "load 2 1");
  EXPECT_FALSE(c.zFlipped);
}

TEST_F(CoreFiles, AModeHoldingGeometryRefusesOnlyPitchChanges) {
  TCore& c = TCore::getInst();
  c.setMode(8);
  gcut.holdsGeometry = true;
  const std::string plain = tempPath("geom.kscamtf"), withBlock = tempPath("geomblock.kscamtf");
  cleanup.push_back(plain);
  cleanup.push_back(withBlock);
  TVisSetup s;
  s.camera.eye[2] = 5;
  s.pitch[2] = 3.0;
  writeFile(plain, TCore::visSetupText(-1, s));
  writeFile(withBlock, TCore::visSetupText(1, s));
  // A pitch change keeping the mode is refused with the mode's text.
  EXPECT_STREQ(c.busyMessage(TCore::Change::Geometry), kHoldsGeometry);
  EXPECT_FALSE(c.loadCameraTransFunc(plain.c_str()));
  EXPECT_EQ(appliedCount, 0);
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(prompts.texts()[0], kHoldsGeometry);
  // What leaves the mode goes ahead: a file with a block, a load.
  EXPECT_EQ(c.busyMessage(), nullptr);
  EXPECT_TRUE(c.loadCameraTransFunc(withBlock.c_str()));
  EXPECT_EQ(c.modeId, 1);
  EXPECT_EQ(appliedCount, 1);
  EXPECT_DOUBLE_EQ(applied.pitch[2], 3.0);
  EXPECT_TRUE(c.loadVolume("/d/a.tif"));
}

TEST_F(CoreFiles, ARefusedMaskReportsFalse) {
  writerOk = false;
  EXPECT_FALSE(TCore::getInst().loadMask("/d/m.ksmask2"));
  writerOk = true;
  EXPECT_TRUE(TCore::getInst().loadMask("/d/m.ksmask2"));
  EXPECT_FALSE(TCore::getInst().loadMask("/d/m.KSMASK2"));  // exact endings only
}

TEST_F(CoreFiles, SavesAndExportsWriteTheStackInFileOrder) {
  TCore& c = TCore::getInst();
  c.zFlipped = true;
  EXPECT_TRUE(c.saveMask("/d/m.ksmask2"));
  EXPECT_EQ(log, (std::vector<std::string>{"flipZ", "flipSurfaces", "saveMask /d/m.ksmask2", "flipZ", "flipSurfaces"}));
  log.clear();
  c.exportTifMinMax("/d/a.tif");
  c.exportTif255("/d/b.tif");
  c.exportBmpSlices("/d/s");
  c.exportCombinedFile("/d/c.muxa");
  c.exportMaskTif8("/d/m.tif");
  const std::vector<std::string> expect = {"flipZ", "tif /d/a.tif",   "flipZ", "flipZ", "tif255 /d/b.tif",  "flipZ",
                                           "flipZ", "bmp /d/s",       "flipZ", "flipZ", "muxa /d/c.muxa",   "flipZ",
                                           "flipZ", "maskTif /d/m.tif", "flipZ"};
  EXPECT_EQ(log, expect);
  EXPECT_TRUE(c.zFlipped);
  // Unflipped: no flips at all; a failed writer is reported.
  c.zFlipped = false;
  log.clear();
  writerOk = false;
  EXPECT_FALSE(c.exportTifMinMax("/d/a.tif"));
  EXPECT_EQ(log, std::vector<std::string>{"tif /d/a.tif"});
}

TEST_F(CoreFiles, OnlyTheNextChannelIsLoadedAndItsRowSet) {
  TCore& c = TCore::getInst();
  channels = 1;
  EXPECT_FALSE(c.loadChannelVolume("/d/b.tif", 3));  // does not follow the loaded ones
  EXPECT_TRUE(log.empty());
  c.zFlipped = true;
  EXPECT_TRUE(c.loadChannelVolume("/d/b.SPH", 2));
  EXPECT_EQ(log, (std::vector<std::string>{"gcutReset", "flipZ", "channel 2 type 1 1", "flipZ", "range 2 -1 9"}));
  log.clear();
  c.zFlipped = false;
  channels = 2;
  EXPECT_TRUE(c.loadChannelSlices({"/d/s0.dcm", "/d/s1.dcm"}, 3));
  EXPECT_EQ(log, (std::vector<std::string>{"gcutReset", "channel 3 type 4 2", "range 3 -1 9"}));
  log.clear();
  // Raw slices make no channel (type 0 is passed on; the loader refuses it), no range on failure.
  writerOk = false;
  EXPECT_FALSE(c.loadChannelSlices({"/d/s0.raw"}, 3));
  EXPECT_EQ(log, (std::vector<std::string>{"gcutReset", "channel 3 type 0 1"}));
}

TEST_F(CoreFiles, SliceStacksAreTypedByTheFirstNameAndResetTheMask) {
  TCore& c = TCore::getInst();
  c.zFlipped = true;
  EXPECT_TRUE(c.loadSlices({"/d/a.RAW", "/d/b.RAW"}));
  EXPECT_TRUE(logHas("load 5 2"));
  EXPECT_TRUE(logHas("resetMask"));
  EXPECT_FALSE(c.zFlipped);
  EXPECT_FALSE(c.loadSlices({}));
  EXPECT_EQ(t_sliceTypeOf("/d/a.bmp", false), 3);
  EXPECT_EQ(t_sliceTypeOf("/d/a.DCM", true), 4);
  EXPECT_EQ(t_sliceTypeOf("/d/a.raw", true), 0);
  EXPECT_EQ(t_sliceTypeOf("/d/a.Bmp", false), 0);
  EXPECT_EQ(t_withExtension("/d/a.b/m", "ksmask2"), "/d/a.b/m.ksmask2");
  EXPECT_EQ(t_withExtension("/d/m.ksmask2", "ksmask2"), "/d/m.ksmask2");
  EXPECT_EQ(t_withExtension("/d/m.TIF", "tif"), "/d/m.TIF.tif");
}

TEST_F(CoreFiles, ClosingFillsOnlyBackgroundGapsOfTheChosenRegions) {
  // A 9 x 3 x 1 block: region 1 at x 0-2 and 5-6 with a background gap at 3-4; background at
  // x 7 between region 1 and region 2 at x 8.
  const int W = 9, H = 3, D = 1;
  std::vector<unsigned char> m(W * H * D, 0);
  auto at = [&](std::vector<unsigned char>& v, int x, int y) -> unsigned char& { return v[y * W + x]; };
  for (int y = 0; y < H; ++y) {
    for (int x : {0, 1, 2, 5, 6}) at(m, x, y) = 1;
    at(m, 8, y) = 2;
  }
  std::vector<unsigned char> chosen(256, 0);
  chosen[1] = 1;

  std::vector<unsigned char> same = m;
  EXPECT_EQ(TCore::closeRegions(same.data(), W, H, D, chosen, 0)[1], 0);
  EXPECT_EQ(same, m);  // size 0 changes nothing

  std::vector<unsigned char> closed = m;
  const std::vector<unsigned char> changed = TCore::closeRegions(closed.data(), W, H, D, chosen, 2);
  EXPECT_EQ(changed[1], 1);
  EXPECT_EQ(changed[2], 0);
  for (int y = 0; y < H; ++y) {
    // The gap is closed; next to the other region (which counts as empty) nothing grows.
    EXPECT_EQ(at(closed, 3, y), 1);
    EXPECT_EQ(at(closed, 4, y), 1);
    EXPECT_EQ(at(closed, 7, y), 0);
    EXPECT_EQ(at(closed, 8, y), 2);
  }
  for (int i = 0; i < W * H; ++i)
    if (m[i] != 0) {
      EXPECT_EQ(closed[i], m[i]);
    }

  // Through the command: the chosen ids, the size, then the changed surfaces.
  maskVox = m;
  mW = W;
  mH = H;
  mD = D;
  chooser.many.push_back({true, {0, 1}});  // the background is dropped from the choice
  std::string askedLabel;
  TCore::wiring().askInt = [&](const std::string& label, int& v) {
    askedLabel = label;
    EXPECT_EQ(v, 2);
    return true;
  };
  TCore::getInst().multiRegionClosing();
  EXPECT_EQ(chooser.titles.back(), "Closing 対象領域の選択 ");
  EXPECT_EQ(askedLabel, "Select closing size (pixel)");
  EXPECT_EQ(maskVox, closed);
  ASSERT_EQ(changedIds.size(), 256u);
  EXPECT_EQ(changedIds[1], 1);
  // Cancelled size question: nothing.
  log.clear();
  chooser.many.push_back({true, {1}});
  TCore::wiring().askInt = [](const std::string&, int&) { return false; };
  TCore::getInst().multiRegionClosing();
  EXPECT_FALSE(logHas("maskChanged"));
}

TEST_F(CoreFiles, RegionExportAsksNamesBothFilesAndReportsWhatWasWritten) {
  TCore& c = TCore::getInst();
  TCoreWiring& w = TCore::wiring();
  std::vector<std::string> written;
  bool okScaled = true, okUnit = true;
  w.askSurfaceParams = [](int& step, int& u, int& l) {
    EXPECT_EQ(step, 1);
    EXPECT_EQ(u, 1);
    EXPECT_EQ(l, 1);
    step = 2;
    return true;
  };
  w.writeRegionSurface = [&](int format, int id, int step, int, int, const std::string& p, const std::string& up,
                             bool& a, bool& b) {
    written.push_back(std::to_string(format) + " " + std::to_string(id) + " " + std::to_string(step) + " " + p + " " + up);
    a = okScaled;
    b = okUnit;
  };
  // Cancel and the background end silently.
  chooser.one.push_back({false, 5});
  chooser.one.push_back({true, 0});
  c.exportRegionMesh(0, -1);
  c.exportRegionMesh(0, -1);
  EXPECT_TRUE(written.empty());
  EXPECT_EQ(chooser.titles.back(), "Select Target Region ID");

  c.zFlipped = true;
  chooser.one.push_back({true, 7});
  prompts.saveResults.push_back("/d/liver");
  c.exportRegionMesh(1, -1);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0], "1 7 2 /d/liver.stl /d/liver.stl.norm.stl");
  EXPECT_EQ(log, (std::vector<std::string>{"flipZ", "flipZ"}));
  EXPECT_EQ(prompts.texts().back(),
            "System exports 2 stl files\n*.stl is a surface model that has specified pitch size \n"
            " *.stl.norm.stl is a surface model normalized in [0,1][0,1][0,1]");
  c.zFlipped = false;

  // A file that could not be written is named in the report.
  okUnit = false;
  prompts.saveResults.push_back("/d/k.obj");
  c.exportRegionMesh(0, 3);
  EXPECT_EQ(written.back(), "0 3 2 /d/k.obj /d/k.obj.norm.obj");
  const std::string report = prompts.texts().back();
  EXPECT_NE(report.find("NOT written: /d/k.obj.norm.obj"), std::string::npos) << report;
  EXPECT_EQ(report.find("System exports 2"), std::string::npos);
}

TEST_F(CoreFiles, CameraFileRoundTripsWithinItsPrecision) {
  camera.eye[0] = 1.25;
  camera.eye[1] = -3.5;
  camera.eye[2] = 20.0;
  camera.center[0] = 0.5;
  camera.center[1] = 0.25;
  camera.center[2] = -0.125;
  // An up vector orthogonal to the view, as the camera keeps it.
  const double d[3] = {-0.75, 3.75, -20.125};
  double up[3] = {0, 0, 1};
  double dn = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  double dot = up[2] * d[2] / dn;
  double un = 0;
  for (int i = 0; i < 3; ++i) {
    up[i] -= d[i] / dn * dot;
    un += up[i] * up[i];
  }
  for (int i = 0; i < 3; ++i) camera.up[i] = up[i] / std::sqrt(un);
  const TCameraPose saved = camera;
  const std::string path = tempPath("a.kscam");
  cleanup.push_back(path);
  ASSERT_TRUE(TCore::getInst().saveCamera(path.c_str()));
  const std::string text = readFile(path);
  EXPECT_EQ(text.substr(0, text.find('\n')), "1.250000 -3.500000 20.000000");
  camera = TCameraPose();
  ASSERT_TRUE(TCore::getInst().loadCamera(path.c_str()));
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(camera.eye[i], saved.eye[i], 1e-6);
    EXPECT_NEAR(camera.center[i], saved.center[i], 1e-6);
    EXPECT_NEAR(camera.up[i], saved.up[i], 1e-6);
  }
  EXPECT_FALSE(TCore::getInst().saveCamera("/nonexistent-dir/x.kscam"));
  EXPECT_FALSE(TCore::getInst().loadCamera("/nonexistent-dir/x.kscam"));
}

TEST_F(CoreFiles, CameraFilesThatWouldCorruptTheCameraAreRefusedWithAMessage) {
  const char* bad[] = {
      "1 2 3\n1 2 3\n0 1 0\n",               // eye at the centre
      "0 0 10\n0 0 0\n0 0 1\n",              // up along the view
      "0 0 10\n0 0 0\n0 0 0\n",              // no up vector at all
      "0 0 nan\n0 0 0\n0 1 0\n",             // not finite
      "0 0 1e999\n0 0 0\n0 1 0\n",           // overflows
  };
  const std::string path = tempPath("bad.kscam");
  cleanup.push_back(path);
  for (const char* b : bad) {
    writeFile(path, b);
    camera.eye[0] = 42;
    prompts.shown.clear();
    EXPECT_FALSE(TCore::getInst().loadCamera(path.c_str())) << b;
    EXPECT_EQ(camera.eye[0], 42) << b;
    ASSERT_EQ(prompts.texts().size(), 1u) << b;
    EXPECT_NE(prompts.texts()[0].find("camera file cannot be used"), std::string::npos);
  }
  // Whitespace-tolerant; a word that is not a number stops the reading.
  writeFile(path, "  0 0 10\t0 0 0 \n\n 0 1 0");
  EXPECT_TRUE(TCore::getInst().loadCamera(path.c_str()));
  EXPECT_NEAR(camera.up[1], 1.0, 1e-12);
}

TEST_F(CoreFiles, TransFuncFileKeepsSlidersAndTablesOverRoundTrips) {
  for (int p = 0; p <= 100; ++p) {
    TVisSetup s, r;
    s.camera.eye[2] = 10;
    s.sliceNumSlider = p;
    s.transparencySlider = p;
    std::string why;
    ASSERT_TRUE(TCore::parseVisSetup(TCore::visSetupText(3, s), r, why)) << why;
    EXPECT_EQ(r.sliceNumSlider, p);
    EXPECT_EQ(r.transparencySlider, p);
    EXPECT_EQ(r.block, -1);
  }
  TVisSetup s;
  s.camera.eye[2] = 10;
  s.sliceNumSlider = 29;
  s.backColor = 0.29;
  s.pitch[0] = 0.5;
  s.pitch[2] = 2.0;
  for (int i = 0; i < 3; ++i) {
    s.winMin[i] = -10.5 + i;
    s.winMax[i] = 200.25 + i;
  }
  for (int i = 0; i < 256; ++i) s.entries1D.push_back({i, 255 - i, (i * 7) & 0xff});
  const std::string text = TCore::visSetupText(0, s);
  EXPECT_NE(text.find("sliceNum    651\n"), std::string::npos);
  EXPECT_NE(text.find("KS_VIS_I 256 \n"), std::string::npos);
  TVisSetup r;
  std::string why;
  ASSERT_TRUE(TCore::parseVisSetup(text, r, why)) << why;
  EXPECT_EQ(r.sliceNumSlider, 29);
  EXPECT_NEAR(r.backColor, 0.29, 1e-6);
  EXPECT_NEAR(r.pitch[2], 2.0, 1e-6);
  EXPECT_NEAR(r.winMin[2], -8.5, 1e-6);
  EXPECT_NEAR(r.winMax[0], 200.25, 1e-6);
  EXPECT_EQ(r.block, 0);
  ASSERT_EQ(r.entries1D.size(), 256u);
  EXPECT_EQ(r.entries1D[3], (std::array<int, 3>{3, 252, 21}));

  // Gradient block: two bytes per line; 2-D block: its points.
  const std::string ig = TCore::visSetupText(1, s);
  ASSERT_TRUE(TCore::parseVisSetup(ig, r, why));
  EXPECT_EQ(r.block, 1);
  EXPECT_EQ(r.entries1D[10], (std::array<int, 3>{10, 245, 0}));
  s.points2D = {{0.25, 0.5, 0.1}, {0.75, 0.125, 0.2}};
  ASSERT_TRUE(TCore::parseVisSetup(TCore::visSetupText(2, s), r, why));
  EXPECT_EQ(r.block, 2);
  ASSERT_EQ(r.points2D.size(), 2u);
  EXPECT_NEAR(r.points2D[1][1], 0.125, 1e-6);
}

TEST_F(CoreFiles, TransFuncFileReadsOnlyTheLinesPresentAndRefusesBadPitch) {
  const std::string head = "0 0 10\n0 0 0\n0 1 0\nsliceNum 1050\nglobalTrans 0.125\nbackColor 1\n";
  const std::string win = "winLv 0 0 0 100 100 100\n";
  std::string why;
  TVisSetup r;
  // A count far beyond the lines present: only the three lines are read, entries as low bytes.
  ASSERT_TRUE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_VIS_I 2000000000\n1 2 3\n4 5 6\n257 -1 8\n", r, why));
  ASSERT_EQ(r.entries1D.size(), 3u);
  EXPECT_EQ(r.entries1D[2], (std::array<int, 3>{1, 255, 8}));
  EXPECT_EQ(r.sliceNumSlider, 50);
  EXPECT_EQ(r.transparencySlider, 50);
  ASSERT_TRUE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_VIS_IG2D 99999999999\n0.1 0.2 0.3\n", r, why));
  EXPECT_EQ(r.points2D.size(), 1u);
  // A value that is not a number is refused before it is taken as a byte.
  EXPECT_FALSE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_VIS_I 256\nnan\n", r, why));
  EXPECT_FALSE(why.empty());
  // The 2-D list is bounded: the bound is read, one more point refuses the file.
  std::string points;
  for (int i = 0; i < TVisSetup::kMaxPoints2D; ++i) points += "0.5 0.5 0.1\n";
  ASSERT_TRUE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_VIS_IG2D 100000\n" + points, r, why));
  EXPECT_EQ(r.points2D.size(), std::size_t(TVisSetup::kMaxPoints2D));
  EXPECT_FALSE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_VIS_IG2D 100000\n" + points + points, r, why));
  EXPECT_NE(why.find(std::to_string(TVisSetup::kMaxPoints2D)), std::string::npos) << why;
  // Another key: the rest is restored, no block.
  ASSERT_TRUE(TCore::parseVisSetup(head + "pitch 1 1 1\n" + win + "KS_OTHER 3\n1 2 3\n", r, why));
  EXPECT_EQ(r.block, -1);
  for (const char* pitch : {"pitch 0 1 1\n", "pitch 1 -2 1\n", "pitch 1 1 nan\n", "pitch 1 1 inf\n"})
    EXPECT_FALSE(TCore::parseVisSetup(head + pitch + win, r, why)) << pitch;

  // Through the file: a refused file changes nothing and says why.
  const std::string path = tempPath("bad.kscamtf");
  cleanup.push_back(path);
  writeFile(path, head + "pitch 0 1 1\n" + win);
  EXPECT_FALSE(TCore::getInst().loadCameraTransFunc(path.c_str()));
  EXPECT_EQ(appliedCount, 0);
  EXPECT_FALSE(logHas("setCamera"));
  ASSERT_FALSE(prompts.texts().empty());
  EXPECT_NE(prompts.texts().back().find("pitch"), std::string::npos);
  // So is a file of too many 2-D points, with the bound in its message.
  writeFile(path, head + "pitch 1 1 1\n" + win + "KS_VIS_IG2D 100000\n" + points + points);
  EXPECT_FALSE(TCore::getInst().loadCameraTransFunc(path.c_str()));
  EXPECT_EQ(appliedCount, 0);
  EXPECT_NE(prompts.texts().back().find(std::to_string(TVisSetup::kMaxPoints2D)), std::string::npos);
  // A good file with a block switches to its mode and restores.
  writeFile(path, head + "pitch 0.5 0.5 2\n" + win + "KS_VIS_IG 1\n7 8\n");
  TCore::getInst().modeId = 0;
  EXPECT_TRUE(TCore::getInst().loadCameraTransFunc(path.c_str()));
  EXPECT_EQ(TCore::getInst().modeId, 1);
  EXPECT_EQ(appliedCount, 1);
  EXPECT_DOUBLE_EQ(applied.pitch[2], 2.0);
  EXPECT_TRUE(logHas("setCamera"));
}

TEST_F(CoreFiles, SaveCameraTransFuncWritesOnlyInTheVisualisationModes) {
  const std::string path = tempPath("m.kscamtf");
  cleanup.push_back(path);
  camera.eye[2] = 10;
  TCore::wiring().getVisSetup = [](int mode, TVisSetup& s) {
    s.sliceNumSlider = 57;
    s.pitch[1] = 0.75;
    if (mode == 2) s.points2D = {{0.5, 0.5, 0.1}};
  };
  TCore::getInst().modeId = 3;
  EXPECT_FALSE(TCore::getInst().saveCameraTransFunc(path.c_str()));
  EXPECT_TRUE(readFile(path).empty());
  TCore::getInst().modeId = 2;
  ASSERT_TRUE(TCore::getInst().saveCameraTransFunc(path.c_str()));
  const std::string text = readFile(path);
  EXPECT_NE(text.find("pitch       1.000000 0.750000 1.000000\n"), std::string::npos) << text;
  EXPECT_NE(text.find("KS_VIS_IG2D 1 \n0.500000 0.500000 0.100000\n"), std::string::npos) << text;
  TVisSetup r;
  std::string why;
  ASSERT_TRUE(TCore::parseVisSetup(text, r, why));
  EXPECT_EQ(r.sliceNumSlider, 57);
}
