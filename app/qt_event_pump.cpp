#include "app/qt_event_pump.h"

#include <QCoreApplication>

namespace melodrift {

void QtEventPump::ProcessEvents() {
  QCoreApplication::processEvents();
}

}  // namespace melodrift
