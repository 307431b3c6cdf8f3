// The playlist window (TPlaylistForm): the ranked candidates of PlayList in a grid, and the
// commands that turn the top of the list into a playlist under the parameter window's limit
// (Test, Write, Copy). It plays the selected track on a media device of its own and lets the
// user edit and delete rows. While it is shown, the window behind it (the main window, or
// the jukebox window when Tag is 1) is disabled; hiding it enables that window again.
// Main thread only.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

#include "app/dialogs.h"
#include "app/event_pump.h"
#include "playback/audio_output.h"
#include "playback/media_device.h"
#include "playlist/candidate_table.h"
#include "playlist/playlist_settings.h"

class QPushButton;
class QTableView;

namespace melodrift {

class CandidateGridModel;
class TParameterForm;

// Device units per second of a track: its length over its seconds, or 1000 when the track
// has no seconds or the quotient is not positive.
int64_t UnitsPerSecond(int64_t length, int32_t seconds);

class TPlaylistForm final : public QDialog {
  Q_OBJECT

 public:
  // Reads the limits from `parameters` and shows it for "Set". The window is top-level, not a
  // child of `main_window`, which it enables when it hides. `output` makes the audio output
  // of its media device. The table, the parameter window, dialogs and pump must outlive it.
  TPlaylistForm(TCandidateTable& play_list, TParameterForm& parameters, Dialogs& dialogs,
                EventPump& pump, AudioOutputFactory output, QWidget* main_window = nullptr);
  ~TPlaylistForm() override;

  // The jukebox window, disabled while this window shows with Tag 1.
  void SetJukeboxWindow(QWidget* jukebox) { jukebox_window_ = jukebox; }
  // 1 when the jukebox opened the window (set before showing it), otherwise 0.
  int Tag = 0;

  CandidateGridModel& GridModel() { return *grid_model_; }
  MediaDevice& MediaPlayer1() { return *device_; }

  // Handlers.
  void FormShow();
  void FormHide();
  void FormClose();
  void PlayButtonClick();
  void StopButtonClick();
  void DeleteButtonClick();
  void WriteButtonClick();
  void MoveButtonClick();  // "Copy"
  void TestButtonClick();
  void OptionButtonClick();  // "Set"
  void CloseButtonClick();
  void Timer1Timer();
  // The grid's own deletion (Delete key): asks "Delete record?" first.
  void GridDeleteRecord();

  // Controls.
  QTableView* DBGrid1;
  QPushButton* PlayButton;
  QPushButton* StopButton;
  QPushButton* DeleteButton;
  QPushButton* WriteButton;
  QPushButton* CopyButton;
  QPushButton* TestButton;
  QPushButton* OptionsButton;
  QPushButton* CloseButton;
  QTimer Timer1;

 signals:
  // FormHide with Tag 1: the jukebox goes on (its Pause operation resumes it).
  void JukeboxResumeRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildGrid();
  QWidget* BuildButtons();
  void ShowIdle();
  void SelectGridRow(int row);
  // The limits of the parameter window, or nothing after showing why they cannot be read.
  bool ReadLimitsOrSay(PlaylistLimits& limits);

  TCandidateTable& play_list_;
  TParameterForm& parameters_;
  Dialogs& dialogs_;
  EventPump& pump_;
  QPointer<QWidget> main_window_;
  QPointer<QWidget> jukebox_window_;
  std::unique_ptr<CandidateGridModel> grid_model_;
  std::unique_ptr<MediaDevice> device_;
  int64_t units_per_second_ = 1000;
  std::string copy_folder_;  // where the last Copy went
};

}  // namespace melodrift
