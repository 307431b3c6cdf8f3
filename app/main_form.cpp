#include "app/main_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <optional>

#include "analysis/add_progress_form.h"
#include "app/about_box.h"
#include "app/config_form.h"
#include "app/qt_import_view.h"
#include "app/qt_logo.h"
#include "app/splash_form.h"
#include "app/track_details_form.h"
#include "app/track_grid_model.h"
#include "library/error_form.h"
#include "library/error_log.h"
#include "library/table_error.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_form.h"
#include "playlist/progress_form.h"

namespace melodrift {

namespace {

constexpr int kClientWidth = 467;
constexpr int kClientHeight = 364;  // below the menu bar
constexpr int kTopBarHeight = 36;
constexpr int kBottomBarHeight = 56;
constexpr int kStatusBarHeight = 19;
constexpr int kPanelWidth = 100;
constexpr int kErrTimerMs = 5000;

const char kSupportAddress[] = "support@melodrift.example";

// The table holds ISO-8859-1 text; a character outside it cannot occur in any record.
std::optional<std::string> Latin1Text(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()));
  for (QChar c : text) {
    if (c.unicode() > 0xFF) return std::nullopt;
    bytes.push_back(static_cast<char>(c.unicode()));
  }
  return bytes;
}

QPushButton* TopBarButton(const QString& text, const QString& hint, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setToolTip(hint);
  return button;
}

QToolButton* MediaButton(QStyle::StandardPixmap icon, const QString& hint, QWidget* parent) {
  auto* button = new QToolButton(parent);
  button->setIcon(parent->style()->standardIcon(icon));
  button->setIconSize(QSize(20, 20));
  button->setFixedSize(34, 34);
  button->setToolTip(hint);
  button->setAutoRaise(false);
  return button;
}

}  // namespace

class TMainForm::ParameterSettings final : public PlaylistSettings {
 public:
  void Attach(TParameterForm* window) { window_ = window; }

  bool FilterOn() const override { return Target().FilterOn(); }
  int SpinMin() const override { return Target().SpinMin(); }
  int SpinMax() const override { return Target().SpinMax(); }
  melodrift::ArtistFilter ArtistFilter() const override { return Target().ArtistFilter(); }
  melodrift::BoostType BoostType() const override { return Target().BoostType(); }
  int BoostWeight() const override { return Target().BoostWeight(); }
  int RandomLevel() const override { return Target().RandomLevel(); }
  LimitKind Limit() const override { return Target().Limit(); }
  std::string SongsText() const override { return Target().SongsText(); }
  std::string MinutesText() const override { return Target().MinutesText(); }
  std::string MegabytesText() const override { return Target().MegabytesText(); }

 private:
  const PlaylistSettings& Target() const {
    return window_ != nullptr ? window_->Settings() : defaults_;
  }

  FixedPlaylistSettings defaults_;
  QPointer<TParameterForm> window_;
};

QUrl SupportMailUrl() {
  QUrl url;
  url.setScheme(QStringLiteral("mailto"));
  url.setPath(QString::fromLatin1(kSupportAddress));
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("subject"), QStringLiteral("Melodrift Application Support"));
  url.setQuery(query);
  return url;
}

QUrl HelpPageUrl(const std::string& help_page) {
  return QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(help_page)));
}

// ---------------------------------------------------------------- creation

TMainForm::TMainForm(const std::string& program_folder, RandomSource& random, EventPump& pump,
                     Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                              Qt::CustomizeWindowHint),
      random_(random),
      pump_(pump),
      dialogs_(dialogs),
      settings_(std::make_unique<ParameterSettings>()),
      grid_model_(std::make_unique<TrackGridModel>(tables_)) {
  setWindowTitle(QStringLiteral("Melodrift"));
  setWindowIcon(MelodriftIcon());

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(BuildTopBar());
  layout->addWidget(BuildGrid(), 1);
  layout->addWidget(BuildBottomBar());
  central->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
  setCentralWidget(central);
  BuildStatusBar();
  BuildMenus();
  // Fixed size: the client area stays 467 x 364 below the menu bar, whatever its height.
  this->layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }

  // Precise: the 5 seconds count from the first of several quick presses.
  ErrTimer.setTimerType(Qt::PreciseTimer);
  ErrTimer.setSingleShot(true);
  ErrTimer.setInterval(kErrTimerMs);
  connect(&ErrTimer, &QTimer::timeout, this, &TMainForm::ErrTimerTimer);
  SplashTimer.setSingleShot(true);
  connect(&SplashTimer, &QTimer::timeout, this, &TMainForm::SplashTimerTimer);

  FormCreate(program_folder);
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate(const std::string& program_folder) {
  random_.SeedFromClock();
  RankingView& view = *this;
  run_ = std::make_unique<RankingRun>(tables_, average_, dmod_, spectra_, *settings_, random_,
                                      pump_, row_pause_, view);
  SearchFocused = false;
  run_->RejectBusy = false;
  run_->JukeboxRanking = false;
  TimerTick = false;
  PlayForward = true;
  tables_.SetFileNames(program_folder);
  help_page_ = program_folder + "help/index.htm";
  import_view_ = std::make_unique<QtImportView>(*this, dialogs_);
  analyser_ = std::make_unique<TrackAnalyser>(MP3ToWav, random_, pump_, *import_view_);
  import_ = std::make_unique<LibraryImport>(tables_, average_, TagReader, *analyser_, random_,
                                            pump_, *import_view_, program_folder + "xxxyyzzz.wav");
  // The timer runs from the window's creation, so it also fires once 5 s after start-up.
  StartErrTimer();
}

QWidget* TMainForm::BuildTopBar() {
  auto* bar = new QWidget(this);
  bar->setFixedHeight(kTopBarHeight);
  AddButton = TopBarButton(QStringLiteral("Add"), QStringLiteral("Add MP3 files to library"), bar);
  AddButton->setObjectName("AddButton");
  SearchString = new QLineEdit(bar);
  SearchString->setObjectName("SearchString");
  SpButton1 = TopBarButton(QStringLiteral("Search"),
                           QStringLiteral("Locate search string in track library"), bar);
  SpButton1->setObjectName("SpButton1");
  SpButton3 = TopBarButton(QStringLiteral("Playlist"), QStringLiteral("Generate a playlist"), bar);
  SpButton3->setObjectName("SpButton3");
  // Speed buttons: they act on the grid and the search box without taking the focus.
  SpButton1->setFocusPolicy(Qt::NoFocus);
  SpButton3->setFocusPolicy(Qt::NoFocus);
  NextBox = new QCheckBox(QStringLiteral("Next"), bar);
  NextBox->setObjectName("NextBox");
  NextBox->setEnabled(false);
  NextBox->setVisible(false);

  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(6);
  layout->addWidget(AddButton);
  layout->addWidget(SearchString, 1);
  layout->addWidget(SpButton1);
  layout->addWidget(SpButton3);
  layout->addWidget(NextBox);

  connect(AddButton, &QPushButton::clicked, this, &TMainForm::AddMP3Files1Click);
  connect(SpButton1, &QPushButton::clicked, this, &TMainForm::FindButtonClick);
  connect(SpButton3, &QPushButton::clicked, this, &TMainForm::PlaylistOuter);
  connect(SearchString, &QLineEdit::returnPressed, this, &TMainForm::FindButtonClick);
  connect(SearchString, &QLineEdit::textChanged, this, [this] { NextBox->setChecked(false); });
  SearchString->installEventFilter(this);
  return bar;
}

QWidget* TMainForm::BuildGrid() {
  TrackGrid = new QTableView(this);
  TrackGrid->setObjectName("TrackGrid");
  TrackGrid->setModel(grid_model_.get());
  TrackGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
  TrackGrid->setSelectionMode(QAbstractItemView::SingleSelection);
  TrackGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);  // only "Use" changes
  TrackGrid->setWordWrap(false);
  TrackGrid->setAlternatingRowColors(true);
  TrackGrid->verticalHeader()->setVisible(false);
  TrackGrid->verticalHeader()->setDefaultSectionSize(TrackGrid->fontMetrics().height() + 4);
  TrackGrid->horizontalHeader()->setHighlightSections(false);
  for (int column = 0; column < TrackGridModel::kColumnCount; ++column) {
    TrackGrid->setColumnWidth(column, TrackGridModel::ColumnWidth(column));
  }

  connect(TrackGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { grid_model_->MakeRowCurrent(current.row()); });
  connect(grid_model_.get(), &TrackGridModel::CurrentRowMoved, this, &TMainForm::SelectGridRow);

  TrackPopup = new QMenu(TrackGrid);
  TrackPopup->setObjectName("TrackPopup");
  TrackGrid->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(TrackGrid, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    TrackPopup->popup(TrackGrid->viewport()->mapToGlobal(pos));
  });
  return TrackGrid;
}

QWidget* TMainForm::BuildBottomBar() {
  auto* bar = new QWidget(this);
  bar->setFixedHeight(kBottomBarHeight);
  PrevButton = MediaButton(QStyle::SP_MediaSkipBackward, QStringLiteral("Previous"), bar);
  PlayButton = MediaButton(QStyle::SP_MediaPlay, QStringLiteral("Play"), bar);
  PauseButton = MediaButton(QStyle::SP_MediaPause, QStringLiteral("Pause"), bar);
  StopButton = MediaButton(QStyle::SP_MediaStop, QStringLiteral("Stop"), bar);
  NextButton = MediaButton(QStyle::SP_MediaSkipForward, QStringLiteral("Next"), bar);
  PrevButton->setObjectName("PrevButton");
  PlayButton->setObjectName("PlayButton");
  PauseButton->setObjectName("PauseButton");
  StopButton->setObjectName("StopButton");
  NextButton->setObjectName("NextButton");
  for (QToolButton* button : {PrevButton, PauseButton, StopButton, NextButton}) {
    button->setEnabled(false);
  }

  AutoBox = new QCheckBox(QStringLiteral("Auto"), bar);
  AutoBox->setObjectName("AutoBox");
  AutoBox->setChecked(true);
  RandomBox = new QCheckBox(QStringLiteral("Random"), bar);
  RandomBox->setObjectName("RandomBox");
  // The two modes exclude each other; both may be off.
  connect(AutoBox, &QCheckBox::toggled, this, [this](bool on) {
    if (on) RandomBox->setChecked(false);
  });
  connect(RandomBox, &QCheckBox::toggled, this, [this](bool on) {
    if (on) AutoBox->setChecked(false);
  });

  TrackBar1 = new QSlider(Qt::Horizontal, bar);
  TrackBar1->setObjectName("TrackBar1");
  TrackBar1->setRange(0, 0);
  TrackBar1->setEnabled(false);

  auto* modes = new QVBoxLayout;
  modes->setSpacing(2);
  modes->addWidget(AutoBox);
  modes->addWidget(RandomBox);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(6, 4, 8, 4);
  layout->setSpacing(4);
  for (QToolButton* button : {PrevButton, PlayButton, PauseButton, StopButton, NextButton}) {
    layout->addWidget(button);
  }
  layout->addSpacing(10);
  layout->addLayout(modes);
  layout->addSpacing(10);
  layout->addWidget(TrackBar1, 1);
  return bar;
}

void TMainForm::BuildStatusBar() {
  StatusBar1 = new QStatusBar(this);
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setFixedHeight(kStatusBarHeight);
  StatusBar1->setContentsMargins(0, 0, 0, 0);
  for (size_t i = 0; i < panels_.size(); ++i) {
    auto* panel = new QLabel(StatusBar1);
    panel->setObjectName(QStringLiteral("Panel%1").arg(i));
    panel->setFixedWidth(kPanelWidth);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->addWidget(panel);
    panels_[i] = panel;
  }
  panels_[1]->setText(QStringLiteral("-:--"));
  setStatusBar(StatusBar1);
}

void TMainForm::BuildMenus() {
  using Handler = void (TMainForm::*)();
  auto item = [this](QMenu* menu, const QString& text, const QKeySequence& shortcut,
                     Handler handler) {
    QAction* action = menu->addAction(text);
    action->setShortcut(shortcut);
    if (handler != nullptr) {
      connect(action, &QAction::triggered, this, handler);
    } else {
      action->setEnabled(false);  // its command is not built yet
    }
    return action;
  };

  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  item(file, QStringLiteral("Add Files"), QKeySequence(Qt::CTRL | Qt::Key_A),
       &TMainForm::AddMP3Files1Click);
  item(file, QStringLiteral("Include All"), {}, &TMainForm::RestoreButtonClick);
  item(file, QStringLiteral("Delete All"), {}, &TMainForm::DeleteAll1Click);
  file->addSeparator();
  item(file, QStringLiteral("Exit"), {}, &TMainForm::Exit1Click);

  QMenu* play = menuBar()->addMenu(QStringLiteral("Play"));
  for (const char* text :
       {"Previous   Z", "Play          X", "Pause       C", "Stop         V", "Next         B"}) {
    item(play, QString::fromLatin1(text), {}, nullptr);
  }

  QMenu* options = menuBar()->addMenu(QStringLiteral("Options"));
  item(options, QStringLiteral("Set Options"), QKeySequence(Qt::CTRL | Qt::Key_O),
       &TMainForm::Parameters1Click);

  QMenu* song = menuBar()->addMenu(QStringLiteral("Song"));
  QAction* details = item(song, QStringLiteral("Display Details"),
                          QKeySequence(Qt::CTRL | Qt::Key_D), &TMainForm::DisplayDetails1Click);
  QAction* visualization = item(song, QStringLiteral("Display Visualization"),
                                QKeySequence(Qt::CTRL | Qt::Key_V), nullptr);
  QAction* generate = item(song, QStringLiteral("Generate Playlist"),
                           QKeySequence(Qt::CTRL | Qt::Key_G), &TMainForm::PlaylistOuter);
  item(song, QStringLiteral("Average Playlist"), {}, &TMainForm::AvgListButtonClick);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  item(help, QStringLiteral("Contents"), QKeySequence(Qt::Key_F1), &TMainForm::BrowseURL1Execute);
  item(help, QStringLiteral("Email Support"), {}, &TMainForm::ContactQuillmark1Click);
  item(help, QStringLiteral("Error Log"), QKeySequence(Qt::CTRL | Qt::Key_E),
       &TMainForm::ErrorLog1Click);
  item(help, QStringLiteral("About"), {}, &TMainForm::About1Click);

  // The grid's pop-up shares the Song menu's actions, so each shortcut has one owner.
  TrackPopup->addAction(details);
  TrackPopup->addAction(visualization);
  TrackPopup->addAction(generate);
}

void TMainForm::AttachWindows(const ShellWindows& windows) {
  windows_.about = windows.about;
  windows_.details = windows.details;
  windows_.splash = windows.splash;
  windows_.errors = windows.errors;
  windows_.config = windows.config;
  windows_.add_progress = windows.add_progress;
  windows_.parameters = windows.parameters;
  windows_.progress = windows.progress;
  windows_.playlist = windows.playlist;
  settings_->Attach(windows.parameters);
  import_view_->SetProgressWindow(windows.add_progress);
  if (windows_.add_progress) {
    connect(windows_.add_progress, &TAddProgress::Showing, this, [this] {
      if (StopButton->isEnabled()) StopButton->click();
    });
    connect(windows_.add_progress, &TAddProgress::CancelRequested, this,
            [this] { import_->Cancel(); });
  }
  if (windows_.progress) {
    disconnect(windows_.progress, nullptr, this, nullptr);  // attached once, however often asked
    connect(windows_.progress, &TProgressForm::Showing, this, [this] {
      if (StopButton->isEnabled()) StopButton->click();
    });
    connect(windows_.progress, &TProgressForm::CancelRequested, this,
            [this] { run_->KeepRanking = false; });
  }
  if (windows_.config) {
    connect(windows_.config, &TConfigForm::AddFilesRequested, this, &TMainForm::AddMP3Files1Click,
            Qt::UniqueConnection);
  }
}

// ---------------------------------------------------------------- opening and closing

void TMainForm::showEvent(QShowEvent* event) {
  if (!shown_once_) FormShow();
  QMainWindow::showEvent(event);
}

void TMainForm::FormShow() {
  shown_once_ = true;
  TableWorkScope work(*this);
  import_->AddedCount = 0;
  const OpenedLibrary opened = OpenLibrary(tables_, average_, pump_, random_, *this);
  FirstRecNo = opened.FirstRecNo;
  LastRecNo = opened.LastRecNo;
  grid_model_->Reload();
  ShowGridCurrentRow();
}

void TMainForm::ShowFileCount(const std::string& text) {
  SetPanelText(0, QString::fromStdString(text));
}

void TMainForm::FocusFirstControl() {
  // The window is not visible yet: the focus goes to the first control that will take it.
  for (QWidget* w = nextInFocusChain(); w != this; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(this)) {
      w->setFocus(Qt::OtherFocusReason);
      return;
    }
  }
}

void TMainForm::StartSplashTimer(int interval_ms) {
  SplashTimer.setInterval(interval_ms);
  SplashTimer.start();
}

void TMainForm::ShowConfigForm() {
  if (windows_.config) windows_.config->ShowCentredOn(*this);
}

void TMainForm::SplashTimerTimer() {
  if (windows_.splash) windows_.splash->hide();
  SplashTimer.stop();
}

bool TMainForm::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(event);
}

void TMainForm::FormActivate() {
  if (windows_.details) windows_.details->hide();
  if (windows_.about) windows_.about->hide();
  if (windows_.errors) windows_.errors->hide();
  if (windows_.parameters) windows_.parameters->hide();
}

bool TMainForm::SafeToClose() const {
  return table_work_depth_ == 0 && QThread::currentThread()->loopLevel() <= 1;
}

void TMainForm::closeEvent(QCloseEvent* event) {
  if (!SafeToClose()) {
    // A running import or ranking run stops at its next check; the window closes once it has.
    if (import_->Running()) import_->Cancel();
    if (ranking_running_) run_->KeepRanking = false;
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
  emit Closed();
}

void TMainForm::FormClose() {
  ErrTimer.stop();
  SplashTimer.stop();
  // Nothing may read the tables once they are closed.
  FormActivate();
  grid_model_->Clear();
  tables_.CloseAll();
}

void TMainForm::Exit1Click() {
  close();
}

// ---------------------------------------------------------------- grid

void TMainForm::SelectGridRow(int row) {
  if (!grid_follows_table_) return;
  QItemSelectionModel* selection = TrackGrid->selectionModel();
  if (row < 0) {
    selection->clearCurrentIndex();
    return;
  }
  if (selection->currentIndex().row() == row) return;
  const int column = std::max(selection->currentIndex().column(), 0);
  const QModelIndex index = grid_model_->index(row, column);
  selection->setCurrentIndex(index,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  TrackGrid->scrollTo(index);
}

void TMainForm::ShowGridCurrentRow() {
  SelectGridRow(grid_model_->CurrentRow());
}

TMainForm::GridFreeze::GridFreeze(TMainForm& form) : form_(form) {
  form_.TrackGrid->setUpdatesEnabled(false);
  form_.grid_follows_table_ = false;
  // Rows may go away under the grid: it shows none until the table is read again.
  form_.grid_model_->Clear();
}

TMainForm::GridFreeze::~GridFreeze() {
  // After a failed table operation the grid stays empty rather than read a broken table.
  form_.grid_follows_table_ = true;
  if (std::uncaught_exceptions() == 0) {
    form_.grid_model_->Reload();
    form_.ShowGridCurrentRow();
  }
  form_.TrackGrid->setUpdatesEnabled(true);
}

void TMainForm::TrackTableChanged() {
  GridFreeze freeze(*this);
}

// ---------------------------------------------------------------- library commands

void TMainForm::AddMP3Files1Click() {
  // Cancel enables the main window before the import or run has ended: one at a time.
  if (import_->Running() || ranking_running_) return;
  TableWorkScope work(*this);
  const std::optional<std::string> folder =
      dialogs_.ChooseFolder("Add MP3 files", QDir::currentPath().toStdString());
  import_->Run(folder);
}

void TMainForm::RestoreButtonClick() {
  GridFreeze freeze(*this);
  tables_.IncludeAll();
}

void TMainForm::DeleteAll1Click() {
  if (!dialogs_.Confirm("Sure you want to delete entire library?")) return;
  {
    GridFreeze freeze(*this);
    tables_.DeleteAll();
  }
  SetPanelText(0, QString::fromStdString(FileCountText(0)));
  if (windows_.errors) windows_.errors->EntriesChanged();
}

void TMainForm::DisplayDetails1Click() {
  if (!windows_.details || !tables_.TrackDBF.Active() || tables_.TrackDBF.RecNo() == 0) return;
  windows_.details->ShowTrack(LibraryTables::ReadTrackRow(tables_.TrackDBF));
}

void TMainForm::ErrorLog1Click() {
  if (!windows_.errors) return;
  windows_.errors->EntriesChanged();
  windows_.errors->show();
  windows_.errors->raise();
  windows_.errors->activateWindow();
}

void TMainForm::About1Click() {
  if (!windows_.about) return;
  windows_.about->show();
  windows_.about->raise();
  windows_.about->activateWindow();
}

void TMainForm::BrowseURL1Execute() {
  if (!QDesktopServices::openUrl(HelpPageUrl(help_page_))) {
    dialogs_.ShowMessage("Could not open the help page \"" + help_page_ + "\".");
  }
}

void TMainForm::ContactQuillmark1Click() {
  if (!QDesktopServices::openUrl(SupportMailUrl())) {
    dialogs_.ShowMessage(std::string("Could not start a mail program. Please write to ") +
                         kSupportAddress + ".");
  }
}

// ---------------------------------------------------------------- search and status

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == SearchString) {
    switch (event->type()) {
      case QEvent::FocusIn:
        SearchFocused = true;
        break;
      case QEvent::FocusOut:
        SearchFocused = false;
        break;
      case QEvent::MouseButtonDblClick:
        SearchString->clear();
        return true;
      default:
        break;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TMainForm::FindButtonClick() {
  // A text that cannot be stored in the table finds nothing, like a text that is absent.
  if (const std::optional<std::string> text = Latin1Text(SearchString->text())) {
    tables_.TrackDBF.Search(*text, 0, !NextBox->isChecked());
  }
  NextBox->setChecked(true);
  StartErrTimer();
}

void TMainForm::StartErrTimer() {
  if (!ErrTimer.isActive()) ErrTimer.start();
}

void TMainForm::ErrTimerTimer() {
  SetPanelText(2, QString());
  NextBox->setChecked(false);
  ErrTimer.stop();
  update();
  pump_.ProcessEvents();
}

void TMainForm::ReportFailure(const std::string& status_text, const std::string& log_message) {
  SetPanelText(2, QFile::decodeName(QByteArray::fromStdString(status_text)));
  WriteErrMsg(tables_.ErrorDBF, log_message);
  StartErrTimer();
  if (windows_.errors) windows_.errors->EntriesChanged();
}

QString TMainForm::PanelText(int panel) const {
  return panels_.at(static_cast<size_t>(panel))->text();
}

void TMainForm::SetPanelText(int panel, const QString& text) {
  panels_.at(static_cast<size_t>(panel))->setText(text);
}

// ---------------------------------------------------------------- playlists

void TMainForm::Parameters1Click() {
  if (windows_.parameters) windows_.parameters->ShowWindow();
}

void TMainForm::PlaylistOuter() {
  run_->JukeboxRanking = false;
  run_->SeedIsAverage = false;
  RunPlaylistRanking();
}

void TMainForm::AvgListButtonClick() {
  run_->SeedIsAverage = true;
  run_->JukeboxRanking = false;
  RunPlaylistRanking();
}

void TMainForm::RunPlaylistRanking() {
  // Cancel enables the main window while the run finishes its row: one run at a time.
  if (ranking_running_ || import_->Running()) return;
  TableWorkScope work(*this);
  ranking_running_ = true;
  // The windows recover whatever ends the run: no hourglass or disabled window is left behind.
  auto recover = [this] {
    ranking_running_ = false;
    if (windows_.progress) windows_.progress->hide();
    RestoreCursor();
    setEnabled(true);
  };
  try {
    run_->Run();
  } catch (const TableFatalError&) {
    recover();
    throw;
  } catch (const std::exception& e) {
    recover();
    dialogs_.ShowMessage(e.what());
    return;
  }
  ranking_running_ = false;
  const bool show_playlist = run_->RankingDone && windows_.playlist;
  if (show_playlist) {
    windows_.playlist->show();
    windows_.playlist->raise();
    windows_.playlist->activateWindow();
  }
  if (windows_.progress) windows_.progress->hide();
  RestoreCursor();
  // The playlist window enables the main window when it hides; without it nothing would.
  if (!show_playlist) setEnabled(true);
}

void TMainForm::RestoreCursor() {
  if (!wait_cursor_) return;
  wait_cursor_ = false;
  QApplication::restoreOverrideCursor();
}

void TMainForm::ShowPlaylistProgress(int64_t rows) {
  if (windows_.playlist) windows_.playlist->hide();
  if (windows_.progress) {
    windows_.progress->SetProgress(0, rows);
    windows_.progress->show();
    windows_.progress->raise();
  } else {
    setEnabled(false);  // as the progress window would
  }
  if (!wait_cursor_) {
    wait_cursor_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  }
  repaint();
  RepaintProgress();
}

void TMainForm::SetPlaylistProgress(int64_t visited, int64_t rows) {
  if (windows_.progress) windows_.progress->SetProgress(visited, rows);
}

void TMainForm::RepaintProgress() {
  if (windows_.progress) windows_.progress->repaint();
}

bool TMainForm::SongUsed(const std::string& artist_and_song) {
  return std::find(UsedSong.begin(), UsedSong.end(), artist_and_song) != UsedSong.end();
}

bool TMainForm::ArtistUsed(const std::string& artist) {
  return std::find(UsedArtist.begin(), UsedArtist.end(), artist) != UsedArtist.end();
}

void TMainForm::ClearUsed() {
  UsedSong.clear();
  UsedArtist.clear();
}

void TMainForm::ReportCalcFailure(int32_t unique_id, const std::string& path) {
  ReportFailure("Could not calculate - " + std::to_string(unique_id),
                "Could not calculate - " + path);
}

}  // namespace melodrift
