#pragma once
// Reading one field's value out of a record image, exactly as a field object reads it. Field
// objects use it on the current record; the table commands use it on records handed over one at
// a time by the image reader, without opening the table.

#include <cstdint>
#include <string>

#include "store/table_image.h"

namespace store {

// A date-and-time value holds this many milliseconds per day.
inline constexpr std::int64_t kMsPerDay = 86400000;

// r == nullptr: no current record; every value reads as empty (numbers 0, booleans false).
struct TFieldReader {
  const TMemField& f;
  const TRecordImage* r;

  std::int32_t Int() const;   // integer kinds, booleans, dates, times
  double Dbl() const;         // floats, money, date-and-times
  std::string Bytes() const;  // Windows-1251 for texts; raw bytes for objects and pictures
  bool IsNull() const;
  // UTF-8 text: "True"/"False", dates "YYYY-MM-DD", times "HH:MM:SS.mmm", date-and-times
  // "YYYY-MM-DDTHH:MM:SS.mmm", floats in the general 15-digit format with `sep`.
  std::string Text(char sep) const;

 private:
  const char* Slot() const { return r->fixed.data() + f.offset; }
};

}  // namespace store
