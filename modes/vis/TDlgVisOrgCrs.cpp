#include "modes/vis/TDlgVisOrgCrs.h"

TDlgVisOrgCrs::TDlgVisOrgCrs() : TModePanel(QString::fromUtf8("腎臓部切　断面可視化ツール")) {
  hide();
}
