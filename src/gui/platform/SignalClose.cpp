#include "platform/SignalClose.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace recdesk::gui {

namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
void onSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto n = ::write(signalPipe[0], &byte, 1);
}

}  // namespace

void closeOnTerminationSignals(QWidget* window) {
  if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return;
  ::fcntl(signalPipe[0], F_SETFL, O_NONBLOCK);
  auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, window);
  QObject::connect(notifier, &QSocketNotifier::activated, window, [window] {
    char buffer[16];
    [[maybe_unused]] const auto n = ::read(signalPipe[1], buffer, sizeof buffer);
    window->close();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
}

}  // namespace recdesk::gui
