#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "files/background_writer.h"

namespace {

TEST(BackgroundWriter, RunsJobsInOrderAndHandsAFailureToTheNextCall) {
  std::vector<int> done;
  tavrix_tool::BackgroundWriter writer;
  writer.Submit([&] { done.push_back(1); });
  writer.Submit([] { throw std::runtime_error("disk full"); });
  EXPECT_THROW(writer.Submit([&] { done.push_back(3); }), std::runtime_error);
  writer.Submit([&] { done.push_back(4); });
  writer.Finish();
  EXPECT_EQ(done, (std::vector<int>{1, 4}));
  EXPECT_NO_THROW(writer.Finish());
}

}  // namespace
