// The transfer-function editor of the rendering panel: histogram pictures, painting of the curves
// and control points, mouse editing, the mode-dependent height and the INI / 0 buttons.
#include <QCheckBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "ui/panel_window.h"
#include "view/TDlgVisParam.h"
#include "view/TTransFuncEditor.h"
#include "view/transfunc_paint.h"
#include "volume/TextureManager.h"

namespace {
// Editor curves: value 0 sits at 0.9 of the box height from the top, so the lowest tenth of the
// box paints values below 0 (clamped to 0).
constexpr double kZeroLevel = 0.9;
const QColor kCurveColour(0, 0, 255);
const QColor kZeroColour(0, 255, 0);
const QColor kTextColour(255, 21, 21);
}  // namespace

QRect TDlgVisParam::editorRect(int box) const {
  if (box < 1 || box > 3) return QRect();
  return m_boxRects[box - 1];
}

int TDlgVisParam::getEditorCount() const {
  switch (m_volumeMode) {
    case 0:
      return 0;
    case 3:
      return 1;
    case 2:
      return 2;
    case 1: {
      int c = TextureManager::getInst().channelCount;
      return (c == 1 || c == 2) ? c : 3;
    }
    default:
      return 0;
  }
}

int TDlgVisParam::panelHeightFor(int boxes) const {
  // Qt sizes the client area, so no caption height enters here.
  int h = m_boxRects[2].height();
  switch (boxes) {
    case 0:
      return m_boxRects[0].top() + 10;
    case 1:
      return m_boxRects[0].top() + h + 10;
    case 2:
      return m_boxRects[1].top() + h + 10;
    default:
      return m_boxRects[2].top() + h + 10;
  }
}

void TDlgVisParam::updateModeControls(int volumeMode, bool planes, bool xy, bool yz, bool zx,
                                      bool exclusive) {
  if (!m_heightsKnown) {
    for (int n = 0; n < 4; ++n) m_heights[n] = panelHeightFor(n);
    m_heightsKnown = true;
  }
  m_volumeMode = volumeMode;
  int n = getEditorCount();
  for (int k = 0; k < 3; ++k) {
    m_boxes[k]->setVisible(k < n);
    m_btnIni[k]->setVisible(k < n);
    m_btnZero[k]->setVisible(k < n);
  }
  t_setPanelContentSize(this, QSize(t_panelContentSize(this).width(), m_heights[std::clamp(n, 0, 3)]));

  m_planesEnabled = planes;
  m_exclusivePlanes = exclusive;
  const bool on[3] = {xy, yz, zx};
  for (int i = 0; i < 3; ++i) {
    m_chkPlane[i]->setEnabled(planes);
    m_chkPlane[i]->setChecked(planes && on[i]);
  }
  update();
  for (auto* b : m_boxes) b->update();
}

// ---------------------------------------------------------------------------------------------
// Histogram pictures

void TDlgVisParam::updateTransFuncImage() {
  const int w = m_boxW, h = m_boxH;
  if (h >= 1 && w >= 2) {
    const TextureManager& tm = TextureManager::getInst();
    for (auto& img : m_bgImages) img.assign(size_t(w) * h * 4, 0);
    const bool haveJoint = tm.histJoint.size() >= 256 * 256;
    for (int y = 0; y < h; ++y) {
      double t = h > 1 ? double(y) / (h - 1) : 0.0;
      int tBin = int(t * 255);
      for (int x = 0; x < w; ++x) {
        int i = int(double(x) / (w - 1) * 255);
        size_t o = (size_t(y) * w + x) * 4;  // row y from the bottom
        for (int k = 0; k < 5; ++k) {
          unsigned char g = tm.hist[k][i] >= t ? 128 : 255;
          unsigned char* p = &m_bgImages[k][o];
          p[0] = p[1] = p[2] = g;
          p[3] = 0;
        }
        double v = haveJoint ? tm.histJoint[size_t(i) * 256 + tBin] : 0.0;
        unsigned char g = (unsigned char)std::clamp(int(v * 255), 0, 255);
        unsigned char* p = &m_bgImages[5][o];
        p[0] = p[1] = p[2] = g;
        p[3] = 0;
      }
    }
  }
  update();
  for (auto* b : m_boxes) b->update();
}

// ---------------------------------------------------------------------------------------------
// Painting

void TDlgVisParam::paintEditorBox(int box, QPainter& painter) {
  const int w = m_boxW, h = m_boxH;
  const int n = getEditorCount();
  if (!m_created || w < 2 || h < 2 || box < 1 || box > n) {
    painter.fillRect(painter.viewport(), Qt::white);
    return;
  }
  TextureManager& tm = TextureManager::getInst();
  int bg = 0;
  if (m_volumeMode == 1) bg = box - 1;
  else if (m_volumeMode == 2) bg = box == 1 ? 3 : 4;
  else bg = 5;

  std::vector<unsigned char> picture = m_bgImages[bg];
  if (picture.size() != size_t(w) * h * 4) picture.assign(size_t(w) * h * 4, 255);
  if (m_volumeMode == 3) tm.tf2D.overlayPicture(picture.data(), w, h);
  // The pictures are stored bottom row first, 4 bytes B, G, R, A: a 32-bit RGB image upside down.
  QImage img(picture.data(), w, h, w * 4, QImage::Format_RGB32);
  painter.drawImage(QRect(0, 0, w, h), img.mirrored(false, true));

  QPen curvePen(kCurveColour, 2);
  QPen zeroPen(kZeroColour, 2);
  painter.setPen(kTextColour);
  const char* text = "";
  if (m_volumeMode == 1 || m_volumeMode == 2) {
    const TransFunc_1D& tf = m_volumeMode == 1 ? tm.tfI : tm.tfIG;
    int zeroY = int(kZeroLevel * h);
    painter.setPen(zeroPen);
    painter.drawLine(0, zeroY, w, zeroY);
    painter.setPen(curvePen);
    if (tf.data && tf.N >= 256) t_drawTransFuncCurve(painter, tf, box - 1, w, zeroY);
    text = (m_volumeMode == 1 || box == 1) ? "intensity stroke to modify"
                                           : "gradient  stroke to modify";
  } else if (m_volumeMode == 3) {
    painter.setPen(curvePen);
    painter.setBrush(Qt::NoBrush);
    t_drawTransFuncPoints(&painter, tm.tf2D, picture.data(), w, h);
    text = "multiDim  dblclck to add probe";
  }
  painter.setPen(kTextColour);
  painter.drawText(QRect(2, 2, w - 4, 20), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromUtf8(text));
}

// ---------------------------------------------------------------------------------------------
// Mouse editing

int TDlgVisParam::hitEditorBox(QPoint p, QPoint& boxPoint) const {
  int n = getEditorCount();
  for (int k = 0; k < n && k < 3; ++k) {
    const QRect& r = m_boxRects[k];
    int left = r.left(), top = r.top(), w = r.width(), h = r.height();
    if (p.x() >= left && p.x() <= left + w && p.y() >= top && p.y() <= top + h) {
      boxPoint = QPoint(p.x() - left, h - (p.y() - top));
      return k + 1;
    }
  }
  return 0;
}

void TDlgVisParam::OnLButtonDown(QPoint p) {
  if (!m_created) return;
  m_dragging = true;
  QPoint bp;
  int box = hitEditorBox(p, bp);
  m_boxPressed = box;
  if (box) {
    m_boxes[box - 1]->setFocus();
    if (m_volumeMode == 1 || m_volumeMode == 2) m_stroke = true;
    if (m_volumeMode == 3)
      m_pickedPoint = TextureManager::getInst().tf2D.pickPoint(bp.x(), bp.y(), m_boxW, m_boxH);
  }
  if (viewHooks().setButtonHeld) viewHooks().setButtonHeld(true);
  m_prevPoint = bp;
  repaintPanelAndMainView();
}

void TDlgVisParam::OnMouseMove(QPoint p) {
  if (!m_created || !m_dragging) return;
  QPoint bp;
  int box = hitEditorBox(p, bp);
  if (box == 0 || box != m_boxPressed) return;
  TextureManager& tm = TextureManager::getInst();
  const double w = m_boxW, h = m_boxH;
  auto valueOf = [h](int y) { return (y / h) * 10.0 / 9.0 - 1.0 / 9.0; };
  if ((m_volumeMode == 1 || m_volumeMode == 2) && m_stroke) {
    TransFunc_1D& tf = m_volumeMode == 1 ? tm.tfI : tm.tfIG;
    tf.paintByStroke(box - 1, m_prevPoint.x() / w, valueOf(m_prevPoint.y()), bp.x() / w,
                     valueOf(bp.y()), nullptr);
  } else if (m_volumeMode == 3 && m_pickedPoint >= 0) {
    tm.tf2D.movePoint(m_pickedPoint, bp.x(), bp.y(), m_boxW, m_boxH, nullptr);
  }
  m_prevPoint = bp;
  repaintPanelAndMainView();
}

void TDlgVisParam::OnLButtonUp(QPoint) {
  if (!m_created || !m_dragging) return;
  m_dragging = false;
  m_stroke = false;
  m_boxPressed = 0;
  m_pickedPoint = -1;
  if (viewHooks().setButtonHeld) viewHooks().setButtonHeld(false);
  repaintPanelAndMainView();
}

void TDlgVisParam::OnLButtonDblClk(QPoint p) {
  if (!m_created || m_volumeMode != 3) return;
  QPoint bp;
  if (hitEditorBox(p, bp) != 1) return;
  TransFunc_2D& tf = TextureManager::getInst().tf2D;
  int hit = tf.pickPoint(bp.x(), bp.y(), m_boxW, m_boxH);
  if (hit >= 0) {
    tf.deletePoint(hit, nullptr);
  } else {
    tf.addPoint(bp.x(), bp.y(), m_boxW, m_boxH, nullptr);
  }
  repaintPanelAndMainView();
}

void TDlgVisParam::OnMouseWheel(QPoint p, int delta) {
  if (!m_created || m_volumeMode != 3) return;
  QPoint bp;
  if (hitEditorBox(p, bp) != 1) return;
  m_boxes[0]->setFocus();
  TransFunc_2D& tf = TextureManager::getInst().tf2D;
  int hit = tf.pickPoint(bp.x(), bp.y(), m_boxW, m_boxH);
  if (hit >= 0) tf.resizePoint(hit, delta > 0 ? 0.01 : -0.01, nullptr);
  repaintPanelAndMainView();
}

// ---------------------------------------------------------------------------------------------
// INI and 0

void TDlgVisParam::onIniClicked(int box) {
  if (!m_created || m_volumeMode == 0) return;
  TextureManager& tm = TextureManager::getInst();
  if (m_volumeMode == 1) {
    tm.tfI.resetChannel(box - 1, nullptr);
  } else if (m_volumeMode == 2) {
    if (box <= 2) tm.tfIG.resetChannel(box - 1, nullptr);
  } else if (m_volumeMode == 3) {
    if (box == 1) tm.tf2D.init(nullptr);
  }
  repaintPanelAndMainView();
}

void TDlgVisParam::onZeroClicked(int box) {
  if (!m_created || m_volumeMode == 0) return;
  TextureManager& tm = TextureManager::getInst();
  if (m_volumeMode == 1) {
    tm.tfI.clearChannel(box - 1, nullptr);
  } else if (m_volumeMode == 2) {
    if (box <= 2) tm.tfIG.clearChannel(box - 1, nullptr);
  } else if (m_volumeMode == 3) {
    if (box == 1) {
      tm.tf2D.points.clear();
      tm.tf2D.updateTexture(nullptr);
    }
  }
  repaintPanelAndMainView();
}
