// The playlist progress window: its look, the disabling of the main window when it shows, and
// Cancel.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "playlist/progress_form.h"

namespace melodrift {
namespace {

class ProgressFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_window_.resize(467, 400);
    main_window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main_window_));
  }

  QWidget main_window_;
  TProgressForm form_{&main_window_};
};

TEST_F(ProgressFormTest, LooksAsADialogWithoutTitleBarButtons) {
  EXPECT_EQ(form_.windowTitle(), "Playlist Progress");
  EXPECT_FALSE(form_.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(form_.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form_.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form_.Label1->text(), "0 of 0");
  EXPECT_TRUE(form_.Label1->font().bold());
  EXPECT_EQ(form_.Label1->alignment(), Qt::AlignCenter);
  EXPECT_EQ(form_.Button1->text(), "Cancel");
  EXPECT_EQ(form_.ProgressBar1->value(), 0);

  form_.SetProgress(7, 20);
  EXPECT_EQ(form_.Label1->text(), "7 of 20");
  EXPECT_EQ(form_.ProgressBar1->maximum(), 20);
  EXPECT_EQ(form_.ProgressBar1->value(), 7);
  form_.SetProgress(0, 0);
  EXPECT_EQ(form_.Label1->text(), "0 of 0");
  EXPECT_GT(form_.ProgressBar1->maximum(), 0) << "an empty library shows no busy indicator";
}

TEST_F(ProgressFormTest, ShowingStopsPlaybackThenDisablesTheMainWindowButNotItself) {
  bool main_enabled_when_told = false;
  QObject::connect(&form_, &TProgressForm::Showing,
                   [&] { main_enabled_when_told = main_window_.isEnabled(); });
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));
  EXPECT_TRUE(main_enabled_when_told) << "Stop runs before the main window is disabled";
  EXPECT_FALSE(main_window_.isEnabled());
  EXPECT_TRUE(form_.Button1->isEnabled());
  EXPECT_LE(
      (form_.frameGeometry().center() - main_window_.frameGeometry().center()).manhattanLength(),
      2);

  form_.hide();
  EXPECT_FALSE(main_window_.isEnabled())
      << "the playlist window that follows keeps the main window disabled";
}

TEST_F(ProgressFormTest, CancelEnablesTheMainWindowAndAsksTheRunToStop) {
  QSignalSpy cancelled(&form_, &TProgressForm::CancelRequested);
  form_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form_));

  form_.Button1->click();
  EXPECT_TRUE(main_window_.isEnabled());
  EXPECT_EQ(form_.Label1->text(), "Cancelling process, please wait...");
  EXPECT_EQ(cancelled.count(), 1);
  EXPECT_TRUE(form_.isVisible()) << "the run hides the window once it has stopped";

  // Escape and the window manager's close cancel too, and never just hide the window.
  main_window_.setEnabled(false);
  QTest::keyClick(&form_, Qt::Key_Escape);
  EXPECT_EQ(cancelled.count(), 2);
  EXPECT_TRUE(main_window_.isEnabled());
  form_.close();
  EXPECT_EQ(cancelled.count(), 3);
  EXPECT_TRUE(form_.isVisible());
}

}  // namespace
}  // namespace melodrift
