#include "view/TDlgVisParam.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <cmath>
#include <cstdio>

#include "core/TCore.h"
#include "platform/Prompt.h"
#include "ui/edit_sync.h"
#include "ui/panel_window.h"
#include "view/TTransFuncEditor.h"
#include "volume/TextureManager.h"

namespace {

TDlgVisParam* s_inst = nullptr;

// Layout of the panel (client coordinates).  The three editor boxes are equal and stacked, so
// that the panel's height shows 0 to 3 of them.
constexpr int kPanelW = 318;
constexpr int kBoxLeft = 8;
constexpr int kBoxW = 256;
constexpr int kBoxH = 128;
constexpr int kBoxTop1 = 262;
constexpr int kBoxGap = 8;

const char* const kZFlipRefused =
    "z軸フリップは可視化モード(Vis*)の時のみ有効です\n This function is available only on "
    "Visualization Mode";

}  // namespace

// ---------------------------------------------------------------------------------------------
// The one instance

TDlgVisParam::AppHooks& TDlgVisParam::appHooks() {
  static AppHooks h;
  return h;
}

TDlgVisParam::ViewHooks& TDlgVisParam::viewHooks() {
  static ViewHooks h;
  return h;
}

void TDlgVisParam::setAppHooks(const AppHooks& hooks) { appHooks() = hooks; }
void TDlgVisParam::setViewHooks(const ViewHooks& hooks) { viewHooks() = hooks; }

TDlgVisParam& TDlgVisParam::getInst() {
  if (!s_inst) s_inst = new TDlgVisParam();
  return *s_inst;
}

bool TDlgVisParam::exists() { return s_inst != nullptr; }

void TDlgVisParam::destroyInst() {
  TDlgVisParam* p = s_inst;
  s_inst = nullptr;
  delete p;
}

TDlgVisParam::TDlgVisParam(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Rendering Parameter DLG");
  // A modeless tool panel of the main frame that the user cannot close.
  t_makeToolPanel(this);
  t_setPanelColumn(this, TPanelColumn::Rendering);
  setModal(false);
  buildControls();

  // The writers ask the volume holder for the pitch; the holder asks this panel.  The histogram
  // pictures follow every window-level change.  Both reach the panel through s_inst, so they are
  // harmless once the panel is gone.
  TextureManager& tm = TextureManager::getInst();
  tm.setPitchSource([](double p[3]) {
    if (s_inst) {
      s_inst->getPitch(p);
    } else {
      p[0] = p[1] = p[2] = 1.0;
    }
  });
  tm.setHistogramListener([] {
    if (s_inst) s_inst->updateTransFuncImage();
  });
}

TDlgVisParam::~TDlgVisParam() {
  // Hidden before the members go: an edit losing the focus as the window closes ends its typing.
  hide();
  if (s_inst == this) s_inst = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Controls

void TDlgVisParam::buildControls() {
  auto check = [this](const char* text, int x, int y, int w) {
    auto* c = new QCheckBox(QString::fromUtf8(text), this);
    c->setGeometry(x, y, w, 20);
    return c;
  };
  auto label = [this](const char* text, int x, int y, int w, int h = 20) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setGeometry(x, y, w, h);
    return l;
  };
  auto slider = [this](int y) {
    auto* s = new QSlider(Qt::Horizontal, this);
    s->setGeometry(104, y, 206, 20);
    s->setRange(0, 100);
    return s;
  };

  m_chkFrame = check("Frame", 8, 6, 70);
  m_chkInterp = check("Interpolate", 82, 6, 100);
  m_chkFlip = check("Flip Stack", 190, 6, 100);
  m_chkParallel = check("Parallel proj.", 8, 28, 140);

  label("Transparency", 8, 54, 94);
  m_sldTransparency = slider(54);
  label("Slice Num", 8, 78, 94);
  m_sldSliceNum = slider(78);
  label("back color", 8, 102, 94);
  m_sldBackColor = slider(102);

  label("pitch\n(mm)", 8, 126, 40, 32);
  const char* axisNames[3] = {"x:", "y:", "z:"};
  for (int a = 0; a < 3; ++a) {
    int x = 50 + a * 88;
    label(axisNames[a], x, 132, 14);
    m_pitchEdit[a] = new QLineEdit(this);
    m_pitchEdit[a]->setGeometry(x + 14, 130, 52, 22);
    m_pitchSpin[a] = new QSpinBox(this);
    m_pitchSpin[a]->setGeometry(x + 66, 130, 18, 22);
    m_pitchSpin[a]->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    m_pitchSpin[a]->setRange(1, 100000);
    m_pitchSpin[a]->setValue(1000);
    // A typed pitch is taken as soon as it parses, without rewriting the text under the typing
    // hand; the field shows the pitch taken when editing ends.
    m_pitchPair[a] = new TEditPair(m_pitchEdit[a], m_pitchSpin[a], 3);
    m_pitchPair[a]->onTyped = [this, a](bool) { onPitchEditChanged(a); };
    // Refused by the busy gate, the fields show the pitch in use again.
    m_pitchPair[a]->gate = [this] { return !m_created || m_updating || !refusePitchChange(); };
  }

  label("Plane :", 8, 162, 52);
  const char* planeNames[3] = {"RGB", "Intens", "Gradient"};
  auto* planeGroup = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    m_radPlane[i] = new QRadioButton(planeNames[i], this);
    m_radPlane[i]->setGeometry(62 + i * 74, 162, 74, 20);
    planeGroup->addButton(m_radPlane[i], i);
  }
  label("Volume:", 8, 186, 52);
  const char* volNames[5] = {"RGB", "Intens", "c1", "c2", "c3"};
  auto* volGroup = new QButtonGroup(this);
  const int volWidths[5] = {52, 64, 44, 44, 44};
  for (int i = 0, x = 62; i < 5; x += volWidths[i], ++i) {
    m_radVol[i] = new QRadioButton(volNames[i], this);
    m_radVol[i]->setGeometry(x, 186, volWidths[i], 20);
    volGroup->addButton(m_radVol[i], i);
  }
  const char* planeChecks[3] = {"XY-plane", "YZ-plane", "ZX-plane"};
  for (int i = 0; i < 3; ++i) m_chkPlane[i] = check(planeChecks[i], 8 + i * 96, 210, 94);

  m_btnWinLv = new QPushButton("Window Level", this);
  m_btnWinLv->setGeometry(8, 234, 120, 24);

  for (int k = 0; k < 3; ++k) {
    int top = kBoxTop1 + k * (kBoxH + kBoxGap);
    m_boxRects[k] = QRect(kBoxLeft, top, kBoxW, kBoxH);
    m_boxes[k] = new TTransFuncBox(this, k + 1, this);
    m_boxes[k]->setGeometry(m_boxRects[k]);
    m_btnIni[k] = new QPushButton("INI", this);
    m_btnIni[k]->setGeometry(kBoxLeft + kBoxW + 6, top, 40, 24);
    m_btnZero[k] = new QPushButton("0", this);
    m_btnZero[k]->setGeometry(kBoxLeft + kBoxW + 6, top + 28, 40, 24);
  }
  t_setPanelContentSize(this, QSize(kPanelW, kBoxTop1 + 3 * (kBoxH + kBoxGap) + 2));

  connect(m_chkFrame, &QCheckBox::clicked, this, [this] { onFrameClicked(); });
  connect(m_chkInterp, &QCheckBox::clicked, this, [this] { onInterpolateClicked(); });
  connect(m_chkFlip, &QCheckBox::clicked, this, [this] { onFlipStackClicked(); });
  connect(m_chkParallel, &QCheckBox::clicked, this, [this] { onParallelProjClicked(); });
  connect(m_sldTransparency, &QSlider::valueChanged, this, [this] { onTransparencyMoved(); });
  connect(m_sldSliceNum, &QSlider::valueChanged, this, [this] { onSliceNumMoved(); });
  connect(m_sldBackColor, &QSlider::valueChanged, this, [this] { onBackColorMoved(); });
  for (int a = 0; a < 3; ++a) {
    connect(m_pitchSpin[a], &QSpinBox::valueChanged, this, [this, a] { onPitchSpinChanged(a); });
  }
  for (int i = 0; i < 3; ++i)
    connect(m_radPlane[i], &QRadioButton::clicked, this, [this, i] { onPlaneColClicked(i); });
  for (int i = 0; i < 5; ++i)
    connect(m_radVol[i], &QRadioButton::clicked, this, [this, i] { onVolColClicked(i); });
  for (int i = 0; i < 3; ++i)
    connect(m_chkPlane[i], &QCheckBox::clicked, this, [this, i] { onPlaneCheckClicked(i); });
  connect(m_btnWinLv, &QPushButton::clicked, this, [] {
    if (appHooks().showWindowLevel) appHooks().showWindowLevel();
  });
  for (int k = 0; k < 3; ++k) {
    connect(m_btnIni[k], &QPushButton::clicked, this, [this, k] { onIniClicked(k + 1); });
    connect(m_btnZero[k], &QPushButton::clicked, this, [this, k] { onZeroClicked(k + 1); });
  }

  // Start state before creation: the defaults of initControls, without its side effects.
  m_updating = true;
  m_chkFrame->setChecked(true);
  m_chkInterp->setChecked(true);
  m_sldTransparency->setValue(50);
  m_sldSliceNum->setValue(50);
  m_sldBackColor->setValue(33);
  for (int a = 0; a < 3; ++a) writePitchEdit(a);
  for (int i = 0; i < 3; ++i) m_chkPlane[i]->setChecked(true);
  m_radPlane[m_planeColMode]->setChecked(true);
  m_radVol[m_volColMode]->setChecked(true);
  m_updating = false;
}

void TDlgVisParam::createPanel() {
  if (m_created) return;
  initControls();
  for (int k = 0; k < 3; ++k) {
    const QRect& r = m_boxRects[k];
    fprintf(stderr, "pict control %d size %d %d %d %d \n", k + 1, r.left(), r.top(), r.width(),
            r.height());
  }
  m_boxW = m_boxRects[0].width();
  m_boxH = m_boxRects[0].height();
  for (auto& img : m_bgImages) img.assign(size_t(m_boxW) * m_boxH * 4, 0);
  m_created = true;
}

void TDlgVisParam::initControls() {
  m_updating = true;
  m_chkFrame->setChecked(true);
  m_chkInterp->setChecked(true);
  m_chkParallel->setChecked(false);
  m_chkFlip->setChecked(false);
  if (TextureManager::getInst().channelCount == 1) {
    m_planeColMode = 1;
    m_volColMode = 2;
  } else {
    m_planeColMode = 0;
    m_volColMode = 0;
  }
  m_radPlane[m_planeColMode]->setChecked(true);
  m_radVol[m_volColMode]->setChecked(true);
  m_sldTransparency->setValue(50);
  m_sldSliceNum->setValue(50);
  m_sldBackColor->setValue(33);
  for (int a = 0; a < 3; ++a) {
    m_pitchSpin[a]->setRange(1, 100000);
    m_pitchSpin[a]->setValue(1000);
    m_pitch[a] = 1.0;
    writePitchEdit(a);
  }
  m_updating = false;
}

// ---------------------------------------------------------------------------------------------
// Readers

bool TDlgVisParam::isFrameOn() const { return m_chkFrame->isChecked(); }
bool TDlgVisParam::isInterpolateOn() const { return m_chkInterp->isChecked(); }
bool TDlgVisParam::isFlipStackOn() const { return m_chkFlip->isChecked(); }
bool TDlgVisParam::isParallelProj() const { return m_chkParallel->isChecked(); }
int TDlgVisParam::transparencyPos() const { return m_sldTransparency->value(); }
int TDlgVisParam::sliceNumPos() const { return m_sldSliceNum->value(); }
int TDlgVisParam::backColorPos() const { return m_sldBackColor->value(); }

double TDlgVisParam::volumeAlpha() const {
  double q = transparencyPos() * 0.01;
  return q * q * q;
}

int TDlgVisParam::sliceCount() const { return int(sliceNumPos() * 0.01 * 1900 + 100); }

bool TDlgVisParam::isXYPlaneOn() const { return m_chkPlane[0]->isChecked(); }
bool TDlgVisParam::isYZPlaneOn() const { return m_chkPlane[1]->isChecked(); }
bool TDlgVisParam::isZXPlaneOn() const { return m_chkPlane[2]->isChecked(); }
bool TDlgVisParam::isPlaneOn(int planeId) const {
  return planeId >= 0 && planeId < 3 && m_chkPlane[planeId]->isChecked();
}

void TDlgVisParam::setPlaneChecks(bool xy, bool yz, bool zx) {
  m_chkPlane[0]->setChecked(xy);
  m_chkPlane[1]->setChecked(yz);
  m_chkPlane[2]->setChecked(zx);
}

// ---------------------------------------------------------------------------------------------
// Check boxes, sliders, radio groups

void TDlgVisParam::redrawAll() {
  if (viewHooks().redrawAll) viewHooks().redrawAll();
}

void TDlgVisParam::repaintPanelAndMainView() {
  update();
  for (auto* b : m_boxes) b->update();
  if (viewHooks().redrawMainView) viewHooks().redrawMainView();
}

void TDlgVisParam::onFrameClicked() {
  if (!m_created) return;
  redrawAll();
}

void TDlgVisParam::onInterpolateClicked() {
  if (!m_created) return;
  // The filter is fixed when a texture is made, so the textures are dropped and made again.
  TextureManager& tm = TextureManager::getInst();
  bool linear = m_chkInterp->isChecked();
  TOGL3DImage* images[4] = {&tm.vol1, &tm.vol2, &tm.vol3, &tm.volGrad};
  for (TOGL3DImage* img : images) {
    if (img->data) img->linear = linear;
    img->unbind(nullptr);
  }
  redrawAll();
}

void TDlgVisParam::onFlipStackClicked() {
  if (!m_created) return;
  const AppHooks& h = appHooks();
  int mode = h.modeId ? h.modeId() : -1;
  // The flip rewrites the voxels in place: not while a worker may read them.
  if (!TCore::getInst().refuseWhileBusy()) {
    if (mode >= 0 && mode <= 3 && h.zFlipped && h.setZFlipped) {
      h.setZFlipped(!h.zFlipped());
      TextureManager::getInst().flipZ();
      if (h.flipZMaskSurfaces) h.flipZMaskSurfaces();
      redrawAll();
    } else {
      t_info(kZFlipRefused);
    }
  }
  bool flipped = h.zFlipped ? h.zFlipped() : false;
  QSignalBlocker block(m_chkFlip);
  m_chkFlip->setChecked(flipped);
}

void TDlgVisParam::onParallelProjClicked() {
  if (!m_created) return;
  repaintPanelAndMainView();
}

void TDlgVisParam::onTransparencyMoved() {
  if (!m_created || m_updating) return;
  if (viewHooks().redrawMainView) viewHooks().redrawMainView();
  m_sldTransparency->setFocus();
}

void TDlgVisParam::onSliceNumMoved() {
  if (!m_created || m_updating) return;
  if (viewHooks().redrawMainView) viewHooks().redrawMainView();
  m_sldSliceNum->setFocus();
}

void TDlgVisParam::onBackColorMoved() {
  if (!m_created || m_updating) return;
  float g = float(m_sldBackColor->value() / 100.0);
  if (viewHooks().setBackGrey) viewHooks().setBackGrey(g);
  m_sldBackColor->setFocus();
  redrawAll();
}

void TDlgVisParam::onPlaneColClicked(int mode) {
  if (!m_created) return;
  m_planeColMode = mode;
  for (int i = 0; i < 3; ++i) m_radPlane[i]->setChecked(i == mode);
  redrawAll();
}

void TDlgVisParam::onVolColClicked(int mode) {
  if (!m_created) return;
  m_volColMode = mode;
  for (int i = 0; i < 5; ++i) m_radVol[i]->setChecked(i == mode);
  redrawAll();
}

void TDlgVisParam::onPlaneCheckClicked(int planeId) {
  if (!m_created) return;
  if (m_exclusivePlanes && m_chkPlane[planeId]->isChecked()) {
    for (int i = 0; i < 3; ++i)
      if (i != planeId) m_chkPlane[i]->setChecked(false);
  }
  redrawAll();
}

// ---------------------------------------------------------------------------------------------
// Pitch

void TDlgVisParam::getPitch(double& x, double& y, double& z) const {
  x = m_pitch[0];
  y = m_pitch[1];
  z = m_pitch[2];
}

void TDlgVisParam::writePitchEdit(int axis) { m_pitchPair[axis]->showPosition(); }

void TDlgVisParam::setPitch(double x, double y, double z) {
  const double v[3] = {x, y, z};
  m_updating = true;
  for (int a = 0; a < 3; ++a) {
    m_pitchSpin[a]->setValue(t_pitchToSpinPos(v[a], m_pitchSpin[a]->minimum(),
                                              m_pitchSpin[a]->maximum()));
    writePitchEdit(a);
    // Keep the value itself; the spin only holds thousandths within its range.  A sub-micron
    // or very coarse pitch of a file stays as loaded (the field shows its clamped neighbour);
    // only a value that is no pitch at all (not finite, not positive) is replaced by what the
    // field shows.
    m_pitch[a] = std::isfinite(v[a]) && v[a] > 0 ? v[a] : m_pitchSpin[a]->value() * 0.001;
  }
  m_updating = false;
  applyPitch();
}

bool TDlgVisParam::refusePitchChange() {
  if (!TCore::getInst().refuseWhileBusy(TCore::Change::Geometry)) return false;
  // The fields show the pitch in use again.
  m_updating = true;
  for (int a = 0; a < 3; ++a) {
    m_pitchSpin[a]->setValue(t_pitchToSpinPos(m_pitch[a], m_pitchSpin[a]->minimum(), m_pitchSpin[a]->maximum()));
    writePitchEdit(a);
  }
  m_updating = false;
  return true;
}

void TDlgVisParam::onPitchEditChanged(int axis) {
  if (!m_created || m_updating) return;
  // The typed value itself when the field can stand for it (0.4883 stays 0.4883), else what the
  // spin took (a clamped or empty field).
  double typed = 0;
  const bool whole = m_pitchPair[axis]->typedValue(typed) && t_pitchKeepsValue(typed, m_pitchSpin[axis]->value());
  const double pitch = whole ? typed : m_pitchSpin[axis]->value() * 0.001;
  if (pitch == m_pitch[axis]) return;
  m_pitch[axis] = pitch;
  applyPitch();
}

void TDlgVisParam::onPitchSpinChanged(int axis) {
  if (!m_created || m_updating) return;
  if (refusePitchChange()) return;
  m_updating = true;
  writePitchEdit(axis);
  m_updating = false;
  m_pitch[axis] = m_pitchSpin[axis]->value() * 0.001;
  applyPitch();
}

void TDlgVisParam::applyPitch() {
  TextureManager& tm = TextureManager::getInst();
  int W = tm.getW(), H = tm.getH(), D = tm.getD();
  if (viewHooks().applyVolumeExtent) viewHooks().applyVolumeExtent(m_pitch, W, H, D);
  redrawAll();
}

// ---------------------------------------------------------------------------------------------
// Keyboard and closing: the panel stays.

void TDlgVisParam::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TDlgVisParam::closeEvent(QCloseEvent* e) { e->ignore(); }

void TDlgVisParam::setVisible(bool visible) {
  // Placed beside the frame before it appears.
  if (visible && isHidden()) t_placePanelsBeforeShow(this);
  QDialog::setVisible(visible);
}
