// SIGTERM, SIGINT and SIGHUP close the window the normal way, but only once that is safe.
#include <gtest/gtest.h>

#include <signal.h>

#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/qt_signal_watch.h"

namespace melodrift {
namespace {

// Counts the close events the window accepted.
class Window final : public QWidget {
 public:
  int closes = 0;

 protected:
  void closeEvent(QCloseEvent* event) override {
    ++closes;
    QWidget::closeEvent(event);
  }
};

TEST(QtSignalWatchTest, EachSignalClosesTheWindowOnce) {
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    Window window;
    window.show();
    QtSignalWatch watch(window, [] { return true; });
    ::raise(signal);
    ::raise(signal);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes > 0; }, 5000)) << signal;
    QTest::qWait(120);
    EXPECT_EQ(window.closes, 1) << signal;
    EXPECT_FALSE(window.isVisible());
  }
}

TEST(QtSignalWatchTest, WaitsUntilItIsSafeToClose) {
  Window window;
  window.show();
  bool safe = false;
  QtSignalWatch watch(window, [&] { return safe; });
  ::raise(SIGTERM);
  QTest::qWait(200);
  EXPECT_TRUE(watch.CloseRequested());
  EXPECT_EQ(window.closes, 0) << "closed while the work was running";
  safe = true;
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes == 1; }, 5000));
}

TEST(QtSignalWatchTest, AnswersAnOpenModalBoxAndClosesAfterItsLoop) {
  Window window;
  window.show();
  // As in the program: not inside a nested event loop (tests run none at the top).
  QtSignalWatch watch(window, [] { return QThread::currentThread()->loopLevel() == 0; });
  QDialog box(&window);
  QTimer::singleShot(0, [] { ::raise(SIGTERM); });
  const int result = box.exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(window.closes, 0) << "closed while the box's caller was still running";
  EXPECT_TRUE(QTest::qWaitFor([&] { return window.closes == 1; }, 5000));
}

TEST(QtSignalWatchTest, RestoresTheSignalDispositionsWhenDestroyed) {
  struct sigaction before = {};
  sigaction(SIGHUP, nullptr, &before);
  {
    Window window;
    QtSignalWatch watch(window, [] { return true; });
    struct sigaction during = {};
    sigaction(SIGHUP, nullptr, &during);
    EXPECT_NE(during.sa_handler, before.sa_handler);
  }
  struct sigaction after = {};
  sigaction(SIGHUP, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
}

}  // namespace
}  // namespace melodrift
