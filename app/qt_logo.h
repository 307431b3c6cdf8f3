// The program's logo (128 x 128), also its window icon.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace melodrift {

QPixmap MelodriftLogo();
QIcon MelodriftIcon();

}  // namespace melodrift
