#include "calc/results.h"

#include "calc/cell_grid.h"

namespace calc {

void ZPointTable::Reset(int rows, int row_size) {
  row_count_ = rows < 0 ? 0 : rows;
  row_size_ = row_size < 0 ? 0 : row_size;
  rows_.clear();
}

void ZPointTable::EnsureRow(int index) {
  if (index >= row_count_) row_count_ = index + 1;
}

const std::vector<TZPoint>& ZPointTable::Row(int r) const {
  static const std::vector<TZPoint> kEmpty;
  if (r < 0 || static_cast<size_t>(r) >= rows_.size()) return kEmpty;
  return rows_[static_cast<size_t>(r)];
}

TZPoint ZPointTable::Entry(int r, int i) const {
  const std::vector<TZPoint>& row = Row(r);
  if (i < 0 || static_cast<size_t>(i) >= row.size()) return TZPoint{};
  return row[static_cast<size_t>(i)];
}

bool ZPointTable::Append(int r, TZPoint p) {
  if (r < 0 || r >= row_count_) return false;
  if (static_cast<size_t>(r) >= rows_.size()) rows_.resize(static_cast<size_t>(r) + 1);
  std::vector<TZPoint>& row = rows_[static_cast<size_t>(r)];
  if (static_cast<int64_t>(row.size()) >= row_size_) return false;
  row.push_back(std::move(p));
  return true;
}

const std::string& RunPhase::Code() const {
  static const std::string kCompound = "C";
  return IsPoint ? kCompound : Name;
}

std::string RunPhase::Label() const {
  if (!IsPoint) return Name;
  return Key.empty() || Key == "C" ? "C(" + Name + ")" : Key;
}

const std::string& Results::PhaseName(PhaseIndex phase) const {
  static const std::string kNone;
  const RunPhase* p = Phase(phase);
  return p ? p->Name : kNone;
}

Results::Results() : cells_(std::make_unique<CellGrid>()) {}
Results::~Results() = default;

}  // namespace calc
