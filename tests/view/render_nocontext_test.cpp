// The main view when no OpenGL context can be created: the user is told once and nothing is
// drawn with the dead context.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSurfaceFormat>
#include <QTest>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif
#include <string>
#include <vector>

#include "core/TCore.h"
#include "platform/GLContextHost.h"
#include "platform/ScriptedPrompts.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "modes/vis/StateVisStd.h"
#include "view/TDlgVisParam.h"
#include "view/redraw.h"

namespace {

int argc_ = 1;
char arg0_[] = "render_nocontext_test";
char* argv_[] = {arg0_, nullptr};

// Runs the view with the given format of its own and returns what the user was told.
std::vector<std::string> runView(const QSurfaceFormat& fmt, bool& ready) {
  TScriptedPrompts prompts;
  TScriptedPrompts::Scope scope(prompts);
  CKestrinView view;
  view.setFormat(fmt);
  view.resize(300, 200);
  view.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
  // The context is made (or refused) when the widget first paints.
  (void)QTest::qWaitFor([&] { return view.glReady() || !prompts.texts().empty(); }, 5000);
  ready = view.glReady();
  if (!ready) {
    EXPECT_FALSE(view.togl.hasContext());
    // Making the dead context current, picking and redrawing do nothing harmful.
    t_mainGLContext()->makeCurrent();
    t_mainGLContext()->doneCurrent();
    double o[3], d[3];
    view.togl.getCursorRay(10, 10, o, d);
    for (int i = 0; i < 3; ++i) {
      t_redrawAll();
      QApplication::processEvents();
    }
    view.hide();
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view));
    QApplication::processEvents();
  }
  return prompts.texts();
}

}  // namespace

TEST(RenderNoContext, UserIsToldOnceAndNothingIsDrawn) {
#if defined(__SANITIZE_ADDRESS__)
  // Mesa leaks and reallocates blocks of the failed core-profile context up to the end of the
  // application object; their stacks end in an unloaded driver module that no suppression can
  // name.  The view's own allocations are leak-checked by the main view's tests.
  __lsan::ScopedDisabler driverLeaks;
#endif
  t_setupGLDefaults();
  QApplication app(argc_, argv_);
  TDlgVisParam::getInst().createPanel();

  bool ready = true;
  std::vector<std::string> texts;
  // A core profile context: created, but it cannot draw the immediate-mode geometry.
  QSurfaceFormat core = QSurfaceFormat::defaultFormat();
  core.setVersion(3, 3);
  core.setProfile(QSurfaceFormat::CoreProfile);
  core.setOptions(QSurfaceFormat::FormatOptions());
  {
    texts = runView(core, ready);
    EXPECT_FALSE(ready);
    ASSERT_EQ(texts.size(), 1u);

    // The default format works, silently.
    texts = runView(QSurfaceFormat::defaultFormat(), ready);
    EXPECT_TRUE(ready);
    EXPECT_TRUE(texts.empty());
  }
  TDlgVisParam::destroyInst();
}
