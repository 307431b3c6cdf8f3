// The import's view in the window program: the add-progress window for labels, bar and
// showing, the main window for the status bar, the grid, the error log and message boxes.
#pragma once

#include <QPointer>

#include "analysis/add_progress_form.h"
#include "analysis/import_view.h"
#include "app/dialogs.h"

namespace melodrift {

class TMainForm;

class QtImportView final : public ImportView {
 public:
  QtImportView(TMainForm& form, Dialogs& dialogs) : form_(form), dialogs_(dialogs) {}
  // The add-progress window; without one the import shows no progress.
  void SetProgressWindow(TAddProgress* window) { progress_ = window; }

  void SetLabel(int label, const std::string& text) override;
  void SetProgress(int position) override;
  void Repaint() override;
  void ShowProgressWindow() override;
  void HideProgressWindow() override;
  void ShowFileCount(const std::string& text) override;
  void ReportFailure(const std::string& status_text, const std::string& log_message) override;
  void TrackStored() override;
  void ShowError(const std::string& text) override;

 private:
  TMainForm& form_;
  Dialogs& dialogs_;
  QPointer<TAddProgress> progress_;
};

}  // namespace melodrift
