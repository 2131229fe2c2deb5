// The station's DICOM commands end to end, as an operator runs them:
// `tavrix worklist`, `tavrix acquire --worklist ... --send ...` and
// `tavrix send`, against the real worklist and PACS, with the simulated panel.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "peers.h"
#include "test_images.h"

namespace tavrix_tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStationAe = "STATION";
constexpr const char* kAccession = "ACC-7";

struct ToolRun {
  int status = -1;
  std::string output;  // standard output and error
};

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

ToolRun RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string command = program == "bash" ? program : Quoted(program);
  for (const std::string& arg : args) command += " " + Quoted(arg);
  ToolRun run;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ToolRun Tavrix(const std::vector<std::string>& args) { return RunProgram(TAVRIX_TEST_TOOL, args); }

std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error))
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

ScheduledStep Scheduled() {
  ScheduledStep step;
  step.patientName = "Doe^Jane";
  step.patientId = "P-7";
  step.patientBirthDate = "19700215";
  step.patientSex = "F";
  step.accessionNumber = kAccession;
  step.studyInstanceUid = TestUid();
  step.referringPhysicianName = "House^Gregory";
  step.requestedProcedureId = "RP-7";
  step.requestedProcedureDescription = "Chest two views";
  step.stepId = "SPS-7";
  step.stepDescription = "Chest PA";
  step.stepStartDate = "20240301";
  step.stepStartTime = "093000";
  step.stationAeTitle = kStationAe;
  step.modality = "DX";
  return step;
}

// A department's peers and a station configuration naming them.
class StationCommandsTest : public ::testing::Test {
 protected:
  StationCommandsTest()
      : worklist_(folder_.Path() + "/worklist", "WORKLIST"),
        pacs_(folder_.Path() + "/pacs", OrthancPeer::Options{"PACS", kStationAe, false}),
        images_(folder_.Path() + "/images"),
        outbox_(folder_.Path() + "/outbox"),
        config_(folder_.Path() + "/station.conf") {}

  void SetUp() override {
    fs::create_directories(images_);
    WriteWorklistItem(worklist_.ItemFolder() + "/chest.wl", step_);
    worklist_.Start();
    pacs_.Start();
    std::ofstream(config_) << "# the test's station\n"
                           << "ae_title = " << kStationAe << "\n"
                           << "pacs = " << FormatNetworkAddress(pacs_.Address()) << "\n"
                           << "worklist = " << FormatNetworkAddress(worklist_.Address()) << "\n"
                           << "outbox = " << outbox_ << "\n"
                           << "station_name = ROOM 1\n"
                           << "panel0.detector_id = PANEL-A\n"
                           << "panel0.serial_number = SN-0001\n"
                           << "panel0.response_gain = 20\n"
                           << "panel0.response_offset = 100\n"
                           << "target_exposure_index = 250\n";
  }

  // Every DICOM file written is at the PACS once, in one study and its
  // series, with the file's pixels.
  void ExpectFilesAtThePacsOnce(const std::vector<std::string>& files, size_t series) {
    std::map<std::string, std::string> sources;  // instance UID to file
    std::map<std::string, int> received;
    for (const std::string& file : files) sources[ReadObjectFacts(file).instanceUid] = file;
    for (const std::string& uid : pacs_.Received()) ++received[uid];
    const std::vector<std::string> studies = JsonStrings(pacs_.Rest("/studies"));
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(JsonStrings(pacs_.Rest("/series")).size(), series);
    const std::vector<std::string> ids = pacs_.Instances();
    EXPECT_EQ(ids.size(), files.size());
    for (const std::string& id : ids) {
      const ObjectFacts stored = ReadObjectFactsFromBytes(pacs_.Rest("/instances/" + id + "/file"));
      SCOPED_TRACE(stored.instanceUid);
      ASSERT_EQ(sources.count(stored.instanceUid), 1u);
      const ObjectFacts source = ReadObjectFacts(sources[stored.instanceUid]);
      EXPECT_EQ(stored.studyUid, source.studyUid);
      EXPECT_EQ(stored.seriesUid, source.seriesUid);
      EXPECT_TRUE(stored.pixels == source.pixels);
      EXPECT_EQ(received[stored.instanceUid], 1);
    }
    EXPECT_EQ(received.size(), files.size());
  }

  TemporaryFolder folder_;
  ScheduledStep step_ = Scheduled();
  WorklistPeer worklist_;
  OrthancPeer pacs_;
  std::string images_, outbox_, config_;
};

TEST_F(StationCommandsTest, WorklistThenAcquireWithSendFilesOneStudyOfTwoSeries) {
  const ToolRun listed = Tavrix({"worklist", "--config", config_, "--station", kStationAe});
  ASSERT_EQ(listed.status, 0) << listed.output;
  EXPECT_NE(listed.output.find(kAccession), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("Doe^Jane"), std::string::npos) << listed.output;

  const ToolRun acquired =
      Tavrix({"acquire", "--config", config_, "--frames", "2", "--enhance", "5,10,3,10", "--worklist", "default",
              "--accession", kAccession, "--send", "default", "--body-part", "CHEST", "--view-position", "PA",
              "--operator", "Curie^Marie", "-o", images_ + "/chest"});
  ASSERT_EQ(acquired.status, 0) << acquired.output;
  EXPECT_NE(acquired.output.find("4 file(s) sent"), std::string::npos) << acquired.output;
  EXPECT_NE(acquired.output.find("frame 2: exposure index "), std::string::npos) << acquired.output;
  EXPECT_NE(acquired.output.find(", target 250, deviation index "), std::string::npos) << acquired.output;
  EXPECT_TRUE(FilesIn(outbox_, ".dcm").empty());

  const std::vector<std::string> files = FilesIn(images_, ".dcm");
  ASSERT_EQ(files.size(), 4u);
  ExpectFilesAtThePacsOnce(files, 2);
  const std::string study = JsonStrings(pacs_.Rest("/studies"))[0];
  const std::string tags = pacs_.Rest("/studies/" + study);
  EXPECT_EQ(JsonString(tags, "StudyInstanceUID"), step_.studyInstanceUid);
  EXPECT_EQ(JsonString(tags, "AccessionNumber"), kAccession);
  EXPECT_EQ(JsonString(tags, "PatientName"), step_.patientName);

  // The enhanced image of frame 2 refers to the corrected image of frame 2.
  DcmFileFormat corrected, enhanced;
  ASSERT_TRUE(corrected.loadFile((images_ + "/chest_0002.dcm").c_str()).good());
  ASSERT_TRUE(enhanced.loadFile((images_ + "/chest_0002_enhanced.dcm").c_str()).good());
  OFString instance, referenced, number, detector, correctedIndex, enhancedIndex;
  corrected.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, instance);
  corrected.getDataset()->findAndGetOFString(DCM_ExposureIndex, correctedIndex);
  enhanced.getDataset()->findAndGetOFString(DCM_ExposureIndex, enhancedIndex);
  enhanced.getDataset()->findAndGetOFString(DCM_ReferencedSOPInstanceUID, referenced, 0, true);
  enhanced.getDataset()->findAndGetOFString(DCM_InstanceNumber, number);
  enhanced.getDataset()->findAndGetOFString(DCM_DetectorID, detector);
  EXPECT_EQ(referenced, instance);
  EXPECT_EQ(number, "2");
  EXPECT_EQ(detector, "PANEL-A");
  EXPECT_FALSE(correctedIndex.empty());
  EXPECT_EQ(enhancedIndex, correctedIndex);  // the exposure's, measured on the linear image

  std::vector<std::string> check = {TAVRIX_TEST_DCIODVFY_CHECK, "--no-warnings"};
  check.insert(check.end(), files.begin(), files.end());
  const ToolRun validated = RunProgram("bash", check);
  EXPECT_EQ(validated.status, 0) << validated.output;
}

TEST_F(StationCommandsTest, APacsThatIsDownLeavesTheFilesForALaterSendDeliveringEachOnce) {
  pacs_.Stop();
  const ToolRun acquired = Tavrix({"acquire", "--config", config_, "--enhance", "5,10,3,10", "--patient-name",
                                   "Roe^Richard", "--patient-id", "P-8", "--send", "default", "-o",
                                   images_ + "/down"});
  EXPECT_EQ(acquired.status, 3) << acquired.output;
  EXPECT_NE(acquired.output.find("tavrix send --outbox"), std::string::npos) << acquired.output;
  EXPECT_EQ(FilesIn(outbox_, ".dcm").size(), 2u);

  pacs_.Start();
  const ToolRun sent = Tavrix({"send", "--config", config_});
  ASSERT_EQ(sent.status, 0) << sent.output;
  EXPECT_NE(sent.output.find("2/2"), std::string::npos) << sent.output;
  const ToolRun again = Tavrix({"send", "--config", config_});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_TRUE(FilesIn(outbox_, ".dcm").empty());
  ExpectFilesAtThePacsOnce(FilesIn(images_, ".dcm"), 2);
}

TEST_F(StationCommandsTest, NothingIsExposedWhenTheExamCannotBeKnown) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* named;
  };
  const std::string unreachable = "WORKLIST@127.0.0.1:" + std::to_string(FreeLoopbackPort());
  const Case cases[] = {
      {{"--worklist", "default", "--accession", "NO-SUCH"}, 1, "no scheduled step with accession number NO-SUCH"},
      {{"--worklist", unreachable, "--accession", kAccession}, 1, "cannot be reached"},
      {{"--patient-name", std::string(65, 'A')}, 2, "--patient-name: a name group of 65 characters"},
      {{"--patient-id", std::string(200, '1')}, 2, "--patient-id: 200 characters, LO allows 64"},
      {{"--study-description", "Chest\\PA"}, 2, "--study-description: a backslash"},
      {{"--birth-date", "19700231"}, 2, "--birth-date"},
      {{"--sex", "X"}, 2, "--sex: \"X\" is none of M, F, O"},
      {{"--referring-physician", "Dr \xFF"}, 2, "--referring-physician: invalid UTF-8"},
      {{"--uid-root", "1.2.03"}, 2, "--uid-root"},
      {{"--worklist", "default", "--accession", kAccession, "--patient-id", "P-9"}, 2, "--patient-id: the worklist"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    std::vector<std::string> args = {"acquire", "--config", config_, "--send", "default", "-o", images_ + "/never"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ToolRun run = Tavrix(args);
    EXPECT_EQ(run.status, c.status) << run.output;
    EXPECT_NE(run.output.find(c.named), std::string::npos) << run.output;
    EXPECT_TRUE(fs::is_empty(images_));
  }
  EXPECT_TRUE(pacs_.Received().empty());
}

// The data area of a rendered 8-bit picture: its 1st and 99th percentile.
std::pair<int, int> DataAreaPercentiles(const std::string& pgm) {
  std::ifstream file(pgm, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  file >> magic >> width >> height >> maximum;
  file.get();
  EXPECT_EQ(magic, "P5");
  EXPECT_EQ(maximum, 255);
  std::vector<unsigned char> pixels(size_t(width) * size_t(height));
  file.read(reinterpret_cast<char*>(pixels.data()), std::streamsize(pixels.size()));
  std::vector<size_t> histogram(256, 0);
  size_t count = 0;
  for (int r = 40; r < height - 40; ++r)
    for (int c = 40; c < width - 40; ++c)
      if (c < 1280 || c >= 1792) {
        ++histogram[pixels[size_t(r) * size_t(width) + size_t(c)]];
        ++count;
      }
  int low = -1, high = -1;
  size_t seen = 0;
  for (int v = 0; v < 256; ++v) {
    seen += histogram[size_t(v)];
    if (low < 0 && seen > count / 100) low = v;
    if (high < 0 && seen > count - count / 100) high = v;
  }
  return {low, high};
}

TEST_F(StationCommandsTest, RenderedWithTheirOwnWindowBothImagesUseTheGreyRange) {
  const ToolRun acquired = Tavrix({"acquire", "--config", config_, "--format", "dicom", "--enhance", "5,10,3,10",
                                   "-o", images_ + "/shown"});
  ASSERT_EQ(acquired.status, 0) << acquired.output;
  // The enhanced image with the window it carries; the corrected one, for
  // processing, carries none, and is shown as a viewer shows such an image:
  // its range without the extreme values.
  struct Case {
    const char* file;
    const char* window;
  };
  for (const Case& c : {Case{"/shown_0001_enhanced.dcm", "+Wi"}, Case{"/shown_0001.dcm", "+Wn"}}) {
    SCOPED_TRACE(c.file);
    const std::string picture = folder_.Path() + "/rendered.pgm";
    std::vector<std::string> args = {c.window};
    if (std::string(c.window) == "+Wi") args.push_back("1");
    args.insert(args.end(), {images_ + c.file, picture});
    const ToolRun rendered = RunProgram(TAVRIX_TEST_DCM2PNM, args);
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    const auto [low, high] = DataAreaPercentiles(picture);
    EXPECT_GE(high - low, 128) << low << ".." << high;
  }
}

}  // namespace
}  // namespace tavrix_tool
