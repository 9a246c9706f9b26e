#include "calc/two_threads.h"

#include <atomic>
#include <exception>
#include <thread>

#include "numeric/vector_state.h"

namespace calc {

void ForEachOnTwoThreads(size_t count, bool two, const std::function<void(size_t)>& item) {
  std::atomic<size_t> next{0};
  auto work_on = [&](std::exception_ptr& error) {
    try {
      for (size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) item(i);
    } catch (...) {
      error = std::current_exception();
      next.store(count);
    }
  };
  std::exception_ptr errors[2];
  if (two && count > 1 && std::thread::hardware_concurrency() > 1) {
    std::thread helper([&] {
      numeric::ClearUpperVectorState();
      work_on(errors[1]);
    });
    work_on(errors[0]);
    helper.join();
  } else {
    work_on(errors[0]);
  }
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

}  // namespace calc
