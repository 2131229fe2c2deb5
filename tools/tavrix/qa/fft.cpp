#include "fft.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace tavrix_qa {

Fft::Fft(size_t length) : length_(length), reversed_(length), twiddles_(length / 2) {
  if (length < 2 || (length & (length - 1)) != 0) throw std::invalid_argument("FFT length must be a power of two");
  size_t bits = 0;
  while ((size_t(1) << bits) < length) ++bits;
  for (size_t i = 0; i < length; ++i) {
    size_t r = 0;
    for (size_t b = 0; b < bits; ++b) r |= ((i >> b) & 1u) << (bits - 1 - b);
    reversed_[i] = r;
  }
  const double pi = std::acos(-1.0);
  for (size_t k = 0; k < length / 2; ++k) twiddles_[k] = std::polar(1.0, -2.0 * pi * double(k) / double(length));
}

void Fft::Forward(std::complex<double>* data) const {
  for (size_t i = 0; i < length_; ++i)
    if (i < reversed_[i]) std::swap(data[i], data[reversed_[i]]);
  for (size_t half = 1; half < length_; half *= 2) {
    const size_t stride = length_ / (2 * half);
    for (size_t start = 0; start < length_; start += 2 * half) {
      for (size_t k = 0; k < half; ++k) {
        const std::complex<double> t = twiddles_[k * stride] * data[start + k + half];
        data[start + k + half] = data[start + k] - t;
        data[start + k] += t;
      }
    }
  }
}

}  // namespace tavrix_qa
