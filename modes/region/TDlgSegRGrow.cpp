#include "modes/region/TDlgSegRGrow.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <string>

#include "modes/region/StateSegRGrow.h"
#include "platform/Prompt.h"
#include "ui/edit_sync.h"
#include "view/redraw.h"

namespace {

// A spin range end computed in double, kept inside int (volumes of floats can hold values far
// beyond what ten times the value fits in).
int clampPosition(double v) {
  if (!(v == v)) return 0;
  return static_cast<int>(std::clamp(v, -2147483647.0, 2147483647.0));
}

StateSegRGrow* mode() { return StateSegRGrow::getInst(); }

}  // namespace

TDlgSegRGrow::TDlgSegRGrow() : TModePanel(QStringLiteral("Region Growing & Thresholding ")) {
  setObjectName(QStringLiteral("TDlgSegRGrow"));
  auto* top = new QVBoxLayout(this);

  // Threshold rows: label, MIN edit and spin, MAX edit and spin.
  auto* thr = new QGroupBox(QStringLiteral("Threshold"), this);
  auto* grid = new QGridLayout(thr);
  grid->addWidget(new QLabel(QStringLiteral("MIN"), thr), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("MAX"), thr), 0, 3);
  const char* names[kSpinCount] = {"Ch1Min", "Ch2Min", "Ch3Min", "GradMin", "Ch1Max",
                                   "Ch2Max", "Ch3Max", "GradMax", "Radius", "ShapeCoef"};
  for (int s = 0; s < kSpinCount; ++s) {
    m_edit[s] = new QLineEdit(this);
    m_edit[s]->setObjectName(QStringLiteral("edit") + QLatin1String(names[s]));
    m_edit[s]->setFixedWidth(80);
    m_spin[s] = new QSpinBox(this);
    m_spin[s]->setObjectName(QStringLiteral("spin") + QLatin1String(names[s]));
  }
  const char* rowTexts[4] = {"ch1", "ch2", "ch3", "grad"};
  for (int row = 0; row < 4; ++row) {
    auto* label = new QLabel(QString::fromLatin1(rowTexts[row]), thr);
    if (row < 3) m_rowLabel[row] = label;
    grid->addWidget(label, row + 1, 0);
    grid->addWidget(m_edit[row], row + 1, 1);
    grid->addWidget(m_spin[row], row + 1, 2);
    grid->addWidget(m_edit[row + 4], row + 1, 3);
    grid->addWidget(m_spin[row + 4], row + 1, 4);
  }
  m_rgb = new QRadioButton(QStringLiteral("RGB"), thr);
  m_hsv = new QRadioButton(QStringLiteral("HSV"), thr);
  m_rgb->setAutoExclusive(false);
  m_hsv->setAutoExclusive(false);
  grid->addWidget(m_rgb, 5, 1);
  grid->addWidget(m_hsv, 5, 3);
  auto* runThreshold = new QPushButton(QStringLiteral("Run Threshold"), thr);
  grid->addWidget(runThreshold, 6, 0, 1, 5);
  top->addWidget(thr);

  // Region growing from the control points.
  auto* grow = new QGroupBox(QStringLiteral("Region Grow   ( RGB color space )"), this);
  auto* g = new QGridLayout(grow);
  g->addWidget(new QLabel(QStringLiteral("|| vi - v0 || < r : "), grow), 0, 0);
  g->addWidget(m_edit[kRadius], 0, 1);
  g->addWidget(m_spin[kRadius], 0, 2);
  auto* rg8 = new QPushButton(QStringLiteral("Region Grow 8"), grow);
  auto* rg26 = new QPushButton(QStringLiteral("Region Grow 26"), grow);
  g->addWidget(rg8, 1, 0);
  g->addWidget(rg26, 1, 1, 1, 2);
  g->addWidget(new QLabel(QStringLiteral("Shape Coef\nbigger-finner"), grow), 2, 0);
  g->addWidget(m_edit[kShapeCoef], 2, 1);
  g->addWidget(m_spin[kShapeCoef], 2, 2);
  auto* rgShape = new QPushButton(QStringLiteral("Region Grow Shape"), grow);
  g->addWidget(rgShape, 3, 0, 1, 3);
  auto* rg27 = new QPushButton(QStringLiteral("Region Grow 27"), grow);
  auto* rg6 = new QPushButton(QStringLiteral("Region Grow 6"), grow);
  g->addWidget(rg27, 4, 0);
  g->addWidget(rg6, 4, 1, 1, 2);
  top->addWidget(grow);

  // Clean-up, control points, read-out.
  auto* tools = new QHBoxLayout();
  auto* fill = new QPushButton(QStringLiteral("Fill Hole"), this);
  auto* erode = new QPushButton(QStringLiteral("Erosion"), this);
  auto* dilate = new QPushButton(QStringLiteral("Dilation"), this);
  tools->addWidget(fill);
  tools->addWidget(erode);
  tools->addWidget(dilate);
  top->addLayout(tools);
  auto* cps = new QHBoxLayout();
  auto* clear = new QPushButton(QStringLiteral("Clear All CPs"), this);
  auto* exportCps = new QPushButton(QStringLiteral("Export CP info (.txt)"), this);
  auto* importCps = new QPushButton(QStringLiteral("Import CP info (.txt)"), this);
  cps->addWidget(clear);
  cps->addWidget(exportCps);
  cps->addWidget(importCps);
  top->addLayout(cps);
  m_readout = new QLineEdit(this);
  m_readout->setObjectName(QStringLiteral("readout"));
  m_readout->setReadOnly(true);
  top->addWidget(m_readout);
  for (const char* help : {"Ctrl   + L-drag : cut surface", "Shift+L-click : add CP ", "Alt    + L-drag : erase CPs"})
    top->addWidget(new QLabel(QString::fromUtf8(help), this));
  auto* leave = new QHBoxLayout();
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  auto* cancel = new QPushButton(QStringLiteral("cancel"), this);
  leave->addWidget(finish);
  leave->addWidget(cancel);
  top->addLayout(leave);

  // Initial ranges (the shape spin keeps its own until the mode is entered).
  for (int s : {kCh1Min, kCh2Min, kCh3Min, kCh1Max, kCh2Max, kCh3Max}) m_spin[s]->setRange(-10000, 10000);
  m_spin[kGradMin]->setRange(0, 1000);
  m_spin[kGradMax]->setRange(0, 1000);
  m_spin[kRadius]->setRange(0, 10000);

  for (int s = 0; s < kSpinCount; ++s) {
    const Spin sp = static_cast<Spin>(s);
    connect(m_spin[s], qOverload<int>(&QSpinBox::valueChanged), this, [this, sp] { onSpinChanged(sp); });
    // A typed threshold moves its spin as soon as it parses ("150" can be typed into a range
    // that starts at 11); the edit shows the spin's value when editing ends.
    m_pair[s] = new TEditPair(m_edit[s], m_spin[s], decimalsOf(sp));
  }
  connect(clear, &QPushButton::clicked, this, [] {
    mode()->clearAllCtrlPoints();
    t_redrawAll();
  });
  connect(runThreshold, &QPushButton::clicked, this, [this] { onRunThreshold(); });
  connect(rg8, &QPushButton::clicked, this, [this] { onRegionGrow(true); });
  connect(rg26, &QPushButton::clicked, this, [this] { onRegionGrow(false); });
  connect(rgShape, &QPushButton::clicked, this, [this] { onRegionGrowShape(); });
  connect(cancel, &QPushButton::clicked, this, [] { mode()->cancel(); });
  connect(finish, &QPushButton::clicked, this, [] { mode()->finish(); });
  connect(rg27, &QPushButton::clicked, this, [this] { onRegionGrowList(false); });
  connect(rg6, &QPushButton::clicked, this, [this] { onRegionGrowList(true); });
  connect(exportCps, &QPushButton::clicked, this, [this] { onExport(); });
  connect(importCps, &QPushButton::clicked, this, [this] { onImport(); });
  connect(m_rgb, &QRadioButton::clicked, this, [this] { onRgb(); });
  connect(m_hsv, &QRadioButton::clicked, this, [this] { onHsv(); });
  for (auto* b : {fill, erode, dilate}) {
    connect(b, &QPushButton::clicked, this, [b] {
      if (b->text() == QLatin1String("Fill Hole"))
        mode()->fillHole();
      else if (b->text() == QLatin1String("Erosion"))
        mode()->erosion();
      else
        mode()->dilation();
      t_redrawAll();
    });
  }
  m_rgb->setChecked(true);
}

QPushButton* TDlgSegRGrow::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

// ---- values ---------------------------------------------------------------------------------------

int TDlgSegRGrow::spinPosition(Spin s) const { return m_spin[s]->value(); }
bool TDlgSegRGrow::isRgbChecked() const { return m_rgb->isChecked(); }

void TDlgSegRGrow::setReadout(const std::string& text) {
  // Shown with the next paint: a point dragged over the slices updates it on every move.
  m_readout->setText(QString::fromUtf8(text.c_str()));
}

void TDlgSegRGrow::setBusy(bool busy) {
  for (QPushButton* b : findChildren<QPushButton*>()) b->setEnabled(!busy);
  m_rgb->setEnabled(!busy);
  m_hsv->setEnabled(!busy);
}

int TDlgSegRGrow::decimalsOf(Spin s) const {
  switch (s) {
    case kCh1Min: case kCh1Max: case kRadius: return 1;
    case kCh2Min: case kCh2Max: case kCh3Min: case kCh3Max: return m_rgb->isChecked() ? 1 : 3;
    case kGradMin: case kGradMax: return 3;
    default: return 0;
  }
}

void TDlgSegRGrow::writeEdit(Spin s) {
  // Every change of a spin's scale (RGB or HSV) rewrites its edit, so the pair learns it here.
  m_pair[s]->setDecimals(decimalsOf(s));
  m_pair[s]->showPosition();
}

void TDlgSegRGrow::setRange(Spin s, double lo, double hi) {
  m_spin[s]->setRange(clampPosition(lo), std::max(clampPosition(lo), clampPosition(hi)));
}

void TDlgSegRGrow::onSpinChanged(Spin s) { writeEdit(s); }

void TDlgSegRGrow::showRows(int channels) {
  for (int row = 0; row < 3; ++row) {
    const bool on = row < channels;
    for (int s : {row, row + 4}) {
      m_edit[s]->setVisible(on);
      m_spin[s]->setVisible(on);
    }
  }
}

void TDlgSegRGrow::updateControls(int channels, const double lo[3], const double hi[3]) {
  showPanel();
  m_channels = channels;
  double R = 0;
  for (int k = 0; k < 3; ++k) {
    m_rangeLo[k] = lo[k];
    m_rangeHi[k] = hi[k];
    R = std::max(R, hi[k] - lo[k]);
  }
  setRange(kRadius, 0, std::trunc(10 * R));
  m_spin[kRadius]->setValue(100);
  m_spin[kShapeCoef]->setRange(0, 30);
  m_spin[kShapeCoef]->setValue(15);
  showRows(channels);
  for (int k = 0; k < channels && k < 3; ++k) {
    const double a = -1 - std::trunc(-10 * lo[k]);
    const double b = 1 - std::trunc(-10 * hi[k]);
    setRange(static_cast<Spin>(k), a, b);
    setRange(static_cast<Spin>(k + 4), a, b);
    m_spin[k]->setValue(m_spin[k]->minimum());
    m_spin[k + 4]->setValue(m_spin[k + 4]->maximum());
  }
  m_spin[kGradMin]->setRange(0, 1000);
  m_spin[kGradMax]->setRange(0, 1000);
  m_spin[kGradMin]->setValue(0);
  m_spin[kGradMax]->setValue(1000);
  m_rgb->setChecked(true);
  m_hsv->setChecked(false);
  for (int s = 0; s < kSpinCount; ++s) writeEdit(static_cast<Spin>(s));
  const bool three = channels == 3;
  m_rgb->setVisible(three);
  m_hsv->setVisible(three);
  m_rowLabel[0]->setText(QStringLiteral("ch1(R)"));
  m_rowLabel[1]->setText(channels >= 2 ? QStringLiteral("ch2(G)") : QString());
  m_rowLabel[2]->setText(channels >= 3 ? QStringLiteral("ch3(B)") : QString());
  m_readout->setText(QStringLiteral("color value of CP"));
  repaint();
}

void TDlgSegRGrow::onRgb() {
  if (m_channels != 3) {
    m_rgb->setChecked(true);
    return;
  }
  m_rgb->setChecked(true);
  m_hsv->setChecked(false);
  m_rowLabel[0]->setText(QStringLiteral("ch1(R)"));
  m_rowLabel[1]->setText(QStringLiteral("ch2(G)"));
  m_rowLabel[2]->setText(QStringLiteral("ch3(B)"));
  for (int k = 0; k < 3; ++k) {
    const double a = std::trunc(10 * m_rangeLo[k]), b = std::trunc(10 * m_rangeHi[k]);
    setRange(static_cast<Spin>(k), a, b);
    setRange(static_cast<Spin>(k + 4), a, b);
    m_spin[k]->setValue(m_spin[k]->minimum());
    m_spin[k + 4]->setValue(m_spin[k + 4]->maximum());
  }
  m_spin[kGradMin]->setValue(0);
  m_spin[kGradMax]->setValue(1000);
  for (int s : {kCh1Min, kCh2Min, kCh3Min, kGradMin, kCh1Max, kCh2Max, kCh3Max, kGradMax})
    writeEdit(static_cast<Spin>(s));
}

void TDlgSegRGrow::onHsv() {
  if (m_channels != 3) {
    m_hsv->setChecked(false);
    return;
  }
  m_hsv->setChecked(true);
  m_rgb->setChecked(false);
  m_rowLabel[0]->setText(QStringLiteral("Heu"));
  m_rowLabel[1]->setText(QStringLiteral("Satu."));
  m_rowLabel[2]->setText(QStringLiteral("Valu."));
  m_spin[kCh1Min]->setRange(0, 3600);
  m_spin[kCh1Max]->setRange(0, 3600);
  m_spin[kCh1Min]->setValue(0);
  m_spin[kCh1Max]->setValue(3600);
  for (int s : {kCh2Min, kCh3Min, kGradMin}) {
    m_spin[s]->setRange(0, 1000);
    m_spin[s]->setValue(0);
  }
  for (int s : {kCh2Max, kCh3Max, kGradMax}) {
    m_spin[s]->setRange(0, 1000);
    m_spin[s]->setValue(1000);
  }
  for (int s : {kCh1Min, kCh2Min, kCh3Min, kGradMin, kCh1Max, kCh2Max, kCh3Max, kGradMax})
    writeEdit(static_cast<Spin>(s));
}

// ---- commands -------------------------------------------------------------------------------------

void TDlgSegRGrow::onRunThreshold() {
  auto p = [this](Spin s) { return double(m_spin[s]->value()); };
  if (m_channels == 3 && !m_rgb->isChecked())
    mode()->runThresholdHsv(p(kCh1Min) * 0.1, p(kCh1Max) * 0.1, p(kCh2Min) * 0.001, p(kCh2Max) * 0.001,
                            p(kCh3Min) * 0.001, p(kCh3Max) * 0.001, p(kGradMin) * 0.001, p(kGradMax) * 0.001);
  else
    mode()->runThreshold(p(kCh1Min) * 0.1, p(kCh1Max) * 0.1, p(kCh2Min) * 0.1, p(kCh2Max) * 0.1,
                         p(kCh3Min) * 0.1, p(kCh3Max) * 0.1, p(kGradMin) * 0.001, p(kGradMax) * 0.001);
  t_redrawAll();
}

void TDlgSegRGrow::onRegionGrow(bool faceOnly) {
  mode()->regionGrow(static_cast<float>(m_spin[kRadius]->value() * 0.1), faceOnly);
  t_redrawAll();
}

void TDlgSegRGrow::onRegionGrowShape() {
  mode()->regionGrowShape(static_cast<float>(m_spin[kRadius]->value() * 0.1), m_spin[kShapeCoef]->value());
  t_redrawAll();
}

void TDlgSegRGrow::onRegionGrowList(bool faceOnly) {
  if (m_channels == 3 && !m_rgb->isChecked()) {
    t_info(faceOnly ? "not yet implemented" : "HSV region growing is not yet implemented");
    return;
  }
  auto p = [this](Spin s) { return double(m_spin[s]->value()); };
  const double v[8] = {p(kCh1Min) * 0.1, p(kCh1Max) * 0.1, p(kCh2Min) * 0.1, p(kCh2Max) * 0.1,
                       p(kCh3Min) * 0.1, p(kCh3Max) * 0.1, p(kGradMin) * 0.001, p(kGradMax) * 0.001};
  if (faceOnly)
    mode()->regionGrow6(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
  else
    mode()->regionGrow27(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
  t_redrawAll();
}

void TDlgSegRGrow::onExport() {
  std::string path = t_prompts().saveFile("Export CP info (.txt)", "volume Files (*.txt)", "");
  if (path.empty()) return;
  // The extension is the text after the last dot of the file name.
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  if (!hasDot || path.substr(dot + 1) != "txt") path += ".txt";
  mode()->exportControlPoints(path);
}

void TDlgSegRGrow::onImport() {
  const std::vector<std::string> paths =
      t_prompts().openFiles("Import CP info (.txt)", "volume Files (*.txt *.csv)", false);
  if (paths.empty()) return;
  mode()->importControlPoints(paths.front());
}
