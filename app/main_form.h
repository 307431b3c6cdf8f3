// The main window (TMainForm): the track grid with search, the menus and shortcuts, the status
// bar, the library opening when it first shows, the playlist commands and the closing of the
// tables when it closes.
//
// The window owns the library tables, the library average, the candidate tables (TDMod) and
// the ranking run for the life of the program. Main thread only; table failures are fatal
// table errors.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "analysis/id3v2_tag.h"
#include "analysis/library_average.h"
#include "analysis/library_import.h"
#include "analysis/mp3_to_wav.h"
#include "analysis/track_analyser.h"
#include "app/dialogs.h"
#include "app/event_pump.h"
#include "app/library_opening.h"
#include "app/random_source.h"
#include "library/library_tables.h"
#include "playlist/candidate_table.h"
#include "playlist/playlist_settings.h"
#include "playlist/ranking_run.h"
#include "playlist/row_pause.h"
#include "playlist/similarity.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QStatusBar;
class QTableView;
class QToolButton;

namespace melodrift {

class QtImportView;
class TAboutBox;
class TAddProgress;
class TConfigForm;
class TErrorForm;
class TParameterForm;
class TPlaylistForm;
class TProgressForm;
class TSplashForm;
class TTrackDetails;
class TrackGridModel;

// What "Email Support" opens: a message to the support address with the subject filled in.
QUrl SupportMailUrl();
// What "Contents" opens: the help page file (a path in file-system bytes).
QUrl HelpPageUrl(const std::string& help_page);

// The secondary windows the main window shows and hides; any of them may be missing.
struct ShellWindows {
  TAboutBox* about = nullptr;
  TTrackDetails* details = nullptr;
  TSplashForm* splash = nullptr;
  TErrorForm* errors = nullptr;
  TConfigForm* config = nullptr;
  TAddProgress* add_progress = nullptr;
  TParameterForm* parameters = nullptr;
  TProgressForm* progress = nullptr;
  TPlaylistForm* playlist = nullptr;
};

class TMainForm final : public QMainWindow, private LibraryOpeningView, private RankingView {
  Q_OBJECT

 public:
  // Runs FormCreate. The tables live in `program_folder` + "tables/" (the folder ends in '/').
  // The random source, pump and dialogs must outlive the window.
  TMainForm(const std::string& program_folder, RandomSource& random, EventPump& pump,
            Dialogs& dialogs, QWidget* parent = nullptr);
  ~TMainForm() override;

  // The windows are created after the main window; they must outlive it or be detached.
  void AttachWindows(const ShellWindows& windows);

  LibraryTables& Tables() { return tables_; }
  LibraryImport& Import() { return *import_; }
  const LibraryAverage& Average() const { return average_; }
  const std::string& HelpPage() const { return help_page_; }
  TrackGridModel& GridModel() { return *grid_model_; }
  TDMod& DMod() { return dmod_; }
  RankingRun& Ranking() { return *run_; }

  // Status bar panels: 0 the number of tracks, 1 the remaining time, 2 transient messages.
  QString PanelText(int panel) const;
  void SetPanelText(int panel, const QString& text);

  // For failures that concern one file or track: panel 2 shows `status_text` until the next
  // ErrTimer tick, the error log gets `log_message`, and an open error log window shows it.
  void ReportFailure(const std::string& status_text, const std::string& log_message);
  // Starting the timer while it runs leaves its 5 seconds running.
  void StartErrTimer();

  // Rows were added to the track table (the import): the grid reads it again and shows the
  // table's current row.
  void TrackTableChanged();

  // False while table work that lets events run is under way (the library opening, the import,
  // the ranking run) and inside a nested event loop (a modal box): closing the tables then
  // would pull them from under that work.
  bool SafeToClose() const;

  // Handlers.
  void FormShow();  // the library opening; runs when the window is first shown
  void FormActivate();
  void FormClose();
  void SplashTimerTimer();
  void ErrTimerTimer();
  void Exit1Click();
  void AddMP3Files1Click();
  void RestoreButtonClick();  // "Include All"
  void DeleteAll1Click();
  void DisplayDetails1Click();
  void ErrorLog1Click();
  void About1Click();
  void BrowseURL1Execute();       // "Contents": the help page
  void ContactQuillmark1Click();  // "Email Support"
  void FindButtonClick();
  void Parameters1Click();  // "Set Options"
  // "Generate Playlist": a ranking run from the current track, then the playlist window.
  void PlaylistOuter();
  // "Average Playlist": the same with the library average as the seed.
  void AvgListButtonClick();

  // Program-wide state read by later commands, with the values of a fresh start. The flags of
  // ranking (RejectBusy, JukeboxRanking, ...) are the ranking run's.
  bool SearchFocused = false;
  bool PlayForward = true;
  bool TimerTick = false;
  // Songs ("artist - song") and artists played, which the jukebox ranking skips; playback
  // fills them.
  std::vector<std::string> UsedSong;
  std::vector<std::string> UsedArtist;
  int32_t FirstRecNo = 0;
  int32_t LastRecNo = 0;

  // Controls.
  QPushButton* AddButton;
  QLineEdit* SearchString;
  QPushButton* SpButton1;  // "Search"
  QPushButton* SpButton3;  // "Playlist"
  QCheckBox* NextBox;
  QTableView* TrackGrid;
  QMenu* TrackPopup;
  QToolButton* PrevButton;
  QToolButton* PlayButton;
  QToolButton* PauseButton;
  QToolButton* StopButton;
  QToolButton* NextButton;
  QCheckBox* AutoBox;
  QCheckBox* RandomBox;
  QSlider* TrackBar1;
  QStatusBar* StatusBar1;
  QTimer ErrTimer;
  QTimer SplashTimer;

 signals:
  // The window closed and the tables are closed: the program ends.
  void Closed();

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Counts table work that lets events run, for SafeToClose.
  class TableWorkScope {
   public:
    explicit TableWorkScope(TMainForm& form) : form_(form) { ++form_.table_work_depth_; }
    ~TableWorkScope() { --form_.table_work_depth_; }
    TableWorkScope(const TableWorkScope&) = delete;
    TableWorkScope& operator=(const TableWorkScope&) = delete;

   private:
    TMainForm& form_;
  };
  // The grid neither paints nor follows the table's cursor while a command changes the track
  // table as a whole; afterwards it reads the table again.
  class GridFreeze {
   public:
    explicit GridFreeze(TMainForm& form);
    ~GridFreeze();
    GridFreeze(const GridFreeze&) = delete;
    GridFreeze& operator=(const GridFreeze&) = delete;

   private:
    TMainForm& form_;
  };

  void FormCreate(const std::string& program_folder);
  QWidget* BuildTopBar();
  QWidget* BuildGrid();
  QWidget* BuildBottomBar();
  void BuildStatusBar();
  void BuildMenus();
  void SelectGridRow(int row);
  void ShowGridCurrentRow();

  // The settings of the parameter window once it is attached; the window's defaults before.
  class ParameterSettings;

  // The steps of both playlist commands after their flags: the run, then the playlist window.
  void RunPlaylistRanking();
  void RestoreCursor();

  // LibraryOpeningView
  void ShowFileCount(const std::string& text) override;
  void FocusFirstControl() override;
  void StartSplashTimer(int interval_ms) override;
  void ShowConfigForm() override;

  // RankingView, playlist mode. The jukebox's parts answer as a jukebox window with nothing
  // checked would, until the jukebox comes.
  void ShowPlaylistProgress(int64_t rows) override;
  void SetPlaylistProgress(int64_t visited, int64_t rows) override;
  void RepaintProgress() override;
  void SetJukeboxProgress(int64_t, int64_t) override {}
  void ProposeNextTrack(const std::string&) override {}
  bool OppositeChecked() override { return false; }
  bool PreviewChecked() override { return false; }
  void JukeboxNext() override {}
  bool SongUsed(const std::string& artist_and_song) override;
  bool ArtistUsed(const std::string& artist) override;
  void ClearUsed() override;
  void ReportCalcFailure(int32_t unique_id, const std::string& path) override;

  RandomSource& random_;
  EventPump& pump_;
  Dialogs& dialogs_;
  TDMod dmod_;
  LibraryTables tables_;
  LibraryAverage average_{};
  SpectrumCache spectra_{tables_};
  ScheduledRowPause row_pause_;
  std::unique_ptr<ParameterSettings> settings_;
  std::unique_ptr<RankingRun> run_;
  // The import: tag reader, converter (MP3ToWav), analysis and the command itself.
  Tid3v2tag TagReader;
  TMP3ToWav MP3ToWav;
  std::unique_ptr<TrackAnalyser> analyser_;
  std::unique_ptr<QtImportView> import_view_;
  std::unique_ptr<LibraryImport> import_;
  std::unique_ptr<TrackGridModel> grid_model_;  // before tables_ in destruction
  std::string help_page_;
  struct {
    QPointer<TAboutBox> about;
    QPointer<TTrackDetails> details;
    QPointer<TSplashForm> splash;
    QPointer<TErrorForm> errors;
    QPointer<TConfigForm> config;
    QPointer<TAddProgress> add_progress;
    QPointer<TParameterForm> parameters;
    QPointer<TProgressForm> progress;
    QPointer<TPlaylistForm> playlist;
  } windows_;
  std::array<QLabel*, 3> panels_{};
  bool shown_once_ = false;
  bool grid_follows_table_ = true;
  int table_work_depth_ = 0;
  bool ranking_running_ = false;
  bool wait_cursor_ = false;  // the run shows the hourglass
};

}  // namespace melodrift
