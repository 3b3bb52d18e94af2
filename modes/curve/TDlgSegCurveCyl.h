#pragma once
// The panel of the curved-cylinder mode (mode id 9): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegCurveCyl : public TModePanel {
 public:
  TDlgSegCurveCyl() : TModePanel(QStringLiteral("Curved Cylinder")) { setObjectName(QStringLiteral("TDlgSegCurveCyl")); resize(300, 200); }
};
