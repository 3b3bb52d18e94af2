#include "ui/TDlgResampleVolPitch.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "ui/edit_sync.h"

namespace {
int thousandths(double v) {
  const double t = std::trunc(v * 1000.0);
  if (!(t == t)) return 1;
  return t > 100000 ? 100000 : t < 1 ? 1 : static_cast<int>(t);
}
}  // namespace

TDlgResampleVolPitch::TDlgResampleVolPitch(const double oldPitch[3], const double newPitch[3], QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Resample"));
  for (int i = 0; i < 3; ++i) {
    m_old[i] = oldPitch[i];
    m_new[i] = newPitch[i];
  }
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout();
  grid->addWidget(new QLabel(QStringLiteral("old pitch \n (mm)"), this), 0, 0);
  grid->addWidget(new QLabel(QStringLiteral("New pitch \n (mm)"), this), 0, 3);
  const char* axes[3] = {"x:", "y:", "z:"};
  for (int i = 0; i < 6; ++i) {
    const int row = 1 + i % 3, col = i < 3 ? 0 : 3;
    m_edits[i] = new QLineEdit(this);
    m_edits[i]->setObjectName(QStringLiteral("pitchEdit%1").arg(i));
    m_spins[i] = new QSpinBox(this);
    m_spins[i]->setObjectName(QStringLiteral("pitchSpin%1").arg(i));
    m_spins[i]->setRange(1, 100000);
    m_spins[i]->setValue(thousandths(i < 3 ? m_old[i] : m_new[i - 3]));
    grid->addWidget(new QLabel(QString::fromLatin1(axes[i % 3]), this), row, col);
    grid->addWidget(m_edits[i], row, col + 1);
    grid->addWidget(m_spins[i], row, col + 2);
    // A typed pitch counts as soon as it parses ("0" of "0.5" is not rewritten under the
    // typing hand); the edit shows the pitch taken when editing ends.
    m_pairs[i] = new TEditPair(m_edits[i], m_spins[i], 3);
    m_pairs[i]->showPosition();
    m_pairs[i]->onTyped = [this](bool) { readBack(); };
    connect(m_spins[i], &QSpinBox::valueChanged, this, [this, i] { onSpinChanged(i); });
  }
  layout->addLayout(grid);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("okButton"));
  buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  m_created = true;
  readBack();
}

void TDlgResampleVolPitch::readBack() {
  for (int i = 0; i < 3; ++i) {
    m_old[i] = m_spins[i]->value() * 0.001;
    m_new[i] = m_spins[i + 3]->value() * 0.001;
  }
}

void TDlgResampleVolPitch::onSpinChanged(int i) {
  if (!m_created) return;
  m_pairs[i]->showPosition();
  readBack();
}

void TDlgResampleVolPitch::getOldPitch(double out[3]) const {
  for (int i = 0; i < 3; ++i) out[i] = m_old[i];
}

void TDlgResampleVolPitch::getNewPitch(double out[3]) const {
  for (int i = 0; i < 3; ++i) out[i] = m_new[i];
}
