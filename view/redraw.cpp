// The one redraw helper every part of the program calls after changing what is shown.
#include "view/redraw.h"

#include "view/CKestrinView.h"
#include "view/SubPaneManager.h"

void t_redrawAll() {
  if (CKestrinView* v = CKestrinView::s_theView) v->requestRedraw();
  SubPaneManager::getInst().redrawAllPanes();
}
