// qa.json: the results of the measurements, one object per measurement
// ("mtf", "nnps", "dqe", "response", "lag", "dark"), curves as parallel
// arrays of frequency and value, numbers that could not be measured as null.
#pragma once

#include <string>

#include "curve.h"
#include "dark.h"
#include "lag.h"
#include "noise_power.h"
#include "response.h"
#include "slanted_edge.h"

namespace tavrix_qa {

// Frequencies at which the MTF is reported as scalars besides the Nyquist one.
constexpr double kMtfReportFrequencies[] = {0.5, 1.0, 2.0, 3.0};

class QaJson {
 public:
  explicit QaJson(double pitchMm);
  // `key`: "mtf" for the first edge, another (e.g. "mtf_vertical") for a second.
  void AddMtf(const EdgeMtf& edge, const std::string& key = "mtf");
  void AddNoisePower(const NoisePower& nnps, double kermaUGy);
  void AddDqe(const Curve& dqe, double kermaUGy, const std::string& beam);
  void AddResponse(const ResponseFit& fit);
  void AddLag(const LagResult& lag);
  void AddDark(const DarkResult& dark);
  std::string Text() const;  // the whole file, ending in a newline

 private:
  std::string body_;
};

}  // namespace tavrix_qa
