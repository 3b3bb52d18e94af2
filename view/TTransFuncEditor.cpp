#include "view/TTransFuncEditor.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include "view/TDlgVisParam.h"

TTransFuncBox::TTransFuncBox(TDlgVisParam* panel, int box, QWidget* parent)
    : QWidget(parent), m_panel(panel), m_box(box) {
  setFocusPolicy(Qt::ClickFocus);
  setMouseTracking(false);
}

QPoint TTransFuncBox::toPanel(QPointF p) const {
  // The boxes' rectangles are given in the panel's client coordinates, which are those of the
  // box's parent also when the panel scrolls its contents.
  return mapToParent(p.toPoint());
}

void TTransFuncBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  m_panel->paintEditorBox(m_box, painter);
}

void TTransFuncBox::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) m_panel->OnLButtonDown(toPanel(e->position()));
}

void TTransFuncBox::mouseMoveEvent(QMouseEvent* e) {
  m_panel->OnMouseMove(toPanel(e->position()));
}

void TTransFuncBox::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) m_panel->OnLButtonUp(toPanel(e->position()));
}

void TTransFuncBox::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) m_panel->OnLButtonDblClk(toPanel(e->position()));
}

void TTransFuncBox::wheelEvent(QWheelEvent* e) {
  m_panel->OnMouseWheel(toPanel(e->position()), e->angleDelta().y());
  e->accept();
}
