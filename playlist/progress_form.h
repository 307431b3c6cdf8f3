// The playlist progress window (TProgressForm): "<visited> of <N>", a bar from 0 to N and
// Cancel, shown while a playlist ranking run walks the library. Showing it disables the main
// window, which stays disabled behind the playlist window that follows; Cancel enables it
// again. Main thread only.
#pragma once

#include <QDialog>
#include <QPointer>

#include <cstdint>

class QLabel;
class QProgressBar;
class QPushButton;

namespace melodrift {

class TProgressForm final : public QDialog {
  Q_OBJECT

 public:
  // A top-level window of its own, so that disabling `main_window` does not disable Cancel.
  explicit TProgressForm(QWidget* main_window = nullptr);

  // The bar's maximum and position, and the label "<visited> of <rows>".
  void SetProgress(int64_t visited, int64_t rows);

  void Button1Click();  // Cancel

  QLabel* Label1;
  QProgressBar* ProgressBar1;
  QPushButton* Button1;

 signals:
  // FormShow, before the main window is disabled: the main window stops playing (its Stop,
  // when enabled).
  void Showing();
  // Cancel: the run stops after the row in hand (KeepRanking is cleared).
  void CancelRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QPointer<QWidget> main_window_;
};

}  // namespace melodrift
