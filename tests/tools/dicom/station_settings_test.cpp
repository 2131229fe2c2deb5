#include "dicom/station_settings.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace tavrix_tool {
namespace {

// A folder of its own for the test's configuration files.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "station_settings_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TemporaryFolder() { std::filesystem::remove_all(path_); }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

std::string Write(const TemporaryFolder& folder, const std::string& text) {
  const std::string path = folder.Path() + "/station.conf";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

TEST(StationSettingsTest, ReadsEveryKeyOfACommentedFile) {
  TemporaryFolder folder;
  const std::string path = Write(folder,
                                 "\xEF\xBB\xBF# Room 1\r\n"
                                 "uid_root = 1.2.826.0.1.3680043.10.999\n"
                                 "  ae_title=ROOM1  \n"
                                 "pacs = PACS@pacs.example:104   # the PACS\n"
                                 "worklist = RIS@ris.example:107\n"
                                 "\n"
                                 "outbox = /var/spool/tavrix\n"
                                 "station_name = ROOM#1\n"
                                 "manufacturer = Tavrix\n"
                                 "model = 1417 PCI\n"
                                 "panel1.detector_id = PANEL-B\n"
                                 "panel1.serial_number = SN 42\n"
                                 "panel1.response_gain = 12.5\n"
                                 "panel1.response_offset = -3\n"
                                 "target_exposure_index = 250\n");
  StationSettings settings;
  ASSERT_EQ(LoadStationSettings(path, true, settings), "");
  EXPECT_EQ(settings.uidRoot, "1.2.826.0.1.3680043.10.999");
  EXPECT_EQ(settings.aeTitle, "ROOM1");
  ASSERT_TRUE(settings.pacs && settings.worklist);
  EXPECT_EQ(FormatNetworkAddress(*settings.pacs), "PACS@pacs.example:104");
  EXPECT_EQ(settings.worklist->port, 107);
  EXPECT_EQ(settings.outbox, "/var/spool/tavrix");
  EXPECT_EQ(settings.stationName, "ROOM#1");
  EXPECT_EQ(settings.panels[1].detectorId, "PANEL-B");
  EXPECT_EQ(settings.panels[1].deviceSerialNumber, "SN 42");
  ASSERT_TRUE(settings.panels[1].response);
  EXPECT_EQ(settings.panels[1].response->countsPerUGy, 12.5);
  EXPECT_EQ(settings.panels[1].response->offset, -3);
  EXPECT_FALSE(settings.panels[0].response);
  EXPECT_EQ(*settings.targetExposureIndex, 250);
}

TEST(StationSettingsTest, RefusesTheFileNamingTheLineAndTheRule) {
  struct Case {
    const char* text;
    const char* named;
  };
  const Case cases[] = {
      {"# fine\npacs_address = P@h:1\n", ":2: unknown key \"pacs_address\""},
      {"pacs = P@h\n", ":1: pacs: "},
      {"station_name = A NAME LONGER THAN SIXTEEN\n", ":1: station_name: "},
      {"uid_root = 1.2.03\n", ":1: uid_root: "},
      {"ae_title = A\nae_title = B\n", ":2: ae_title is given twice (first on line 1)"},
      {"panel0.response_gain = 0\n", ":1: panel0.response_gain: must be above 0"},
      {"target_exposure_index = 2x\n", ":1: target_exposure_index: \"2x\" is no number"},
      {"panel0.response_gain = 10\n", ":1: panel0.response_gain needs panel0.response_offset too"},
      {"just words\n", ":1: \"just words\" is no \"key = value\" line"},
      {"manufacturer = M\xFCller\n", ":1: manufacturer: invalid UTF-8"},
  };
  TemporaryFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string path = Write(folder, c.text);
    StationSettings settings;
    settings.aeTitle = "UNCHANGED";
    const std::string problem = LoadStationSettings(path, true, settings);
    EXPECT_NE(problem.find(path + c.named), std::string::npos) << problem;
    EXPECT_EQ(settings.aeTitle, "UNCHANGED");
  }
}

TEST(StationSettingsTest, AMissingFileIsAnErrorOnlyWhenNamed) {
  StationSettings settings;
  EXPECT_EQ(LoadStationSettings("/nonexistent/station.conf", false, settings), "");
  EXPECT_EQ(settings.aeTitle, "TAVRIX");
  EXPECT_NE(LoadStationSettings("/nonexistent/station.conf", true, settings), "");
}

}  // namespace
}  // namespace tavrix_tool
