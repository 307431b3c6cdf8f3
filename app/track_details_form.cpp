#include "app/track_details_form.h"

#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStyle>

#include "app/qt_logo.h"
#include "app/time_text.h"
#include "library/dbf_field.h"

namespace melodrift {

namespace {

constexpr int kClientWidth = 276;
constexpr int kClientHeight = 243;
constexpr int kTopStrip = 20;

QFont LabelFont(int pixel_size, bool bold) {
  QFont font;
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  return font;
}

}  // namespace

TTrackDetails::TTrackDetails(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
  setWindowTitle(QStringLiteral("Track Details"));
  setWindowIcon(MelodriftIcon());
  setModal(false);
  setFixedSize(kClientWidth, kClientHeight);

  struct Line {
    QLabel** label;
    const char* name;
    const char* design_text;
    int height;
    int pixel_size;
    bool bold;
    bool wraps;
  };
  const Line lines[] = {
      {&Artist, "Artist", "Artist", 30, 13, true, true},
      {&Song, "Song", "Song", 30, 13, true, true},
      {&Album, "Album", "Album", 30, 13, true, true},
      {&Label1, "Label1", "", 13, 11, false, false},
      {&Seconds, "Seconds", "", 16, 13, true, false},
      {&Path, "Path", "Path", 0, 13, true, true},  // takes the rest
  };
  int top = kTopStrip;
  for (const Line& line : lines) {
    auto* label = new QLabel(QString::fromLatin1(line.design_text), this);
    label->setObjectName(QString::fromLatin1(line.name));
    label->setFont(LabelFont(line.pixel_size, line.bold));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(line.wraps);
    // Tags and file names are never markup, whatever they contain.
    label->setTextFormat(Qt::PlainText);
    const int height = line.height > 0 ? line.height : kClientHeight - top;
    label->setGeometry(0, top, kClientWidth, height);
    top += height;
    *line.label = label;
  }
}

void TTrackDetails::ShowTrack(const TrackRow& row) {
  FormShow(row);
  QRect area;
  if (QWidget* owner = parentWidget()) {
    area = owner->window()->geometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isValid())
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), area));
  show();
  raise();
  activateWindow();
}

void TTrackDetails::FormShow(const TrackRow& row) {
  Artist->setText(QString::fromLatin1(TrimTrailing(row.artist)));
  Song->setText(QString::fromLatin1(TrimTrailing(row.song)));
  Album->setText(QString::fromLatin1(TrimTrailing(row.album)));
  Seconds->setText(QString::fromStdString(MinutesSeconds(row.seconds)));
  const QString path = QFile::decodeName(QByteArray::fromStdString(TrimTrailing(row.filepath)));
  Path->setText(path);
  // A file name too long for one line is cut at the window's edge; the tip shows it whole.
  Path->setToolTip(path);
}

}  // namespace melodrift
