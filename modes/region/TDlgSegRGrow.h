#pragma once
// The panel of the threshold and region-growing mode (mode id 6): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegRGrow : public TModePanel {
 public:
  TDlgSegRGrow() : TModePanel(QStringLiteral("Region Growing")) { setObjectName(QStringLiteral("TDlgSegRGrow")); resize(300, 200); }
};
