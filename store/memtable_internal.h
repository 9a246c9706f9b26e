#pragma once
// What the files of the table engine share (memtable.cpp: configuration, open, close, field
// lookup and save; memtable_fields.cpp: field objects and blob streams; memtable_view.cpp: key
// order and the view; memtable_records.cpp: moving, editing, posting and the events). Not for
// users of the table.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/cp1251.h"
#include "store/memtable.h"

namespace store {

struct TMemTable::TEntry {
  TRecordImage image;
  std::unique_ptr<TRecordImage> undo;  // the image before the first edit since the load
  TRecordState state = rsUnchanged;
};

struct TMemTable::TStore {
  TTableLayout layout;
  std::vector<std::unique_ptr<TEntry>> entries;
  int autoIncField = -1;
  // The value of the last counted record: the highest found at load, then one more for each
  // new record (or the value given to a new record, when that is higher).
  std::int64_t autoIncCount = 0;
};

namespace detail {

[[noreturn]] inline void DbError(const std::string& msg) {
  throw EDatabaseError(msg);
}

inline constexpr char kClosed[] = "Cannot perform this operation on a closed dataset";
inline constexpr char kEmpty[] = "Cannot perform this operation on an empty dataset";
inline constexpr char kNotEditing[] = "Table is not in edit or insert mode";

inline std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

// Doubles in a total order (NaN after every number) so that sorting stays well defined
// whatever bytes a file holds.
inline int CompareDouble(double a, double b) {
  bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
  return a < b ? -1 : (a > b ? 1 : 0);
}

// An empty text comes first, then byte order over the common length, then the shorter.
// (The empty-first rule is the shorter-first rule for an empty text.)
inline int CompareText(std::string_view a, std::string_view b, bool caseInsensitive) {
  std::size_t n = std::min(a.size(), b.size());
  if (!caseInsensitive) {
    int c = n ? std::memcmp(a.data(), b.data(), n) : 0;  // memcmp compares unsigned bytes
    if (c != 0) return c < 0 ? -1 : 1;
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (caseInsensitive) {
      x = Cp1251Lower(x);
      y = Cp1251Lower(y);
    }
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline bool IsIntegerKind(TFieldType t) {
  return t == ftSmallint || t == ftWord || t == ftInteger || t == ftAutoInc;
}
inline bool IsFloatKind(TFieldType t) {
  return t == ftFloat || t == ftCurrency;
}

}  // namespace detail
}  // namespace store
