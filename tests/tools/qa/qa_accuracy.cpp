// The measurements against the simulated panel's truth for one seed and
// edge angle: prints the largest errors, one line per measurement, and
// exits 1 when one is outside its tolerance.
//   qa_accuracy SEED ANGLE_DEGREES [FLATS]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dark.h"
#include "dqe.h"
#include "imaging_physics.h"
#include "lag.h"
#include "noise_power.h"
#include "qa_error.h"
#include "response.h"
#include "slanted_edge.h"

namespace sim = pci_frm01_sim;
using namespace tavrix_qa;

namespace {

constexpr double kNnpsKerma = 2.5;  // uGy, as a physicist would take the flats
constexpr double kNnpsLow = 0.5, kNnpsHigh = 3.0;  // per mm, where the NNPS and DQE are held to the truth

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool Report(const char* what, double error, double tolerance, const char* unit, double seconds) {
  const bool ok = error <= tolerance;
  std::printf("%-26s %9.4f %-3s (tolerance %.4f) %6.2f s  %s\n", what, error, unit, tolerance, seconds, ok ? "ok" : "OUTSIDE");
  return ok;
}

double WorstMtfError(const EdgeMtf& edge, const sim::ImagingModel& model) {
  double worst = 0.0;
  for (size_t i = 0; i < edge.mtf.values.size(); ++i)
    worst = std::fmax(worst, std::fabs(edge.mtf.values[i] - sim::TruePresampledMtf(model, edge.mtf.frequenciesPerMm[i])));
  return worst;
}

}  // namespace

int Run(int argc, char** argv);

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const QaError& e) {
    std::fprintf(stderr, "qa_accuracy: %s\n", e.what());
    return 1;
  }
}

int Run(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qa_accuracy SEED ANGLE_DEGREES [FLATS]\n");
    return 2;
  }
  const uint32_t seed = uint32_t(std::strtoul(argv[1], nullptr, 10));
  const double angle = std::strtod(argv[2], nullptr);
  const int flatCount = argc > 3 ? std::atoi(argv[3]) : 8;
  const sim::ImagingModel model;
  bool ok = true;
  std::printf("seed %u, edge at %.2f degrees, %d flats at %.1f uGy\n", seed, angle, flatCount, kNnpsKerma);

  std::vector<EdgeMtf> edges;
  for (sim::EdgeDirection direction : {sim::EdgeDirection::kHorizontal, sim::EdgeDirection::kVertical}) {
    sim::EdgeScene scene;
    scene.direction = direction;
    scene.angleDegrees = angle;
    const std::vector<uint16_t> image = sim::RenderEdge(model, scene, seed);
    const auto start = std::chrono::steady_clock::now();
    edges.push_back(MeasurePresampledMtf(image.data()));
    const double took = Seconds(start);
    const bool horizontal = direction == sim::EdgeDirection::kHorizontal;
    ok &= Report(horizontal ? "MTF horizontal (abs)" : "MTF vertical (abs)", WorstMtfError(edges.back(), model), 0.02, "", took);
    ok &= Report("  edge angle (degrees)", std::fabs(std::fabs(edges.back().angleDegrees) - angle), 0.05, "deg", 0.0);
  }

  std::vector<std::vector<uint16_t>> flats;
  for (int k = 0; k < flatCount; ++k) flats.push_back(sim::RenderFlat(model, seed, uint32_t(k), kNnpsKerma));
  std::vector<const uint16_t*> views;
  for (const auto& flat : flats) views.push_back(flat.data());
  NoiseOptions options;
  options.darkLevel = model.darkLevel;
  auto start = std::chrono::steady_clock::now();
  const NoisePower nnps = MeasureNoisePower(views, options);
  const double nnpsSeconds = Seconds(start);
  double worstNnps = 0.0;
  for (const Curve* cut : {&nnps.horizontal, &nnps.vertical}) {
    for (size_t i = 0; i < cut->values.size(); ++i) {
      const double f = cut->frequenciesPerMm[i];
      if (f < kNnpsLow || f > kNnpsHigh) continue;
      worstNnps = std::fmax(worstNnps, std::fabs(cut->values[i] / sim::TrueNnps(model, kNnpsKerma, f, 0.0) - 1.0));
    }
  }
  ok &= Report("NNPS 0.5-3/mm (relative)", worstNnps, 0.05, "", nnpsSeconds);
  if (std::getenv("QA_ACCURACY_CURVES") != nullptr) {
    for (size_t i = 0; i < nnps.horizontal.values.size(); i += 4) {
      const double f = nnps.horizontal.frequenciesPerMm[i], truth = sim::TrueNnps(model, kNnpsKerma, f, 0.0);
      std::printf("  %5.2f /mm  NNPS truth %.4g  measured/truth horizontal %.4f vertical %.4f\n", f, truth,
                  nnps.horizontal.values[i] / truth, nnps.vertical.values[i] / truth);
    }
  }

  double worstDqe = 0.0;
  for (const EdgeMtf& edge : edges) {
    const Curve& cut = edge.direction == MtfDirection::kHorizontal ? nnps.horizontal : nnps.vertical;
    const Curve dqe = ComputeDqe(edge.mtf, cut, kNnpsKerma, kRqa5);
    for (size_t i = 0; i < dqe.values.size(); ++i) {
      const double f = dqe.frequenciesPerMm[i];
      if (f < kNnpsLow || f > kNnpsHigh) continue;
      worstDqe = std::fmax(worstDqe, std::fabs(dqe.values[i] / sim::TrueDqe(model, kNnpsKerma, f) - 1.0));
    }
  }
  ok &= Report("DQE 0.5-3/mm (relative)", worstDqe, 0.07, "", 0.0);

  std::vector<std::vector<uint16_t>> responseFlats;
  std::vector<KermaFlat> kermaFlats;
  for (double kerma : {0.5, 1.0, 2.0, 4.0, 8.0}) responseFlats.push_back(sim::RenderFlat(model, seed, 100, kerma));
  for (size_t i = 0; i < responseFlats.size(); ++i) kermaFlats.push_back({0.5 * double(1 << i), responseFlats[i].data()});
  start = std::chrono::steady_clock::now();
  const ResponseFit fit = MeasureResponse(kermaFlats);
  const double responseSeconds = Seconds(start);
  ok &= Report("response conversion (rel)", std::fabs(fit.conversion.countsPerUGy / model.countsPerUGy - 1.0), 0.01, "",
               responseSeconds);
  ok &= Report("  linearity residual", fit.largestRelativeResidual, 0.01, "", 0.0);

  const auto sequence = sim::RenderLagSequence(model, seed, 5.0);
  start = std::chrono::steady_clock::now();
  const LagResult lag = MeasureLag({sequence[0].data(), sequence[1].data(), sequence[2].data(), sequence[3].data()});
  const double lagSeconds = Seconds(start);
  ok &= Report("lag (percentage points)", std::fabs(lag.lagPercent - 100.0 * model.lag), 0.2, "pp", lagSeconds);
  ok &= Report("ghost (percentage points)", std::fabs(lag.ghostPercent + 100.0 * sim::TrueGhostContrast(model)), 0.2, "pp", 0.0);

  std::vector<std::vector<uint16_t>> darks;
  for (uint32_t k = 0; k < 8; ++k) darks.push_back(sim::RenderDark(model, seed, 200 + k));
  start = std::chrono::steady_clock::now();
  const DarkResult dark = MeasureDark({darks[0].data(), darks[1].data(), darks[2].data(), darks[3].data(), darks[4].data(),
                                       darks[5].data(), darks[6].data(), darks[7].data()});
  const double darkSeconds = Seconds(start);
  const double temporalTruth = std::sqrt(model.electronicNoise * model.electronicNoise + 1.0 / 12.0);
  ok &= Report("dark temporal noise (rel)", std::fabs(dark.temporalNoise / temporalTruth - 1.0), 0.02, "", darkSeconds);
  ok &= Report("dark fixed pattern (rel)", std::fabs(dark.fixedPatternNoise / model.fixedPatternNoise - 1.0), 0.05, "", 0.0);
  return ok ? 0 : 1;
}
