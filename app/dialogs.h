// Every question, message box and file chooser of the program goes through this interface,
// so that window tests answer them without a person. Main thread only; each call blocks until
// answered.
#pragma once

#include <optional>
#include <string>

namespace melodrift {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A plain message box with an OK button.
  virtual void ShowMessage(const std::string& text) = 0;
  // A confirmation box with Yes and No; true only for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // A folder chooser that can create folders. Empty when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& caption,
                                                  const std::string& start_folder) = 0;
  // A save-file chooser. `filter` lists description and pattern pairs separated by '|'
  // ("playlist file|*.m3u"); a name typed without an extension gets `default_extension`. An
  // existing file is chosen without a question. Empty when cancelled.
  virtual std::optional<std::string> SaveFileName(const std::string& caption,
                                                  const std::string& filter,
                                                  const std::string& default_extension) = 0;
};

}  // namespace melodrift
