#include <gtest/gtest.h>

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "app/about_box.h"

namespace melodrift {
namespace {

TEST(AboutBoxWindowTest, ShowsLogoNameVersionAndDescription) {
  TAboutBox about;
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About"));
  EXPECT_EQ(about.size(), QSize(298, 216));
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  EXPECT_FALSE(about.isModal());
  EXPECT_FALSE(about.windowIcon().isNull());

  auto* logo = about.findChild<QLabel*>(QStringLiteral("ProgramIcon"));
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->size(), QSize(64, 64));
  EXPECT_EQ(logo->pixmap().size(), QSize(64, 64));

  struct Line {
    const char* name;
    int pixel_size;
  };
  for (const Line& line : {Line{"ProductName", 19}, Line{"Version", 19}, Line{"Comments", 15}}) {
    auto* label = about.findChild<QLabel*>(QString::fromLatin1(line.name));
    ASSERT_NE(label, nullptr) << line.name;
    EXPECT_TRUE(label->font().bold()) << line.name;
    EXPECT_EQ(label->font().pixelSize(), line.pixel_size) << line.name;
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter) << line.name;
  }
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("ProductName"))->text(),
            QStringLiteral("Melodrift"));
  EXPECT_EQ(about.findChild<QLabel*>(QStringLiteral("Version"))->text(),
            QStringLiteral("Version 0.9.1"));
  auto* comments = about.findChild<QLabel*>(QStringLiteral("Comments"));
  EXPECT_TRUE(comments->wordWrap());
  EXPECT_FALSE(comments->text().isEmpty());

  // The name and version sit right of the logo, the description below it.
  about.show();
  const QWidget* name = about.findChild<QLabel*>(QStringLiteral("ProductName"));
  EXPECT_GE(name->mapTo(&about, QPoint(0, 0)).x(), logo->mapTo(&about, QPoint(64, 0)).x());
  EXPECT_GE(comments->mapTo(&about, QPoint(0, 0)).y(), logo->mapTo(&about, QPoint(0, 64)).y());
  about.hide();
}

TEST(AboutBoxWindowTest, CloseHidesTheBoxAndItIsCentredOnTheScreen) {
  TAboutBox about;
  about.show();
  ASSERT_TRUE(about.isVisible());
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QPoint offset = about.geometry().center() - screen->availableGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 1);
  }
  QPushButton* close = nullptr;
  for (QPushButton* button : about.findChildren<QPushButton*>()) {
    if (button->text() == QStringLiteral("Close")) close = button;
  }
  ASSERT_NE(close, nullptr);
  close->click();
  EXPECT_FALSE(about.isVisible());
  // It can be shown again after closing.
  about.show();
  EXPECT_TRUE(about.isVisible());
  about.hide();
}

}  // namespace
}  // namespace melodrift
