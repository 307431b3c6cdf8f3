// The main window: layout, menus, the library opening, the grid, search, the library commands,
// the error log entry point, the playlist commands and closing.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <utility>

#include "analysis/add_progress_form.h"
#include "app/about_box.h"
#include "app/config_form.h"
#include "app/main_form.h"
#include "app/track_details_form.h"
#include "app/track_grid_model.h"
#include "library/error_form.h"
#include "library/table_error.h"
#include "playback/silent_audio_output.h"
#include "playlist/candidate_grid_model.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_form.h"
#include "playlist/progress_form.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::FakeDialogs;
using testing::MakeProgramFolder;
using testing::TempDir;
using testing::Track;
using testing::WriteLibrary;

class MainFormTest : public ::testing::Test {
 protected:
  TMainForm& Form() {
    if (!form_) form_ = std::make_unique<TMainForm>(folder_, random_, pump_, dialogs_);
    return *form_;
  }
  // The window after the library opening.
  TMainForm& Opened() {
    Form().FormShow();
    return *form_;
  }
  QString GridText(int row, int column) {
    auto& model = form_->GridModel();
    return model.data(model.index(row, column)).toString();
  }
  bool GridUse(int row) {
    auto& model = form_->GridModel();
    return model.data(model.index(row, TrackGridModel::kUse), Qt::CheckStateRole).toInt() ==
           Qt::Checked;
  }
  int GridCurrentRow() { return form_->TrackGrid->currentIndex().row(); }
  std::string CurrentSong() { return TrimTrailing(form_->Tables().TrackDBF.FieldText("song")); }

  ScopedThrowingTableErrors throwing_;
  TempDir dir_;
  std::string folder_ = MakeProgramFolder(dir_);
  FakeDialogs dialogs_;
  RandomSource random_;
  NoEventPump pump_;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, LayoutHasTheFixedSizesControlsAndHints) {
  TMainForm& form = Opened();
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  EXPECT_EQ(form.windowTitle(), "Melodrift");
  EXPECT_FALSE(form.windowIcon().isNull());
  EXPECT_EQ(form.width(), 467);
  EXPECT_EQ(form.height() - form.menuBar()->height(), 364);
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "the window is not resizable";
  EXPECT_EQ(form.AddButton->parentWidget()->height(), 36);
  EXPECT_EQ(form.TrackGrid->height(), 364 - 36 - 56 - 19);
  EXPECT_EQ(form.PlayButton->parentWidget()->height(), 56);
  EXPECT_EQ(form.StatusBar1->height(), 19);
  EXPECT_EQ(form.StatusBar1->geometry().bottom(), form.height() - 1);

  for (int i = 0; i < 3; ++i) {
    auto* panel = form.StatusBar1->findChild<QLabel*>(QStringLiteral("Panel%1").arg(i));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->width(), 100);
    EXPECT_EQ(panel->alignment(), Qt::AlignCenter);
  }
  EXPECT_EQ(form.PanelText(1), "-:--");
  EXPECT_EQ(form.PanelText(2), "");

  struct Button {
    QAbstractButton* button;
    const char* text;
    const char* hint;
    bool enabled;
  };
  for (const Button& b : {
           Button{form.AddButton, "Add", "Add MP3 files to library", true},
           Button{form.SpButton1, "Search", "Locate search string in track library", true},
           Button{form.SpButton3, "Playlist", "Generate a playlist", true},
       }) {
    EXPECT_EQ(b.button->text(), b.text);
    EXPECT_EQ(b.button->toolTip(), b.hint);
    EXPECT_EQ(b.button->isEnabled(), b.enabled) << b.text;
  }
  EXPECT_EQ(form.NextBox->text(), "Next");
  EXPECT_FALSE(form.NextBox->isVisible());
  EXPECT_FALSE(form.NextBox->isEnabled());

  EXPECT_TRUE(form.PlayButton->isEnabled());
  for (QToolButton* b : {form.PrevButton, form.PauseButton, form.StopButton, form.NextButton}) {
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(b->toolTip().isEmpty());
    EXPECT_FALSE(b->icon().isNull());
  }
  EXPECT_FALSE(form.TrackBar1->isEnabled());

  // Auto and Random exclude each other; both may be off.
  EXPECT_TRUE(form.AutoBox->isChecked());
  EXPECT_FALSE(form.RandomBox->isChecked());
  form.RandomBox->setChecked(true);
  EXPECT_FALSE(form.AutoBox->isChecked());
  form.AutoBox->setChecked(true);
  EXPECT_FALSE(form.RandomBox->isChecked());
  form.AutoBox->setChecked(false);
  EXPECT_FALSE(form.RandomBox->isChecked());

  const QStringList titles = {"Artist", "Song", "Album", "Use"};
  const int widths[] = {100, 176, 115};
  for (int c = 0; c < titles.size(); ++c) {
    EXPECT_EQ(form.GridModel().headerData(c, Qt::Horizontal).toString(), titles[c]);
    if (c < 3) {
      EXPECT_EQ(form.TrackGrid->columnWidth(c), widths[c]);
    }
  }
}

TEST_F(MainFormTest, MenusHoldTheirItemsShortcutsAndDisabledCommands) {
  TMainForm& form = Form();
  struct Item {
    const char* menu;
    const char* text;
    QKeySequence shortcut;
    bool enabled;
  };
  const std::vector<Item> expected = {
      {"File", "Add Files", QKeySequence("Ctrl+A"), true},
      {"File", "Include All", {}, true},
      {"File", "Delete All", {}, true},
      {"File", "Exit", {}, true},
      {"Play", "Previous   Z", {}, false},
      {"Play", "Play          X", {}, false},
      {"Play", "Pause       C", {}, false},
      {"Play", "Stop         V", {}, false},
      {"Play", "Next         B", {}, false},
      {"Options", "Set Options", QKeySequence("Ctrl+O"), true},
      {"Song", "Display Details", QKeySequence("Ctrl+D"), true},
      {"Song", "Display Visualization", QKeySequence("Ctrl+V"), false},
      {"Song", "Generate Playlist", QKeySequence("Ctrl+G"), true},
      {"Song", "Average Playlist", {}, true},
      {"Help", "Contents", QKeySequence("F1"), true},
      {"Help", "Email Support", {}, true},
      {"Help", "Error Log", QKeySequence("Ctrl+E"), true},
      {"Help", "About", {}, true},
  };
  std::vector<Item> found;
  std::vector<QByteArray> texts;  // keeps the found texts alive
  QStringList menus;
  for (QAction* menu_action : form.menuBar()->actions()) {
    menus << menu_action->text();
    for (QAction* a : menu_action->menu()->actions()) {
      if (a->isSeparator()) continue;
      texts.push_back(menu_action->text().toLatin1());
      texts.push_back(a->text().toLatin1());
      found.push_back({nullptr, nullptr, a->shortcut(), a->isEnabled()});
    }
  }
  ASSERT_EQ(found.size(), expected.size());
  for (size_t i = 0; i < found.size(); ++i) {
    const Item& want = expected[i];
    EXPECT_EQ(texts[2 * i], want.menu) << want.text;
    EXPECT_EQ(texts[2 * i + 1], want.text);
    EXPECT_EQ(found[i].shortcut, want.shortcut) << want.text;
    EXPECT_EQ(found[i].enabled, want.enabled) << want.text;
  }
  EXPECT_EQ(menus, QStringList({"File", "Play", "Options", "Song", "Help"}));

  QStringList popup;
  for (QAction* a : form.TrackPopup->actions()) {
    popup << a->text() + " " + a->shortcut().toString();
  }
  EXPECT_EQ(popup, QStringList({"Display Details Ctrl+D", "Display Visualization Ctrl+V",
                                "Generate Playlist Ctrl+G"}));
}

// The playlist windows as the program makes them for a main window.
struct PlaylistWindows {
  PlaylistWindows(TMainForm& form, Dialogs& dialogs, EventPump& pump)
      : parameters(&form),
        progress(&form),
        playlist(
            form.DMod().PlayList, parameters, dialogs, pump,
            [] { return std::make_unique<SilentAudioOutput>(); }, &form) {}
  ShellWindows Attached() {
    return {.parameters = &parameters, .progress = &progress, .playlist = &playlist};
  }

  TParameterForm parameters;
  TProgressForm progress;
  TPlaylistForm playlist;
};

TEST_F(MainFormTest, ShortcutsReachTheirCommands) {
  WriteLibrary(folder_, {Track("Artist", "Song")});
  TMainForm& form = Opened();
  TErrorForm errors(form.Tables().ErrorDBF, &form);
  TTrackDetails details(&form);
  PlaylistWindows playlist(form, dialogs_, pump_);
  ShellWindows windows = playlist.Attached();
  windows.details = &details;
  windows.errors = &errors;
  form.AttachWindows(windows);
  form.show();
  // Each shown window takes the activation; the shortcuts belong to the main window.
  auto activate = [&] {
    form.activateWindow();
    return QTest::qWaitForWindowActive(&form);
  };
  ASSERT_TRUE(activate());
  QTest::keySequence(&form, QKeySequence("Ctrl+E"));
  EXPECT_TRUE(errors.isVisible());
  ASSERT_TRUE(activate());
  QTest::keySequence(&form, QKeySequence("Ctrl+D"));
  EXPECT_TRUE(details.isVisible());
  ASSERT_TRUE(activate());
  QTest::keySequence(&form, QKeySequence("Ctrl+A"));
  EXPECT_EQ(dialogs_.folder_choices, 1) << "Add Files";
  ASSERT_TRUE(activate());
  QTest::keySequence(&form, QKeySequence("Ctrl+O"));
  ASSERT_TRUE(QTest::qWaitForWindowActive(&playlist.parameters));
  // The main window counts as active while a window over it is: wait for its own activation.
  form.activateWindow();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !playlist.parameters.isVisible(); }))
      << "activating the main window hides it";
  ASSERT_TRUE(activate());
  QTest::keySequence(&form, QKeySequence("Ctrl+G"));
  EXPECT_TRUE(playlist.playlist.isVisible()) << "Generate Playlist";
}

struct OpeningCase {
  const char* what;
  std::vector<int32_t> ids;
  int64_t deleted_recno;  // flagged deleted before the start; 0 for none
  const char* panel;
  int32_t next_id;
  bool wizard;
};

void PrintTo(const OpeningCase& c, std::ostream* os) {
  *os << c.what;
}

class MainFormOpeningTest : public MainFormTest,
                            public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(MainFormOpeningTest, CountsTracksFindsNextIdAndOffersTheWizardForAnEmptyLibrary) {
  const OpeningCase& c = GetParam();
  std::vector<NewTrack> tracks;
  for (size_t i = 0; i < c.ids.size(); ++i) {
    tracks.push_back(Track("Artist " + std::to_string(i), "Song " + std::to_string(i)));
  }
  WriteLibrary(folder_, tracks, c.ids);
  if (c.deleted_recno != 0) {
    LibraryTables tables;
    tables.SetFileNames(folder_);
    tables.TrackDBF.Open();
    tables.TrackDBF.Go(c.deleted_recno);
    tables.TrackDBF.DeleteRec();
    tables.TrackDBF.Close();
  }
  const size_t shown = c.ids.size() - (c.deleted_recno != 0 ? 1 : 0);

  TConfigForm config;
  Form().AttachWindows({.config = &config});
  TMainForm& form = Opened();

  EXPECT_EQ(form.PanelText(0), c.panel);
  EXPECT_EQ(form.Tables().NextUniqueID, c.next_id);
  EXPECT_EQ(config.isVisible(), c.wizard);
  EXPECT_EQ(form.Tables().TrackDBF.RecCount(), static_cast<int64_t>(shown))
      << "rows flagged deleted are gone from the file";
  EXPECT_EQ(form.Tables().TrackMem.RecCount(), static_cast<int64_t>(shown));
  EXPECT_EQ(form.GridModel().rowCount(), static_cast<int>(shown));
  EXPECT_TRUE(form.SplashTimer.isActive());
  EXPECT_GE(form.SplashTimer.interval(), 500);
  EXPECT_LE(form.SplashTimer.interval(), 999);
  EXPECT_TRUE(form.SplashTimer.isSingleShot());
  if (shown > 0) {
    EXPECT_EQ(GridCurrentRow(), 0) << "the first row in grid order is current";
    EXPECT_EQ(form.FirstRecNo, form.GridModel().RecNoAt(0));
    EXPECT_EQ(form.LastRecNo, form.GridModel().RecNoAt(static_cast<int>(shown) - 1));
  } else {
    EXPECT_EQ(form.FirstRecNo, 0);
    EXPECT_EQ(form.LastRecNo, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, MainFormOpeningTest,
    ::testing::Values(OpeningCase{"empty", {}, 0, "0 Files", 0, true},
                      OpeningCase{"ids 0 to 4", {0, 1, 2, 3, 4}, 0, "5 Files", 5, false},
                      OpeningCase{"ids with gaps", {0, 3, 7}, 0, "3 Files", 8, false},
                      OpeningCase{"a deleted row", {0, 1, 2}, 2, "2 Files", 3, false},
                      OpeningCase{"the largest deleted", {0, 1, 9}, 3, "2 Files", 2, false}),
    [](const auto& info) {
      std::string name = info.param.what;
      for (char& ch : name) {
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

TEST_F(MainFormTest, OpeningGivesTheFocusToTheFirstControlAndTheFlagsTheirStartValues) {
  TMainForm& form = Opened();
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  EXPECT_EQ(QApplication::focusWidget(), form.AddButton);
  EXPECT_FALSE(form.SearchFocused);
  EXPECT_FALSE(form.Ranking().RejectBusy);
  EXPECT_TRUE(form.PlayForward);
  EXPECT_FALSE(form.Ranking().JukeboxRanking);
  EXPECT_FALSE(form.TimerTick);
  EXPECT_EQ(form.Tables().TrackMemStale, 0);

  // The search box tells the playback keys to keep off while it has the focus.
  form.SearchString->setFocus();
  EXPECT_TRUE(form.SearchFocused);
  form.TrackGrid->setFocus();
  EXPECT_FALSE(form.SearchFocused);
}

TEST_F(MainFormTest, WizardAddRunsTheAddFilesCommand) {
  TConfigForm config;
  Form().AttachWindows({.config = &config});
  Opened();
  ASSERT_TRUE(config.isVisible());
  config.SpButton1->click();
  EXPECT_FALSE(config.isVisible());
  EXPECT_EQ(dialogs_.folder_choices, 1);
}

TEST_F(MainFormTest, AddFilesImportsTheChosenFolderUnderTheProgressWindow) {
  TempDir music;
  for (const char* name : {"a.mp3", "b.mp3"}) {
    std::filesystem::copy_file(std::string(MELODRIFT_TEST_MP3_DIR) + "/sine-mono-44k.mp3",
                               music.File(name));
  }
  TAddProgress progress(&Form());
  Form().AttachWindows({.add_progress = &progress});
  Opened();
  form_->show();
  dialogs_.folder = music.path();

  form_->AddMP3Files1Click();
  EXPECT_EQ(form_->Tables().TrackDBF.RecCount(), 2);
  EXPECT_EQ(form_->GridModel().rowCount(), 2);
  EXPECT_EQ(form_->PanelText(0), "2 Files");
  EXPECT_FALSE(progress.isVisible());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_EQ(progress.windowTitle(), "Add Files Progress");
  EXPECT_EQ(form_->Tables().AvgDBF.RecCount(), 256);
  EXPECT_EQ(dialogs_.messages.size(), 0u);
}

TEST_F(MainFormTest, SearchWalksFromHitToHitAndStartsOverAfterTheTimerOrAnEdit) {
  // Import order: Alpha Centauri, Beta, alphabet, Gamma. Grid order differs (asndx).
  WriteLibrary(folder_, {Track("Zed", "Alpha Centauri"), Track("Beta", "Blues"),
                         Track("Mid", "alphabet"), Track("Gamma", "Ray")});
  TMainForm& form = Opened();
  auto press = [&] {
    form.FindButtonClick();
    return CurrentSong();
  };

  form.SearchString->setText("ALPHA");
  EXPECT_EQ(press(), "Alpha Centauri");
  EXPECT_EQ(press(), "alphabet");
  EXPECT_EQ(press(), "alphabet") << "nothing more found: the row stays";
  EXPECT_EQ(GridCurrentRow(), form.GridModel().RowOfRecNo(form.Tables().TrackDBF.RecNo()))
      << "the grid follows the table";

  form.ErrTimerTimer();
  EXPECT_FALSE(form.NextBox->isChecked());
  EXPECT_EQ(press(), "Alpha Centauri") << "after the timer the search starts over";
  EXPECT_EQ(press(), "alphabet");

  form.SearchString->setText("alph");
  EXPECT_FALSE(form.NextBox->isChecked()) << "an edit starts over";
  EXPECT_EQ(press(), "Alpha Centauri");

  // Enter in the box searches; a double click empties it.
  QTest::keyClick(form.SearchString, Qt::Key_Return);
  EXPECT_EQ(CurrentSong(), "alphabet");
  QTest::mouseDClick(form.SearchString, Qt::LeftButton);
  EXPECT_EQ(form.SearchString->text(), "");
  EXPECT_FALSE(form.NextBox->isChecked());

  // A text that is empty, blank or not in ISO-8859-1 moves nothing.
  for (const QString& text : {QString(), QStringLiteral("   "), QStringLiteral("\u03b1lpha")}) {
    form.SearchString->setText(text);
    EXPECT_EQ(press(), "alphabet") << text.toStdString();
    EXPECT_TRUE(form.NextBox->isChecked());
  }
  // ISO-8859-1 text typed by the user finds the tag text stored in it.
  form.SearchString->setText(QStringLiteral("gamma"));
  EXPECT_EQ(press(), "Ray");
}

TEST_F(MainFormTest, SearchFindsLatin1TagText) {
  WriteLibrary(folder_, {Track("Plain", "One"), Track("Bj\xF6rk", "J\xF3ga")});
  TMainForm& form = Opened();
  form.SearchString->setText(QStringLiteral("BJ\u00d6RK"));  // upper case of the stored text
  form.FindButtonClick();
  EXPECT_EQ(CurrentSong(), "J\xF3ga");
  EXPECT_EQ(GridText(GridCurrentRow(), TrackGridModel::kArtist), QStringLiteral("Bj\u00f6rk"));
}

TEST_F(MainFormTest, ErrTimerRunsFromCreationAndIsNotRestartedWhileRunning) {
  TMainForm& form = Form();
  EXPECT_TRUE(form.ErrTimer.isActive());
  EXPECT_TRUE(form.ErrTimer.isSingleShot());
  EXPECT_EQ(form.ErrTimer.interval(), 5000);
  QTest::qWait(30);
  form.StartErrTimer();
  EXPECT_LE(form.ErrTimer.remainingTime(), 4980) << "the running period was restarted";

  form.SetPanelText(2, "Could not play file - 3");
  form.NextBox->setChecked(true);
  form.ErrTimerTimer();
  EXPECT_EQ(form.PanelText(2), "");
  EXPECT_FALSE(form.NextBox->isChecked());
  EXPECT_FALSE(form.ErrTimer.isActive());
  form.StartErrTimer();
  EXPECT_GT(form.ErrTimer.remainingTime(), 4900) << "a stopped timer starts a new period";
}

TEST_F(MainFormTest, ReportFailureShowsLogsAndUpdatesAnOpenErrorLog) {
  TMainForm& form = Opened();
  TErrorForm errors(form.Tables().ErrorDBF, &form);
  form.AttachWindows({.errors = &errors});
  form.ErrorLog1Click();
  auto* grid = errors.findChild<QTableView*>();
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->model()->rowCount(), 0);
  form.ErrTimer.stop();

  form.ReportFailure("Could not play file - 3", "Could not play - /music/a.mp3");
  EXPECT_EQ(form.PanelText(2), "Could not play file - 3");
  EXPECT_TRUE(form.ErrTimer.isActive());
  TTzDbf& log = form.Tables().ErrorDBF;
  ASSERT_EQ(log.RecCount(), 1);
  EXPECT_EQ(TrimTrailing(log.FieldTextAt(1, "errmsg")), "Could not play - /music/a.mp3");
  EXPECT_EQ(grid->model()->rowCount(), 1) << "the open window shows the entry at once";
}

TEST_F(MainFormTest, UseCheckWritesBackAndRaisesTrackMemStale) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two"), Track("C", "Three")});
  {
    TMainForm& form = Opened();
    TrackGridModel& model = form.GridModel();
    ASSERT_TRUE(
        model.setData(model.index(1, TrackGridModel::kUse), Qt::Unchecked, Qt::CheckStateRole));
    const int64_t recno = model.RecNoAt(1);
    EXPECT_FALSE(form.Tables().TrackDBF.FieldBoolAt(recno, "include"));
    EXPECT_FALSE(GridUse(1));
    EXPECT_EQ(form.Tables().TrackMemStale, 1);
    EXPECT_EQ(GridCurrentRow(), 1) << "the edited row becomes current";
    EXPECT_TRUE(form.Tables().TrackMem.FieldBoolAt(recno, "include"))
        << "TrackMem follows only at its next reload";

    // From the keyboard: Space on the "Use" cell of the current row.
    form.show();
    form.TrackGrid->setCurrentIndex(model.index(2, TrackGridModel::kUse));
    QTest::keyClick(form.TrackGrid, Qt::Key_Space);
    EXPECT_FALSE(GridUse(2));
    EXPECT_EQ(form.Tables().TrackMemStale, 2);
    form.close();
  }
  form_.reset();
  Opened();
  EXPECT_TRUE(GridUse(0));
  EXPECT_FALSE(GridUse(1)) << "the changes were written to the file";
  EXPECT_FALSE(GridUse(2));
  EXPECT_EQ(form_->Tables().TrackMemStale, 0);
}

TEST_F(MainFormTest, IncludeAllSetsEveryRowAndReloadsTrackMem) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two"), Track("C", "Three")});
  TMainForm& form = Opened();
  TrackGridModel& model = form.GridModel();
  model.setData(model.index(0, TrackGridModel::kUse), Qt::Unchecked, Qt::CheckStateRole);
  model.setData(model.index(2, TrackGridModel::kUse), Qt::Unchecked, Qt::CheckStateRole);
  ASSERT_EQ(form.Tables().TrackMemStale, 2);

  form.RestoreButtonClick();
  LibraryTables& tables = form.Tables();
  for (int row = 0; row < 3; ++row) {
    EXPECT_TRUE(GridUse(row)) << row;
    EXPECT_TRUE(tables.TrackDBF.FieldBoolAt(model.RecNoAt(row), "include")) << row;
    EXPECT_TRUE(tables.TrackMem.FieldBoolAt(row + 1, "include")) << row;
  }
  EXPECT_EQ(tables.TrackMemStale, 4) << "each row changed counts";
  EXPECT_EQ(GridCurrentRow(), 0);
  EXPECT_EQ(tables.TrackDBF.RecNo(), model.RecNoAt(0));
  EXPECT_TRUE(form.TrackGrid->updatesEnabled());

  // With nothing to change it still loads TrackMem again.
  tables.TrackMem.Zap();
  form.RestoreButtonClick();
  EXPECT_EQ(tables.TrackMem.RecCount(), 3);
  EXPECT_FALSE(tables.UniqueTrack(Track("B", "Two").filepath));
  EXPECT_EQ(tables.TrackMemStale, 4);
}

TEST_F(MainFormTest, DeleteAllEmptiesTheLibraryOnlyAfterYes) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two")});
  TMainForm& form = Opened();
  TErrorForm errors(form.Tables().ErrorDBF, &form);
  form.AttachWindows({.errors = &errors});
  form.ReportFailure("x", "an entry");
  LibraryTables& tables = form.Tables();
  const LibraryAverage average = form.Average();
  ASSERT_GT(average[3], 0.0);

  dialogs_.answer = false;
  form.DeleteAll1Click();
  ASSERT_EQ(dialogs_.questions,
            std::vector<std::string>{"Sure you want to delete entire library?"});
  EXPECT_EQ(tables.TrackDBF.RecCount(), 2);
  EXPECT_EQ(tables.FeatureDBF.RecCount(), 512);
  EXPECT_EQ(tables.ErrorDBF.RecCount(), 1);
  EXPECT_EQ(tables.TrackMem.RecCount(), 2);
  EXPECT_EQ(tables.NextUniqueID, 2);
  EXPECT_EQ(form.PanelText(0), "2 Files");
  EXPECT_EQ(form.GridModel().rowCount(), 2);

  dialogs_.answer = true;
  form.DeleteAll1Click();
  for (TTzDbf* t : {&tables.TrackDBF, &tables.FeatureDBF, &tables.AvgDBF, &tables.ErrorDBF}) {
    EXPECT_EQ(t->RecCount(), 0) << t->Name();
  }
  EXPECT_EQ(tables.TrackMem.RecCount(), 0);
  EXPECT_EQ(tables.NextUniqueID, 0);
  EXPECT_EQ(form.PanelText(0), "0 Files");
  EXPECT_EQ(form.GridModel().rowCount(), 0);
  EXPECT_EQ(errors.findChild<QTableView*>()->model()->rowCount(), 0);
  EXPECT_EQ(form.Average(), average) << "the average in memory stays";

  tables.StoreTrack(Track("C", "Three"));
  form.TrackTableChanged();
  EXPECT_EQ(tables.TrackDBF.FieldInt("unique_id"), 0);
  EXPECT_EQ(form.GridModel().rowCount(), 1);
  EXPECT_EQ(GridCurrentRow(), 0);
}

TEST_F(MainFormTest, ActivationHidesTheDetailsAboutAndErrorLogWindows) {
  WriteLibrary(folder_, {Track("A", "One")});
  TMainForm& form = Opened();
  TAboutBox about(&form);
  TTrackDetails details(&form);
  TErrorForm errors(form.Tables().ErrorDBF, &form);
  TConfigForm config(&form);
  form.AttachWindows({.about = &about, .details = &details, .errors = &errors, .config = &config});
  form.show();
  form.About1Click();
  form.DisplayDetails1Click();
  form.ErrorLog1Click();
  config.show();
  ASSERT_TRUE(about.isVisible() && details.isVisible() && errors.isVisible());

  QEvent activate(QEvent::WindowActivate);
  QApplication::sendEvent(&form, &activate);
  EXPECT_FALSE(about.isVisible());
  EXPECT_FALSE(details.isVisible());
  EXPECT_FALSE(errors.isVisible());
  EXPECT_TRUE(config.isVisible()) << "the wizard is not among them";
}

TEST_F(MainFormTest, DisplayDetailsNeedsACurrentTrack) {
  TMainForm& form = Opened();
  TTrackDetails details(&form);
  form.AttachWindows({.details = &details});
  form.DisplayDetails1Click();
  EXPECT_FALSE(details.isVisible()) << "an empty library has no current track";
}

TEST_F(MainFormTest, HelpAndSupportMailAddresses) {
  TMainForm& form = Form();
  EXPECT_EQ(form.HelpPage(), folder_ + "help/index.htm");
  EXPECT_EQ(HelpPageUrl("/opt/m\xC3\xA9lo/help/index.htm").toString(),
            QStringLiteral("file:///opt/m\u00e9lo/help/index.htm"));
  EXPECT_EQ(SupportMailUrl().toEncoded(),
            "mailto:support@melodrift.example?subject=Melodrift%20Application%20Support");
}

TEST_F(MainFormTest, CloseEndsWithTheTablesClosedAndTheirHeadersWritten) {
  TMainForm& form = Opened();
  form.ReportFailure("x", "first");
  form.ReportFailure("x", "second");
  bool closed = false;
  QObject::connect(&form, &TMainForm::Closed, [&] { closed = true; });
  form.Exit1Click();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(form.Tables().ErrorDBF.Active());
  EXPECT_FALSE(form.Tables().TrackDBF.Active());
  // The error table's header counts the entries written during the run.
  const std::string header = testing::ReadFileBytes(folder_ + "tables/errors.dbf").substr(4, 4);
  EXPECT_EQ(header, std::string("\x02\x00\x00\x00", 4));
}

// Closes the window from inside the opening's event pump, as a user or a signal might.
class ClosingPump final : public EventPump {
 public:
  TMainForm* form = nullptr;
  int calls = 0;
  bool ever_safe = false;
  void ProcessEvents() override {
    ++calls;
    if (form == nullptr) return;
    ever_safe = ever_safe || form->SafeToClose();
    form->close();
  }
};

TEST_F(MainFormTest, CloseWaitsWhileTheOpeningRuns) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two")});
  ClosingPump pump;
  TMainForm form(folder_, random_, pump, dialogs_);
  pump.form = &form;
  form.FormShow();
  pump.form = nullptr;
  EXPECT_GT(pump.calls, 2);
  EXPECT_FALSE(pump.ever_safe);
  EXPECT_TRUE(form.Tables().TrackDBF.Active()) << "the tables were not closed under the opening";
  EXPECT_EQ(form.PanelText(0), "2 Files");
  EXPECT_TRUE(form.SafeToClose());
}

TEST_F(MainFormTest, MissingTablesFolderIsAFatalPathNotFound) {
  TempDir empty;
  std::vector<std::string> messages;
  TableMessageHandler previous =
      SetTableMessageHandler([&](const std::string& text) { messages.push_back(text); });
  TMainForm form(empty.path() + "/", random_, pump_, dialogs_);
  try {
    form.FormShow();
    ADD_FAILURE() << "the opening went on without its tables";
  } catch (const TableFatalError& e) {
    EXPECT_EQ(e.code(), 3);
    EXPECT_EQ(ErrorDescription(e.code()), "Path not found");
  }
  SetTableMessageHandler(previous);
  EXPECT_EQ(messages, std::vector<std::string>{"Could not create \"" + empty.path() +
                                               "/tables/errors.dbf\""});
}

// ---------------------------------------------------------------- playlists

class MainFormPlaylistTest : public MainFormTest {
 protected:
  // The window opened on `tracks`, with the playlist windows and the first grid row current.
  TMainForm& OpenedWithPlaylistWindows(const std::vector<NewTrack>& tracks) {
    WriteLibrary(folder_, tracks);
    Opened();
    windows_ = std::make_unique<PlaylistWindows>(*form_, dialogs_, pump_);
    form_->AttachWindows(windows_->Attached());
    form_->show();
    return *form_;
  }
  TPlaylistForm& Playlist() { return windows_->playlist; }
  TProgressForm& Progress() { return windows_->progress; }
  // What the playlist window lists, in its order.
  QStringList PlaylistSongs() {
    QStringList songs;
    auto& model = Playlist().GridModel();
    for (int row = 0; row < model.rowCount(); ++row) {
      songs << model.data(model.index(row, CandidateGridModel::kSong)).toString();
    }
    return songs;
  }

  std::unique_ptr<PlaylistWindows> windows_;
};

TEST_F(MainFormPlaylistTest, PlaylistButtonRanksTheLibraryAndOpensThePlaylistWindow) {
  TMainForm& form = OpenedWithPlaylistWindows(
      {Track("A", "One"), Track("B", "Two"), Track("C", "Three", "An Album", 0)});
  form.UsedSong = {"A - One"};
  form.UsedArtist = {"A"};

  form.SpButton3->click();
  EXPECT_TRUE(form.Ranking().RankingDone);
  EXPECT_FALSE(form.Ranking().SeedIsAverage);
  ASSERT_TRUE(Playlist().isVisible());
  QStringList songs = PlaylistSongs();
  songs.sort();
  EXPECT_EQ(songs, QStringList({"One", "Two"})) << "a track of 0 seconds is never ranked";
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_FALSE(form.isEnabled()) << "disabled behind the playlist window";
  EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
  EXPECT_TRUE(form.UsedSong.empty()) << "a completed run empties the used lists";
  EXPECT_TRUE(form.UsedArtist.empty());

  Playlist().CloseButton->click();
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(form.DMod().PlayList.RecordCount(), 2) << "the rows stay after the window closed";

  // Average Playlist: the same steps with the average as the seed, until Generate clears it.
  form.AvgListButtonClick();
  EXPECT_TRUE(form.Ranking().SeedIsAverage);
  EXPECT_TRUE(Playlist().isVisible());
  EXPECT_EQ(PlaylistSongs().size(), 2);
  Playlist().CloseButton->click();
  form.PlaylistOuter();
  EXPECT_FALSE(form.Ranking().SeedIsAverage);
}

TEST_F(MainFormPlaylistTest, AnEmptyLibraryOpensAnEmptyPlaylist) {
  TMainForm& form = OpenedWithPlaylistWindows({});
  form.PlaylistOuter();
  EXPECT_TRUE(Playlist().isVisible());
  EXPECT_EQ(PlaylistSongs(), QStringList());
  Playlist().close();
  EXPECT_TRUE(form.isEnabled());
}

// Acts once, at the first time the run lets events run.
class ActingPump final : public EventPump {
 public:
  std::function<void()> act;
  void ProcessEvents() override {
    if (act) std::exchange(act, nullptr)();
  }
};

TEST_F(MainFormPlaylistTest, CancelStopsTheRunWithoutThePlaylistWindow) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two")});
  ActingPump pump;
  TMainForm form(folder_, random_, pump, dialogs_);
  form.FormShow();
  PlaylistWindows windows(form, dialogs_, pump);
  form.AttachWindows(windows.Attached());
  form.show();

  pump.act = [&] {
    EXPECT_TRUE(windows.progress.isVisible());
    EXPECT_FALSE(form.isEnabled());
    EXPECT_NE(QApplication::overrideCursor(), nullptr) << "the hourglass shows during the run";
    windows.progress.Button1->click();
  };
  form.PlaylistOuter();
  EXPECT_FALSE(form.Ranking().KeepRanking);
  EXPECT_FALSE(form.Ranking().RankingDone);
  EXPECT_FALSE(windows.playlist.isVisible());
  EXPECT_FALSE(windows.progress.isVisible());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainFormPlaylistTest, ClosingDuringARunCancelsItAndKeepsTheTablesOpen) {
  WriteLibrary(folder_, {Track("A", "One"), Track("B", "Two")});
  ActingPump pump;
  TMainForm form(folder_, random_, pump, dialogs_);
  form.FormShow();
  bool closed = false;
  QObject::connect(&form, &TMainForm::Closed, [&] { closed = true; });
  pump.act = [&] { form.close(); };
  form.PlaylistOuter();
  EXPECT_FALSE(closed);
  EXPECT_FALSE(form.Ranking().RankingDone);
  EXPECT_TRUE(form.Tables().TrackDBF.Active());
  EXPECT_TRUE(form.SafeToClose());
  form.close();
  EXPECT_TRUE(closed) << "once the run has stopped";
}

TEST_F(MainFormPlaylistTest, AFailureBuildingTheSeedLeavesTheWindowsUsable) {
  TMainForm& form = OpenedWithPlaylistWindows({Track("A", "One")});
  form.Tables().FeatureDBF.Close();
  EXPECT_THROW(form.PlaylistOuter(), TableFatalError);
  EXPECT_FALSE(Progress().isVisible());
  EXPECT_FALSE(Playlist().isVisible());
  EXPECT_TRUE(form.isEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainFormPlaylistTest, ATrackThatCannotBeMeasuredIsReportedAndRankedLast) {
  // With the boost "Auto", a bin whose library average is 0 has no factor.
  NewTrack silent_bin = Track("A", "One");
  NewTrack other = Track("B", "Two");
  silent_bin.features[5] = 0;
  other.features[5] = 0;
  TMainForm& form = OpenedWithPlaylistWindows({silent_bin, other});
  form.ErrTimer.stop();
  form.PlaylistOuter();

  const TCandidateTable& play_list = form.DMod().PlayList;
  ASSERT_EQ(play_list.RecordCount(), 2);
  EXPECT_EQ(play_list.Row(1).IDist, NoDistance);
  EXPECT_EQ(play_list.Row(2).IDist, NoDistance);
  EXPECT_TRUE(form.PanelText(2).startsWith("Could not calculate - "))
      << form.PanelText(2).toStdString();
  EXPECT_TRUE(form.ErrTimer.isActive());
  TTzDbf& log = form.Tables().ErrorDBF;
  ASSERT_EQ(log.RecCount(), 2);
  std::vector<std::string> logged = {TrimTrailing(log.FieldTextAt(1, "errmsg")),
                                     TrimTrailing(log.FieldTextAt(2, "errmsg"))};
  std::sort(logged.begin(), logged.end());
  EXPECT_EQ(logged, (std::vector<std::string>{"Could not calculate - /music/A/One.mp3",
                                              "Could not calculate - /music/B/Two.mp3"}));
}

TEST_F(MainFormPlaylistTest, TheRunReadsTheParameterWindow) {
  TMainForm& form = OpenedWithPlaylistWindows(
      {Track("A", "One", "X", 100), Track("A", "Two", "X", 200), Track("B", "Three", "X", 150)});
  // The grid's first row (artist A) is the seed track.
  windows_->parameters.FilterBox->click();
  windows_->parameters.SpinMin->setValue(100);
  windows_->parameters.SpinMax->setValue(200);
  form.PlaylistOuter();
  EXPECT_EQ(PlaylistSongs(), QStringList({"Three"})) << "100 and 200 lie on the bounds";
  Playlist().close();

  windows_->parameters.FilterBox->click();
  windows_->parameters.ArtistGroup->Item(1)->click();  // "Same"
  form.PlaylistOuter();
  QStringList songs = PlaylistSongs();
  songs.sort();
  EXPECT_EQ(songs, QStringList({"One", "Two"}));
}

}  // namespace
}  // namespace melodrift
