#include "network/outbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "peers.h"
#include "test_images.h"

namespace tavrix_tool {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStationAe = "STATION";
// Short, so that a peer that fails costs the test little.
constexpr NetworkTimeouts kTimeouts{5, 5, 5};

class OutboxTest : public ::testing::Test {
 protected:
  OutboxTest() : pacs_(folder_.Path() + "/pacs", {}), outbox_(folder_.Path() + "/outbox") {}
  void SetUp() override { pacs_.Start(); }

  PeerConnection Connection() const { return {pacs_.Address(), kStationAe, kTimeouts}; }

  // Writes `image` as a source file and puts it in the outbox.
  void Put(const TestImage& image) {
    const std::string source = folder_.Path() + "/" + image.instanceUid + ".source";
    WriteTestImage(source, image);
    ASSERT_EQ(outbox_.Put(source), "");
    sources_[image.instanceUid] = source;
  }

  std::vector<TestImage> PutImages(size_t count, uint16_t size = 64) {
    std::vector<TestImage> images;
    const TestImage first = NewTestImage(size, size);
    for (size_t i = 0; i < count; ++i) {
      TestImage image = first;
      image.instanceUid = TestUid();
      images.push_back(image);
      Put(image);
    }
    return images;
  }

  // Every source put is at the PACS once, in its study and series, with its
  // pixels; and the PACS received each exactly once.
  void ExpectEachAtThePacsOnce() {
    std::map<std::string, int> received;
    for (const std::string& uid : pacs_.Received()) ++received[uid];
    const std::vector<std::string> ids = pacs_.Instances();
    EXPECT_EQ(ids.size(), sources_.size());
    for (const std::string& id : ids) {
      const ObjectFacts stored = ReadObjectFactsFromBytes(pacs_.Rest("/instances/" + id + "/file"));
      SCOPED_TRACE(stored.instanceUid);
      ASSERT_EQ(sources_.count(stored.instanceUid), 1u);
      const ObjectFacts source = ReadObjectFacts(sources_[stored.instanceUid]);
      EXPECT_EQ(JsonString(pacs_.Rest("/instances/" + id + "/study"), "StudyInstanceUID"), source.studyUid);
      EXPECT_EQ(JsonString(pacs_.Rest("/instances/" + id + "/series"), "SeriesInstanceUID"), source.seriesUid);
      EXPECT_TRUE(stored.pixels == source.pixels);
      EXPECT_EQ(received[stored.instanceUid], 1);
    }
    EXPECT_EQ(received.size(), sources_.size());
  }

  TemporaryFolder folder_;
  OrthancPeer pacs_;
  Outbox outbox_;
  std::map<std::string, std::string> sources_;  // by SOP instance UID
};

TEST_F(OutboxTest, DeliversEveryFileOnceIntoItsStudyAndSeriesWithItsPixels) {
  // One study: a full-size image and a small one in a series, and an image
  // for processing, stored in implicit VR, in a second series.
  TestImage full = NewTestImage(3072, 3072);
  TestImage small = full;
  small.instanceUid = TestUid();
  small.rows = 17;
  TestImage processing = full;
  processing.instanceUid = TestUid();
  processing.seriesUid = TestUid();
  processing.forPresentation = false;
  processing.implicitVr = true;
  for (const TestImage& image : {full, small, processing}) Put(image);
  ASSERT_EQ(outbox_.Waiting().size(), 3u);

  std::vector<size_t> done;
  const OutboxReport report = outbox_.Send(Connection(), [&](size_t count, size_t total, const OutboxEntry& entry) {
    EXPECT_EQ(total, 3u);
    EXPECT_EQ(entry.result.outcome, StoreOutcome::kStored) << entry.result.detail;
    done.push_back(count);
  });
  EXPECT_TRUE(report.AllSent());
  EXPECT_EQ(done, (std::vector<size_t>{1, 2, 3}));
  EXPECT_TRUE(outbox_.Waiting().empty());
  ExpectEachAtThePacsOnce();
}

TEST_F(OutboxTest, PacsStoppedMidRunKeepsTheRestAndALaterSendDeliversEachOnce) {
  // Full-size images: the next one is on its way when the PACS goes.
  PutImages(4, 3072);
  const OutboxReport first = outbox_.Send(Connection(), [&](size_t done, size_t, const OutboxEntry&) {
    if (done == 1) pacs_.Kill();
  });
  EXPECT_FALSE(first.AllSent());
  EXPECT_EQ(first.Count(StoreOutcome::kStored), 1u);
  EXPECT_EQ(first.Count(StoreOutcome::kNotSent), 3u);
  for (size_t i = 1; i < first.entries.size(); ++i) {
    EXPECT_NE(first.entries[i].result.detail.find(FormatNetworkAddress(pacs_.Address())), std::string::npos)
        << first.entries[i].result.detail;
  }
  EXPECT_EQ(outbox_.Waiting().size(), 3u);

  pacs_.Start();
  const OutboxReport second = outbox_.Send(Connection());
  EXPECT_TRUE(second.AllSent());
  EXPECT_EQ(second.entries.size(), 3u);
  EXPECT_TRUE(outbox_.Waiting().empty());
  ExpectEachAtThePacsOnce();
}

TEST_F(OutboxTest, ASecondSendWhileOneRunsSendsNothingAndSaysSo) {
  PutImages(3);
  OutboxReport second;
  const OutboxReport first = outbox_.Send(Connection(), [&](size_t done, size_t, const OutboxEntry&) {
    if (done == 1) second = outbox_.Send(Connection());
  });
  EXPECT_TRUE(first.AllSent());
  EXPECT_FALSE(second.AllSent());
  EXPECT_TRUE(second.entries.empty());
  EXPECT_NE(second.error.find("another"), std::string::npos) << second.error;
  ExpectEachAtThePacsOnce();
}

TEST_F(OutboxTest, UnreachableOrRefusingPacsKeepsEveryFileForALaterSend) {
  PutImages(2);
  struct Case {
    const char* what;
    PeerConnection connection;
    const char* reason;
  };
  PeerConnection nobody = Connection();
  nobody.peer.port = FreeLoopbackPort();
  PeerConnection wrongTitle = Connection();
  wrongTitle.peer.aeTitle = "NOT_THE_PACS";
  // Orthanc accepts the association, then aborts it at the first file from a
  // station it does not know.
  PeerConnection strangeStation = Connection();
  strangeStation.callingAeTitle = "STRANGER";
  const Case cases[] = {
      {"nothing listens", nobody, "cannot be reached"},
      {"unknown called AE title", wrongTitle, "rejected the association"},
      {"unknown station", strangeStation, "ended the association"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const OutboxReport report = outbox_.Send(c.connection);
    EXPECT_FALSE(report.AllSent());
    ASSERT_EQ(report.entries.size(), 2u);
    for (const OutboxEntry& entry : report.entries) {
      EXPECT_EQ(entry.result.outcome, StoreOutcome::kNotSent);
      EXPECT_NE(entry.result.detail.find(c.reason), std::string::npos) << entry.result.detail;
    }
    EXPECT_EQ(outbox_.Waiting().size(), 2u);
  }
  EXPECT_TRUE(pacs_.Instances().empty());
  EXPECT_TRUE(outbox_.Send(Connection()).AllSent());
  ExpectEachAtThePacsOnce();
}

TEST_F(OutboxTest, DamagedFilesAreSetAsideWithTheirReasonAndTheOthersSent) {
  PutImages(2);
  // A file that is no DICOM at all, and one cut short in its pixel data.
  const fs::path outbox(outbox_.Folder());
  std::ofstream(outbox / "notes.dcm") << "not a DICOM file\n";
  const std::string whole = folder_.Path() + "/whole.dcm";
  WriteTestImage(whole, NewTestImage());
  fs::copy_file(whole, outbox / "cut.dcm");
  fs::resize_file(outbox / "cut.dcm", fs::file_size(whole) - 1000);

  const OutboxReport report = outbox_.Send(Connection());
  EXPECT_FALSE(report.AllSent());
  EXPECT_EQ(report.Count(StoreOutcome::kStored), 2u);
  EXPECT_EQ(report.Count(StoreOutcome::kUnreadable), 2u);
  EXPECT_TRUE(outbox_.Waiting().empty());
  for (const char* name : {"notes.dcm", "cut.dcm"}) {
    SCOPED_TRACE(name);
    const fs::path rejected = outbox / Outbox::kRejectedFolder;
    EXPECT_TRUE(fs::exists(rejected / name));
    std::ifstream note(rejected / (std::string(name) + ".reason.txt"));
    std::string reason;
    std::getline(note, reason);
    EXPECT_NE(reason.find("not a readable DICOM file"), std::string::npos) << reason;
  }
  ExpectEachAtThePacsOnce();
}

TEST_F(OutboxTest, PutKeepsOneWholeCopyPerInstanceAndRefusesWhatCannotBeSent) {
  const TestImage image = NewTestImage();
  Put(image);
  Put(image);
  EXPECT_EQ(outbox_.Waiting(), std::vector<std::string>{outbox_.Folder() + "/" + image.instanceUid + ".dcm"});

  const std::string junk = folder_.Path() + "/junk.dcm";
  std::ofstream(junk) << "junk";
  EXPECT_NE(outbox_.Put(junk).find(junk), std::string::npos);
  EXPECT_NE(outbox_.Put(folder_.Path() + "/missing.dcm"), "");
  TestImage nameless = NewTestImage();
  nameless.instanceUid = "";
  const std::string source = folder_.Path() + "/nameless.dcm";
  WriteTestImage(source, nameless);
  EXPECT_NE(outbox_.Put(source).find("SOP"), std::string::npos);
  // Nothing half-written is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(outbox_.Folder()), fs::directory_iterator()), 1);
}

TEST(OutboxFolderTest, AnOutboxThatCannotBeReadIsNeverReportedAllSent) {
  TemporaryFolder folder;
  EXPECT_TRUE(Outbox(folder.Path() + "/not-yet").Send({{"PACS", "127.0.0.1", FreeLoopbackPort()}, "STATION", {}})
                  .AllSent());
  const std::string notAFolder = folder.Path() + "/file";
  std::ofstream(notAFolder) << "x";
  const OutboxReport report = Outbox(notAFolder).Send({{"PACS", "127.0.0.1", FreeLoopbackPort()}, "STATION", {}});
  EXPECT_NE(report.error.find(notAFolder), std::string::npos) << report.error;
  EXPECT_FALSE(report.AllSent());
}

}  // namespace
}  // namespace tavrix_tool
