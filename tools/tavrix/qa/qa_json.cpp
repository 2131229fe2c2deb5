#include "qa_json.h"

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "dqe.h"
#include "qa_error.h"

namespace tavrix_qa {
namespace {

std::string Number(double x) {
  if (!std::isfinite(x)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

std::string Array(const std::vector<double>& values) {
  std::string text = "[";
  for (size_t i = 0; i < values.size(); ++i) text += (i == 0 ? "" : ", ") + Number(values[i]);
  return text + "]";
}

std::string Field(const std::string& name, const std::string& value) { return "    \"" + name + "\": " + value; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }  // names of our own, nothing to escape

std::string Object(const std::string& key, const std::vector<std::string>& fields) {
  std::string text = "  \"" + key + "\": {\n";
  for (size_t i = 0; i < fields.size(); ++i) text += fields[i] + (i + 1 < fields.size() ? ",\n" : "\n");
  return text + "  }";
}

std::string FrequencyName(double f) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", f);
  std::string name = text;
  for (char& c : name)
    if (c == '.') c = '_';
  return name;
}

}  // namespace

QaJson::QaJson(double pitchMm) : body_("  \"pixel_pitch_mm\": " + Number(pitchMm)) {}

void QaJson::AddMtf(const EdgeMtf& edge, const std::string& key) {
  std::vector<std::string> fields = {
      Field("direction", Quoted(DirectionName(edge.direction))),
      Field("edge_angle_degrees", Number(edge.angleDegrees)),
      Field("region", "{\"top\": " + std::to_string(edge.region.top) + ", \"left\": " + std::to_string(edge.region.left) +
                          ", \"height\": " + std::to_string(edge.region.height) +
                          ", \"width\": " + std::to_string(edge.region.width) + "}"),
      Field("frequencies_per_mm", Array(edge.mtf.frequenciesPerMm)),
      Field("values", Array(edge.mtf.values)),
  };
  for (double f : kMtfReportFrequencies) fields.push_back(Field("at_" + FrequencyName(f) + "_per_mm", Number(edge.mtf.At(f))));
  fields.push_back(Field("at_nyquist", Number(edge.mtf.values.empty() ? NAN : edge.mtf.values.back())));
  fields.push_back(Field("nyquist_per_mm", Number(edge.mtf.frequenciesPerMm.empty() ? NAN : edge.mtf.frequenciesPerMm.back())));
  fields.push_back(Field("frequency_at_0_5_per_mm", Number(edge.mtf.FrequencyWhereFallsTo(0.5))));
  fields.push_back(Field("frequency_at_0_1_per_mm", Number(edge.mtf.FrequencyWhereFallsTo(0.1))));
  body_ += ",\n" + Object(key, fields);
}

void QaJson::AddNoisePower(const NoisePower& nnps, double kermaUGy) {
  body_ += ",\n" + Object("nnps", {
                                      Field("air_kerma_ugy", Number(kermaUGy)),
                                      Field("mean_signal", Number(nnps.meanSignal)),
                                      Field("flats", std::to_string(nnps.flats)),
                                      Field("regions", std::to_string(nnps.regions)),
                                      Field("frequencies_per_mm", Array(nnps.average.frequenciesPerMm)),
                                      Field("values_mm2", Array(nnps.average.values)),
                                      Field("horizontal_values_mm2", Array(nnps.horizontal.values)),
                                      Field("vertical_values_mm2", Array(nnps.vertical.values)),
                                  });
}

void QaJson::AddDqe(const Curve& dqe, double kermaUGy, const std::string& beam, const std::string& key) {
  body_ += ",\n" + Object(key, {
                                     Field("beam_quality", Quoted(beam)),
                                     Field("beam_quality_table", Quoted(kBeamQualityEdition)),
                                     Field("air_kerma_ugy", Number(kermaUGy)),
                                     Field("frequencies_per_mm", Array(dqe.frequenciesPerMm)),
                                     Field("values", Array(dqe.values)),
                                     Field("at_0_5_per_mm", Number(dqe.At(0.5))),
                                     Field("at_1_per_mm", Number(dqe.At(1.0))),
                                 });
}

void QaJson::AddResponse(const ResponseFit& fit) {
  std::vector<double> kermas, signals;
  for (const ResponsePoint& p : fit.points) {
    kermas.push_back(p.kermaUGy);
    signals.push_back(p.meanSignal);
  }
  body_ += ",\n" + Object("response", {
                                          Field("air_kerma_ugy", Array(kermas)),
                                          Field("mean_signal", Array(signals)),
                                          Field("offset", Number(fit.conversion.offset)),
                                          Field("counts_per_ugy", Number(fit.conversion.countsPerUGy)),
                                          Field("r_squared", Number(fit.rSquared)),
                                          Field("largest_relative_residual", Number(fit.largestRelativeResidual)),
                                      });
}

void QaJson::AddLag(const LagResult& lag) {
  body_ += ",\n" + Object("lag", {
                                     Field("first_frame_lag_percent", Number(lag.lagPercent)),
                                     Field("ghost_percent", Number(lag.ghostPercent)),
                                     Field("exposed_rows", std::to_string(lag.exposedRows)),
                                     Field("covered_rows", std::to_string(lag.coveredRows)),
                                 });
}

void QaJson::AddDark(const DarkResult& dark) {
  body_ += ",\n" + Object("dark", {
                                      Field("frames", std::to_string(dark.frames)),
                                      Field("mean", Number(dark.mean)),
                                      Field("temporal_noise", Number(dark.temporalNoise)),
                                      Field("fixed_pattern_noise", Number(dark.fixedPatternNoise)),
                                  });
}

void QaJson::AddMaps(const std::string& pixelMapSha256, const std::string& gainMapSha256) {
  body_ += ",\n" + Object("maps", {
                                      Field("pixel_map_sha256", Quoted(pixelMapSha256)),
                                      Field("gain_map_sha256", Quoted(gainMapSha256)),
                                  });
}

std::string QaJson::Text() const { return "{\n" + body_ + "\n}\n"; }

namespace {

using Json = nlohmann::ordered_json;  // the keys in the order written

// A number of the file, NaN for null.
double NumberOf(const Json& value) { return value.is_number() ? value.get<double>() : NAN; }

std::vector<double> NumbersOf(const Json& object, const char* key) {
  std::vector<double> values;
  for (const Json& value : object.at(key)) values.push_back(NumberOf(value));
  return values;
}

Curve CurveOf(const Json& object, const char* frequencies, const char* values) {
  Curve curve{NumbersOf(object, frequencies), NumbersOf(object, values)};
  if (curve.frequenciesPerMm.size() != curve.values.size())
    FailImages(std::string("qa.json: ") + values + " and " + frequencies + " differ in length");
  return curve;
}

EdgeMtf MtfOf(const Json& object) {
  EdgeMtf edge;
  const std::string direction = object.at("direction").get<std::string>();
  edge.direction = direction == DirectionName(MtfDirection::kVertical) ? MtfDirection::kVertical : MtfDirection::kHorizontal;
  edge.angleDegrees = NumberOf(object.at("edge_angle_degrees"));
  const Json& region = object.at("region");
  edge.region = {region.at("top").get<int32_t>(), region.at("left").get<int32_t>(), region.at("height").get<int32_t>(),
                 region.at("width").get<int32_t>()};
  edge.mtf = CurveOf(object, "frequencies_per_mm", "values");
  return edge;
}

NoisePower NoisePowerOf(const Json& object) {
  NoisePower nnps;
  nnps.average = CurveOf(object, "frequencies_per_mm", "values_mm2");
  nnps.horizontal = CurveOf(object, "frequencies_per_mm", "horizontal_values_mm2");
  nnps.vertical = CurveOf(object, "frequencies_per_mm", "vertical_values_mm2");
  nnps.meanSignal = NumberOf(object.at("mean_signal"));
  nnps.flats = object.at("flats").get<int32_t>();
  nnps.regions = object.at("regions").get<int32_t>();
  return nnps;
}

}  // namespace

QaJsonContents ReadQaJson(const std::string& text) {
  QaJsonContents contents;
  try {
    const Json file = Json::parse(text);
    for (const auto& [key, value] : file.items())
      if (key.rfind("mtf", 0) == 0) contents.mtfs.push_back(MtfOf(value));
    if (file.contains("nnps")) {
      contents.nnps = NoisePowerOf(file.at("nnps"));
      contents.nnpsKermaUGy = NumberOf(file.at("nnps").at("air_kerma_ugy"));
    }
    if (file.contains("maps")) {
      contents.pixelMapSha256 = file.at("maps").at("pixel_map_sha256").get<std::string>();
      contents.gainMapSha256 = file.at("maps").at("gain_map_sha256").get<std::string>();
    }
  } catch (const Json::exception& error) {
    FailImages(std::string("not a qa.json of this tool: ") + error.what());
  }
  return contents;
}

}  // namespace tavrix_qa
