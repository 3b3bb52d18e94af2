#pragma once
// One editor box of the rendering panel: a picture control that shows a histogram with the
// transfer-function curves or control points, and hands its mouse input to the panel (which
// does the editing in panel coordinates, so that a stroke can leave the box and come back).
#include <QWidget>

class TDlgVisParam;

class TTransFuncBox : public QWidget {
  Q_OBJECT
 public:
  TTransFuncBox(TDlgVisParam* panel, int box, QWidget* parent);
  int boxIndex() const { return m_box; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;

 private:
  QPoint toPanel(QPointF p) const;
  TDlgVisParam* m_panel;
  int m_box;
};
