#pragma once
// Independent items of work shared by the calling thread and, where the machine has two
// processors, one more.

#include <cstddef>
#include <functional>

namespace calc {

// Calls item(0) ... item(count - 1), each once: on this thread and, where `two` and the machine
// has two processors or more, on a second thread at once, each thread taking the next item when
// it has finished one. Returns when every item is done. The first exception an item throws ends
// the handing out and is thrown again here.
void ForEachOnTwoThreads(size_t count, bool two, const std::function<void(size_t)>& item);

}  // namespace calc
