#include "modes/region/TDlgSegFulManu.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "modes/region/StateSegFulManu.h"
#include "view/redraw.h"

TDlgSegFulManu::TDlgSegFulManu() : TModePanel(QStringLiteral("Slice By Slice Manipulation")) {
  setObjectName(QStringLiteral("TDlgSegFulManu"));
  auto* top = new QVBoxLayout(this);
  m_title = new QLabel(this);
  top->addWidget(m_title);

  auto* tool = new QGroupBox(QStringLiteral("Paint Tool"), this);
  auto* tl = new QVBoxLayout(tool);
  auto* radios = new QHBoxLayout();
  m_paint = new QCheckBox(QStringLiteral("Paint"), tool);
  m_lasso = new QCheckBox(QStringLiteral("Lasso"), tool);
  radios->addWidget(m_paint);
  radios->addWidget(m_lasso);
  tl->addLayout(radios);
  m_fixOther = new QCheckBox(QString::fromUtf8("Fix Other Region \n他領域を変化しない"), tool);
  tl->addWidget(m_fixOther);
  tl->addWidget(new QLabel(QStringLiteral("Shift+L-Drag Paint Region"), tool));
  tl->addWidget(new QLabel(QStringLiteral("Shift+R-Drag ERASE Region"), tool));
  top->addWidget(tool);

  auto* end = new QHBoxLayout();
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  auto* cancel = new QPushButton(QStringLiteral("Cancel "), this);
  end->addWidget(finish);
  end->addWidget(cancel);
  top->addLayout(end);
  for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);

  // Each tool box checks itself and unchecks the other.
  connect(m_paint, &QCheckBox::clicked, this, [this] { checkTool(true); });
  connect(m_lasso, &QCheckBox::clicked, this, [this] { checkTool(false); });
  connect(finish, &QPushButton::clicked, this, [] { StateSegFulManu::getInst()->finishSegmentation(); });
  connect(cancel, &QPushButton::clicked, this, [] { StateSegFulManu::getInst()->cancel(); });

  // Start values without showing the panel (panels are created hidden).
  setStartControls(false, 0);
}

void TDlgSegFulManu::checkTool(bool paint) {
  m_paint->setChecked(paint);
  m_lasso->setChecked(!paint);
}

void TDlgSegFulManu::resetControls(bool refinement, int targetId) {
  setStartControls(refinement, targetId);
  showPanel();
}

void TDlgSegFulManu::setStartControls(bool refinement, int targetId) {
  m_title->setText(refinement ? QString::fromUtf8("Refinement (領域修正) Mask ID = %1").arg(targetId)
                              : QString::fromUtf8("Segmentation (領域分割)"));
  checkTool(true);
  m_fixOther->setChecked(true);
  m_fixOther->show();
}

bool TDlgSegFulManu::isPaintChecked() const { return m_paint->isChecked(); }
bool TDlgSegFulManu::isFixOtherChecked() const { return m_fixOther->isChecked(); }

QPushButton* TDlgSegFulManu::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}
