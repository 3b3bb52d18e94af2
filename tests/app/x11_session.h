// An X display of a test's own: Xvfb with a screen of the given size and the openbox window
// manager, and what the window manager sees of the test's windows (stacking order, transient-for)
// and real clicks through the XTEST extension.  Kept apart from Qt code (Xlib's macros clash).
#pragma once

#include <QPoint>

#include <string>
#include <sys/types.h>
#include <vector>

class X11Session {
 public:
  ~X11Session();
  // Starts Xvfb and openbox and sets DISPLAY (and the xcb platform); an empty string on success,
  // else why it could not (a missing tool, a server that did not start).
  std::string start(int width, int height);
  void stop();
  bool connected() const { return m_dpy != nullptr; }

  // Client windows bottom to top, as the window manager stacks them.
  std::vector<unsigned long> stacking();
  unsigned long transientFor(unsigned long window);
  // A real click of an X button (1 left, 2 middle, 3 right) at a screen point; false without XTEST.
  bool click(QPoint at, unsigned button);
  // Asks the window manager, as a pager or the user's drag would, to give a client window this
  // client rectangle, or to maximise or restore it.
  void moveResize(unsigned long window, int x, int y, int width, int height);
  void setMaximised(unsigned long window, bool on);

 private:
  std::vector<unsigned long> windowList(unsigned long window, const char* property);
  void* m_dpy = nullptr;
  pid_t m_xvfb = 0, m_wm = 0;
};
