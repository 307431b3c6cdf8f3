// What the import changes in the windows: the add-progress window (labels, bar, shown or
// hidden, which disables or enables the main window) and the main window's status bar, grid
// and message boxes. The window program implements it with TAddProgress and TMainForm; the
// command-line import prints instead.
#pragma once

#include <string>

#include "analysis/track_analyser.h"

namespace melodrift {

class ImportView : public AnalysisView {
 public:
  // The add-progress window appears (playback stops, the main window is disabled) or goes
  // (the main window is enabled again).
  virtual void ShowProgressWindow() = 0;
  virtual void HideProgressWindow() = 0;
  // Status bar panel 0, then the main window repaints.
  virtual void ShowFileCount(const std::string& text) = 0;
  // A failure that concerns one file: panel 2 shows `status_text` until the next ErrTimer
  // tick and the error log receives `log_message`.
  virtual void ReportFailure(const std::string& status_text, const std::string& log_message) = 0;
  // A track was stored; it is the track table's current row.
  virtual void TrackStored() = 0;
  // An error ended the import: the user is told in a message box.
  virtual void ShowError(const std::string& text) = 0;
};

}  // namespace melodrift
