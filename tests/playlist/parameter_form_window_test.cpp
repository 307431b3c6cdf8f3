// The playlist parameters window: its controls and defaults, the Seconds Filter's enabling, and
// the reading rules of its settings.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include "playlist/parameter_form.h"

namespace melodrift {
namespace {

QStringList Items(const TRadioGroup& group) {
  QStringList texts;
  for (int i = 0; group.Item(i) != nullptr; ++i) texts << group.Item(i)->text();
  return texts;
}

// Items of a radio group that share the first item's row.
int ItemsInFirstRow(const TRadioGroup& group) {
  int count = 0;
  for (int i = 0; group.Item(i) != nullptr; ++i) {
    if (group.Item(i)->geometry().top() == group.Item(0)->geometry().top()) ++count;
  }
  return count;
}

TEST(ParameterFormTest, StartsWithTheDefaults) {
  TParameterForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_EQ(form.windowTitle(), "Playlist Parameters");
  EXPECT_FALSE(form.isModal());

  EXPECT_EQ(form.CountButton->text(), "Count");
  EXPECT_EQ(form.TimeButton->text(), "Time");
  EXPECT_EQ(form.SizeButton->text(), "Size");
  EXPECT_TRUE(form.CountButton->isChecked());
  EXPECT_FALSE(form.TimeButton->isChecked());
  EXPECT_FALSE(form.SizeButton->isChecked());
  EXPECT_EQ(form.Edit1->text(), "40");
  EXPECT_EQ(form.Edit2->text(), "80");
  EXPECT_EQ(form.Edit3->text(), "700");
  QStringList labels;
  for (QLabel* label : form.findChildren<QLabel*>()) labels << label->text();
  for (const char* unit : {"Songs", "Minutes", "MB", "Boost", "Random"}) {
    EXPECT_TRUE(labels.contains(unit)) << unit;
  }

  EXPECT_EQ(form.FilterBox->text(), "Seconds Filter");
  EXPECT_FALSE(form.FilterBox->isChecked());
  EXPECT_EQ(form.SpinMin->minimum(), 0);
  EXPECT_EQ(form.SpinMin->maximum(), 900);
  EXPECT_EQ(form.SpinMin->value(), 135);
  EXPECT_EQ(form.SpinMax->minimum(), 1);
  EXPECT_EQ(form.SpinMax->maximum(), 9000);
  EXPECT_EQ(form.SpinMax->value(), 285);
  EXPECT_FALSE(form.SpinMin->isEnabled());
  EXPECT_FALSE(form.SpinMax->isEnabled());

  EXPECT_EQ(form.ArtistGroup->title(), "Artist Filter");
  EXPECT_EQ(Items(*form.ArtistGroup), QStringList({"Off", "Same", "Different"}));
  EXPECT_EQ(ItemsInFirstRow(*form.ArtistGroup), 3);
  EXPECT_EQ(form.BoostRadio->title(), "Boost Type");
  EXPECT_EQ(Items(*form.BoostRadio), QStringList({"Off", "Low", "High", "Auto"}));
  EXPECT_EQ(ItemsInFirstRow(*form.BoostRadio), 4);
  for (QSlider* bar : {form.BoostBar, form.RandomBar}) {
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 5);
    EXPECT_EQ(bar->value(), 3);
  }
  EXPECT_EQ(form.CloseButton->text(), "Close");

  const PlaylistSettings& settings = form.Settings();
  EXPECT_FALSE(settings.FilterOn());
  EXPECT_EQ(settings.SpinMin(), 135);
  EXPECT_EQ(settings.SpinMax(), 285);
  EXPECT_EQ(settings.ArtistFilter(), ArtistFilter::kOff);
  EXPECT_EQ(settings.BoostType(), BoostType::kAuto);
  EXPECT_EQ(settings.BoostWeight(), 3);
  EXPECT_EQ(settings.RandomLevel(), 3);
  EXPECT_EQ(settings.Limit(), LimitKind::kCount);
  EXPECT_EQ(settings.SongsText(), "40");
  EXPECT_EQ(settings.MinutesText(), "80");
  EXPECT_EQ(settings.MegabytesText(), "700");
}

TEST(ParameterFormTest, SettingsFollowTheControlsAtEachReading) {
  TParameterForm form;
  const PlaylistSettings& settings = form.Settings();

  form.SizeButton->click();
  EXPECT_EQ(settings.Limit(), LimitKind::kSize);
  EXPECT_FALSE(form.CountButton->isChecked()) << "one limit at a time";
  form.TimeButton->click();
  EXPECT_EQ(settings.Limit(), LimitKind::kTime);
  EXPECT_FALSE(form.SizeButton->isChecked());

  form.ArtistGroup->Item(2)->click();
  form.BoostRadio->Item(1)->click();
  form.BoostBar->setValue(5);
  form.RandomBar->setValue(1);
  EXPECT_EQ(settings.ArtistFilter(), ArtistFilter::kDifferent);
  EXPECT_EQ(form.ArtistGroup->ItemIndex(), 2);
  EXPECT_EQ(settings.BoostType(), BoostType::kLow);
  EXPECT_EQ(settings.BoostWeight(), 5);
  EXPECT_EQ(settings.RandomLevel(), 1);

  // All three limit texts are read, whichever limit is in force.
  form.Edit1->setText("-5");
  form.Edit2->setText("0");
  form.Edit3->setText("abc");
  EXPECT_EQ(settings.SongsText(), "-5");
  try {
    ReadLimits(settings);
    ADD_FAILURE() << "'abc' was read as a number";
  } catch (const InvalidIntegerError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  form.Edit3->setText("1");
  const PlaylistLimits limits = ReadLimits(settings);
  EXPECT_EQ(limits.kind, LimitKind::kTime);
  EXPECT_EQ(limits.songs, -5);
  EXPECT_EQ(limits.seconds, 0);
  EXPECT_EQ(limits.kilobytes, 1024);
}

TEST(ParameterFormTest, FilterBoxEnablesTheSpinFieldsAndKeepsTheirValues) {
  TParameterForm form;
  form.FilterBox->click();
  EXPECT_TRUE(form.Settings().FilterOn());
  EXPECT_TRUE(form.SpinMin->isEnabled());
  EXPECT_TRUE(form.SpinMax->isEnabled());
  form.SpinMin->setValue(300);
  form.SpinMax->setValue(200);

  form.FilterBox->click();
  EXPECT_FALSE(form.SpinMin->isEnabled());
  EXPECT_FALSE(form.SpinMax->isEnabled());
  form.FilterBox->click();
  EXPECT_TRUE(form.SpinMin->isEnabled());
  EXPECT_EQ(form.Settings().SpinMin(), 300);
  EXPECT_EQ(form.Settings().SpinMax(), 200) << "a minimum above the maximum is kept as it is";
}

struct SpinCase {
  const char* what;
  bool max_field;
  const char* typed;  // after the field was emptied
  int read_while_typing;
  int read_after_focus_loss;
};

TEST(ParameterFormTest, SpinFieldsTakeDigitsOnlyReadTheirTextAndClampWhenLeft) {
  const SpinCase cases[] = {
      {"an emptied maximum reads as its minimum", true, "", 1, 1},
      {"an emptied minimum reads as 0", false, "", 0, 0},
      {"letters and signs are refused", false, "a-+x.", 0, 0},
      {"digits within the range", false, "42", 42, 42},
      {"above the range until the field is left", false, "5000", 5000, 900},
      {"0 in the maximum until the field is left", true, "0", 0, 1},
      {"letters among digits are dropped", true, "1x2", 12, 12},
  };
  for (const SpinCase& c : cases) {
    TParameterForm form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.FilterBox->click();
    QSpinBox* spin = c.max_field ? form.SpinMax : form.SpinMin;
    auto read = [&] { return c.max_field ? form.Settings().SpinMax() : form.Settings().SpinMin(); };
    spin->setFocus();
    spin->selectAll();
    QTest::keyClick(spin, Qt::Key_Backspace);
    QTest::keyClicks(spin, c.typed);
    EXPECT_EQ(read(), c.read_while_typing) << c.what;
    form.CloseButton->setFocus();
    EXPECT_EQ(read(), c.read_after_focus_loss) << c.what;
    EXPECT_EQ(spin->value(), c.read_after_focus_loss) << c.what;
  }
}

TEST(ParameterFormTest, ArrowKeysStepWithinTheRange) {
  TParameterForm form;
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
  form.FilterBox->click();
  form.SpinMin->setValue(899);
  form.SpinMin->setFocus();
  QTest::keyClick(form.SpinMin, Qt::Key_Up);
  QTest::keyClick(form.SpinMin, Qt::Key_Up);
  EXPECT_EQ(form.Settings().SpinMin(), 900);
  form.SpinMin->setValue(1);
  QTest::keyClick(form.SpinMin, Qt::Key_Down);
  QTest::keyClick(form.SpinMin, Qt::Key_Down);
  EXPECT_EQ(form.Settings().SpinMin(), 0);
}

TEST(ParameterFormTest, IsNotBlockedByADisabledMainWindowAndCloseHidesIt) {
  QWidget main_window;
  main_window.resize(400, 300);
  main_window.show();
  TParameterForm form(&main_window);
  main_window.setEnabled(false);
  form.ShowWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(form.isEnabled()) << "the window stays usable during a run";
  EXPECT_LE(
      (form.frameGeometry().center() - main_window.frameGeometry().center()).manhattanLength(), 2)
      << "it opens centred on the main window";

  form.CloseButton->click();
  EXPECT_FALSE(form.isVisible());
  form.Edit1->setText("12");
  EXPECT_EQ(form.Settings().SongsText(), "12") << "a hidden window still holds the settings";
}

}  // namespace
}  // namespace melodrift
