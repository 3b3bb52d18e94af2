// The rendering panel with the main view under Xvfb: a stroke in the transfer-function editor
// changes the rendered image, and the pitch typed in the panel reshapes the drawn box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cmath>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/lifetime.h"
#include "modes/vis/register_modes.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "view/TTransFuncEditor.h"
#include "view/VolRendManager.h"
#include "view_test_env.h"
#include "volume/TextureManager.h"
#include "volume/volume_values.h"

namespace {

class Environment : public ::testing::Environment {
 public:
  void SetUp() override {
    app = viewtest::startApplication("visparam_render_test");
    TDlgVisParam& panel = TDlgVisParam::getInst();
    panel.show();
    view = new CKestrinView();
    view->resize(300, 300);
    view->show();
    ok = QTest::qWaitForWindowExposed(view) && QTest::qWaitForWindowExposed(&panel);
    panel.setPitch(1.0, 1.0, 1.0);
    TCore::getInst().setMode(0);
  }
  void TearDown() override {
    delete view;
    view = nullptr;
    TDlgVisParam::destroyInst();
    t_runAtExit();
  }
  QApplication* app = nullptr;
  CKestrinView* view = nullptr;
  bool ok = false;
};
Environment* g_env =
    static_cast<Environment*>(::testing::AddGlobalTestEnvironment(new Environment));

int differingPixels(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > 24) ++n;
    }
  return n;
}

}  // namespace

TEST(VisParamRender, StrokeInTheEditorChangesTheRenderedImage) {
  ASSERT_TRUE(g_env->ok);
  ASSERT_TRUE(g_env->view->glReady());
  TDlgVisParam& panel = TDlgVisParam::getInst();
  ASSERT_EQ(panel.getVolumeMode(), 1);
  const QImage before = g_env->view->grabFramebuffer();

  // Drag along the zero line over the whole width of box 1: every entry of the intensity curve
  // becomes 0, so the volume turns transparent.
  TTransFuncBox* box = panel.editorBox(1);
  const int w = panel.editorWidth(), h = panel.editorHeight();
  const int y = h - h / 10 + 2;  // just below the zero line, in widget coordinates (y down)
  QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, QPoint(0, y));
  for (int x = 8; x < w; x += 8) QTest::mouseMove(box, QPoint(x, y));
  QTest::mouseMove(box, QPoint(w - 1, y));
  QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, QPoint(w - 1, y));

  const TextureManager& tm = TextureManager::getInst();
  int nonZero = 0;
  for (int i = 0; i < 256; ++i) nonZero += tm.tfI.data[4 * i] != 0;
  EXPECT_EQ(nonZero, 0);
  // The button-held flag of the renderer was cleared on release.
  EXPECT_FALSE(VolRendManager::getInst().buttonHeld);

  const QImage after = g_env->view->grabFramebuffer();
  ASSERT_EQ(before.size(), after.size());
  EXPECT_GT(differingPixels(before, after), 200);

  // INI brings the curve, and the picture, back.
  panel.iniButton(1)->click();
  const QImage restored = g_env->view->grabFramebuffer();
  EXPECT_LT(differingPixels(before, restored), 20);
}

TEST(VisParamRender, PitchTypedInThePanelReshapesTheBox) {
  ASSERT_TRUE(g_env->ok);
  TDlgVisParam& panel = TDlgVisParam::getInst();
  QLineEdit* ex = panel.pitchEdit(0);
  ex->selectAll();
  QTest::keyClicks(ex, "2.5");
  const double* e = VolRendManager::getInst().extent;
  EXPECT_DOUBLE_EQ(e[0], 10.0);
  EXPECT_DOUBLE_EQ(e[1], 4.0);
  EXPECT_DOUBLE_EQ(e[2], 4.0);
  double p[3];
  TextureManager::getInst().getPitch(p);
  EXPECT_EQ(p[0], 2.5);
  panel.setPitch(1.0, 1.0, 1.0);
  EXPECT_DOUBLE_EQ(e[1], 10.0);
}
