#pragma once
// The panel of the two-step contour-mesh mode (mode id 11): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegCMeshZel : public TModePanel {
 public:
  TDlgSegCMeshZel() : TModePanel(QStringLiteral("Contour Mesh (two steps)")) { setObjectName(QStringLiteral("TDlgSegCMeshZel")); resize(300, 200); }
};
