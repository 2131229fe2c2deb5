// Writes files on a second thread, one job at a time, so that the next frame
// is read and corrected while the last one is written. A job's failure
// reaches the caller at the next Submit or at Finish.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tavrix_tool {

class BackgroundWriter {
 public:
  BackgroundWriter();
  ~BackgroundWriter();  // completes the job in hand, never throws
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Waits until the previous job is done (rethrowing its failure), then hands
  // over `job`. The previous job's data may be reused once this returns.
  void Submit(std::function<void()> job);
  // Waits until the last job is done; rethrows its failure.
  void Finish();

 private:
  void WaitIdle(std::unique_lock<std::mutex>& lock);
  void Work();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::thread thread_;
};

}  // namespace tavrix_tool
