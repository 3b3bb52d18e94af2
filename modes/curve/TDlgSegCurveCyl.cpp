#include "modes/curve/TDlgSegCurveCyl.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cstdio>

#include "modes/curve/StateSegCurveCyl.h"
#include "platform/Prompt.h"

namespace {
StateSegCurveCyl& mode() { return *StateSegCurveCyl::getInst(); }
}  // namespace

TDlgSegCurveCyl::TDlgSegCurveCyl() : TModePanel(QStringLiteral("Curved Cylinder")) {
  setObjectName(QStringLiteral("TDlgSegCurveCyl"));
  auto* top = new QVBoxLayout(this);

  m_newCurve = new QCheckBox(QString::fromUtf8("New Curve 作成開始"), this);
  top->addWidget(m_newCurve);

  auto* group = new QGroupBox(QStringLiteral("New Curve Option"), this);
  auto* g = new QVBoxLayout(group);
  auto* row = new QHBoxLayout();
  m_store = new QPushButton(QStringLiteral("Store Curve"), group);
  m_deleteNew = new QPushButton(QStringLiteral("Delete New Curve"), group);
  row->addWidget(m_store);
  row->addWidget(m_deleteNew);
  g->addLayout(row);
  auto* cand = new QHBoxLayout();
  cand->addWidget(new QLabel(QStringLiteral("Candidate"), group));
  const char* names[4] = {"placed order", "1", "2", "3"};
  for (int i = 1; i <= 3; ++i) {
    m_candidate[i] = new QCheckBox(QString::fromLatin1(names[i]), group);
    cand->addWidget(m_candidate[i]);
  }
  m_candidate[0] = new QCheckBox(QString::fromLatin1(names[0]), group);
  cand->addWidget(m_candidate[0]);
  g->addLayout(cand);
  auto* width = new QHBoxLayout();
  width->addWidget(new QLabel(QStringLiteral("Width"), group));
  m_slider = new QSlider(Qt::Horizontal, group);
  m_slider->setObjectName(QStringLiteral("widthSlider"));
  m_slider->setRange(0, 1000);
  width->addWidget(m_slider);
  g->addLayout(width);
  auto* opt = new QHBoxLayout();
  m_optPoints = new QPushButton(QStringLiteral("optimize inter-CPs"), group);
  m_optWidth = new QPushButton(QStringLiteral("optimize Width"), group);
  opt->addWidget(m_optPoints);
  opt->addWidget(m_optWidth);
  g->addLayout(opt);
  top->addWidget(group);

  m_deleteAll = new QPushButton(QStringLiteral("Delete All Curve"), this);
  top->addWidget(m_deleteAll);
  auto* end = new QHBoxLayout();
  m_cancel = new QPushButton(QStringLiteral("cancel"), this);
  m_finish = new QPushButton(QStringLiteral("Finish"), this);
  end->addWidget(m_cancel);
  end->addWidget(m_finish);
  top->addLayout(end);

  connect(m_newCurve, &QCheckBox::clicked, this, [this] { onGenNewCurve(); });
  connect(m_store, &QPushButton::clicked, this, [this] { onStoreNewCurve(); });
  connect(m_deleteNew, &QPushButton::clicked, this, [this] { onDeleteNewCurve(); });
  for (int i = 0; i < 4; ++i) connect(m_candidate[i], &QCheckBox::clicked, this, [this, i] { onCandidate(i); });
  connect(m_slider, &QSlider::valueChanged, this, [this](int v) { onSlider(v); });
  connect(m_optPoints, &QPushButton::clicked, this, [] { t_info("todo"); });
  connect(m_optWidth, &QPushButton::clicked, this, [] { t_info("todo"); });
  connect(m_deleteAll, &QPushButton::clicked, this, [this] { onDeleteAll(); });
  connect(m_cancel, &QPushButton::clicked, this, [] { mode().cancelSegmentation(); });
  connect(m_finish, &QPushButton::clicked, this, [] { mode().finishSegmentation(); });

  checkCandidate(1);
  enableControls();
}

QPushButton* TDlgSegCurveCyl::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

bool TDlgSegCurveCyl::isEditing() const { return m_newCurve->isChecked(); }

void TDlgSegCurveCyl::setEditing(bool on) {
  const QSignalBlocker block(m_newCurve);
  m_newCurve->setChecked(on);
}

void TDlgSegCurveCyl::checkCandidate(int selected) {
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker block(m_candidate[i]);
    m_candidate[i]->setChecked(i == selected);
  }
}

void TDlgSegCurveCyl::updateControls(double minRadius, double maxRadius) {
  m_minRadius = minRadius;
  m_maxRadius = maxRadius;
  showPanel();
  {
    const QSignalBlocker block(m_slider);
    m_slider->setRange(0, 1000);
    m_slider->setValue(0);
  }
  setEditing(false);
  checkCandidate(1);
  enableControls();
}

void TDlgSegCurveCyl::enableControls() {
  const bool editing = isEditing();
  m_cancel->setEnabled(true);
  m_finish->setEnabled(true);
  m_deleteAll->setEnabled(true);
  m_newCurve->setEnabled(!editing);
  for (QCheckBox* c : m_candidate) c->setEnabled(editing);
  m_store->setEnabled(editing);
  m_deleteNew->setEnabled(editing);
  m_optPoints->setEnabled(editing);
  m_optWidth->setEnabled(editing);
  m_slider->setEnabled(editing);
}

void TDlgSegCurveCyl::startStoredCurveEditing(double radius, int selected) {
  if (isEditing()) {
    std::fprintf(stderr, "strange error at TDlgSegCurveCyl::startStoredCurveEditing\n");
    return;
  }
  setEditing(true);
  checkCandidate(selected >= 0 && selected <= 3 ? selected : 1);
  const double span = m_maxRadius - m_minRadius;
  int pos = span > 0 ? static_cast<int>((radius - m_minRadius) / span * 1000) : 0;
  pos = pos < 0 ? 0 : pos > 1000 ? 1000 : pos;
  {
    const QSignalBlocker block(m_slider);
    m_slider->setValue(pos);
  }
  enableControls();
}

void TDlgSegCurveCyl::onGenNewCurve() {
  if (!isEditing()) {
    std::fprintf(stderr, "error OnBnClickedCheckCcylGennewcurve\n");
    return;
  }
  checkCandidate(1);
  {
    const QSignalBlocker block(m_slider);
    m_slider->setValue(0);
  }
  mode().beginNewCurve(m_minRadius);
  enableControls();
}

void TDlgSegCurveCyl::onStoreNewCurve() {
  if (!isEditing()) {
    std::fprintf(stderr, "error OnBnClickedButtonCcylStorenewcurve\n");
    return;
  }
  mode().storeNewCurve();
  setEditing(false);
  enableControls();
}

void TDlgSegCurveCyl::onDeleteNewCurve() {
  if (!isEditing()) {
    std::fprintf(stderr, "error OnBnClickedButtonCcylDelnewcurve\n");
    return;
  }
  mode().deleteNewCurve();
  setEditing(false);
  enableControls();
}

void TDlgSegCurveCyl::onCandidate(int selected) {
  // Boxes 1-3 then "placed order": the console names them 1-4.
  if (!isEditing()) {
    std::fprintf(stderr, "error OnBnClickedCheckCcylCandidate%d\n", selected == 0 ? 4 : selected);
    checkCandidate(mode().newCurve().selected);
    return;
  }
  checkCandidate(selected);
  mode().selectCandidate(selected);
}

void TDlgSegCurveCyl::onSlider(int position) {
  if (!isEditing()) return;
  mode().setNewCurveRadius(m_minRadius + (m_maxRadius - m_minRadius) * position * 0.001);
}

void TDlgSegCurveCyl::onDeleteAll() {
  if (!t_askYesNo("Remove All Curved Cylinders?")) return;
  mode().deleteAllCurves();
  setEditing(false);
  enableControls();
}
