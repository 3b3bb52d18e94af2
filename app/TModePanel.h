#pragma once
// Base of the modes' modeless panels: hidden until the mode shows it, no close button, and the
// Enter and Escape keys never close it (the panel belongs to the mode, not to the user).
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QKeyEvent>

#include "app/TModeState.h"

class TModePanel : public QDialog {
 public:
  explicit TModePanel(const QString& title) : QDialog(nullptr) {
    setWindowTitle(title);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
  }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter || e->key() == Qt::Key_Escape) {
      e->accept();
      return;
    }
    QDialog::keyPressEvent(e);
  }
  void closeEvent(QCloseEvent* e) override { e->ignore(); }
  void reject() override {}
  void accept() override {}
};

// When the panel is visible, moves it to (x, y) keeping its size.
inline void t_placePanel(QWidget* panel, int x, int y) {
  if (panel && panel->isVisible()) panel->move(x, y);
}

// Owns one mode panel.  The mode objects live until the program's static destruction, after the
// window system is gone; the application therefore deletes the panels at exit (destroy), and a
// panel still alive without an application object is let go rather than deleted.
template <class Dlg>
class TModePanelHolder {
 public:
  TModePanelHolder() = default;
  ~TModePanelHolder() {
    if (QCoreApplication::instance()) delete m_dlg;
  }
  TModePanelHolder(const TModePanelHolder&) = delete;
  TModePanelHolder& operator=(const TModePanelHolder&) = delete;

  void create() {
    if (m_dlg) return;
    m_dlg = new Dlg();
    m_dlg->hide();
  }
  Dlg* get() const { return m_dlg; }
  void show() {
    if (m_dlg) m_dlg->show();
  }
  void hide() {
    if (m_dlg) m_dlg->hide();
  }
  void place(int x, int y) { t_placePanel(m_dlg, x, y); }
  void destroy() {
    delete m_dlg;
    m_dlg = nullptr;
  }

 private:
  Dlg* m_dlg = nullptr;
};

// A mode that owns one panel: hides, places and destroys it with the other mode panels.
template <class Dlg>
class TPanelMode : public TModeState {
 public:
  void hidePanels() override { m_dlg.hide(); }
  void placePanels(int x, int y) override { m_dlg.place(x, y); }
  void destroyPanels() override { m_dlg.destroy(); }
  Dlg* panel() const { return m_dlg.get(); }

 protected:
  TModePanelHolder<Dlg> m_dlg;
};
