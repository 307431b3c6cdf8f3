// The add-progress window (TAddProgress): three labels, a bar from 0 to 512 and Cancel, shown
// while the import runs. It has no close box; the main window is disabled while it is shown.
#pragma once

#include <QDialog>

#include "analysis/track_analyser.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace melodrift {

class TAddProgress final : public QDialog, public AnalysisView {
  Q_OBJECT

 public:
  // `main_window` is disabled while this window is shown; the window itself is a top-level
  // window of its own, so that disabling the main window does not disable Cancel.
  explicit TAddProgress(QWidget* main_window);

  // AnalysisView
  void SetLabel(int label, const std::string& text) override;
  void SetProgress(int position) override;
  void Repaint() override;

  void Button1Click();  // Cancel

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QPushButton* Button1;
  QProgressBar* ProgressBar1;

 signals:
  // FormShow: the main window stops playing (its Stop button, when enabled) before it is
  // disabled.
  void Showing();
  // Cancel: the running import stops at its next check.
  void CancelRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QWidget* main_window_;
};

}  // namespace melodrift
