#include "dicom/value_checks.h"

#include <gtest/gtest.h>

namespace tavrix_tool {
namespace {

TEST(ValueChecksTest, EachVrKeepsItsLengthCharactersAndForm) {
  struct Case {
    Vr vr;
    std::string value;
    const char* rule;  // "" when the value fits, else a part of the refusal
  };
  const Case cases[] = {
      {Vr::kPN, "Doe^Jane^^Dr^", ""},
      {Vr::kPN, std::string(64, 'A') + "=" + std::string(64, 'B'), ""},
      {Vr::kPN, std::string(65, 'A'), "group of 65 characters"},
      {Vr::kPN, "A=B=C=D", "4 groups"},
      {Vr::kPN, "A^B^C^D^E^F", "6 components"},
      {Vr::kPN, "Doe\\Jane", "backslash"},
      {Vr::kLO, std::string(64, 'x'), ""},
      {Vr::kLO, std::string(65, 'x'), "65 characters, LO allows 64"},
      {Vr::kLO, "tab\there", "control character"},
      {Vr::kSH, std::string(17, 'x'), "SH allows 16"},
      {Vr::kCS, "CHEST_PA 2", ""},
      {Vr::kCS, "chest", "upper-case"},
      {Vr::kDA, "20240229", ""},
      {Vr::kDA, "20230229", "28 days"},
      {Vr::kDA, "2024-02-01", "YYYYMMDD"},
      {Vr::kDA, "20241301", "YYYYMMDD"},
      {Vr::kST, "line one\r\nline two \\ with a backslash", ""},
      {Vr::kST, std::string(1025, 'x'), "ST allows 1024"},
      {Vr::kAE, "STATION_1", ""},
      {Vr::kAE, "   ", "only spaces"},
      {Vr::kAE, "St\xC3\xA4tion", "beyond ASCII"},
      {Vr::kUI, "1.2.840.10008.1.2", ""},
      {Vr::kUI, "1.02.3", "leading zero"},
      {Vr::kUI, "1..3", "empty component"},
      {Vr::kUI, "1.2.a", "digits and dots"},
      {Vr::kLO, "M\xC3\xBCller", ""},
      {Vr::kLO, "M\xFCller", "invalid UTF-8"},          // Latin-1, not UTF-8
      {Vr::kLO, "\xC0\xAF", "invalid UTF-8"},           // an overlong '/'
      {Vr::kLO, "\xED\xA0\x80", "invalid UTF-8"},       // a surrogate
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(VrName(c.vr)) + " \"" + c.value.substr(0, 40) + "\"");
    const std::string problem = CheckValue("--field", c.vr, c.value);
    if (*c.rule == '\0') {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_EQ(problem.rfind("--field: ", 0), 0u) << problem;
      EXPECT_NE(problem.find(c.rule), std::string::npos) << problem;
    }
  }
}

TEST(ValueChecksTest, ShortensInTheMiddleWithoutSplittingACharacter) {
  std::string path = "/data/";
  for (int i = 0; i < 400; ++i) path += "\xC3\xA9";  // two bytes each
  path += "/frame.raw";
  for (size_t limit : {size_t(100), size_t(101), size_t(3), size_t(0)}) {
    SCOPED_TRACE(limit);
    const std::string shortened = ShortenMiddle(path, limit);
    EXPECT_LE(shortened.size(), limit);
    EXPECT_EQ(CheckUtf8(shortened), "");
    if (limit >= 100) {
      EXPECT_NE(shortened.find("..."), std::string::npos);
      EXPECT_EQ(shortened.substr(shortened.size() - 10), "/frame.raw");
    }
  }
  EXPECT_EQ(ShortenMiddle("short", 10), "short");
}

}  // namespace
}  // namespace tavrix_tool
