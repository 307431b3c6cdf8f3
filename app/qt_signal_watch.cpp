#include "app/qt_signal_watch.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace melodrift {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};
constexpr int kRetryMs = 50;

// The pipe's ends; the write end is all the signal handler touches.
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[kSignals.size()];

extern "C" void OnSignal(int) {
  const int saved = errno;
  const char byte = 1;
  // A full pipe already holds a pending request; the byte may be dropped.
  [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

QtSignalWatch::QtSignalWatch(QWidget& window, std::function<bool()> safe_to_close, QObject* parent)
    : QObject(parent), window_(&window), safe_to_close_(std::move(safe_to_close)) {
  if (g_pipe[0] != -1) throw std::logic_error("only one QtSignalWatch per process");
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error("cannot create the signal pipe");
  }
  notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &QtSignalWatch::SignalArrived);
  retry_.setInterval(kRetryMs);
  connect(&retry_, &QTimer::timeout, this, &QtSignalWatch::TryClose);

  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

QtSignalWatch::~QtSignalWatch() {
  for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  notifier_.reset();
  ::close(g_pipe[0]);
  ::close(g_pipe[1]);
  g_pipe[0] = g_pipe[1] = -1;
}

void QtSignalWatch::SignalArrived() {
  char buffer[64];
  while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
  }
  close_requested_ = true;
  TryClose();
}

void QtSignalWatch::TryClose() {
  if (!window_) {
    retry_.stop();
    return;
  }
  // A modal box waits for an answer the user will not give: it is answered with Cancel.
  if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) dialog->reject();
  if (!safe_to_close_() || !window_->close()) {
    if (!retry_.isActive()) retry_.start();
    return;
  }
  retry_.stop();
}

}  // namespace melodrift
