#include "numeric/qsort.h"

namespace numeric {
namespace {

// One sort run: positions are relative to base; the events see base + position.
class Run {
 public:
  Run(TQSort& sender, const TCompareProc& compare, const TSwapProc& swap, int32_t base)
      : sender_(sender), compare_(compare), swap_(swap), base_(base) {}

  void Sort(int32_t l, int32_t r) {
    // The smaller part recurses, the larger part loops: the depth stays below log2(count) + 1.
    do {
      int32_t i = l;
      int32_t j = r;
      // The pivot item stays in the collection; p follows it when it is exchanged.
      int32_t p = l + (r - l) / 2;
      do {
        while (Compare(i, p) < 0) ++i;
        while (Compare(p, j) < 0) --j;
        if (i <= j) {
          Exchange(i, j);
          if (p == i) {
            p = j;
          } else if (p == j) {
            p = i;
          }
          ++i;
          --j;
        }
      } while (i <= j);
      if (j - l > r - i) {
        if (i < r) Sort(i, r);
        r = j;
      } else {
        if (l < j) Sort(l, j);
        l = i;
      }
    } while (l < r);
  }

 private:
  int32_t Compare(int32_t p, int32_t q) {
    int32_t result = 0;
    if (compare_) compare_(sender_, p + base_, q + base_, result);
    return result;
  }
  void Exchange(int32_t p, int32_t q) {
    if (swap_) swap_(sender_, p + base_, q + base_);
  }

  TQSort& sender_;
  const TCompareProc& compare_;
  const TSwapProc& swap_;
  int32_t base_;
};

}  // namespace

void TQSort::Sort(int32_t base, int32_t count) {
  if (count <= 1) return;
  Run(*this, on_compare_, on_swap_, base).Sort(0, count - 1);
}

}  // namespace numeric
