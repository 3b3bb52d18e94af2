#include "ui/TDlgIntSelect.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <QLineEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

TDlgIntSelect::TDlgIntSelect(const std::string& label, int value, QWidget* parent)
    : QDialog(parent), m_label(label), m_value(value) {
  setWindowTitle(QStringLiteral("Integet Selection"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8(label.c_str()), this));
  m_spin = new QSpinBox(this);
  m_spin->setObjectName(QStringLiteral("valueSpin"));
  m_spin->setRange(0, 100);
  m_spin->setValue(value < 0 ? 0 : value > 100 ? 100 : value);
  connect(m_spin, &QSpinBox::valueChanged, this, [](int v) { std::fprintf(stderr, "aa %d\n", v); });
  layout->addWidget(m_spin);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("okButton"));
  buttons->addButton(QStringLiteral("キャンセル"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

int t_spinTypedValue(QSpinBox* spin) {
  // The spin refuses a typed number outside its range; the number is taken clamped instead.
  if (QLineEdit* e = spin->findChild<QLineEdit*>()) {
    const std::string t = e->text().trimmed().toStdString();
    char* end = nullptr;
    const long v = std::strtol(t.c_str(), &end, 10);
    if (!t.empty() && end && *end == '\0')
      return int(std::max<long>(spin->minimum(), std::min<long>(spin->maximum(), v)));
  }
  return spin->value();
}

void TDlgIntSelect::accept() {
  // A value typed into the field counts, clamped to 0..100.
  m_value = t_spinTypedValue(m_spin);
  m_spin->setValue(m_value);
  QDialog::accept();
}
