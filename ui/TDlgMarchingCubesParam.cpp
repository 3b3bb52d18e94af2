#include "ui/TDlgMarchingCubesParam.h"

#include "ui/TDlgIntSelect.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TDlgMarchingCubesParam::TDlgMarchingCubesParam(int resolution, QWidget* parent)
    : QDialog(parent), samplingResolution(resolution) {
  setWindowTitle(QStringLiteral("Polygon Surface Param DLG"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  const char* labels[3] = {"Sampling Resolution", "Laplacian Smoothing △f=0", "Laplacian preserve smoothing △f=ni"};
  const char* names[3] = {"resolutionSpin", "smoothingSpin", "preserveSpin"};
  for (int i = 0; i < 3; ++i) {
    m_spins[i] = new QSpinBox(this);
    m_spins[i]->setObjectName(QString::fromLatin1(names[i]));
    form->addRow(QString::fromUtf8(labels[i]), m_spins[i]);
  }
  m_spins[0]->setRange(1, 5);
  m_spins[1]->setRange(0, 15);
  m_spins[2]->setRange(0, 15);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("okButton"));
  buttons->addButton(QStringLiteral("cancel"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void TDlgMarchingCubesParam::showEvent(QShowEvent* e) {
  // The positions come from the members as the caller left them (clamped to the ranges).
  m_spins[0]->setValue(samplingResolution);
  m_spins[1]->setValue(smoothingCount);
  m_spins[2]->setValue(preserveSmoothingCount);
  QDialog::showEvent(e);
}

void TDlgMarchingCubesParam::accept() {
  samplingResolution = t_spinTypedValue(m_spins[0]);
  smoothingCount = t_spinTypedValue(m_spins[1]);
  preserveSmoothingCount = t_spinTypedValue(m_spins[2]);
  QDialog::accept();
}
