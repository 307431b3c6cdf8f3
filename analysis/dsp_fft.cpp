#include "analysis/dsp_fft.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace melodrift {

namespace {

// The butterflies of one group: t = w_j * Out[m], Out[m] = Out[k] - t, Out[k] = Out[k] + t
// for k = j, m = j + half. The rows do not overlap.
void ButterflyRow(float* __restrict kr, float* __restrict ki, float* __restrict mr,
                  float* __restrict mi, const float* __restrict wr, const float* __restrict wi,
                  int half) {
  for (int j = 0; j < half; ++j) {
    const float tr = wr[j] * mr[j] - wi[j] * mi[j];
    const float ti = wr[j] * mi[j] + wi[j] * mr[j];
    mr[j] = kr[j] - tr;
    mi[j] = ki[j] - ti;
    kr[j] = kr[j] + tr;
    ki[j] = ki[j] + ti;
  }
}

}  // namespace

TdspFFT::TdspFFT() {
  SetPower(9);
}

void TdspFFT::SetPower(int power) {
  power = std::clamp(power, kMinPower, kMaxPower);
  if (power == power_) return;
  power_ = power;
  const size_t n = size_t{1} << power_;
  in_re_.assign(n, 0.0f);
  in_im_.assign(n, 0.0f);
  out_re_.assign(n, 0.0f);
  out_im_.assign(n, 0.0f);
  windowed_re_.assign(n, 0.0f);
  BuildTables();
  BuildWindow();
}

void TdspFFT::SetBufferSize(int size) {
  int power = kMinPower;
  while (power < kMaxPower && (1 << (power + 1)) <= size) ++power;
  SetPower(power);
}

void TdspFFT::SetWindow(TdspWindow window) {
  if (window == window_) return;
  window_ = window;
  BuildWindow();
}

void TdspFFT::BuildTables() {
  const int n = BufferSize();
  bit_reverse_.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    int r = 0;
    for (int b = 0; b < power_; ++b) r |= ((i >> b) & 1) << (power_ - 1 - b);
    bit_reverse_[i] = r;
  }
  stage_cos_.assign(power_, 0.0f);
  stage_sin_.assign(power_, 0.0f);
  twiddle_re_.assign(n - 1, 0.0f);
  twiddle_im_.assign(n - 1, 0.0f);
  for (int s = 0; s < power_; ++s) {
    const int half = 1 << s;
    const double angle = std::numbers::pi / half;
    stage_cos_[s] = static_cast<float>(std::cos(angle));
    stage_sin_[s] = static_cast<float>(std::sin(angle));
    const float wpr = stage_cos_[s];
    const float wpi = stage_sin_[s];
    float wr = 1.0f;
    float wi = 0.0f;
    for (int j = 0; j < half; ++j) {
      twiddle_re_[half - 1 + j] = wr;
      twiddle_im_[half - 1 + j] = wi;
      const float next_r = wr * wpr - wi * wpi;
      wi = wr * wpi + wi * wpr;
      wr = next_r;
    }
  }
  scale_ = 2.0f / static_cast<float>(n);
}

void TdspFFT::BuildWindow() {
  const int n = BufferSize();
  window_coefficients_.assign(n, 1.0f);
  if (window_ == TdspWindow::fwNone) return;
  const double last = n - 1;
  const double middle = last / 2;
  const double two_pi = 2 * std::numbers::pi;
  for (int i = 0; i < n; ++i) {
    const double x = i / last;                       // 0 to 1 across the block
    const double d = std::abs(i - middle) / middle;  // 0 at the centre, 1 at the ends
    double w = 1;
    switch (window_) {
      case TdspWindow::fwNone:
        break;
      case TdspWindow::fwHamming:
        w = 0.54 - 0.46 * std::cos(two_pi * x);
        break;
      case TdspWindow::fwHanning:
        w = 0.5 - 0.5 * std::cos(two_pi * x);
        break;
      case TdspWindow::fwBlackman:
        w = 0.42 - 0.5 * std::cos(two_pi * x) + 0.08 * std::cos(2 * two_pi * x);
        break;
      case TdspWindow::fwGaussian: {
        constexpr double kSigma = 0.4;
        w = std::exp(-0.5 * (d / kSigma) * (d / kSigma));
        break;
      }
      case TdspWindow::fwWelch:
        w = 1 - d * d;
        break;
      case TdspWindow::fwParzen:
        w = d <= 0.5 ? 1 - 6 * d * d * (1 - d) : 2 * (1 - d) * (1 - d) * (1 - d);
        break;
    }
    window_coefficients_[i] = static_cast<float>(w);
  }
}

void TdspFFT::ClearBuffers() {
  std::fill(in_re_.begin(), in_re_.end(), 0.0f);
  std::fill(in_im_.begin(), in_im_.end(), 0.0f);
  std::fill(out_re_.begin(), out_re_.end(), 0.0f);
  std::fill(out_im_.begin(), out_im_.end(), 0.0f);
}

void TdspFFT::ForwardTransform() {
  const int n = BufferSize();
  const float* source_re = in_re_.data();
  if (window_ != TdspWindow::fwNone) {
    for (int i = 0; i < n; ++i) windowed_re_[i] = in_re_[i] * window_coefficients_[i];
    source_re = windowed_re_.data();
  }
  float* const re = out_re_.data();
  float* const im = out_im_.data();
  const float* const in_im = in_im_.data();
  const int* const rev = bit_reverse_.data();

  // The bit-reversed copy and the first two stages in one pass over groups of four: their
  // rows are too short for vector registers, and the copy is read once instead of twice.
  // Stage 0 uses w = twiddle 0; stage 1 uses twiddles 1 (j = 0) and 2 (j = 1).
  const float w0r = twiddle_re_[0], w0i = twiddle_im_[0];
  const float w1r = twiddle_re_[1], w1i = twiddle_im_[1];
  const float w2r = twiddle_re_[2], w2i = twiddle_im_[2];
  for (int g = 0; g < n; g += 4) {
    float r[4], i[4];
    for (int e = 0; e < 4; ++e) {
      r[e] = source_re[rev[g + e]];
      i[e] = in_im[rev[g + e]];
    }
    for (int k = 0; k < 4; k += 2) {  // stage 0: pairs (0, 1) and (2, 3)
      const float tr = w0r * r[k + 1] - w0i * i[k + 1];
      const float ti = w0r * i[k + 1] + w0i * r[k + 1];
      r[k + 1] = r[k] - tr;
      i[k + 1] = i[k] - ti;
      r[k] = r[k] + tr;
      i[k] = i[k] + ti;
    }
    {  // stage 1, j = 0: pair (0, 2)
      const float tr = w1r * r[2] - w1i * i[2];
      const float ti = w1r * i[2] + w1i * r[2];
      r[2] = r[0] - tr;
      i[2] = i[0] - ti;
      r[0] = r[0] + tr;
      i[0] = i[0] + ti;
    }
    {  // stage 1, j = 1: pair (1, 3)
      const float tr = w2r * r[3] - w2i * i[3];
      const float ti = w2r * i[3] + w2i * r[3];
      r[3] = r[1] - tr;
      i[3] = i[1] - ti;
      r[1] = r[1] + tr;
      i[1] = i[1] + ti;
    }
    for (int e = 0; e < 4; ++e) {
      re[g + e] = r[e];
      im[g + e] = i[e];
    }
  }

  // Butterflies of one stage touch disjoint pairs, so walking each group's j values in a row
  // gives the same floats as walking j outermost, and lets the compiler use vector registers.
  for (int s = 2; s < power_; ++s) {
    const int half = 1 << s;
    const float* const wr = twiddle_re_.data() + half - 1;
    const float* const wi = twiddle_im_.data() + half - 1;
    for (int base = 0; base < n; base += 2 * half) {
      ButterflyRow(re + base, im + base, re + base + half, im + base + half, wr, wi, half);
    }
  }
}

void TdspFFT::ToMagnitudes() {
  const int half = BufferSize() / 2;
  float* const re = out_re_.data();
  const float* const im = out_im_.data();
  re[0] *= 0.25f;
  for (int i = 0; i < half; ++i) {
    const float squares = re[i] * re[i] + im[i] * im[i];
    re[i] = std::sqrt(squares) * scale_;
  }
}

}  // namespace melodrift
