// The measurements' refusals: the kind (bad image or bad argument, exit 1 or
// 2) and the words a user reads.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "qa_error.h"

template <typename F>
void ExpectFailure(F measure, tavrix_qa::QaError::Kind kind, const std::string& words) {
  try {
    measure();
    FAIL() << "expected a failure saying '" << words << "'";
  } catch (const tavrix_qa::QaError& e) {
    EXPECT_EQ(e.kind(), kind) << e.what();
    EXPECT_NE(std::string(e.what()).find(words), std::string::npos) << e.what();
  }
}
