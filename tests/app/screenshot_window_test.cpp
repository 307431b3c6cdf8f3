// Pictures of the main window with a small library and of the wizard, for the README. Only
// when MELODRIFT_SCREENSHOT_DIR names a folder; run under a real X server so that the real
// style is used, e.g. in the build folder:
//   MELODRIFT_SCREENSHOT_DIR=/tmp/shots QT_QPA_PLATFORM=xcb xvfb-run -a ./window_tests
//   --gtest_filter='Screenshot*'
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTableView>
#include <QTest>

#include "analysis/add_progress_form.h"
#include "app/config_form.h"
#include "app/main_form.h"
#include "app/qt_event_pump.h"
#include "app/track_grid_model.h"
#include "library/table_error.h"
#include "playback/silent_audio_output.h"
#include "playlist/parameter_form.h"
#include "playlist/playlist_form.h"
#include "playlist/progress_form.h"
#include "tests/app/shell_fixtures.h"
#include "tests/support/temp_dir.h"

namespace melodrift {
namespace {

using testing::Track;

TEST(ScreenshotTest, MainWindowAndWizard) {
  const QString out = qEnvironmentVariable("MELODRIFT_SCREENSHOT_DIR");
  if (out.isEmpty()) GTEST_SKIP() << "MELODRIFT_SCREENSHOT_DIR is not set";
  ASSERT_TRUE(QDir().mkpath(out));

  ScopedThrowingTableErrors throwing;
  testing::TempDir dir;
  const std::string folder = testing::MakeProgramFolder(dir);
  testing::WriteLibrary(folder, {
                                    Track("Aurora Lane", "Glass Rivers", "Northbound", 245),
                                    Track("Blue Harbor", "Tidewater", "Salt & Signal", 198),
                                    Track("Coral Static", "Low Orbit", "Frequencies", 312),
                                    Track("Delta Nine", "Night Shift", "Grid Lines", 267),
                                    Track("Ember Fields", "Slow Burn", "Kindling", 221),
                                    Track("Zo\xEB Marin", "Caf\xE9 au Lait", "Rive Gauche", 184),
                                    Track("Aurora Lane", "Paper Moons", "Northbound", 233),
                                    Track("Blue Harbor", "Lighthouse", "Salt & Signal", 276),
                                });
  testing::FakeDialogs dialogs;
  RandomSource random;
  QtEventPump pump;
  TMainForm form(folder, random, pump, dialogs);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  auto& model = form.GridModel();
  model.setData(model.index(4, TrackGridModel::kUse), Qt::Unchecked, Qt::CheckStateRole);
  model.MakeRowCurrent(2);
  QTest::qWait(200);
  const QString main_png = out + "/main-window.png";
  ASSERT_TRUE(form.grab().save(main_png));

  TConfigForm wizard(&form);
  wizard.ShowCentredOn(form);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&wizard));
  QTest::qWait(200);
  const QString wizard_png = out + "/wizard.png";
  ASSERT_TRUE(wizard.grab().save(wizard_png));

  EXPECT_EQ(QImage(main_png).width(), form.width());
  EXPECT_EQ(QImage(wizard_png).size(), wizard.size());
}

// The playlist windows after a run over the same library, and the import's progress window.
TEST(ScreenshotTest, PlaylistWindows) {
  const QString out = qEnvironmentVariable("MELODRIFT_SCREENSHOT_DIR");
  if (out.isEmpty()) GTEST_SKIP() << "MELODRIFT_SCREENSHOT_DIR is not set";
  ASSERT_TRUE(QDir().mkpath(out));

  ScopedThrowingTableErrors throwing;
  testing::TempDir dir;
  const std::string folder = testing::MakeProgramFolder(dir);
  testing::WriteLibrary(folder, {
                                    Track("Aurora Lane", "Glass Rivers", "Northbound", 245),
                                    Track("Blue Harbor", "Tidewater", "Salt & Signal", 198),
                                    Track("Coral Static", "Low Orbit", "Frequencies", 312),
                                    Track("Delta Nine", "Night Shift", "Grid Lines", 267),
                                    Track("Ember Fields", "Slow Burn", "Kindling", 221),
                                });
  testing::FakeDialogs dialogs;
  RandomSource random;
  QtEventPump pump;
  TMainForm form(folder, random, pump, dialogs);
  TParameterForm parameters(&form);
  TProgressForm progress(&form);
  TPlaylistForm playlist(
      form.DMod().PlayList, parameters, dialogs, pump,
      [] { return std::make_unique<SilentAudioOutput>(); }, &form);
  TAddProgress add_progress(&form);
  form.AttachWindows({.add_progress = &add_progress,
                      .parameters = &parameters,
                      .progress = &progress,
                      .playlist = &playlist});
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  form.PlaylistOuter();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&playlist));
  QTest::qWait(200);
  ASSERT_TRUE(playlist.grab().save(out + "/playlist.png"));
  parameters.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&parameters));
  QTest::qWait(200);
  ASSERT_TRUE(parameters.grab().save(out + "/parameters.png"));
  playlist.hide();

  add_progress.SetLabel(1, "reading");
  add_progress.SetLabel(2, "Aurora Lane");
  add_progress.SetLabel(3, "Glass Rivers");
  add_progress.SetProgress(300);
  add_progress.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&add_progress));
  QTest::qWait(200);
  ASSERT_TRUE(add_progress.grab().save(out + "/add-progress.png"));
  add_progress.hide();
  progress.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&progress));
  QTest::qWait(200);
  ASSERT_TRUE(progress.grab().save(out + "/playlist-progress.png"));
  progress.hide();
}

}  // namespace
}  // namespace melodrift
