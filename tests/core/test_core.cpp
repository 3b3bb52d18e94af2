// The application core: command line, plug-in mode, mode switching (also nested), the z-flip
// release and the plug-in result at exit.  Everything TCore reaches is a recording stand-in.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "tests/core/fakes.h"
#include "platform/ScriptedPrompts.h"

namespace {

const char* const kPluginText =
    "Kestrin runs as MUXA plug-in.\n Kestrinを終了すると領域分割結果が自動的にMUXAへ渡されます.";

class CoreTest : public ::testing::Test {
 protected:
  std::vector<std::string> log;
  std::vector<std::unique_ptr<FakeMode>> modes;  // index = distinct mode object
  FakeMode* vis = nullptr;
  FakeMode* rgrow = nullptr;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;

  // What the wiring saw.
  std::vector<std::string> loadedFiles;
  int loadedType = -1;
  int loads = 0;
  double filePitch[3] = {0.5, 0.6, 0.7};
  double visPitch[3] = {0, 0, 0};
  int winLvChannels = 0;
  double winLvMin[3] = {}, winLvMax[3] = {};
  bool exportOk = true;
  bool loadOk = true;
  std::string exportedTo;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    // One object per distinct mode of the program, as in the real table.
    const char* names[] = {"vis", "org", "ful", "rgrow", "gcut", "srg", "cyl", "cont", "zel", "ref"};
    for (const char* n : names) modes.push_back(std::make_unique<FakeMode>(n, &log));
    vis = modes[0].get();
    rgrow = modes[3].get();
    TCoreWiring w;
    const int objOfId[14] = {0, 0, 0, 0, 1, 2, 3, 5, 4, 6, 7, 8, 2, 9};
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    for (int i = 0; i < 10; ++i) {
      TModeEntry e;
      e.name = names[i];
      for (int id = 0; id < 14; ++id)
        if (objOfId[id] == i) e.ids.push_back(id);
      e.mode = [this, i]() -> TModeState* { return modes[i].get(); };
      reg.add(e);
    }
    w.loadVolume = [this](const std::vector<std::string>& files, int type, double pitch[3], double mn[3],
                          double mx[3]) {
      ++loads;
      loadedFiles = files;
      loadedType = type;
      for (int i = 0; i < 3; ++i) {
        pitch[i] = filePitch[i];
        mn[i] = -i;
        mx[i] = 100 + i;
      }
      log.push_back("load");
      return loadOk;
    };
    w.channelCount = [] { return 2; };
    w.resetMaskForVolume = [this] { log.push_back("resetMask"); };
    w.setMaskFromCombinedFile = [this] { log.push_back("combinedMask"); };
    w.resetTransferFunctions = [this] { log.push_back("resetTF"); };
    w.visParamAfterLoad = [this](const double p[3]) {
      for (int i = 0; i < 3; ++i) visPitch[i] = p[i];
      log.push_back("visParam");
    };
    w.winLvSetChannels = [this](int n, const double mn[3], const double mx[3]) {
      winLvChannels = n;
      for (int i = 0; i < 3; ++i) {
        winLvMin[i] = mn[i];
        winLvMax[i] = mx[i];
      }
      log.push_back("winLv");
    };
    w.graphCutResetForNewVolume = [this] { log.push_back("gcutReset"); };
    w.flipZVolume = [this] { log.push_back("flipZ"); };
    w.flipZMaskSurfaces = [this] { log.push_back("flipSurfaces"); };
    w.exportMaskTif = [this](const std::string& path) {
      exportedTo = path;
      log.push_back("export");
      // A writer that fails tells why, as the TIFF writer does.
      if (!exportOk) t_warn("The file cannot be created: " + path + " (Permission denied)");
      return exportOk;
    };
    w.placeModeDialogs = [this] { log.push_back("place"); };
    TCore::setWiring(w);
    TCore& c = TCore::getInst();
    c.zFlipped = false;
    c.pluginMode = false;
    c.pluginOutPath.clear();
  }

  void TearDown() override {
    scope.reset();
    TModeRegistry::getInst().clear();
  }

  void run(std::vector<const char*> args) {
    args.insert(args.begin(), "kestrin");
    log.clear();
    TCore::getInst().initApplication(static_cast<int>(args.size()), args.data());
  }

  bool logHas(const std::string& s) const {
    for (const auto& l : log)
      if (l == s) return true;
    return false;
  }
};

}  // namespace

TEST_F(CoreTest, NoArgumentLoadsThePlaceholderAndStartsInMode0) {
  run({});
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(loadedFiles.empty());
  EXPECT_EQ(loadedType, 0);
  EXPECT_TRUE(logHas("resetMask"));
  EXPECT_FALSE(logHas("combinedMask"));
  EXPECT_EQ(TCore::getInst().modeId, 0);
  EXPECT_EQ(TCore::getInst().state, vis);
  EXPECT_EQ(vis->switchedIds.back(), 0);
  EXPECT_FALSE(TCore::getInst().pluginMode);
  EXPECT_TRUE(prompts.shown.empty());
  // The tail of every load, in order, then the graph cut forgets the old volume.
  std::vector<std::string> tail;
  for (const auto& l : log)
    if (l == "resetTF" || l == "visParam" || l == "winLv" || l == "vis.OnSwitched(0)" || l == "gcutReset")
      tail.push_back(l);
  EXPECT_EQ(tail, (std::vector<std::string>{"resetTF", "visParam", "winLv", "vis.OnSwitched(0)", "gcutReset"}));
  // The window-level panel gets the holder's channel count and the loaded value ranges.
  EXPECT_EQ(winLvChannels, 2);
  EXPECT_DOUBLE_EQ(winLvMin[1], -1);
  EXPECT_DOUBLE_EQ(winLvMax[2], 102);
}

TEST_F(CoreTest, OneArgumentIsTypedByItsLastFourCharactersExactly) {
  struct Case {
    const char* name;
    int type;
  } cases[] = {{"/d/vol.tif", 2}, {"/d/VOL.TIF", 2}, {"/d/vol.Tif", 0}, {"a.sph", 1},  {"a.SPH", 1},
               {"x.muxa", 7},     {"X.MUXA", 7},     {"x.Muxa", 0},     {"tif", 0},    {"a.tiff", 0},
               {"a.traw3D_ss", 0}, {"", 0}};
  for (const Case& c : cases) {
    prompts.shown.clear();
    run({c.name});
    EXPECT_EQ(loadedType, c.type) << c.name;
    ASSERT_EQ(loadedFiles.size(), 1u);
    EXPECT_EQ(loadedFiles[0], c.name);
    EXPECT_EQ(TCore::fileTypeOfName(c.name), c.type);
    // A name of no volume kind is not opened silently: one message names it and says why.
    if (c.type != 0) {
      EXPECT_TRUE(prompts.shown.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(prompts.shown.size(), 1u) << c.name;
    const std::string& text = prompts.shown[0].text;
    EXPECT_NE(text.find(std::string("opened:\n") + c.name + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(".tif, .TIF, .sph, .SPH, muxa, MUXA (letter case as written)"), std::string::npos)
        << text;
    EXPECT_NE(text.find("placeholder"), std::string::npos);
  }
}

TEST_F(CoreTest, CombinedFileTakesItsMaskAndStartsInMaskMode) {
  run({"/d/case.muxa"});
  EXPECT_TRUE(logHas("combinedMask"));
  EXPECT_FALSE(logHas("resetMask"));
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(vis->switchedIds.back(), 3);
}

TEST_F(CoreTest, UnreadableCombinedFileFallsBackToThePlainDefaultVolume) {
  loadOk = false;
  run({"/d/broken.muxa"});
  EXPECT_EQ(loadedType, 7);  // the holder was asked for the combined file
  EXPECT_TRUE(logHas("resetMask"));
  EXPECT_FALSE(logHas("combinedMask"));
  EXPECT_EQ(TCore::getInst().modeId, 0);
}

TEST_F(CoreTest, PitchArgumentsReplaceTheFilesPitchOnlyWhenAllThreeAreGiven) {
  run({"v.sph", "0.25", "0.5"});  // two pitch arguments are ignored
  EXPECT_DOUBLE_EQ(visPitch[0], 0.5);
  EXPECT_DOUBLE_EQ(visPitch[1], 0.6);
  EXPECT_DOUBLE_EQ(visPitch[2], 0.7);

  run({"v.sph", "0.25", "0.5", "2e-1"});
  EXPECT_DOUBLE_EQ(visPitch[0], 0.25);
  EXPECT_DOUBLE_EQ(visPitch[1], 0.5);
  EXPECT_DOUBLE_EQ(visPitch[2], 0.2);
  EXPECT_FALSE(TCore::getInst().pluginMode);
  EXPECT_TRUE(prompts.shown.empty());  // no plug-in message with four arguments

  // A pitch that is not a positive number keeps the file's value for that axis.
  run({"v.sph", "abc", "-1", "0.3mm"});
  EXPECT_DOUBLE_EQ(visPitch[0], 0.5);
  EXPECT_DOUBLE_EQ(visPitch[1], 0.6);
  EXPECT_DOUBLE_EQ(visPitch[2], 0.7);
}

TEST_F(CoreTest, FiveArgumentsStartThePlugInModeWithItsMessage) {
  run({"v.tif", "0.1", "0.2", "0.3", "/out/mask.tif", "ignored"});
  TCore& c = TCore::getInst();
  EXPECT_TRUE(c.pluginMode);
  EXPECT_EQ(c.pluginOutPath, "/out/mask.tif");
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text, kPluginText);
  EXPECT_DOUBLE_EQ(visPitch[2], 0.3);
  EXPECT_EQ(c.modeId, 0);
}

TEST_F(CoreTest, FinishPluginWritesTheMaskUnflippedAndReportsAFailedWrite) {
  TCore& c = TCore::getInst();
  log.clear();
  EXPECT_TRUE(c.finishPlugin());  // outside plug-in mode nothing happens
  EXPECT_TRUE(log.empty());

  run({"v.tif", "1", "1", "1", "/out/m.tif"});
  prompts.shown.clear();
  c.zFlipped = true;
  log.clear();
  EXPECT_TRUE(c.finishPlugin());
  EXPECT_EQ(log, (std::vector<std::string>{"flipZ", "export", "flipZ"}));
  EXPECT_EQ(exportedTo, "/out/m.tif");
  EXPECT_TRUE(c.zFlipped);  // the display keeps its flip
  EXPECT_TRUE(prompts.shown.empty());

  c.zFlipped = false;
  exportOk = false;
  log.clear();
  EXPECT_FALSE(c.finishPlugin());
  EXPECT_EQ(log, (std::vector<std::string>{"export"}));
  // One message for the one failure: what was not written for the host, and the writer's reason.
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_NE(prompts.shown[0].text.find("could not be written for MUXA"), std::string::npos);
  EXPECT_NE(prompts.shown[0].text.find("/out/m.tif"), std::string::npos);
  EXPECT_NE(prompts.shown[0].text.find("Permission denied"), std::string::npos);
  // Later notices are shown again as usual.
  t_warn("after");
  EXPECT_EQ(prompts.shown.size(), 2u);
}

TEST_F(CoreTest, SetModeHidesEveryPanelBeforeSwitchingAndPlacesThemAfter) {
  TCore& c = TCore::getInst();
  log.clear();
  c.setMode(6);
  const std::vector<std::string> expected = {"vis.hide", "org.hide",  "ful.hide",  "rgrow.hide",
                                             "gcut.hide", "srg.hide", "cyl.hide", "cont.hide",
                                             "zel.hide", "ref.hide", "rgrow.OnSwitched(6)", "place"};
  EXPECT_EQ(log, expected);
  EXPECT_EQ(c.modeId, 6);
  EXPECT_EQ(c.state, rgrow);

  // Re-selecting the current mode runs the whole sequence again.
  log.clear();
  c.setMode(6);
  EXPECT_EQ(log, expected);

  // One object serves ids 5 and 12 and learns the id.
  c.setMode(12);
  EXPECT_EQ(modes[2]->switchedIds.back(), 12);
  c.setMode(5);
  EXPECT_EQ(modes[2]->switchedIds.back(), 5);

  // Ids outside the table change nothing.
  c.setMode(14);
  c.setMode(-1);
  EXPECT_EQ(c.modeId, 5);
}

TEST_F(CoreTest, AModeThatCannotStartFallsBackToMode3InsideItsSwitch) {
  TCore& c = TCore::getInst();
  rgrow->onSwitched = [](int) { TCore::getInst().setMode(3); };
  log.clear();
  c.setMode(6);
  EXPECT_EQ(c.modeId, 3);
  EXPECT_EQ(c.state, vis);
  EXPECT_EQ(vis->switchedIds.back(), 3);
  // The inner switch ran completely (hide all, switch, place) before the outer one placed again.
  std::vector<std::string> tail(log.end() - 4, log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"ref.hide", "vis.OnSwitched(3)", "place", "place"}));
  rgrow->onSwitched = nullptr;
}

TEST_F(CoreTest, ReleaseZFlipTemporarilyUnflipsOnceWithItsMessage) {
  TCore& c = TCore::getInst();
  log.clear();
  c.releaseZFlipTemporarily();
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(prompts.shown.empty());

  c.zFlipped = true;
  c.releaseZFlipTemporarily();
  EXPECT_FALSE(c.zFlipped);
  EXPECT_EQ(log, (std::vector<std::string>{"flipZ", "flipSurfaces"}));
  ASSERT_EQ(prompts.shown.size(), 1u);
  EXPECT_EQ(prompts.shown[0].text, "一時的にz軸フリップを解除します");
}

TEST_F(CoreTest, ExitStopsTheWorkersOfEveryMode) {
  TCore::getInst().stopAllWorkers();
  for (const auto& m : modes) EXPECT_EQ(m->stopped, 1);
}

TEST_F(CoreTest, VolumeFileCommandClearsTheFlipAndTypesTheName) {
  struct Case {
    const char* name;
    int type;
    const char* mask;
    int mode;
  } cases[] = {{"/d/a.tif", 2, "resetMask", 0},          {"/d/a.traw3D_ss", 6, "resetMask", 0},
               {"/d/a.muxa", 7, "combinedMask", 3},      {"/d/a.Sph", 0, "resetMask", 0}};
  for (const Case& c : cases) {
    TCore::getInst().zFlipped = true;
    log.clear();
    TCore::getInst().loadVolume(c.name);
    EXPECT_EQ(loadedType, c.type) << c.name;
    EXPECT_TRUE(logHas(c.mask)) << c.name;
    EXPECT_TRUE(logHas("gcutReset")) << c.name;
    EXPECT_FALSE(TCore::getInst().zFlipped);
    EXPECT_EQ(TCore::getInst().modeId, c.mode) << c.name;
    EXPECT_EQ(visPitch[2], 0.7);
  }
  // A combined file that cannot be read brings no regions.
  loadOk = false;
  log.clear();
  TCore::getInst().loadVolume("/d/broken.muxa");
  EXPECT_TRUE(logHas("resetMask"));
  EXPECT_EQ(TCore::getInst().modeId, 0);
}

TEST_F(CoreTest, MaskFileCommandPicksTheReaderAndKeepsFileOrder) {
  std::vector<std::string> read;
  TCore::wiring().loadMaskFile = [&](const std::string& p) {
    read.push_back("new " + p);
    log.push_back("readMask");
    return true;
  };
  TCore::wiring().loadOldMaskFile = [&](const std::string& p) {
    read.push_back("old " + p);
    return true;
  };
  TCore& c = TCore::getInst();
  c.zFlipped = false;
  c.loadMask("/d/a.ksmask2");
  c.loadMask("/d/b.ksmask");
  c.loadMask("mask2");         // fewer than seven characters
  c.loadMask("/d/c.ksmask3");  // neither form
  EXPECT_EQ(read, (std::vector<std::string>{"new /d/a.ksmask2", "old /d/b.ksmask"}));
  // On a flipped display the file is read between two flips.
  c.zFlipped = true;
  log.clear();
  c.loadMask("/d/a.ksmask2");
  // The surfaces are stored in file order too, so they flip with the voxels.
  EXPECT_EQ(log, (std::vector<std::string>{"flipZ", "flipSurfaces", "readMask", "flipZ", "flipSurfaces"}));
  c.zFlipped = false;
}
