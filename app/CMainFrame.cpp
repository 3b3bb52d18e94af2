#include "app/CMainFrame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDockWidget>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMoveEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QWindowStateChangeEvent>
#include <QToolBar>

#include <algorithm>
#include <cstdio>

#include "ui/TDlgResampleVolPitch.h"
#include "volume/volume_export.h"
#include "ui/panel_window.h"
#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/TModeState.h"
#include "core/file_kinds.h"
#include "platform/Progress.h"
#include "platform/Prompt.h"
#include "platform/qt/QtProgressSink.h"
#include "platform/qt/modal_dialog.h"

CMainFrame* g_mainFrame = nullptr;

static_assert(kExportProgressCaption < kProgressCaptionCount, "the exports' caption is in the table");

const char* const g_progressCaptions[kProgressCaptionCount] = {
    "TEST TEST TEST",
    "On load file",
    "On Save Mask",
    "On Load Mask",
    "On update Win Lv",
    "GraphCut (Load PreComp)",
    "GraphCut (Watershed segm)",
    "GraphCut (Construct Graph)",
    "Compute GraphCut",
    "CurveCyl Extract voxels",
    "Remove Fiber Const",
    "On Generating Fiber",
    "Failed generation",
    "BHRBF:LU-factorization",
    "BHRBF:Compute Region",
    "BHRBF:Eliminate RB Mat",
    "ZEL用 領域計算中",
    // The region-growing modes' floods and thresholds.
    "Region Growing",
    // The organ cross-section mode's surfaces.
    "Organ Sections",
    // The volume, mask and combined-file exports (kExportProgressCaption).
    "On Export file",
};

const TModeCommand g_modeCommands[14] = {
    {32786, 0, "Vis Intensity"},
    {32787, 1, "Vis Intensity Grad"},
    {32788, 2, "Vis 2D transfer function"},
    {32789, 3, "Vis Mask"},
    {32790, 4, "Vis Orgran Cross Section (臓器の切断面表示)"},
    {32791, 5, "Segmentation Slice by Slice"},
    {32792, 6, "Segmentation Region Growing"},
    {32832, 7, "Segmentation Seeded Region Growing"},
    {32785, 8, "Segmentation Graph Cut"},
    {32793, 9, "Segmentation Curved Cylinder"},
    {32794, 10, "Segmentation Contour Mesh (B-HRBF)"},
    {32795, 11, "Segmentation Contour Mesh (輪郭線メッシュ 肛門管用)"},
    {32797, 12, "Refinement Slice by Slice"},
    {32796, 13, "Refinement Contours"},
};

namespace {

const char* const kF1 = "volume Files (*.sph;*.tif;*.muxa;*.traw3D_ss)|*.sph;*.tif;*.muxa;*.traw3D_ss||";
const char* const kF2 = "img slices (bmp,dcm 16bit raw)|*.bmp;*.dcm;*.raw||";
const char* const kF3 = "volume Files (*.sph;*.tif;*.muxa)|*.sph;*.tif;*.muxa||";
const char* const kF4 = "img slices (*.bmp;*.dcm)|*.bmp;*.dcm||";
const char* const kF5 = "kestrin mask file (*ksmask2;ksmask)|*.ksmask2;*.ksmask||";
const char* const kF6 = "kestrin mask file (*.ksmask2)|*.ksmask2||";
const char* const kF7 = "volume Files (*.tif)|*.tif||";
const char* const kF8 = "bmp file name (*bmp)|*.bmp||";
const char* const kF9 = "muxa data (image+mask) (*.muxa)|*.muxa||";
const char* const kF10 = "camera pos data (*.kscam)|*.kscam||";
const char* const kF11 = "camera transfunc data (*.kscamtf)|*.kscamtf||";
const char* const kF12 = "camera transfunc data (*kscam;*.kscamtf)|*kscam;*.kscamtf||";

std::string saveName(const char* filter, const char* ext) {
  const std::string path = t_prompts().saveFile("Save As", t_qtFilter(filter), std::string());
  if (path.empty()) return path;
  return ext ? t_withExtension(path, ext) : path;
}

}  // namespace

std::string t_qtFilter(const std::string& filter) {
  // "name|patterns|name|patterns||": the dialog shows the name and filters by the patterns.
  std::vector<std::string> parts;
  std::string cur;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    std::string patterns = parts[i + 1];
    std::replace(patterns.begin(), patterns.end(), ';', ' ');
    if (!out.empty()) out += ";;";
    // The dialog filters by the last bracketed group and shows the whole text: a name that ends
    // with its own patterns keeps them once, written the way the dialog reads them.
    std::string name = parts[i];
    const std::size_t open = name.rfind('(');
    if (open != std::string::npos && name.back() == ')') {
      std::string own = name.substr(open + 1, name.size() - open - 2);
      std::replace(own.begin(), own.end(), ';', ' ');
      if (own == patterns) {
        name.erase(open);
        while (!name.empty() && name.back() == ' ') name.pop_back();
      }
    }
    out += (name.empty() ? "(" : name + " (") + patterns + ")";
  }
  return out;
}

bool t_selectFile(const std::string& filter, std::string& path, std::string& ext) {
  const std::vector<std::string> names = t_prompts().openFiles("Open", t_qtFilter(filter), false);
  if (names.empty() || names[0].empty()) return false;
  path = names[0];
  ext = t_extensionOf(path);
  return true;
}

bool t_selectSliceFiles(const std::string& filter, std::vector<std::string>& paths, std::string& ext) {
  std::vector<std::string> names = t_prompts().openFiles("Open", t_qtFilter(filter), true);
  if (names.empty()) return false;
  auto last3 = [](const std::string& s) { return s.size() >= 3 ? s.substr(s.size() - 3) : s; };
  ext = last3(names[0]);
  for (const std::string& n : names)
    if (last3(n) != ext) {
      t_info("複数のファイルが混ざっています");
      return false;
    }
  // Byte order of the names is the slice order.
  std::sort(names.begin(), names.end());
  paths = names;
  return true;
}

CMainFrame::CMainFrame(QWidget* central) {
  g_mainFrame = this;
  setWindowTitle(QStringLiteral("Kestrin"));
  if (central) setCentralWidget(central);
  OnCreate();
}

CMainFrame::~CMainFrame() {
  // The panels go back to their makers, which delete them.
  if (t_panelOwner() == this) t_setPanelOwner(nullptr);
  removeProgressSink();
  if (g_mainFrame == this) g_mainFrame = nullptr;
}

void CMainFrame::OnCreate() {
  std::fprintf(stderr, "\n\n\nMFC MFC MFC MFC On Create MainFrm --------------↓↓↓↓↓↓↓↓\n");
  buildMenus();
  // Status bar: pane 1 the progress caption, pane 2 the bar, pane 3 "SCRL".
  m_caption = new QLabel(this);
  m_caption->setObjectName(QStringLiteral("progressCaption"));
  m_caption->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("CAPCAPCAPCAPCAPCAPCAPCAPCAP")));
  m_progress = new QProgressBar(this);
  m_progress->setObjectName(QStringLiteral("progressBar"));
  m_progress->setRange(0, 100);
  m_progress->setValue(0);
  m_progress->setTextVisible(false);
  m_progress->setFixedWidth(fontMetrics().horizontalAdvance(QStringLiteral("NUMNUMNUMNUMNUMNUM")));
  m_scrl = new QLabel(QStringLiteral("SCRL"), this);
  statusBar()->addPermanentWidget(m_caption);
  statusBar()->addPermanentWidget(m_progress);
  statusBar()->addPermanentWidget(m_scrl);
  m_caption->setText(QStringLiteral("Ready---------"));
  created = true;
  std::fprintf(stderr, "MFC MFC MFC MFC On Create MainFrm --------------↑↑↑↑↑↑↑↑↑↑\n\n\n");
}

void CMainFrame::setPaneColours(const char* textColour, const char* captionBack, const char* barBack) {
  m_caption->setStyleSheet(QStringLiteral("QLabel { color: %1; background-color: %2; }")
                               .arg(QLatin1String(textColour), QLatin1String(captionBack)));
  m_progress->setStyleSheet(QStringLiteral("QProgressBar { color: %1; background-color: %2; }")
                                .arg(QLatin1String(textColour), QLatin1String(barBack)));
}

int CMainFrame::OnMyProgressStart(int index, int percent) {
  setPaneColours("rgb(0,255,0)", "rgb(0,0,128)", "rgb(200,200,200)");
  std::fprintf(stderr, "OnMyProgressStart %d\n", index);
  m_progress->setValue(percent);
  if (index >= 0 && index < kProgressCaptionCount) m_caption->setText(QString::fromUtf8(g_progressCaptions[index]));
  // Callers on this thread are in the middle of long work: show the change now.
  m_caption->repaint();
  m_progress->repaint();
  return 0;
}

int CMainFrame::OnMyProgressStep(int percent) {
  std::fprintf(stderr, "Pro%d  ", percent);
  m_progress->setValue(percent);
  m_progress->repaint();
  return 0;
}

int CMainFrame::OnMyProgressEnd() {
  // The green text stays; the backgrounds go grey.
  setPaneColours("rgb(0,255,0)", "rgb(172,172,172)", "rgb(172,172,172)");
  m_caption->setText(QStringLiteral("-----Ready----"));
  m_progress->setValue(0);
  m_caption->repaint();
  m_progress->repaint();
  return 0;
}

void CMainFrame::installProgressSink() {
  if (m_sink) return;
  m_sink = std::make_unique<TQtProgressSink>(
      this, [this](int index, int percent) { OnMyProgressStart(index, percent); },
      [this](int percent) { OnMyProgressStep(percent); }, [this] { OnMyProgressEnd(); });
  t_setProgressSink(m_sink.get());
}

void CMainFrame::removeProgressSink() {
  if (!m_sink) return;
  t_setProgressSink(nullptr);
  m_sink.reset();
}

void CMainFrame::placeModeDialogs() { layoutPanels(nullptr, true); }

namespace {

// The natural frame sizes of the column's panels, in its order.
std::vector<QSize> frameSizes(const std::vector<QWidget*>& panels) {
  std::vector<QSize> sizes;
  for (QWidget* p : panels) sizes.push_back(t_panelFrameSize(p, QRect()));
  return sizes;
}

// A geometry request's answer may come back from the window system in steps (position and size
// apart); within this time such steps are taken for the request's own.
constexpr qint64 kRequestSettleMs = 1500;

}  // namespace

QMargins CMainFrame::decorationsAt(const QRect& client, const QRect& avail) const {
  const QMargins real = t_windowDecorations(this);
  // Where the real frame stands inside the screen, the reckoned one does too: a frame the user put
  // against an edge is not pushed off it.
  QMargins d = t_reckonedDecorations(this);
  if (client.left() - real.left() >= avail.left()) d.setLeft(std::min(d.left(), client.left() - avail.left()));
  if (client.top() - real.top() >= avail.top()) d.setTop(std::min(d.top(), client.top() - avail.top()));
  if (client.right() + real.right() <= avail.right()) d.setRight(std::min(d.right(), avail.right() - client.right()));
  if (client.bottom() + real.bottom() <= avail.bottom())
    d.setBottom(std::min(d.bottom(), avail.bottom() - client.bottom()));
  return d;
}

int CMainFrame::barsHeight() const {
  int bottom = 0;
  if (QWidget* bar = menuWidget(); bar && !bar->isHidden())
    bottom = std::max(bottom, isVisible() ? bar->geometry().bottom() + 1 : bar->sizeHint().height());
  if (m_toolBar && !m_toolBar->isHidden() && toolBarArea(m_toolBar) == Qt::TopToolBarArea) {
    const int below = isVisible() ? m_toolBar->geometry().bottom() + 1 : bottom + m_toolBar->sizeHint().height();
    bottom = std::max(bottom, below);
  }
  return t_reckonedDecorations(this).top() + bottom;
}

void CMainFrame::layoutPanels(QWidget* showing, bool mayMoveMain) {
  if (!created || m_layingOut) return;
  QScreen* sc = screen();
  if (!sc) return;
  // A move or resize of the user's not yet looked at is the frame's place from now on.
  if (m_userMoveTimer && m_userMoveTimer->isActive()) takeUserPlace();
  if (m_home.isNull()) m_home = geometry();
  TPanelLayoutRequest q;
  q.avail = sc->availableGeometry();
  q.maximised = isMaximized() || isFullScreen();
  // A hidden frame (not yet shown) is not moved by its panels.
  q.mayMoveMain = mayMoveMain && isVisible();
  const QRect base = q.mayMoveMain ? m_home : geometry();
  const QMargins deco = decorationsAt(base, q.avail);
  q.home = q.maximised ? frameGeometry() : base.marginsAdded(deco);
  q.barsHeight = barsHeight();
  // The view where the frame's own layout puts it now: hiding the slice panes (a mode switch) only
  // asks for that layout, which else comes after the panels were placed.
  if (QLayout* l = layout()) l->activate();
  const QRect view = t_ownerView(this), frame = q.maximised ? frameGeometry() : geometry().marginsAdded(t_reckonedDecorations(this));
  if (!view.isEmpty())
    q.viewInset = QMargins(view.left() - frame.left(), view.top() - frame.top(), frame.right() - view.right(),
                           frame.bottom() - view.bottom());
  q.scrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  const std::vector<QWidget*> panels = t_isFreePanel(showing) ? t_columnPanels() : t_columnPanels({showing});
  q.panels = frameSizes(panels);
  // The window level, while shown, is laid out with the rest; each opening finds a place anew.
  QWidget* free = t_isFreePanel(showing) ? showing : nullptr;
  if (!free)
    if (const std::vector<QWidget*> shown = t_shownFreePanels(); !shown.empty()) free = shown.front();
  if (free) {
    q.freeSize = t_panelFrameSize(free, QRect());
    if (free != showing) {
      q.freeAt = t_panelFrame(free);
      q.freeMovedByUser = t_panelMovedByUser(free);
      // Restored: it goes back where it stood before the frame was maximised.
      if (!q.maximised && !m_freeBeforeMaximised.isNull()) {
        q.freeAt = m_freeBeforeMaximised;
        q.freeMovedByUser = m_freeMovedBeforeMaximised;
      }
    }
  }
  if (!q.maximised) m_freeBeforeMaximised = QRect();
  const TPanelLayout layout = t_layoutPanels(q);
  m_layingOut = true;
  // A panel shown in the middle of a mode switch: the frame moves once, when the switch lays out.
  const bool switching = showing && t_panelLayoutHeld();
  if (!q.maximised && q.mayMoveMain && !switching && layout.mainFrame.marginsRemoved(deco) != geometry())
    setClientRect(layout.mainFrame.marginsRemoved(deco));
  for (std::size_t i = 0; i < panels.size(); ++i) t_setPanelFrame(panels[i], layout.panels[i]);
  if (free && (free == showing || layout.freePanel != t_panelFrame(free))) t_setPanelFrame(free, layout.freePanel);
  m_layingOut = false;
}

void CMainFrame::setClientRect(const QRect& client) {
  m_beforeRequest = geometry();
  m_requested = client;
  m_requestedAt = QDateTime::currentMSecsSinceEpoch();
  setGeometry(client);
}

void CMainFrame::placeAtStartUp(QSize clientSize, QMargins decorations, const std::vector<const QWidget*>& panels) {
  // Reckoned with by the frame and the panels until the window manager has drawn larger ones.
  t_setPanelDecorationsFloor(decorations);
  QScreen* sc = screen();
  if (!sc) {
    resize(clientSize);
    m_home = geometry();
    return;
  }
  const QRect avail = sc->availableGeometry();
  // The frame fits the screen, its decorations included.
  const QSize outer(std::min(clientSize.width() + decorations.left() + decorations.right(), avail.width()),
                    std::min(clientSize.height() + decorations.top() + decorations.bottom(), avail.height()));
  TPanelLayoutRequest q;
  q.avail = avail;
  q.panels = frameSizes(t_columnPanels(panels));
  q.barsHeight = barsHeight();
  q.scrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  // The frame and the column together, centred on the screen where they fit.
  const int group = outer.width() + kPanelColumnGap + t_panelColumnsWidth(avail, q.panels);
  const int x = avail.x() + std::max(0, (avail.width() - group) / 2);
  const int y = avail.y() + std::max(0, (avail.height() - outer.height()) / 2);
  q.home = QRect(QPoint(x, y), outer);
  m_home = q.home.marginsRemoved(decorations);
  const TPanelLayout layout = t_layoutPanels(q);
  setClientRect(layout.mainFrame.marginsRemoved(decorations));
}

bool CMainFrame::requestedGeometry(const QRect& g) const {
  if (g == m_requested) return true;
  // The window system giving the frame back its place after a maximising.
  if (QDateTime::currentMSecsSinceEpoch() - m_restoredAt <= kRequestSettleMs) return true;
  // The answer to the last request, still arriving in steps.
  if (QDateTime::currentMSecsSinceEpoch() - m_requestedAt > kRequestSettleMs) return false;
  const bool pos = g.topLeft() == m_requested.topLeft() || g.topLeft() == m_beforeRequest.topLeft();
  const bool size = g.size() == m_requested.size() || g.size() == m_beforeRequest.size();
  return pos && size;
}

void CMainFrame::geometryChanged() {
  if (!created || m_layingOut || !isVisible()) return;
  if (isMaximized() || isFullScreen()) {
    // The panels go over the maximised frame once its size is in.
    QTimer::singleShot(0, this, [this] { layoutPanels(nullptr, true); });
    return;
  }
  if (requestedGeometry(geometry())) return;
  // The user's move or resize (or the window manager's): looked at once it settles a little, when
  // a maximising has also told its state.
  if (!m_userMoveTimer) {
    m_userMoveTimer = new QTimer(this);
    m_userMoveTimer->setSingleShot(true);
    m_userMoveTimer->setInterval(100);
    connect(m_userMoveTimer, &QTimer::timeout, this, [this] { userPlacedFrame(); });
  }
  if (!m_userMoveTimer->isActive()) m_userMoveTimer->start();
}

bool CMainFrame::takeUserPlace() {
  if (m_userMoveTimer) m_userMoveTimer->stop();
  if (!isVisible() || isMaximized() || isFullScreen() || isMinimized() || requestedGeometry(geometry())) return false;
  m_home = geometry();
  m_requested = geometry();
  return true;
}

void CMainFrame::userPlacedFrame() {
  // The panels follow; the frame stays where the user put it.
  if (takeUserPlace()) layoutPanels(nullptr, false);
}

void CMainFrame::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  geometryChanged();
}

void CMainFrame::changeEvent(QEvent* e) {
  QMainWindow::changeEvent(e);
  if (e->type() != QEvent::WindowStateChange || !created) return;
  const auto* change = static_cast<QWindowStateChangeEvent*>(e);
  const bool wasFull = change->oldState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
  const bool isFull = windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen);
  if (wasFull == isFull) return;
  // Restored: the window system gives the frame back its place; the layout then starts from the
  // frame's own place again.  Maximised: the panels go over it.
  const std::vector<QWidget*> free = t_shownFreePanels();
  if (isFull && !free.empty()) {
    m_freeBeforeMaximised = t_panelFrame(free.front());
    m_freeMovedBeforeMaximised = t_panelMovedByUser(free.front());
  }
  QTimer::singleShot(0, this, [this] { layoutPanels(nullptr, true); });
  if (!isFull) {
    // Laid out again once the window system has given the frame its restored geometry.
    m_restoredAt = QDateTime::currentMSecsSinceEpoch();
    QTimer::singleShot(kRequestSettleMs / 3, this, [this] { layoutPanels(nullptr, true); });
  }
}

void CMainFrame::closeEvent(QCloseEvent* e) {
  QMainWindow::closeEvent(e);
  // exit() rather than quit(): quit() asks every window to close first, and the panels refuse.
  QCoreApplication::exit(0);
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  geometryChanged();
}

std::string CMainFrame::captionText() const { return m_caption->text().toUtf8().toStdString(); }
int CMainFrame::progressValue() const { return m_progress->value(); }

// ---- menus ----------------------------------------------------------------------------------

QAction* CMainFrame::addCommand(QMenu* menu, int id, const char* caption, void (CMainFrame::*handler)()) {
  auto* a = new QAction(QString::fromUtf8(caption), this);
  a->setData(id);
  a->setObjectName(QStringLiteral("cmd_%1").arg(id));
  connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  menu->addAction(a);
  m_actions[id] = a;
  m_order.push_back(id);
  return a;
}

void CMainFrame::buildMenus() {
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  addCommand(file, ID_LOAD_VOLUME, "Load Volume image (.tif .sph muxa)", &CMainFrame::OnLoadVolume);
  addCommand(file, ID_LOAD_SLICES, "Load Slice images (.dcm .bmp .raw)", &CMainFrame::OnLoadSlices);
  file->addSeparator();
  addCommand(file, ID_LOAD_2ND_CHANNEL, "Load 2nd channel (.tif .sph)", &CMainFrame::OnLoad2ndChannel);
  addCommand(file, ID_LOAD_2ND_CHANNEL_SLICES, "Load 2nd channel (slices)(.dcm .bmp)",
             &CMainFrame::OnLoad2ndChannelSlices);
  addCommand(file, ID_LOAD_3RD_CHANNEL, "Load 3rd channel (.tif .sph)", &CMainFrame::OnLoad3rdChannel);
  addCommand(file, ID_LOAD_3RD_CHANNEL_SLICES, "Load 3rd channel (slices) (.dcm .bmp)",
             &CMainFrame::OnLoad3rdChannelSlices);
  file->addSeparator();
  addCommand(file, ID_LOAD_MASK, "Load Mask data (.ksmask2; .ksmask)", &CMainFrame::OnLoadMask);
  addCommand(file, ID_SAVE_MASK, "Save Mask data (.ksmask2)", &CMainFrame::OnSaveMask);
  file->addSeparator();
  QMenu* exportVolume = file->addMenu(QStringLiteral("Export Volume"));
  addCommand(exportVolume, ID_EXPORT_TIF_MINMAX, "Export as Tif [min, max](.tif)", &CMainFrame::OnExportTifMinMax);
  addCommand(exportVolume, ID_EXPORT_TIF_255, "Export as Tif [0, 255](.tif)", &CMainFrame::OnExportTif255);
  addCommand(exportVolume, ID_EXPORT_BMP_SLICES, "Export as Bmp slices [0,255] (.bmp)", &CMainFrame::OnExportBmpSlices);
  QMenu* exportMask = file->addMenu(QStringLiteral("Export Mask or Region"));
  addCommand(exportMask, ID_EXPORT_MASK_TIF8, "Export Mask as 8bit Tif\u3000(.tif)", &CMainFrame::OnExportMaskTif8);
  addCommand(exportMask, ID_EXPORT_REGION_OBJ, "Export one region as Obj (.obj)", &CMainFrame::OnExportRegionObj);
  addCommand(exportMask, ID_EXPORT_REGION_STL, "Export one region as  Stl (.stl)", &CMainFrame::OnExportRegionStl);
  addCommand(exportMask, ID_EXPORT_COMBINED, "Export as Volume && Mask as Muxa (.muxa)", &CMainFrame::OnExportCombinedFile);
  addCommand(exportMask, ID_RESAMPLE_EXPORT, "Resample And export as tif (double)", &CMainFrame::OnResampleExport);
  QMenu* modes = file->addMenu(QStringLiteral("Mode Switch"));
  m_modeGroup = new QActionGroup(this);
  m_modeGroup->setExclusive(true);
  for (const TModeCommand& c : g_modeCommands) {
    auto* a = new QAction(QString::fromUtf8(c.caption), this);
    a->setData(c.id);
    a->setObjectName(QStringLiteral("cmd_%1").arg(c.id));
    a->setCheckable(true);
    m_modeGroup->addAction(a);
    const int modeId = c.modeId;
    connect(a, &QAction::triggered, this, [this, modeId] {
      // A mode switch changes the data a worker reads (target flags, flip): not while one runs.
      TCore::getInst().switchMode(modeId);
      updateCommandStates();
    });
    modes->addAction(a);
    m_actions[c.id] = a;
    m_order.push_back(c.id);
    if (c.modeId == 4 || c.modeId == 11) modes->addSeparator();
  }

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  QMenu* docking = view->addMenu(QStringLiteral("&Toolbars and Docking Windows"));
  connect(docking, &QMenu::aboutToShow, this, [this, docking] {
    docking->clear();
    // The frame's list of bars and panes (their toggle actions belong to the bars and panes).
    if (QMenu* list = createPopupMenu()) {
      for (QAction* a : list->actions()) docking->addAction(a);
      delete list;
    }
  });
  QAction* statusBarAction = view->addAction(QStringLiteral("&Status Bar"));
  statusBarAction->setCheckable(true);
  statusBarAction->setChecked(true);
  connect(statusBarAction, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  view->addSeparator();
  addCommand(view, ID_XY_SUBPANE, "XY sub pane", &CMainFrame::OnXySubPane)->setCheckable(true);
  addCommand(view, ID_YZ_SUBPANE, "YZ sub pane", &CMainFrame::OnYzSubPane)->setCheckable(true);
  addCommand(view, ID_ZX_SUBPANE, "ZX sub pane ", &CMainFrame::OnZxSubPane)->setCheckable(true);
  view->addSeparator();
  addCommand(view, ID_SUBPANE_ARRANGE1, "Sub Pane Arrange 1", &CMainFrame::OnSubPaneArrange1);
  addCommand(view, ID_SUBPANE_ARRANGE2, "Sub Pane Arrange 2", &CMainFrame::OnSubPaneArrange2);
  view->addSeparator();
  addCommand(view, ID_CAMERA_INIT, "Camera Init", &CMainFrame::OnCameraInit);

  QMenu* others = bar->addMenu(QStringLiteral("Others"));
  addCommand(others, ID_SAVE_CAMERA, "Save camera pos (.kscam)", &CMainFrame::OnSaveCamera);
  addCommand(others, ID_SAVE_CAMERA_TRANSFUNC, "Save camera and transfunc (.kscamtf)", &CMainFrame::OnSaveCameraTransFunc);
  addCommand(others, ID_LOAD_CAMERA_TRANSFUNC, "Load camera and transfunc (.kscam, .kscamtf)",
             &CMainFrame::OnLoadCameraTransFunc);
  others->addSeparator();
  addCommand(others, ID_CAM_ROT_X, "Cam Rot Around X", &CMainFrame::OnCamRotX);
  addCommand(others, ID_CAM_ROT_Y, "Cam Rot Around Y", &CMainFrame::OnCamRotY);
  addCommand(others, ID_CAM_ROT_Z, "Cam Rot Around Z", &CMainFrame::OnCamRotZ);
  others->addSeparator();
  addCommand(others, ID_CAM_XY_CROSSSEC_ANIM, "Cam XY CrosSec Anim", &CMainFrame::OnCamXyCrossSecAnim);
  addCommand(others, ID_MULTI_REGION_CLOSING, "Multiple Region Closing", &CMainFrame::OnMultiRegionClosing);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  addCommand(help, ID_APP_ABOUT, "&About Kestrin...", &CMainFrame::OnAppAbout);

  for (QMenu* m : {file, exportVolume, exportMask, modes, view, others})
    connect(m, &QMenu::aboutToShow, this, [this] { updateCommandStates(); });

  // Tool bar "Standard": the file commands used most.
  m_toolBar = addToolBar(QStringLiteral("Standard"));
  m_toolBar->setObjectName(QStringLiteral("Standard"));
  for (int id : {ID_LOAD_VOLUME, ID_LOAD_MASK, ID_SAVE_MASK, ID_CAMERA_INIT}) m_toolBar->addAction(m_actions[id]);
  updateCommandStates();
}

QAction* CMainFrame::action(int id) const {
  const auto it = m_actions.find(id);
  return it == m_actions.end() ? nullptr : it->second;
}

std::vector<int> CMainFrame::commandIds() const { return m_order; }

void CMainFrame::runCommand(int id) {
  updateCommandStates();
  if (QAction* a = action(id))
    if (a->isEnabled()) a->trigger();
}

QDockWidget* CMainFrame::paneDock(const char* caption) const {
  for (QDockWidget* d : findChildren<QDockWidget*>())
    if (d->windowTitle() == QLatin1String(caption)) return d;
  return nullptr;
}

void CMainFrame::updateCommandStates() {
  // The frame is built before the core: until the core exists no mode is current.
  const int modeId = TCore::exists() ? TCore::getInst().modeId : -1;
  const int channels = TCore::wiring().channelCount ? TCore::wiring().channelCount() : 1;
  auto enable = [this](int id, bool on) {
    if (QAction* a = action(id)) a->setEnabled(on);
  };
  enable(ID_LOAD_2ND_CHANNEL, channels == 1);
  enable(ID_LOAD_2ND_CHANNEL_SLICES, channels == 1);
  enable(ID_LOAD_3RD_CHANNEL, channels == 2);
  enable(ID_LOAD_3RD_CHANNEL_SLICES, channels == 2);
  const bool animated = modeId == 0 || modeId == 1 || modeId == 2 || modeId == 4;
  for (int id : {ID_CAM_ROT_X, ID_CAM_ROT_Y, ID_CAM_ROT_Z, ID_CAM_XY_CROSSSEC_ANIM}) enable(id, animated);
  const bool arranged = viewCommands.panesArranged ? viewCommands.panesArranged() : false;
  const std::pair<int, const char*> panes[3] = {{ID_XY_SUBPANE, "XY"}, {ID_YZ_SUBPANE, "YZ"}, {ID_ZX_SUBPANE, "ZX"}};
  for (const auto& p : panes) {
    QDockWidget* d = paneDock(p.second);
    enable(p.first, arranged && d);
    if (QAction* a = action(p.first)) a->setChecked(arranged && d && d->isVisible());
  }
  enable(ID_SUBPANE_ARRANGE1, arranged);
  enable(ID_SUBPANE_ARRANGE2, arranged);
  // The check mark follows the mode the core ended in (a fall-back lands on mode 3).
  for (const TModeCommand& c : g_modeCommands)
    if (QAction* a = action(c.id)) a->setChecked(modeId == c.modeId);
}

void CMainFrame::redrawAll() {
  if (viewCommands.redrawAll) viewCommands.redrawAll();
}

// ---- file commands ----------------------------------------------------------------------------

void CMainFrame::OnLoadVolume() {
  std::string path, ext;
  if (!t_selectFile(kF1, path, ext)) return;
  TCore::getInst().loadVolume(path);
  redrawAll();
}

void CMainFrame::OnLoadSlices() {
  std::vector<std::string> paths;
  std::string ext;
  if (!t_selectSliceFiles(kF2, paths, ext)) return;
  TCore::getInst().loadSlices(paths);
  redrawAll();
}

void CMainFrame::loadChannel(int channel) {
  std::string path, ext;
  if (!t_selectFile(kF3, path, ext)) return;
  TCore::getInst().loadChannelVolume(path, channel);
  redrawAll();
}

void CMainFrame::loadChannelSlices(int channel) {
  std::vector<std::string> paths;
  std::string ext;
  if (!t_selectSliceFiles(kF4, paths, ext)) return;
  TCore::getInst().loadChannelSlices(paths, channel);
  redrawAll();
}

void CMainFrame::OnLoad2ndChannel() { loadChannel(2); }
void CMainFrame::OnLoad2ndChannelSlices() { loadChannelSlices(2); }
void CMainFrame::OnLoad3rdChannel() { loadChannel(3); }
void CMainFrame::OnLoad3rdChannelSlices() { loadChannelSlices(3); }

void CMainFrame::OnLoadMask() {
  std::string path, ext;
  const bool chosen = t_selectFile(kF5, path, ext);
  // The mask display follows also a cancelled question (through the busy gate like any mode
  // switch), but not a refused load.
  if (!chosen)
    TCore::getInst().switchMode(3);
  else if (TCore::getInst().loadMask(path))
    TCore::getInst().setMode(3);
  redrawAll();
}

void CMainFrame::OnSaveMask() {
  const std::string path = saveName(kF6, "ksmask2");
  if (!path.empty()) TCore::getInst().saveMask(path);
}

void CMainFrame::OnExportTifMinMax() {
  const std::string path = saveName(kF7, "tif");
  if (!path.empty()) TCore::getInst().exportTifMinMax(path);
}

void CMainFrame::OnExportTif255() {
  const std::string path = saveName(kF7, "tif");
  if (!path.empty()) TCore::getInst().exportTif255(path);
}

void CMainFrame::OnExportBmpSlices() {
  std::string path = saveName(kF8, nullptr);
  if (path.empty()) return;
  if (t_extensionOf(path) == "bmp") path.resize(path.size() - 4);
  TCore::getInst().exportBmpSlices(path);
}

void CMainFrame::OnExportMaskTif8() {
  const std::string path = saveName(kF7, "tif");
  if (!path.empty()) TCore::getInst().exportMaskTif8(path);
}

void CMainFrame::OnExportRegionObj() { TCore::getInst().exportRegionMesh(0, -1); }
void CMainFrame::OnExportRegionStl() { TCore::getInst().exportRegionMesh(1, -1); }

void CMainFrame::OnExportCombinedFile() {
  const std::string path = saveName(kF9, "muxa");
  if (!path.empty()) TCore::getInst().exportCombinedFile(path);
}

void CMainFrame::OnResampleExport() {
  const std::string path = saveName(kF7, "tif");
  if (path.empty()) return;
  // Written as displayed: this export does not undo a z flip.
  double oldPitch[3] = {1, 1, 1};
  if (viewCommands.currentPitch) viewCommands.currentPitch(oldPitch);
  double newPitch[3] = {oldPitch[0], oldPitch[1], oldPitch[2]};
  TDlgResampleVolPitch dlg(oldPitch, newPitch, this);
  if (t_execModal(dlg) != QDialog::Accepted) return;
  dlg.getNewPitch(newPitch);
  if (viewCommands.resampleAndExport) viewCommands.resampleAndExport(path, oldPitch, newPitch);
}

// ---- panes and camera ---------------------------------------------------------------------------

void CMainFrame::toggleSubPane(const char* caption) {
  if (!viewCommands.panesArranged || !viewCommands.panesArranged()) return;
  QDockWidget* d = paneDock(caption);
  if (!d) return;
  d->setVisible(!d->isVisible());
  updateCommandStates();
}

void CMainFrame::OnXySubPane() { toggleSubPane("XY"); }
void CMainFrame::OnYzSubPane() { toggleSubPane("YZ"); }
void CMainFrame::OnZxSubPane() { toggleSubPane("ZX"); }

void CMainFrame::OnSubPaneArrange1() {
  if (viewCommands.arrangePanes1) viewCommands.arrangePanes1();
}

void CMainFrame::OnSubPaneArrange2() {
  if (viewCommands.arrangePanes2) viewCommands.arrangePanes2();
}

void CMainFrame::OnCameraInit() {
  if (viewCommands.panesArranged && viewCommands.panesArranged() && viewCommands.fitPanesToVolume)
    viewCommands.fitPanesToVolume();
  if (viewCommands.resetCamera) viewCommands.resetCamera();
  redrawAll();
}

void CMainFrame::OnSaveCamera() {
  const std::string path = saveName(kF10, "kscam");
  if (!path.empty() && !TCore::getInst().saveCamera(path.c_str()))
    t_warn("The camera file could not be written:\n" + path);
}

void CMainFrame::OnSaveCameraTransFunc() {
  const int m = TCore::getInst().modeId;
  if (m < 0 || m > 2) {
    t_info("this command is available only when visualization mode");
    return;
  }
  const std::string path = saveName(kF11, "kscamtf");
  if (!path.empty() && !TCore::getInst().saveCameraTransFunc(path.c_str()))
    t_warn("The camera file could not be written:\n" + path);
}

void CMainFrame::OnLoadCameraTransFunc() {
  std::string path, ext;
  if (!t_selectFile(kF12, path, ext)) return;
  if (ext == "kscam")
    TCore::getInst().loadCamera(path.c_str());
  else if (ext == "kscamtf")
    TCore::getInst().loadCameraTransFunc(path.c_str());
  updateCommandStates();
}

void CMainFrame::startAnimation(int kind) {
  if (viewCommands.startAnimation) viewCommands.startAnimation(kind);
}

void CMainFrame::OnCamRotX() { startAnimation(1); }
void CMainFrame::OnCamRotY() { startAnimation(2); }
void CMainFrame::OnCamRotZ() { startAnimation(3); }
void CMainFrame::OnCamXyCrossSecAnim() { startAnimation(4); }

void CMainFrame::OnMultiRegionClosing() { TCore::getInst().multiRegionClosing(); }

void CMainFrame::OnAppAbout() {
  t_info("Kestrin\nSegmentation and visualisation of 3-D volume images.", "About Kestrin");
}
