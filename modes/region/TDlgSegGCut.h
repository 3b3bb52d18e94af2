#pragma once
// The panel of the graph-cut mode (mode id 8): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegGCut : public TModePanel {
 public:
  TDlgSegGCut() : TModePanel(QStringLiteral("Graph Cut")) { setObjectName(QStringLiteral("TDlgSegGCut")); resize(300, 200); }
};
