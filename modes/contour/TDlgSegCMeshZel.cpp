#include "modes/contour/TDlgSegCMeshZel.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstdio>
#include <string>

#include "core/ModeViewHost.h"
#include "modes/contour/StateSegCMeshZel.h"
#include "platform/Prompt.h"
#include "ui/edit_sync.h"

namespace {

StateSegCMeshZel& mode() { return *StateSegCMeshZel::getInst(); }

void redrawAll() {
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
}

constexpr const char* kFilter = "step2 file (*.kestrnContMeshS2)";

// The chosen path with the contour-file extension when it has another one.
std::string withExtension(std::string path) {
  const std::string ext = ".kestrnContMeshS2";
  if (path.size() < ext.size() || path.compare(path.size() - ext.size(), ext.size(), ext) != 0) path += ext;
  return path;
}

QString u8(const char* s) { return QString::fromUtf8(s); }

}  // namespace

TDlgSegCMeshZel::TDlgSegCMeshZel() : TModePanel(QStringLiteral("Dialog")) {
  setObjectName(QStringLiteral("TDlgSegCMeshZel"));
  auto* top = new QVBoxLayout(this);

  auto* step1 = new QGroupBox(u8("Step 1 \"軸の指定\""), this);
  auto* s1 = new QVBoxLayout(step1);
  s1->addWidget(new QLabel(u8("shift+左 double clicで\n点を指定 (２個)"), step1));
  m_step2 = new QPushButton(u8("Step2 へ"), step1);
  m_step2->setCheckable(true);
  s1->addWidget(m_step2);
  top->addWidget(step1);

  auto* step2 = new QGroupBox(u8("Step 2 \"Set&&Modify Contours\""), this);
  auto* g = new QGridLayout(step2);
  m_back = new QPushButton(u8("Step1に戻る"), step2);
  m_next = new QPushButton(u8("次の面へ(q)"), step2);
  m_prev = new QPushButton(u8("前の面へ(w)"), step2);
  m_initPlanes = new QPushButton(u8("面位置初期化"), step2);
  m_initView = new QPushButton(u8("視点初期化"), step2);
  m_showSurf = new QCheckBox(u8("境界面表示"), step2);
  m_showRegion = new QCheckBox(u8("抽出領域表示"), step2);
  m_start = new QPushButton(u8("輪郭作成開始"), step2);
  m_start->setCheckable(true);
  m_register = new QPushButton(u8("登録"), step2);
  m_flip = new QPushButton(u8("反転"), step2);
  m_discard = new QPushButton(u8("破棄"), step2);
  m_hrbf = new QPushButton(u8("境界面計算"), step2);
  m_rbf = new QPushButton(u8("境界面計算(RBF)"), step2);
  m_save = new QPushButton(u8("輪郭 Save"), step2);
  m_load = new QPushButton(u8("輪郭 Load"), step2);
  m_edit = new QLineEdit(step2);
  m_spin = new QSpinBox(step2);
  m_spin->setRange(1, 500);
  m_spin->setValue(200);
  g->addWidget(m_back, 0, 0, 1, 2);
  g->addWidget(m_next, 1, 0);
  g->addWidget(m_prev, 1, 1);
  g->addWidget(m_initPlanes, 2, 0);
  g->addWidget(m_initView, 2, 1);
  g->addWidget(m_showSurf, 3, 0);
  g->addWidget(m_showRegion, 3, 1);
  g->addWidget(m_start, 4, 0, 1, 2);
  g->addWidget(new QLabel(u8("shift+左 clickで点を追加"), step2), 5, 0, 1, 2);
  g->addWidget(new QLabel(u8("shift+右 clickで点を削除"), step2), 6, 0, 1, 2);
  g->addWidget(m_register, 7, 0);
  g->addWidget(m_flip, 7, 1);
  g->addWidget(m_discard, 8, 0);
  g->addWidget(new QLabel(QStringLiteral("Wcol"), step2), 9, 0);
  auto* w = new QHBoxLayout();
  w->addWidget(m_edit);
  w->addWidget(m_spin);
  g->addLayout(w, 9, 1);
  g->addWidget(m_hrbf, 10, 0);
  g->addWidget(m_rbf, 10, 1);
  g->addWidget(m_save, 11, 0);
  g->addWidget(m_load, 11, 1);
  top->addWidget(step2);
  auto* finish = new QPushButton(QStringLiteral("Finish"), this);
  top->addWidget(finish);

  connect(m_step2, &QPushButton::clicked, this, [this](bool on) { onStep2(on); });
  connect(m_back, &QPushButton::clicked, this, [this] {
    if (!isStep2()) {
      std::fprintf(stderr, "strange Error !!\n");
      return;
    }
    mode().backToStep1();
  });
  connect(m_next, &QPushButton::clicked, this, [] { mode().nextPlane(); });
  connect(m_prev, &QPushButton::clicked, this, [] { mode().prevPlane(); });
  connect(m_initPlanes, &QPushButton::clicked, this, [] { mode().initPlanes(); });
  connect(m_initView, &QPushButton::clicked, this, [] { mode().initViewpoint(); });
  for (QCheckBox* b : {m_showSurf, m_showRegion}) connect(b, &QCheckBox::clicked, this, [] { redrawAll(); });
  connect(m_start, &QPushButton::clicked, this, [this](bool on) { onStart(on); });
  connect(m_register, &QPushButton::clicked, this, [] { mode().registerContour(); });
  connect(m_flip, &QPushButton::clicked, this, [] { mode().flipSide(); });
  connect(m_discard, &QPushButton::clicked, this, [] { mode().discardContour(); });
  connect(m_hrbf, &QPushButton::clicked, this, [] { mode().calcSurfaceHrbf(); });
  connect(m_rbf, &QPushButton::clicked, this, [] { mode().calcSurfaceRbf(); });
  connect(m_save, &QPushButton::clicked, this, [this] { onSave(); });
  connect(m_load, &QPushButton::clicked, this, [this] { onLoad(); });
  connect(finish, &QPushButton::clicked, this, [] { mode().finish(); });
  connect(m_spin, qOverload<int>(&QSpinBox::valueChanged), this, [this] { writeEdit(); });
  // The typed weight moves the spin as soon as it parses; the edit shows the spin's value when
  // editing ends.
  m_pair = new TEditPair(m_edit, m_spin, 2);

  // Start values without showing the panel (panels are created hidden).
  setStartValues();
}

QPushButton* TDlgSegCMeshZel::button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

void TDlgSegCMeshZel::writeEdit() { m_pair->showPosition(); }

void TDlgSegCMeshZel::updateControls() {
  showPanel();
  setStartValues();
}

void TDlgSegCMeshZel::setStartValues() {
  {
    const QSignalBlocker block(m_spin);
    m_spin->setValue(200);
  }
  writeEdit();
  m_showSurf->setChecked(true);
  m_showRegion->setChecked(true);
  setStep2(false);
}

bool TDlgSegCMeshZel::isStep2() const { return m_step2->isChecked(); }

void TDlgSegCMeshZel::setStep2(bool on) {
  {
    const QSignalBlocker block(m_step2);
    m_step2->setChecked(on);
  }
  m_step2->setEnabled(!on);
  for (QWidget* c : std::initializer_list<QWidget*>{m_back, m_initView, m_next, m_prev, m_initPlanes, m_start, m_hrbf,
                                                     m_rbf, m_edit, m_spin, m_showSurf, m_showRegion})
    c->setEnabled(on);
  // The file buttons stay enabled: saving tells why it is refused in step 1, and a loaded file
  // brings its own axis.
  setContourStarted(false);
}

bool TDlgSegCMeshZel::isContourStarted() const { return m_start->isChecked(); }

void TDlgSegCMeshZel::setContourStarted(bool on) {
  {
    const QSignalBlocker block(m_start);
    m_start->setChecked(on);
  }
  const bool step2 = isStep2();
  for (QWidget* c : std::initializer_list<QWidget*>{m_next, m_prev, m_initPlanes, m_start}) c->setEnabled(step2 && !on);
  for (QWidget* c : std::initializer_list<QWidget*>{m_register, m_flip, m_discard}) c->setEnabled(step2 && on);
}

bool TDlgSegCMeshZel::showSurface() const { return m_showSurf->isChecked(); }
void TDlgSegCMeshZel::setShowSurface(bool on) { m_showSurf->setChecked(on); }
bool TDlgSegCMeshZel::showRegion() const { return m_showRegion->isChecked(); }
void TDlgSegCMeshZel::setShowRegion(bool on) { m_showRegion->setChecked(on); }
int TDlgSegCMeshZel::weightPosition() const { return m_spin->value(); }

void TDlgSegCMeshZel::setWeightPosition(int pos) {
  {
    const QSignalBlocker block(m_spin);
    m_spin->setValue(pos);  // clamped to the range
  }
  writeEdit();
}

void TDlgSegCMeshZel::onStep2(bool checked) {
  if (!checked) {
    std::fprintf(stderr, "strange Error !!\n");
    setStep2(true);
    return;
  }
  mode().goStep2();  // puts the panel into the step it reached
}

void TDlgSegCMeshZel::onStart(bool checked) {
  if (!checked || !isStep2()) {
    std::fprintf(stderr, "strange error !\n");
    setContourStarted(!checked);
    return;
  }
  {
    const QSignalBlocker block(m_start);
    m_start->setChecked(false);
  }
  mode().startContour();  // checks the box again when the contour starts
}

void TDlgSegCMeshZel::onSave() {
  const std::string path = t_prompts().saveFile(u8("輪郭 Save").toStdString(), kFilter, "");
  if (path.empty()) return;
  mode().saveContours(withExtension(path));
}

void TDlgSegCMeshZel::onLoad() {
  const std::vector<std::string> files = t_prompts().openFiles(u8("輪郭 Load").toStdString(), kFilter, false);
  if (files.empty()) return;
  mode().loadContours(withExtension(files[0]));
  redrawAll();
}
