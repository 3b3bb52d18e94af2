#include "modes/region/TDlgSegGCut.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include "modes/region/StateSegGCut.h"
#include "view/redraw.h"

namespace {

StateSegGCut* mode() { return t_buildStateSegGCut(); }

constexpr int kSliderMax = 10000;
constexpr int kSliderStart = 1000;

}  // namespace

TDlgSegGCut::TDlgSegGCut() : TModePanel(QStringLiteral("Graph Cut")) {
  setObjectName(QStringLiteral("TDlgSegGCut"));
  auto* top = new QVBoxLayout(this);
  for (const char* help : {"Ctrl   + L-drag    : cut surface", "Shift +L/R-drag : add CP (fore/back)",
                           "Alt    + L-drag    : erase CPs"})
    top->addWidget(new QLabel(QString::fromUtf8(help), this));

  auto* param = new QGroupBox(QStringLiteral("parameter (E = E1 + a * E2)"), this);
  auto* prow = new QHBoxLayout(param);
  m_slider = new QSlider(Qt::Horizontal, param);
  m_slider->setObjectName(QStringLiteral("sliderParameter"));
  m_slider->setRange(0, kSliderMax);
  m_value = new QLineEdit(param);
  m_value->setObjectName(QStringLiteral("editParameter"));
  m_value->setReadOnly(true);
  m_value->setFixedWidth(70);
  prow->addWidget(m_slider, 1);
  prow->addWidget(m_value);
  top->addWidget(param);
  connect(m_slider, &QSlider::valueChanged, this, [this](int v) { m_value->setText(QString::number(v)); });

  auto* cut = new QPushButton(QStringLiteral("Graph Cut"), this);
  top->addWidget(cut);
  auto* voxel = new QGroupBox(this);
  auto* vrow = new QHBoxLayout(voxel);
  auto* voxelCut = new QPushButton(QStringLiteral("Graph Cut Voxel Level"), voxel);
  vrow->addWidget(voxelCut);
  for (int w = 1; w <= 3; ++w) {
    m_seam[w - 1] = new QRadioButton(QStringLiteral("seam width %1").arg(w), voxel);
    // Each radio checks itself and unchecks the other two.
    m_seam[w - 1]->setAutoExclusive(false);
    vrow->addWidget(m_seam[w - 1]);
    connect(m_seam[w - 1], &QRadioButton::clicked, this, [this, w] { onSeam(w); });
  }
  top->addWidget(voxel);

  auto* morph = new QHBoxLayout();
  auto* erode = new QPushButton(QStringLiteral("Erode Region"), this);
  auto* dilate = new QPushButton(QStringLiteral("Dilate Region"), this);
  morph->addWidget(erode);
  morph->addWidget(dilate);
  top->addLayout(morph);

  auto* cps = new QHBoxLayout();
  auto* eraseAll = new QPushButton(QStringLiteral("Erase All CPs"), this);
  m_showAll = new QCheckBox(QStringLiteral("Show All CPs"), this);
  cps->addWidget(eraseAll);
  cps->addWidget(m_showAll);
  top->addLayout(cps);

  auto* end = new QHBoxLayout();
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
  end->addWidget(finish);
  end->addWidget(cancel);
  top->addLayout(end);

  for (QPushButton* b : findChildren<QPushButton*>()) b->setAutoDefault(false);

  connect(cut, &QPushButton::clicked, this, [this] {
    mode()->runGraphCut(sliderPosition());
    t_redrawAll();
  });
  connect(voxelCut, &QPushButton::clicked, this, [this] {
    mode()->runGraphCutVoxelLevel(sliderPosition(), seamWidth());
    t_redrawAll();
  });
  connect(erode, &QPushButton::clicked, this, [] {
    mode()->erodeRegion();
    t_redrawAll();
  });
  connect(dilate, &QPushButton::clicked, this, [] {
    mode()->dilateRegion();
    t_redrawAll();
  });
  connect(eraseAll, &QPushButton::clicked, this, [] { mode()->eraseAllCtrlPoints(); });
  connect(m_showAll, &QCheckBox::clicked, this, [] { t_redrawAll(); });
  connect(finish, &QPushButton::clicked, this, [] { mode()->finish(); });
  connect(cancel, &QPushButton::clicked, this, [] { mode()->cancelSegmentation(); });

  resetControls();
}

void TDlgSegGCut::resetControls() {
  m_slider->setValue(kSliderStart);
  m_value->setText(QString::number(m_slider->value()));
  onSeam(1);
}

void TDlgSegGCut::updateControls() {
  showPanel();
  resetControls();
  m_showAll->setChecked(true);
}

void TDlgSegGCut::onSeam(int width) {
  for (int w = 1; w <= 3; ++w) m_seam[w - 1]->setChecked(w == width);
}

int TDlgSegGCut::sliderPosition() const { return m_slider->value(); }

int TDlgSegGCut::seamWidth() const {
  if (m_seam[0]->isChecked()) return 1;
  if (m_seam[1]->isChecked()) return 2;
  return 3;
}

bool TDlgSegGCut::isShowAllChecked() const { return m_showAll->isChecked(); }

QPushButton* TDlgSegGCut::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}
