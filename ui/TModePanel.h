#pragma once
// Base of the modes' modeless panels: a tool window of the main frame, hidden until the mode
// shows it, no close button, and the Enter and Escape keys never close it (the panel belongs to
// the mode, not to the user).
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/ModeRegistry.h"
#include "core/TModeState.h"
#include "ui/panel_window.h"

class TModePanel : public QDialog, public TModePanelIf {
 public:
  explicit TModePanel(const QString& title) : QDialog(nullptr) {
    setWindowTitle(title);
    t_makeToolPanel(this);
    setModal(false);
  }

  void showPanel() override { show(); }
  void hidePanel() override { hide(); }
  // Placed again just before it appears (its contents may have changed its height).
  void setVisible(bool visible) override {
    if (visible && isHidden()) t_placePanelsBeforeShow(this);
    QDialog::setVisible(visible);
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

// The registry entry of a mode with one panel made by `make`: the panel is made hidden and
// attached when the application builds its panels, and detached and deleted at exit.
template <class Mode, class Make>
TModeEntry t_panelModeEntry(std::string name, std::vector<int> ids, int order, Mode* (*accessor)(),
                            Make make) {
  TModeEntry e;
  e.order = order;
  e.name = std::move(name);
  e.ids = std::move(ids);
  e.mode = [accessor]() -> TModeState* { return accessor(); };
  auto made = std::make_shared<QDialog*>(nullptr);
  e.createPanels = [accessor, make, made] {
    Mode* m = accessor();
    if (*made || m->panel()) return;
    auto* d = make();
    d->hide();
    *made = d;
    m->attachPanel(d);
  };
  e.destroyPanels = [accessor, made] {
    accessor()->attachPanel(nullptr);
    delete *made;
    *made = nullptr;
  };
  return e;
}

// A mode panel that has only its title (modes whose controls have not been built).
class TPlainModePanel : public TModePanel {
 public:
  TPlainModePanel(const char* title, const char* objectName) : TModePanel(QString::fromUtf8(title)) {
    setObjectName(QString::fromUtf8(objectName));
    resize(300, 200);
  }
};
