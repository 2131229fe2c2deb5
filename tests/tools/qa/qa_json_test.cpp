#include "qa_json.h"

#include <gtest/gtest.h>

#include <cmath>

#include "dqe.h"

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
