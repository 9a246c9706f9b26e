#include "calc/cell_grid.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <string>

namespace calc {

namespace {

const std::string kEmpty;
constexpr double kNoNumber = std::numeric_limits<double>::quiet_NaN();

[[noreturn]] void Outside(int col, int row) {
  throw std::out_of_range("Cell (" + std::to_string(col) + ", " + std::to_string(row) +
                          ") is outside the grid");
}

}  // namespace

CellGrid::CellGrid(int col_count, int row_count) {
  SetColCount(col_count);
  SetRowCount(row_count);
}

CellGrid::CellGrid(const CellGrid& other)
    : col_count_(other.col_count_),
      row_count_(other.row_count_),
      ids_(other.ids_),
      col_x_(other.col_x_),
      row_y_(other.row_y_),
      phase_count_(other.phase_count_),
      texts_(other.texts_),
      compact_at_(other.compact_at_),
      cur_col_(other.cur_col_),
      cur_row_(other.cur_row_),
      generation_(other.generation_),
      structure_generation_(other.structure_generation_) {
  RebuildIndex();
}

CellGrid& CellGrid::operator=(const CellGrid& other) {
  if (this == &other) return *this;
  CellGrid copy(other);
  col_count_ = copy.col_count_;
  row_count_ = copy.row_count_;
  ids_.swap(copy.ids_);
  col_x_.swap(copy.col_x_);
  row_y_.swap(copy.row_y_);
  phase_count_ = copy.phase_count_;
  texts_.swap(copy.texts_);
  compact_at_ = copy.compact_at_;
  cur_col_ = copy.cur_col_;
  cur_row_ = copy.cur_row_;
  // The views of a grid assigned over keep telling its changes apart.
  generation_ = std::max(generation_, copy.generation_) + 1;
  structure_generation_ = std::max(structure_generation_, copy.structure_generation_) + 1;
  RebuildIndex();
  return *this;
}

void CellGrid::RebuildIndex() {
  index_.clear();
  index_.emplace(std::string_view(), 0u);
  // A code shared by several phases ("C" for every compound) keys to none of them.
  std::unordered_map<std::string_view, int> uses;
  for (int k = 1; k <= phase_count_; ++k) ++uses[texts_[static_cast<size_t>(k)]];
  for (size_t id = 1; id < texts_.size(); ++id) {
    const std::string_view text = texts_[id];
    if (static_cast<int>(id) <= phase_count_ && uses[text] > 1) continue;
    index_.emplace(text, static_cast<uint32_t>(id));
  }
}

void CellGrid::SetPhaseCodes(const std::vector<std::string>& codes) {
  std::fill(ids_.begin(), ids_.end(), 0);
  std::fill(col_x_.begin(), col_x_.end(), kNoNumber);
  std::fill(row_y_.begin(), row_y_.end(), kNoNumber);
  texts_.assign(1, std::string());
  for (const std::string& code : codes) texts_.push_back(code);
  phase_count_ = static_cast<int>(codes.size());
  compact_at_ = std::max<size_t>(4096, 2 * texts_.size());
  RebuildIndex();
  StructureChanged();
}

void CellGrid::SetPhase(int col, int row, int32_t phase) {
  if (col < 0 || row < 0 || col >= col_count_ || row >= row_count_) Outside(col, row);
  const uint32_t id =
      phase >= 0 && phase < phase_count_ ? static_cast<uint32_t>(phase) + 1 : uint32_t{0};
  uint32_t& cell =
      ids_[static_cast<size_t>(row) * static_cast<size_t>(col_count_) + static_cast<size_t>(col)];
  if (cell == id) return;
  cell = id;
  ++generation_;
}

void CellGrid::SetColumnHeader(int col, double x, std::string_view text) {
  SetCell(col, 0, text);
  col_x_[static_cast<size_t>(col)] = x;
}

void CellGrid::SetRowHeader(int row, double y, std::string_view text) {
  SetCell(0, row, text);
  row_y_[static_cast<size_t>(row)] = y;
}

double CellGrid::ColumnX(int col) const {
  return col >= 0 && col < col_count_ ? col_x_[static_cast<size_t>(col)] : kNoNumber;
}

double CellGrid::RowY(int row) const {
  return row >= 0 && row < row_count_ ? row_y_[static_cast<size_t>(row)] : kNoNumber;
}

void CellGrid::SetColCount(int n) {
  n = std::max(n, 0);
  if (n == col_count_) return;
  const size_t rows = static_cast<size_t>(row_count_);
  const size_t old_cols = static_cast<size_t>(col_count_), new_cols = static_cast<size_t>(n);
  std::vector<uint32_t> ids(rows * new_cols, 0);
  const size_t keep = std::min(old_cols, new_cols);
  for (size_t r = 0; r < rows; ++r) {
    std::copy_n(ids_.begin() + static_cast<ptrdiff_t>(r * old_cols), keep,
                ids.begin() + static_cast<ptrdiff_t>(r * new_cols));
  }
  ids_.swap(ids);
  col_x_.resize(new_cols, kNoNumber);
  col_count_ = n;
  ClampCurrent();
  StructureChanged();
}

void CellGrid::SetRowCount(int n) {
  n = std::max(n, 0);
  if (n == row_count_) return;
  ids_.resize(static_cast<size_t>(n) * static_cast<size_t>(col_count_), 0);
  row_y_.resize(static_cast<size_t>(n), kNoNumber);
  row_count_ = n;
  ClampCurrent();
  StructureChanged();
}

const std::string& CellGrid::Cell(int col, int row) const {
  const uint32_t id = Id(col, row);
  return id == 0 ? kEmpty : texts_[id];
}

void CellGrid::SetCell(int col, int row, std::string_view text) {
  if (col < 0 || row < 0 || col >= col_count_ || row >= row_count_) Outside(col, row);
  // A header written as text alone has no number.
  if (row == 0) col_x_[static_cast<size_t>(col)] = kNoNumber;
  if (col == 0) row_y_[static_cast<size_t>(row)] = kNoNumber;
  uint32_t& cell = ids_[static_cast<size_t>(row) * static_cast<size_t>(col_count_) + static_cast<size_t>(col)];
  const uint32_t id = Intern(text);
  if (cell == id) return;
  cell = id;
  ++generation_;
  // Texts that no cell uses any more (overwritten headers of earlier runs, edited cells) are
  // dropped now and then; the table doubling before each clean-up keeps the cost linear.
  if (texts_.size() >= compact_at_) CompactTexts();
}

uint32_t CellGrid::Intern(std::string_view text) {
  if (text.empty()) return 0;
  const auto it = index_.find(text);
  if (it != index_.end()) return it->second;
  const uint32_t id = static_cast<uint32_t>(texts_.size());
  texts_.emplace_back(text);
  index_.emplace(texts_.back(), id);
  return id;
}

void CellGrid::CompactTexts() {
  std::vector<uint32_t> remap(texts_.size(), 0);
  std::vector<char> used(texts_.size(), 0);
  for (uint32_t id : ids_) used[id] = 1;
  // The phase codes keep their places.
  std::deque<std::string> texts{std::string()};
  for (size_t id = 1; id < texts_.size(); ++id) {
    if (!used[id] && static_cast<int>(id) > phase_count_) continue;
    remap[id] = static_cast<uint32_t>(texts.size());
    texts.push_back(std::move(texts_[id]));
  }
  for (uint32_t& id : ids_) id = remap[id];
  texts_.swap(texts);
  RebuildIndex();
  compact_at_ = std::max<size_t>(4096, 2 * texts_.size());
}

void CellGrid::SetCurrent(int col, int row) {
  cur_col_ = col;
  cur_row_ = row;
  ClampCurrent();
}

void CellGrid::ClampCurrent() {
  cur_col_ = std::clamp(cur_col_, 0, std::max(col_count_ - 1, 0));
  cur_row_ = std::clamp(cur_row_, 0, std::max(row_count_ - 1, 0));
}

void CellGrid::DeleteColumn(int col) {
  if (col < 0 || col >= col_count_) {
    throw std::out_of_range("Column " + std::to_string(col) + " is outside the grid");
  }
  const int cols[] = {col};
  DeleteColumns(cols);
}

void CellGrid::DeleteColumns(std::span<const int> cols) {
  std::vector<char> remove(static_cast<size_t>(col_count_), 0);
  size_t removed = 0;
  for (int c : cols) {
    if (c < 0 || c >= col_count_) {
      throw std::out_of_range("Column " + std::to_string(c) + " is outside the grid");
    }
    if (!remove[static_cast<size_t>(c)]) ++removed;
    remove[static_cast<size_t>(c)] = 1;
  }
  if (removed == 0) return;
  // Compact in place, row after row: the write position never passes the read position.
  const size_t old_cols = static_cast<size_t>(col_count_);
  size_t w = 0;
  for (size_t r = 0; r < static_cast<size_t>(row_count_); ++r) {
    for (size_t c = 0; c < old_cols; ++c) {
      if (!remove[c]) ids_[w++] = ids_[r * old_cols + c];
    }
  }
  ids_.resize(w);
  size_t kept = 0;
  for (size_t c = 0; c < old_cols; ++c) {
    if (!remove[c]) col_x_[kept++] = col_x_[c];
  }
  col_x_.resize(kept);
  col_count_ -= static_cast<int>(removed);
  ClampCurrent();
  StructureChanged();
}

void CellGrid::Clear() {
  std::fill(ids_.begin(), ids_.end(), 0);
  std::fill(col_x_.begin(), col_x_.end(), kNoNumber);
  std::fill(row_y_.begin(), row_y_.end(), kNoNumber);
  texts_.resize(1 + static_cast<size_t>(phase_count_));
  RebuildIndex();
  compact_at_ = std::max<size_t>(4096, 2 * texts_.size());
  StructureChanged();
}

size_t CellGrid::MemoryBytes() const {
  size_t bytes =
      ids_.capacity() * sizeof(uint32_t) + (col_x_.capacity() + row_y_.capacity()) * sizeof(double);
  for (const std::string& s : texts_) bytes += sizeof(std::string) + (s.capacity() > 15 ? s.capacity() : 0);
  bytes += index_.size() * (sizeof(std::string_view) + sizeof(uint32_t) + 2 * sizeof(void*)) +
           index_.bucket_count() * sizeof(void*);
  return bytes;
}

}  // namespace calc
