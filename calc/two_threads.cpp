#include "calc/two_threads.h"

#include <atomic>
#include <exception>

#include "numeric/vector_state.h"

namespace calc {

namespace {

bool TwoProcessors() {
  static const bool two = std::thread::hardware_concurrency() > 1;
  return two;
}

// Hands out item(0) ... item(count - 1) to the threads that call Take.
class Items {
 public:
  Items(size_t count, const std::function<void(size_t)>& item) : count_(count), item_(item) {}
  void Take(std::exception_ptr& error) {
    try {
      for (size_t i = next_.fetch_add(1); i < count_; i = next_.fetch_add(1)) item_(i);
    } catch (...) {
      error = std::current_exception();
      next_.store(count_);
    }
  }

 private:
  std::atomic<size_t> next_{0};
  const size_t count_;
  const std::function<void(size_t)>& item_;
};

void RethrowFirst(const std::exception_ptr (&errors)[2]) {
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace

void ForEachOnTwoThreads(size_t count, bool two, const std::function<void(size_t)>& item) {
  Items items(count, item);
  std::exception_ptr errors[2];
  if (two && count > 1 && TwoProcessors()) {
    std::thread helper([&] {
      numeric::ClearUpperVectorState();
      items.Take(errors[1]);
    });
    items.Take(errors[0]);
    helper.join();
  } else {
    items.Take(errors[0]);
  }
  RethrowFirst(errors);
}

TwoThreads::~TwoThreads() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  helper_.join();
}

void TwoThreads::Serve() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return quit_ || job_ != nullptr; });
    if (quit_) return;
    const std::function<void()>* job = job_;
    lock.unlock();
    numeric::ClearUpperVectorState();
    (*job)();
    lock.lock();
    job_ = nullptr;
    done_.notify_one();
  }
}

void TwoThreads::ForEach(size_t count, bool two, const std::function<void(size_t)>& item) {
  Items items(count, item);
  std::exception_ptr errors[2];
  if (!(two && count > 1 && TwoProcessors())) {
    items.Take(errors[0]);
    RethrowFirst(errors);
    return;
  }
  if (!helper_.joinable()) helper_ = std::thread([this] { Serve(); });
  const std::function<void()> job = [&] { items.Take(errors[1]); };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = &job;
  }
  wake_.notify_one();
  items.Take(errors[0]);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return job_ == nullptr; });
  }
  RethrowFirst(errors);
}

}  // namespace calc
