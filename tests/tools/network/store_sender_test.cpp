#include "network/store_sender.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "peers.h"
#include "test_images.h"

namespace tavrix_tool {
namespace {

constexpr const char* kStationAe = "STATION";

// Writes each image as a file; their paths, in order.
std::vector<std::string> WriteImages(const TemporaryFolder& folder, const std::vector<TestImage>& images) {
  std::vector<std::string> paths;
  for (const TestImage& image : images) {
    paths.push_back(folder.Path() + "/" + image.instanceUid + ".dcm");
    WriteTestImage(paths.back(), image);
  }
  return paths;
}

TEST(StoreSenderTest, APacsTakingImplicitVrOnlyGetsEveryFileWithItsPixels) {
  TemporaryFolder folder;
  OrthancPeer::Options options;
  options.implicitVrOnly = true;
  OrthancPeer pacs(folder.Path() + "/pacs", options);
  pacs.Start();
  TestImage presentation = NewTestImage();
  TestImage processing = NewTestImage();
  processing.forPresentation = false;
  const std::vector<std::string> files = WriteImages(folder, {presentation, processing});

  const std::vector<StoreResult> results = StoreFiles({pacs.Address(), kStationAe, {5, 5, 5}}, files);
  ASSERT_EQ(results.size(), 2u);
  for (const StoreResult& result : results) EXPECT_EQ(result.outcome, StoreOutcome::kStored) << result.detail;
  const std::vector<std::string> ids = pacs.Instances();
  ASSERT_EQ(ids.size(), 2u);
  for (const std::string& id : ids) {
    const ObjectFacts stored = ReadObjectFactsFromBytes(pacs.Rest("/instances/" + id + "/file"));
    const std::string& path = stored.instanceUid == presentation.instanceUid ? files[0] : files[1];
    EXPECT_TRUE(stored.pixels == ReadObjectFacts(path).pixels);
    EXPECT_EQ(pacs.Rest("/instances/" + id + "/metadata/TransferSyntax"), "1.2.840.10008.1.2");
  }
}

TEST(StoreSenderTest, AFailureStatusRefusesThatFileAndTheOthersAreStillSentInOrder) {
  TemporaryFolder folder;
  OrthancPeer pacs(folder.Path() + "/pacs", {});
  pacs.Start();
  // Without a series a PACS cannot file an image; Orthanc answers 0xA700.
  TestImage seriesless = NewTestImage();
  seriesless.withoutSeries = true;
  const std::vector<std::string> files = WriteImages(folder, {NewTestImage(), seriesless, NewTestImage()});

  std::vector<size_t> order;
  const std::vector<StoreResult> results =
      StoreFiles({pacs.Address(), kStationAe, {5, 5, 5}}, files,
                 [&](size_t index, const StoreResult&) { order.push_back(index); });
  EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2}));
  ASSERT_EQ(results.size(), 3u);
  EXPECT_EQ(results[0].outcome, StoreOutcome::kStored);
  EXPECT_EQ(results[1].outcome, StoreOutcome::kRefused);
  EXPECT_EQ(results[1].status, 0xA700);
  EXPECT_NE(results[1].detail.find("0xA700"), std::string::npos) << results[1].detail;
  EXPECT_EQ(results[2].outcome, StoreOutcome::kStored);
  EXPECT_EQ(pacs.Instances().size(), 2u);
}

TEST(StoreSenderTest, APeerThatNeverAnswersTimesOutAndNothingIsSent) {
  // A listening socket that nobody serves: the connection opens, and the
  // association request waits in vain.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(silent, 1), 0);
  ASSERT_EQ(getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length), 0);
  TemporaryFolder folder;
  const std::vector<std::string> files = WriteImages(folder, {NewTestImage()});

  const std::vector<StoreResult> results =
      StoreFiles({{"PACS", "127.0.0.1", ntohs(address.sin_port)}, kStationAe, {2, 1, 1}}, files);
  close(silent);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, StoreOutcome::kNotSent);
  EXPECT_NE(results[0].detail.find("did not answer within 1 s"), std::string::npos) << results[0].detail;
}

TEST(StoreSenderTest, AFileThatCannotBeSentIsNamedWithoutAskingAnyPacs) {
  TemporaryFolder folder;
  const std::string empty = folder.Path() + "/empty.dcm";
  std::FILE* file = std::fopen(empty.c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  // Nothing listens there: an attempt to connect would say so instead.
  const std::vector<StoreResult> results =
      StoreFiles({{"PACS", "127.0.0.1", FreeLoopbackPort()}, kStationAe, {5, 5, 5}}, {empty});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].outcome, StoreOutcome::kUnreadable);
  EXPECT_NE(results[0].detail.find("not a readable DICOM file"), std::string::npos) << results[0].detail;
  EXPECT_NE(CheckStorableFile(empty), "");
}

}  // namespace
}  // namespace tavrix_tool
