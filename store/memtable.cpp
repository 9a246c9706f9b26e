#include "store/memtable.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "numeric/format.h"
#include "store/bytes.h"
#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/safe_file.h"

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

namespace {

[[noreturn]] void DbError(const std::string& msg) { throw EDatabaseError(msg); }

const char kClosed[] = "Cannot perform this operation on a closed dataset";
const char kEmpty[] = "Cannot perform this operation on an empty dataset";
const char kNotEditing[] = "Table is not in edit or insert mode";

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return std::string(s.substr(b, e - b));
}

bool ParseInt64(std::string_view t, std::int64_t& out) {
  std::string s = Trim(t);
  if (s.empty()) return false;
  std::size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  if (i == s.size()) return false;
  std::int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
    if (v > (std::int64_t{1} << 40)) return false;
  }
  out = neg ? -v : v;
  return true;
}

// Doubles in a total order (NaN after every number) so that sorting stays well defined
// whatever bytes a file holds.
int CompareDouble(double a, double b) {
  bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na == nb ? 0 : (na ? 1 : -1);
  return a < b ? -1 : (a > b ? 1 : 0);
}

// An empty text comes first, then byte order over the common length, then the shorter.
// (The empty-first rule is the shorter-first rule for an empty text.)
int CompareText(std::string_view a, std::string_view b, bool caseInsensitive) {
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

bool ParseFixedDigits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (std::size_t i = 0; i < n; ++i) {
    char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

bool ParseDateText(std::string_view s, std::int32_t& day) {
  int y, m, d;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  if (!ParseFixedDigits(s, 0, 4, y) || !ParseFixedDigits(s, 5, 2, m) ||
      !ParseFixedDigits(s, 8, 2, d))
    return false;
  return DateToDayNumber(y, m, d, day);
}

// "HH:MM:SS.mmm", "HH:MM:SS" or "HH:MM".
bool ParseTimeText(std::string_view s, std::int32_t& ms) {
  int h, mi, se = 0, milli = 0;
  if (s.size() < 5 || s[2] != ':') return false;
  if (!ParseFixedDigits(s, 0, 2, h) || !ParseFixedDigits(s, 3, 2, mi)) return false;
  if (s.size() > 5) {
    if (s.size() < 8 || s[5] != ':' || !ParseFixedDigits(s, 6, 2, se)) return false;
    if (s.size() > 8) {
      if (s.size() != 12 || s[8] != '.' || !ParseFixedDigits(s, 9, 3, milli)) return false;
    }
  }
  if (h > 23 || mi > 59 || se > 59) return false;
  ms = ((h * 60 + mi) * 60 + se) * 1000 + milli;
  return true;
}

const char* TypeName(TFieldType t) {
  switch (t) {
    case ftFloat:
    case ftCurrency: return "Float";
    case ftBoolean: return "Boolean";
    default: return "Integer";
  }
}

// Number of '#' and '0' after the '.' of a display format such as "0.######".
void PatternDecimals(const std::string& fmt, int& maxDec) {
  maxDec = 0;
  std::size_t dot = fmt.find('.');
  if (dot == std::string::npos) return;
  for (std::size_t i = dot + 1; i < fmt.size() && (fmt[i] == '#' || fmt[i] == '0'); ++i) ++maxDec;
}

bool IsIntegerKind(TFieldType t) {
  return t == ftSmallint || t == ftWord || t == ftInteger || t == ftAutoInc;
}
bool IsFloatKind(TFieldType t) { return t == ftFloat || t == ftCurrency; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Field objects

TField::TField(TMemTable* table, int index, std::string name)
    : table_(table), index_(index), name_(std::move(name)) {
  if (Def().type == ftFloat) displayFormat_ = "0.######";
}

const TMemField& TField::Def() const {
  return table_->store_->layout.fields[static_cast<std::size_t>(index_)];
}

TFieldType TField::DataType() const { return Def().type; }
int TField::Size() const { return Def().type == ftString ? Def().size : 0; }
bool TField::IsBlob() const { return IsBlobType(Def().type); }
bool TField::IsNumeric() const {
  TFieldType t = Def().type;
  return IsIntegerKind(t) || IsFloatKind(t);
}

bool TField::IsNull() const { return TFieldReader{Def(), table_->CurrentImage()}.IsNull(); }

std::string TField::AsString() const {
  return TFieldReader{Def(), table_->CurrentImage()}.Text(table_->decimalSeparator_);
}

std::string TField::AsBytes() const { return TFieldReader{Def(), table_->CurrentImage()}.Bytes(); }

std::string TField::DisplayText() const {
  const TMemField& d = Def();
  if (d.type == ftFloat && !displayFormat_.empty()) {
    int dec;
    PatternDecimals(displayFormat_, dec);
    return numeric::FormatFloatPattern(AsFloat(), dec, table_->decimalSeparator_);
  }
  return AsString();
}

double TField::AsFloat() const {
  TFieldReader rd{Def(), table_->CurrentImage()};
  TFieldType t = Def().type;
  if (IsFloatKind(t) || t == ftDateTime) return rd.Dbl();
  if (IsIntegerKind(t) || t == ftDate || t == ftTime) return rd.Int();
  if (t == ftString || t == ftMemo || t == ftFmtMemo) {
    std::string s = rd.Text(table_->decimalSeparator_);
    double v = 0;
    if (!numeric::ParseFloat(s, table_->decimalSeparator_, v))
      DbError("'" + s + "' is not a valid floating point value");
    return v;
  }
  DbError("Cannot access field '" + name_ + "' as type Float");
}

std::int32_t TField::AsInteger() const {
  TFieldReader rd{Def(), table_->CurrentImage()};
  TFieldType t = Def().type;
  if (IsIntegerKind(t) || t == ftDate || t == ftTime) return rd.Int();
  if (IsFloatKind(t)) {
    double v = std::nearbyint(rd.Dbl());
    if (!(v >= std::numeric_limits<std::int32_t>::min() &&
          v <= std::numeric_limits<std::int32_t>::max()))
      DbError(numeric::FormatGeneral15(rd.Dbl(), table_->decimalSeparator_) +
              " is not a valid integer value");
    return static_cast<std::int32_t>(v);
  }
  if (t == ftString) {
    std::string s = rd.Text(table_->decimalSeparator_);
    std::int64_t v;
    if (!ParseInt64(s, v) || v < std::numeric_limits<std::int32_t>::min() ||
        v > std::numeric_limits<std::int32_t>::max())
      DbError("'" + s + "' is not a valid integer value");
    return static_cast<std::int32_t>(v);
  }
  DbError("Cannot access field '" + name_ + "' as type Integer");
}

bool TField::AsBoolean() const {
  TFieldReader rd{Def(), table_->CurrentImage()};
  TFieldType t = Def().type;
  if (t == ftBoolean) return rd.Int() != 0;
  if (t == ftString) {
    std::string s = rd.Bytes();
    return !s.empty() && std::strchr("YyTt1", s[0]) != nullptr;
  }
  DbError("Cannot access field '" + name_ + "' as type Boolean");
}

// Writes: every setter funnels into one of these, after the mode checks.
namespace {
struct TWriter {
  const TMemField& f;
  TRecordImage& r;
  char* Slot() { return r.fixed.data() + f.offset; }
  void Int(std::int32_t v) {
    if (f.type == ftSmallint || f.type == ftWord || f.type == ftBoolean)
      Store(Slot(), static_cast<std::int16_t>(v));
    else
      Store(Slot(), v);
  }
  void Dbl(double v) { Store(Slot(), v); }
  void Bytes(std::string_view b) {
    if (f.IsHeldApart()) {
      auto& v = r.var[static_cast<std::size_t>(f.varIndex)];
      if (b.empty())
        v.reset();
      else
        v = std::string(b);
      return;
    }
    std::memset(Slot(), 0, f.size + 1u);
    std::memcpy(Slot(), b.data(), std::min<std::size_t>(b.size(), f.size));
  }
  void Clear() {
    if (f.IsHeldApart())
      r.var[static_cast<std::size_t>(f.varIndex)].reset();
    else
      std::memset(Slot(), 0, f.type == ftString ? f.size + 1u : f.width);
  }
};
}  // namespace

void TField::Clear() {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  if (Def().type == ftAutoInc) return;
  TWriter{Def(), r}.Clear();
  table_->FieldChanged(this);
}

void TField::SetAsBytes(std::string_view bytes) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (d.type == ftAutoInc) return;
  if (d.type == ftString) {
    // A string holds at most its declared size (a long one also at most what a file can hold).
    std::size_t cap = d.IsLongString() ? std::min<std::size_t>(d.size, kMaxLongString) : d.size;
    bytes = UpToZero(bytes).substr(0, std::min(cap, UpToZero(bytes).size()));
    TWriter{d, r}.Bytes(bytes);
  } else if (IsBlobType(d.type)) {
    if (bytes.size() >= static_cast<std::size_t>(kBlobLengthLimit))
      DbError("BLOB field '" + name_ + "' cannot hold " + std::to_string(bytes.size()) + " bytes");
    TWriter{d, r}.Bytes(bytes);
  } else {
    DbError("Cannot access field '" + name_ + "' as type Bytes");
  }
  table_->FieldChanged(this);
}

void TField::SetAsString(std::string_view text) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (d.type == ftAutoInc) return;
  const char sep = table_->decimalSeparator_;
  auto quoted = [&] { return "'" + std::string(text) + "'"; };
  switch (d.type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo: {
      std::string bytes;
      TEncodeResult er = Utf8ToCp1251(text, bytes);
      if (!er.ok) DbError(EncodeErrorMessage(er, name_));
      SetAsBytes(bytes);
      return;
    }
    case ftBlob:
    case ftGraphic: SetAsBytes(text); return;
    default: break;
  }
  std::string t = Trim(text);
  TWriter w{d, r};
  if (t.empty()) {
    w.Clear();
    table_->FieldChanged(this);
    return;
  }
  switch (d.type) {
    case ftSmallint:
    case ftWord:
    case ftInteger: {
      std::int64_t v;
      if (!ParseInt64(t, v) || v < std::numeric_limits<std::int32_t>::min() ||
          v > std::numeric_limits<std::int32_t>::max())
        DbError(quoted() + " is not a valid integer value for field '" + name_ + "'");
      SetAsInteger(static_cast<std::int32_t>(v));
      return;
    }
    case ftFloat:
    case ftCurrency: {
      double v;
      if (!numeric::ParseFloat(t, sep, v))
        DbError(quoted() + " is not a valid floating point value for field '" + name_ + "'");
      w.Dbl(v);
      break;
    }
    case ftBoolean: {
      auto prefixOf = [&](const char* word) {
        if (t.size() > std::strlen(word)) return false;
        for (std::size_t i = 0; i < t.size(); ++i)
          if (Cp1251Lower(static_cast<unsigned char>(t[i])) != static_cast<unsigned char>(word[i]))
            return false;
        return true;
      };
      if (prefixOf("true"))
        w.Int(-1);
      else if (prefixOf("false"))
        w.Int(0);
      else
        DbError(quoted() + " is not a valid boolean value for field '" + name_ + "'");
      break;
    }
    case ftDate: {
      std::int32_t day;
      if (!ParseDateText(t, day)) DbError(quoted() + " is not a valid date");
      w.Int(day);
      break;
    }
    case ftTime: {
      std::int32_t ms;
      if (!ParseTimeText(t, ms)) DbError(quoted() + " is not a valid time");
      w.Int(ms);
      break;
    }
    case ftDateTime: {
      std::int32_t day, ms = 0;
      std::size_t tpos = t.find_first_of("T ");
      bool ok = ParseDateText(std::string_view(t).substr(0, tpos), day) &&
                (tpos == std::string::npos ||
                 ParseTimeText(std::string_view(t).substr(tpos + 1), ms));
      if (!ok) DbError(quoted() + " is not a valid date and time");
      w.Dbl(static_cast<double>(day) * kMsPerDay + ms);
      break;
    }
    default: DbError("Cannot access field '" + name_ + "' as type String");
  }
  table_->FieldChanged(this);
}

void TField::SetAsFloat(double v) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (d.type == ftAutoInc) return;
  const char sep = table_->decimalSeparator_;
  if (!std::isfinite(v))
    DbError("'" + numeric::FormatGeneral15(v, sep) +
            "' is not a valid floating point value for field '" + name_ + "'");
  if (IsFloatKind(d.type) || d.type == ftDateTime) {
    TWriter{d, r}.Dbl(v);
  } else if (IsIntegerKind(d.type) || d.type == ftDate || d.type == ftTime) {
    double rv = std::nearbyint(v);
    if (!(rv >= std::numeric_limits<std::int32_t>::min() &&
          rv <= std::numeric_limits<std::int32_t>::max()))
      DbError("'" + numeric::FormatGeneral15(v, sep) + "' is not a valid integer value for field '" +
              name_ + "'");
    SetAsInteger(static_cast<std::int32_t>(rv));
    return;
  } else if (d.type == ftString) {
    SetAsString(numeric::FormatGeneral15(v, sep));
    return;
  } else {
    DbError("Cannot access field '" + name_ + "' as type Float");
  }
  table_->FieldChanged(this);
}

void TField::SetAsInteger(std::int32_t v) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (d.type == ftAutoInc) return;
  if (d.type == ftSmallint || d.type == ftWord) {
    std::int32_t lo = d.type == ftWord ? 0 : -32768, hi = d.type == ftWord ? 65535 : 32767;
    if (v < lo || v > hi)
      DbError(std::to_string(v) + " is not a valid value for field '" + name_ +
              "'. The allowed range is " + std::to_string(lo) + " to " + std::to_string(hi));
    TWriter{d, r}.Int(v);
  } else if (d.type == ftInteger || d.type == ftDate || d.type == ftTime) {
    TWriter{d, r}.Int(v);
  } else if (IsFloatKind(d.type) || d.type == ftDateTime) {
    TWriter{d, r}.Dbl(v);
  } else if (d.type == ftString) {
    SetAsString(std::to_string(v));
    return;
  } else {
    DbError("Cannot access field '" + name_ + "' as type " + TypeName(ftInteger));
  }
  table_->FieldChanged(this);
}

void TField::SetAsBoolean(bool v) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (d.type == ftBoolean) {
    TWriter{d, r}.Int(v ? -1 : 0);
  } else if (d.type == ftString) {
    SetAsString(v ? "True" : "False");
    return;
  } else {
    DbError("Cannot access field '" + name_ + "' as type Boolean");
  }
  table_->FieldChanged(this);
}

void TField::SetAsStoredFloat(double v) {
  TRecordImage& r = table_->Buffer();
  if (readOnly_) DbError("Field '" + name_ + "' is read only!");
  const TMemField& d = Def();
  if (!IsFloatKind(d.type) && d.type != ftDateTime)
    DbError("Cannot access field '" + name_ + "' as type Float");
  TWriter{d, r}.Dbl(v);
  table_->FieldChanged(this);
}

void TField::SetAutoIncValue(std::int32_t v) {
  if (table_->state_ != dsInsert) DbError(kNotEditing);
  TRecordImage& r = table_->Buffer();
  const TMemField& d = Def();
  if (d.type != ftAutoInc) DbError("Field '" + name_ + "' is not an auto-increment field");
  TWriter{d, r}.Int(v);
  table_->autoIncGiven_ = true;
  table_->FieldChanged(this);
}

// ---------------------------------------------------------------------------------------
// Blob streams

TMemBlobStream::TMemBlobStream(TField& field, TBlobStreamMode mode) : field_(&field), mode_(mode) {
  if (mode == bmWrite) {
    field.table_->Buffer();  // mode check
    if (field.readOnly_) DbError("Field '" + field.name_ + "' is read only!");
  } else {
    data_ = field.AsBytes();
  }
}

TMemBlobStream::~TMemBlobStream() {
  try {
    Close();
  } catch (...) {
    // A stream that cannot commit in a destructor drops its bytes; call Close() to see why.
  }
}

std::size_t TMemBlobStream::Read(void* buffer, std::size_t count) {
  std::size_t n = std::min(count, data_.size() - pos_);
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void TMemBlobStream::Write(const void* buffer, std::size_t count) {
  if (mode_ != bmWrite) DbError("Cannot write to a stream opened for reading");
  if (pos_ + count > data_.size()) data_.resize(pos_ + count);
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ += count;
}

void TMemBlobStream::Close() {
  if (!open_) return;
  open_ = false;
  if (mode_ == bmWrite) field_->SetAsBytes(data_);
}

// ---------------------------------------------------------------------------------------
// The table

TMemTable::TMemTable() = default;
TMemTable::~TMemTable() = default;

void TMemTable::SetTableName(const std::string& name) {
  if (name == tableName_) return;
  Close();
  tableName_ = name;
  SetLoadMode(name.empty() ? lmClear : lmFile);
}

void TMemTable::SetLoadMode(TMemLoadMode m) {
  if (m == loadMode_) return;
  Close();
  loadMode_ = m;
}

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

void TMemTable::DoEvent(const TEvent& e) {
  if (e) e(*this);
}

void TMemTable::SetState(TDataSetState s) {
  if (s == state_) return;
  state_ = s;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->StateChanged(*this);
}

void TMemTable::NotifyDataSetChanged() {
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->DataSetChanged(*this);
}

void TMemTable::FieldChanged(TField* f) {
  modified_ = true;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->RecordChanged(*this, f);
}

void TMemTable::AddDataLink(TDataLink* link) {
  if (link && std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TMemTable::RemoveDataLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TMemTable::CheckActive() const {
  if (state_ == dsInactive) DbError(kClosed);
}

TRecordImage& TMemTable::Buffer() {
  if (state_ != dsEdit && state_ != dsInsert) DbError(kNotEditing);
  return buffer_;
}

const TRecordImage* TMemTable::CurrentImage() const {
  if (state_ == dsEdit || state_ == dsInsert) return &buffer_;
  if (state_ == dsBrowse && cur_ >= 0 && cur_ < static_cast<int>(view_.size()))
    return &view_[static_cast<std::size_t>(cur_)]->image;
  return nullptr;
}

void TMemTable::DropStore() {
  fields_.clear();
  view_.clear();
  keys_.clear();
  store_.reset();
  cur_ = -1;
  eof_ = bof_ = true;
}

void TMemTable::MakeFields() {
  fields_.clear();
  const auto& defs = store_->layout.fields;
  for (std::size_t i = 0; i < defs.size(); ++i)
    fields_.push_back(std::unique_ptr<TField>(
        new TField(this, static_cast<int>(i), Cp1251ToUtf8(defs[i].name))));
}

int TMemTable::FieldIndex(std::string_view name) const {
  std::string bytes;
  if (!store_ || !Utf8ToCp1251(name, bytes).ok) return -1;
  const auto& defs = store_->layout.fields;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    const std::string& n = defs[i].name;
    if (n.size() == bytes.size() && CompareText(n, bytes, true) == 0) return static_cast<int>(i);
  }
  return -1;
}

const TField* TMemTable::FindField(std::string_view name) const {
  int i = FieldIndex(name);
  if (i < 0 || static_cast<std::size_t>(i) >= fields_.size()) return nullptr;  // closed: no objects
  return fields_[static_cast<std::size_t>(i)].get();
}

TField* TMemTable::FindField(std::string_view name) {
  return const_cast<TField*>(std::as_const(*this).FindField(name));
}

const TField& TMemTable::FieldByName(std::string_view name) const {
  const TField* f = FindField(name);
  if (!f) DbError("Field '" + std::string(name) + "' not found");
  return *f;
}

TField& TMemTable::FieldByName(std::string_view name) {
  return const_cast<TField&>(std::as_const(*this).FieldByName(name));
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

void TMemTable::BuildKeys() { keys_ = KeyFields(); }

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
    default: break;  // objects and pictures compare equal
  }
  return k;
}

int CompareKey(const TKeyVal& a, const TKeyVal& b) {
  switch (a.cls) {
    case TKeyVal::kShorterFirst:
      if (a.text.size() != b.text.size()) return a.text.size() < b.text.size() ? -1 : 1;
      return CompareText(a.text, b.text, false);
    case TKeyVal::kText: return CompareText(a.text, b.text, false);
    case TKeyVal::kLongText:
      if (a.absent || b.absent) return a.absent == b.absent ? 0 : (a.absent ? -1 : 1);
      return CompareText(a.text, b.text, false);
    case TKeyVal::kInt: return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
    case TKeyVal::kDouble: return CompareDouble(a.d, b.d);
    default: return 0;
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

void TMemTable::Open() {
  if (Active()) return;
  auto fresh = std::make_unique<TStore>();
  if (loadMode_ == lmFile) {
    std::string bytes;
    if (!FileExists(tableName_) || !ReadWholeFile(tableName_, bytes)) {
      DropStore();
      DbError("Error opening file " + tableName_);
    }
    try {
      std::size_t declared = 0;
      bool sized = false;
      fresh->layout = ReadTableImage(
          bytes,
          [&](TRecordImage&& r) {
            if (!sized) fresh->entries.reserve(declared);
            sized = true;
            auto e = std::make_unique<TEntry>();
            e->image = std::move(r);
            fresh->entries.push_back(std::move(e));
          },
          &declared);
      std::string().swap(bytes);  // the file buffer is not needed any more
    } catch (const ETableImageError& e) {
      DropStore();
      DbError("Error opening table: " + Cp1251ToUtf8(e.what()));
    }
  } else {
    if (fieldDefs_.empty()) {
      DropStore();
      DbError("Error creating table (no field descriptions)");
    }
    std::vector<TFieldDefBytes> defs;
    for (const TFieldDef& d : fieldDefs_) {
      TFieldDefBytes b;
      TEncodeResult er = Utf8ToCp1251(d.Name, b.name);
      if (!er.ok) {
        DropStore();
        DbError(EncodeErrorMessage(er, d.Name));
      }
      b.type = d.DataType;
      b.size = d.Size;
      defs.push_back(std::move(b));
    }
    try {
      std::string section = BuildFieldSection(defs);
      fresh->layout = LayoutFromSection(section, static_cast<std::int32_t>(defs.size()));
    } catch (const ETableImageError& e) {
      DropStore();
      DbError("Error creating table: " + Cp1251ToUtf8(e.what()));
    }
  }

  // An auto-increment table is kept in counter order; new records continue the count.
  for (std::size_t i = 0; i < fresh->layout.fields.size(); ++i) {
    if (fresh->layout.fields[i].type != ftAutoInc) continue;
    const std::uint32_t off = fresh->layout.fields[i].offset;
    std::stable_sort(fresh->entries.begin(), fresh->entries.end(),
                     [off](const auto& x, const auto& y) {
                       return Load<std::int32_t>(x->image.fixed.data() + off) <
                              Load<std::int32_t>(y->image.fixed.data() + off);
                     });
    fresh->autoIncField = static_cast<int>(i);
    fresh->autoIncCount = fresh->entries.empty()
                            ? 0
                            : Load<std::int32_t>(fresh->entries.back()->image.fixed.data() + off);
    break;
  }

  store_ = std::move(fresh);
  MakeFields();
  try {
    BuildKeys();
  } catch (...) {
    DropStore();
    throw;
  }
  BuildView();
  modified_ = false;
  SetState(dsBrowse);
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->ActiveChanged(*this);
  NotifyDataSetChanged();
  DoEvent(AfterOpen);
  if (!view_.empty()) DoEvent(AfterScroll);
}

void TMemTable::Close() {
  if (!Active()) return;
  buffer_ = TRecordImage();
  modified_ = false;
  fields_.clear();
  view_.clear();
  keys_.clear();
  cur_ = -1;
  eof_ = bof_ = true;
  SetState(dsInactive);
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->ActiveChanged(*this);
}

void TMemTable::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    for (TDataLink* l : std::vector<TDataLink*>(links_)) l->UpdateRecord(*this);
    if (modified_)
      Post();
    else
      Cancel();
  }
}

void TMemTable::Move(int target, bool toEnd, bool toStart) {
  CheckBrowseMode();
  DoEvent(BeforeScroll);
  const int n = static_cast<int>(view_.size());
  if (toStart) {  // First
    cur_ = n ? 0 : -1;
    bof_ = true;
    eof_ = n == 0;
  } else if (toEnd) {  // Last
    cur_ = n - 1;
    eof_ = true;
    bof_ = n == 0;
  } else if (target > 0) {  // Next
    if (!eof_) {
      bof_ = false;
      if (cur_ + 1 < n)
        ++cur_;
      else
        eof_ = true;
    }
  } else if (target < 0) {  // Prior
    if (!bof_) {
      eof_ = false;
      if (cur_ > 0)
        --cur_;
      else
        bof_ = true;
    }
  }
  NotifyDataSetChanged();
  DoEvent(AfterScroll);
}

void TMemTable::First() { Move(0, false, true); }
void TMemTable::Last() { Move(0, true, false); }
void TMemTable::Next() { Move(1, false, false); }
void TMemTable::Prior() { Move(-1, false, false); }

void TMemTable::SetRecNo(int recNo) {
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(view_.size())) return;
  if (state_ == dsBrowse && recNo - 1 == cur_) return;
  CheckBrowseMode();
  if (recNo > static_cast<int>(view_.size())) return;
  DoEvent(BeforeScroll);
  cur_ = recNo - 1;
  bof_ = eof_ = false;
  NotifyDataSetChanged();
  DoEvent(AfterScroll);
}

bool TMemTable::Eof() const { return eof_ || view_.empty(); }
bool TMemTable::Bof() const { return bof_ || view_.empty(); }
int TMemTable::RecordCount() const { return Active() ? static_cast<int>(view_.size()) : 0; }

int TMemTable::RecNo() const {
  if (state_ != dsBrowse && state_ != dsEdit) return 0;
  return cur_ >= 0 ? cur_ + 1 : 0;
}

void TMemTable::Insert() {
  CheckBrowseMode();
  DoEvent(BeforeInsert);
  DoEvent(BeforeScroll);
  CheckActive();  // a handler may have closed the table
  insertFrom_ = cur_;
  buffer_ = store_->layout.NewRecord();
  autoIncGiven_ = false;
  bof_ = eof_ = false;
  SetState(dsInsert);
  NotifyDataSetChanged();
  try {
    DoEvent(OnNewRecord);
  } catch (...) {
    buffer_ = TRecordImage();
    cur_ = insertFrom_;
    eof_ = bof_ = view_.empty();
    SetState(dsBrowse);
    NotifyDataSetChanged();
    throw;
  }
  modified_ = false;
  DoEvent(AfterInsert);
  DoEvent(AfterScroll);
}

void TMemTable::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (view_.empty()) {  // nothing to change: a change starts a new record instead
    Insert();
    return;
  }
  TEntry* e = view_[static_cast<std::size_t>(cur_)];
  if (!e->undo) e->undo = std::make_unique<TRecordImage>(e->image);
  buffer_ = e->image;
  modified_ = false;
  SetState(dsEdit);
}

void TMemTable::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->UpdateRecord(*this);
  DoEvent(BeforePost);
  if (state_ != dsEdit && state_ != dsInsert) return;  // a handler ended the edit itself
  if (state_ == dsInsert) {
    if (store_->autoIncField >= 0) {
      const TMemField& f = store_->layout.fields[static_cast<std::size_t>(store_->autoIncField)];
      char* slot = buffer_.fixed.data() + f.offset;
      if (autoIncGiven_) {
        store_->autoIncCount = std::max<std::int64_t>(store_->autoIncCount, Load<std::int32_t>(slot));
      } else {
        if (store_->autoIncCount >= std::numeric_limits<std::int32_t>::max())
          DbError("The auto-increment field '" + Cp1251ToUtf8(f.name) + "' has reached " +
                  std::to_string(std::numeric_limits<std::int32_t>::max()) +
                  "; no further record can be added");
        Store<std::int32_t>(slot, static_cast<std::int32_t>(++store_->autoIncCount));
      }
    }
    autoIncGiven_ = false;
    auto e = std::make_unique<TEntry>();
    e->image = std::move(buffer_);
    e->state = rsInserted;
    view_.push_back(e.get());
    store_->entries.push_back(std::move(e));
    cur_ = static_cast<int>(view_.size()) - 1;
  } else {
    if (cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
      DbError("Error saving record: Record is not found");
    TEntry* e = view_[static_cast<std::size_t>(cur_)];
    bool found = false;
    for (const auto& s : store_->entries)  // the entry must still belong to the store
      if (s.get() == e) found = true;
    if (!found) DbError("Error saving record: Record is not found");
    if (e->state == rsDeleted || e->state == rsRemoved)
      DbError("Error saving record: Record has been deleted");
    e->image = std::move(buffer_);
    if (e->state == rsUnchanged) e->state = rsChanged;
  }
  buffer_ = TRecordImage();
  modified_ = false;
  bof_ = eof_ = false;
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterPost);
}

void TMemTable::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  const bool inserting = state_ == dsInsert;
  DoEvent(BeforeCancel);
  if (state_ != dsEdit && state_ != dsInsert) return;  // a handler ended the edit itself
  if (inserting) DoEvent(BeforeScroll);
  buffer_ = TRecordImage();
  modified_ = false;
  if (inserting) {
    cur_ = std::min(insertFrom_, static_cast<int>(view_.size()) - 1);
    bof_ = eof_ = view_.empty();
  }
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterCancel);
  if (inserting) DoEvent(AfterScroll);
}

void TMemTable::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (view_.empty()) DbError(kEmpty);
  DoEvent(BeforeDelete);
  DoEvent(BeforeScroll);
  CheckActive();  // a handler may have closed the table or moved
  if (cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
    DbError("Error deleting record: Record is not found");
  TEntry* e = view_[static_cast<std::size_t>(cur_)];
  bool found = false;
  for (const auto& s : store_->entries)
    if (s.get() == e) found = true;
  if (!found) DbError("Error deleting record: Record is not found");
  if (e->state == rsDeleted || e->state == rsRemoved)
    DbError("Error deleting record: Record has been deleted");
  if (e->state == rsInserted) {
    e->state = rsRemoved;
    e->image = TRecordImage();  // a record added since the load has nothing to keep
    e->undo.reset();
  } else {
    e->state = rsDeleted;
  }
  view_.erase(view_.begin() + cur_);
  if (cur_ >= static_cast<int>(view_.size())) cur_ = static_cast<int>(view_.size()) - 1;
  buffer_ = TRecordImage();
  modified_ = false;
  bof_ = false;
  eof_ = view_.empty();
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterDelete);
  DoEvent(AfterScroll);
}

TRecordState TMemTable::RecordState() const {
  if (state_ == dsInsert) return rsInserted;
  if (state_ == dsInactive || cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
    return rsUnchanged;
  return view_[static_cast<std::size_t>(cur_)]->state;
}

std::string TMemTable::TextAt(int recNo, int fieldIndex) const {
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(view_.size()) || fieldIndex < 0 ||
      fieldIndex >= static_cast<int>(fields_.size()))
    return {};
  const TRecordImage* img = (state_ == dsEdit && recNo - 1 == cur_)
                                ? &buffer_
                                : &view_[static_cast<std::size_t>(recNo - 1)]->image;
  const TMemField& f = store_->layout.fields[static_cast<std::size_t>(fieldIndex)];
  return TFieldReader{f, img}.Text(decimalSeparator_);
}

std::string TMemTable::TableComment() const {
  return store_ ? Cp1251ToUtf8(store_->layout.comment) : std::string();
}

void TMemTable::SetTableComment(std::string_view utf8) {
  if (!store_) DbError(kClosed);
  std::string bytes;
  TEncodeResult er = Utf8ToCp1251(utf8, bytes);
  if (!er.ok) DbError(EncodeErrorMessage(er, "comment"));
  if (bytes.size() > 32767) DbError("The table comment is longer than 32767 characters");
  store_->layout.comment = std::move(bytes);
}

int TMemTable::StoreCount() const {
  return store_ ? static_cast<int>(store_->entries.size()) : 0;
}

TRecordState TMemTable::StoreState(int index) const {
  return store_->entries.at(static_cast<std::size_t>(index))->state;
}

const TTableLayout* TMemTable::Layout() const { return store_ ? &store_->layout : nullptr; }

namespace {
// "name.ext" -> "name.~d"; a name without an extension gets one.
std::string BackupName(const std::string& file) {
  std::size_t slash = file.rfind('/');
  std::size_t dot = file.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return file + ".~d";
  return file.substr(0, dot) + ".~d";
}
}  // namespace

void TMemTable::SaveToFile(const std::string& fileName) {
  if (!store_) return;
  try {
    if ((saveOptions_ & savAutoBackup) && FileExists(fileName)) {
      std::string old;
      if (!ReadWholeFile(fileName, old)) DbError("Cannot read file \"" + fileName + "\"");
      WriteFileSafely(BackupName(fileName), old);
    }
    if (saveOptions_ & savSortOnIndex) {
      std::vector<int> keys = KeyFields();
      if (!keys.empty()) {
        // Records that are gone (never written) go last, in their order.
        auto& entries = store_->entries;
        auto gone = [](const auto& e) { return e->state == rsDeleted || e->state == rsRemoved; };
        auto mid = std::stable_partition(entries.begin(), entries.end(),
                                         [&](const auto& e) { return !gone(e); });
        const std::size_t live = static_cast<std::size_t>(mid - entries.begin());
        std::vector<const TRecordImage*> recs;
        recs.reserve(live);
        for (std::size_t i = 0; i < live; ++i) recs.push_back(&entries[i]->image);
        std::vector<std::size_t> order =
            SortOrder(recs, keys, sortOptions_ & vsoCaseInsensitive, true);
        std::vector<std::unique_ptr<TEntry>> sorted;
        sorted.reserve(entries.size());
        for (std::size_t i : order) sorted.push_back(std::move(entries[i]));
        for (std::size_t i = live; i < entries.size(); ++i) sorted.push_back(std::move(entries[i]));
        entries.swap(sorted);
      }
    }
    auto writeAll = [&](TImageSink& sink) {
      TImageWriter w(store_->layout, sink);
      w.Begin();
      for (const auto& e : store_->entries)
        if (e->state != rsDeleted && e->state != rsRemoved) w.Record(e->image);
      w.End();
    };
    if (saveOptions_ & savSlowMode) {
      TSafeFileWriter out(fileName);
      writeAll(out);
      out.Commit();
    } else {
      // The whole image in memory first, sized from the records so it is not regrown.
      std::size_t estimate = 17 + store_->layout.section.size() + 3 + store_->layout.comment.size();
      const std::size_t nf = store_->layout.fields.size();
      for (const auto& e : store_->entries) {
        if (e->state == rsDeleted || e->state == rsRemoved) continue;
        estimate += nf + e->image.fixed.size();
        for (const auto& v : e->image.var)
          if (v) estimate += 4 + v->size();
      }
      std::string image;
      image.reserve(estimate);
      TStringSink sink(image);
      writeAll(sink);
      WriteFileSafely(fileName, image);
    }
  } catch (const EFileError& e) {
    DbError(e.what());
  }
}

}  // namespace store
