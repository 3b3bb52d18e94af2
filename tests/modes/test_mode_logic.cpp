// Mode entry driven headless: a fake panel, the registry as the program fills it, and the core
// switching between modes.  No QApplication and no GL are linked into this test.
#include <gtest/gtest.h>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "modes/contour/StateSegContMesh.h"
#include "modes/curve/StateRefContours.h"
#include "modes/region/StateSegFulManu.h"
#include "modes/region/StateSegRGrow.h"
#include "modes/region/TDlgSegFulManuIf.h"
#include "modes/region/TDlgSegRGrowIf.h"
#include "platform/ScriptedPrompts.h"
#include "tests/core/fakes.h"

namespace {

class FakePanel : public TModePanelIf {
 public:
  bool visible = false;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
};

class FakeRGrowPanel : public TDlgSegRGrowIf {
 public:
  bool visible = false;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void updateControls(int, const double*, const double*) override { visible = true; }
  int spinPosition(Spin) const override { return 0; }
  bool isRgbChecked() const override { return true; }
  void setReadout(const std::string&) override {}
  void setBusy(bool) override {}
};

class FakeFulManuPanel : public TDlgSegFulManuIf {
 public:
  bool visible = false;
  void showPanel() override { visible = true; }
  void hidePanel() override { visible = false; }
  void resetControls(bool, int) override { visible = true; }
  bool isPaintChecked() const override { return true; }
  bool isFixOtherChecked() const override { return true; }
};

template <class Mode>
TModeEntry entry(const char* name, std::vector<int> ids, Mode* (*accessor)()) {
  TModeEntry e;
  e.name = name;
  e.ids = std::move(ids);
  e.mode = [accessor]() -> TModeState* { return accessor(); };
  return e;
}

class ModeLogic : public ::testing::Test {
 protected:
  FakeMode vis{"vis"};
  FakeRegionData data;
  ScriptedChooser chooser;
  FakeViewHost host;
  TScriptedPrompts prompts;
  std::unique_ptr<TScriptedPrompts::Scope> scope;
  FakeRGrowPanel rgrowPanel;
  FakeFulManuPanel fulPanel;
  FakePanel contPanel, refPanel;

  void SetUp() override {
    scope = std::make_unique<TScriptedPrompts::Scope>(prompts);
    TModeRegistry& reg = TModeRegistry::getInst();
    reg.clear();
    TModeEntry v;
    v.name = "vis";
    v.ids = {0, 1, 2, 3, 4};
    v.mode = [this]() -> TModeState* { return &vis; };
    reg.add(v);
    reg.add(entry("StateSegRGrow", {6}, &StateSegRGrow::getInst));
    reg.add(entry("StateSegFulManu", {5, 12}, &StateSegFulManu::getInst));
    reg.add(entry("StateSegContMesh", {10}, &StateSegContMesh::getInst));
    reg.add(entry("StateRefContours", {13}, &StateRefContours::getInst));
    StateSegRGrow::getInst()->attachPanel(&rgrowPanel);
    StateSegFulManu::getInst()->attachPanel(&fulPanel);
    StateSegContMesh::getInst()->attachPanel(&contPanel);
    TCoreWiring w;
    w.channelCount = [] { return 2; };
    TCore::setWiring(w);
    data.mask = {0, 2, 3, 2, 1, 0};
    data.flag = {9, 9, 9, 9, 9, 9};
    data.used[2] = data.used[3] = true;
    host.volW = host.volH = host.volD = 10;
    t_setModeRegionData(&data);
    t_setMaskIdChooser(&chooser);
    t_setModeViewHost(&host);
  }
  void TearDown() override {
    TCore::getInst().setMode(0);
    for (TModeState* m : TModeRegistry::getInst().allModes())
      if (auto* p = dynamic_cast<TPanelMode<>*>(m)) p->attachPanel(nullptr);
    StateSegRGrow::getInst()->attachPanel(nullptr);
    StateSegFulManu::getInst()->attachPanel(nullptr);
    TModeRegistry::getInst().clear();
    t_setModeRegionData(nullptr);
    t_setMaskIdChooser(nullptr);
    t_setModeViewHost(nullptr);
    scope.reset();
  }
  int modeId() const { return TCore::getInst().modeId; }
};

}  // namespace

TEST_F(ModeLogic, EntryMarksTargetsShowsOnlyTheModesPanelAndTheNextSwitchHidesIt) {
  chooser.many.push_back({true, {2}});
  TCore::getInst().setMode(6);
  EXPECT_EQ(modeId(), 6);
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 1, 0, 1, 0, 0}));
  EXPECT_TRUE(rgrowPanel.visible);
  EXPECT_FALSE(fulPanel.visible);
  EXPECT_NEAR(StateSegRGrow::getInst()->ctrlPointRadius(), 0.666666 * 3.0, 1e-12);

  chooser.many.push_back({true, {3}});
  TCore::getInst().setMode(10);
  EXPECT_FALSE(rgrowPanel.visible);
  EXPECT_TRUE(contPanel.visible);
  EXPECT_EQ(StateSegContMesh::getInst()->channelCount(), 2);
}

TEST_F(ModeLogic, RefusedQuestionsFallBackToTheMaskModeWithFlagsAsTheyWere) {
  chooser.many.push_back({false, {}});
  TCore::getInst().setMode(6);
  EXPECT_EQ(modeId(), 3);
  EXPECT_FALSE(rgrowPanel.visible);
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{9, 9, 9, 9, 9, 9}));

  // Refinement of a region that does not exist is refused with a message.
  chooser.one.push_back({true, 7});
  TCore::getInst().setMode(13);
  EXPECT_EQ(modeId(), 3);
  EXPECT_EQ(prompts.texts().size(), 1u);

  // Refining region 2 in the painting mode starts from its voxels.
  chooser.one.push_back({true, 2});
  TCore::getInst().setMode(12);
  EXPECT_EQ(modeId(), 12);
  EXPECT_EQ(data.flag, (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 0}));
  EXPECT_TRUE(fulPanel.visible);
}

TEST_F(ModeLogic, UnregisteredIdsChangeNothing) {
  TCore::getInst().setMode(3);
  TCore::getInst().setMode(42);
  EXPECT_EQ(modeId(), 3);
  EXPECT_EQ(TModeRegistry::getInst().modeFor(42), nullptr);
  TModeEntry clash;
  clash.name = "clash";
  clash.ids = {6};
  EXPECT_FALSE(TModeRegistry::getInst().add(clash));
}
