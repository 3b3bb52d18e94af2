#include "ui/TDlgMaskManip.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Prompt.h"

#include "volume/TMaskIdTable.h"

namespace {

struct CellLook {
  QColor colour;
  bool used;
};

CellLook lookOf(int id) {
  const TMaskIdInfo& r = TMaskIdTable::getInst().records[id];
  return {QColor(r.color & 0xff, (r.color >> 8) & 0xff, (r.color >> 16) & 0xff), r.used != 0};
}

}  // namespace

TDlgMaskManip::TDlgMaskManip(const std::string& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Mask ID DLG"));
  setWindowFlags(windowFlags() & ~Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  m_title = new QLabel(QString::fromUtf8(title.c_str()), this);
  m_title->setObjectName(QStringLiteral("title"));
  layout->addWidget(m_title);
  auto* grid = new QGridLayout();
  grid->setSpacing(1);
  for (int id = 0; id < 256; ++id) {
    auto* b = new QPushButton(QString::number(id), this);
    b->setObjectName(QStringLiteral("cell_%1").arg(id));
    b->setFixedSize(24, 20);
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QPushButton::clicked, this, [this, id] { onCellClicked(id); });
    m_cells[id] = b;
    grid->addWidget(b, id / 16, id % 16);
    refreshCell(id);
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  m_buttons = buttons;
}

void TDlgMaskManip::setPanelMode() {
  m_panelMode = true;
  m_buttons->hide();
}

void TDlgMaskManip::refreshCells() {
  for (int id = 0; id < 256; ++id) refreshCell(id);
}

void TDlgMaskManip::accept() {
  if (!m_panelMode) QDialog::accept();
}

void TDlgMaskManip::reject() {
  if (!m_panelMode) QDialog::reject();
}

void TDlgMaskManip::showEvent(QShowEvent* e) {
  // The table may have changed while the cells were hidden.
  refreshCells();
  QDialog::showEvent(e);
}

void TDlgMaskManip::refreshCell(int id) {
  const CellLook look = lookOf(id);
  const bool framed = (pickMany && selection[id]) || id == currentId;
  const int grey = qGray(look.colour.rgb());
  m_cells[id]->setText(look.used ? QStringLiteral("%1✓").arg(id) : QString::number(id));
  m_cells[id]->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %2; border: %3; }")
                                 .arg(look.colour.name(), grey > 128 ? QStringLiteral("black") : QStringLiteral("cyan"),
                                      framed ? QStringLiteral("2px solid yellow") : QStringLiteral("1px solid blue")));
}

void TDlgMaskManip::onCellClicked(int id) {
  if (pickMany) {
    selection[id] = selection[id] ? 0 : 1;
  } else {
    const int prev = currentId;
    currentId = id;
    if (prev >= 0) refreshCell(prev);
  }
  refreshCell(id);
}

bool TDlgMaskManip::getSelectedIds(std::vector<unsigned char>& out) {
  pickMany = true;
  pickOne = false;
  for (unsigned char& s : selection) s = 0;
  refreshCells();
  if (exec() != QDialog::Accepted) return false;
  bool any = false;
  for (unsigned char s : selection) any = any || s;
  if (!any) {
    t_info("Please select at least single id\n");
    return false;
  }
  out.assign(selection, selection + 256);
  return true;
}

bool TDlgMaskManip::runPickOne(int& id) {
  pickOne = true;
  pickMany = false;
  const bool ok = exec() == QDialog::Accepted;
  id = currentId;
  return ok;
}

bool TDlgMaskIdChooser::pickMany(const std::string& title, std::vector<unsigned char>& selection) {
  TDlgMaskManip dlg(title);
  return dlg.getSelectedIds(selection);
}

bool TDlgMaskIdChooser::pickOne(const std::string& title, int& id) {
  TDlgMaskManip dlg(title);
  return dlg.runPickOne(id);
}
