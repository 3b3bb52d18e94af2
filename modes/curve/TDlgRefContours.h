#pragma once
// The panel of the contour-refinement mode (mode id 13): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgRefContours : public TModePanel {
 public:
  TDlgRefContours() : TModePanel(QStringLiteral("Refinement Contours")) { setObjectName(QStringLiteral("TDlgRefContours")); resize(300, 200); }
};
