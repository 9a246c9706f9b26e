#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "numeric/qsort.h"

namespace {

using numeric::TQSort;

// A host collection sorted through the events, with every index the events saw.
struct Host {
  std::vector<int> items;
  std::vector<int32_t> seen;
  int compares = 0, swaps = 0;
  TQSort sorter;

  explicit Host(std::vector<int> v, bool with_compare = true, bool with_swap = true)
      : items(std::move(v)) {
    if (with_compare) {
      sorter.SetOnCompare([this](TQSort& sender, int32_t i, int32_t j, int32_t& result) {
        EXPECT_EQ(&sender, &sorter);
        EXPECT_EQ(result, 0) << "result must start at 0";
        seen.push_back(i);
        seen.push_back(j);
        ++compares;
        const int a = items.at(static_cast<size_t>(i)), b = items.at(static_cast<size_t>(j));
        result = a < b ? -1 : (a > b ? 1 : 0);
      });
    }
    if (with_swap) {
      sorter.SetOnSwap([this](TQSort& sender, int32_t i, int32_t j) {
        EXPECT_EQ(&sender, &sorter);
        seen.push_back(i);
        seen.push_back(j);
        ++swaps;
        std::swap(items.at(static_cast<size_t>(i)), items.at(static_cast<size_t>(j)));
      });
    }
  }
};

TEST(QSort, SortsRandomAndAwkwardInputs) {
  std::mt19937 rng(12345);
  std::vector<std::vector<int>> inputs = {
      {2, 1},        {1, 2},          {3, 3, 3, 3, 3},        {5, 4, 3, 2, 1, 0},
      {0, 1, 2, 3, 4, 5, 6}, {1, 0, 1, 0, 1, 0, 1, 0}, {9, -1, 9, -1, 4},
  };
  for (int n : {3, 10, 100, 1000, 5000}) {
    std::vector<int> v(static_cast<size_t>(n));
    for (int& x : v) x = static_cast<int>(rng() % 50);  // many equal items
    inputs.push_back(v);
    for (int& x : v) x = static_cast<int>(rng());
    inputs.push_back(v);
  }
  for (const auto& in : inputs) {
    Host h(in);
    h.sorter.Sort(0, static_cast<int32_t>(in.size()));
    auto expected = in;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(h.items, expected) << "size " << in.size();
  }
}

TEST(QSort, BaseOffsetLimitsTheIndicesSeen) {
  // Sort(5, 3) touches only items 5, 6 and 7 and sorts exactly them.
  Host h({10, 9, 8, 7, 6, 5, 4, 3, 2, 1});
  h.sorter.Sort(5, 3);
  ASSERT_FALSE(h.seen.empty());
  const std::set<int32_t> seen(h.seen.begin(), h.seen.end());
  EXPECT_EQ(seen, (std::set<int32_t>{5, 6, 7}));
  EXPECT_EQ(h.items, (std::vector<int>{10, 9, 8, 7, 6, 3, 4, 5, 2, 1}));
}

TEST(QSort, CountsAndMissingEvents) {
  struct Case {
    std::string name;
    std::vector<int> items;
    int32_t count;
    bool with_compare, with_swap;
    bool expect_events;
    std::vector<int> expected;
  };
  const std::vector<Case> cases = {
      {"count 0", {3, 2, 1}, 0, true, true, false, {3, 2, 1}},
      {"count 1", {3, 2, 1}, 1, true, true, false, {3, 2, 1}},
      {"negative count", {3, 2, 1}, -4, true, true, false, {3, 2, 1}},
      {"count 2 sorts", {3, 2, 1}, 2, true, true, true, {2, 3, 1}},
      {"no swap event changes nothing", {3, 2, 1}, 3, true, false, true, {3, 2, 1}},
  };
  for (const Case& c : cases) {
    Host h(c.items, c.with_compare, c.with_swap);
    h.sorter.Sort(0, c.count);
    EXPECT_EQ(h.items, c.expected) << c.name;
    EXPECT_EQ(!h.seen.empty(), c.expect_events) << c.name;
    if (c.expect_events && c.with_compare) {
      EXPECT_GE(h.compares, 1) << c.name;
    }
  }
}

TEST(QSort, WithoutCompareAllItemsAreEqualButSwapsStillHappen) {
  Host h({1, 2, 3, 4}, /*with_compare=*/false, /*with_swap=*/true);
  h.sorter.Sort(0, 4);
  EXPECT_GT(h.swaps, 0);
  // All equal: each scan stops at once and exchanges, so the items are permuted but kept.
  auto sorted = h.items;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{1, 2, 3, 4}));
}

TEST(QSort, EveryPermutationOfSmallInputs) {
  // Every order of a few items, with and without repeats: the pivot bookkeeping (the pivot
  // position follows its item through exchanges) is exercised in every possible place.
  for (std::vector<int> base : {std::vector<int>{0, 1, 2, 3, 4, 5}, std::vector<int>{0, 1, 1, 2, 2, 3},
                                std::vector<int>{0, 0, 0, 1, 1, 1, 2}}) {
    std::sort(base.begin(), base.end());
    auto perm = base;
    int runs = 0;
    do {
      Host h(perm);
      h.sorter.Sort(0, static_cast<int32_t>(perm.size()));
      ASSERT_EQ(h.items, base) << "from a permutation of size " << perm.size();
      ++runs;
    } while (std::next_permutation(perm.begin(), perm.end()));
    EXPECT_GT(runs, 1);
  }
}

}  // namespace
