// The add-progress window: its texts, the main window disabled while it shows, and Cancel.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "analysis/add_progress_form.h"

namespace melodrift {
namespace {

TEST(AddProgressWindowTest, ShowsLabelsAndBarAndDisablesTheMainWindow) {
  QMainWindow main_window;
  main_window.show();
  TAddProgress progress(&main_window);
  EXPECT_EQ(progress.windowTitle(), "Add Files Progress");
  EXPECT_FALSE(progress.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(progress.ProgressBar1->maximum(), 512);
  EXPECT_EQ(progress.Button1->text(), "Cancel");

  QSignalSpy showing(&progress, &TAddProgress::Showing);
  progress.show();
  EXPECT_EQ(showing.count(), 1);
  EXPECT_FALSE(main_window.isEnabled());
  EXPECT_TRUE(progress.isEnabled());  // a window of its own: Cancel still works

  progress.SetLabel(1, "reading");
  progress.SetLabel(2, "Caf\xE9 Noir");
  progress.SetLabel(3, "<b>not markup</b>");
  progress.SetProgress(700);
  EXPECT_EQ(progress.Label1->text(), "reading");
  EXPECT_EQ(progress.Label2->text(), QString::fromUtf8("Caf\xC3\xA9 Noir"));
  EXPECT_EQ(progress.Label3->textFormat(), Qt::PlainText);
  EXPECT_EQ(progress.ProgressBar1->value(), 512);

  progress.hide();
  EXPECT_TRUE(main_window.isEnabled());
}

TEST(AddProgressWindowTest, CancelAndTheCloseBoxAskTheImportToStop) {
  QMainWindow main_window;
  TAddProgress progress(&main_window);
  QSignalSpy cancel(&progress, &TAddProgress::CancelRequested);
  progress.show();
  progress.Button1->click();
  EXPECT_EQ(cancel.count(), 1);
  EXPECT_EQ(progress.Label1->text(), "Cancelling process, please wait...");
  EXPECT_TRUE(main_window.isEnabled());
  EXPECT_TRUE(progress.isVisible());  // the import hides it at its next check

  progress.close();  // the window manager's close, or Escape
  EXPECT_TRUE(progress.isVisible());
  EXPECT_EQ(cancel.count(), 2);
  QTest::keyClick(&progress, Qt::Key_Escape);
  EXPECT_TRUE(progress.isVisible());
  EXPECT_EQ(cancel.count(), 3);
}

}  // namespace
}  // namespace melodrift
