#pragma once
// TQSort: quicksort over an index range of a collection it never sees; the host compares and
// exchanges items through two events.

#include <cstdint>
#include <functional>

namespace numeric {

class TQSort;
// Sets result < 0 when item i belongs before item j, 0 when equal, > 0 otherwise.
using TCompareProc = std::function<void(TQSort& sender, int32_t i, int32_t j, int32_t& result)>;
using TSwapProc = std::function<void(TQSort& sender, int32_t i, int32_t j)>;

class TQSort {
 public:
  // Sorts the items base .. base + count - 1. Count <= 1 calls no event.
  void Sort(int32_t base, int32_t count);

  void SetOnCompare(TCompareProc f) { on_compare_ = std::move(f); }
  void SetOnSwap(TSwapProc f) { on_swap_ = std::move(f); }

 private:
  TCompareProc on_compare_;
  TSwapProc on_swap_;
};

}  // namespace numeric
