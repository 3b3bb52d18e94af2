#pragma once
// The panel of the seeded region-growing mode (mode id 7): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegSRG : public TModePanel {
 public:
  TDlgSegSRG() : TModePanel(QStringLiteral("Seeded Region Growing")) { setObjectName(QStringLiteral("TDlgSegSRG")); resize(300, 200); }
};
