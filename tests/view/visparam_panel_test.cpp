// The rendering-parameter panel driven like a user: pitch fields, editor boxes per mode, curve
// strokes and control points in the transfer-function editor, INI / 0, Flip Stack, the plane
// check boxes.  No GL: runs on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <cstring>

#include "core/ModeRegistry.h"
#include "core/TModeState.h"
#include "platform/ScriptedPrompts.h"
#include "view/TDlgVisParam.h"
#include "view/TTransFuncEditor.h"
#include "view/ViewModeHost.h"
#include "view/VolRendManager.h"
#include "volume/TextureManager.h"

namespace {

int argc_ = 1;
char arg0_[] = "visparam_panel_test";
char* argv_[] = {arg0_, nullptr};

class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app = new QApplication(argc_, argv_); }
  void TearDown() override {
    TDlgVisParam::destroyInst();
    delete app;
  }
  QApplication* app = nullptr;
};
const auto* const g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// A core stand-in for Flip Stack.
struct FakeCore {
  int modeId = 0;
  bool zFlipped = false;
  int surfaceFlips = 0;
};

class VisParam : public ::testing::Test {
 protected:
  void SetUp() override {
    TextureManager& tm = TextureManager::getInst();
    setChannels(1);
    tm.vol1.allocate(100, 50, 20, nullptr);
    tm.tfI.initRamp(nullptr);
    tm.tfIG.initRamp(nullptr);
    tm.tf2D.init(nullptr);
    t_installViewHooks();
    TDlgVisParam::AppHooks hooks;
    hooks.modeId = [this] { return core.modeId; };
    hooks.zFlipped = [this] { return core.zFlipped; };
    hooks.setZFlipped = [this](bool f) { core.zFlipped = f; };
    hooks.flipZMaskSurfaces = [this] { ++core.surfaceFlips; };
    TDlgVisParam::setAppHooks(hooks);
    panel().createPanel();
    panel().initControls();
    panel().updateModeControls(1, true, true, true, true, false);
  }
  void TearDown() override {
    TDlgVisParam::setAppHooks(TDlgVisParam::AppHooks());
    t_uninstallViewHooks();
  }
  static TDlgVisParam& panel() { return TDlgVisParam::getInst(); }
  static void setChannels(int n) { TextureManager::getInst().channelCount = n; }

  // Mouse input in panel coordinates, delivered to the editor box under the press as Qt does.
  void press(int box, QPoint p) { send(box, QEvent::MouseButtonPress, p, Qt::LeftButton); }
  void move(int box, QPoint p) { send(box, QEvent::MouseMove, p, Qt::LeftButton); }
  void release(int box, QPoint p) { send(box, QEvent::MouseButtonRelease, p, Qt::NoButton); }
  void dblclick(int box, QPoint p) { send(box, QEvent::MouseButtonDblClick, p, Qt::LeftButton); }
  void send(int box, QEvent::Type type, QPoint panelPoint, Qt::MouseButtons buttons) {
    TTransFuncBox* w = panel().editorBox(box);
    QPointF local = w->mapFrom(&panel(), panelPoint);
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  }
  // Panel point of a box point (x right, y up from the box bottom).
  QPoint at(int box, int x, int yUp) const {
    QRect r = panel().editorRect(box);
    return QPoint(r.left() + x, r.top() + r.height() - yUp);
  }

  FakeCore core;
};

}  // namespace

TEST_F(VisParam, TypingPitchMovesSpinKeepsTextAndResizesTheBox) {
  QLineEdit* ex = panel().pitchEdit(0);
  ex->selectAll();
  QTest::keyClicks(ex, "2.5");
  EXPECT_EQ(ex->text(), "2.5");
  EXPECT_EQ(panel().pitchSpin(0)->value(), 2500);
  double p[3];
  panel().getPitch(p);
  EXPECT_EQ(p[0], 2.5);
  EXPECT_EQ(p[1], 1.0);
  // 100 x 50 x 20 voxels of (2.5, 1, 1) mm: longest side 250 mm -> 10 units.
  const double* e = VolRendManager::getInst().extent;
  EXPECT_DOUBLE_EQ(e[0], 10.0);
  EXPECT_DOUBLE_EQ(e[1], 2.0);
  EXPECT_DOUBLE_EQ(e[2], 0.8);

  // Letters behind the number apply nothing; when editing ends the field shows its spin.
  QTest::keyClicks(ex, "mm");
  EXPECT_EQ(ex->text(), "2.5mm");
  EXPECT_EQ(panel().pitchSpin(0)->value(), 2500);
  panel().getPitch(p);
  EXPECT_EQ(p[0], 2.5);
  QTest::keyClick(ex, Qt::Key_Return);
  EXPECT_EQ(ex->text(), "2.500");
  panel().getPitch(p);
  EXPECT_EQ(p[0], 2.5);
}

TEST_F(VisParam, PitchTypedKeyByKeyIsNotRewrittenUnderTheTypingHand) {
  // "0.5" into the z field: its "0" is taken as the smallest pitch but stays as typed, so that
  // the whole number can be typed; the box follows each step.
  panel().setPitch(1.0, 1.0, 1.0);
  panel().show();
  QApplication::setActiveWindow(&panel());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&panel()));
  QLineEdit* ez = panel().pitchEdit(2);
  ez->setFocus();
  ez->selectAll();
  const char* shown[3] = {"0", "0.", "0.5"};
  const double taken[3] = {0.001, 0.001, 0.5};
  double p[3];
  for (int i = 0; i < 3; ++i) {
    QTest::keyClick(ez, shown[2][i]);
    EXPECT_EQ(ez->text().toStdString(), shown[i]);
    panel().getPitch(p);
    EXPECT_EQ(p[2], taken[i]) << shown[i];
  }
  // 100 x 50 x 20 voxels of (1, 1, 0.5) mm: longest side 100 mm -> 10 units.
  EXPECT_DOUBLE_EQ(VolRendManager::getInst().extent[2], 1.0);
  // The focus leaving keeps a text that stands for the pitch taken.
  panel().pitchEdit(0)->setFocus();
  EXPECT_EQ(ez->text().toStdString(), "0.5");
  EXPECT_EQ(panel().pitchSpin(2)->value(), 500);
  panel().hide();
}

TEST_F(VisParam, PitchRoundTripKeepsTheLoadedValue) {
  panel().setPitch(0.4883, 0.4883, 2.0);
  EXPECT_EQ(panel().pitchEdit(0)->text(), "0.488");
  EXPECT_EQ(panel().pitchSpin(0)->value(), 488);
  double p[3];
  panel().getPitch(p);
  EXPECT_EQ(p[0], 0.4883);
  EXPECT_EQ(p[1], 0.4883);
  EXPECT_EQ(p[2], 2.0);
  // The writers read it through the volume holder.
  double w[3];
  TextureManager::getInst().getPitch(w);
  EXPECT_EQ(w[0], 0.4883);
  EXPECT_EQ(w[2], 2.0);
  // A typed value with more digits than the field shows is kept too.
  QLineEdit* ez = panel().pitchEdit(2);
  ez->selectAll();
  QTest::keyClicks(ez, "0.12345");
  QTest::keyClick(ez, Qt::Key_Return);
  EXPECT_EQ(ez->text(), "0.12345");
  panel().getPitch(p);
  EXPECT_EQ(p[2], 0.12345);
  EXPECT_EQ(panel().pitchSpin(2)->value(), 123);
  // A spin step is the user choosing the field's value.
  panel().pitchSpin(0)->stepUp();
  panel().getPitch(p);
  EXPECT_EQ(p[0], 0.489);
  EXPECT_EQ(panel().pitchEdit(0)->text(), "0.489");
}

TEST_F(VisParam, PitchOutsideTheFieldFallsBackToWhatItShows) {
  // No pitch at all (zero, negative) becomes what the field shows; a loaded pitch beyond the
  // field's range is shown clamped but handed on as loaded.
  panel().setPitch(0.0, -3.0, 500.0);
  double p[3];
  panel().getPitch(p);
  EXPECT_EQ(p[0], 0.001);
  EXPECT_EQ(p[1], 0.001);
  EXPECT_EQ(p[2], 500.0);
  EXPECT_EQ(panel().pitchEdit(2)->text(), "100.000");
  // A sub-micron pitch of a microscopy file is not rounded up to the field's 0.001 mm.
  panel().setPitch(0.0002, 0.0002, 0.0005);
  double w[3];
  TextureManager::getInst().getPitch(w);
  EXPECT_EQ(w[0], 0.0002);
  EXPECT_EQ(w[2], 0.0005);
  EXPECT_EQ(panel().pitchEdit(0)->text(), "0.001");
  // The box follows the real proportions: 100 x 50 x 20 voxels of (0.2, 0.2, 0.5) um.
  EXPECT_DOUBLE_EQ(VolRendManager::getInst().extent[2], 5.0);
  // Typing zero: the spin clamps to 1, and the edit shows its value when editing ends.
  QLineEdit* ex = panel().pitchEdit(0);
  ex->selectAll();
  QTest::keyClicks(ex, "0");
  EXPECT_EQ(ex->text(), "0");
  panel().getPitch(p);
  EXPECT_EQ(p[0], 0.001);
  QTest::keyClick(ex, Qt::Key_Return);
  EXPECT_EQ(ex->text(), "0.001");
  const double* e = VolRendManager::getInst().extent;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(std::isfinite(e[i]));
}

TEST_F(VisParam, EditorBoxesFollowModeAndChannels) {
  for (int n = 1; n <= 3; ++n) {
    setChannels(n);
    panel().updateModeControls(1, true, true, true, true, false);
    EXPECT_EQ(panel().getEditorCount(), n);
    EXPECT_EQ(panel().height(), panel().panelHeightFor(n));
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(panel().editorBox(k)->isVisibleTo(&panel()), k <= n);
  }
  setChannels(1);
  panel().updateModeControls(2, true, true, true, true, false);
  EXPECT_EQ(panel().getEditorCount(), 2);
  panel().updateModeControls(3, true, true, true, true, false);
  EXPECT_EQ(panel().getEditorCount(), 1);
  panel().updateModeControls(0, false, false, false, false, false);
  EXPECT_EQ(panel().getEditorCount(), 0);
  EXPECT_LT(panel().height(), panel().editorRect(1).top() + 20);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(panel().planeCheck(i)->isEnabled());
    EXPECT_FALSE(panel().isPlaneOn(i));
  }
}

TEST_F(VisParam, StrokeInTheEditorPaintsTheIntensityCurve) {
  TextureManager& tm = TextureManager::getInst();
  const int w = panel().editorWidth(), h = panel().editorHeight();
  ASSERT_GT(w, 10);
  // A horizontal stroke at the zero line (0.1 h from the bottom) over the left half of box 1.
  press(1, at(1, 0, h / 10));
  move(1, at(1, w / 4, h / 10));
  move(1, at(1, w / 2, h / 10));
  release(1, at(1, w / 2, h / 10));
  const uint8_t* d = tm.tfI.data;
  EXPECT_EQ(d[4 * 10 + 0], 0);    // painted to 0
  EXPECT_EQ(d[4 * 100 + 0], 0);
  EXPECT_EQ(d[4 * 200 + 0], 200); // right half untouched
  EXPECT_EQ(d[4 * 10 + 1], 10);   // other channels untouched
  EXPECT_EQ(d[4 * 10 + 3], 10);

  // A stroke at the top of the box paints 255.
  press(1, at(1, w / 2, h - 1));
  move(1, at(1, w - 1, h - 1));
  release(1, at(1, w - 1, h - 1));
  EXPECT_GE(d[4 * 250 + 0], 252);
  EXPECT_GE(d[4 * 160 + 0], 252);
}

TEST_F(VisParam, StrokeLeavingItsBoxStopsUntilItComesBack) {
  setChannels(2);
  panel().updateModeControls(1, true, true, true, true, false);
  TextureManager& tm = TextureManager::getInst();
  const int w = panel().editorWidth(), h = panel().editorHeight();
  press(1, at(1, 10, h / 10));
  // Into box 2: nothing is painted in either channel.
  move(1, at(2, 100, h / 10));
  move(1, at(2, 120, h / 10));
  EXPECT_EQ(tm.tfI.data[4 * 110 + 0], 110);
  EXPECT_EQ(tm.tfI.data[4 * 110 + 1], 110);
  // Back in box 1: painting goes on from the last point inside the box.
  move(1, at(1, w / 2, h / 10));
  release(1, at(1, w / 2, h / 10));
  EXPECT_EQ(tm.tfI.data[4 * 60 + 0], 0);
  EXPECT_EQ(tm.tfI.data[4 * 60 + 1], 60);
}

TEST_F(VisParam, GradientModeEditsTheSecondFunction) {
  panel().updateModeControls(2, true, true, true, true, false);
  TextureManager& tm = TextureManager::getInst();
  const int w = panel().editorWidth(), h = panel().editorHeight();
  press(2, at(2, 0, h / 10));
  move(2, at(2, w - 1, h / 10));
  release(2, at(2, w - 1, h / 10));
  EXPECT_EQ(tm.tfIG.data[4 * 100 + 1], 0);    // box 2 = channel 1 of the second function
  EXPECT_EQ(tm.tfIG.data[4 * 100 + 0], 100);
  EXPECT_EQ(tm.tfI.data[4 * 100 + 1], 100);   // the intensity function is untouched
  panel().iniButton(2)->click();
  EXPECT_EQ(tm.tfIG.data[4 * 100 + 1], 100);
  panel().zeroButton(1)->click();
  EXPECT_EQ(tm.tfIG.data[4 * 200 + 0], 0);
  EXPECT_EQ(tm.tfIG.data[4 * 200 + 1], 200);
}

TEST_F(VisParam, IniAndZeroButtonsOfIntensityMode) {
  setChannels(3);
  panel().updateModeControls(1, true, true, true, true, false);
  TextureManager& tm = TextureManager::getInst();
  panel().zeroButton(3)->click();
  for (int i = 0; i < 256; i += 51) {
    EXPECT_EQ(tm.tfI.data[4 * i + 2], 0);
    EXPECT_EQ(tm.tfI.data[4 * i + 1], i);
  }
  panel().iniButton(3)->click();
  EXPECT_EQ(tm.tfI.data[4 * 255 + 2], 255);
}

TEST_F(VisParam, DoubleClickAddsAndDeletesControlPointsAndWheelResizes) {
  panel().updateModeControls(3, true, true, true, true, false);
  TransFunc_2D& tf = TextureManager::getInst().tf2D;
  const int w = panel().editorWidth(), h = panel().editorHeight();
  ASSERT_EQ(tf.points.size(), 1u);
  // Empty space: a point of radius 0.1 is added there.
  QPoint spot = at(1, w / 5, h / 4);
  dblclick(1, spot);
  ASSERT_EQ(tf.points.size(), 2u);
  EXPECT_NEAR(tf.points[1].x, double(w / 5) / w, 1e-9);
  EXPECT_NEAR(tf.points[1].y, double(h / 4) / h, 1e-9);
  EXPECT_EQ(tf.points[1].r, 0.1);
  // The wheel over it grows its radius, never beyond 0.5.
  TTransFuncBox* box = panel().editorBox(1);
  for (int i = 0; i < 50; ++i) {
    QPointF local = box->mapFrom(&panel(), spot);
    QWheelEvent we(local, box->mapToGlobal(local), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(box, &we);
  }
  EXPECT_DOUBLE_EQ(tf.points[1].r, 0.5);
  // A second double click on the same spot deletes the point just added.
  dblclick(1, spot);
  EXPECT_EQ(tf.points.size(), 1u);
  // Dragging the remaining point moves it.
  QPoint centre = at(1, w / 2, h / 2);
  press(1, centre);
  move(1, at(1, w * 3 / 4, h / 2));
  release(1, at(1, w * 3 / 4, h / 2));
  EXPECT_NEAR(tf.points[0].x, double(w * 3 / 4) / w, 1e-9);
  // "0" removes every point.
  panel().zeroButton(1)->click();
  EXPECT_TRUE(tf.points.empty());
  panel().iniButton(1)->click();
  EXPECT_EQ(tf.points.size(), 1u);
}

TEST_F(VisParam, FlipStackOnlyInVisualisationModes) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  TextureManager& tm = TextureManager::getInst();
  for (TOGL3DImage* v : {&tm.vol1, &tm.volFlag, &tm.volMask, &tm.volGrad}) v->allocate(2, 2, 3, nullptr);
  tm.vol1.data[0] = 7;  // slice 0
  core.modeId = 6;
  panel().flipStackCheck()->click();
  EXPECT_FALSE(panel().isFlipStackOn());
  EXPECT_FALSE(core.zFlipped);
  ASSERT_EQ(prompts.texts().size(), 1u);
  EXPECT_EQ(prompts.texts()[0],
            "z軸フリップは可視化モード(Vis*)の時のみ有効です\n This function is available only on "
            "Visualization Mode");
  EXPECT_EQ(tm.vol1.data[0], 7);

  core.modeId = 2;
  panel().flipStackCheck()->click();
  EXPECT_TRUE(core.zFlipped);
  EXPECT_TRUE(panel().isFlipStackOn());
  EXPECT_EQ(core.surfaceFlips, 1);
  EXPECT_EQ(tm.vol1.data[2 * 2 * 2], 7);  // slice 0 went to slice 2
  EXPECT_EQ(prompts.texts().size(), 1u);
  panel().flipStackCheck()->click();
  EXPECT_FALSE(core.zFlipped);
  EXPECT_EQ(tm.vol1.data[0], 7);
}

namespace {

// A mode whose worker runs (busy) or that holds state built for the current pitch (geometry).
class GateMode : public TModeState {
 public:
  bool busy = false, geometry = false;
  void OnSwitched(int) override {}
  void OnMouseWheel(unsigned, int, const TPoint2i&) override {}
  void OnKeyDown(int, int, unsigned) override {}
  void OnKeyUp(int, int, unsigned) override {}
  void OnDraw() override {}
  const char* busyMessage() const override { return busy ? "busy" : nullptr; }
  const char* geometryBusyMessage() const override { return geometry ? "geometry" : nullptr; }
};

}  // namespace

TEST_F(VisParam, FlipStackAndPitchEditsAskTheBusyGate) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  GateMode gate;
  struct Registered {
    explicit Registered(GateMode& m) {
      TModeEntry e;
      e.name = "gate";
      e.mode = [&m]() -> TModeState* { return &m; };
      TModeRegistry::getInst().add(e);
    }
    ~Registered() { TModeRegistry::getInst().clear(); }
  } registered(gate);
  TextureManager& tm = TextureManager::getInst();
  for (TOGL3DImage* v : {&tm.vol1, &tm.volFlag, &tm.volMask, &tm.volGrad}) v->allocate(2, 2, 3, nullptr);
  tm.vol1.data[0] = 7;
  core.modeId = 3;
  double p[3];
  auto typePitch = [](const char* text) {
    QLineEdit* ex = panel().pitchEdit(0);
    ex->selectAll();
    QTest::keyClicks(ex, text);
  };

  // A worker runs: neither the flip nor a typed or stepped pitch reaches the data.
  gate.busy = true;
  panel().flipStackCheck()->click();
  EXPECT_FALSE(core.zFlipped);
  EXPECT_FALSE(panel().isFlipStackOn());
  EXPECT_EQ(tm.vol1.data[0], 7);
  typePitch("2.5");
  panel().pitchSpin(1)->stepUp();
  panel().getPitch(p);
  EXPECT_EQ(p[0], 1.0);
  EXPECT_EQ(p[1], 1.0);
  EXPECT_EQ(panel().pitchEdit(0)->text(), "1.000");  // the field shows the pitch in use
  EXPECT_EQ(panel().pitchSpin(1)->value(), 1000);
  ASSERT_FALSE(prompts.texts().empty());
  for (const std::string& t : prompts.texts()) EXPECT_EQ(t, "busy");

  // A mode holding geometry-derived state refuses the pitch only.
  gate.busy = false;
  gate.geometry = true;
  typePitch("2.5");
  panel().getPitch(p);
  EXPECT_EQ(p[0], 1.0);
  EXPECT_EQ(prompts.texts().back(), "geometry");
  panel().flipStackCheck()->click();
  EXPECT_TRUE(core.zFlipped);

  gate.geometry = false;
  typePitch("2.5");
  panel().getPitch(p);
  EXPECT_EQ(p[0], 2.5);
}

TEST_F(VisParam, ExclusivePlanesAndLiveSettings) {
  panel().updateModeControls(3, true, true, false, false, true);
  EXPECT_TRUE(panel().isXYPlaneOn());
  EXPECT_FALSE(panel().isYZPlaneOn());
  panel().planeCheck(1)->click();
  EXPECT_TRUE(panel().isYZPlaneOn());
  EXPECT_FALSE(panel().isXYPlaneOn());
  EXPECT_FALSE(panel().isZXPlaneOn());

  // Start values of a one-channel volume and the quantities the renderer reads.
  EXPECT_TRUE(panel().isFrameOn());
  EXPECT_TRUE(panel().isInterpolateOn());
  EXPECT_FALSE(panel().isParallelProj());
  EXPECT_EQ(panel().getPlaneColMode(), 1);
  EXPECT_EQ(panel().getVolColMode(), 2);
  EXPECT_EQ(panel().sliceCount(), 1050);
  EXPECT_DOUBLE_EQ(panel().volumeAlpha(), 0.125);
  panel().volColRadio(4)->click();
  EXPECT_EQ(panel().getVolColMode(), 4);
  panel().parallelProjCheck()->click();
  EXPECT_TRUE(panel().isParallelProj());
}

TEST_F(VisParam, InterpolateSwitchesTheChannelFilters) {
  TextureManager& tm = TextureManager::getInst();
  panel().interpolateCheck()->click();
  EXPECT_FALSE(tm.vol1.linear);
  panel().interpolateCheck()->click();
  EXPECT_TRUE(tm.vol1.linear);
}

TEST_F(VisParam, HistogramPicturesShowBars) {
  TextureManager& tm = TextureManager::getInst();
  for (int i = 0; i < 256; ++i) tm.hist[0][i] = i < 128 ? 1.0 : 0.25;
  tm.histJoint.assign(256 * 256, 0.0);
  tm.histJoint[255 * 256 + 0] = 1.0;
  tm.notifyHistogramChanged();  // the panel registered itself as listener
  const int w = panel().editorWidth(), h = panel().editorHeight();
  const auto& img = panel().backgroundImage(0);
  ASSERT_EQ(img.size(), size_t(w) * h * 4);
  auto grey = [&](const std::vector<unsigned char>& im, int x, int y) { return int(im[(size_t(y) * w + x) * 4]); };
  EXPECT_EQ(grey(img, 0, h - 1), 128);       // full bar on the left
  EXPECT_EQ(grey(img, w - 1, h / 2), 255);   // quarter-height bar on the right
  EXPECT_EQ(grey(img, w - 1, h / 8), 128);
  const auto& joint = panel().backgroundImage(5);
  EXPECT_EQ(grey(joint, w - 1, 0), 255);
  EXPECT_EQ(grey(joint, 0, 0), 0);
}
