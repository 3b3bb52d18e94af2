#include "x11_session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace {

Display* dpyOf(void* p) { return static_cast<Display*>(p); }

bool onPath(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

void quiet() {
  const int null = open("/dev/null", O_RDWR);
  dup2(null, 0), dup2(null, 1), dup2(null, 2);
}

}  // namespace

X11Session::~X11Session() { stop(); }

std::string X11Session::start(int width, int height) {
  if (!onPath("Xvfb")) return "Xvfb is not installed";
  if (!onPath("openbox")) return "openbox is not installed (scripts/install-deps.sh --tests)";
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const std::string fd = std::to_string(fds[1]);
  const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  m_xvfb = fork();
  if (m_xvfb == 0) {
    close(fds[0]);
    quiet();
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) return "Xvfb did not start";
  const std::string display = ":" + number;
  setenv("DISPLAY", display.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  m_wm = fork();
  if (m_wm == 0) {
    quiet();
    execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
    _exit(127);
  }
  m_dpy = XOpenDisplay(display.c_str());
  if (!m_dpy) return "cannot open the test display";
  // The manager is up once it names itself on the root window.
  for (int i = 0; i < 200; ++i) {
    if (windowList(DefaultRootWindow(dpyOf(m_dpy)), "_NET_SUPPORTING_WM_CHECK").size() == 1) return std::string();
    usleep(50000);
  }
  return "openbox did not start";
}

void X11Session::stop() {
  if (m_dpy) XCloseDisplay(dpyOf(m_dpy));
  m_dpy = nullptr;
  for (pid_t* p : {&m_wm, &m_xvfb})
    if (*p > 0) {
      kill(*p, SIGTERM);
      waitpid(*p, nullptr, 0);
      *p = 0;
    }
}

std::vector<unsigned long> X11Session::windowList(unsigned long window, const char* property) {
  std::vector<unsigned long> out;
  if (!m_dpy) return out;
  Display* dpy = dpyOf(m_dpy);
  Atom type;
  int format;
  unsigned long n, left;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, window, XInternAtom(dpy, property, False), 0, 4096, False, XA_WINDOW, &type, &format,
                         &n, &left, &data) == Success && data) {
    for (unsigned long i = 0; i < n; ++i) out.push_back(reinterpret_cast<unsigned long*>(data)[i]);
    XFree(data);
  }
  return out;
}

std::vector<unsigned long> X11Session::stacking() {
  return m_dpy ? windowList(DefaultRootWindow(dpyOf(m_dpy)), "_NET_CLIENT_LIST_STACKING") : std::vector<unsigned long>();
}

unsigned long X11Session::transientFor(unsigned long window) {
  const std::vector<unsigned long> v = windowList(window, "WM_TRANSIENT_FOR");
  return v.empty() ? 0 : v[0];
}

bool X11Session::click(QPoint at, unsigned button) {
  using Motion = int (*)(Display*, int, int, int, unsigned long);
  using Button = int (*)(Display*, unsigned, int, unsigned long);
  static void* lib = dlopen("libXtst.so.6", RTLD_NOW);
  if (!lib || !m_dpy) return false;
  auto motion = reinterpret_cast<Motion>(dlsym(lib, "XTestFakeMotionEvent"));
  auto press = reinterpret_cast<Button>(dlsym(lib, "XTestFakeButtonEvent"));
  if (!motion || !press) return false;
  Display* dpy = dpyOf(m_dpy);
  motion(dpy, -1, at.x(), at.y(), 0);
  press(dpy, button, True, 0);
  press(dpy, button, False, 0);
  XFlush(dpy);
  return true;
}

namespace {

void sendToRoot(Display* dpy, unsigned long window, const char* message, const long (&data)[5]) {
  XEvent e = {};
  e.xclient.type = ClientMessage;
  e.xclient.window = window;
  e.xclient.message_type = XInternAtom(dpy, message, False);
  e.xclient.format = 32;
  for (int i = 0; i < 5; ++i) e.xclient.data.l[i] = data[i];
  XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(dpy);
}

}  // namespace

void X11Session::moveResize(unsigned long window, int x, int y, int width, int height) {
  if (!m_dpy) return;
  // Static gravity (the client's own corner), x, y, width and height given, from a pager.
  const long flags = StaticGravity | (0xf << 8) | (2 << 12);
  sendToRoot(dpyOf(m_dpy), window, "_NET_MOVERESIZE_WINDOW", {flags, x, y, width, height});
}

void X11Session::setMaximised(unsigned long window, bool on) {
  if (!m_dpy) return;
  Display* dpy = dpyOf(m_dpy);
  const long vert = long(XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_VERT", False));
  const long horz = long(XInternAtom(dpy, "_NET_WM_STATE_MAXIMIZED_HORZ", False));
  sendToRoot(dpy, window, "_NET_WM_STATE", {on ? 1 : 0, vert, horz, 2, 0});
}
