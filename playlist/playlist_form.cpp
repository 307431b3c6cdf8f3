#include "playlist/playlist_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <exception>
#include <optional>

#include "library/dbf_field.h"
#include "playlist/candidate_grid_model.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_export.h"

namespace melodrift {

namespace {

constexpr int kTimerMs = 1000;
constexpr int kGridHeight = 320;
constexpr size_t kFailuresShown = 10;

// The hourglass while a command works without letting events run.
class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

std::string CopyFailureText(const CopyOutcome& outcome) {
  std::string text = "Some files could not be copied:";
  for (size_t i = 0; i < outcome.failures.size() && i < kFailuresShown; ++i) {
    text += "\n" + outcome.failures[i];
  }
  if (outcome.failures.size() > kFailuresShown) {
    text += "\n... and " + std::to_string(outcome.failures.size() - kFailuresShown) + " more";
  }
  return text;
}

}  // namespace

int64_t UnitsPerSecond(int64_t length, int32_t seconds) {
  if (seconds == 0) return 1000;
  const int64_t units = length / seconds;
  return units > 0 ? units : 1000;
}

TPlaylistForm::TPlaylistForm(TCandidateTable& play_list, TParameterForm& parameters,
                             Dialogs& dialogs, EventPump& pump, AudioOutputFactory output,
                             QWidget* main_window)
    : QDialog(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      play_list_(play_list),
      parameters_(parameters),
      dialogs_(dialogs),
      pump_(pump),
      main_window_(main_window),
      grid_model_(std::make_unique<CandidateGridModel>(play_list)),
      device_(std::make_unique<MediaDevice>(std::move(output))) {
  setWindowTitle(QStringLiteral("Playlist"));
  setModal(false);
  BuildGrid();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(DBGrid1, 1);
  layout->addWidget(BuildButtons());
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Timer1.setInterval(kTimerMs);
  connect(&Timer1, &QTimer::timeout, this, &TPlaylistForm::Timer1Timer);
  copy_folder_ = QFile::encodeName(QDir::homePath()).toStdString();

  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

TPlaylistForm::~TPlaylistForm() {
  // The grid goes before its model.
  delete DBGrid1;
}

void TPlaylistForm::BuildGrid() {
  DBGrid1 = new QTableView(this);
  DBGrid1->setObjectName("DBGrid1");
  DBGrid1->setModel(grid_model_.get());
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::SelectedClicked);
  DBGrid1->setWordWrap(false);
  DBGrid1->setAlternatingRowColors(true);
  DBGrid1->verticalHeader()->setVisible(false);
  DBGrid1->verticalHeader()->setDefaultSectionSize(DBGrid1->fontMetrics().height() + 4);
  DBGrid1->horizontalHeader()->setHighlightSections(false);
  DBGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  DBGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  int width = 2 * DBGrid1->frameWidth() + DBGrid1->verticalScrollBar()->sizeHint().width();
  for (int column = 0; column < CandidateGridModel::kColumnCount; ++column) {
    DBGrid1->setColumnWidth(column, CandidateGridModel::ColumnWidth(column));
    width += CandidateGridModel::ColumnWidth(column);
  }
  DBGrid1->setFixedSize(width, kGridHeight);

  connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { grid_model_->MakeRowCurrent(current.row()); });
  connect(grid_model_.get(), &CandidateGridModel::CurrentRowMoved, this,
          &TPlaylistForm::SelectGridRow);
  DBGrid1->installEventFilter(this);
}

QWidget* TPlaylistForm::BuildButtons() {
  auto* panel = new QWidget(this);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->setSpacing(4);
  auto button = [&](QPushButton*& target, const char* name, const QString& caption,
                    const QString& hint, void (TPlaylistForm::*handler)()) {
    target = new QPushButton(caption, panel);
    target->setObjectName(name);
    target->setToolTip(hint);
    target->setAutoDefault(false);
    // The buttons share the grid's width instead of widening the window beyond it.
    target->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    connect(target, &QPushButton::clicked, this, handler);
    layout->addWidget(target);
  };
  button(PlayButton, "PlayButton", QStringLiteral("Play"), QStringLiteral("Play selected track"),
         &TPlaylistForm::PlayButtonClick);
  // Stop takes Play's place: only one of the two is ever shown.
  button(StopButton, "StopButton", QStringLiteral("Stop"), QStringLiteral("Stop playing track"),
         &TPlaylistForm::StopButtonClick);
  button(DeleteButton, "DeleteButton", QStringLiteral("Delete"),
         QStringLiteral("Delete selected track"), &TPlaylistForm::DeleteButtonClick);
  button(WriteButton, "WriteButton", QStringLiteral("Write"), QStringLiteral("Write playlist file"),
         &TPlaylistForm::WriteButtonClick);
  button(CopyButton, "CopyButton", QStringLiteral("Copy"),
         QStringLiteral("Copy files to directory, CD or PDA"), &TPlaylistForm::MoveButtonClick);
  button(TestButton, "TestButton", QStringLiteral("Test"),
         QStringLiteral("Show which tracks will be included"), &TPlaylistForm::TestButtonClick);
  button(OptionsButton, "OptionsButton", QStringLiteral("Set"),
         QStringLiteral("Edit playlist parameters"), &TPlaylistForm::OptionButtonClick);
  button(CloseButton, "CloseButton", QStringLiteral("Close"), QStringLiteral("Close playlist form"),
         &TPlaylistForm::CloseButtonClick);
  StopButton->setEnabled(false);
  StopButton->setVisible(false);
  return panel;
}

// ---------------------------------------------------------------- window events

void TPlaylistForm::showEvent(QShowEvent* event) {
  // A window restored from being minimised was never hidden for the program.
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TPlaylistForm::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) FormHide();
  QDialog::hideEvent(event);
}

void TPlaylistForm::closeEvent(QCloseEvent* event) {
  FormClose();
  QDialog::closeEvent(event);
}

void TPlaylistForm::keyPressEvent(QKeyEvent* event) {
  // Escape closes the window as its Close button does.
  if (event->key() == Qt::Key_Escape) {
    CloseButtonClick();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TPlaylistForm::FormShow() {
  device_->Close();
  play_list_.OpenView();
  SelectGridRow(grid_model_->CurrentRow());
  if (Tag == 1 && jukebox_window_ != nullptr) jukebox_window_->setEnabled(false);
}

void TPlaylistForm::FormHide() {
  device_->Close();
  ShowIdle();
  if (Tag == 1) {
    if (jukebox_window_ != nullptr) jukebox_window_->setEnabled(true);
    Tag = 0;
    emit JukeboxResumeRequested();
  } else if (main_window_ != nullptr) {
    main_window_->setEnabled(true);
  }
}

void TPlaylistForm::FormClose() {
  device_->Close();
  play_list_.CloseView();
}

void TPlaylistForm::CloseButtonClick() {
  if (StopButton->isEnabled()) StopButtonClick();
  close();
}

void TPlaylistForm::OptionButtonClick() {
  parameters_.ShowWindow();
}

// ---------------------------------------------------------------- grid

void TPlaylistForm::SelectGridRow(int row) {
  QItemSelectionModel* selection = DBGrid1->selectionModel();
  if (row < 0) {
    selection->clearCurrentIndex();
    return;
  }
  if (selection->currentIndex().row() == row) return;
  const QModelIndex index =
      grid_model_->index(row, std::max(selection->currentIndex().column(), 0));
  selection->setCurrentIndex(index,
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  DBGrid1->scrollTo(index);
}

bool TPlaylistForm::eventFilter(QObject* watched, QEvent* event) {
  // Keys reach the view only while no cell is being edited.
  if (watched == DBGrid1 && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
    GridDeleteRecord();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void TPlaylistForm::GridDeleteRecord() {
  if (play_list_.RecordCount() == 0) return;
  if (!dialogs_.Confirm("Delete record?")) return;
  play_list_.DeleteCurrent();
}

void TPlaylistForm::DeleteButtonClick() {
  try {
    play_list_.DeleteCurrent();
  } catch (const CandidateTableError& e) {
    dialogs_.ShowMessage(e.what());
  }
}

// ---------------------------------------------------------------- playback

void TPlaylistForm::ShowIdle() {
  Timer1.stop();
  StopButton->setEnabled(false);
  StopButton->setVisible(false);
  PlayButton->setEnabled(true);
  PlayButton->setVisible(true);
}

void TPlaylistForm::PlayButtonClick() {
  if (play_list_.RecordCount() == 0) return;
  const CandidateRow& row = play_list_.Current();
  device_->Close();
  device_->FileName = TrimTrailing(row.Path);
  try {
    device_->Open();
  } catch (const std::exception& e) {
    dialogs_.ShowMessage(e.what());
    return;
  }
  device_->Play();
  PlayButton->setEnabled(false);
  PlayButton->setVisible(false);
  StopButton->setEnabled(true);
  StopButton->setVisible(true);
  units_per_second_ = UnitsPerSecond(device_->Length(), row.Seconds);
  Timer1.start();
}

void TPlaylistForm::StopButtonClick() {
  device_->Stop();
  ShowIdle();
}

void TPlaylistForm::Timer1Timer() {
  const int64_t remaining = (device_->Length() - device_->Position()) / units_per_second_;
  // The device stays open until the next Play, or until the window hides or closes.
  if (remaining <= 0) ShowIdle();
  pump_.ProcessEvents();
}

// ---------------------------------------------------------------- the playlist

bool TPlaylistForm::ReadLimitsOrSay(PlaylistLimits& limits) {
  try {
    limits = ReadLimits(parameters_.Settings());
    return true;
  } catch (const InvalidIntegerError& e) {
    dialogs_.ShowMessage(e.what());
    return false;
  }
}

void TPlaylistForm::TestButtonClick() {
  PlaylistLimits limits;
  if (!ReadLimitsOrSay(limits)) return;
  try {
    TestPlaylist(play_list_, limits);
  } catch (const PlaylistFileError& e) {
    dialogs_.ShowMessage(e.what());
  }
}

void TPlaylistForm::WriteButtonClick() {
  PlaylistLimits limits;
  if (!ReadLimitsOrSay(limits)) return;
  const std::optional<std::string> name =
      dialogs_.SaveFileName("Write playlist file", "playlist file|*.m3u", "m3u");
  if (!name) return;
  try {
    WaitCursor wait;
    WritePlaylist(play_list_, limits, WithPlaylistExtension(*name));
  } catch (const PlaylistFileError& e) {
    dialogs_.ShowMessage(e.what());
  }
}

void TPlaylistForm::MoveButtonClick() {
  PlaylistLimits limits;
  if (!ReadLimitsOrSay(limits)) return;
  const std::optional<std::string> folder =
      dialogs_.ChooseFolder("Copy files to directory, CD or PDA", copy_folder_);
  std::optional<CopyOutcome> outcome;
  if (folder) {
    copy_folder_ = *folder;
    try {
      WaitCursor wait;
      outcome = CopyPlaylistFiles(play_list_, limits, *folder);
    } catch (const PlaylistFileError& e) {
      dialogs_.ShowMessage(e.what());
      return;
    }
  }
  play_list_.First();
  if (outcome && !outcome->failures.empty()) dialogs_.ShowMessage(CopyFailureText(*outcome));
}

}  // namespace melodrift
