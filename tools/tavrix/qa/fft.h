// A radix-2 discrete Fourier transform of a fixed power-of-two length. The
// measurements need only lengths of 256 to a few thousand, and the tool is
// built for Windows too, where no FFT library package is at hand.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace tavrix_qa {

class Fft {
 public:
  explicit Fft(size_t length);  // a power of two
  size_t length() const { return length_; }
  // In place, forward: X[k] = sum x[n] exp(-2 pi i k n / N).
  void Forward(std::complex<double>* data) const;

 private:
  size_t length_;
  std::vector<size_t> reversed_;
  std::vector<std::complex<double>> twiddles_;
};

}  // namespace tavrix_qa
