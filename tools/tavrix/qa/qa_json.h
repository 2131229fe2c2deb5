// qa.json: the results of the measurements, one object per measurement
// ("mtf", "nnps", "dqe", "response", "lag", "dark"), curves as parallel
// arrays of frequency and value, numbers that could not be measured as null.
#pragma once

#include <optional>
#include <string>
#include <vector>

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
  // `key`: "dqe" for the first MTF's direction, another for a second.
  void AddDqe(const Curve& dqe, double kermaUGy, const std::string& beam, const std::string& key = "dqe");
  // The SHA-256 of the maps the frames were corrected with, so that results
  // from two panels are never combined.
  void AddMaps(const std::string& pixelMapSha256, const std::string& gainMapSha256);
  void AddResponse(const ResponseFit& fit);
  void AddLag(const LagResult& lag);
  void AddDark(const DarkResult& dark);
  std::string Text() const;  // the whole file, ending in a newline

 private:
  std::string body_;
};

// What a later measurement reads back from a qa.json: the MTFs (in the
// order written), the NNPS with its air kerma, and the maps' digests.
struct QaJsonContents {
  std::vector<EdgeMtf> mtfs;
  std::optional<NoisePower> nnps;
  double nnpsKermaUGy = 0.0;
  std::string pixelMapSha256, gainMapSha256;
};

// Throws QaError (the images' kind) naming what is wrong when `text` is not
// a qa.json as QaJson writes it.
QaJsonContents ReadQaJson(const std::string& text);

}  // namespace tavrix_qa
