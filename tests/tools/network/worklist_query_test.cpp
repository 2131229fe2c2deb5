#include "network/worklist_query.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "peers.h"
#include "test_images.h"

namespace tavrix_tool {
namespace {

constexpr const char* kWorklistAe = "WORKLIST";
constexpr const char* kStationAe = "STATION";

ScheduledStep Step(const std::string& accession, const std::string& date, const std::string& station) {
  ScheduledStep step;
  step.patientName = "Doe^Jane^^Dr";
  step.patientId = "P-" + accession;
  step.patientBirthDate = "19700215";
  step.patientSex = "F";
  step.accessionNumber = accession;
  step.studyInstanceUid = "2.25.1234567890" + std::to_string(accession.size()) + accession.substr(3);
  step.referringPhysicianName = "House^Gregory";
  step.requestedProcedureId = "RP-" + accession;
  step.requestedProcedureDescription = "Chest two views";
  step.stepId = "SPS-" + accession;
  step.stepDescription = "Chest PA";
  step.stepStartDate = date;
  step.stepStartTime = "093000";
  step.stationAeTitle = station;
  step.modality = "DX";
  return step;
}

void ExpectSameStep(const ScheduledStep& got, const ScheduledStep& want) {
  EXPECT_EQ(got.patientName, want.patientName);
  EXPECT_EQ(got.patientId, want.patientId);
  EXPECT_EQ(got.patientBirthDate, want.patientBirthDate);
  EXPECT_EQ(got.patientSex, want.patientSex);
  EXPECT_EQ(got.accessionNumber, want.accessionNumber);
  EXPECT_EQ(got.studyInstanceUid, want.studyInstanceUid);
  EXPECT_EQ(got.referringPhysicianName, want.referringPhysicianName);
  EXPECT_EQ(got.requestedProcedureId, want.requestedProcedureId);
  EXPECT_EQ(got.requestedProcedureDescription, want.requestedProcedureDescription);
  EXPECT_EQ(got.stepId, want.stepId);
  EXPECT_EQ(got.stepDescription, want.stepDescription);
  EXPECT_EQ(got.stepStartDate, want.stepStartDate);
  EXPECT_EQ(got.stepStartTime, want.stepStartTime);
  EXPECT_EQ(got.stationAeTitle, want.stationAeTitle);
  EXPECT_EQ(got.modality, want.modality);
}

std::vector<std::string> Accessions(const WorklistAnswer& answer) {
  std::vector<std::string> numbers;
  for (const ScheduledStep& step : answer.steps) numbers.push_back(step.accessionNumber);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

// One worklist server for the suite, with three scheduled steps.
class WorklistQueryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new TemporaryFolder;
    peer_ = new WorklistPeer(folder_->Path(), kWorklistAe);
    WriteWorklistItem(peer_->ItemFolder() + "/first.wl", First());
    WriteWorklistItem(peer_->ItemFolder() + "/second.wl", Step("ACC2", "20240302", "OTHER"));
    // A name written in Latin-1, as many departments' systems still do.
    ScheduledStep latin = Step("ACC3", "20240303", kStationAe);
    latin.patientName = "M\xFCller^J\xFCrgen";
    WriteWorklistItem(peer_->ItemFolder() + "/latin.wl", latin, "ISO_IR 100");
    peer_->Start();
  }
  static void TearDownTestSuite() {
    delete peer_;
    delete folder_;
  }
  static ScheduledStep First() { return Step("ACC1", "20240301", kStationAe); }

  static PeerConnection Connection() { return {peer_->Address(), kStationAe, {5, 5, 5}}; }

  static TemporaryFolder* folder_;
  static WorklistPeer* peer_;
};
TemporaryFolder* WorklistQueryTest::folder_ = nullptr;
WorklistPeer* WorklistQueryTest::peer_ = nullptr;

TEST_F(WorklistQueryTest, ReturnsEveryFieldOfEachScheduledStep) {
  const WorklistAnswer answer = QueryWorklist(Connection(), {});
  ASSERT_EQ(answer.error, "");
  ASSERT_EQ(Accessions(answer), (std::vector<std::string>{"ACC1", "ACC2", "ACC3"}));
  for (const ScheduledStep& step : answer.steps) {
    if (step.accessionNumber == "ACC1") ExpectSameStep(step, First());
  }
}

TEST_F(WorklistQueryTest, AnswersOnlyWhatTheFilterAsksForAndNothingWhenNothingMatches) {
  struct Case {
    const char* what;
    WorklistFilter filter;
    std::vector<std::string> accessions;
  };
  const Case cases[] = {
      {"date", {"20240301", "", "", "", ""}, {"ACC1"}},
      {"station", {"", "OTHER", "", "", ""}, {"ACC2"}},
      {"accession", {"", "", "ACC3", "", ""}, {"ACC3"}},
      {"patient", {"", "", "", "P-ACC2", ""}, {"ACC2"}},
      {"date and station", {"20240302", kStationAe, "", "", ""}, {}},
      {"no such date", {"20991231", "", "", "", ""}, {}},
      {"no such accession", {"", "", "NOPE", "", ""}, {}},
      {"another modality", {"", "", "", "", "CT"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WorklistAnswer answer = QueryWorklist(Connection(), c.filter);
    EXPECT_EQ(answer.error, "");
    EXPECT_EQ(Accessions(answer), c.accessions);
  }
}

TEST_F(WorklistQueryTest, NamesInTheWorklistsCharacterSetArriveInUtf8) {
  const WorklistAnswer answer = QueryWorklist(Connection(), {"", "", "ACC3", "", ""});
  ASSERT_EQ(answer.error, "");
  ASSERT_EQ(answer.steps.size(), 1u);
  EXPECT_EQ(answer.steps[0].patientName, "M\xC3\xBCller^J\xC3\xBCrgen");
}

TEST_F(WorklistQueryTest, AWorklistThatCannotAnswerIsAnErrorWithNoSteps) {
  struct Case {
    const char* what;
    PeerConnection connection;
    const char* reason;
  };
  PeerConnection wrongTitle = Connection();
  wrongTitle.peer.aeTitle = "NOT_HERE";
  PeerConnection nobody = Connection();
  nobody.peer.port = FreeLoopbackPort();
  const Case cases[] = {
      {"nothing listens", nobody, "cannot be reached"},
      {"unknown called AE title", wrongTitle, "rejected the association"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WorklistAnswer answer = QueryWorklist(c.connection, {});
    EXPECT_NE(answer.error.find(c.reason), std::string::npos) << answer.error;
    EXPECT_NE(answer.error.find(FormatNetworkAddress(c.connection.peer)), std::string::npos) << answer.error;
    EXPECT_TRUE(answer.steps.empty());
  }
}

TEST(WorklistFilterTest, RefusesWhatCannotBeAskedForNamingTheField) {
  struct Case {
    WorklistFilter filter;
    const char* named;
  };
  const Case cases[] = {
      {{"2024-03-01", "", "", "", ""}, "date"},
      {{"20240230", "", "", "", ""}, "date"},
      {{"", "SEVENTEEN_CHARS_A", "", "", ""}, "station"},
      {{"", "", "ACC*", "", ""}, "accession"},
      {{"", "", "SEVENTEEN_CHARS_A", "", ""}, "accession"},
      {{"", "", "", "P\\1", ""}, "patient ID"},
      {{"", "", "", "", "dx"}, "modality"},
  };
  for (const Case& c : cases) {
    const std::string reason = CheckWorklistFilter(c.filter);
    EXPECT_NE(reason.find(c.named), std::string::npos) << c.named << ": " << reason;
    // Refused before anything is asked: no worklist is needed to say so.
    EXPECT_EQ(QueryWorklist({{"NOBODY", "127.0.0.1", FreeLoopbackPort()}, kStationAe, {}}, c.filter).error, reason);
  }
  EXPECT_EQ(CheckWorklistFilter({"20240229", "STATION", "ACC-1", "P 1", "DX"}), "");
}

}  // namespace
}  // namespace tavrix_tool
