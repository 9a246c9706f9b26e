// Key order and the view: the key fields of IndexFieldNames, the sort of records by them, and
// the list of visible records in that order.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/memtable.h"
#include "store/memtable_internal.h"

namespace store {

using namespace detail;

void TMemTable::SetIndexFieldNames(const std::string& names) {
  if (names == indexFieldNames_) return;
  std::string old = indexFieldNames_;
  indexFieldNames_ = names;
  if (!Active()) return;
  try {
    CheckBrowseMode();
    BuildKeys();
  } catch (...) {
    indexFieldNames_ = old;
    throw;
  }
  BuildView();
  First();
}

void TMemTable::SetSortOptions(TSortOptions o) {
  if (o == sortOptions_) return;
  sortOptions_ = o;
  if (!Active()) return;
  CheckBrowseMode();
  BuildView();
  First();
}

std::vector<int> TMemTable::KeyFields() const {
  std::vector<int> keys;
  const std::string& s = indexFieldNames_;
  std::size_t pos = 0;
  while (pos <= s.size()) {
    std::size_t semi = s.find(';', pos);
    if (semi == std::string::npos) semi = s.size();
    std::string name = Trim(std::string_view(s).substr(pos, semi - pos));
    pos = semi + 1;
    if (name.empty()) continue;
    int i = FieldIndex(name);  // the store's fields: this also serves a closed table's save
    if (i < 0) DbError("Field '" + name + "' not found");
    if (IsBlobType(store_->layout.fields[static_cast<std::size_t>(i)].type))
      DbError("There are calc or BLOB fields in list of key fields");
    keys.push_back(i);
  }
  return keys;
}

void TMemTable::BuildKeys() {
  keys_ = KeyFields();
}

namespace {

// One key value of one record, taken out of the record once so that sorting compares small
// values held together instead of chasing every record image in memory.
struct TKeyVal {
  enum TClass : std::uint8_t { kText, kShorterFirst, kLongText, kInt, kDouble, kNone };
  std::string text;  // strings (letter case folded when comparing without regard to it)
  double d = 0;
  std::int64_t i = 0;
  TClass cls = kNone;
  bool absent = false;  // long strings: no value
};

TKeyVal ExtractKey(const TMemField& f, const TRecordImage& r, bool ci) {
  TKeyVal k;
  TFieldReader rd{f, &r};
  auto fold = [ci](std::string s) {
    if (ci)
      for (char& c : s) c = static_cast<char>(Cp1251Lower(static_cast<unsigned char>(c)));
    return s;
  };
  switch (f.type) {
    case ftString:
      if (f.IsLongString()) {
        const auto& v = r.var[static_cast<std::size_t>(f.varIndex)];
        k.cls = TKeyVal::kLongText;
        k.absent = !v.has_value();
        if (v) k.text = fold(std::string(UpToZero(*v)));
      } else {
        k.cls = f.compareFlag ? TKeyVal::kShorterFirst : TKeyVal::kText;
        k.text = fold(std::string(UpToZero(std::string_view(r.fixed).substr(f.offset, f.size))));
      }
      break;
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      k.cls = TKeyVal::kInt;
      k.i = rd.Int();
      break;
    case ftBoolean:  // true comes before false
      k.cls = TKeyVal::kInt;
      k.i = rd.Int() != 0 ? 0 : 1;
      break;
    case ftFloat:
    case ftCurrency:
    case ftDateTime:
      k.cls = TKeyVal::kDouble;
      k.d = rd.Dbl();
      break;
    default:
      break;  // objects and pictures compare equal
  }
  return k;
}

int CompareKey(const TKeyVal& a, const TKeyVal& b) {
  switch (a.cls) {
    case TKeyVal::kShorterFirst:
      if (a.text.size() != b.text.size()) return a.text.size() < b.text.size() ? -1 : 1;
      return CompareText(a.text, b.text, false);
    case TKeyVal::kText:
      return CompareText(a.text, b.text, false);
    case TKeyVal::kLongText:
      if (a.absent || b.absent) return a.absent == b.absent ? 0 : (a.absent ? -1 : 1);
      return CompareText(a.text, b.text, false);
    case TKeyVal::kInt:
      return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
    case TKeyVal::kDouble:
      return CompareDouble(a.d, b.d);
    default:
      return 0;
  }
}

}  // namespace

std::vector<std::size_t> TMemTable::SortOrder(const std::vector<const TRecordImage*>& recs,
                                              const std::vector<int>& keys, TSortOptions opts,
                                              bool stable) const {
  const std::size_t n = recs.size(), nk = keys.size();
  const bool ci = (opts & vsoCaseInsensitive) != 0;
  const int sign = (opts & vsoDescendSort) ? -1 : 1;
  std::vector<TKeyVal> flat(n * nk);
  for (std::size_t r = 0; r < n; ++r)
    for (std::size_t k = 0; k < nk; ++k)
      flat[r * nk + k] =
          ExtractKey(store_->layout.fields[static_cast<std::size_t>(keys[k])], *recs[r], ci);
  std::vector<std::size_t> order(n);
  for (std::size_t r = 0; r < n; ++r) order[r] = r;
  auto less = [&](std::size_t x, std::size_t y) {
    for (std::size_t k = 0; k < nk; ++k) {
      int c = CompareKey(flat[x * nk + k], flat[y * nk + k]);
      if (c != 0) return sign * c < 0;
    }
    return false;
  };
  if (stable)
    std::stable_sort(order.begin(), order.end(), less);
  else
    std::sort(order.begin(), order.end(), less);
  return order;
}

void TMemTable::BuildView() {
  view_.clear();
  view_.reserve(store_->entries.size());
  for (auto& e : store_->entries)
    if (e->state != rsDeleted && e->state != rsRemoved) view_.push_back(e.get());
  if (!keys_.empty()) {
    std::vector<const TRecordImage*> recs;
    recs.reserve(view_.size());
    for (const TEntry* e : view_) recs.push_back(&e->image);
    std::vector<std::size_t> order = SortOrder(recs, keys_, sortOptions_, false);
    std::vector<TEntry*> sorted;
    sorted.reserve(view_.size());
    for (std::size_t i : order) sorted.push_back(view_[i]);
    view_.swap(sorted);
  }
  cur_ = view_.empty() ? -1 : 0;
  bof_ = true;
  eof_ = view_.empty();
}

}  // namespace store
