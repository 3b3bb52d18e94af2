// Mouse and keyboard input through the X server's test extension, as a user's devices give it:
// the events reach the program through the window system, where Qt merges mouse moves that
// arrive while the program is busy.  libX11 and libXtst are loaded at run time; a test skips when
// they or the extension are missing.
#pragma once

#include <QObject>
#include <QPoint>
#include <atomic>
#include <thread>
#include <vector>

class QWidget;

namespace e2e {

class XInput {
 public:
  XInput();  // on the display named by DISPLAY
  ~XInput();
  XInput(const XInput&) = delete;
  XInput& operator=(const XInput&) = delete;
  bool ok() const { return dpy_ != nullptr; }

  // Screen positions; button 1 left, 2 middle, 3 right; keysym e.g. XK_Control_L.
  void moveTo(QPoint global);
  void button(unsigned button, bool press);
  void key(unsigned long keysym, bool press);
  void flush();

 private:
  struct Api;
  Api* api_ = nullptr;
  void* dpy_ = nullptr;
};

// A drag sent from a thread of its own while the test's thread runs the program's event loop:
// the key pressed, the button pressed at pts[0], one move to each later point every intervalMs,
// then the button and the key let go.  keysym 0 holds no key.
// Makes every paint of a widget take ms milliseconds longer (a slow graphics card) while it
// lives, and counts the paints and the button releases the widget gets.
class SlowFrames : public QObject {
 public:
  SlowFrames(QWidget* w, int ms);
  ~SlowFrames() override;
  int paints = 0, releases = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override;

 private:
  QWidget* w_;
  int ms_;
};

class XDrag {
 public:
  XDrag(XInput& in, unsigned button, unsigned long keysym, std::vector<QPoint> pts, int intervalMs);
  ~XDrag();
  bool finished() const { return done_.load(std::memory_order_acquire); }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace e2e
