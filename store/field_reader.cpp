#include "store/field_reader.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "numeric/format.h"
#include "store/bytes.h"
#include "store/cp1251.h"

namespace store {

namespace {

std::string Pad(long long v, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*lld", width, v);
  return buf;
}

std::string DateText(std::int64_t day) {
  int y, m, d;
  DayNumberToDate(day, y, m, d);
  return Pad(y, 4) + "-" + Pad(m, 2) + "-" + Pad(d, 2);
}

std::string TimeText(std::int64_t ms) {
  std::string sign;
  if (ms < 0) {
    sign = "-";
    ms = -ms;
  }
  return sign + Pad(ms / 3600000, 2) + ":" + Pad(ms / 60000 % 60, 2) + ":" +
         Pad(ms / 1000 % 60, 2) + "." + Pad(ms % 1000, 3);
}

}  // namespace

std::int32_t TFieldReader::Int() const {
  if (!r) return 0;
  switch (f.type) {
    case ftSmallint:
    case ftBoolean:
      return Load<std::int16_t>(Slot());
    case ftWord:
      return Load<std::uint16_t>(Slot());
    default:
      return Load<std::int32_t>(Slot());
  }
}

double TFieldReader::Dbl() const {
  return r ? Load<double>(Slot()) : 0.0;
}

std::string TFieldReader::Bytes() const {
  if (!r) return {};
  if (f.IsHeldApart()) {
    const auto& v = r->var[static_cast<std::size_t>(f.varIndex)];
    if (!v) return {};
    return f.IsLongString() ? std::string(UpToZero(*v)) : *v;
  }
  if (f.type == ftString) return ShortStringValue(f, *r);
  return std::string(Slot(), f.type == ftString ? f.size : f.width);
}

bool TFieldReader::IsNull() const {
  if (!r) return true;
  switch (f.type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
    case ftBlob:
    case ftGraphic:
      return Bytes().empty();
    case ftDate:
      return Load<std::int32_t>(Slot()) == 0;
    case ftDateTime: {
      std::uint64_t bits;
      std::memcpy(&bits, Slot(), 8);
      return bits == 0;
    }
    default:
      return false;
  }
}

std::string TFieldReader::Text(char sep) const {
  switch (f.type) {
    case ftString:
    case ftMemo:
    case ftFmtMemo:
      return Cp1251ToUtf8(Bytes());
    case ftBlob:
    case ftGraphic:
      return Bytes();
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
      return std::to_string(Int());
    case ftBoolean:
      return Int() != 0 ? "True" : "False";
    case ftFloat:
    case ftCurrency:
      return numeric::FormatGeneral15(Dbl(), sep);
    case ftDate:
      return IsNull() ? std::string() : DateText(Int());
    case ftTime:
      return TimeText(Int());
    case ftDateTime: {
      if (IsNull()) return {};
      double v = Dbl();
      if (!std::isfinite(v) || std::fabs(v) > 1e18) return numeric::FormatGeneral15(v, sep);
      std::int64_t total = static_cast<std::int64_t>(std::llround(v));
      std::int64_t day = total / kMsPerDay, ms = total % kMsPerDay;
      if (ms < 0) {
        ms += kMsPerDay;
        --day;
      }
      return DateText(day) + "T" + TimeText(ms);
    }
    default:
      return {};
  }
}

}  // namespace store
