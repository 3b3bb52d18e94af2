#include "platform/qt/signal_quit.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_sigFd[2] = {-1, -1};
// Read by the prompt service from any thread.
std::atomic<bool> g_received{false};

extern "C" void onTermSignal(int sig) {
  // Only async-signal-safe calls here.
  const unsigned char b = static_cast<unsigned char>(sig);
  const int saved = errno;
  ssize_t r = ::write(g_sigFd[0], &b, 1);
  (void)r;
  errno = saved;
  // A second signal takes the default action.
  struct sigaction sa {};
  sa.sa_handler = SIG_DFL;
  sigemptyset(&sa.sa_mask);
  sigaction(sig, &sa, nullptr);
}

}  // namespace

bool t_quitOnTermSignals() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || g_sigFd[0] >= 0) return g_sigFd[0] >= 0;
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sigFd) != 0) {
    std::perror("socketpair");
    return false;
  }
  ::fcntl(g_sigFd[0], F_SETFL, ::fcntl(g_sigFd[0], F_GETFL) | O_NONBLOCK);

  auto* notifier = new QSocketNotifier(g_sigFd[1], QSocketNotifier::Read, app);
  QObject::connect(notifier, &QSocketNotifier::activated, app, [notifier] {
    notifier->setEnabled(false);
    unsigned char b = 0;
    ssize_t r = ::read(g_sigFd[1], &b, 1);
    (void)r;
    g_received = true;
    std::fprintf(stderr, "signal %d: closing Kestrin\n", static_cast<int>(b));
    // exit() rather than quit(): quit() first asks every window to close, and the panels refuse,
    // and it does nothing before the main loop runs (a signal during start-up).
    QCoreApplication::exit(0);
  });

  struct sigaction sa {};
  sa.sa_handler = onTermSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  return true;
}

bool t_termSignalReceived() { return g_received; }
