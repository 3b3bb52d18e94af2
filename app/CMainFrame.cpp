#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QMoveEvent>
#include <QProgressBar>
#include <QResizeEvent>
#include <QStatusBar>

#include <cstdio>

#include "core/ModeRegistry.h"
#include "core/TCore.h"
#include "core/TModeState.h"
#include "platform/Progress.h"
#include "platform/qt/QtProgressSink.h"
#include "view/SubPaneManager.h"

CMainFrame* g_mainFrame = nullptr;

const char* const g_progressCaptions[17] = {
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
};

CMainFrame::CMainFrame(QWidget* central) {
  g_mainFrame = this;
  setWindowTitle(QStringLiteral("Kestrin"));
  if (central) setCentralWidget(central);
  OnCreate();
  SubPaneManager::getInst().createDockWidgets(this);
}

CMainFrame::~CMainFrame() {
  removeProgressSink();
  if (g_mainFrame == this) g_mainFrame = nullptr;
}

void CMainFrame::OnCreate() {
  std::fprintf(stderr, "\n\n\nMFC MFC MFC MFC On Create MainFrm --------------↓↓↓↓↓↓↓↓\n");
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
  if (index >= 0 && index <= 16) m_caption->setText(QString::fromUtf8(g_progressCaptions[index]));
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

void CMainFrame::placeModeDialogs() {
  if (!created) return;
  // The restored rectangle, also when maximised.
  const QRect r = isMaximized() ? normalGeometry() : frameGeometry();
  // 75 pixels beyond the frame's right edge (QRect::right() is the last pixel column inside).
  const int x = r.x() + r.width() + 75;
  const int y = r.top();
  // The rendering panel's height, then the mode panels below it.
  int h = 0;
  const TCoreWiring& w = TCore::wiring();
  if (w.placeRenderingPanel) {
    h = w.placeRenderingPanel(x, y);
    if (h < 0) return;
  }
  for (TModeState* m : TModeRegistry::getInst().allModes()) m->placePanels(x, y + h);
}

void CMainFrame::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  placeModeDialogs();
}

void CMainFrame::closeEvent(QCloseEvent* e) {
  QMainWindow::closeEvent(e);
  // exit() rather than quit(): quit() asks every window to close first, and the panels refuse.
  QCoreApplication::exit(0);
}

void CMainFrame::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  placeModeDialogs();
}

std::string CMainFrame::captionText() const { return m_caption->text().toUtf8().toStdString(); }
int CMainFrame::progressValue() const { return m_progress->value(); }
