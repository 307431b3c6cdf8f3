#include "app/splash_animation.h"

#include <algorithm>

namespace melodrift {

SplashImage::SplashImage(int width, int height, Rgb fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), fill & 0xFFFFFF) {}

void SplashImage::Fill(Rgb colour) {
  std::fill(pixels_.begin(), pixels_.end(), colour & 0xFFFFFF);
}

SplashPoint NameLabelPosition(int client_width, int client_height, int label_width,
                              int label_height) {
  return {(client_width - label_width) / 2, ((client_height - label_height) / 8) * 7};
}

SplashPoint LogoPosition(int client_width, int client_height, int logo_size) {
  return {(client_width - logo_size) / 2, (client_height - logo_size) / 5};
}

SplashAnimation::SplashAnimation(RandomSource& random, int width, int height)
    : random_(random), image_(width, height) {}

void SplashAnimation::Show(Rgb background) {
  splash_ticks_ = 0;
  random_.SeedFromClock();
  splash_colour_ = static_cast<Rgb>(random_.Draw(kColourCount));
  image_.Fill(background);
  smear_phase_ = false;
}

void SplashAnimation::Tick() {
  ++splash_ticks_;
  if (splash_ticks_ > kSmearAfterTicks) smear_phase_ = true;
  // An empty picture has no point to pick.
  if (image_.Width() == 0 || image_.Height() == 0) return;

  for (int round = 0; round < kRoundsPerTick; ++round) {
    for (int i = 0; i < 2; ++i) {
      const int x = DrawX();
      const int y = DrawY();
      Speckle(x, y, static_cast<Rgb>(random_.Draw(kColourCount)));
    }
    const int x = DrawX();
    const int y = DrawY();
    Speckle(x, y, splash_colour_);
    if (smear_phase_) {
      for (int i = 0; i < kSmearCopiesPerRound; ++i) {
        SmearOnce(+1, +1);
        SmearOnce(-1, -1);
        SmearOnce(+1, -1);
        SmearOnce(-1, +1);
      }
    }
  }
}

void SplashAnimation::Speckle(int x, int y, Rgb colour) {
  if (!IsSparedColour(image_.Pixel(x, y))) image_.SetPixel(x, y, colour);
}

void SplashAnimation::SmearOnce(int dx, int dy) {
  const int x = DrawX();
  const int y = DrawY();
  if (image_.Contains(x + dx, y + dy)) image_.SetPixel(x + dx, y + dy, image_.Pixel(x, y));
}

}  // namespace melodrift
