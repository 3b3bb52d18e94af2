#include "app/TDlgWinLv.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QScreen>
#include <QSlider>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/ModeViewHost.h"
#include "core/WinLvModel.h"
#include "ui/edit_sync.h"
#include "ui/panel_window.h"

#include "volume/TextureManager.h"

namespace {
TDlgWinLv* g_winLv = nullptr;

QString fmt1(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return QString::fromLatin1(buf);
}

int tenths(double v) {
  const double t = std::trunc(v * 10.0);
  if (!(t == t)) return 0;
  if (t > 2.0e9) return 2000000000;
  if (t < -2.0e9) return -2000000000;
  return static_cast<int>(t);
}
}  // namespace

TDlgWinLv& TDlgWinLv::getInst() {
  if (!g_winLv) g_winLv = new TDlgWinLv();
  return *g_winLv;
}

bool TDlgWinLv::exists() { return g_winLv != nullptr; }

void TDlgWinLv::destroyInst() {
  delete g_winLv;
  g_winLv = nullptr;
}

TDlgWinLv::TDlgWinLv() : QDialog(nullptr) {
  setWindowTitle(QStringLiteral("Window Level"));
  // A tool window of the main frame with no close button: the panel is hidden and shown by the
  // program only.
  t_makeToolPanel(this);
  t_setPanelColumn(this, TPanelColumn::Free);
  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Minimum"), this), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Maximum"), this), 0, 2);
  const char* rowNames[3] = {"1st ch", "2st ch", "3st ch"};
  for (int r = 0; r < 3; ++r) {
    const int gr = 1 + r * 3;
    grid->addWidget(new QLabel(QString::fromLatin1(rowNames[r]), this), gr, 0);
    m_minEdit[r] = new QLineEdit(this);
    m_maxEdit[r] = new QLineEdit(this);
    m_minRange[r] = new QLabel(this);
    m_maxRange[r] = new QLabel(this);
    m_minSlider[r] = new QSlider(Qt::Horizontal, this);
    m_maxSlider[r] = new QSlider(Qt::Horizontal, this);
    grid->addWidget(m_minEdit[r], gr, 1);
    grid->addWidget(m_maxEdit[r], gr, 2);
    grid->addWidget(m_minRange[r], gr + 1, 1);
    grid->addWidget(m_maxRange[r], gr + 1, 2);
    grid->addWidget(m_minSlider[r], gr + 2, 1);
    grid->addWidget(m_maxSlider[r], gr + 2, 2);
    for (QSlider* s : {m_minSlider[r], m_maxSlider[r]}) {
      s->setRange(0, 0);
      s->setValue(0);
      // The window is applied when the mouse lets go of a slider (the end of a drag, or of a
      // click beside the handle that paged it), not on every step of a drag.
      s->installEventFilter(this);
    }
    connect(m_minSlider[r], &QSlider::valueChanged, this, [this, r] { onSliderMoved(r, false); });
    connect(m_maxSlider[r], &QSlider::valueChanged, this, [this, r] { onSliderMoved(r, true); });
    // A typed bound is applied as it parses, kept within the slider's range and on its side of
    // the other bound (typing never moves the other one); editing's end shows what was applied.
    m_minPair[r] = new TEditPair(m_minEdit[r], m_minSlider[r], 1);
    m_maxPair[r] = new TEditPair(m_maxEdit[r], m_maxSlider[r], 1);
    m_minPair[r]->limit = [this, r](int&, int& hi) { hi = std::min(hi, m_maxSlider[r]->value() - 1); };
    m_maxPair[r]->limit = [this, r](int& lo, int&) { lo = std::max(lo, m_minSlider[r]->value() + 1); };
    for (TEditPair* p : {m_minPair[r], m_maxPair[r]})
      p->onTyped = [this](bool moved) {
        if (moved) onTyped();
      };
    setRowEnabled(r, r == 0);
  }
  m_created = true;
  publish();
}

// Hidden before the members go: an edit losing the focus as the window closes ends its typing.
TDlgWinLv::~TDlgWinLv() { hide(); }

void TDlgWinLv::setRowEnabled(int row, bool on) {
  for (QWidget* w : std::initializer_list<QWidget*>{m_minEdit[row], m_maxEdit[row], m_minRange[row],
                                                    m_maxRange[row], m_minSlider[row], m_maxSlider[row]})
    w->setEnabled(on);
}

void TDlgWinLv::getMinValues(double out[3]) const {
  for (int r = 0; r < 3; ++r) out[r] = m_minSlider[r]->value() * 0.1;
}

void TDlgWinLv::getMaxValues(double out[3]) const {
  for (int r = 0; r < 3; ++r) out[r] = m_maxSlider[r]->value() * 0.1;
}

void TDlgWinLv::writeRow(int r, double minValue, double maxValue, bool range) {
  {
    const QSignalBlocker b1(m_minSlider[r]), b2(m_maxSlider[r]);
    if (range) {
      // A constant channel gets a one-step window: the volume holder needs minimum < maximum.
      const int lo = tenths(minValue);
      const int hi = std::max(tenths(maxValue), lo + 1);
      m_minSlider[r]->setRange(lo, hi);
      m_maxSlider[r]->setRange(lo, hi);
    }
    m_minSlider[r]->setValue(tenths(minValue));
    m_maxSlider[r]->setValue(tenths(maxValue));
  }
  keepOrdered(r, false);
  // The edits show what the sliders hold: a value beyond the range, or one that had to give way
  // to the other bound, is not what was asked.
  m_minPair[r]->showPosition();
  m_maxPair[r]->showPosition();
  if (range) {
    m_minRange[r]->setText(fmt1(minValue));
    m_maxRange[r]->setText(fmt1(maxValue));
    m_dataMin[r] = minValue;
    m_dataMax[r] = maxValue;
  }
  publish();
}

void TDlgWinLv::keepOrdered(int r, bool maxMoved) {
  QSlider* lo = m_minSlider[r];
  QSlider* hi = m_maxSlider[r];
  if (lo->value() < hi->value()) return;
  const QSignalBlocker b1(lo), b2(hi);
  // The slider that did not move gives way; at the end of the range the moved one steps back.
  if (maxMoved) {
    lo->setValue(hi->value() - 1);
    if (lo->value() >= hi->value()) hi->setValue(lo->value() + 1);
  } else {
    hi->setValue(lo->value() + 1);
    if (lo->value() >= hi->value()) lo->setValue(hi->value() - 1);
  }
  m_minPair[r]->showPosition();
  m_maxPair[r]->showPosition();
}

void TDlgWinLv::publish() {
  double mn[3], mx[3];
  getMinValues(mn);
  getMaxValues(mx);
  TWinLvModel::getInst().setValues(mn, mx);
}

void TDlgWinLv::setChannels(int n, const double minValues[3], const double maxValues[3]) {
  // The rows of channels the volume lacks take its values for them too, so that neither they nor
  // the window handed on from them keep the previous volume's.
  for (int r = 0; r < 3; ++r) {
    setRowEnabled(r, r == 0 || r < n);
    writeRow(r, minValues[r], maxValues[r], true);
  }
}

void TDlgWinLv::setRange(int k, double minValue, double maxValue) {
  if (k < 1 || k > 3) return;
  setRowEnabled(k - 1, true);
  writeRow(k - 1, minValue, maxValue, true);
}

void TDlgWinLv::setValues(int k, double minValue, double maxValue) {
  if (k < 1 || k > 3) return;
  writeRow(k - 1, minValue, maxValue, false);
}

void TDlgWinLv::applyWindowLevel() {
  double mn[3], mx[3];
  getMinValues(mn);
  getMaxValues(mx);
  TextureManager::getInst().applyWindowLevel(mn, mx);
  if (TModeViewHost* h = t_modeViewHost()) h->redrawAll();
  std::fprintf(stderr, "update window level\n");
  std::fprintf(stderr, "%f %f %f\n", mn[0], mn[1], mn[2]);
  std::fprintf(stderr, "%f %f %f\n", mx[0], mx[1], mx[2]);
}

void TDlgWinLv::onSliderMoved(int row, bool isMax) {
  if (!m_created) return;
  (isMax ? m_maxPair[row] : m_minPair[row])->showPosition();
  keepOrdered(row, isMax);
  publish();
  // Keyboard steps of a focused slider have no drag end; a key release applies them (below).
}

void TDlgWinLv::onTyped() {
  if (!m_created) return;
  // The slider moved with its signals blocked: the exports and modes read the window from the
  // model, so it is handed on here as well as to the textures.
  publish();
  applyWindowLevel();
  update();
}

bool TDlgWinLv::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::MouseButtonRelease) {
    for (int r = 0; r < 3; ++r) {
      if (watched != m_minSlider[r] && watched != m_maxSlider[r]) continue;
      // Queued: the slider first takes the release (a drag without tracking settles only then).
      QMetaObject::invokeMethod(this, [this] { applyWindowLevel(); }, Qt::QueuedConnection);
      break;
    }
  }
  return QDialog::eventFilter(watched, e);
}

void TDlgWinLv::keyPressEvent(QKeyEvent* e) {
  // Enter and Escape never close the panel.
  if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
    e->accept();
    return;
  }
  QDialog::keyPressEvent(e);
}

void TDlgWinLv::keyReleaseEvent(QKeyEvent* e) {
  if (!e->isAutoRepeat() && (e->key() == Qt::Key_Left || e->key() == Qt::Key_Right)) applyWindowLevel();
  QDialog::keyReleaseEvent(e);
}

void TDlgWinLv::closeEvent(QCloseEvent* e) { e->ignore(); }

void TDlgWinLv::setVisible(bool visible) {
  // The main frame lays it out with its panels: it opens where it covers neither the frame nor a
  // panel, else at the column's end.  Without a frame it is kept wholly on the screen.
  if (visible && isHidden() && !t_placePanelsBeforeShow(this)) {
    const QPoint at = t_panelFrame(this).topLeft();
    t_placePanel(this, at.x(), at.y());
  }
  QDialog::setVisible(visible);
}
