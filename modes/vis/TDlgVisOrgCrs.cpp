#include "modes/vis/TDlgVisOrgCrs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const char* const kCaptions[TOrgCrsDisplay::Count] = {
    "臓器全体", "画像(全体)", "断面1mm", "断面2mm", "断面3mm", "断面4mm", "断面5mm",
    "画像1mm", "画像2mm", "画像3mm", "画像4mm", "画像5mm", "変形断面", "画像(変形面)",
    "エッジ(変形面)", "臓器内部", "血管", "血管(表面画像)", "腫瘍", "腫瘍(表面画像)"};

}  // namespace

TDlgVisOrgCrs::TDlgVisOrgCrs() : TModePanel(QString::fromUtf8("腎臓部切　断面可視化ツール")) {
  setObjectName(QStringLiteral("TDlgVisOrgCrs"));
  for (int b = 0; b < TOrgCrsDisplay::Count; ++b) {
    m_boxes[b] = new QCheckBox(QString::fromUtf8(kCaptions[b]), this);
    m_boxes[b]->setObjectName(QStringLiteral("orgBox%1").arg(b));
    connect(m_boxes[b], &QCheckBox::clicked, this, [this, b] { clicked(b); });
  }
  using D = TOrgCrsDisplay;
  auto* layout = new QVBoxLayout(this);

  auto* surfaces = new QGridLayout();
  surfaces->addWidget(m_boxes[D::Whole], 0, 0);
  surfaces->addWidget(m_boxes[D::ImgWhole], 0, 1);
  for (int k = 0; k < 5; ++k) {
    surfaces->addWidget(m_boxes[D::Cut1 + k], k + 1, 0);
    surfaces->addWidget(m_boxes[D::Img1 + k], k + 1, 1);
  }
  surfaces->addWidget(m_boxes[D::Interior], 6, 0);
  surfaces->addWidget(m_boxes[D::Vessel], 7, 0);
  surfaces->addWidget(m_boxes[D::VesselImg], 7, 1);
  surfaces->addWidget(m_boxes[D::Tumour], 8, 0);
  surfaces->addWidget(m_boxes[D::TumourImg], 8, 1);
  layout->addLayout(surfaces);

  auto* deform = new QGroupBox(QString::fromUtf8("変形メッシュ"), this);
  auto* dl = new QGridLayout(deform);
  dl->addWidget(m_boxes[D::Deform], 0, 0);
  dl->addWidget(m_boxes[D::ImgDeform], 0, 1);
  dl->addWidget(m_boxes[D::EdgeDeform], 1, 0);
  dl->addWidget(new QLabel(QStringLiteral("z-brush強さ"), deform), 2, 0);
  m_slider = new QSlider(Qt::Horizontal, deform);
  m_slider->setObjectName(QStringLiteral("orgBrushDepth"));
  m_slider->setRange(0, 100);
  m_slider->setValue(50);
  dl->addWidget(m_slider, 2, 1);
  m_reset = new QPushButton(QString::fromUtf8("初期化"), deform);
  m_reset->setObjectName(QStringLiteral("orgResetDeform"));
  dl->addWidget(m_reset, 3, 0);
  dl->addWidget(new QLabel(QString::fromUtf8("Shift+左ドラッグで変形"), deform), 3, 1);
  layout->addWidget(deform);
  connect(m_reset, &QPushButton::clicked, this, [this] {
    if (m_created && onResetDeform) onResetDeform();
  });

  TOrgCrsDisplay d;
  d.reset();
  writeBoxes(d);
  hide();
  m_created = true;
}

void TDlgVisOrgCrs::updateControls() {
  show();
  TOrgCrsDisplay d;
  d.reset();
  writeBoxes(d);
  m_slider->setRange(0, 100);
  m_slider->setValue(50);
}

TOrgCrsDisplay TDlgVisOrgCrs::display() const {
  TOrgCrsDisplay d;
  for (int b = 0; b < TOrgCrsDisplay::Count; ++b) d.on[b] = m_boxes[b]->isChecked();
  return d;
}

void TDlgVisOrgCrs::writeBoxes(const TOrgCrsDisplay& d) {
  m_updating = true;
  for (int b = 0; b < TOrgCrsDisplay::Count; ++b) m_boxes[b]->setChecked(d.on[b]);
  m_updating = false;
}

void TDlgVisOrgCrs::clicked(int b) {
  if (!m_created || m_updating) return;
  TOrgCrsDisplay d = display();
  d.click(b, m_boxes[b]->isChecked());
  writeBoxes(d);
  if (onDisplayChanged) onDisplayChanged();
}
