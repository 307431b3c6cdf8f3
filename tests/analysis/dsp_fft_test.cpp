// The FFT component: its size properties, its transform against a plain DFT, the magnitude
// scaling the feature values are made with, and the window kinds.
#include "analysis/dsp_fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace melodrift {
namespace {

TEST(DspFFTTest, PowerIsClampedAndBufferSizeRoundsDown) {
  TdspFFT fresh;
  EXPECT_EQ(fresh.Power(), 9);
  EXPECT_EQ(fresh.BufferSize(), 512);
  EXPECT_EQ(fresh.InRe().size(), 512u);

  struct Case {
    int power;
    int buffer_size;  // 0: set Power instead
    int expected_power;
  };
  for (const Case& c :
       {Case{1, 0, 2}, Case{20, 0, 15}, Case{10, 0, 10}, Case{0, 1000, 9}, Case{0, 1024, 10},
        Case{0, 1025, 10}, Case{0, 3, 2}, Case{0, 1 << 20, 15}}) {
    TdspFFT fft;
    if (c.buffer_size > 0) {
      fft.SetBufferSize(c.buffer_size);
    } else {
      fft.SetPower(c.power);
    }
    EXPECT_EQ(fft.Power(), c.expected_power) << c.power << " / " << c.buffer_size;
    EXPECT_EQ(fft.OutIm().size(), size_t{1} << c.expected_power);
  }
}

TEST(DspFFTTest, NewSizeZeroesTheArraysAndTheSameSizeKeepsThem) {
  TdspFFT fft;
  std::fill(fft.InRe().begin(), fft.InRe().end(), 3.0f);
  fft.SetPower(9);
  EXPECT_EQ(fft.InRe()[100], 3.0f);
  fft.SetBufferSize(1024);
  EXPECT_TRUE(std::all_of(fft.InRe().begin(), fft.InRe().end(), [](float v) { return v == 0; }));
  std::fill(fft.OutRe().begin(), fft.OutRe().end(), 1.0f);
  fft.ClearBuffers();
  EXPECT_TRUE(std::all_of(fft.OutRe().begin(), fft.OutRe().end(), [](float v) { return v == 0; }));
}

// X_k = sum x_n e^(+2 pi i n k / N), computed in double.
std::vector<std::complex<double>> Dft(const std::vector<std::complex<double>>& x) {
  const size_t n = x.size();
  std::vector<std::complex<double>> out(n);
  for (size_t k = 0; k < n; ++k) {
    for (size_t i = 0; i < n; ++i) {
      out[k] += x[i] * std::polar(1.0, 2 * std::numbers::pi * double((i * k) % n) / double(n));
    }
  }
  return out;
}

TEST(DspFFTTest, ForwardTransformIsTheDftWithThePositiveExponent) {
  std::mt19937 engine(7);
  std::uniform_real_distribution<float> sample(-1000, 1000);
  for (int power : {2, 5, 10}) {
    TdspFFT fft;
    fft.SetPower(power);
    const int n = fft.BufferSize();
    std::vector<std::complex<double>> input(n);
    for (int i = 0; i < n; ++i) {
      fft.InRe()[i] = sample(engine);
      fft.InIm()[i] = sample(engine);
      input[i] = {fft.InRe()[i], fft.InIm()[i]};
    }
    fft.ForwardTransform();
    const std::vector<std::complex<double>> expected = Dft(input);
    double worst = 0;
    for (int k = 0; k < n; ++k) {
      worst = std::max(
          worst, std::abs(std::complex<double>(fft.OutRe()[k], fft.OutIm()[k]) - expected[k]));
    }
    // Float rounding over log2(N) stages, against values up to 1000 N.
    EXPECT_LT(worst, 1e-5 * 1000 * n) << "N = " << n;
  }

  // e^(-2 pi i 3 n / N) lands in bin 3 only with the positive exponent (else in bin N - 3).
  TdspFFT fft;
  fft.SetPower(4);
  for (int i = 0; i < 16; ++i) {
    fft.InRe()[i] = static_cast<float>(std::cos(2 * std::numbers::pi * 3 * i / 16));
    fft.InIm()[i] = static_cast<float>(-std::sin(2 * std::numbers::pi * 3 * i / 16));
  }
  fft.ForwardTransform();
  EXPECT_NEAR(fft.OutRe()[3], 16, 1e-4);
  EXPECT_NEAR(fft.OutRe()[13], 0, 1e-4);
}

// The transform as first written: j outermost, w advanced by w * wp after each j, floats
// throughout. Stored feature values depend on these exact floats, so a faster loop order
// must give the same bits.
void LiteralTransform(int power, const std::vector<float>& in_re, const std::vector<float>& in_im,
                      std::vector<float>& re, std::vector<float>& im) {
  const int n = 1 << power;
  re.assign(n, 0);
  im.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    int r = 0;
    for (int b = 0; b < power; ++b) r |= ((i >> b) & 1) << (power - 1 - b);
    re[i] = in_re[r];
    im[i] = in_im[r];
  }
  for (int s = 0; s < power; ++s) {
    const int half = 1 << s;
    const float wpr = static_cast<float>(std::cos(std::numbers::pi / half));
    const float wpi = static_cast<float>(std::sin(std::numbers::pi / half));
    float wr = 1, wi = 0;
    for (int j = 0; j < half; ++j) {
      for (int k = j; k < n; k += 2 * half) {
        const int m = k + half;
        const float tr = wr * re[m] - wi * im[m];
        const float ti = wr * im[m] + wi * re[m];
        re[m] = re[k] - tr;
        im[m] = im[k] - ti;
        re[k] = re[k] + tr;
        im[k] = im[k] + ti;
      }
      const float next = wr * wpr - wi * wpi;
      wi = wr * wpi + wi * wpr;
      wr = next;
    }
  }
}

TEST(DspFFTTest, ForwardTransformGivesTheLiteralAlgorithmsFloats) {
  std::mt19937 engine(11);
  std::uniform_int_distribution<int> sample(0, 65535);
  for (int power : {2, 3, 10, 12}) {
    TdspFFT fft;
    fft.SetPower(power);
    std::vector<float> in_re(fft.BufferSize()), in_im(fft.BufferSize());
    for (int i = 0; i < fft.BufferSize(); ++i) {
      fft.InRe()[i] = in_re[i] = static_cast<float>(sample(engine));
      fft.InIm()[i] = in_im[i] = power == 3 ? static_cast<float>(sample(engine)) : 0.0f;
    }
    std::vector<float> re, im;
    LiteralTransform(power, in_re, in_im, re, im);
    fft.ForwardTransform();
    for (int k = 0; k < fft.BufferSize(); ++k) {
      ASSERT_EQ(fft.OutRe()[k], re[k]) << "N = " << fft.BufferSize() << ", bin " << k;
      ASSERT_EQ(fft.OutIm()[k], im[k]) << "N = " << fft.BufferSize() << ", bin " << k;
    }
  }
}

TEST(DspFFTTest, MagnitudesQuarterTheDcBinAndScaleByTwoOverN) {
  TdspFFT fft;
  fft.SetPower(10);
  // 100 + 3 cos(2 pi 5 n / N): DC 100 N, bin 5 and its mirror 1.5 N each.
  for (int i = 0; i < 1024; ++i) {
    fft.InRe()[i] = static_cast<float>(100 + 3 * std::cos(2 * std::numbers::pi * 5 * i / 1024));
  }
  fft.ForwardTransform();
  fft.ToMagnitudes();
  EXPECT_NEAR(fft.OutRe()[0], 50, 1e-3);  // 100 N / 4 x 2 / N
  EXPECT_NEAR(fft.OutRe()[5], 3, 1e-3);
  EXPECT_NEAR(fft.OutRe()[6], 0, 1e-3);
  EXPECT_NEAR(fft.OutRe()[511], 0, 1e-3);
  // The upper half keeps the transform: bin 1019 mirrors bin 5 (1.5 N, unscaled).
  EXPECT_NEAR(fft.OutRe()[1019], 1.5 * 1024, 0.5);
}

TEST(DspFFTTest, WindowsWeighTheInputWithoutChangingIt) {
  constexpr int kN = 256;
  // Sums of the symmetric windows over N points (the sum of cos(2 pi i / (N - 1)) is 1).
  struct Case {
    TdspWindow window;
    double sum;  // < 0: only symmetry and range are checked
  };
  for (const Case& c :
       {Case{TdspWindow::fwNone, kN}, Case{TdspWindow::fwHamming, 0.54 * kN - 0.46},
        Case{TdspWindow::fwHanning, 0.5 * kN - 0.5}, Case{TdspWindow::fwBlackman, 0.42 * kN - 0.42},
        Case{TdspWindow::fwGaussian, -1}, Case{TdspWindow::fwWelch, -1},
        Case{TdspWindow::fwParzen, -1}}) {
    SCOPED_TRACE(static_cast<int>(c.window));
    TdspFFT fft;
    fft.SetPower(8);
    fft.SetWindow(c.window);
    // One impulse at a time reads the coefficients back: X_0 of an impulse at i is w(i).
    std::vector<float> w(kN);
    for (int i = 0; i < kN; ++i) {
      fft.ClearBuffers();
      fft.InRe()[i] = 1;
      fft.ForwardTransform();
      EXPECT_EQ(fft.InRe()[i], 1.0f);
      w[i] = fft.OutRe()[0];
    }
    double sum = 0;
    for (int i = 0; i < kN; ++i) {
      EXPECT_NEAR(w[i], w[kN - 1 - i], 1e-6);
      EXPECT_GE(w[i], -1e-6);
      EXPECT_LE(w[i], 1 + 1e-6);
      sum += w[i];
    }
    EXPECT_GT(w[kN / 2], 0.99);
    if (c.sum >= 0) {
      EXPECT_NEAR(sum, c.sum, 1e-3);
    }
    if (c.window != TdspWindow::fwNone) {
      EXPECT_LT(w[0], 0.1);
    }
  }
}

}  // namespace
}  // namespace melodrift
