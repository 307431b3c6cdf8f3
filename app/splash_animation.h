// The splash window's picture and its animation, kept in an off-screen image: random speckles
// that spare black, pure green and pure red, and after ten seconds colours that run diagonally
// into each other. No drawing toolkit here; the window paints the image. Main thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "app/random_source.h"

namespace melodrift {

// A colour as 0xRRGGBB (8 bits each of red, green and blue).
using Rgb = uint32_t;

inline constexpr Rgb kSparedBlack = 0x000000;
inline constexpr Rgb kSparedGreen = 0x00FF00;
inline constexpr Rgb kSparedRed = 0xFF0000;

// True for the colours the speckles never paint over.
constexpr bool IsSparedColour(Rgb colour) {
  return colour == kSparedBlack || colour == kSparedGreen || colour == kSparedRed;
}

// A width x height picture of 24-bit colours, row by row from the top left.
class SplashImage {
 public:
  SplashImage(int width, int height, Rgb fill = 0);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  // The point must lie inside the picture.
  Rgb Pixel(int x, int y) const { return pixels_[Offset(x, y)]; }
  void SetPixel(int x, int y, Rgb colour) { pixels_[Offset(x, y)] = colour & 0xFFFFFF; }
  void Fill(Rgb colour);
  const std::vector<Rgb>& Pixels() const { return pixels_; }

 private:
  size_t Offset(int x, int y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x);
  }

  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

struct SplashPoint {
  int x = 0;
  int y = 0;
  bool operator==(const SplashPoint&) const = default;
};

// Top left of the product name: centred across, at seven eighths of the free height (integer
// divisions). For a 364 x 300 window and a 306 x 72 label: 29, 196.
SplashPoint NameLabelPosition(int client_width, int client_height, int label_width,
                              int label_height);
// Top left of the logo box: centred across, at one fifth of the free height. For a 364 x 300
// window and the 128 x 128 logo: 118, 34.
SplashPoint LogoPosition(int client_width, int client_height, int logo_size);

class SplashAnimation {
 public:
  static constexpr int kClientWidth = 364;
  static constexpr int kClientHeight = 300;
  static constexpr int kLogoSize = 128;
  static constexpr int kTickMilliseconds = 20;
  static constexpr int kSmearAfterTicks = 500;  // ten seconds of ticks
  static constexpr int kRoundsPerTick = 50;
  static constexpr int kSmearCopiesPerRound = 10;  // each copies in all four directions
  static constexpr int64_t kColourCount = int64_t{1} << 24;

  // The random source is shared with the rest of the program and must outlive the animation.
  explicit SplashAnimation(RandomSource& random, int width = kClientWidth,
                           int height = kClientHeight);

  // The showing steps: SplashTicks 0, the generator reseeded from the clock, a random
  // SplashColour, SmearPhase false, and the picture filled with `background`. The caller
  // then draws the name and logo into the picture.
  void Show(Rgb background);

  // One 20 ms tick of Timer1.
  void Tick();

  int SplashTicks() const { return splash_ticks_; }
  Rgb SplashColour() const { return splash_colour_; }
  bool SmearPhase() const { return smear_phase_; }

  SplashImage& Image() { return image_; }
  const SplashImage& Image() const { return image_; }

 private:
  // Paints a random point with `colour` unless it holds a spared colour.
  void Speckle(int x, int y, Rgb colour);
  // Copies a random point's colour to its neighbour at (dx, dy); lost outside the picture.
  void SmearOnce(int dx, int dy);
  int DrawX() { return static_cast<int>(random_.Draw(image_.Width())); }
  int DrawY() { return static_cast<int>(random_.Draw(image_.Height())); }

  RandomSource& random_;
  SplashImage image_;
  int splash_ticks_ = 0;
  Rgb splash_colour_ = 0;
  bool smear_phase_ = false;
};

}  // namespace melodrift
