// The configuration wizard: its texts, its place, and what its two buttons do.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/config_form.h"

namespace melodrift {
namespace {

TEST(ConfigFormTest, ShowsItsTextAndButtonsWithoutBlocking) {
  QWidget owner;
  owner.setGeometry(200, 150, 467, 400);
  TConfigForm wizard(&owner);
  EXPECT_EQ(wizard.windowTitle(), "Configuration Wizard");
  EXPECT_TRUE(wizard.windowFlags() & Qt::WindowStaysOnTopHint);
  auto* text = wizard.findChild<QLabel*>("WizardText");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(),
            "There are no files in your Melodrift MP3 library.  Would you like to add files now?");
  EXPECT_EQ(wizard.SpButton1->text(), "Add");
  EXPECT_EQ(wizard.SpButton1->toolTip(), "Add MP3 files");
  EXPECT_EQ(wizard.CloseButton->text(), "Skip");
  EXPECT_EQ(wizard.CloseButton->toolTip(), "Close configuration wizard");

  wizard.ShowCentredOn(owner);
  EXPECT_TRUE(wizard.isVisible());
  EXPECT_FALSE(wizard.isModal());
  const QPoint offset = wizard.frameGeometry().center() - owner.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << "centred on the main window";
  // The whole text fits: nothing of it is cut.
  EXPECT_GE(text->height(), text->heightForWidth(text->width()));
}

TEST(ConfigFormTest, AddHidesAndAsksForAddFilesSkipOnlyHides) {
  QWidget owner;
  TConfigForm wizard(&owner);
  QSignalSpy add(&wizard, &TConfigForm::AddFilesRequested);

  wizard.ShowCentredOn(owner);
  bool hidden_when_asked = false;
  QObject::connect(&wizard, &TConfigForm::AddFilesRequested,
                   [&] { hidden_when_asked = !wizard.isVisible(); });
  QTest::mouseClick(wizard.SpButton1, Qt::LeftButton);
  EXPECT_EQ(add.count(), 1);
  EXPECT_TRUE(hidden_when_asked) << "the wizard is gone before the folder choice";

  wizard.ShowCentredOn(owner);
  QTest::mouseClick(wizard.CloseButton, Qt::LeftButton);
  EXPECT_FALSE(wizard.isVisible());
  EXPECT_EQ(add.count(), 1);
}

}  // namespace
}  // namespace melodrift
