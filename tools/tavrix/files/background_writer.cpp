#include "files/background_writer.h"

#include <utility>

namespace tavrix_tool {

BackgroundWriter::BackgroundWriter() : thread_([this] { Work(); }) {}

BackgroundWriter::~BackgroundWriter() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundWriter::WaitIdle(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return !busy_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundWriter::Submit(std::function<void()> job) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitIdle(lock);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
}

void BackgroundWriter::Finish() {
  std::unique_lock<std::mutex> lock(mutex_);
  WaitIdle(lock);
}

void BackgroundWriter::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    lock.unlock();
    std::exception_ptr failure;
    try {
      job();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace tavrix_tool
