#pragma once
// The panel of the contour-mesh mode (mode id 10): a modeless dialog owned by the mode, hidden
// until the mode is entered.  It carries no controls yet.
#include "app/TModePanel.h"

class TDlgSegContMesh : public TModePanel {
 public:
  TDlgSegContMesh() : TModePanel(QStringLiteral("Contour Mesh (B-HRBF)")) { setObjectName(QStringLiteral("TDlgSegContMesh")); resize(300, 200); }
};
