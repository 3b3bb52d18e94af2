// Standard visualisation mode without a window: right-half smoothing, its key command and the
// ruler list.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <cmath>
#include <vector>

#include "core/ModeRegistry.h"
#include "ui/TDlgMaskManip.h"
#include "platform/ScriptedPrompts.h"
#include "modes/vis/StateVisOrgCrs.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "modes/vis/TDlgVisStd.h"
#include "view/smooth_right_half.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"

namespace {

int argc_ = 1;
char arg0_[] = "render_visstd_test";
char* argv_[] = {arg0_, nullptr};

class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = new QApplication(argc_, argv_);
    TDlgVisParam::getInst().createPanel();
    StateVisStd::getInst().createPanels();
    StateVisOrgCrs::getInst().createPanels();
  }
  void TearDown() override {
    StateVisStd::getInst().destroyPanels();
    StateVisOrgCrs::getInst().destroyPanels();
    TDlgVisParam::destroyInst();
    delete app;
    app = nullptr;
  }
  QApplication* app = nullptr;
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

size_t at(int W, int H, int x, int y, int z) { return size_t(z) * W * H + size_t(y) * W + x; }

std::vector<float> pattern(int W, int H, int D) {
  std::vector<float> v(size_t(W) * H * D);
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v[at(W, H, x, y, z)] = float((x * 37 + y * 11 + z * 5) % 200);
  return v;
}

}  // namespace

TEST(RenderSmoothRightHalf, ConstantStaysAndLargeValuesDoNotWrap) {
  const int W = 12, H = 7, D = 6;
  // CT-like values above 255 keep their size (the borders renormalise, so a constant stays,
  // apart from the truncation of each pass's mean: at most 1 per pass).
  std::vector<float> v(size_t(W) * H * D, 1234.0f);
  t_smoothVolRightHalf(W, H, D, 0, W, H, D, v.data());
  for (float f : v) {
    ASSERT_LE(f, 1234.0f);
    ASSERT_GE(f, 1224.0f);
    ASSERT_EQ(f, std::trunc(f));
  }
}

TEST(RenderSmoothRightHalf, OnlyTheRangeChangesAndMeansAreTruncated) {
  const int W = 16, H = 8, D = 6;
  std::vector<float> v = pattern(W, H, D);
  const std::vector<float> orig = v;
  const int x0 = 9, y1 = 5, z1 = 4;
  t_smoothVolRightHalf(W, H, D, x0, W, y1, z1, v.data());
  int changed = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const size_t i = at(W, H, x, y, z);
        if (x < x0 || y >= y1 || z >= z1) {
          ASSERT_EQ(v[i], orig[i]) << x << " " << y << " " << z;
        } else {
          ASSERT_EQ(v[i], std::trunc(v[i]));
          ASSERT_GE(v[i], 0);
          ASSERT_LT(v[i], 200);
          if (v[i] != orig[i]) ++changed;
        }
      }
  EXPECT_GT(changed, 0);
  // The smoothed part varies less than before.
  double before = 0, after = 0;
  for (int z = 0; z < z1; ++z)
    for (int y = 0; y < y1; ++y)
      for (int x = x0 + 1; x < W; ++x) {
        before += std::fabs(orig[at(W, H, x, y, z)] - orig[at(W, H, x - 1, y, z)]);
        after += std::fabs(v[at(W, H, x, y, z)] - v[at(W, H, x - 1, y, z)]);
      }
  EXPECT_LT(after, before / 2);
}

TEST(RenderVisStd, KeyThreeAsksAndSmoothsOnlyOnYes) {
  TextureManager& tm = TextureManager::getInst();
  const int W = 24, H = 8, D = 6;
  std::vector<float> init = pattern(W, H, D);
  delete[] tm.val1;
  tm.val1 = new float[init.size()];
  std::copy(init.begin(), init.end(), tm.val1);
  tm.channelCount = 1;
  tm.vol1.allocate(W, H, D);

  StateVisStd& mode = StateVisStd::getInst();
  {
    // While a worker runs the smoothing is refused before it asks.
    struct BusyMode : TModeState {
      void OnSwitched(int) override {}
      void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
      void OnKeyDown(int, int, unsigned) override {}
      void OnKeyUp(int, int, unsigned) override {}
      void OnDraw() override {}
      const char* busyMessage() const override { return "busy"; }
    };
    static BusyMode busy;
    TModeEntry e;
    e.name = "busy";
    e.mode = []() -> TModeState* { return &busy; };
    TModeRegistry::getInst().add(e);
    TScriptedPrompts prompts;
    TScriptedPrompts::Scope scope(prompts);
    prompts.answers = {PromptAnswer::Yes};
    mode.OnKeyDown('3', 1, 0);
    TModeRegistry::getInst().clear();
    EXPECT_EQ(prompts.texts(), std::vector<std::string>{"busy"});
    for (size_t i = 0; i < init.size(); ++i) ASSERT_EQ(tm.val1[i], init[i]);
  }
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  prompts.answers = {PromptAnswer::No, PromptAnswer::Cancel, PromptAnswer::Yes};
  mode.OnKeyDown('3', 1, 0);
  mode.OnKeyDown('3', 1, 0);
  for (size_t i = 0; i < init.size(); ++i) ASSERT_EQ(tm.val1[i], init[i]);
  mode.OnKeyDown('4', 1, 0);  // other keys ask nothing
  mode.OnKeyDown('3', 1, 0);
  ASSERT_EQ(prompts.texts().size(), 3u);
  for (const std::string& t : prompts.texts()) EXPECT_EQ(t, "画像の右半分をスムージングしてもいいですか？");
  int changed = 0;
  for (int z = 0; z < D; ++z)
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const size_t i = at(W, H, x, y, z);
        if (x < W / 2 + 6)
          ASSERT_EQ(tm.val1[i], init[i]);
        else if (tm.val1[i] != init[i])
          ++changed;
      }
  EXPECT_GT(changed, 0);
  // The 8-bit texture follows the smoothed values.
  EXPECT_EQ(tm.vol1.data[at(W, H, W - 1, 0, 0)], uint8_t(int(tm.val1[at(W, H, W - 1, 0, 0)])));
}

TEST(RenderVisStd, RulerListFollowsThePitch) {
  TextureManager& tm = TextureManager::getInst();
  tm.vol1.allocate(40, 20, 10);
  StateVisStd& mode = StateVisStd::getInst();
  TDlgVisStd* panel = mode.rulerPanel();
  ASSERT_NE(panel, nullptr);
  TDlgVisParam::getInst().setPitch(2.5, 1, 1);
  mode.rulers = {{0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 1}};
  mode.selectedRuler = 1;
  panel->updateRulerList();
  QListWidget* list = panel->rulerList();
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(), "ruler 0  : 100.000000");
  EXPECT_EQ(list->item(1)->text().toStdString(), "ruler 1  : 22.360680");
  EXPECT_EQ(list->currentRow(), 1);

  // The stored fractions stay; only the texts change with the pitch.
  TDlgVisParam::getInst().setPitch(1, 1, 1);
  panel->updateRulerList();
  EXPECT_EQ(list->item(0)->text().toStdString(), "ruler 0  : 40.000000");
  EXPECT_EQ(mode.rulers[0][3], 1.0);

  // Choosing a line selects that ruler.
  list->setCurrentRow(0);
  EXPECT_EQ(mode.selectedRuler, 0);
  panel->clearAllButton()->click();
  EXPECT_TRUE(mode.rulers.empty());
  EXPECT_EQ(list->count(), 0);
  EXPECT_EQ(mode.selectedRuler, 0);
}

// The mode panels stay on screen whatever the keyboard or the window's close button does; only
// the mode hides them.  Enter on the focused "Clear All" keeps the rulers.
TEST(RenderVisStd, KeyboardAndCloseNeverHideThePanels) {
  StateVisStd& mode = StateVisStd::getInst();
  TDlgVisStd* rulers = mode.rulerPanel();
  ASSERT_NE(rulers, nullptr);
  mode.rulers = {{0, 0, 0, 1, 0, 0}};
  rulers->show();
  auto press = [](QWidget* w, int key) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  };
  for (QWidget* w : {static_cast<QWidget*>(rulers), static_cast<QWidget*>(rulers->clearAllButton()),
                     static_cast<QWidget*>(rulers->rulerList())})
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) press(w, key);
  rulers->close();
  EXPECT_TRUE(rulers->isVisible());
  EXPECT_EQ(mode.rulers.size(), 1u);
  mode.hidePanels();
  EXPECT_FALSE(rulers->isVisible());
  mode.rulers.clear();

  TDlgVisOrgCrs* organ = StateVisOrgCrs::getInst().panel();
  ASSERT_NE(organ, nullptr);
  EXPECT_FALSE(organ->isVisible());
  organ->show();
  press(organ, Qt::Key_Escape);
  press(organ, Qt::Key_Return);
  organ->close();
  EXPECT_TRUE(organ->isVisible());
  StateVisOrgCrs::getInst().hidePanels();
}

// The region panel of the mask view is modeless: OK, Cancel, Escape and Enter must not hide it
// (nothing would bring it back), and it shows the table that a loaded file brought even when it
// was already on screen.
TEST(RenderVisStd, RegionPanelStaysAndFollowsTheLoadedTable) {
  StateVisStd& mode = StateVisStd::getInst();
  TDlgMaskManip* regions = mode.regionPanel();
  ASSERT_NE(regions, nullptr);
  TMaskIdTable& table = TMaskIdTable::getInst();
  table.resetForVolume();
  mode.OnSwitched(3);
  ASSERT_TRUE(regions->isVisible());
  for (const char* name : {"okButton", "cancelButton"}) {
    auto* b = regions->findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->isVisible()) << name;
  }
  for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
    QKeyEvent e(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(regions, &e);
  }
  regions->close();
  EXPECT_TRUE(regions->isVisible());

  // A combined file loaded in the mask view: id 1 red and used.
  table.records[1].color = 0x0000ff;
  table.records[1].used = 1;
  mode.OnSwitched(3);
  EXPECT_NE(regions->cell(1)->styleSheet().indexOf("#ff0000"), -1)
      << regions->cell(1)->styleSheet().toStdString();
  EXPECT_EQ(regions->cell(1)->text().toStdString(), "1✓");

  mode.hidePanels();
  EXPECT_FALSE(regions->isVisible());
  table.resetForVolume();
}
