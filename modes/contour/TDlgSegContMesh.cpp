#include "modes/contour/TDlgSegContMesh.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

#include "core/ModeViewHost.h"
#include "modes/contour/StateSegContMesh.h"
#include "platform/Prompt.h"
#include "ui/edit_sync.h"

namespace {

StateSegContMesh& mode() { return *StateSegContMesh::getInst(); }

void redrawMain() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawMainView();
}
void redrawAll() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}

constexpr const char* kFilter = "step2 file (*.kestrnRbfFib)";

// The chosen path with the contour-file extension when it has another one.
std::string withExtension(std::string path) {
  const std::string ext = ".kestrnRbfFib";
  if (path.size() < ext.size() || path.compare(path.size() - ext.size(), ext.size(), ext) != 0) path += ext;
  return path;
}

struct SpinSpec {
  int lo, hi, dflt;
  double scale;
};
const SpinSpec kSpins[4] = {{0, 300, 100, 0.01}, {40, 100, 40, 0.1}, {1, 100, 10, 0.01}, {0, 100, 50, 0.01}};

}  // namespace

TDlgSegContMesh::TDlgSegContMesh() : TModePanel(QStringLiteral("Contour Mesh Dialog")) {
  setObjectName(QStringLiteral("TDlgSegContMesh"));
  auto* top = new QVBoxLayout(this);

  auto* vis = new QGroupBox(QStringLiteral("Visualization"), this);
  auto* v = new QVBoxLayout(vis);
  auto* canvasRow = new QHBoxLayout();
  const char* canvasNames[3] = {"CanvasXY", "YZ", "ZX"};
  for (int i = 0; i < 3; ++i) {
    m_canvas[i] = new QPushButton(QString::fromLatin1(canvasNames[i]), vis);
    canvasRow->addWidget(m_canvas[i]);
  }
  canvasRow->addWidget(new QLabel(QStringLiteral(" or Ctrl + LDrag"), vis));
  v->addLayout(canvasRow);
  m_showFore = new QCheckBox(QStringLiteral("Foreground on Canvas (1)"), vis);
  m_showSurf = new QCheckBox(QStringLiteral("Boundary Surface(2)"), vis);
  m_showCont = new QCheckBox(QStringLiteral("Contours(3)"), vis);
  v->addWidget(m_showFore);
  v->addWidget(m_showSurf);
  v->addWidget(m_showCont);
  top->addWidget(vis);

  auto* cont = new QGroupBox(QStringLiteral("Canvas && New Contour"), this);
  auto* c = new QGridLayout(cont);
  m_newContour = new QPushButton(QStringLiteral("New Contour"), cont);
  m_newContour->setCheckable(true);
  m_store = new QPushButton(QStringLiteral("Finish &&Store (f)"), cont);
  m_drop = new QPushButton(QStringLiteral("Canncel (c)"), cont);
  m_flip = new QPushButton(QStringLiteral("Flip side (s)"), cont);
  m_closed = new QCheckBox(QStringLiteral("Closed (l)"), cont);
  m_auto = new QCheckBox(QStringLiteral("Auto Update"), cont);
  c->addWidget(m_newContour, 0, 0);
  c->addWidget(m_store, 0, 1);
  c->addWidget(m_drop, 0, 2);
  c->addWidget(m_flip, 1, 0);
  c->addWidget(m_closed, 1, 1);
  c->addWidget(m_auto, 1, 2);
  top->addWidget(cont);

  auto* seg = new QGroupBox(QStringLiteral("B-HRBF Segmentation"), this);
  auto* s = new QGridLayout(seg);
  auto* update = new QPushButton(QString::fromUtf8("UPDATE ROI (再計算)"), seg);
  s->addWidget(update, 0, 0, 1, 3);
  const char* labels[4] = {"Color Coef\n  w_c", "Interval \n w_int", "Blend Coef\n w_b = 0.1", "Grad Coef\nw_n = 0.5"};
  for (int i = 0; i < 4; ++i) {
    m_edit[i] = new QLineEdit(seg);
    m_spin[i] = new QSpinBox(seg);
    m_spin[i]->setRange(kSpins[i].lo, kSpins[i].hi);
    m_spin[i]->setValue(kSpins[i].dflt);
    s->addWidget(new QLabel(QString::fromLatin1(labels[i]), seg), 1 + i, 0);
    s->addWidget(m_edit[i], 1 + i, 1);
    s->addWidget(m_spin[i], 1 + i, 2);
  }
  m_track = new QCheckBox(QStringLiteral("Surf Track M-Cubes"), seg);
  s->addWidget(m_track, 5, 0, 1, 3);
  auto* files = new QHBoxLayout();
  auto* save = new QPushButton(QStringLiteral("Save Contours"), seg);
  auto* load = new QPushButton(QStringLiteral("Load Contours"), seg);
  files->addWidget(save);
  files->addWidget(load);
  s->addLayout(files, 6, 0, 1, 3);
  auto* kernels = new QHBoxLayout();
  const char* kernelNames[3] = {"|x|^3", "|x|^4log|x|", "|x|^5"};
  for (int i = 0; i < 3; ++i) {
    m_kernel[i] = new QRadioButton(QString::fromLatin1(kernelNames[i]), seg);
    kernels->addWidget(m_kernel[i]);
  }
  s->addLayout(kernels, 7, 0, 1, 3);
  auto* note = new QLabel(QString::fromUtf8("!!see below※!!\n※set 10×w^c in the paper. The paper supposes the volume is "
                                            "normalized in (1,1,1). but this implementation normalize the volume in "
                                            "(10,10,10)."),
                          seg);
  note->setWordWrap(true);
  s->addWidget(note, 8, 0, 1, 3);
  top->addWidget(seg);

  auto* end = new QHBoxLayout();
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  end->addWidget(cancel);
  end->addWidget(finish);
  top->addLayout(end);

  connect(m_canvas[0], &QPushButton::clicked, this, [] { mode().setCanvasXY(); redrawAll(); });
  connect(m_canvas[1], &QPushButton::clicked, this, [] { mode().setCanvasYZ(); redrawAll(); });
  connect(m_canvas[2], &QPushButton::clicked, this, [] { mode().setCanvasZX(); redrawAll(); });
  for (QCheckBox* b : {m_showFore, m_showSurf, m_showCont}) connect(b, &QCheckBox::clicked, this, [] { redrawMain(); });
  connect(m_newContour, &QPushButton::clicked, this, [this](bool on) { onNewContour(on); });
  connect(m_store, &QPushButton::clicked, this, [] { mode().storeContour(); });
  connect(m_drop, &QPushButton::clicked, this, [] { mode().cancelContour(); });
  connect(m_flip, &QPushButton::clicked, this, [] { mode().flipSide(); });
  connect(m_closed, &QCheckBox::clicked, this, [](bool on) { mode().setClosed(on); });
  connect(update, &QPushButton::clicked, this, [] { mode().startRegionUpdate(false); });
  for (int i = 0; i < 4; ++i) {
    const Spin sp = static_cast<Spin>(i);
    connect(m_spin[i], qOverload<int>(&QSpinBox::valueChanged), this, [this, sp] { onSpin(sp); });
    // A typed coefficient moves its spin as soon as it parses; the edit shows the spin's value
    // when editing ends.  Nothing changes while the mode computes.
    m_pair[i] = new TEditPair(m_edit[i], m_spin[i], i == kInterval ? 1 : 2);
    m_pair[i]->gate = [] {
      if (!mode().isComputing()) return true;
      t_info(StateSegContMesh::kPanelBusyMessage);
      return false;
    };
    m_pair[i]->onTyped = [this, sp](bool) { onEdit(sp); };
  }
  for (int i = 0; i < 3; ++i) connect(m_kernel[i], &QRadioButton::clicked, this, [this, i] { onKernel(i + 1); });
  connect(save, &QPushButton::clicked, this, [this] { onSave(); });
  connect(load, &QPushButton::clicked, this, [this] { onLoad(); });
  connect(cancel, &QPushButton::clicked, this, [] { mode().cancel(); });
  connect(finish, &QPushButton::clicked, this, [] { mode().finish(); });

  // Start values without showing the panel (panels are created hidden).
  setStartValues();
}

QPushButton* TDlgSegContMesh::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

QCheckBox* TDlgSegContMesh::check(const QString& caption) const {
  for (QCheckBox* b : findChildren<QCheckBox*>())
    if (b->text() == caption) return b;
  return nullptr;
}

void TDlgSegContMesh::writeEdit(Spin s, bool oneDecimal) {
  char buf[64];
  std::snprintf(buf, sizeof buf, oneDecimal ? "%.1f" : "%.2f", m_spin[s]->value() * kSpins[s].scale);
  m_updating = true;
  m_edit[s]->setText(QString::fromLatin1(buf));
  m_updating = false;
}

void TDlgSegContMesh::updateControls() {
  showPanel();
  setStartValues();
}

void TDlgSegContMesh::setStartValues() {
  m_updating = true;
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker block(m_spin[i]);
    m_spin[i]->setRange(kSpins[i].lo, kSpins[i].hi);
    m_spin[i]->setValue(kSpins[i].dflt);
    m_spinWas[i] = kSpins[i].dflt;
  }
  m_updating = false;
  for (int i = 0; i < 4; ++i) writeEdit(static_cast<Spin>(i), false);
  for (QCheckBox* b : {m_showFore, m_showSurf, m_showCont, m_auto, m_track}) b->setChecked(true);
  m_closed->setChecked(false);
  {
    const QSignalBlocker block(m_newContour);
    m_newContour->setChecked(false);
  }
  m_kernelCode = 1;
  m_kernel[0]->setChecked(true);
  updateContourButtons();
}

void TDlgSegContMesh::updateContourButtons() {
  const bool on = isNewContour();
  for (QPushButton* b : m_canvas) b->setEnabled(!on);
  m_newContour->setEnabled(!on);
  m_store->setEnabled(on);
  m_drop->setEnabled(on);
  m_closed->setEnabled(on);
  m_flip->setEnabled(on);
}

bool TDlgSegContMesh::isNewContour() const { return m_newContour->isChecked(); }

void TDlgSegContMesh::setNewContour(bool on) {
  const QSignalBlocker block(m_newContour);
  m_newContour->setChecked(on);
}

void TDlgSegContMesh::setClosedCheck(bool on) { m_closed->setChecked(on); }
bool TDlgSegContMesh::isAutoUpdate() const { return m_auto->isChecked(); }
bool TDlgSegContMesh::isSurfaceTrack() const { return m_track->isChecked(); }
bool TDlgSegContMesh::showForeground() const { return m_showFore->isChecked(); }
bool TDlgSegContMesh::showSurface() const { return m_showSurf->isChecked(); }
bool TDlgSegContMesh::showContours() const { return m_showCont->isChecked(); }
int TDlgSegContMesh::kernel() const { return m_kernelCode; }
int TDlgSegContMesh::spinPosition(Spin s) const { return m_spin[s]->value(); }

void TDlgSegContMesh::setSpinPositions(int colour, int interval, int blend, int normal) {
  const int pos[4] = {colour, interval, blend, normal};
  for (int i = 0; i < 4; ++i) {
    {
      const QSignalBlocker block(m_spin[i]);
      m_spin[i]->setValue(pos[i]);  // clamped to the range
    }
    m_spinWas[i] = m_spin[i]->value();
    writeEdit(static_cast<Spin>(i), i == kInterval);
  }
}

void TDlgSegContMesh::onNewContour(bool checked) {
  std::fprintf(stderr, "here sfklarjfa %d \n", checked ? 1 : 0);
  if (!checked) {
    std::fprintf(stderr, "error error error error\n");
    return;
  }
  setNewContour(mode().addNewContour());
  updateContourButtons();
  m_closed->setChecked(false);
  redrawAll();
}

void TDlgSegContMesh::onSpin(Spin s) {
  if (m_updating) return;
  if (mode().isComputing()) {
    t_info(StateSegContMesh::kPanelBusyMessage);
    // The coefficient stays what the running computation was given.
    const QSignalBlocker block(m_spin[s]);
    m_spin[s]->setValue(m_spinWas[s]);
    return;
  }
  m_spinWas[s] = m_spin[s]->value();
  writeEdit(s, s == kInterval);
  mode().updateParamsFromDlg();
  redrawMain();
}

void TDlgSegContMesh::onEdit(Spin s) {
  m_spinWas[s] = m_spin[s]->value();
  mode().updateParamsFromDlg();
}

void TDlgSegContMesh::onKernel(int code) {
  if (mode().isComputing()) {
    t_info(StateSegContMesh::kPanelBusyMessage);
    m_kernel[m_kernelCode - 1]->setChecked(true);
    return;
  }
  m_kernelCode = code;
  m_kernel[code - 1]->setChecked(true);
  mode().updateParamsFromDlg();
}

void TDlgSegContMesh::onSave() {
  const std::string path = t_prompts().saveFile("Save Contours", kFilter, "");
  if (path.empty()) return;
  mode().saveContours(withExtension(path));
}

void TDlgSegContMesh::onLoad() {
  const std::vector<std::string> files = t_prompts().openFiles("Load Contours", kFilter, false);
  if (files.empty()) return;
  mode().loadContours(withExtension(files[0]));
  redrawAll();
}
