#include "view/TDlgVisOrgCrs.h"

TDlgVisOrgCrs::TDlgVisOrgCrs(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("腎臓部切　断面可視化ツール"));
  // A modeless tool panel: the keyboard never closes it, the frame places it.
  setModal(false);
  setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
  hide();
}
