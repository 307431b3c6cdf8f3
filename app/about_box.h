// The about box (TAboutBox): logo, name, version and a one-line description.
#pragma once

#include <QDialog>

namespace melodrift {

class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

}  // namespace melodrift
