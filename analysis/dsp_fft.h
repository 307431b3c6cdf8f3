// TdspFFT: a radix-2 complex FFT on 32-bit floats. The stored feature values of a library
// are made with it, so its arithmetic is fixed: bit-reversed copy, butterflies whose twiddle
// factor follows the recurrence w = w * wp from float tables, every stored intermediate a
// float. Not thread-safe; one object per channel.
#pragma once

#include <span>
#include <vector>

namespace melodrift {

enum class TdspWindow { fwNone, fwHamming, fwHanning, fwBlackman, fwGaussian, fwWelch, fwParzen };

class TdspFFT {
 public:
  static constexpr int kMinPower = 2;
  static constexpr int kMaxPower = 15;

  TdspFFT();  // Power 9 (512 points)

  int Power() const { return power_; }
  // Clamped to 2..15. A new size reallocates and zeroes the arrays and rebuilds the tables;
  // the current size changes nothing.
  void SetPower(int power);
  int BufferSize() const { return 1 << power_; }
  // Sets Power to the largest exponent whose power of two does not exceed `size` (2..15).
  void SetBufferSize(int size);

  TdspWindow Window() const { return window_; }
  void SetWindow(TdspWindow window);

  // The N input and output values; valid until the next SetPower or SetBufferSize.
  std::span<float> InRe() { return in_re_; }
  std::span<float> InIm() { return in_im_; }
  std::span<float> OutRe() { return out_re_; }
  std::span<float> OutIm() { return out_im_; }

  void ClearBuffers();
  // Out = sum over n of In[n] * e^(+2 pi i n k / N), after the window (if any) is applied to
  // InRe. The inputs are left as they are, so a second call gives the same result.
  void ForwardTransform();
  // OutRe[0] *= 0.25, then OutRe[i] = sqrt(OutRe[i]^2 + OutIm[i]^2) * 2/N for i < N/2.
  void ToMagnitudes();

 private:
  void BuildTables();
  void BuildWindow();

  int power_ = 0;
  TdspWindow window_ = TdspWindow::fwNone;
  std::vector<float> in_re_, in_im_, out_re_, out_im_;
  std::vector<int> bit_reverse_;
  std::vector<float> stage_cos_, stage_sin_;  // cos and sin of pi / 2^s
  // The recurrence's twiddle factors of every stage, stage s at [2^s - 1, 2^(s+1) - 1):
  // they are the same for every block, so they are computed once instead of per butterfly row.
  std::vector<float> twiddle_re_, twiddle_im_;
  std::vector<float> window_coefficients_;
  std::vector<float> windowed_re_;  // InRe times the window, so that InRe stays as it was
  float scale_ = 0;                 // 2 / N
};

}  // namespace melodrift
