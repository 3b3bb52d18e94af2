// The main frame as a new user meets it, under Xvfb: File > Load Volume through the file dialog,
// the window level typed into its panel, the mask display from the Mode Switch menu with its
// region panel and a region picked there, the mask saved, spoilt and loaded again, a damaged mask
// file refused, and the region's surface exported.  Screenshots in artefacts/frame_*.png.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <deque>
#include <memory>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <unistd.h>

#include "app/CKestrinApp.h"
#include "app/CMainFrame.h"
#include "app/TDlgWinLv.h"
#include "core/TCore.h"
#include "e2e_program.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/TDlgMaskManip.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "volume/TMaskIdTable.h"
#include "volume/TextureManager.h"
#include "volume/app_paths.h"

namespace {

// Every wait is asserted, so that one timing out fails the case (Qt's QTRY_ macros only return
// from the function on a timeout, which GoogleTest would take for a pass).
using e2e::waitUntil;

std::string g_dir;

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void shot(const char* name) {
  QDir().mkpath(KESTRIN_ARTEFACTS);
  QApplication::processEvents();
  QScreen* s = QGuiApplication::primaryScreen();
  s->grabWindow(0).save(QStringLiteral(KESTRIN_ARTEFACTS "/frame_%1.png").arg(QLatin1String(name)));
}

// Runs fn on the next modal window (dialog or message box) that comes up.
void whenModal(std::function<void(QWidget*)> fn) {
  auto* timer = new QTimer();
  timer->setInterval(30);
  QObject::connect(timer, &QTimer::timeout, [timer, fn] {
    if (QWidget* w = QApplication::activeModalWidget()) {
      timer->stop();
      timer->deleteLater();
      fn(w);
    }
  });
  timer->start();
}

// Answers a file dialog with a path the way a user types it.
void answerFileDialog(const std::string& path, const char* shotName = nullptr) {
  whenModal([path, shotName](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
    if (shotName) shot(shotName);
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(edit, nullptr);
    edit->setText(QString::fromStdString(path));
    QTest::keyClick(edit, Qt::Key_Return);
  });
}

// Answers the modal windows that come up, in order: each step is given the window and says
// whether it was the one expected (a window is answered once; the script ends after its last step).
using ModalStep = std::function<bool(QWidget*)>;
void modalScript(std::vector<ModalStep> steps) {
  struct Script {
    std::deque<ModalStep> steps;
    QPointer<QWidget> last;
  };
  auto script = std::make_shared<Script>();
  script->steps.assign(steps.begin(), steps.end());
  auto* timer = new QTimer();
  timer->setInterval(30);
  QObject::connect(timer, &QTimer::timeout, [timer, script] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w == script->last) return;
    if (!script->steps.front()(w)) return;
    script->last = w;
    script->steps.pop_front();
    if (script->steps.empty()) {
      timer->stop();
      timer->deleteLater();
    }
  });
  timer->start();
}

ModalStep typeFileName(const std::string& path) {
  return [path](QWidget* w) {
    auto* dlg = qobject_cast<QFileDialog*>(w);
    if (!dlg) return false;
    auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!edit) return false;
    edit->setText(QString::fromStdString(path));
    QTest::keyClick(edit, Qt::Key_Return);
    return true;
  };
}

ModalStep acceptMessage(QString* text) {
  return [text](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    if (!box) return false;
    if (text) *text = box->text();
    box->accept();
    return true;
  };
}

// Opens the menus along `path` with the mouse and clicks the last entry.
void clickMenu(QMainWindow* frame, const QStringList& path) {
  QMenuBar* bar = frame->menuBar();
  QMenu* menu = nullptr;
  for (QAction* a : bar->actions())
    if (a->text() == path[0]) {
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(a).center());
      menu = a->menu();
    }
  ASSERT_NE(menu, nullptr) << path[0].toStdString();
  for (int i = 1; i < path.size(); ++i) {
    ASSERT_TRUE(waitUntil([&] { return menu->isVisible(); }, 3000));
    QAction* hit = nullptr;
    for (QAction* a : menu->actions())
      if (a->text() == path[i]) hit = a;
    ASSERT_NE(hit, nullptr) << path[i].toStdString();
    const QPoint at = menu->actionGeometry(hit).center();
    if (hit->menu()) {
      QTest::mouseMove(menu, at);
      QTest::mouseClick(menu, Qt::LeftButton, {}, at);
      menu = hit->menu();
    } else {
      QTest::mouseClick(menu, Qt::LeftButton, {}, at);
    }
  }
}

// Pixels that differ clearly from the picture's corner colour (the background).
int foregroundPixels(const QImage& img) {
  const QRgb bg = img.pixel(0, 0);
  int n = 0;
  for (int y = 0; y < img.height(); y += 2)
    for (int x = 0; x < img.width(); x += 2) {
      const QRgb p = img.pixel(x, y);
      n += std::abs(qRed(p) - qRed(bg)) + std::abs(qGreen(p) - qGreen(bg)) + std::abs(qBlue(p) - qBlue(bg)) > 40;
    }
  return n;
}

}  // namespace

TEST(FrameEndToEnd, OpenLevelAndRegionPanel) {
  CKestrinView* view = CKestrinView::s_theView;
  ASSERT_NE(view, nullptr);
  auto* frame = qobject_cast<CMainFrame*>(view->window());
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
  TextureManager& tm = TextureManager::getInst();
  // The files an earlier run of this case wrote go first: the save dialog would ask whether to
  // replace them, a question no step below answers.
  for (const char* name : {"work.ksmask2", "damaged.ksmask2", "region5.obj", "region5.obj.norm.obj"})
    std::remove((g_dir + "/" + name).c_str());

  // File > Load Volume image: the file dialog answered by typing the name.
  const std::string vol = g_dir + "/vol.tif";
  answerFileDialog(vol, "01_open_dialog");
  clickMenu(frame, {"&File", "Load Volume image (.tif .sph muxa)"});
  ASSERT_TRUE(waitUntil([&] { return tm.getW() == 40; }, 10000));
  ASSERT_EQ(tm.getD(), 12);
  ASSERT_TRUE(waitUntil([&] { return frame->captionText() == "-----Ready----"; }, 5000));
  view->requestRedraw();
  const QImage loaded = view->grabFramebuffer();
  EXPECT_GT(foregroundPixels(loaded), 500);
  shot("02_loaded");

  // Window level: typed into the maximum edit of channel 1; the rendering changes.
  TDlgWinLv& wl = TDlgWinLv::getInst();
  wl.show();
  wl.move(frame->frameGeometry().right() - 300, frame->y() + 100);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&wl));
  // Typed: each keystroke that parses is applied as it comes.
  wl.maxEdit(0)->selectAll();
  QTest::keyClicks(wl.maxEdit(0), "150");
  double mx[3];
  wl.getMaxValues(mx);
  EXPECT_DOUBLE_EQ(mx[0], 150.0);
  view->requestRedraw();
  const QImage levelled = view->grabFramebuffer();
  EXPECT_NE(levelled, loaded);
  shot("03_window_level");

  // A region left by a segmentation (the box's lower half, id 5).
  for (int z = 3; z < 6; ++z)
    for (int y = 5; y < 15; ++y)
      for (int x = 10; x < 20; ++x) tm.volMask.data[(z * 30 + y) * 40 + x] = 5;
  TMaskIdTable::getInst().activateRegion(5);
  const std::vector<unsigned char> mask(tm.volMask.data, tm.volMask.data + 40 * 30 * 12);

  // File > Mode Switch > Vis Mask: the region panel comes up.
  clickMenu(frame, {"&File", "Mode Switch", "Vis Mask"});
  ASSERT_TRUE(waitUntil([&] { return TCore::getInst().modeId == 3; }, 5000));
  EXPECT_TRUE(frame->action(32789)->isChecked());
  TDlgMaskManip* regionPanel = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<TDlgMaskManip*>(w))
      if (p->isVisible()) regionPanel = p;
  ASSERT_NE(regionPanel, nullptr);
  QTest::mouseClick(regionPanel->cell(5), Qt::LeftButton);
  EXPECT_EQ(regionPanel->currentId, 5);
  EXPECT_TRUE(regionPanel->transparencySlider()->isVisible());
  shot("04_region_panel");

  // File > Save Mask data: the file dialog answered by typing a name without its ending.
  const std::string maskPath = g_dir + "/work.ksmask2";
  modalScript({typeFileName(g_dir + "/work")});
  clickMenu(frame, {"&File", "Save Mask data (.ksmask2)"});
  ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(QString::fromStdString(maskPath)); }, 10000));
  ASSERT_TRUE(waitUntil([&] { return !readFile(maskPath).empty(); }, 10000));
  const std::string savedMask = readFile(maskPath);
  const std::string savedVolume = readFile(vol);

  // The mask spoilt in memory, then File > Load Mask data brings the saved one back.
  std::fill(tm.volMask.data, tm.volMask.data + mask.size(), 0);
  modalScript({typeFileName(maskPath)});
  clickMenu(frame, {"&File", "Load Mask data (.ksmask2; .ksmask)"});
  ASSERT_TRUE(waitUntil([&] { return std::equal(mask.begin(), mask.end(), tm.volMask.data); }, 10000));
  EXPECT_EQ(TCore::getInst().modeId, 3);
  EXPECT_EQ(TMaskIdTable::getInst().records[5].used, 1);
  shot("05_mask_reloaded");

  // A damaged copy (cut short) is refused with a message; the mask in memory and both files stay.
  const std::string damaged = g_dir + "/damaged.ksmask2";
  std::ofstream(damaged, std::ios::binary) << savedMask.substr(0, savedMask.size() / 2);
  QString refusal;
  modalScript({typeFileName(damaged), acceptMessage(&refusal)});
  clickMenu(frame, {"&File", "Load Mask data (.ksmask2; .ksmask)"});
  ASSERT_TRUE(waitUntil([&] { return !refusal.isEmpty(); }, 10000));
  EXPECT_TRUE(std::equal(mask.begin(), mask.end(), tm.volMask.data));
  EXPECT_EQ(readFile(maskPath), savedMask);
  EXPECT_EQ(readFile(vol), savedVolume);

  // File > Export Mask or Region > Export one region as Obj: region 5 picked, the surface
  // parameters taken as offered, the name typed; both models are written and reported.
  const std::string objPath = g_dir + "/region5.obj";
  QString report;
  modalScript({[](QWidget* w) {
                 auto* dlg = qobject_cast<TDlgMaskManip*>(w);
                 if (!dlg) return false;
                 dlg->cell(5)->click();
                 dlg->findChild<QAbstractButton*>("okButton")->click();
                 return true;
               },
               [](QWidget* w) {
                 auto* dlg = qobject_cast<TDlgMarchingCubesParam*>(w);
                 if (!dlg) return false;
                 dlg->accept();
                 return true;
               },
               typeFileName(objPath), acceptMessage(&report)});
  clickMenu(frame, {"&File", "Export Mask or Region", "Export one region as Obj (.obj)"});
  ASSERT_TRUE(waitUntil([&] { return !report.isEmpty(); }, 20000));
  EXPECT_TRUE(report.startsWith("System exports 2 obj files")) << report.toStdString();
  // The box of region 5 is 10 x 10 x 3 voxels: its surface has a few hundred corners.
  int vertices = 0;
  {
    std::ifstream obj(objPath);
    for (std::string line; std::getline(obj, line);) vertices += line.rfind("v ", 0) == 0;
  }
  EXPECT_GT(vertices, 50);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(objPath + ".norm.obj")));
  EXPECT_EQ(readFile(maskPath), savedMask);
  shot("06_exported");
}

// No leak check at exit in this program: the GL driver's JIT code and ICU (the file dialog) leak
// blocks the sanitizer attributes to no library a suppression could name.  Our own code's leaks
// are checked by the offscreen test_app_frame.
extern "C" int __lsan_is_turned_off() { return 1; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  g_dir = QDir::temp().filePath(QStringLiteral("kestrin_frame_e2e_%1").arg(getpid())).toStdString();
  QDir().mkpath(QString::fromStdString(g_dir));
  const std::string script = g_dir + "/make.py";
  std::ofstream(script) << "import numpy as np, tifffile\n"
                           "v = np.zeros((12, 30, 40), np.uint16) + (100 + 20 * np.arange(40)).astype(np.uint16)\n"
                           "v[3:9, 5:15, 10:20] = 1000\n"
                           "tifffile.imwrite('" + g_dir + "/vol.tif', v)\n";
  if (std::system(("/usr/bin/python3 '" + script + "'").c_str()) != 0) return 2;
  t_setupGLDefaults();
  std::vector<char*> args = {argv[0], nullptr};
  int n = 1;
  int rc = 3;
  {
    CKestrinApp app(n, args.data());
    g_appDir = KESTRIN_BIN_DIR "/";
    if (app.InitInstance()) rc = RUN_ALL_TESTS();
    app.ExitInstance();
  }
  std::system(("rm -rf '" + g_dir + "'").c_str());
  return rc;
}
