// What a measurement throws when its input cannot give a result: the reason,
// in words for the user, and whether the input images or an argument are at
// fault (the command exits 1 for the first, 2 for the second).
#pragma once

#include <stdexcept>
#include <string>

namespace tavrix_qa {

class QaError : public std::runtime_error {
 public:
  enum class Kind { kBadImages, kBadArgument };
  QaError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

[[noreturn]] inline void FailImages(const std::string& message) { throw QaError(QaError::Kind::kBadImages, message); }
[[noreturn]] inline void FailArgument(const std::string& message) {
  throw QaError(QaError::Kind::kBadArgument, message);
}

// An air kerma given for a measurement (NNPS, DQE, response) must be a
// number above 0: anything else is the caller's mistake.
inline void RequirePositiveKerma(double kermaUGy) {
  if (!(kermaUGy > 0.0)) FailArgument("the air kerma must be above 0 uGy, not " + std::to_string(kermaUGy));
}

}  // namespace tavrix_qa
