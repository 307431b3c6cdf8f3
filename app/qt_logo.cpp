#include "app/qt_logo.h"

#include <QtGlobal>

// The resource lives in a static library: referencing its initialiser keeps the linker from
// dropping it. Q_INIT_RESOURCE must be used outside any namespace.
static void InitLogoResource() {
  Q_INIT_RESOURCE(resources);
}

namespace melodrift {

namespace {

const char kLogoPath[] = ":/melodrift/logo.png";

}  // namespace

QPixmap MelodriftLogo() {
  static const bool initialised = (InitLogoResource(), true);
  (void)initialised;
  return QPixmap(kLogoPath);
}

QIcon MelodriftIcon() {
  return QIcon(MelodriftLogo());
}

}  // namespace melodrift
