#include "e2e_program.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>
#include <X11/keysym.h>

#include "app/CKestrinApp.h"
#include "core/TCore.h"
#include "ui/TDlgMaskManip.h"
#include "view/CKestrinView.h"
#include "view/GLSetup.h"
#include "view/TDlgVisParam.h"
#include "view/TOGL.h"
#include "volume/TextureManager.h"
#include "volume/app_paths.h"
#include "x_input.h"

namespace e2e {

bool writeTiff16(const std::string& path, int w, int h, int d, const std::function<int(int, int, int)>& sample) {
  std::vector<uint8_t> f;
  auto put16 = [&f](uint32_t v) { f.push_back(v & 0xff), f.push_back((v >> 8) & 0xff); };
  auto put32 = [&f](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back((v >> (8 * i)) & 0xff); };
  auto set32 = [&f](size_t at, uint32_t v) { for (int i = 0; i < 4; ++i) f[at + i] = (v >> (8 * i)) & 0xff; };
  f.insert(f.end(), {'I', 'I', 42, 0});
  size_t prevLink = f.size();
  put32(0);
  const uint32_t strip = uint32_t(w) * h * 2;
  for (int z = 0; z < d; ++z) {
    const uint32_t data = uint32_t(f.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) put16(uint32_t(sample(x, y, z)));
    if (f.size() % 2) f.push_back(0);
    set32(prevLink, uint32_t(f.size()));
    const uint32_t tags[][3] = {{256, 3, uint32_t(w)}, {257, 3, uint32_t(h)}, {258, 3, 16}, {259, 3, 1},
                                {262, 3, 1},           {273, 4, data},        {277, 3, 1},  {278, 3, uint32_t(h)},
                                {279, 4, strip},       {284, 3, 1},           {339, 3, 1}};
    put16(11);
    for (const auto& t : tags) {
      put16(t[0]);
      put16(t[1]);
      put32(1);
      if (t[1] == 3)
        put16(t[2]), put16(0);
      else
        put32(t[2]);
    }
    prevLink = f.size();
    put32(0);
  }
  FILE* fp = std::fopen(path.c_str(), "wb");
  if (!fp) return false;
  const bool ok = std::fwrite(f.data(), 1, f.size(), fp) == f.size();
  return std::fclose(fp) == 0 && ok;
}

std::string tempPath(const char* stem, const char* suffix) {
  return QDir::temp().filePath(QStringLiteral("kestrin_%1_%2%3").arg(stem).arg(getpid()).arg(suffix)).toStdString();
}

QString Shots::path(const char* name) const {
  const QString dir = QStringLiteral(KESTRIN_ARTEFACTS);
  QDir().mkpath(QFileInfo(dir + "/" + prefix_ + name).absolutePath());
  return dir + "/" + prefix_ + name + ".png";
}

void Shots::operator()(QWidget* frame, QWidget* panel, const char* name) {
  static QElapsedTimer clock;
  if (start_ < 0) clock.start(), start_ = 0;
  QApplication::processEvents();
  std::printf("[%6.1f s] %s\n", clock.elapsed() / 1000.0, name);
  std::fflush(stdout);
  frame->grab().toImage().save(path(name));
  if (panel) panel->grab().toImage().save(path((std::string(name) + "_panel").c_str()));
}

QPoint project(TOGL& ogl, double x, double y, double z) {
  std::vector<TOGL::Vec3> out;
  TOGL::projectPoint({{x, y, z}}, out, ogl);
  return QPoint(int(std::lround(out[0][0])), int(std::lround(out[0][1])));
}

bool waitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

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

void chooseIds(QWidget* w, const std::vector<int>& ids) {
  auto* dlg = qobject_cast<TDlgMaskManip*>(w);
  ASSERT_NE(dlg, nullptr) << w->metaObject()->className();
  for (int id : ids) dlg->cell(id)->click();
  w->findChild<QAbstractButton*>("okButton")->click();
}

void drag(QWidget* v, Qt::MouseButton b, Qt::KeyboardModifiers mods, const std::vector<QPoint>& pts) {
  auto send = [&](QEvent::Type type, QPoint p, Qt::MouseButtons held) {
    QMouseEvent e(type, QPointF(p), v->mapToGlobal(QPointF(p)), b, held, mods);
    QApplication::sendEvent(v, &e);
  };
  send(QEvent::MouseButtonPress, pts.front(), b);
  for (const QPoint& p : pts) send(QEvent::MouseMove, p, b);
  send(QEvent::MouseButtonRelease, pts.back(), Qt::NoButton);
  QApplication::processEvents();
}

int countFlags(std::uint8_t v) {
  const TOGL3DImage& f = TextureManager::getInst().volFlag;
  int n = 0;
  for (int64_t i = 0; i < f.size(); ++i) n += f.data[i] == v;
  return n;
}

std::set<int> flaggedVoxels(std::uint8_t v) {
  const TOGL3DImage& f = TextureManager::getInst().volFlag;
  std::set<int> s;
  for (int64_t i = 0; i < f.size(); ++i)
    if (f.data[i] == v) s.insert(static_cast<int>(i));
  return s;
}

int changedPixels(const QImage& a, const QImage& b) {
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      n += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) > 30;
    }
  return n;
}

namespace {

// The fewest rendering slices the panel offers (100 rather than 1050): the software renderer of
// the test display spends nearly all of a test's time in the volume's slices.  A volume load
// puts the panel back to its defaults, so this follows every load.
void fewestSlices() {
  if (TDlgVisParam::exists()) TDlgVisParam::getInst().sliceNumSlider()->setValue(0);
}

// Every case after the first starts from the program's volume freshly loaded (mask, regions and
// the modes' volume-derived state reset), as the first one finds it after start-up.
class FreshVolumeEachCase : public ::testing::EmptyTestEventListener {
 public:
  explicit FreshVolumeEachCase(std::string path) : path_(std::move(path)) {}
  void OnTestStart(const ::testing::TestInfo&) override {
    if (started_++ == 0 || path_.empty()) return;
    TCore::getInst().loadVolume(path_);
    fewestSlices();
    QApplication::processEvents();
  }

 private:
  std::string path_;
  int started_ = 0;
};

}  // namespace

int runProgram(int argc, char** argv, const std::vector<std::string>& files) {
  // The GL driver's libraries stay mapped to the end: the leak check at exit can then name (and
  // pass over) the blocks they keep instead of reporting unknown modules.
  for (const char* lib : {"libGLX_mesa.so.0", "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"})
    dlopen(lib, RTLD_NOW | RTLD_NODELETE);
  t_setupGLDefaults();
  // The application keeps the argument count and vector to the end.
  static std::vector<std::string> kept(files);
  static std::vector<char*> args;
  args = {argv[0]};
  for (std::string& f : kept) args.push_back(f.data());
  args.push_back(nullptr);
  static int n = int(args.size()) - 1;
  (void)argc;
  int rc = 2;
  // The application object stays: deleting it makes the driver drop blocks the leak checker
  // cannot attribute.  ExitInstance closes every window.
  static CKestrinApp* app = new CKestrinApp(n, args.data());
  // The shader programs sit beside the program, not beside the test.
  if (const char* bin = std::getenv("KESTRIN_BIN_DIR")) g_appDir = std::string(bin) + "/";
  if (app->InitInstance()) {
    fewestSlices();
    ::testing::UnitTest::GetInstance()->listeners().Append(
        new FreshVolumeEachCase(kept.empty() ? std::string() : kept[0]));
    rc = RUN_ALL_TESTS();
  }
  app->ExitInstance();
  return rc;
}

int runOnVolume(int argc, char** argv, const char* stem, int w, int h, int d,
                const std::function<int(int, int, int)>& sample, std::string& path) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  path = tempPath(stem, ".tif");
  if (!writeTiff16(path, w, h, d, sample)) return 2;
  const int rc = runProgram(argc, argv, {path});
  std::remove(path.c_str());
  return rc;
}

QMainWindow* shownFrame() {
  CKestrinView* v = CKestrinView::s_theView;
  QMainWindow* frame = v ? qobject_cast<QMainWindow*>(v->window()) : nullptr;
  return frame && QTest::qWaitForWindowExposed(frame) ? frame : nullptr;
}

bool activated(QWidget* w) {
  w->activateWindow();
  return waitUntil([w] { return QApplication::activeWindow() == w; }, 10000);
}

namespace {

QString windowName(QWidget* w) { return w ? QString::fromLatin1(w->metaObject()->className()) : QStringLiteral("none"); }

// The menu bar's menu whose title is `title`.
QMenu* barMenu(QMainWindow* frame, const QString& title) {
  for (QAction* a : frame->menuBar()->actions())
    if (a->menu() && a->text() == title) return a->menu();
  return nullptr;
}

// A point of the screen that no shown window of ours covers (a corner), so that keys sent there
// reach a window only through the keyboard focus, never because the pointer lies over it.
QPoint uncoveredPoint(QWidget* frame) {
  const QRect screen = frame->screen()->geometry();
  for (const QPoint& p : {screen.bottomRight(), screen.bottomLeft(), screen.topRight(), screen.topLeft()}) {
    bool covered = false;
    for (QWidget* w : QApplication::topLevelWidgets()) covered = covered || (w->isVisible() && w->frameGeometry().contains(p));
    if (!covered) return p;
  }
  return screen.bottomRight();
}

void tap(XInput& in, unsigned long keysym) {
  in.key(keysym, true);
  in.key(keysym, false);
  in.flush();
}

}  // namespace

::testing::AssertionResult mainWindowTakesKeys() {
  CKestrinView* v = CKestrinView::s_theView;
  auto* frame = v ? qobject_cast<QMainWindow*>(v->window()) : nullptr;
  if (!frame) return ::testing::AssertionFailure() << "no main window";
  if (!waitUntil([frame] { return QApplication::activeWindow() == frame; }, 10000))
    return ::testing::AssertionFailure() << "the main window is not active (active: "
                                         << windowName(QApplication::activeWindow()).toStdString() << ")";
  QMenu* file = barMenu(frame, QStringLiteral("&File"));
  if (!file) return ::testing::AssertionFailure() << "no File menu";
  if (file->isVisible()) return ::testing::AssertionFailure() << "the File menu is open already";
  XInput in;
  if (!in.ok()) return ::testing::AssertionFailure() << "no XTEST extension on the display";
  in.moveTo(uncoveredPoint(frame));
  in.key(XK_Alt_L, true);
  tap(in, XK_f);
  in.key(XK_Alt_L, false);
  in.flush();
  const bool opened = waitUntil([file] { return file->isVisible(); }, 10000);
  if (!opened) {
    QWindow* focus = QGuiApplication::focusWindow();
    return ::testing::AssertionFailure()
           << "Alt+F opened no File menu (Qt's active window "
           << windowName(QApplication::activeWindow()).toStdString() << ", focus window "
           << (focus ? focus->objectName().toStdString() : std::string("none")) << ")";
  }
  tap(in, XK_Escape);
  if (!waitUntil([file] { return !file->isVisible(); }, 10000)) {
    file->close();  // never left open for the steps after
    return ::testing::AssertionFailure() << "Escape left the File menu open";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace e2e
