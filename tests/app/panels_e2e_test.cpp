// The main window and the panels as a user meets them on a desktop under a window manager (its own
// Xvfb with openbox; the cases skip without them), one binary a screen: 1600 x 1000 and 1280 x 800
// started with a colour volume, 1920 x 1080 and 1366 x 768 with a grey one.  Every mode with a
// panel entered from the Mode Switch menu, with the start volume and after loading the other kind,
// and after a click in the main view: no panel covers another, each lies wholly on the screen,
// shows its Finish and cancel buttons (or its last button) without scrolling, is a transient of
// the frame and stands above it, and none covers the main window (on the small screens: none
// covers its title bar, menus or tool bar); the same after mode 11's Finish.  Also: the frame
// keeps its first place through start-up (a colour volume may move it once) and fits the screen,
// no panel shows first at another place, the window level opens over neither the frame nor a
// panel, leaving a mode gives the frame back its own place (where start-up or the user put it),
// maximising and restoring, the slice panes keep their sizes across mode switches, a switch back
// to the standard mode draws the main view once, and no caption loses an ampersand to a mnemonic.  Screenshots of the whole screen in
// artefacts/panels_e2e_<width>.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "core/TCore.h"
#include "e2e_program.h"
#include "x11_session.h"
#include "ui/TDlgMarchingCubesParam.h"
#include "ui/TDlgMaskManip.h"
#include "ui/panel_window.h"
#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"
#include "view/TDlgVisParam.h"
#include "view/TSubPane.h"
#include "volume/Image3D.h"
#include "volume/TMaskIdTable.h"
#include "volume/TTiffIO.h"
#include "volume/TextureManager.h"
#include "volume/tiff_write.h"

namespace {

const int kW = 48, kH = 48, kD = 16;
#ifndef KESTRIN_SCREEN_W
#define KESTRIN_SCREEN_W 1600
#define KESTRIN_SCREEN_H 1000
#endif
// Screens of at least this width hold the frame and the panels side by side.
const bool kRoomy = KESTRIN_SCREEN_W >= 1600;
#ifndef KESTRIN_START_COLOUR
#define KESTRIN_START_COLOUR 1
#endif
const bool kStartsInColour = KESTRIN_START_COLOUR;
std::string g_colourPath, g_greyPath;
std::string g_skip;  // why the cases cannot run (no Xvfb or no window manager)
X11Session g_session;

// Mask ids: 1 organ, 2 tumour, 3 highlighted part, 4 vessel.
int maskId(int x, int y, int z) {
  auto d = [&](double a, double b, double c) { return std::sqrt((x - a) * (x - a) + (y - b) * (y - b) + (z - c) * (z - c) * 4); };
  int id = 0;
  if (d(24, 24, 8) < 15) id = 1;
  if (id && d(15, 24, 8) < 4) id = 3;
  if (id && std::hypot(x - 24.0, y - 31.0) < 2) id = 4;
  if (d(29, 24, 8) < 5) id = 2;
  return id;
}

// ---- start-up: where each panel was first seen ------------------------------------------------------

struct FirstSight {
  QPointer<QWidget> panel;
  QRect frame;
};
std::vector<FirstSight> g_firstSights;
// Start-up is over once a case switches modes: panels first shown after that are not recorded.
bool g_startUpOver = false;
// The main window's client rectangles from its first exposure to the end of start-up.
std::vector<QRect> g_frameSeen;
// While set, every client rectangle the main window takes (a case's mode switch).
std::vector<QRect>* g_frameTrail = nullptr;

bool isPanel(const QObject* o) {
  auto* w = qobject_cast<const QWidget*>(o);
  return w && w->isWindow() && !qobject_cast<const QMainWindow*>(w) && !qobject_cast<const QDockWidget*>(w) &&
         !(qobject_cast<const QDialog*>(w) && static_cast<const QDialog*>(w)->isModal()) &&
         (w->windowFlags() & Qt::WindowType_Mask) == Qt::Tool;
}

// Notes the frame rectangle of every panel at its first exposure on the screen.
class ExposeWatch : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && !g_startUpOver && !g_frameSeen.empty())
      if (auto* frame = qobject_cast<QMainWindow*>(o))
        if (frame->geometry() != g_frameSeen.back()) g_frameSeen.push_back(frame->geometry());
    if ((e->type() == QEvent::Move || e->type() == QEvent::Resize) && g_frameTrail)
      if (auto* frame = qobject_cast<QMainWindow*>(o))
        if (g_frameTrail->empty() || frame->geometry() != g_frameTrail->back()) g_frameTrail->push_back(frame->geometry());
    if (e->type() == QEvent::Expose && !g_startUpOver) {
      auto* win = qobject_cast<QWindow*>(o);
      if (win && win->isExposed())
        for (QWidget* w : QApplication::topLevelWidgets()) {
          if (w->windowHandle() == win && qobject_cast<QMainWindow*>(w) && g_frameSeen.empty())
            g_frameSeen.push_back(w->geometry());
          if (w->windowHandle() == win && isPanel(w)) {
            bool seen = false;
            for (const FirstSight& s : g_firstSights) seen = seen || s.panel == w;
            if (!seen) g_firstSights.push_back({w, w->frameGeometry()});
          }
        }
    }
    return false;
  }
};

// Answers the grey-or-colour question with colour: at start-up and at each reload of the volume
// before a case (the end-to-end support's), so the timer keeps running.
void atStart() {
  qApp->installEventFilter(new ExposeWatch());
  auto* timer = new QTimer(qApp);
  timer->setInterval(50);
  QObject::connect(timer, &QTimer::timeout, timer, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      for (QAbstractButton* b : box->buttons())
        if (b->text().trimmed() == QLatin1String("Color")) b->click();
  });
  timer->start();
}
Q_COREAPP_STARTUP_FUNCTION(atStart)

// ---- modes ------------------------------------------------------------------------------------------

// Answers the modal windows of a mode's entry: the region choosers with the ids in turn (then
// id 1), message boxes and the other small dialogs with their first button / OK.
QPointer<QTimer> g_answering;
void answerEntry(std::vector<std::vector<int>> ids, std::vector<std::string>* messages) {
  // The answers of the previous entry end here.
  delete g_answering.data();
  auto* timer = new QTimer();
  g_answering = timer;
  timer->setInterval(30);
  auto last = std::make_shared<QPointer<QWidget>>();
  auto left = std::make_shared<std::vector<std::vector<int>>>(std::move(ids));
  QObject::connect(timer, &QTimer::timeout, timer, [timer, last, left, messages] {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || w == *last || !w->isVisible()) return;
    *last = w;
    if (auto* box = qobject_cast<QMessageBox*>(w)) {
      if (messages) messages->push_back(box->text().toStdString());
      box->buttons().value(0)->click();
    } else if (qobject_cast<TDlgMaskManip*>(w)) {
      std::vector<int> pick = {1};
      if (!left->empty()) pick = left->front(), left->erase(left->begin());
      e2e::chooseIds(w, pick);
    } else if (auto* d = qobject_cast<QDialog*>(w)) {
      d->accept();
    }
  });
  timer->start();
}

std::vector<QWidget*> shownPanels() {
  std::vector<QWidget*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (isPanel(w) && w->isVisible()) out.push_back(w);
  return out;
}

QString nameOf(const QWidget* w) { return w->windowTitle() + " (" + w->metaObject()->className() + ")"; }

void shotScreen(const QString& name) {
  const QString dir = QStringLiteral(KESTRIN_ARTEFACTS "/panels_e2e_%1").arg(KESTRIN_SCREEN_W);
  QDir().mkpath(dir);
  QApplication::processEvents();
  QGuiApplication::primaryScreen()->grabWindow(0).save(dir + "/" + name + ".png");
}

QString describe(const QRect& r) {
  return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The buttons that end a mode (Finish, cancel), else the panel's last button.
std::vector<QAbstractButton*> endingButtons(QWidget* panel) {
  std::vector<QAbstractButton*> out;
  QAbstractButton* last = nullptr;
  for (QAbstractButton* b : panel->findChildren<QAbstractButton*>()) {
    if (b->isHidden()) continue;
    const QString t = b->text().remove(QLatin1Char('&')).trimmed().toLower();
    if (t.startsWith(QLatin1String("finish")) || t.startsWith(QLatin1String("cancel"))) out.push_back(b);
    const QPoint at = b->mapTo(panel, QPoint(0, 0));
    if (!last || at.y() > last->mapTo(panel, QPoint(0, 0)).y()) last = b;
  }
  if (out.empty() && last) out.push_back(last);
  return out;
}

// The main window's title bar, menus and tool bar on the screen.
QRect barsOf(QMainWindow* frame) {
  const QRect main = frame->frameGeometry();
  const auto* bar = frame->findChild<QToolBar*>(QStringLiteral("Standard"));
  const int bottom = bar ? bar->mapToGlobal(QPoint(0, bar->height())).y() : frame->geometry().top();
  return QRect(main.left(), main.top(), main.width(), bottom - main.top());
}

// The layout as the user sees it: the main window on the screen, nothing over it (on a small
// screen: nothing over its bars), no two panels meeting, every panel on the screen and showing its
// ending buttons without scrolling.
void expectLayout(QMainWindow* frame, const std::vector<QWidget*>& panels) {
  const QRect avail = frame->screen()->availableGeometry();
  const QRect main = frame->frameGeometry();
  const QRect covered = kRoomy ? main : barsOf(frame);
  EXPECT_TRUE(avail.contains(main)) << "main window at " << describe(main).toStdString();
  // (The least width counts the decorations the program expected, which may be a little wider
  // than the window manager's.)
  EXPECT_GE(main.width(), kMainFrameMinWidth - 12);
  for (std::size_t i = 0; i < panels.size(); ++i) {
    QWidget* p = panels[i];
    const std::string name = nameOf(p).toStdString();
    const QRect r = p->frameGeometry();
    EXPECT_TRUE(avail.contains(r)) << name << " at " << describe(r).toStdString();
    EXPECT_FALSE(r.intersects(covered)) << name << " at " << describe(r).toStdString() << " covers the main window"
                                        << (kRoomy ? "" : "'s bars") << " at " << describe(covered).toStdString();
    for (std::size_t j = i + 1; j < panels.size(); ++j) {
      EXPECT_FALSE(r.intersects(panels[j]->frameGeometry()))
          << name << " at " << describe(r).toStdString() << " meets " << nameOf(panels[j]).toStdString() << " at "
          << describe(panels[j]->frameGeometry()).toStdString();
    }
    QScrollArea* area = t_panelScrollArea(p);
    for (QAbstractButton* b : endingButtons(p)) {
      const QRect at(b->mapTo(p, QPoint(0, 0)), b->size());
      QRect seen = p->rect();
      if (area) seen &= QRect(area->viewport()->mapTo(p, QPoint(0, 0)), area->viewport()->size());
      EXPECT_TRUE(seen.contains(at)) << name << ": \"" << b->text().toStdString() << "\" at "
                                     << describe(at).toStdString() << " outside " << describe(seen).toStdString();
    }
  }
}

std::vector<int> paneHeights() {
  std::vector<int> h;
  for (int i = 0; i < 3; ++i) {
    TSubPane* p = SubPaneManager::getInst().getPane(i);
    h.push_back(p && p->isVisible() ? p->geometry().height() : 0);
  }
  return h;
}

// The pane's picture differs from its background somewhere (a slice is drawn in it).
bool paneShowsASlice(TSubPane* pane) {
  const QImage img = pane->grab().toImage();
  const QRgb bg = img.pixel(2, img.height() - 3);
  int n = 0;
  for (int y = 0; y < img.height(); y += 3)
    for (int x = 0; x < img.width(); x += 3) n += img.pixel(x, y) != bg;
  return n > 200;
}

// The mask and its table, as a loaded mask would leave them.
void fillMask() {
  TOGL3DImage& mask = TextureManager::getInst().volMask;
  for (int z = 0; z < kD; ++z)
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) mask.data[x + kW * (y + kH * z)] = uint8_t(maskId(x, y, z));
  for (int id = 1; id <= 4; ++id) TMaskIdTable::getInst().records[id].used = true;
}

// How long a wait on the window system may take: on a busy machine the window manager answers
// seconds late and each look at the windows may take a second of its own.  A wait that ends well
// returns as soon as it holds, so the length costs nothing then.
constexpr int kWindowSystemMs = 60000;

// Waits until what now() gives has held still for a moment (and then satisfies ok, where given):
// unchanged over eight looks 50 ms apart and for 400 ms by the clock, both counted from its last
// change, with the deadline above.
bool holdsStill(const std::function<std::vector<QRect>()>& now,
                const std::function<bool(const std::vector<QRect>&)>& ok = nullptr) {
  std::vector<QRect> last = now();
  QElapsedTimer since;
  since.start();
  int looks = 0;
  return e2e::waitUntil([&] {
    QTest::qWait(50);
    const std::vector<QRect> seen = now();
    if (seen != last) {
      last = seen;
      since.restart();
      looks = 0;
      return false;
    }
    return ++looks >= 8 && since.elapsed() >= 400 && (!ok || ok(seen));
  }, kWindowSystemMs);
}

// Waits until the frame's client rectangle has held still for a moment (and, with want, is it).
bool frameSettles(QWidget* frame, const QRect& want = QRect()) {
  return holdsStill([frame] { return std::vector<QRect>{frame->geometry()}; },
                    [want](const std::vector<QRect>& seen) { return want.isNull() || seen[0] == want; });
}

// Waits until the frame and the shown panels have held still for a moment (the panels that follow
// the frame, a window manager that places them late).
bool layoutSettles(QWidget* frame) {
  return holdsStill([frame] {
    std::vector<QRect> seen = {frame->frameGeometry()};
    for (QWidget* p : shownPanels()) seen.push_back(p->frameGeometry());
    return seen;
  });
}

// Enters a mode from the Mode Switch menu, answering its questions with the ids given (then 1).
void enterMode(CMainFrame* frame, int mode, std::vector<std::vector<int>> ids = {}) {
  std::vector<std::string> messages;
  struct StopAnswering {
    ~StopAnswering() { delete g_answering.data(); }
  } stop;
  answerEntry(std::move(ids), &messages);
  const TModeCommand* cmd = nullptr;
  for (const TModeCommand& c : g_modeCommands)
    if (c.modeId == mode) cmd = &c;
  ASSERT_NE(cmd, nullptr);
  frame->runCommand(cmd->id);
  ASSERT_TRUE(e2e::waitUntil([&] { return TCore::getInst().modeId == mode; }, kWindowSystemMs))
      << "stayed in mode " << TCore::getInst().modeId << (messages.empty() ? "" : ": " + messages.back());
  EXPECT_TRUE(layoutSettles(frame)) << "into mode " << mode << " the layout kept changing";
}

// The frame's decorations as the window manager draws them.
QMargins decorationsOf(const QWidget* frame) {
  const QRect g = frame->geometry(), f = frame->frameGeometry();
  return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

#define SKIP_WITHOUT_DISPLAY() \
  if (!g_skip.empty()) GTEST_SKIP() << g_skip

// Enters every mode with a panel from the menu (and ends mode 11 with its Finish) and checks the
// layout after each; the screenshots are named with `tag`.
void walkTheModes(CMainFrame* frame, const QString& tag) {
  CKestrinView* view = CKestrinView::s_theView;
  TCore& core = TCore::getInst();
  fillMask();
  g_startUpOver = true;
  core.setMode(3);
  core.setMode(0);
  EXPECT_TRUE(layoutSettles(frame));
  const std::vector<int> panesAtStart = paneHeights();
  for (int h : panesAtStart) EXPECT_GT(h, 150);

  X11Session& x = g_session;
  const unsigned long frameId = frame->winId();
  ASSERT_TRUE(x.connected());
  struct Step {
    int mode;
    std::vector<std::vector<int>> ids;
  };
  const std::vector<Step> steps = {{0, {}},  {1, {}},     {2, {}},     {3, {}},     {5, {{1}}},  {6, {{0}}},
                                   {7, {{0}}}, {8, {{0}}}, {9, {{0}}}, {10, {{0}}}, {11, {{0}}}, {12, {{1}}},
                                   {13, {{1}}}, {4, {{1}, {3}, {4}, {2}}}, {0, {}}};
  auto check = [&](const QString& shot) {
    // A click in the main view: the window manager raises the frame.
    const QPoint inView = view->mapToGlobal(QPoint(view->width() / 2, view->height() / 2));
    if (!x.click(inView, 3)) {
      frame->raise();
      frame->activateWindow();
    }
    EXPECT_TRUE(layoutSettles(frame));
    const std::vector<QWidget*> panels = shownPanels();
    // The rendering panel and the mode's own.
    EXPECT_GE(panels.size(), 2u);
    expectLayout(frame, panels);
    std::vector<unsigned long> order;
    auto level = [&](unsigned long id) { return int(std::find(order.begin(), order.end(), id) - order.begin()); };
    // The window manager restacks after the raise in its own time.
    e2e::waitUntil([&] {
      order = x.stacking();
      bool above = level(frameId) < int(order.size());
      for (QWidget* p : panels) above = above && level(p->winId()) > level(frameId);
      return above;
    }, kWindowSystemMs);
    ASSERT_LT(level(frameId), int(order.size()));
    for (QWidget* p : panels) {
      const std::string name = nameOf(p).toStdString();
      EXPECT_EQ(x.transientFor(p->winId()), frameId) << name;
      EXPECT_GT(level(p->winId()), level(frameId)) << name;
    }
    shotScreen(tag + shot);
  };
  std::vector<std::string> messages;
  for (const Step& step : steps) {
    SCOPED_TRACE("mode " + std::to_string(step.mode));
    enterMode(frame, step.mode, step.ids);
    if (::testing::Test::HasFatalFailure()) return;
    check(QStringLiteral("mode_%1").arg(step.mode, 2, 10, QLatin1Char('0')));
    if (step.mode == 13) {
      // Mode 13 draws the slices in its panes like the standard mode.
      for (int i = 0; i < 3; ++i) {
        TSubPane* pane = SubPaneManager::getInst().getPane(i);
        ASSERT_TRUE(pane && pane->isVisible());
        EXPECT_TRUE(paneShowsASlice(pane)) << "pane " << i;
      }
    }
    if (step.mode == 11) {
      // Its Finish goes back to the mask mode, whose rendering panel loses the 2-D editor.
      QAbstractButton* finish = nullptr;
      for (QWidget* p : shownPanels())
        for (QAbstractButton* b : endingButtons(p))
          if (b->text().trimmed() == QLatin1String("Finish")) finish = b;
      ASSERT_NE(finish, nullptr);
      // A region to store, as the boundary-surface computation leaves it.
      TOGL3DImage& flags = TextureManager::getInst().volFlag;
      for (int i = 0; i < kW * kH * kD; ++i) flags.data[i] = i % kW < 6 && maskId(i % kW, (i / kW) % kH, i / (kW * kH)) == 0 ? 255 : 1;
      answerEntry({{5}}, &messages);
      QTest::mouseClick(finish, Qt::LeftButton);
      ASSERT_TRUE(e2e::waitUntil([&] { return core.modeId == 3; }, kWindowSystemMs)) << "stayed in mode " << core.modeId;
      EXPECT_TRUE(layoutSettles(frame));
      // With the chooser closed, the first real click on "File" opens its menu.
      QMenuBar* bar = frame->menuBar();
      QAction* file = bar->actions().value(0);
      ASSERT_NE(file, nullptr);
      if (x.click(bar->mapToGlobal(bar->actionGeometry(file).center()), 1)) {
        EXPECT_TRUE(e2e::waitUntil([] { return QApplication::activePopupWidget() != nullptr; }, kWindowSystemMs))
            << "the first click on the File menu did not open it";
        if (QWidget* menu = QApplication::activePopupWidget()) menu->close();
        QTest::qWait(200);
      }
      delete g_answering.data();
      check(QStringLiteral("mode_11_finished"));
    }
  }
  delete g_answering.data();
  // Back in mode 0 the panes have the sizes they started with.
  const std::vector<int> panesAtEnd = paneHeights();
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(panesAtEnd[i], panesAtStart[i], 4) << "pane " << i;
}

}  // namespace

TEST(PanelsEndToEnd, StartUpShowsEachPanelFirstWhereItStays) {
  SKIP_WITHOUT_DISPLAY();
  QMainWindow* frame = e2e::shownFrame();
  ASSERT_NE(frame, nullptr);
  ASSERT_TRUE(e2e::waitUntil([] { return TDlgVisParam::getInst().isVisible(); }, kWindowSystemMs));
  EXPECT_TRUE(layoutSettles(frame));
  shotScreen("00_started");
  ASSERT_FALSE(g_firstSights.empty());
  const QRect avail = frame->screen()->availableGeometry();
  EXPECT_EQ(avail.size(), QSize(KESTRIN_SCREEN_W, KESTRIN_SCREEN_H));
  // The frame stays where it was first seen; the colour volume's answer, which grows the rendering
  // panel, may move it once.
  ASSERT_FALSE(g_frameSeen.empty());
  QStringList seen;
  for (const QRect& r : g_frameSeen) seen << describe(r);
  std::printf("main window seen at: %s\n", qPrintable(seen.join(QStringLiteral(", "))));
  EXPECT_LE(g_frameSeen.size(), kStartsInColour ? 2u : 1u) << seen.join(QStringLiteral(", ")).toStdString();
  EXPECT_EQ(g_frameSeen.back(), frame->geometry());
  for (const FirstSight& s : g_firstSights) {
    ASSERT_TRUE(s.panel);
    std::printf("first seen: %s at %d,%d\n", qPrintable(nameOf(s.panel)), s.frame.x(), s.frame.y());
    EXPECT_TRUE(s.panel->isVisible()) << "shown and hidden again: " << nameOf(s.panel).toStdString();
    EXPECT_EQ(s.frame.topLeft(), s.panel->frameGeometry().topLeft()) << nameOf(s.panel).toStdString();
  }
  expectLayout(frame, shownPanels());

  // The window level opens over neither the frame nor a panel where the screen has room.
  QAbstractButton* winLv = nullptr;
  for (QAbstractButton* b : TDlgVisParam::getInst().findChildren<QAbstractButton*>())
    if (b->text() == QLatin1String("Window Level")) winLv = b;
  ASSERT_NE(winLv, nullptr);
  const std::vector<QWidget*> before = shownPanels();
  QTest::mouseClick(winLv, Qt::LeftButton);
  QWidget* level = nullptr;
  ASSERT_TRUE(e2e::waitUntil([&] {
    for (QWidget* p : shownPanels())
      if (p->windowTitle() == QLatin1String("Window Level")) level = p;
    return level != nullptr;
  }, kWindowSystemMs));
  EXPECT_TRUE(layoutSettles(frame));
  shotScreen("01_window_level");
  const QRect r = level->frameGeometry();
  EXPECT_TRUE(avail.contains(r)) << describe(r).toStdString();
  expectLayout(frame, shownPanels());
}

TEST(PanelsEndToEnd, EveryModeLaysOutBesideTheMainWindowWithTheStartVolume) {
  SKIP_WITHOUT_DISPLAY();
  auto* frame = qobject_cast<CMainFrame*>(e2e::shownFrame());
  ASSERT_NE(frame, nullptr);
  ASSERT_EQ(TextureManager::getInst().channelCount, kStartsInColour ? 3 : 1);
  walkTheModes(frame, kStartsInColour ? "colour_" : "grey_");
}

TEST(PanelsEndToEnd, EveryModeLaysOutBesideTheMainWindowAfterTheOtherKindIsLoaded) {
  SKIP_WITHOUT_DISPLAY();
  auto* frame = qobject_cast<CMainFrame*>(e2e::shownFrame());
  ASSERT_NE(frame, nullptr);
  g_startUpOver = true;
  TCore::getInst().loadVolume(kStartsInColour ? g_greyPath : g_colourPath);
  // The load puts the rendering panel back to 1050 slices: the fewest keep the software renderer quick.
  TDlgVisParam::getInst().sliceNumSlider()->setValue(0);
  QTest::qWait(300);
  ASSERT_EQ(TextureManager::getInst().channelCount, kStartsInColour ? 1 : 3);
  walkTheModes(frame, kStartsInColour ? "grey_" : "colour_");
}

// The frame in mode 0 with the mask filled, settled at its own place; null where it did not settle.
CMainFrame* settledInModeZero() {
  auto* frame = qobject_cast<CMainFrame*>(e2e::shownFrame());
  if (!frame) return nullptr;
  g_startUpOver = true;
  fillMask();
  enterMode(frame, 0);
  return frameSettles(frame) ? frame : nullptr;
}

TEST(PanelsEndToEnd, LeavingAModeGivesTheFrameItsOwnPlaceBack) {
  SKIP_WITHOUT_DISPLAY();
  CMainFrame* frame = settledInModeZero();
  ASSERT_NE(frame, nullptr);
  const QRect home = frame->geometry();
  for (int mode : {3, 6, 10}) {
    enterMode(frame, mode, {{0}});
    ASSERT_TRUE(frameSettles(frame));
    expectLayout(frame, shownPanels());
    shotScreen(QStringLiteral("leave_%1").arg(mode));
    enterMode(frame, 0);
    EXPECT_TRUE(frameSettles(frame, home)) << "after mode " << mode << ": " << describe(frame->geometry()).toStdString()
                                           << " for " << describe(home).toStdString();
  }
  const QRect avail = frame->screen()->availableGeometry();
  const QMargins deco = decorationsOf(frame);
  const QRect client = avail.marginsRemoved(deco);
  // Moved by the user against the screen's right edge, where the panels have room on its left:
  // they go there, and the next switch leaves the frame where the user put it.
  QRect column;
  for (QWidget* p : shownPanels()) column |= p->frameGeometry();
  const QRect moved(client.right() + 1 - home.width(), home.y(), home.width(), home.height());
  if (moved.left() - deco.left() - kPanelColumnGap - column.width() >= avail.left()) {
    g_session.moveResize(frame->winId(), moved.x(), moved.y(), moved.width(), moved.height());
    ASSERT_TRUE(frameSettles(frame, moved)) << describe(frame->geometry()).toStdString();
    EXPECT_TRUE(layoutSettles(frame));
    expectLayout(frame, shownPanels());
    for (QWidget* p : shownPanels()) EXPECT_LT(p->frameGeometry().right(), frame->frameGeometry().left()) << nameOf(p).toStdString();
    shotScreen(QStringLiteral("moved_by_user"));
    enterMode(frame, 3);
    enterMode(frame, 0);
    EXPECT_TRUE(frameSettles(frame, moved)) << describe(frame->geometry()).toStdString();
    expectLayout(frame, shownPanels());
  } else {
    std::printf("no room for the panels on the left of the frame against the right edge: not moved\n");
  }
  // Put back where start-up had it, for the cases after this one.
  g_session.moveResize(frame->winId(), home.x(), home.y(), home.width(), home.height());
  EXPECT_TRUE(frameSettles(frame, home));
}

// The main view's picture on the screen (as the window system holds it) against a frame drawn now,
// where no panel covers the view: the pixels compared, those that differ, and those of the screen's
// picture unlike its corner's background (the volume drawn).
struct ViewComparison {
  int compared = 0, differ = 0, drawn = 0;
};
ViewComparison viewAgainstAFreshFrame(CKestrinView* view) {
  const QPoint at = view->mapToGlobal(QPoint(0, 0));
  const QImage seen = view->screen()->grabWindow(0, at.x(), at.y(), view->width(), view->height()).toImage();
  const QImage fresh = view->grabFramebuffer().scaled(seen.size()).convertToFormat(seen.format());
  std::vector<QRect> panels;
  for (QWidget* p : shownPanels()) panels.push_back(p->frameGeometry().translated(-at));
  ViewComparison c;
  const QRgb background = seen.pixel(1, 1);
  auto unlike = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) > 30;
  };
  for (int y = 0; y < seen.height(); ++y)
    for (int x = 0; x < seen.width(); ++x) {
      bool covered = false;
      for (const QRect& r : panels) covered = covered || r.contains(x, y);
      if (covered) continue;
      ++c.compared;
      c.differ += unlike(seen.pixel(x, y), fresh.pixel(x, y));
      c.drawn += unlike(seen.pixel(x, y), background);
    }
  return c;
}

TEST(PanelsEndToEnd, ASwitchBackToTheStandardModeDrawsTheMainViewOnceAtItsNewSize) {
  SKIP_WITHOUT_DISPLAY();
  CMainFrame* frame = settledInModeZero();
  ASSERT_NE(frame, nullptr);
  CKestrinView* view = CKestrinView::s_theView;
  // Modes 6 and 10 work in the main view only: they hide the slice panes, which the standard mode
  // shows again, so the switch back resizes the view and lays out the frame anew.
  for (int from : {6, 10}) {
    SCOPED_TRACE("from mode " + std::to_string(from));
    enterMode(frame, 3);
    ASSERT_TRUE(frameSettles(frame));
    enterMode(frame, from, {{0}});
    ASSERT_TRUE(frameSettles(frame));
    ASSERT_EQ(paneHeights(), std::vector<int>(3, 0));
    const QSize wide = view->size();
    const int drawn = view->framesDrawn();
    enterMode(frame, 3);
    ASSERT_TRUE(frameSettles(frame));
    QTest::qWait(500);
    // Each frame of the view is a whole volume rendering: the switch costs one, drawn at the size
    // the view ends with.
    EXPECT_EQ(view->framesDrawn() - drawn, 1);
    for (int h : paneHeights()) EXPECT_GT(h, 0);
    EXPECT_LT(view->width(), wide.width());
    const ViewComparison c = viewAgainstAFreshFrame(view);
    EXPECT_GT(c.compared, view->width() * view->height() / 3);
    EXPECT_GT(c.drawn, 1000);
    EXPECT_LT(c.differ, c.compared / 100) << "of " << c.compared << " pixels";
    shotScreen(QStringLiteral("back_to_3_from_%1").arg(from));
  }
  enterMode(frame, 0);
}

TEST(PanelsEndToEnd, AFrameWidenedByTheUserKeepsItsWidthOnceThePanelsGiveItBack) {
  SKIP_WITHOUT_DISPLAY();
  CMainFrame* frame = settledInModeZero();
  ASSERT_NE(frame, nullptr);
  const QRect home = frame->geometry();
  // Widened by the user (on the side with room): that is its place now, narrowed only while
  // panels need the room.
  const QRect client = frame->screen()->availableGeometry().marginsRemoved(decorationsOf(frame));
  QRect widened = home.adjusted(0, 0, 120, 0);
  if (!client.contains(widened)) widened = home.adjusted(-120, 0, 0, 0);
  widened &= client;
  if (widened.width() <= home.width())
    GTEST_SKIP() << "the frame " << describe(home).toStdString() << " already fills the screen's width "
                 << describe(client).toStdString() << ": it cannot be widened";
  g_session.moveResize(frame->winId(), widened.x(), widened.y(), widened.width(), widened.height());
  ASSERT_TRUE(frameSettles(frame, widened)) << describe(frame->geometry()).toStdString();
  EXPECT_EQ(frame->homeGeometry(), widened);
  // What mode 0 makes of it, before and after a mode whose panels need more room.
  enterMode(frame, 0);
  ASSERT_TRUE(frameSettles(frame));
  const QRect ref = frame->geometry();
  enterMode(frame, 6, {{0}});
  ASSERT_TRUE(frameSettles(frame));
  expectLayout(frame, shownPanels());
  enterMode(frame, 0);
  EXPECT_TRUE(frameSettles(frame, ref)) << describe(frame->geometry()).toStdString() << " for "
                                        << describe(ref).toStdString();
  // Put back where start-up had it, for the cases after this one.
  g_session.moveResize(frame->winId(), home.x(), home.y(), home.width(), home.height());
  EXPECT_TRUE(frameSettles(frame, home));
}

// Enters the mode and checks that the frame went from where it stood straight to where it ends:
// every client rectangle it took on the way has the old or the new place and the old or the new
// size (the window system may give the place and the size apart).  The frame's rectangles before
// and after.
std::pair<QRect, QRect> switchChangingTheFrameOnce(CMainFrame* frame, int mode, std::vector<std::vector<int>> ids = {}) {
  std::vector<QRect> trail = {frame->geometry()};
  g_frameTrail = &trail;
  enterMode(frame, mode, std::move(ids));
  const bool settled = frameSettles(frame);
  g_frameTrail = nullptr;
  EXPECT_TRUE(settled) << "into mode " << mode;
  const QRect from = trail.front(), to = frame->geometry();
  QStringList seen;
  for (const QRect& r : trail) seen << describe(r);
  std::printf("into mode %d the frame went %s\n", mode, qPrintable(seen.join(QStringLiteral(" -> "))));
  for (const QRect& r : trail) {
    const bool place = r.topLeft() == from.topLeft() || r.topLeft() == to.topLeft();
    const bool size = r.size() == from.size() || r.size() == to.size();
    EXPECT_TRUE(place && size) << "into mode " << mode << " the frame went " << seen.join(QStringLiteral(" -> ")).toStdString();
  }
  return {from, to};
}

TEST(PanelsEndToEnd, AModeSwitchChangesTheFrameOnceByTheLeastMoveAndLeavesItWhereTheUserPutIt) {
  SKIP_WITHOUT_DISPLAY();
  CMainFrame* frame = settledInModeZero();
  ASSERT_NE(frame, nullptr);
  const QRect home = frame->geometry();
  const QRect avail = frame->screen()->availableGeometry();
  const QMargins deco = decorationsOf(frame);
  // Between modes that both need room (10, 6, 8: the frame narrows or moves for them), from the
  // frame's start-up place and from the screen's left edge; the modes that ask for a region first
  // hide the old panels while the chooser is open.  A mode entered again from the same place (10,
  // after mode 0 with its slice panes and after mode 6 without) puts the frame where it did before.
  const std::vector<int> modes = {10, 6, 10, 8, 3, 0};
  const char* const from[] = {"from the start-up place", "from the left edge", "from the right edge"};
  for (int run = 0; run < 3; ++run) {
    if (run > 0) {
      // At an edge a frame that must give room keeps that edge (narrowed in place) unless the
      // panels cover it anyway.
      const int x = run == 1 ? avail.left() + deco.left() : avail.right() - deco.right() - home.width() + 1;
      const QRect atEdge(x, home.y(), home.width(), home.height());
      g_session.moveResize(frame->winId(), atEdge.x(), atEdge.y(), atEdge.width(), atEdge.height());
      ASSERT_TRUE(frameSettles(frame, atEdge)) << describe(frame->geometry()).toStdString();
      EXPECT_TRUE(layoutSettles(frame));
    }
    const QRect start = frame->geometry();
    std::map<int, QRect> placeIn;
    for (int mode : modes) {
      SCOPED_TRACE(std::string(from[run]) + ", mode " + std::to_string(mode));
      switchChangingTheFrameOnce(frame, mode, {{0}});
      if (::testing::Test::HasFatalFailure()) return;
      expectLayout(frame, shownPanels());
      shotScreen(QStringLiteral("switch_%1_%2").arg(run).arg(mode, 2, 10, QLatin1Char('0')));
      bool covered = false;
      for (QWidget* p : shownPanels()) covered = covered || p->frameGeometry().intersects(frame->frameGeometry());
      const QRect now = frame->geometry();
      if (run == 1 && !covered) {
        EXPECT_EQ(now.left(), start.left()) << describe(now).toStdString();
      }
      if (run == 2 && !covered) {
        EXPECT_EQ(now.right(), start.right()) << describe(now).toStdString();
      }
      if (const auto before = placeIn.find(mode); before != placeIn.end()) {
        EXPECT_EQ(now, before->second) << describe(now).toStdString() << ", before " << describe(before->second).toStdString();
      }
      placeIn[mode] = now;
    }
  }
  // Put partly off the screen (past its left and bottom edges): the frame keeps its place through
  // the switches; where the panels need room beside it, it gives no more than that.
  const QRect off(avail.left() + deco.left() - 150, avail.bottom() + 1 - deco.top() - home.height() + 140, home.width(),
                  home.height());
  g_session.moveResize(frame->winId(), off.x(), off.y(), off.width(), off.height());
  ASSERT_TRUE(frameSettles(frame, off)) << "the window manager put it at " << describe(frame->geometry()).toStdString();
  EXPECT_TRUE(layoutSettles(frame));
  EXPECT_EQ(frame->geometry(), off) << "after the panels followed the user's move";
  // Mode 10 entered after a mode with the slice panes and after one without: the same place.
  std::map<int, QRect> placeIn;
  for (int mode : {10, 0, 6, 10, 3, 0}) {
    SCOPED_TRACE("partly off the screen, mode " + std::to_string(mode));
    switchChangingTheFrameOnce(frame, mode, {{0}});
    if (::testing::Test::HasFatalFailure()) return;
    const QRect now = frame->geometry();
    if (const auto before = placeIn.find(mode); before != placeIn.end()) {
      EXPECT_EQ(now, before->second) << describe(now).toStdString() << ", before " << describe(before->second).toStdString();
    }
    placeIn[mode] = now;
    QRect column;
    for (QWidget* p : shownPanels())
      if (!t_isFreePanel(p)) column |= p->frameGeometry();
    // Room for the column on the frame's right where it stands: it does not move.
    if (off.right() + deco.right() + kPanelColumnGap + column.width() <= avail.right()) {
      EXPECT_EQ(now, off) << describe(now).toStdString();
    }
    EXPECT_EQ(now.top(), off.top()) << describe(now).toStdString();
    EXPECT_EQ(now.height(), off.height()) << describe(now).toStdString();
    for (QWidget* p : shownPanels()) EXPECT_TRUE(avail.contains(p->frameGeometry())) << nameOf(p).toStdString();
    shotScreen(QStringLiteral("off_screen_%1").arg(mode, 2, 10, QLatin1Char('0')));
  }
  g_session.moveResize(frame->winId(), home.x(), home.y(), home.width(), home.height());
  EXPECT_TRUE(frameSettles(frame, home));
}

// Frame rectangles equal but for the pixel or two a panel's first decorations were guessed by.
::testing::AssertionResult nearlyAt(const QRect& a, const QRect& b) {
  if (std::abs(a.left() - b.left()) <= 2 && std::abs(a.top() - b.top()) <= 2 && std::abs(a.right() - b.right()) <= 2 &&
      std::abs(a.bottom() - b.bottom()) <= 2)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << describe(a).toStdString() << " for " << describe(b).toStdString();
}

TEST(PanelsEndToEnd, MaximisingPutsThePanelsBelowTheBarsAndRestoringGivesTheLayoutBack) {
  SKIP_WITHOUT_DISPLAY();
  auto* frame = qobject_cast<CMainFrame*>(e2e::shownFrame());
  ASSERT_NE(frame, nullptr);
  g_startUpOver = true;
  enterMode(frame, 0);
  ASSERT_TRUE(frameSettles(frame));
  const QRect before = frame->geometry();
  std::map<QWidget*, QRect> panelsBefore;
  for (QWidget* p : shownPanels()) panelsBefore[p] = p->frameGeometry();
  g_session.setMaximised(frame->winId(), true);
  ASSERT_TRUE(e2e::waitUntil([&] { return frame->isMaximized(); }, kWindowSystemMs));
  ASSERT_TRUE(frameSettles(frame));
  EXPECT_TRUE(layoutSettles(frame));
  shotScreen(QStringLiteral("maximised"));
  const QRect avail = frame->screen()->availableGeometry();
  const QRect bars = barsOf(frame);
  const std::vector<QWidget*> panels = shownPanels();
  EXPECT_EQ(panels.size(), panelsBefore.size());
  for (std::size_t i = 0; i < panels.size(); ++i) {
    const QRect r = panels[i]->frameGeometry();
    EXPECT_TRUE(avail.contains(r)) << nameOf(panels[i]).toStdString() << " at " << describe(r).toStdString();
    EXPECT_FALSE(r.intersects(bars)) << nameOf(panels[i]).toStdString() << " at " << describe(r).toStdString()
                                     << " over the bars " << describe(bars).toStdString();
    for (std::size_t j = i + 1; j < panels.size(); ++j) EXPECT_FALSE(r.intersects(panels[j]->frameGeometry()));
  }
  g_session.setMaximised(frame->winId(), false);
  ASSERT_TRUE(e2e::waitUntil([&] { return !frame->isMaximized(); }, kWindowSystemMs));
  EXPECT_TRUE(frameSettles(frame, before)) << describe(frame->geometry()).toStdString();
  e2e::waitUntil([&] {
    for (const auto& [p, r] : panelsBefore)
      if (!nearlyAt(p->frameGeometry(), r)) return false;
    return true;
  }, kWindowSystemMs);
  for (const auto& [p, r] : panelsBefore) EXPECT_TRUE(nearlyAt(p->frameGeometry(), r)) << nameOf(p).toStdString();
}

TEST(PanelsEndToEnd, CaptionsKeepTheirAmpersands) {
  SKIP_WITHOUT_DISPLAY();
  QMainWindow* frame = e2e::shownFrame();
  ASSERT_NE(frame, nullptr);
  // A caption's '&' is either doubled (shown as one) or a mnemonic at the start of a word; a label
  // without a buddy shows its text as it stands.
  auto check = [](const QString& text, const std::string& where, bool mnemonics) {
    for (int i = 0; i < text.size(); ++i) {
      if (text[i] != QLatin1Char('&')) continue;
      if (!mnemonics) {
        EXPECT_FALSE(i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) << where << ": \"" << text.toStdString() << "\"";
        continue;
      }
      if (i + 1 < text.size() && text[i + 1] == QLatin1Char('&')) {
        ++i;
        continue;
      }
      const bool wordStart = i == 0 || text[i - 1].isSpace() || text[i - 1] == QLatin1Char('(');
      const bool letter = i + 1 < text.size() && text[i + 1].isLetterOrNumber();
      EXPECT_TRUE(wordStart && letter) << where << ": \"" << text.toStdString() << "\"";
    }
  };
  int seen = 0;
  std::vector<QWidget*> windows = {frame};
  for (QWidget* w : QApplication::topLevelWidgets())
    if (isPanel(w)) windows.push_back(w);
  for (QWidget* w : windows) {
    for (QAction* a : w->findChildren<QAction*>()) check(a->text(), "action", true), ++seen;
    for (QMenu* m : w->findChildren<QMenu*>()) check(m->title(), "menu", true), ++seen;
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) check(b->text(), "button", true), ++seen;
    for (QGroupBox* g : w->findChildren<QGroupBox*>()) check(g->title(), "group box", true), ++seen;
    for (QLabel* l : w->findChildren<QLabel*>()) check(l->text(), "label", l->buddy() != nullptr), ++seen;
  }
  EXPECT_GT(seen, 300);
  // The one the user met.
  QAction* combined = frame->findChild<QAction*>(QStringLiteral("cmd_%1").arg(ID_EXPORT_COMBINED));
  ASSERT_NE(combined, nullptr);
  EXPECT_EQ(combined->iconText().toStdString(), "Export as Volume & Mask as Muxa (.muxa)");
}

// No leak check at exit: the GL driver's JIT code leaks blocks no suppression can name.
extern "C" int __lsan_is_turned_off() { return 1; }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  g_skip = g_session.start(KESTRIN_SCREEN_W, KESTRIN_SCREEN_H);
  if (!g_skip.empty()) return RUN_ALL_TESTS();
  g_colourPath = e2e::tempPath("panels_e2e_colour", ".tif");
  g_greyPath = e2e::tempPath("panels_e2e_grey", ".tif");
  {
    Image3D r(kW, kH, kD), g(kW, kH, kD), b(kW, kH, kD);
    for (int z = 0; z < kD; ++z)
      for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
          const int id = maskId(x, y, z);
          r.voxels[z][y][x] = 40 + 50 * id;
          g.voxels[z][y][x] = 30 + 40 * (id % 3);
          b.voxels[z][y][x] = 20 + 3 * x;
        }
    TTiffIO target(g_colourPath);
    if (!t_writeTiff(target, r, g, b, 255, 0, 8)) return 2;
  }
  if (!e2e::writeTiff16(g_greyPath, kW, kH, kD, [](int x, int y, int z) { return 200 + 300 * maskId(x, y, z) + 2 * x; }))
    return 2;
  const int rc = e2e::runProgram(argc, argv, {kStartsInColour ? g_colourPath : g_greyPath});
  std::remove(g_colourPath.c_str());
  std::remove(g_greyPath.c_str());
  g_session.stop();
  return rc;
}
