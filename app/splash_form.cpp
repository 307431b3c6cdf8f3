#include "app/splash_form.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyle>

#include "app/qt_logo.h"

namespace melodrift {

namespace {

// The paint area's colour at showing: anything but a spared colour, so speckles can cover it.
constexpr Rgb kBackground = 0xFFFFFF;

QFont NameFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(64);
  font.setBold(true);
  // Hard edges keep the name pure black, a spared colour, so the speckles never eat into it.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

// The picture's 24-bit colours as an opaque Qt image.
void CopyToFrame(const SplashImage& image, QImage& frame) {
  if (frame.width() != image.Width() || frame.height() != image.Height()) {
    frame = QImage(image.Width(), image.Height(), QImage::Format_RGB32);
  }
  const Rgb* source = image.Pixels().data();
  for (int y = 0; y < image.Height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
    for (int x = 0; x < image.Width(); ++x) line[x] = 0xFF000000u | *source++;
  }
}

}  // namespace

TSplashForm::TSplashForm(RandomSource& random, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      animation_(random),
      Timer1(new QTimer(this)) {
  setObjectName(QStringLiteral("SplashForm"));
  setWindowIcon(MelodriftIcon());
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(SplashAnimation::kClientWidth, SplashAnimation::kClientHeight);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(SplashAnimation::kTickMilliseconds);
  connect(Timer1, &QTimer::timeout, this, &TSplashForm::Timer1Timer);
}

void TSplashForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FormShow();
}

void TSplashForm::hideEvent(QHideEvent* event) {
  Timer1->stop();
  QWidget::hideEvent(event);
}

void TSplashForm::FormShow() {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    setGeometry(
        QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
  }
  animation_.Show(kBackground);
  DrawNameAndLogo();
  CopyToFrame(animation_.Image(), frame_);
  update();
  Timer1->start();
}

void TSplashForm::DrawNameAndLogo() {
  QImage canvas(animation_.Image().Width(), animation_.Image().Height(), QImage::Format_RGB32);
  canvas.fill(QColor::fromRgb(kBackground));
  {
    QPainter painter(&canvas);
    const QFont font = NameFont();
    const QString name = QStringLiteral("Melodrift");
    const QFontMetrics metrics(font);
    const SplashPoint label =
        NameLabelPosition(width(), height(), metrics.horizontalAdvance(name), metrics.height());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(label.x, label.y + metrics.ascent(), name);

    const SplashPoint logo = LogoPosition(width(), height(), SplashAnimation::kLogoSize);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(
        QRect(logo.x, logo.y, SplashAnimation::kLogoSize, SplashAnimation::kLogoSize),
        MelodriftLogo());
  }
  SplashImage& image = animation_.Image();
  for (int y = 0; y < image.Height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
    for (int x = 0; x < image.Width(); ++x) image.SetPixel(x, y, line[x] & 0xFFFFFFu);
  }
}

void TSplashForm::Timer1Timer() {
  animation_.Tick();
  CopyToFrame(animation_.Image(), frame_);
  update();
}

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (frame_.isNull()) {
    painter.fillRect(rect(), QColor::fromRgb(kBackground));
    return;
  }
  painter.drawImage(0, 0, frame_);
}

}  // namespace melodrift
