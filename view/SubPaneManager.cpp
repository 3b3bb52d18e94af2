#include "view/SubPaneManager.h"

#include <cstdio>

SubPaneManager& SubPaneManager::getInst() {
  static SubPaneManager inst;
  return inst;
}

SubPaneManager::SubPaneManager() {
  fprintf(stderr, "constructor SubPaneManager---↓↓\n");
  arranged = true;
  fprintf(stderr, "constructor SubPaneManager FIN--↑↑\n");
}

void SubPaneManager::setPaneWidget(int planeId, TSubPane* pane, QWidget* widget) {
  if (planeId < 0 || planeId > 2) return;
  panes[planeId] = pane;
  m_widgets[planeId] = widget;
}

void SubPaneManager::redrawAllPanes() {
  for (auto& w : m_widgets) {
    if (!w) continue;
    // Repaint at once when on screen (a drag wants the new image before the next event).
    if (w->isVisible())
      w->repaint();
    else
      w->update();
  }
}
