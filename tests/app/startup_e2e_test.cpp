// The program started by the host application with a colour TIFF, under Xvfb: while its start-up
// questions are open (grey or colour, the plug-in notice) no rendering panel stands unplaced and
// half drawn beside them; once the frame is up, the panel sits beside it with its editor boxes
// painted.  Screenshots in artefacts/startup_*.png.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/CKestrinApp.h"
#include "app/CMainFrame.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "view/SubPaneManager.h"
#include "view/TSubPane.h"
#include "view/TDlgVisParam.h"
#include "volume/Image3D.h"
#include "volume/TTiffIO.h"
#include "volume/app_paths.h"
#include "volume/tiff_write.h"

namespace {

std::string g_dir;

void shot(const char* name) {
  QDir().mkpath(KESTRIN_ARTEFACTS);
  QGuiApplication::primaryScreen()->grabWindow(0).save(
      QStringLiteral(KESTRIN_ARTEFACTS "/startup_%1.png").arg(QLatin1String(name)));
}

// What the screen held while a start-up box was open.
struct OpenBox {
  std::string text;
  bool panelShown = false;
  std::vector<int> paneHeights;  // of the three slice panes
  QImage view;                   // the main view's picture
};
std::vector<OpenBox> g_boxes;

// Answers every message box of the start-up with its first button, noting what else was shown.
QPointer<QTimer> answerStartupBoxes() {
  auto* timer = new QTimer();
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, [] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || box->property("kestrinSeen").toBool() || !box->isVisible()) return;
    box->setProperty("kestrinSeen", true);
    OpenBox seen;
    seen.text = box->text().toStdString();
    seen.panelShown = TDlgVisParam::exists() && TDlgVisParam::getInst().isVisible();
    g_boxes.push_back(seen);
    const int k = int(g_boxes.size());
    QTimer::singleShot(400, box, [box, k] {
      shot(k == 1 ? "1_first_question" : "2_next_question");
      OpenBox& open = g_boxes[size_t(k - 1)];
      if (TDlgVisParam::exists() && TDlgVisParam::getInst().isVisible()) open.panelShown = true;
      for (int i = 0; i < 3; ++i)
        if (TSubPane* pane = SubPaneManager::getInst().getPane(i)) open.paneHeights.push_back(pane->geometry().height());
      if (CKestrinView* v = CKestrinView::s_theView) open.view = v->grabFramebuffer();
      QAbstractButton* b = box->buttons().value(0);
      if (b) b->click();
    });
  });
  timer->start();
  return timer;
}

}  // namespace

TEST(StartUp, NoRenderingPanelBesideTheStartUpQuestions) {
  // The grey-or-colour question and the plug-in notice.
  ASSERT_GE(g_boxes.size(), 2u);
  for (const OpenBox& b : g_boxes) EXPECT_FALSE(b.panelShown) << b.text;
}

TEST(StartUp, ThePlugInNoticeWaitsOverTheWindowAsItWillBeUsed) {
  const OpenBox* notice = nullptr;
  for (const OpenBox& b : g_boxes)
    if (b.text.find("plug-in") != std::string::npos) notice = &b;
  ASSERT_NE(notice, nullptr);
  // The slice panes have their docked sizes, not a caption's height.
  ASSERT_EQ(notice->paneHeights.size(), 3u);
  for (int h : notice->paneHeights) EXPECT_GT(h, 150);
  // The view shows the loaded volume as after start-up, not a camera of before the load.
  ASSERT_FALSE(notice->view.isNull());
  const QImage now = CKestrinView::s_theView->grabFramebuffer();
  ASSERT_EQ(now.size(), notice->view.size());
  int changed = 0;
  for (int y = 0; y < now.height(); y += 2)
    for (int x = 0; x < now.width(); x += 2) {
      const QRgb a = now.pixel(x, y), b = notice->view.pixel(x, y);
      changed += std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 30;
    }
  EXPECT_LT(changed, now.width() * now.height() / 4 / 50) << changed << " pixels differ";
}

TEST(StartUp, TheRenderingPanelIsPlacedBesideTheFrameWithItsEditorPainted) {
  ASSERT_NE(g_mainFrame, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(g_mainFrame));
  TDlgVisParam& panel = TDlgVisParam::getInst();
  ASSERT_TRUE(panel.isVisible());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  QApplication::processEvents();
  shot("3_started");
  const QRect frame = g_mainFrame->frameGeometry();
  const QRect p = panel.frameGeometry();
  // To the right of the frame, level with its top (kept on the screen).
  EXPECT_GT(p.left(), frame.left() + frame.width() / 2) << p.left() << " " << frame.right();
  EXPECT_EQ(p.top(), frame.top());
  // Its first editor box shows the histogram picture, not an unpainted black area.
  const QImage img = panel.grab().toImage();
  int black = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) black += (img.pixel(x, y) & 0xFFFFFF) == 0;
  EXPECT_LT(black, img.width() * img.height() / 20);
}

// No leak check at exit in this program: the GL driver's JIT code leaks blocks the sanitizer
// attributes to no library a suppression could name.
extern "C" int __lsan_is_turned_off() { return 1; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  g_dir = QDir::temp().filePath(QStringLiteral("kestrin_startup_e2e_%1").arg(getpid())).toStdString();
  QDir().mkpath(QString::fromStdString(g_dir));
  // A colour volume: the loader asks whether to read it grey or colour.
  const std::string vol = g_dir + "/colour.tif";
  {
    Image3D r(16, 12, 6), g(16, 12, 6), b(16, 12, 6);
    for (int z = 0; z < 6; ++z)
      for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
          r.voxels[z][y][x] = 10 * x;
          g.voxels[z][y][x] = 20 * y;
          b.voxels[z][y][x] = 40 * z;
        }
    TTiffIO target(vol);
    if (!t_writeTiff(target, r, g, b, 255, 0, 8)) return 2;
  }
  const std::string out = g_dir + "/result.tif";
  t_setupGLDefaults();
  std::vector<std::string> words = {argv[0], vol, "0.5", "0.5", "1.0", out};
  std::vector<char*> args;
  for (std::string& w : words) args.push_back(w.data());
  args.push_back(nullptr);
  int n = int(words.size());
  int rc = 3;
  {
    CKestrinApp app(n, args.data());
    if (const char* bin = std::getenv("KESTRIN_BIN_DIR")) g_appDir = std::string(bin) + "/";
    QPointer<QTimer> answering = answerStartupBoxes();
    const bool started = app.InitInstance();
    delete answering.data();
    if (started) rc = RUN_ALL_TESTS();
    app.ExitInstance();
  }
  std::system(("rm -rf '" + g_dir + "'").c_str());
  return rc;
}
