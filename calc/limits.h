#pragma once
// The largest problems the program computes. The problem check (the same in the desktop
// program and in brelona-calc, whose --xpoints and --ypoints pass through it) refuses anything
// above them before a run allocates anything, each limit with its own message. The texts use
// %1, %2, ... for the numbers, so that a translation can reorder them.
//
// What they protect: the cell grid keeps one 32-bit index per cell, (levels + 2) rows by
// (X levels + 1) columns; a level evaluates every phase at every X level and keeps one record
// per X level and per point phase. At the limits a grid takes 1 GiB and a level of a million
// X levels about 100 MB.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace calc {

inline constexpr int64_t kMaxXPoints = 1'000'000;
inline constexpr int64_t kMaxYPoints = 1'000'000;
// Rows times columns of the cell grid: 2^28 cells, 1 GiB of cell indices.
inline constexpr int64_t kMaxGridCells = int64_t{1} << 28;
// Solution and point phases of one sheet together.
inline constexpr int64_t kMaxPhases = 10'000;

inline constexpr const char* kXPointsTooLargeText =
    "XPoints = %1 is too large: at most %2 points along X can be computed";
inline constexpr const char* kYPointsTooLargeText =
    "YPoints = %1 is too large: at most %2 levels can be computed";
inline constexpr const char* kGridTooLargeText =
    "A cell grid of %1 rows and %2 columns is too large: at most %3 cells can be kept. Lower "
    "XPoints or YPoints";
inline constexpr const char* kTooManyPhasesText =
    "The phase sheet has more than %1 phases: at most %1 can be computed";

// The text with %1, %2, ... replaced by the numbers, in order.
inline std::string FormatLimitText(std::string_view text, std::initializer_list<int64_t> numbers) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const size_t k = static_cast<size_t>(text[i + 1] - '1');
      if (k < numbers.size()) {
        out += std::to_string(*(numbers.begin() + k));
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

}  // namespace calc
