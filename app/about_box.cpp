#include "app/about_box.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>

#include "app/qt_logo.h"

namespace melodrift {

namespace {

constexpr int kClientWidth = 298;
constexpr int kClientHeight = 216;
constexpr int kLogoSize = 64;

QLabel* BoldLabel(const QString& text, int pixel_size, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  QFont font = label->font();
  font.setPixelSize(pixel_size);
  font.setBold(true);
  label->setFont(font);
  label->setAlignment(Qt::AlignCenter);
  return label;
}

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
  setWindowTitle(QStringLiteral("About"));
  setWindowIcon(MelodriftIcon());
  setModal(false);
  setFixedSize(kClientWidth, kClientHeight);

  auto* panel = new QFrame(this);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  auto* logo = new QLabel(panel);
  logo->setObjectName(QStringLiteral("ProgramIcon"));
  logo->setFixedSize(kLogoSize, kLogoSize);
  logo->setAlignment(Qt::AlignCenter);
  logo->setPixmap(
      MelodriftLogo().scaled(kLogoSize, kLogoSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));

  auto* titles = new QVBoxLayout;
  titles->addStretch();
  titles->addWidget(BoldLabel(QStringLiteral("Melodrift"), 19, "ProductName", panel));
  titles->addWidget(BoldLabel(QStringLiteral("Version 0.9.1"), 19, "Version", panel));
  titles->addStretch();

  auto* top = new QHBoxLayout;
  top->addWidget(logo, 0, Qt::AlignVCenter);
  top->addLayout(titles, 1);

  QLabel* comments = BoldLabel(
      QStringLiteral("Builds playlists from the sound of your MP3 files, not from their tags."), 15,
      "Comments", panel);
  comments->setWordWrap(true);

  auto* panel_layout = new QVBoxLayout(panel);
  panel_layout->setContentsMargins(10, 10, 10, 10);
  panel_layout->addLayout(top);
  panel_layout->addWidget(comments, 1);

  auto* close = new QPushButton(QStringLiteral("Close"), this);
  close->setObjectName(QStringLiteral("OKButton"));
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::close);

  auto* bar = new QHBoxLayout;
  bar->addStretch();
  bar->addWidget(close);
  bar->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(panel, 1);
  layout->addLayout(bar);

  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
  }
}

}  // namespace melodrift
