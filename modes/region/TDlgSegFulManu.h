#pragma once
// The panel of the slice-by-slice painting and lasso mode (mode ids 5 and 12): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegFulManu : public TModePanel {
 public:
  TDlgSegFulManu() : TModePanel(QStringLiteral("Slice by Slice Segmentation")) { setObjectName(QStringLiteral("TDlgSegFulManu")); resize(300, 200); }
};
