#pragma once
// Panel of the organ cross-section mode.  Built hidden with the mode; its controls come with the
// mode's surface building.
#include <QDialog>

class TDlgVisOrgCrs : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgVisOrgCrs(QWidget* parent = nullptr);
};
