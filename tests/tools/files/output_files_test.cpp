#include "files/output_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/command_line.h"

namespace tavrix_tool {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Put(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class WriteAtomicallyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("output-files-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  // The failure's message, or "" when none.
  static std::string Attempt(const fs::path& path, bool overwrite, const std::function<std::string(const std::string&)>& write) {
    try {
      WriteAtomically(path.string(), overwrite, write);
    } catch (const Failure& failure) {
      return failure.what();
    }
    return "";
  }
  size_t FilesLeft() const { return size_t(std::distance(fs::directory_iterator(folder_), fs::directory_iterator())); }
  fs::path folder_;
};

// Another run finishing the same name while this one writes: its file stays,
// this one's is kept beside it, and the run is told.
TEST_F(WriteAtomicallyTest, NeverReplacesAFileAnotherRunWroteMeanwhile) {
  const fs::path target = folder_ / "P_0001.tif";
  const std::string message = Attempt(target, false, [&](const std::string& temporary) {
    Put(target, "theirs");
    return WriteBytes(temporary, "ours", 4);
  });
  EXPECT_NE(message.find("another run"), std::string::npos) << message;
  EXPECT_EQ(Contents(target), "theirs");
  EXPECT_EQ(Contents(folder_ / "P_0001-2.tif"), "ours");
  EXPECT_EQ(FilesLeft(), 2u);
}

TEST_F(WriteAtomicallyTest, ReplacesOnlyWhenAsked) {
  const fs::path target = folder_ / "map.bin";
  Put(target, "old");
  EXPECT_NE(Attempt(target, false, [](const std::string& t) { return WriteBytes(t, "new", 3); }).find("exists already"),
            std::string::npos);
  EXPECT_EQ(Contents(target), "old");
  EXPECT_EQ(Attempt(target, true, [](const std::string& t) { return WriteBytes(t, "new", 3); }), "");
  EXPECT_EQ(Contents(target), "new");
  EXPECT_EQ(FilesLeft(), 1u);
}

// The temporary name must fit wherever the final one does.
TEST_F(WriteAtomicallyTest, WritesANameOfAnyAllowedLength) {
  const fs::path target = folder_ / (std::string(246, 'n') + ".tif");
  EXPECT_EQ(Attempt(target, false, [](const std::string& t) { return WriteBytes(t, "x", 1); }), "");
  EXPECT_EQ(Contents(target), "x");
  EXPECT_EQ(FilesLeft(), 1u);
}

TEST_F(WriteAtomicallyTest, SaysWhyTheFinishedFileCannotBeMoved) {
  const fs::path target = folder_ / "taken";
  fs::create_directories(target / "inside");
  const std::string message = Attempt(target, true, [](const std::string& t) { return WriteBytes(t, "x", 1); });
  EXPECT_NE(message.find("folder"), std::string::npos) << message;
  EXPECT_EQ(FilesLeft(), 1u);
}

}  // namespace
}  // namespace tavrix_tool
