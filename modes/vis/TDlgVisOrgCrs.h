#pragma once
// Panel of the organ cross-section mode.  Built hidden with the mode; its controls come with the
// mode's surface building.  A mode panel: the keyboard never closes it.
#include "ui/TModePanel.h"

class TDlgVisOrgCrs : public TModePanel {
  Q_OBJECT
 public:
  TDlgVisOrgCrs();
};
