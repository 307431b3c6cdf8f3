// The configuration wizard (TConfigForm): offered at start-up when the library holds no track.
#pragma once

#include <QDialog>

class QPushButton;

namespace melodrift {

class TConfigForm final : public QDialog {
  Q_OBJECT

 public:
  explicit TConfigForm(QWidget* parent = nullptr);

  // Shows the wizard without blocking, centred on `window` (which may not be visible yet).
  void ShowCentredOn(const QWidget& window);

  void SpButton1Click();    // "Add"
  void CloseButtonClick();  // "Skip"

  QPushButton* SpButton1;
  QPushButton* CloseButton;

 signals:
  // "Add": the main window's Add Files command runs.
  void AddFilesRequested();
};

}  // namespace melodrift
