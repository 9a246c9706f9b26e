// Field objects: reading and writing one field of the current record, and blob streams over
// memos and objects.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "numeric/format.h"
#include "store/bytes.h"
#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/memtable.h"
#include "store/memtable_internal.h"

namespace store {

using namespace detail;

namespace {

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
    case ftCurrency:
      return "Float";
    case ftBoolean:
      return "Boolean";
    default:
      return "Integer";
  }
}

// Number of '#' and '0' after the '.' of a display format such as "0.######".
void PatternDecimals(const std::string& fmt, int& maxDec) {
  maxDec = 0;
  std::size_t dot = fmt.find('.');
  if (dot == std::string::npos) return;
  for (std::size_t i = dot + 1; i < fmt.size() && (fmt[i] == '#' || fmt[i] == '0'); ++i) ++maxDec;
}

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

TFieldType TField::DataType() const {
  return Def().type;
}
int TField::Size() const {
  return Def().type == ftString ? Def().size : 0;
}
bool TField::IsBlob() const {
  return IsBlobType(Def().type);
}
bool TField::IsNumeric() const {
  TFieldType t = Def().type;
  return IsIntegerKind(t) || IsFloatKind(t);
}

bool TField::IsNull() const {
  return TFieldReader{Def(), table_->CurrentImage()}.IsNull();
}

std::string TField::AsString() const {
  return TFieldReader{Def(), table_->CurrentImage()}.Text(table_->decimalSeparator_);
}

std::string TField::AsBytes() const {
  return TFieldReader{Def(), table_->CurrentImage()}.Bytes();
}

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
    case ftGraphic:
      SetAsBytes(text);
      return;
    default:
      break;
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
      bool ok =
          ParseDateText(std::string_view(t).substr(0, tpos), day) &&
          (tpos == std::string::npos || ParseTimeText(std::string_view(t).substr(tpos + 1), ms));
      if (!ok) DbError(quoted() + " is not a valid date and time");
      w.Dbl(static_cast<double>(day) * kMsPerDay + ms);
      break;
    }
    default:
      DbError("Cannot access field '" + name_ + "' as type String");
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
      DbError("'" + numeric::FormatGeneral15(v, sep) +
              "' is not a valid integer value for field '" + name_ + "'");
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

}  // namespace store
