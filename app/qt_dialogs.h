// The program's message boxes, confirmations and folder chooser on Qt's standard dialogs.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/dialogs.h"

namespace melodrift {

class QtDialogs final : public Dialogs {
 public:
  // Boxes are centred over `owner` (the main window) once it is set; before that, over the
  // screen. The owner is not owned.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(const std::string& text) override;
  // Yes and No, with No as the default button so that Enter never confirms by accident.
  bool Confirm(const std::string& text) override;
  std::optional<std::string> ChooseFolder(const std::string& caption,
                                          const std::string& start_folder) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace melodrift
