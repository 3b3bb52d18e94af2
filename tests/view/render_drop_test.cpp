// Files dropped on the main view: dispatch by the name's ending, refusal with its exact text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/TModeState.h"
#include "platform/ScriptedPrompts.h"
#include "view/drop_dispatch.h"

namespace {

const char* const kRefusal = "ドロップ出来るのは，.tif, .muxa, .sph, .ksmask2, .kscam, .kscamtf のみです";

class RecordingMode : public TModeState {
 public:
  std::vector<int> switched;
  void OnSwitched(int id) override { switched.push_back(id); }
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
};

class RenderDrop : public ::testing::Test {
 protected:
  void SetUp() override {
    TCore::setWiring(TCoreWiring());
    TModeRegistry::getInst().clear();
    TModeEntry e;
    e.name = "mode";
    for (int id = 0; id < 14; ++id) e.ids.push_back(id);
    e.mode = [this]() -> TModeState* { return &mode; };
    TModeRegistry::getInst().add(e);
    TDropLoaders l;
    l.loadVolume = [this](const std::string& p) { calls.push_back("volume " + p); };
    l.loadMask = [this](const std::string& p) { calls.push_back("mask " + p); return true; };
    l.loadCamera = [this](const std::string& p) { calls.push_back("camera " + p); };
    l.loadCameraTransFunc = [this](const std::string& p) { calls.push_back("cameratf " + p); };
    t_setDropLoaders(l);
  }
  void TearDown() override { t_setDropLoaders(TDropLoaders()); }

  // Drops the names and returns the loader calls; prompts are recorded in `prompts`.
  std::vector<std::string> drop(const std::vector<std::string>& names) {
    calls.clear();
    TScriptedPrompts::Scope scope(prompts);
    t_dispatchDroppedFiles(names);
    return calls;
  }

  RecordingMode mode;
  TScriptedPrompts prompts;
  std::vector<std::string> calls;
};

}  // namespace

TEST_F(RenderDrop, EndingsAreComparedExactlyAndCaseByCase) {
  EXPECT_EQ(t_dropActionOf("/d/a.TIF"), DropAction::LoadVolume);
  EXPECT_EQ(t_dropActionOf("/d/a.tif"), DropAction::LoadVolume);
  EXPECT_EQ(t_dropActionOf("/d/a.SPH"), DropAction::LoadVolume);
  EXPECT_EQ(t_dropActionOf("/d/datamuxa"), DropAction::LoadVolume);  // no dot needed
  EXPECT_EQ(t_dropActionOf("/d/b.MUXA"), DropAction::LoadVolume);
  EXPECT_EQ(t_dropActionOf("/d/m.ksmask2"), DropAction::LoadMask);
  EXPECT_EQ(t_dropActionOf("/d/m.KSMASK2"), DropAction::LoadMask);
  EXPECT_EQ(t_dropActionOf("/d/c.kscam"), DropAction::LoadCamera);
  EXPECT_EQ(t_dropActionOf("/d/c.KSCAM"), DropAction::LoadCamera);
  EXPECT_EQ(t_dropActionOf("/d/c.kscamtf"), DropAction::LoadCameraTransFunc);
  EXPECT_EQ(t_dropActionOf("/d/c.KSCAMTF"), DropAction::LoadCameraTransFunc);
  for (const char* bad : {"/d/a.Tif", "/d/a.tiff", "/d/m.ksmask", "/d/c.Kscam", "/d/x.raw",
                          "/d/m.Ksmask2", "/d/a.sPh"})
    EXPECT_EQ(t_dropActionOf(bad), DropAction::Refuse) << bad;
  // Names too short for the 7-character ending are never loaded.
  EXPECT_EQ(t_dropActionOf("a.tif"), DropAction::Refuse);
  EXPECT_EQ(t_dropActionOf(""), DropAction::Refuse);
  EXPECT_EQ(t_dropActionOf("ab.tif"), DropAction::Refuse);
  EXPECT_EQ(t_dropActionOf("abc.tif"), DropAction::LoadVolume);
}

TEST_F(RenderDrop, OneFileIsDispatchedToItsLoader) {
  EXPECT_EQ(drop({"/data/vol.TIF"}), std::vector<std::string>{"volume /data/vol.TIF"});
  EXPECT_EQ(drop({"/data/datamuxa"}), std::vector<std::string>{"volume /data/datamuxa"});
  EXPECT_EQ(drop({"/data/cam.kscam"}), std::vector<std::string>{"camera /data/cam.kscam"});
  EXPECT_EQ(drop({"/data/cam.kscamtf"}), std::vector<std::string>{"cameratf /data/cam.kscamtf"});
  EXPECT_TRUE(prompts.shown.empty());
  EXPECT_TRUE(mode.switched.empty());
  // A mask load is followed by the switch to the mask display.
  EXPECT_EQ(drop({"/data/m.ksmask2"}), std::vector<std::string>{"mask /data/m.ksmask2"});
  EXPECT_EQ(mode.switched, std::vector<int>{3});
  EXPECT_EQ(TCore::getInst().modeId, 3);
}

TEST_F(RenderDrop, WrongCountOrEndingIsRefusedWithTheMessage) {
  EXPECT_TRUE(drop({"/data/a.tif", "/data/b.tif"}).empty());
  EXPECT_TRUE(drop({}).empty());
  EXPECT_TRUE(drop({"/data/a.Tif"}).empty());
  EXPECT_TRUE(drop({"/data/a.tiff"}).empty());
  EXPECT_TRUE(drop({"/data/m.ksmask"}).empty());
  EXPECT_TRUE(drop({"a.tif"}).empty());
  ASSERT_EQ(prompts.texts().size(), 6u);
  for (const std::string& t : prompts.texts()) EXPECT_EQ(t, kRefusal);
  EXPECT_TRUE(mode.switched.empty());
}

TEST_F(RenderDrop, AKindWithoutLoaderLoadsNothingAndKeepsTheMode) {
  t_setDropLoaders(TDropLoaders());  // e.g. camera files while nothing reads them
  TCore::getInst().setMode(0);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(drop({"/d/view.kscam"}).empty());
  EXPECT_TRUE(drop({"/d/m.ksmask2"}).empty());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(TCore::getInst().modeId, 0);  // no switch to the mask mode without a mask load
  EXPECT_TRUE(prompts.shown.empty());
}
