#include <gtest/gtest.h>

#include <QFont>
#include <QLabel>
#include <QWidget>

#include "app/track_details_form.h"

namespace melodrift {
namespace {

QLabel* Label(QWidget& window, const char* name) {
  auto* label = window.findChild<QLabel*>(QString::fromLatin1(name));
  EXPECT_NE(label, nullptr) << name;
  return label;
}

TEST(TrackDetailsWindowTest, FixedDialogWithCaptionAndLayout) {
  TTrackDetails details;
  EXPECT_EQ(details.windowTitle(), QStringLiteral("Track Details"));
  EXPECT_EQ(details.size(), QSize(276, 243));
  EXPECT_EQ(details.minimumSize(), details.maximumSize());
  EXPECT_FALSE(details.isModal());

  struct Line {
    const char* name;
    int top, height, pixel_size;
    bool bold, wraps;
  };
  const Line lines[] = {
      {"Artist", 20, 30, 13, true, true},    {"Song", 50, 30, 13, true, true},
      {"Album", 80, 30, 13, true, true},     {"Label1", 110, 13, 11, false, false},
      {"Seconds", 123, 16, 13, true, false}, {"Path", 139, 104, 13, true, true},
  };
  for (const Line& line : lines) {
    QLabel* label = Label(details, line.name);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->geometry(), QRect(0, line.top, 276, line.height)) << line.name;
    EXPECT_EQ(label->font().pixelSize(), line.pixel_size) << line.name;
    EXPECT_EQ(label->font().bold(), line.bold) << line.name;
    EXPECT_EQ(label->wordWrap(), line.wraps) << line.name;
    EXPECT_TRUE(label->alignment() & Qt::AlignHCenter) << line.name;
  }
  EXPECT_EQ(Label(details, "Label1")->text(), QString());
}

TEST(TrackDetailsWindowTest, ShowsTheRowsTextsAndLengthAsMinutesSeconds) {
  struct Case {
    TrackRow row;
    QString artist, song, album, seconds, path;
  };
  TrackRow plain;
  plain.artist = "Artist One";
  plain.song = "First Song";
  plain.album = "";
  plain.seconds = 245;
  plain.filepath = "/music/one.mp3";

  TrackRow latin1;
  latin1.artist = "Bj\xF6rk   ";  // ISO-8859-1 tag text with trailing blanks
  latin1.song = "<b>Not bold</b>";
  latin1.album = "Caf\xE9 Album";
  latin1.seconds = 0;
  latin1.filepath = "/music/Caf\xC3\xA9/tr\xC3\xA8s.mp3";  // file-system bytes (UTF-8)

  TrackRow hour = plain;
  hour.seconds = 3600;
  TrackRow undecodable = plain;
  undecodable.seconds = -1;

  const Case cases[] = {
      {plain, "Artist One", "First Song", "", "4:05", "/music/one.mp3"},
      {latin1, QString::fromUtf8("Björk"), "<b>Not bold</b>", QString::fromUtf8("Café Album"),
       "0:00", QString::fromUtf8("/music/Café/très.mp3")},
      {hour, "Artist One", "First Song", "", "60:00", "/music/one.mp3"},
      {undecodable, "Artist One", "First Song", "", "0:00", "/music/one.mp3"},
  };

  QWidget main_window;
  main_window.setGeometry(100, 80, 800, 600);
  main_window.show();
  TTrackDetails details(&main_window);
  for (const Case& c : cases) {
    details.ShowTrack(c.row);
    EXPECT_TRUE(details.isVisible());
    EXPECT_EQ(Label(details, "Artist")->text(), c.artist);
    EXPECT_EQ(Label(details, "Song")->text(), c.song);
    EXPECT_EQ(Label(details, "Album")->text(), c.album);
    EXPECT_EQ(Label(details, "Seconds")->text(), c.seconds);
    EXPECT_EQ(Label(details, "Path")->text(), c.path);
    EXPECT_EQ(Label(details, "Label1")->text(), QString());
    // Markup in a tag is shown as typed.
    EXPECT_EQ(Label(details, "Song")->textFormat(), Qt::PlainText);
  }
  // Centred over the main window.
  const QPoint offset = details.geometry().center() - main_window.geometry().center();
  EXPECT_LE(offset.manhattanLength(), 1);
  details.hide();
}

}  // namespace
}  // namespace melodrift
