// The playlist window: the grid over PlayList, its buttons, Play and Stop on its own device,
// Test, Write and Copy under the parameter window's limit, and the window behind it.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/qt_dialogs.h"
#include "playback/silent_audio_output.h"
#include "playlist/candidate_grid_model.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_form.h"
#include "tests/analysis/decoding_fixtures.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::FakeDialogs;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::TestMp3;
using testing::WriteFileBytes;

class PlaylistFormTest : public ::testing::Test {
 protected:
  PlaylistFormTest() {
    main_window_.resize(467, 400);
    main_window_.show();
  }

  // Rows with IDist 10, 20, ... in the order given.
  void AddRows(const std::vector<std::string>& paths, int32_t seconds = 200) {
    for (const std::string& path : paths) {
      const auto n = static_cast<int32_t>(play_list_.RecordCount()) + 1;
      play_list_.Insert({n, 10 * n, "Artist " + std::to_string(n) + "  ",
                         "Song " + std::to_string(n) + " ", path + "   ", seconds});
    }
  }
  QString Cell(int row, int column) {
    auto& model = form_.GridModel();
    return model.data(model.index(row, column)).toString();
  }
  int GridRow() { return form_.DBGrid1->currentIndex().row(); }
  void Show() {
    form_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  }

  QWidget main_window_;
  TCandidateTable play_list_{"PlayList"};
  TParameterForm parameters_;
  FakeDialogs dialogs_;
  NoEventPump pump_;
  TPlaylistForm form_{play_list_,
                      parameters_,
                      dialogs_,
                      pump_,
                      [] { return std::make_unique<SilentAudioOutput>(); },
                      &main_window_};
  TempDir dir_;
};

TEST_F(PlaylistFormTest, ShowsTheGridAndTheButtonsWithTheirHints) {
  Show();
  EXPECT_EQ(form_.windowTitle(), "Playlist");
  EXPECT_EQ(form_.minimumSize(), form_.maximumSize()) << "a fixed border";
  const std::array<std::pair<const char*, int>, 3> columns = {
      {{"Artist", 210}, {"Song", 210}, {"Seconds", 50}}};
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(form_.GridModel().headerData(c, Qt::Horizontal).toString(), columns[c].first);
    EXPECT_EQ(form_.DBGrid1->columnWidth(c), columns[c].second);
  }
  EXPECT_GE(form_.DBGrid1->viewport()->width(), 470) << "the three columns fit";

  struct Button {
    QPushButton* button;
    const char* caption;
    const char* hint;
  };
  const Button buttons[] = {
      {form_.PlayButton, "Play", "Play selected track"},
      {form_.StopButton, "Stop", "Stop playing track"},
      {form_.DeleteButton, "Delete", "Delete selected track"},
      {form_.WriteButton, "Write", "Write playlist file"},
      {form_.CopyButton, "Copy", "Copy files to directory, CD or PDA"},
      {form_.TestButton, "Test", "Show which tracks will be included"},
      {form_.OptionsButton, "Set", "Edit playlist parameters"},
      {form_.CloseButton, "Close", "Close playlist form"},
  };
  for (const Button& b : buttons) {
    EXPECT_EQ(b.button->text(), b.caption);
    EXPECT_EQ(b.button->toolTip(), b.hint) << b.caption;
    EXPECT_EQ(b.button->isVisible(), b.button != form_.StopButton) << b.caption;
  }
  EXPECT_FALSE(form_.StopButton->isEnabled());
  EXPECT_FALSE(form_.Timer1.isActive());
  EXPECT_EQ(form_.Timer1.interval(), 1000);

  form_.OptionsButton->click();
  EXPECT_TRUE(parameters_.isVisible());
}

TEST_F(PlaylistFormTest, GridShowsPlayListInDistOrderAndFollowsTheCursorBothWays) {
  play_list_.CloseView();
  for (auto [id, dist] : {std::pair{1, 12}, {2, -40}, {3, 9999999}, {4, 10}}) {
    play_list_.Insert({id, dist, "A" + std::to_string(id) + "   ", "S", "/m/x.mp3", id});
  }
  QAbstractItemModelTester tester(&form_.GridModel(),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  EXPECT_EQ(form_.GridModel().rowCount(), 0) << "rows show once the view is open";
  Show();
  ASSERT_EQ(form_.GridModel().rowCount(), 4);
  QStringList artists;
  for (int row = 0; row < 4; ++row) artists << Cell(row, CandidateGridModel::kArtist);
  EXPECT_EQ(artists, QStringList({"A2", "A4", "A1", "A3"})) << "dist order, trailing blanks off";
  EXPECT_EQ(Cell(1, CandidateGridModel::kSeconds), "4");
  EXPECT_EQ(GridRow(), 0);

  form_.DBGrid1->setCurrentIndex(form_.GridModel().index(2, 0));
  EXPECT_EQ(play_list_.RecNo(), 3);
  play_list_.MoveTo(4);
  EXPECT_EQ(GridRow(), 3);

  // Edits write the row without moving it.
  auto& model = form_.GridModel();
  EXPECT_TRUE(model.setData(model.index(1, CandidateGridModel::kSong), "New \u00e9"));
  EXPECT_TRUE(model.setData(model.index(1, CandidateGridModel::kSeconds), 321));
  EXPECT_EQ(play_list_.RecNo(), 2) << "the edited row becomes current";
  EXPECT_EQ(play_list_.Row(2).Song, "New \xE9");
  EXPECT_EQ(play_list_.Row(2).Seconds, 321);
  EXPECT_EQ(play_list_.Row(2).Unique_ID, 4);
  EXPECT_FALSE(model.setData(model.index(1, CandidateGridModel::kArtist), "\u03b1"))
      << "not ISO-8859-1";
  EXPECT_FALSE(model.setData(model.index(1, CandidateGridModel::kArtist), QString(256, 'x')));
  EXPECT_EQ(play_list_.Row(2).Artist, "A4   ");

  // Closing the window closes the view; the rows stay for the next showing.
  form_.CloseButton->click();
  EXPECT_FALSE(play_list_.ViewOpen());
  EXPECT_EQ(form_.GridModel().rowCount(), 0);
  EXPECT_EQ(play_list_.RecordCount(), 4);
  Show();
  EXPECT_EQ(form_.GridModel().rowCount(), 4);
}

TEST_F(PlaylistFormTest, DeleteKeyAsksFirstAndDeleteButtonReportsAnEmptyList) {
  AddRows({"/m/1.mp3", "/m/2.mp3"});
  Show();
  form_.DBGrid1->setFocus();
  dialogs_.answer = false;
  QTest::keyClick(form_.DBGrid1, Qt::Key_Delete);
  EXPECT_EQ(dialogs_.questions, std::vector<std::string>{"Delete record?"});
  EXPECT_EQ(play_list_.RecordCount(), 2);

  dialogs_.answer = true;
  QTest::keyClick(form_.DBGrid1, Qt::Key_Delete);
  ASSERT_EQ(play_list_.RecordCount(), 1);
  EXPECT_EQ(Cell(0, CandidateGridModel::kArtist), "Artist 2");
  EXPECT_EQ(GridRow(), 0);

  form_.DeleteButton->click();
  EXPECT_EQ(play_list_.RecordCount(), 0);
  EXPECT_TRUE(dialogs_.messages.empty());
  form_.DeleteButton->click();
  EXPECT_EQ(dialogs_.messages,
            std::vector<std::string>{"Cannot perform this operation on an empty dataset"});
  QTest::keyClick(form_.DBGrid1, Qt::Key_Delete);
  EXPECT_EQ(dialogs_.questions.size(), 2u) << "nothing to ask about on an empty list";
}

TEST_F(PlaylistFormTest, ABadLimitStopsTestWriteAndCopyBeforeAnyDialog) {
  AddRows({"/m/1.mp3", "/m/2.mp3"});
  Show();
  parameters_.Edit3->setText("abc");  // while Count is in force
  play_list_.MoveTo(2);
  form_.TestButton->click();
  form_.WriteButton->click();
  form_.CopyButton->click();
  EXPECT_EQ(dialogs_.messages, std::vector<std::string>(3, "'abc' is not a valid integer value"));
  EXPECT_TRUE(dialogs_.save_requests.empty());
  EXPECT_EQ(dialogs_.folder_choices, 0);
  EXPECT_EQ(play_list_.RecNo(), 2) << "nothing moved";
}

TEST_F(PlaylistFormTest, TestReadsTheLimitWhenPressed) {
  AddRows(std::vector<std::string>(5, dir_.File("x.mp3")), 298);
  Show();
  parameters_.Edit1->setText("3");
  form_.TestButton->click();
  EXPECT_EQ(GridRow(), 2);
  parameters_.TimeButton->click();
  parameters_.Edit2->setText("10");  // 300, 600, 900: two fit
  form_.TestButton->click();
  EXPECT_EQ(GridRow(), 1);
  parameters_.Edit2->setText("0");
  form_.TestButton->click();
  EXPECT_EQ(GridRow(), 0) << "nothing fits: the first row";

  parameters_.SizeButton->click();
  form_.TestButton->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0], dir_.File("x.mp3") + ": File not found");
}

TEST_F(PlaylistFormTest, WriteAsksForANameAndAddsTheExtension) {
  AddRows({"/m/1.mp3", "/m/2.mp3", "/m/3.mp3"});
  Show();
  parameters_.Edit1->setText("2");

  form_.WriteButton->click();  // cancelled
  EXPECT_EQ(dialogs_.save_requests, std::vector<std::string>{"playlist file|*.m3u m3u"});

  dialogs_.save_name = dir_.File("mix");
  form_.WriteButton->click();
  EXPECT_EQ(ReadFileBytes(dir_.File("mix.m3u")),
            "#EXTM3U\r\n#EXTINF:200,Artist 1 - Song 1\r\n/m/1.mp3\r\n"
            "#EXTINF:200,Artist 2 - Song 2\r\n/m/2.mp3\r\n");
  EXPECT_TRUE(dialogs_.messages.empty());

  dialogs_.save_name = dir_.File("no-such-folder/mix.m3u");
  form_.WriteButton->click();
  EXPECT_EQ(dialogs_.messages,
            std::vector<std::string>{dir_.File("no-such-folder/mix.m3u") + ": Path not found"});
}

TEST_F(PlaylistFormTest, CopyCopiesThePlaylistAndEndsOnTheFirstRow) {
  TempDir target;
  WriteFileBytes(dir_.File("1.mp3"), "one");
  WriteFileBytes(dir_.File("2.mp3"), "two");
  WriteFileBytes(target.File("1.mp3"), "an old copy");
  AddRows({dir_.File("1.mp3"), dir_.File("gone.mp3"), dir_.File("2.mp3")});
  Show();
  play_list_.MoveTo(3);

  form_.CopyButton->click();  // cancelled
  EXPECT_EQ(dialogs_.folder_choices, 1);
  EXPECT_EQ(GridRow(), 0) << "the first row even when cancelled";

  play_list_.MoveTo(3);
  dialogs_.folder = target.path();
  form_.CopyButton->click();
  EXPECT_EQ(ReadFileBytes(target.File("1.mp3")), "one");
  EXPECT_EQ(ReadFileBytes(target.File("2.mp3")), "two");
  EXPECT_EQ(GridRow(), 0);
  EXPECT_EQ(dialogs_.messages,
            std::vector<std::string>{"Some files could not be copied:\n" + dir_.File("gone.mp3") +
                                     ": File not found"});
}

TEST_F(PlaylistFormTest, HidingEnablesTheWindowBehind) {
  AddRows({"/m/1.mp3"});
  main_window_.setEnabled(false);  // as the progress window left it
  Show();
  EXPECT_FALSE(main_window_.isEnabled());
  form_.CloseButton->click();
  EXPECT_FALSE(form_.isVisible());
  EXPECT_TRUE(main_window_.isEnabled());

  // Opened by the jukebox: its window is disabled instead, and resumed afterwards.
  QWidget jukebox;
  form_.SetJukeboxWindow(&jukebox);
  QSignalSpy resumed(&form_, &TPlaylistForm::JukeboxResumeRequested);
  main_window_.setEnabled(false);
  form_.Tag = 1;
  Show();
  EXPECT_FALSE(jukebox.isEnabled());
  form_.hide();
  EXPECT_TRUE(jukebox.isEnabled());
  EXPECT_EQ(resumed.count(), 1);
  EXPECT_EQ(form_.Tag, 0);
  EXPECT_FALSE(main_window_.isEnabled()) << "the main window is not the jukebox's to enable";
}

TEST(PlaylistFormSaveDialogTest, WriteAsksThroughASaveDialogOverThePlaylistWindow) {
  QWidget main_window;
  main_window.show();
  QtDialogs dialogs;
  dialogs.SetOwner(&main_window);
  TCandidateTable play_list("PlayList");
  play_list.Insert({1, 10, "A", "One", "/m/one.mp3", 61});
  TParameterForm parameters;
  NoEventPump pump;
  TPlaylistForm form(
      play_list, parameters, dialogs, pump, [] { return std::make_unique<SilentAudioOutput>(); },
      &main_window);
  main_window.setEnabled(false);  // as it is behind the playlist window
  form.show();
  form.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  TempDir dir;

  QWidget* owner = nullptr;
  bool asks_before_replacing = true;
  QStringList filters;
  QString suffix;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    owner = dialog->parentWidget();
    asks_before_replacing = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    filters = dialog->nameFilters();
    suffix = dialog->defaultSuffix();
    dialog->setDirectory(QString::fromStdString(dir.path()));
    dialog->selectFile(QStringLiteral("mix"));
    static_cast<QDialog*>(dialog)->accept();  // as the Save button does
  });
  form.WriteButton->click();
  EXPECT_EQ(owner, &form) << "the dialog opens over the playlist window, not behind it";
  EXPECT_FALSE(asks_before_replacing);
  EXPECT_EQ(filters, QStringList{"playlist file (*.m3u)"});
  EXPECT_EQ(suffix, "m3u");
  EXPECT_EQ(ReadFileBytes(dir.File("mix.m3u")), "#EXTM3U\r\n#EXTINF:61,A - One\r\n/m/one.mp3\r\n");
}

TEST(UnitsPerSecondTest, LengthOverSecondsOrAThousand) {
  struct Case {
    int64_t length;
    int32_t seconds;
    int64_t units;
  };
  for (const Case& c :
       {Case{215000, 215, 1000}, Case{215900, 215, 1004}, Case{500, 1, 500}, Case{1000, 0, 1000},
        Case{499, 500, 1000}, Case{215000, -5, 1000}, Case{0, 200, 1000}}) {
    EXPECT_EQ(UnitsPerSecond(c.length, c.seconds), c.units) << c.length << " / " << c.seconds;
  }
}

TEST_F(PlaylistFormTest, PlayStopAndTheEndOfTheTrack) {
  AddRows({TestMp3("sine-mono-44k.mp3")}, 1);
  Show();
  MediaDevice& device = form_.MediaPlayer1();

  form_.PlayButton->click();
  EXPECT_EQ(device.FileName, TestMp3("sine-mono-44k.mp3")) << "the path without its blanks";
  EXPECT_EQ(device.GetMode(), MediaDevice::Mode::kPlaying);
  EXPECT_FALSE(form_.PlayButton->isVisible());
  EXPECT_FALSE(form_.PlayButton->isEnabled());
  EXPECT_TRUE(form_.StopButton->isVisible());
  EXPECT_TRUE(form_.StopButton->isEnabled());
  EXPECT_TRUE(form_.Timer1.isActive());
  form_.Timer1Timer();
  EXPECT_TRUE(form_.Timer1.isActive()) << "a second of the track remains";

  form_.StopButton->click();
  EXPECT_EQ(device.GetMode(), MediaDevice::Mode::kStopped);
  EXPECT_TRUE(form_.PlayButton->isVisible());
  EXPECT_FALSE(form_.StopButton->isVisible());
  EXPECT_FALSE(form_.Timer1.isActive());

  form_.PlayButton->click();
  device.Seek(device.Length());
  form_.Timer1Timer();
  EXPECT_FALSE(form_.Timer1.isActive()) << "the track has ended";
  EXPECT_TRUE(form_.PlayButton->isVisible());
  EXPECT_TRUE(form_.PlayButton->isEnabled());
  EXPECT_NE(device.GetMode(), MediaDevice::Mode::kNotOpen) << "open until the next Play";

  // Close while playing stops and closes the device.
  form_.PlayButton->click();
  form_.CloseButton->click();
  EXPECT_EQ(device.GetMode(), MediaDevice::Mode::kNotOpen);
  EXPECT_FALSE(form_.PlayButton->isHidden()) << "idle for the next showing";
  EXPECT_TRUE(form_.StopButton->isHidden());
  EXPECT_TRUE(dialogs_.messages.empty());
}

TEST_F(PlaylistFormTest, AFileTheDeviceCannotOpenIsReportedAndNothingChanges) {
  AddRows({TestMp3("not-an-mp3.mp3")});
  Show();
  form_.PlayButton->click();
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_FALSE(dialogs_.messages[0].empty());
  EXPECT_TRUE(form_.PlayButton->isVisible());
  EXPECT_TRUE(form_.PlayButton->isEnabled());
  EXPECT_FALSE(form_.StopButton->isVisible());
  EXPECT_FALSE(form_.Timer1.isActive());
}

// Runs a command and returns its exit status and what it wrote (both streams).
std::pair<int, std::string> RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return {-1, output};
  std::array<char, 4096> buffer;
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    output.append(buffer.data(), n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

TEST_F(PlaylistFormTest, AWrittenPlaylistPlaysInAnotherPlayer) {
  if (RunCommand("command -v mpg123").first != 0) {
    GTEST_SKIP() << "mpg123 is not installed (scripts/install-deps.sh installs it)";
  }
  // A folder name with a blank and a non-ASCII byte, as music folders have.
  const std::string folder = dir_.File("My Music \xC3\xA9");
  std::filesystem::create_directory(folder);
  std::vector<std::string> paths;
  for (const char* name : {"sine-mono-44k.mp3", "sine-stereo-22k.mp3", "pink-stereo-44k.mp3"}) {
    paths.push_back(folder + "/" + name);
    std::filesystem::copy_file(TestMp3(name), paths.back());
  }
  AddRows(paths, 2);
  Show();
  parameters_.Edit1->setText("2");
  dialogs_.save_name = dir_.File("mix.m3u");
  form_.WriteButton->click();
  ASSERT_TRUE(dialogs_.messages.empty());

  const auto [status, output] = RunCommand("mpg123 -t -@ '" + dir_.File("mix.m3u") + "'");
  EXPECT_EQ(status, 0) << output;
  EXPECT_NE(output.find("stream 2 of 2"), std::string::npos) << output;
  EXPECT_EQ(output.find("pink-stereo-44k"), std::string::npos) << "beyond the limit";
}

}  // namespace
}  // namespace melodrift
