#include "qa_json.h"

#include <gtest/gtest.h>

#include <cmath>

#include "dqe.h"
#include "qa_error.h"

using namespace tavrix_qa;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(QaJson, WritesTheDocumentedFieldsAndNullForWhatCouldNotBeMeasured) {
  EdgeMtf edge;
  edge.angleDegrees = 2.25;
  edge.mtf = {{0.0, 1.0, 2.0, 3.0, 3.6}, {1.0, 0.8, 0.45, 0.2, 0.12}};  // never falls to 0.1
  NoisePower nnps;
  nnps.average = {{0.5, 1.0}, {2e-5, 1.5e-5}};
  QaJson json(0.139);
  json.AddMtf(edge);
  json.AddNoisePower(nnps, 2.5);
  json.AddDqe(Curve{{0.5, 1.0}, {0.6, 0.5}}, 2.5, kRqa5.name);
  json.AddLag(LagResult{2.0, 0.96, 1400, 1400});
  const std::string text = json.Text();
  for (const char* field : {"\"mtf\": {", "\"frequencies_per_mm\": [0, 1, 2, 3, 3.6]", "\"values\": [1, 0.8, 0.45, 0.2, 0.12]",
                            "\"at_1_per_mm\": 0.8", "\"at_0_5_per_mm\": 0.9", "\"at_nyquist\": 0.12",
                            "\"frequency_at_0_5_per_mm\": 1.85714", "\"frequency_at_0_1_per_mm\": null", "\"nnps\": {",
                            "\"values_mm2\": [2e-05, 1.5e-05]", "\"dqe\": {", "\"beam_quality_table\": \"IEC 62220-1-1:2015\"",
                            "\"first_frame_lag_percent\": 2"})
    EXPECT_TRUE(Has(text, field)) << field << " missing from\n" << text;
  EXPECT_FALSE(Has(text, "nan")) << text;
  EXPECT_EQ(text.front(), '{');
  EXPECT_EQ(text.substr(text.size() - 2), "}\n");
}

TEST(QaJson, ReadsBackWhatALaterMeasurementNeedsAndRefusesAnythingElse) {
  EdgeMtf horizontal, vertical;
  horizontal.angleDegrees = -2.25;
  horizontal.region = {100, 200, 1024, 192};
  horizontal.mtf = {{0.0, 1.0, 2.0}, {1.0, 0.8, NAN}};
  vertical.direction = MtfDirection::kVertical;
  vertical.mtf = {{0.0, 1.0}, {1.0, 0.7}};
  NoisePower nnps;
  nnps.horizontal = {{0.5, 1.0}, {2e-5, 1.5e-5}};
  nnps.vertical = {{0.5, 1.0}, {2.1e-5, 1.6e-5}};
  nnps.average = {{0.5, 1.0}, {2.05e-5, 1.55e-5}};
  nnps.meanSignal = 2500.0;
  nnps.flats = 8;
  nnps.regions = 2816;
  QaJson json(0.139);
  json.AddMtf(horizontal);
  json.AddMtf(vertical, "mtf_vertical");
  json.AddNoisePower(nnps, 2.5);
  json.AddMaps("ab12", "cd34");

  const QaJsonContents back = ReadQaJson(json.Text());
  ASSERT_EQ(back.mtfs.size(), 2u);
  EXPECT_EQ(back.mtfs[0].direction, MtfDirection::kHorizontal);
  EXPECT_EQ(back.mtfs[1].direction, MtfDirection::kVertical);
  EXPECT_DOUBLE_EQ(back.mtfs[0].angleDegrees, -2.25);
  EXPECT_EQ(back.mtfs[0].region.height, 1024);
  EXPECT_EQ(back.mtfs[0].mtf.frequenciesPerMm, horizontal.mtf.frequenciesPerMm);
  EXPECT_TRUE(std::isnan(back.mtfs[0].mtf.values[2]));  // null stays not a number
  ASSERT_TRUE(back.nnps.has_value());
  EXPECT_EQ(back.nnps->vertical.values, nnps.vertical.values);
  EXPECT_EQ(back.nnps->regions, 2816);
  EXPECT_DOUBLE_EQ(back.nnpsKermaUGy, 2.5);
  EXPECT_EQ(back.pixelMapSha256, "ab12");
  EXPECT_EQ(back.gainMapSha256, "cd34");

  EXPECT_TRUE(ReadQaJson("{\n  \"pixel_pitch_mm\": 0.139\n}\n").mtfs.empty());
  for (const char* bad : {"", "{\"mtf\": {\"direction\": \"horizontal\"}}", "not json", "{\"nnps\": []}"})
    EXPECT_THROW(ReadQaJson(bad), QaError) << bad;
}
