#include "dqe.h"

#include <gtest/gtest.h>

#include <cmath>

#include "expect_failure.h"
#include "qa_error.h"

using namespace tavrix_qa;

// The DQE against the truth is in noise_power_test.cpp, which has the flats.
TEST(Dqe, IsTheSquaredMtfOverQTimesKermaTimesNnps) {
  const Curve mtf{{0.0, 2.0}, {1.0, 0.6}};
  const Curve nnps{{0.5, 1.0, 3.0}, {2e-5, 1e-5, 1e-5}};
  const Curve dqe = ComputeDqe(mtf, nnps, 2.5, kRqa5);
  ASSERT_EQ(dqe.values.size(), 2u) << "3 per mm lies beyond the MTF";
  EXPECT_DOUBLE_EQ(dqe.values[0], 0.9 * 0.9 / (29653.0 * 2.5 * 2e-5));
  EXPECT_DOUBLE_EQ(dqe.values[1], 0.8 * 0.8 / (29653.0 * 2.5 * 1e-5));
}

TEST(Dqe, RefusesAKermaNotAboveZeroAndAnUnknownBeam) {
  const Curve curve{{0.0, 1.0}, {1.0, 0.5}};
  for (double kerma : {0.0, -2.5, std::nan("")})
    ExpectFailure([&] { ComputeDqe(curve, curve, kerma, kRqa5); }, QaError::Kind::kBadArgument, "above 0");
  ExpectFailure([] { FindBeamQuality("RQA9"); }, QaError::Kind::kBadArgument, "RQA9");
  EXPECT_EQ(FindBeamQuality("RQA5").quantaPerMm2PerUGy, 29653.0);
}
