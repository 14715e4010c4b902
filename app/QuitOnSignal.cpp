#include "app/QuitOnSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <QCoreApplication>
#include <QSocketNotifier>

namespace {

int writeEnd = -1;

void onSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a pending quit.
  [[maybe_unused]] const ssize_t n = ::write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

bool quitOnTerminationSignals(QCoreApplication& app) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  writeEnd = fds[1];
  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [fd = fds[0]] {
    char buffer[16];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    QCoreApplication::quit();
  });
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGINT, SIGTERM, SIGHUP})
    if (::sigaction(sig, &action, nullptr) != 0) return false;
  return true;
}
