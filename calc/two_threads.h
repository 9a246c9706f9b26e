#pragma once
// Independent items of work shared by the calling thread and, where the machine has two
// processors, one more.

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace calc {

// Calls item(0) ... item(count - 1), each once: on this thread and, where `two` and the machine
// has two processors or more, on a second thread at once, each thread taking the next item when
// it has finished one. Returns when every item is done. The first exception an item throws ends
// the handing out and is thrown again here.
void ForEachOnTwoThreads(size_t count, bool two, const std::function<void(size_t)>& item);

// The same for work handed out again and again (a sweep's every level): the second thread is
// started once, at the first call that needs it, and waits between calls instead of being
// started and ended at each. Calls come from one thread at a time; the destructor ends the
// second thread.
class TwoThreads {
 public:
  TwoThreads() = default;
  TwoThreads(const TwoThreads&) = delete;
  TwoThreads& operator=(const TwoThreads&) = delete;
  ~TwoThreads();

  void ForEach(size_t count, bool two, const std::function<void(size_t)>& item);

 private:
  void Serve();

  std::mutex mutex_;
  std::condition_variable wake_, done_;
  // The work of the call under way for the second thread, null while there is none.
  const std::function<void()>* job_ = nullptr;
  bool quit_ = false;
  std::thread helper_;
};

}  // namespace calc
