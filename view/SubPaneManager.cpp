#include "view/SubPaneManager.h"

#include <QDockWidget>
#include <QList>
#include <QMainWindow>
#include <cstdio>

#include "view/TSubPane.h"

SubPaneManager& SubPaneManager::getInst() {
  static SubPaneManager inst;
  return inst;
}

SubPaneManager::SubPaneManager() {
  fprintf(stderr, "constructor SubPaneManager---↓↓\n");
  arranged = true;
  fprintf(stderr, "constructor SubPaneManager FIN--↑↑\n");
}

void SubPaneManager::createDockWidgets(QMainWindow* frame) {
  if (!frame || m_frame) return;
  m_frame = frame;
  for (unsigned i = 0; i < 3; ++i) {
    auto* pane = new TSubPane(i, frame);
    panes[i] = pane;
    frame->addDockWidget(Qt::LeftDockWidgetArea, pane, Qt::Vertical);
  }
}

void SubPaneManager::forgetPane(TSubPane* pane) {
  for (TSubPane*& p : panes)
    if (p == pane) p = nullptr;
  bool any = false;
  for (TSubPane* p : panes) any = any || p;
  if (!any) m_frame = nullptr;
}

void SubPaneManager::arrangePanes1() {
  if (!m_frame || !panes[0] || !panes[1] || !panes[2]) return;
  const int w = m_frame->frameGeometry().width();
  for (TSubPane* p : panes) {
    p->setFloating(false);
    p->show();
  }
  m_frame->addDockWidget(Qt::LeftDockWidgetArea, panes[1]);
  m_frame->addDockWidget(Qt::LeftDockWidgetArea, panes[0]);
  m_frame->addDockWidget(Qt::LeftDockWidgetArea, panes[2]);
  // XY above YZ, ZX below it.
  m_frame->splitDockWidget(panes[0], panes[1], Qt::Vertical);
  m_frame->splitDockWidget(panes[1], panes[2], Qt::Vertical);
  m_frame->resizeDocks({panes[0], panes[1], panes[2]}, {w / 3, w / 3, w / 3}, Qt::Horizontal);
  arranged = true;
  fitAllPanes();
}

void SubPaneManager::arrangePanes2() {
  if (!m_frame || !panes[0] || !panes[1] || !panes[2]) return;
  const int w = m_frame->frameGeometry().width(), h = m_frame->frameGeometry().height();
  for (TSubPane* p : panes) {
    p->setFloating(false);
    p->show();
  }
  m_frame->addDockWidget(Qt::LeftDockWidgetArea, panes[1]);
  m_frame->addDockWidget(Qt::LeftDockWidgetArea, panes[0]);
  m_frame->addDockWidget(Qt::TopDockWidgetArea, panes[2]);
  m_frame->splitDockWidget(panes[0], panes[1], Qt::Vertical);
  m_frame->resizeDocks({panes[0], panes[1]}, {w / 3, w / 3}, Qt::Horizontal);
  m_frame->resizeDocks({panes[0]}, {h / 3}, Qt::Vertical);
  arranged = true;
  fitAllPanes();
}

void SubPaneManager::showHiddenPanes() {
  bool shown = false;
  for (TSubPane* p : panes)
    if (p && p->isHidden()) {
      p->show();
      shown = true;
    }
  // The dock area gives re-shown panes what is left over (after a few switches one is only its
  // caption high): they get back the sizes they had when they were hidden.
  if (!shown || !m_frame) return;
  QList<QDockWidget*> docks;
  QList<int> widths, heights;
  for (int i = 0; i < 3; ++i)
    if (panes[i] && !panes[i]->isFloating() && m_keptSizes[i].isValid()) {
      docks << panes[i];
      widths << m_keptSizes[i].width();
      heights << m_keptSizes[i].height();
    }
  if (docks.isEmpty()) return;
  m_frame->resizeDocks(docks, heights, Qt::Vertical);
  m_frame->resizeDocks(docks, widths, Qt::Horizontal);
}

void SubPaneManager::hidePanes() {
  for (int i = 0; i < 3; ++i)
    if (panes[i] && panes[i]->isVisible() && !panes[i]->isFloating()) m_keptSizes[i] = panes[i]->size();
  for (TSubPane* p : panes)
    if (p) p->hide();
}

void SubPaneManager::fitAllPanes() {
  for (TSubPane* p : panes)
    if (p) p->fitCameraToVolume();
}

void SubPaneManager::zoomAllPanes(double factor) {
  for (TSubPane* p : panes)
    if (p) p->zoomBy(factor);
}

void SubPaneManager::redrawAllPanes() {
  // Coalesced: a drag's moves keep coming while a slow frame is drawn.
  for (TSubPane* p : panes)
    if (p) p->requestRedraw();
}

void SubPaneManager::setBackGrey(float g) {
  for (TSubPane* p : panes) {
    if (!p) continue;
    const float c[4] = {g, g, g, 0.5f};
    for (int i = 0; i < 4; ++i) p->togl.clearColor[i] = c[i];
  }
}
