// tavrix qa: the physicist's measurements of a panel (presampled MTF, NNPS,
// DQE, response, lag, dark noise) from stored raw frames corrected with the
// panel's maps, each written as DIR/qa.json and DIR/report.html.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "cli/usage_facts.h"
#include "commands/commands.h"
#include "files/image_files.h"
#include "files/map_files.h"
#include "system/native_paths.h"
#include "files/output_files.h"
#include "files/raw_frames.h"
#include "qa/dark.h"
#include "qa/dqe.h"
#include "qa/lag.h"
#include "qa/noise_power.h"
#include "qa/qa_error.h"
#include "qa/qa_json.h"
#include "qa/response.h"
#include "qa/slanted_edge.h"
#include "reports/html_page.h"
#include "reports/plot.h"
#include "tavrix_internal.h"

namespace tavrix_tool {

namespace {

using Image = std::vector<uint16_t>;
using tavrix_qa::QaError;

const std::string kUsage =
    "usage: tavrix qa mtf --edge FILE... MAPS [--pitch MM] [--force] -o DIR\n"
    "       tavrix qa nps --flats FILE... --kerma UGY [--dark-level COUNTS] MAPS [--pitch MM] [--force] -o DIR\n"
    "       tavrix qa dqe --mtf DIR --nps DIR --kerma UGY [--beam RQA5] [--force] -o DIR\n"
    "       tavrix qa response --flats-at UGY=FILE... MAPS [--force] -o DIR\n"
    "       tavrix qa lag --sequence FILE MAPS [--force] -o DIR\n"
    "       tavrix qa dark --darks FILE... MAPS [--force] -o DIR\n"
    "MAPS:  --pixel-map FILE --gain-map FILE\n"
    "\n"
    "Measures the panel from stored raw frames (files of one or more frames of " + Grouped(tavrix::kRawFrameBytes) + "\n"
    "bytes), each read out and corrected with the panel's maps as `tavrix correct` does,\n"
    "and writes DIR/qa.json (docs/qa.md names its fields) and DIR/report.html with its plots.\n"
    "\n"
    "  mtf       presampled MTF by the slanted-edge method; one or two edge frames (an\n"
    "            almost vertical edge gives the MTF along the rows, an almost horizontal\n"
    "            one along the columns), each 1 to 10 degrees off the axis\n"
    "  nps       normalised noise power spectrum of flat frames taken at --kerma uGy;\n"
    "            --dark-level is the response's offset in counts (0)\n"
    "  dqe       DQE from the qa.json of `qa mtf` and of `qa nps` (same maps), with the\n"
    "            beam quality's squared signal-to-noise per uGy (IEC 62220-1-1:2015)\n"
    "  response  mean signal against air kerma: each --flats-at names the kerma of a file's\n"
    "            frames; at least 3 different kermas\n"
    "  lag       lag and ghost from a file of four frames: dark, a band exposed, dark, flat\n"
    "  dark      mean, temporal and fixed-pattern noise of dark frames\n"
    "\n"
    "  --pitch MM   pixel pitch (0.139)\n"
    "  --force      replace DIR/qa.json and DIR/report.html\n"
    "\n"
    "Exit status: 0 measured; 1 frames or files that give no result (no edge, a clipped or\n"
    "empty region, too few frames, results from two panels' maps), each with the reason;\n"
    "2 wrong usage (a kerma missing or not above 0).\n";

const char* const kJsonName = "qa.json";
const char* const kReportName = "report.html";

constexpr size_t kMaxEdges = 2;
constexpr double kMinPitchMm = 0.01, kMaxPitchMm = 1.0;
constexpr double kMaxKermaUGy = 1e6;
constexpr double kKermaAgreement = 1e-3;  // the DQE's kerma against the NNPS's, relative

// The plots.
constexpr int32_t kPlotWidth = 640;
constexpr int32_t kPlotHeight = 320;
constexpr Rgb kPaper{250, 250, 250};
constexpr Rgb kInk{60, 60, 60};
constexpr Rgb kTraces[] = {{20, 60, 200}, {210, 60, 20}, {20, 150, 60}};
constexpr const char* kTraceColourNames[] = {"blue", "red", "green"};
const std::string kFrequencyTitle = "spatial frequency (cycles/mm)";

// ---- inputs ----

// The maps the frames are corrected with, and their digests for qa.json.
struct Correction {
  tavrix::internal::PanelMaps maps;
  std::string pixelSha256, gainSha256;
};

std::unique_ptr<Correction> ReadCorrection(const Arguments& arguments) {
  if (!arguments.Has("--pixel-map") || !arguments.Has("--gain-map"))
    throw UsageError("--pixel-map and --gain-map are required: the frames are corrected with the panel's maps");
  auto correction = std::make_unique<Correction>();
  ReadPanelMaps(arguments.Value("--pixel-map"), arguments.Value("--gain-map"), correction->maps);
  correction->pixelSha256 = Sha256(correction->maps.PixelMap(), tavrix::kPixelMapBytes);
  correction->gainSha256 = Sha256(correction->maps.GainMap(), tavrix::kGainMapBytes);
  return correction;
}

// Every frame of `files`, read out and corrected.
std::vector<Image> CorrectedFrames(const std::vector<std::string>& files, const Correction& correction) {
  const std::vector<uint64_t> counts = RawFrameCounts(files);
  std::vector<Image> images;
  ReadRawFrames(files, counts, [&](const std::string&, uint64_t, const uint8_t* frame) {
    images.emplace_back(tavrix::kImagePixels);
    tavrix::internal::ReadOut(frame, images.back().data());
    tavrix::internal::Correct(images.back().data(), correction.maps);
    return true;
  });
  return images;
}

std::vector<const uint16_t*> Views(const std::vector<Image>& images) {
  std::vector<const uint16_t*> views;
  for (const Image& image : images) views.push_back(image.data());
  return views;
}

double Kerma(const Arguments& arguments, const std::string& option) {
  if (!arguments.Has(option)) throw UsageError(option + " UGY is required: the air kerma at the panel");
  return arguments.NumberValue(option, 0.0, 0.0, kMaxKermaUGy);
}

std::string ReadText(const std::string& path) {
  std::ifstream file(FsPath(path), std::ios::binary);
  if (!file) throw Failure(path + ": cannot be read (made by `tavrix qa`?)");
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

tavrix_qa::QaJsonContents ReadResults(const std::string& folder) {
  const std::string path = folder + "/" + kJsonName;
  try {
    return tavrix_qa::ReadQaJson(ReadText(path));
  } catch (const QaError& error) {
    throw Failure(path + ": " + error.what());
  }
}

// ---- the report ----

struct Series {
  std::string name;
  const tavrix_qa::Curve* curve;
};

// One chart of curves against spatial frequency, from 0 to the highest
// frequency measured; the y axis from 0 to the largest value.
Picture CurvePlot(const std::vector<Series>& series, const std::string& yTitle) {
  double highFrequency = 0.0, highValue = 0.0;
  for (const Series& s : series)
    for (size_t i = 0; i < s.curve->values.size(); ++i)
      if (std::isfinite(s.curve->values[i])) {
        highFrequency = std::fmax(highFrequency, s.curve->frequenciesPerMm[i]);
        highValue = std::fmax(highValue, s.curve->values[i]);
      }
  Plot plot(kPlotWidth, kPlotHeight, {{0.0, highFrequency > 0 ? highFrequency : 1.0}, kFrequencyTitle},
            {{0.0, highValue > 0 ? highValue * 1.05 : 1.0}, yTitle}, kPaper, kInk);
  for (size_t k = 0; k < series.size(); ++k) plot.Polyline(series[k].curve->frequenciesPerMm, series[k].curve->values,
                                                       kTraces[k % std::size(kTraces)]);
  return plot.Finish();
}

std::string Legend(const std::vector<Series>& series) {
  std::string text;
  for (size_t k = 0; k < series.size(); ++k)
    text += (k ? ", " : "") + series[k].name + " " + kTraceColourNames[k % std::size(kTraceColourNames)];
  return text;
}

std::string Number(double x, int decimals) {
  if (!std::isfinite(x)) return "not reached";
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, x);
  return text;
}

class Report {
 public:
  Report(std::string folder, std::string title) : folder_(std::move(folder)), page_(title) {
    const std::time_t now = std::time(nullptr);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S %Z", std::localtime(&now));
    page_.Paragraph(std::string("Measured ") + stamp + ". The fields of qa.json beside this page are described in docs/qa.md.");
  }
  HtmlPage& Page() { return page_; }
  void Chart(const std::string& file, const std::vector<Series>& series, const std::string& yTitle,
            const std::string& caption) {
    const Picture picture = CurvePlot(series, yTitle);
    WriteAtomically(folder_ + "/" + file, true, [&](const std::string& temporary) {
      return WritePngRgb(temporary, picture.rgb.data(), picture.width, picture.height);
    });
    page_.Figure(file, caption + (series.size() > 1 ? " (" + Legend(series) + ")" : ""));
  }
  void Maps(const std::string& pixelSha256, const std::string& gainSha256) {
    page_.Heading("Maps");
    page_.Table({"map", "SHA-256"}, {{"pixel map", pixelSha256}, {"gain map", gainSha256}});
  }

 private:
  std::string folder_;
  HtmlPage page_;
};

void AddMtf(Report& report, const std::vector<tavrix_qa::EdgeMtf>& edges) {
  HtmlPage& page = report.Page();
  page.Heading("Presampled MTF");
  std::vector<HtmlPage::Row> rows;
  std::vector<Series> series;
  for (const tavrix_qa::EdgeMtf& edge : edges) {
    const tavrix_qa::Curve& mtf = edge.mtf;
    rows.push_back({tavrix_qa::DirectionName(edge.direction), Number(edge.angleDegrees, 2), Number(mtf.At(0.5), 3),
                    Number(mtf.At(1.0), 3), Number(mtf.At(2.0), 3), Number(mtf.At(3.0), 3),
                    Number(mtf.values.empty() ? NAN : mtf.values.back(), 3), Number(mtf.FrequencyWhereFallsTo(0.5), 2),
                    Number(mtf.FrequencyWhereFallsTo(0.1), 2)});
    series.push_back({tavrix_qa::DirectionName(edge.direction), &edge.mtf});
  }
  page.Table({"direction", "edge angle (degrees)", "at 0.5 /mm", "at 1 /mm", "at 2 /mm", "at 3 /mm", "at Nyquist",
              "MTF 0.5 at (/mm)", "MTF 0.1 at (/mm)"},
             rows);
  report.Chart("mtf.png", series, "mtf", "Presampled MTF against spatial frequency, 0 to the Nyquist frequency");
}

void AddNoisePower(Report& report, const tavrix_qa::NoisePower& nnps, double kermaUGy) {
  HtmlPage& page = report.Page();
  page.Heading("Normalised noise power spectrum");
  page.Table({"air kerma (uGy)", "mean signal (counts)", "flats", "regions of 256 x 256"},
             {{Number(kermaUGy, 3), Number(nnps.meanSignal, 1), std::to_string(nnps.flats), std::to_string(nnps.regions)}});
  report.Chart("nnps.png", {{"along the rows", &nnps.horizontal}, {"along the columns", &nnps.vertical}},
              "nnps (square mm)", "NNPS against spatial frequency, the axis itself left out");
}

void AddDqe(Report& report, const std::vector<std::pair<std::string, tavrix_qa::Curve>>& dqes, double kermaUGy,
            const tavrix_qa::BeamQuality& beam) {
  HtmlPage& page = report.Page();
  page.Heading("Detective quantum efficiency");
  std::vector<HtmlPage::Row> rows;
  std::vector<Series> series;
  for (const auto& [direction, dqe] : dqes) {
    rows.push_back({direction, Number(dqe.At(0.5), 3), Number(dqe.At(1.0), 3), Number(dqe.At(2.0), 3)});
    series.push_back({direction, &dqe});
  }
  page.Paragraph(std::string("Beam quality ") + beam.name + ", " + Number(beam.quantaPerMm2PerUGy, 0) +
                 " quanta per square mm per uGy (" + tavrix_qa::kBeamQualityEdition + "), air kerma " +
                 Number(kermaUGy, 3) + " uGy.");
  page.Table({"direction", "at 0.5 /mm", "at 1 /mm", "at 2 /mm"}, rows);
  report.Chart("dqe.png", series, "dqe", "DQE against spatial frequency");
}

// ---- writing ----

void PrepareFolder(const std::string& folder, bool force) {
  std::error_code error;
  if (!force)
    for (const char* name : {kJsonName, kReportName})
      if (std::filesystem::exists(folder + "/" + name, error))
        throw Failure(folder + " holds " + name + " already; --force replaces it");
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) throw Failure(folder + ": cannot make the folder");
}

// Both records name the maps the frames were corrected with, then are written.
void Finish(const std::string& folder, tavrix_qa::QaJson& json, Report& report, const std::string& pixelMapSha256,
            const std::string& gainMapSha256) {
  json.AddMaps(pixelMapSha256, gainMapSha256);
  report.Maps(pixelMapSha256, gainMapSha256);
  const std::string text = json.Text();
  WriteBytesAtomically(folder + "/" + kJsonName, true, text.data(), text.size());
  report.Page().Write(folder + "/" + kReportName);
  std::printf("results: %s/%s; report: %s/%s\n", folder.c_str(), kJsonName, folder.c_str(), kReportName);
}

// ---- the measurements ----

struct Context {
  const Arguments& arguments;
  std::string folder;
  double pitchMm;
  bool force;
};

int MeasureMtf(const Context& context) {
  const std::vector<std::string> files = context.arguments.List("--edge");
  if (files.empty()) throw UsageError("--edge FILE... is required");
  const auto correction = ReadCorrection(context.arguments);
  PrepareFolder(context.folder, context.force);
  const std::vector<Image> frames = CorrectedFrames(files, *correction);
  if (frames.size() > kMaxEdges)
    throw Failure(std::to_string(frames.size()) + " edge frames given; one or two (one for each direction)");
  std::vector<tavrix_qa::EdgeMtf> edges;
  for (const Image& frame : frames) edges.push_back(tavrix_qa::MeasurePresampledMtf(frame.data(), {context.pitchMm}));
  if (edges.size() == 2 && edges[0].direction == edges[1].direction)
    throw Failure(std::string("both edges give the MTF ") + tavrix_qa::DirectionName(edges[0].direction) +
                  "; the second edge must lie across the first");
  tavrix_qa::QaJson json(context.pitchMm);
  for (size_t k = 0; k < edges.size(); ++k)
    json.AddMtf(edges[k], k == 0 ? "mtf" : std::string("mtf_") + tavrix_qa::DirectionName(edges[k].direction));
  Report report(context.folder, "Presampled MTF");
  AddMtf(report, edges);
  Finish(context.folder, json, report, correction->pixelSha256, correction->gainSha256);
  return 0;
}

int MeasureNps(const Context& context) {
  const std::vector<std::string> files = context.arguments.List("--flats");
  if (files.empty()) throw UsageError("--flats FILE... is required");
  const double kerma = Kerma(context.arguments, "--kerma");
  tavrix_qa::RequirePositiveKerma(kerma);
  tavrix_qa::NoiseOptions options;
  options.pitchMm = context.pitchMm;
  options.darkLevel = context.arguments.NumberValue("--dark-level", 0.0, 0.0, tavrix::kMaxPixelValue);
  const auto correction = ReadCorrection(context.arguments);
  PrepareFolder(context.folder, context.force);
  const std::vector<Image> flats = CorrectedFrames(files, *correction);
  const tavrix_qa::NoisePower nnps = tavrix_qa::MeasureNoisePower(Views(flats), options);
  tavrix_qa::QaJson json(context.pitchMm);
  json.AddNoisePower(nnps, kerma);
  Report report(context.folder, "Noise power spectrum");
  AddNoisePower(report, nnps, kerma);
  Finish(context.folder, json, report, correction->pixelSha256, correction->gainSha256);
  return 0;
}

int MeasureDqe(const Context& context) {
  const Arguments& arguments = context.arguments;
  if (!arguments.Has("--mtf") || !arguments.Has("--nps")) throw UsageError("--mtf DIR and --nps DIR are required");
  const double kerma = Kerma(arguments, "--kerma");
  tavrix_qa::RequirePositiveKerma(kerma);
  const tavrix_qa::BeamQuality& beam = tavrix_qa::FindBeamQuality(arguments.Value("--beam", tavrix_qa::kRqa5.name));
  const tavrix_qa::QaJsonContents mtf = ReadResults(arguments.Value("--mtf"));
  const tavrix_qa::QaJsonContents nps = ReadResults(arguments.Value("--nps"));
  if (mtf.mtfs.empty()) throw Failure(arguments.Value("--mtf") + "/" + kJsonName + " holds no MTF (made by `tavrix qa mtf`?)");
  if (!nps.nnps) throw Failure(arguments.Value("--nps") + "/" + kJsonName + " holds no NNPS (made by `tavrix qa nps`?)");
  if (mtf.pixelMapSha256 != nps.pixelMapSha256 || mtf.gainMapSha256 != nps.gainMapSha256)
    throw Failure("the MTF and the NNPS come from frames corrected with different maps: two panels' results "
                  "cannot make one DQE");
  if (std::fabs(kerma / nps.nnpsKermaUGy - 1.0) > kKermaAgreement)
    throw UsageError("--kerma " + Number(kerma, 3) + " uGy, but the NNPS was measured at " +
                     Number(nps.nnpsKermaUGy, 3) + " uGy");
  PrepareFolder(context.folder, context.force);
  tavrix_qa::QaJson json(context.pitchMm);
  std::vector<std::pair<std::string, tavrix_qa::Curve>> dqes;
  for (size_t k = 0; k < mtf.mtfs.size(); ++k) {
    const tavrix_qa::EdgeMtf& edge = mtf.mtfs[k];
    const bool rows = edge.direction == tavrix_qa::MtfDirection::kHorizontal;
    const std::string direction = tavrix_qa::DirectionName(edge.direction);
    dqes.push_back({direction, tavrix_qa::ComputeDqe(edge.mtf, rows ? nps.nnps->horizontal : nps.nnps->vertical, kerma, beam)});
    json.AddMtf(edge, k == 0 ? "mtf" : "mtf_" + direction);
  }
  json.AddNoisePower(*nps.nnps, kerma);
  for (size_t k = 0; k < dqes.size(); ++k) json.AddDqe(dqes[k].second, kerma, beam.name, k == 0 ? "dqe" : "dqe_" + dqes[k].first);
  Report report(context.folder, "Detective quantum efficiency");
  AddDqe(report, dqes, kerma, beam);
  AddMtf(report, mtf.mtfs);
  AddNoisePower(report, *nps.nnps, kerma);
  Finish(context.folder, json, report, mtf.pixelMapSha256, mtf.gainMapSha256);
  return 0;
}

// "UGY=FILE" into its kerma and file.
std::pair<double, std::string> KermaAndFile(const std::string& word) {
  const size_t equals = word.find('=');
  char* end = nullptr;
  const std::string number = word.substr(0, equals);
  const double kerma = std::strtod(number.c_str(), &end);
  if (equals == std::string::npos || number.empty() || *end != '\0' || equals + 1 == word.size())
    throw UsageError("--flats-at takes UGY=FILE, not '" + word + "'");
  tavrix_qa::RequirePositiveKerma(kerma);
  return {kerma, word.substr(equals + 1)};
}

int MeasureResponseCurve(const Context& context) {
  const std::vector<std::string> words = context.arguments.List("--flats-at");
  if (words.empty()) throw UsageError("--flats-at UGY=FILE... is required");
  std::vector<std::pair<double, std::string>> sources;
  for (const std::string& word : words) sources.push_back(KermaAndFile(word));
  const auto correction = ReadCorrection(context.arguments);
  PrepareFolder(context.folder, context.force);
  std::vector<Image> images;
  std::vector<double> kermas;
  for (const auto& [kerma, file] : sources)
    for (Image& image : CorrectedFrames({file}, *correction)) {
      images.push_back(std::move(image));
      kermas.push_back(kerma);
    }
  std::vector<tavrix_qa::KermaFlat> flats;
  for (size_t k = 0; k < images.size(); ++k) flats.push_back({kermas[k], images[k].data()});
  const tavrix_qa::ResponseFit fit = tavrix_qa::MeasureResponse(flats);
  tavrix_qa::QaJson json(context.pitchMm);
  json.AddResponse(fit);
  Report report(context.folder, "Response");
  std::vector<HtmlPage::Row> rows;
  for (const tavrix_qa::ResponsePoint& p : fit.points) rows.push_back({Number(p.kermaUGy, 3), Number(p.meanSignal, 1)});
  report.Page().Heading("Response");
  report.Page().Paragraph("signal = " + Number(fit.conversion.offset, 1) + " + " + Number(fit.conversion.countsPerUGy, 2) +
                          " x K (counts, K in uGy); R squared " + Number(fit.rSquared, 6) +
                          "; largest residual " + Number(100.0 * fit.largestRelativeResidual, 2) +
                          " % of the signal above the offset.");
  report.Page().Table({"air kerma (uGy)", "mean signal (counts)"}, rows);
  Finish(context.folder, json, report, correction->pixelSha256, correction->gainSha256);
  return 0;
}

int MeasureLagSequence(const Context& context) {
  if (!context.arguments.Has("--sequence")) throw UsageError("--sequence FILE is required");
  const auto correction = ReadCorrection(context.arguments);
  PrepareFolder(context.folder, context.force);
  const std::vector<Image> frames = CorrectedFrames({context.arguments.Value("--sequence")}, *correction);
  const tavrix_qa::LagResult lag = tavrix_qa::MeasureLag(Views(frames));
  tavrix_qa::QaJson json(context.pitchMm);
  json.AddLag(lag);
  Report report(context.folder, "Lag");
  report.Page().Heading("Lag and ghost");
  report.Page().Table({"first-frame lag (%)", "ghost (%)", "exposed rows", "covered rows"},
                      {{Number(lag.lagPercent, 3), Number(lag.ghostPercent, 3), std::to_string(lag.exposedRows),
                        std::to_string(lag.coveredRows)}});
  Finish(context.folder, json, report, correction->pixelSha256, correction->gainSha256);
  return 0;
}

int MeasureDarkFrames(const Context& context) {
  const std::vector<std::string> files = context.arguments.List("--darks");
  if (files.empty()) throw UsageError("--darks FILE... is required");
  const auto correction = ReadCorrection(context.arguments);
  PrepareFolder(context.folder, context.force);
  const std::vector<Image> darks = CorrectedFrames(files, *correction);
  const tavrix_qa::DarkResult dark = tavrix_qa::MeasureDark(Views(darks));
  tavrix_qa::QaJson json(context.pitchMm);
  json.AddDark(dark);
  Report report(context.folder, "Dark noise");
  report.Page().Heading("Dark frames");
  report.Page().Table({"frames", "mean (counts)", "temporal noise (counts rms)", "fixed-pattern noise (counts rms)"},
                      {{std::to_string(dark.frames), Number(dark.mean, 2), Number(dark.temporalNoise, 3),
                        Number(dark.fixedPatternNoise, 3)}});
  Finish(context.folder, json, report, correction->pixelSha256, correction->gainSha256);
  return 0;
}

const std::map<std::string, int (*)(const Context&)> kMeasurements = {
    {"mtf", MeasureMtf},   {"nps", MeasureNps},         {"dqe", MeasureDqe},
    {"lag", MeasureLagSequence}, {"dark", MeasureDarkFrames}, {"response", MeasureResponseCurve},
};

int Run(const std::vector<std::string>& words) {
  if (words.empty()) throw UsageError("say which measurement: mtf, nps, dqe, response, lag or dark");
  const auto measurement = kMeasurements.find(words[0]);
  if (measurement == kMeasurements.end()) throw UsageError("unknown measurement '" + words[0] + "'");
  const Arguments arguments(std::vector<std::string>(words.begin() + 1, words.end()),
                            {{"-o", true},
                             {"--pixel-map", true},
                             {"--gain-map", true},
                             {"--pitch", true},
                             {"--force", false},
                             {"--edge", true, true},
                             {"--flats", true, true},
                             {"--darks", true, true},
                             {"--flats-at", true, true},
                             {"--sequence", true},
                             {"--kerma", true},
                             {"--dark-level", true},
                             {"--mtf", true},
                             {"--nps", true},
                             {"--beam", true}});
  if (!arguments.Positionals().empty()) throw UsageError("'" + arguments.Positionals()[0] + "' belongs to no option");
  if (!arguments.Has("-o")) throw UsageError("-o DIR is required");
  const Context context{arguments, arguments.Value("-o"),
                        arguments.NumberValue("--pitch", tavrix_qa::kDefaultPitchMm, kMinPitchMm, kMaxPitchMm),
                        arguments.Has("--force")};
  try {
    return measurement->second(context);
  } catch (const QaError& error) {
    if (error.kind() == QaError::Kind::kBadArgument) throw UsageError(error.what());
    throw Failure(error.what());
  }
}

}  // namespace

const Command kQaCommand = {"qa", "measure the panel: MTF, noise power, DQE, response, lag, dark noise", kUsage.c_str(),
                            Run};

}  // namespace tavrix_tool
