// The import's view in melodrift-cli: a one-line text progress bar on standard error when it
// is a terminal, and the failures the window program shows in its status bar as lines of
// their own (also written to the error log).
#pragma once

#include <chrono>
#include <ostream>
#include <string>

#include "analysis/import_view.h"
#include "library/tz_dbf.h"

namespace melodrift {

class CliImportView final : public ImportView {
 public:
  // `err` is standard error; `terminal`: draw the bar (else print only failures and errors).
  CliImportView(std::ostream& err, bool terminal, TTzDbf& ErrorDBF)
      : err_(err), terminal_(terminal), error_table_(ErrorDBF) {}

  void SetLabel(int label, const std::string& text) override;
  void SetProgress(int position) override;
  void Repaint() override;
  void ShowProgressWindow() override;
  void HideProgressWindow() override;
  void ShowFileCount(const std::string& text) override;
  void ReportFailure(const std::string& status_text, const std::string& log_message) override;
  void TrackStored() override { ++stored_; }
  void ShowError(const std::string& text) override;

  int stored() const { return stored_; }
  int failures() const { return failures_; }

  // The bar's line for the current state, without the carriage return (tests).
  std::string BarLine() const;

 private:
  void Draw(bool force);
  void ClearLine();

  std::ostream& err_;
  bool terminal_;
  TTzDbf& error_table_;
  std::string labels_[3];
  std::string file_count_;
  int position_ = 0;
  bool shown_ = false;
  bool drawn_ = false;
  int stored_ = 0;
  int failures_ = 0;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace melodrift
