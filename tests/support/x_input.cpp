#include "x_input.h"

#include <QEvent>
#include <QThread>
#include <QWidget>
#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>

namespace e2e {

struct XInput::Api {
  void* x11 = nullptr;
  void* xtst = nullptr;
  Display* (*openDisplay)(const char*) = nullptr;
  int (*closeDisplay)(Display*) = nullptr;
  int (*sync)(Display*, Bool) = nullptr;
  KeyCode (*keysymToKeycode)(Display*, KeySym) = nullptr;
  Bool (*queryExtension)(Display*, int*, int*, int*, int*) = nullptr;
  int (*fakeMotion)(Display*, int, int, int, unsigned long) = nullptr;
  int (*fakeButton)(Display*, unsigned, Bool, unsigned long) = nullptr;
  int (*fakeKey)(Display*, unsigned, Bool, unsigned long) = nullptr;

  template <class F>
  bool load(void* lib, const char* name, F& f) {
    f = reinterpret_cast<F>(dlsym(lib, name));
    return f != nullptr;
  }
};

XInput::XInput() {
  auto* a = new Api;
  api_ = a;
  a->x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
  a->xtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL);
  if (!a->x11 || !a->xtst) return;
  const bool loaded = a->load(a->x11, "XOpenDisplay", a->openDisplay) &&
                      a->load(a->x11, "XCloseDisplay", a->closeDisplay) && a->load(a->x11, "XSync", a->sync) &&
                      a->load(a->x11, "XKeysymToKeycode", a->keysymToKeycode) &&
                      a->load(a->xtst, "XTestQueryExtension", a->queryExtension) &&
                      a->load(a->xtst, "XTestFakeMotionEvent", a->fakeMotion) &&
                      a->load(a->xtst, "XTestFakeButtonEvent", a->fakeButton) &&
                      a->load(a->xtst, "XTestFakeKeyEvent", a->fakeKey);
  if (!loaded) return;
  Display* d = a->openDisplay(nullptr);
  if (!d) return;
  int ev = 0, err = 0, major = 0, minor = 0;
  if (!a->queryExtension(d, &ev, &err, &major, &minor)) {
    a->closeDisplay(d);
    return;
  }
  dpy_ = d;
}

XInput::~XInput() {
  if (dpy_) api_->closeDisplay(static_cast<Display*>(dpy_));
  if (api_->xtst) dlclose(api_->xtst);
  if (api_->x11) dlclose(api_->x11);
  delete api_;
}

void XInput::moveTo(QPoint g) {
  if (dpy_) api_->fakeMotion(static_cast<Display*>(dpy_), -1, g.x(), g.y(), 0);
}

void XInput::button(unsigned b, bool press) {
  if (dpy_) api_->fakeButton(static_cast<Display*>(dpy_), b, press ? True : False, 0);
}

void XInput::key(unsigned long keysym, bool press) {
  if (!dpy_) return;
  Display* d = static_cast<Display*>(dpy_);
  api_->fakeKey(d, api_->keysymToKeycode(d, keysym), press ? True : False, 0);
}

void XInput::flush() {
  if (dpy_) api_->sync(static_cast<Display*>(dpy_), False);
}

SlowFrames::SlowFrames(QWidget* w, int ms) : w_(w), ms_(ms) { w_->installEventFilter(this); }

SlowFrames::~SlowFrames() { w_->removeEventFilter(this); }

bool SlowFrames::eventFilter(QObject*, QEvent* e) {
  if (e->type() == QEvent::Paint) {
    ++paints;
    QThread::msleep(ms_);
  } else if (e->type() == QEvent::MouseButtonRelease) {
    ++releases;
  }
  return false;
}

XDrag::XDrag(XInput& in, unsigned button, unsigned long keysym, std::vector<QPoint> pts, int intervalMs)
    : thread_([this, &in, button, keysym, pts = std::move(pts), intervalMs] {
        const auto pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
        in.moveTo(pts.front());
        if (keysym) in.key(keysym, true);
        in.flush();
        pause(100);
        in.button(button, true);
        in.flush();
        for (std::size_t i = 1; i < pts.size(); ++i) {
          pause(intervalMs);
          in.moveTo(pts[i]);
          in.flush();
        }
        pause(intervalMs);
        in.button(button, false);
        if (keysym) in.key(keysym, false);
        in.flush();
        done_.store(true, std::memory_order_release);
      }) {}

XDrag::~XDrag() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace e2e
