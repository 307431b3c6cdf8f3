#include <gtest/gtest.h>

#include <QImage>
#include <QMetaObject>
#include <QPixmap>
#include <QTimer>

#include "app/random_source.h"
#include "app/splash_form.h"

namespace melodrift {
namespace {

constexpr QRgb kBlack = 0xFF000000;

int CountBlack(const QImage& image, const QRect& area) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixel(x, y) == kBlack;
  }
  return count;
}

void Tick(TSplashForm& splash, int times) {
  for (int i = 0; i < times; ++i) {
    ASSERT_TRUE(QMetaObject::invokeMethod(&splash, "Timer1Timer", Qt::DirectConnection));
  }
}

TEST(SplashWindowTest, BorderlessOnTopAndSized) {
  RandomSource random;
  TSplashForm splash(random);
  EXPECT_EQ(splash.size(), QSize(364, 300));
  EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(splash.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(splash.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(SplashWindowTest, Timer1RunsOnlyWhileVisible) {
  RandomSource random;
  TSplashForm splash(random);
  auto* timer = splash.findChild<QTimer*>(QStringLiteral("Timer1"));
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 20);
  EXPECT_FALSE(timer->isActive());
  splash.show();
  EXPECT_TRUE(timer->isActive());
  splash.hide();
  EXPECT_FALSE(timer->isActive());
  splash.show();
  EXPECT_TRUE(timer->isActive());
  splash.close();
  EXPECT_FALSE(timer->isActive());
}

TEST(SplashWindowTest, ShowsNameAndLogoAndSpeckleSparesTheBlackName) {
  RandomSource random;
  TSplashForm splash(random);
  splash.show();
  const QImage shown = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), QSize(364, 300));

  // The name is black text in the lower part; the logo box (118, 34, 128 x 128) is not
  // the plain background.
  const QRect name_area(0, 150, 364, 150);
  const int black_in_name = CountBlack(shown, name_area);
  EXPECT_GT(black_in_name, 500);
  EXPECT_EQ(CountBlack(shown, QRect(0, 0, 364, 30)), 0);
  EXPECT_NE(shown.pixel(118 + 64, 34 + 64), shown.pixel(5, 5));

  Tick(splash, 100);
  const QImage later = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int changed = 0;
  for (int y = 0; y < later.height(); ++y) {
    for (int x = 0; x < later.width(); ++x) {
      if (shown.pixel(x, y) == kBlack) {
        ASSERT_EQ(later.pixel(x, y), kBlack) << x << ", " << y;
      }
      changed += later.pixel(x, y) != shown.pixel(x, y);
    }
  }
  // 100 ticks paint 15000 speckles.
  EXPECT_GT(changed, 5000);
  splash.hide();
}

}  // namespace
}  // namespace melodrift
