#include "app/splash_animation.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace melodrift {
namespace {

constexpr int64_t kColours = SplashAnimation::kColourCount;

// Answers Draw from a script; once the script is used up, from the real generator. Records
// every range asked for, so the order of the draws can be checked.
class ScriptedRandom final : public RandomSource {
 public:
  ScriptedRandom() { Seed(12345); }

  int64_t Draw(int64_t n) override {
    asked.push_back(n);
    if (script.empty()) return RandomSource::Draw(n);
    const int64_t value = script.front();
    script.pop_front();
    EXPECT_GE(value, 0);
    EXPECT_LT(value, n) << "scripted value out of the range asked for";
    return value;
  }

  void Point(int x, int y) {
    script.push_back(x);
    script.push_back(y);
  }
  void Speckle(int x, int y, int64_t colour) {
    Point(x, y);
    script.push_back(colour);
  }

  std::deque<int64_t> script;
  std::vector<int64_t> asked;
};

// A picture whose every pixel has its own colour: 0x100000 + 16 * (y * width + x) + 1.
void FillDistinct(SplashImage& image) {
  for (int y = 0; y < image.Height(); ++y) {
    for (int x = 0; x < image.Width(); ++x) {
      image.SetPixel(x, y, 0x100000 + 16 * (y * image.Width() + x) + 1);
    }
  }
}

TEST(SplashAnimationTest, PlacesNameAndLogoWithTruncatingDivisions) {
  struct Case {
    int client_w, client_h, label_w, label_h;
    SplashPoint label;
  };
  const Case cases[] = {
      {364, 300, 306, 72, {29, 196}},
      // 231 / 8 * 7 is 196; 231 * 7 / 8 would be 202.
      {364, 300, 307, 69, {28, 196}},
      {364, 300, 364, 300, {0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NameLabelPosition(c.client_w, c.client_h, c.label_w, c.label_h), c.label)
        << c.label_w << " x " << c.label_h;
  }
  EXPECT_EQ(LogoPosition(364, 300, 128), (SplashPoint{118, 34}));
  EXPECT_EQ(LogoPosition(300, 200, 128), (SplashPoint{86, 14}));
}

TEST(SplashAnimationTest, ShowingResetsTheStateAndDrawsTheSplashColour) {
  ScriptedRandom random;
  SplashAnimation animation(random, 6, 4);
  for (int i = 0; i < SplashAnimation::kSmearAfterTicks + 1; ++i) animation.Tick();
  ASSERT_TRUE(animation.SmearPhase());

  random.asked.clear();
  random.script = {0xABCDEF};
  animation.Show(0x808080);
  EXPECT_EQ(animation.SplashTicks(), 0);
  EXPECT_FALSE(animation.SmearPhase());
  EXPECT_EQ(animation.SplashColour(), 0xABCDEFu);
  EXPECT_EQ(random.asked, std::vector<int64_t>{kColours});
  for (Rgb pixel : animation.Image().Pixels()) ASSERT_EQ(pixel, 0x808080u);
}

TEST(SplashAnimationTest, EachRoundPaintsTwoRandomColoursThenTheSplashColour) {
  ScriptedRandom random;
  SplashAnimation animation(random, 4, 3);
  random.script = {0x333333};
  animation.Show(0x808080);
  random.asked.clear();

  // Round 1 paints (1, 1) three times, so only the last colour survives; (0, 2) shows that
  // x is drawn before y. The other rounds paint (3, 2).
  random.Speckle(1, 1, 0x111111);
  random.Speckle(1, 1, 0x222222);
  random.Point(1, 1);
  for (int round = 1; round < SplashAnimation::kRoundsPerTick; ++round) {
    random.Speckle(3, 2, 0x444444);
    random.Speckle(0, 2, 0x555555);
    random.Point(3, 2);
  }
  animation.Tick();

  EXPECT_EQ(animation.SplashTicks(), 1);
  EXPECT_TRUE(random.script.empty());
  std::vector<int64_t> expected;
  for (int round = 0; round < SplashAnimation::kRoundsPerTick; ++round) {
    expected.insert(expected.end(), {4, 3, kColours, 4, 3, kColours, 4, 3});
  }
  EXPECT_EQ(random.asked, expected);

  const SplashImage& image = animation.Image();
  EXPECT_EQ(image.Pixel(1, 1), 0x333333u);
  EXPECT_EQ(image.Pixel(3, 2), 0x333333u);
  EXPECT_EQ(image.Pixel(0, 2), 0x555555u);
  EXPECT_EQ(image.Pixel(2, 0), 0x808080u);
}

TEST(SplashAnimationTest, SpeckleSparesBlackPureGreenAndPureRedOnly) {
  struct Case {
    Rgb before;
    bool spared;
  };
  const Case cases[] = {
      {0x000000, true},  {0x00FF00, true},  {0xFF0000, true},  {0x000001, false},
      {0x00FE00, false}, {0xFF0001, false}, {0x0000FF, false}, {0xFFFFFF, false},
  };
  for (const Case& c : cases) {
    ScriptedRandom random;
    SplashAnimation animation(random, 2, 2);
    random.script = {0x123456};
    animation.Show(c.before);
    // Every point of the tick is (0, 0); the random colours are 0x654321.
    for (int round = 0; round < SplashAnimation::kRoundsPerTick; ++round) {
      random.Speckle(0, 0, 0x654321);
      random.Speckle(0, 0, 0x654321);
      random.Point(0, 0);
    }
    animation.Tick();
    EXPECT_EQ(animation.Image().Pixel(0, 0), c.spared ? c.before : 0x123456u)
        << std::hex << c.before;
    EXPECT_EQ(animation.Image().Pixel(1, 1), c.before) << std::hex << c.before;
  }
}

TEST(SplashAnimationTest, SmearPhaseBeginsOnTheTickAfterFiveHundred) {
  ScriptedRandom random;
  SplashAnimation animation(random, 20, 10);
  animation.Show(0x808080);
  constexpr size_t kSpeckleDraws = SplashAnimation::kRoundsPerTick * 8;
  constexpr size_t kSmearDraws =
      SplashAnimation::kRoundsPerTick * SplashAnimation::kSmearCopiesPerRound * 4 * 2;

  for (int tick = 1; tick <= SplashAnimation::kSmearAfterTicks; ++tick) {
    random.asked.clear();
    animation.Tick();
    ASSERT_EQ(random.asked.size(), kSpeckleDraws) << "tick " << tick;
  }
  EXPECT_EQ(animation.SplashTicks(), 500);
  EXPECT_FALSE(animation.SmearPhase());

  random.asked.clear();
  animation.Tick();
  EXPECT_TRUE(animation.SmearPhase());
  EXPECT_EQ(random.asked.size(), kSpeckleDraws + kSmearDraws);
}

// Sources whose copy in each direction falls outside a W x H picture, in the order of the
// copies: down right, up left, up right, down left.
std::vector<SplashPoint> OutsideSources(int w, int h) {
  return {{w - 1, h - 1}, {0, 0}, {w - 1, 0}, {0, h - 1}};
}

TEST(SplashAnimationTest, SmearCopiesToTheFourDiagonalsInTurnAndLosesCopiesOutside) {
  constexpr int kW = 5, kH = 5;
  ScriptedRandom random;
  SplashAnimation animation(random, kW, kH);
  animation.Show(0x808080);
  for (int i = 0; i < SplashAnimation::kSmearAfterTicks; ++i) animation.Tick();

  SplashImage& image = animation.Image();
  FillDistinct(image);
  const SplashImage before = image;
  // The speckles of this tick all fall on a black pixel, which they spare.
  image.SetPixel(2, 2, kSparedBlack);

  const std::vector<SplashPoint> outside = OutsideSources(kW, kH);
  for (int round = 0; round < SplashAnimation::kRoundsPerTick; ++round) {
    random.Speckle(2, 2, 0x777777);
    random.Speckle(2, 2, 0x777777);
    random.Point(2, 2);
    for (int copy = 0; copy < SplashAnimation::kSmearCopiesPerRound; ++copy) {
      if (round == 0 && copy == 0) {
        // One copy in each direction, each from a source of its own (none of the edge
        // sources below) to a target of its own.
        random.Point(0, 0);  // to (1, 1)
        random.Point(4, 3);  // to (3, 2)
        random.Point(1, 4);  // to (2, 3)
        random.Point(3, 0);  // to (2, 1)
        continue;
      }
      for (const SplashPoint& p : outside) random.Point(p.x, p.y);
    }
  }
  animation.Tick();
  ASSERT_TRUE(random.script.empty());

  SplashImage expected = before;
  expected.SetPixel(2, 2, kSparedBlack);
  expected.SetPixel(1, 1, before.Pixel(0, 0));  // down right
  expected.SetPixel(3, 2, before.Pixel(4, 3));  // up left
  expected.SetPixel(2, 3, before.Pixel(1, 4));  // up right
  expected.SetPixel(2, 1, before.Pixel(3, 0));  // down left
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      EXPECT_EQ(image.Pixel(x, y), expected.Pixel(x, y)) << x << ", " << y;
    }
  }
}

}  // namespace
}  // namespace melodrift
