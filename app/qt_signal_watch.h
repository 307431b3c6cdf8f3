// Ends the program the normal way when the system asks: SIGTERM, SIGINT and SIGHUP close the
// main window (its close handler closes the tables and writes their headers), so a logout or
// a `kill` loses nothing.
//
// The signal handler only writes a byte to a pipe (async-signal-safe); the event loop reads it
// through a QSocketNotifier. The close then waits until it is safe: an open modal box is
// rejected first, and work that lets events run (the library opening, ...) is left to finish.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace melodrift {

class QtSignalWatch final : public QObject {
  Q_OBJECT

 public:
  // One watch per process. `safe_to_close` says whether the window may close now; it is asked
  // again every 50 ms until it says yes. The previous signal dispositions come back when the
  // watch is destroyed.
  QtSignalWatch(QWidget& window, std::function<bool()> safe_to_close, QObject* parent = nullptr);
  ~QtSignalWatch() override;
  QtSignalWatch(const QtSignalWatch&) = delete;
  QtSignalWatch& operator=(const QtSignalWatch&) = delete;

  bool CloseRequested() const { return close_requested_; }

 private:
  void SignalArrived();
  void TryClose();

  QPointer<QWidget> window_;
  std::function<bool()> safe_to_close_;
  std::unique_ptr<QSocketNotifier> notifier_;
  QTimer retry_;
  bool close_requested_ = false;
};

}  // namespace melodrift
