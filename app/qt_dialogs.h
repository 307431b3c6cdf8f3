// The program's message boxes, confirmations, folder chooser and save dialog on Qt's standard
// dialogs.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/dialogs.h"

namespace melodrift {

class QtDialogs final : public Dialogs {
 public:
  // Boxes are centred over the active window, or over `owner` (the main window) once it is
  // set; before that, over the screen. The owner is not owned.
  void SetOwner(QWidget* owner) { owner_ = owner; }

  void ShowMessage(const std::string& text) override;
  // Yes and No, with No as the default button so that Enter never confirms by accident.
  bool Confirm(const std::string& text) override;
  std::optional<std::string> ChooseFolder(const std::string& caption,
                                          const std::string& start_folder) override;
  std::optional<std::string> SaveFileName(const std::string& caption, const std::string& filter,
                                          const std::string& default_extension) override;

  // Qt's form of a '|'-separated filter: "playlist file (*.m3u)", pairs joined by ";;".
  static QString NameFilters(const std::string& filter);

 private:
  // The window a box belongs to: the active window, else the owner.
  QWidget* Parent() const;

  QPointer<QWidget> owner_;
};

}  // namespace melodrift
