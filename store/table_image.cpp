#include "store/table_image.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <limits>

#include "store/bytes.h"

namespace store {
namespace {

constexpr std::size_t kHeaderSize = 17;

[[noreturn]] void Fail(const std::string& reason) { throw ETableImageError(reason); }

const char kCorrupt[] = "Buffer structure corruption!";
const char kSectionError[] = "Error in buffer structure (field description section)";
const char kEndOfBuffer[] = "Unexpected end of buffer";

std::string LengthMessage(const char* what, const std::string& name, long long len, int rec) {
  return std::string(what) + " '" + name + "' has wrong length " + std::to_string(len) +
         " in record " + std::to_string(rec);
}

// Kind and width for a type letter; false for a letter not in the table.
bool KindOfLetter(char c, TFieldType& type, int& width) {
  switch (c) {
    case 'l': type = ftSmallint; width = 2; return true;
    case 'i': type = ftInteger; width = 4; return true;
    case 'a': type = ftAutoInc; width = 4; return true;
    case 'b': type = ftBoolean; width = 2; return true;
    case 'f': type = ftFloat; width = 8; return true;
    case 'c': type = ftCurrency; width = 8; return true;
    case 'd': type = ftDate; width = 4; return true;
    case 'v': type = ftTime; width = 4; return true;
    case 't': type = ftDateTime; width = 8; return true;
    case 's': type = ftString; width = 4; return true;
    case 'm': type = ftMemo; width = 4; return true;
    case 'r': type = ftFmtMemo; width = 4; return true;
    case 'o': type = ftBlob; width = 4; return true;
    case 'g': type = ftGraphic; width = 4; return true;
    default: break;
  }
  if (c >= '0' && c <= '9') {
    type = ftString;
    width = c - '0';
    return true;
  }
  if (c >= 'A' && c <= 'Z') {
    type = ftString;
    width = c - 'A' + 10;
    return true;
  }
  return false;
}

}  // namespace

std::optional<std::vector<std::string>> ReadTableFieldNames(const std::string& path) {
  if (!LooksLikeTableImage(path)) return std::nullopt;
  std::ifstream f(path, std::ios::binary);
  char head[17];
  if (!f.read(head, sizeof head)) return std::nullopt;
  std::string section(static_cast<size_t>(Load<std::int32_t>(head + 13)), '\0');
  if (!f.read(section.data(), static_cast<std::streamsize>(section.size()))) return std::nullopt;
  try {
    std::vector<std::string> names;
    for (const TMemField& field : LayoutFromSection(section, Load<std::int32_t>(head + 9)).fields)
      names.push_back(field.name);
    return names;
  } catch (const ETableImageError&) {
    return std::nullopt;
  }
}

bool LooksLikeTableImage(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  if (!f) return false;
  const std::streamoff size = f.tellg();
  constexpr std::streamoff kHeader = 17;
  if (size < kHeader || size > std::numeric_limits<std::uint32_t>::max()) return false;
  char head[kHeader];
  f.seekg(0);
  if (!f.read(head, kHeader)) return false;
  const auto length = Load<std::uint32_t>(head);
  const auto fields = Load<std::int32_t>(head + 9);
  const auto section = Load<std::int32_t>(head + 13);
  if (length != static_cast<std::uint64_t>(size) || fields < 0 || section < fields ||
      section > size - kHeader) {
    return false;
  }
  // Only as much of the section as the entries need is read: each ends with 0x12.
  std::string bytes(static_cast<size_t>(std::min<std::int32_t>(section, 1 << 20)), '\0');
  if (!f.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
  return std::count(bytes.begin(), bytes.end(), '\x12') >=
         std::min<std::ptrdiff_t>(fields, std::ptrdiff_t{1} << 19);
}

bool IsBlobType(TFieldType t) {
  return t == ftMemo || t == ftFmtMemo || t == ftBlob || t == ftGraphic;
}

std::string_view UpToZero(std::string_view s) {
  std::size_t z = s.find('\0');
  return z == std::string_view::npos ? s : s.substr(0, z);
}

std::string ShortStringValue(const TMemField& f, const TRecordImage& r) {
  return std::string(UpToZero(std::string_view(r.fixed).substr(f.offset, f.size)));
}

TRecordImage TTableLayout::NewRecord() const {
  TRecordImage r;
  r.fixed.assign(fixedSize, '\0');
  r.var.resize(static_cast<std::size_t>(varCount));
  return r;
}

TTableLayout LayoutFromSection(std::string_view section, std::int32_t count) {
  TTableLayout layout;
  layout.section = std::string(section);
  if (count < 0) Fail(kCorrupt);
  std::size_t pos = 0;
  for (std::int32_t i = 0; i < count && pos < section.size(); ++i) {
    std::size_t end = section.find('\x12', pos);
    if (end == std::string_view::npos) Fail(kSectionError);
    std::string_view entry = section.substr(pos, end - pos);
    pos = end + 1;
    std::size_t blank = entry.find(' ');
    if (blank == std::string_view::npos || blank + 1 >= entry.size()) Fail(kSectionError);
    std::string_view namePart = entry.substr(0, blank);
    TMemField f;
    std::size_t dot = namePart.find('.');
    if (dot == std::string_view::npos) {
      f.name = std::string(namePart);
    } else {
      f.prefix = std::string(namePart.substr(0, dot));
      f.name = std::string(namePart.substr(dot + 1));
    }
    f.letter = entry[blank + 1];
    int width = 0;
    if (!KindOfLetter(f.letter, f.type, width))
      Fail("Unknown type '" + std::string(1, f.letter) + "' of field '" + f.name + "'");
    if (f.letter == 's') {
      std::string_view digits = entry.substr(blank + 2);
      if (digits.empty()) {
        f.size = 100;
      } else {
        unsigned long v = 0;
        for (char c : digits) {
          if (c < '0' || c > '9') Fail(kCorrupt);
          v = v * 10 + static_cast<unsigned long>(c - '0');
          if (v > std::numeric_limits<std::uint16_t>::max()) Fail(kCorrupt);
        }
        f.size = static_cast<std::uint16_t>(v);
      }
      f.width = 4;
    } else if (f.type == ftString) {
      f.size = static_cast<std::uint16_t>(width);
      f.width = static_cast<std::uint16_t>(width);
    } else {
      f.width = static_cast<std::uint16_t>(width);
    }
    layout.fields.push_back(std::move(f));
  }
  // A section that ends before the declared number of entries cannot describe the records.
  if (layout.fields.size() != static_cast<std::size_t>(count)) Fail(kSectionError);

  std::uint32_t offset = 0;
  int var = 0;
  for (TMemField& f : layout.fields) {
    f.compareFlag = !(f.type == ftString || IsBlobType(f.type));
    if (f.IsLongString() || IsBlobType(f.type)) {
      f.varIndex = var++;
    } else {
      f.offset = offset;
      offset += f.type == ftString ? f.size + 1u : f.width;
    }
  }
  layout.fixedSize = offset;
  layout.varCount = var;
  return layout;
}

TTableLayout ReadTableImage(std::string_view b, const TRecordSink& onRecord,
                            std::size_t* declaredRecords, const TLayoutSink& onLayout) {
  if (b.size() < 5) Fail(kCorrupt);
  const char kind = b[4];
  if (kind == 'E') Fail(std::string(b.substr(5)));
  if (kind == 'P') Fail("Invalid password. Table cannot be open");
  if (b.size() < kHeaderSize) Fail(kCorrupt);
  const std::int32_t count = Load<std::int32_t>(b.data() + 5);
  const std::int32_t n = Load<std::int32_t>(b.data() + 9);
  const std::int32_t d = Load<std::int32_t>(b.data() + 13);
  if (n < 0 || d < 0 || static_cast<std::size_t>(d) > b.size() - kHeaderSize) Fail(kCorrupt);

  TTableLayout lay = LayoutFromSection(b.substr(kHeaderSize, static_cast<std::size_t>(d)), n);
  const std::size_t nf = lay.fields.size();
  std::size_t pos = kHeaderSize + static_cast<std::size_t>(d);

  if (pos < b.size() && b[pos] == '*') {
    if (b.size() - pos >= nf) {
      if (b.size() - pos < 3) Fail(kEndOfBuffer);
      std::int16_t len = Load<std::int16_t>(b.data() + pos + 1);
      if (len < 0) Fail(kCorrupt);
      pos += 3;
      if (b.size() - pos < static_cast<std::size_t>(len)) Fail(kEndOfBuffer);
      lay.comment = std::string(b.substr(pos, static_cast<std::size_t>(len)));
      pos += static_cast<std::size_t>(len);
    } else if (b.size() - pos >= 3) {
      // Fewer than N bytes: no record can follow. The writer still puts a short comment of an
      // empty table here, so take it when it fits exactly instead of losing it on the next
      // save; anything else is ignored as before.
      std::int16_t len = Load<std::int16_t>(b.data() + pos + 1);
      if (len >= 0 && b.size() - pos - 3 == static_cast<std::size_t>(len)) {
        lay.comment = std::string(b.substr(pos + 3));
        pos = b.size();
      }
    }
  }

  if (onLayout) onLayout(lay);

  // A table without fields has records of no bytes; none are read (see the count check).
  std::int32_t read = 0;
  std::vector<unsigned char> lens(nf);
  // Every record takes at least N bytes, so only a count that the bytes left can hold is
  // passed on for sizing; a larger count cannot be met and fails below.
  if (declaredRecords)
    *declaredRecords =
        count > 0 && nf > 0 && static_cast<std::uint64_t>(count) <= (b.size() - pos) / nf
            ? static_cast<std::size_t>(count)
            : 0;
  while (nf > 0 && b.size() - pos >= nf && read < count) {
    const int recNo = read + 1;
    for (std::size_t i = 0; i < nf; ++i) {
      const TMemField& f = lay.fields[i];
      unsigned char lb = static_cast<unsigned char>(b[pos + i]);
      lens[i] = lb;
      bool ok = f.IsHeldApart() ? (lb == 0 || lb == 4) : lb <= f.width;
      if (!ok) Fail(LengthMessage("Field", f.name, lb, recNo));
    }
    pos += nf;
    TRecordImage rec = lay.NewRecord();
    for (std::size_t i = 0; i < nf; ++i) {
      const unsigned char lb = lens[i];
      if (lb == 0) continue;
      const TMemField& f = lay.fields[i];
      if (b.size() - pos < lb) Fail(kEndOfBuffer);
      if (!f.IsHeldApart()) {
        std::memcpy(rec.fixed.data() + f.offset, b.data() + pos, lb);
        pos += lb;
        continue;
      }
      const std::int32_t len = Load<std::int32_t>(b.data() + pos);
      pos += 4;
      if (f.IsLongString()) {
        if (len < 0 || len > kMaxLongString) Fail(LengthMessage("String field", f.name, len, recNo));
      } else if (len < 0 || len >= kBlobLengthLimit) {
        Fail(LengthMessage("BLOB field", f.name, len, recNo));
      }
      if (b.size() - pos < static_cast<std::size_t>(len)) Fail(kEndOfBuffer);
      rec.var[static_cast<std::size_t>(f.varIndex)] =
          std::string(b.substr(pos, static_cast<std::size_t>(len)));
      pos += static_cast<std::size_t>(len);
    }
    onRecord(std::move(rec));
    ++read;
  }
  if (read != count)
    Fail("Number of records read (" + std::to_string(read) +
         ") does not match declared record count (" + std::to_string(count) + ")");
  return lay;
}

TTableImage ReadTableImage(std::string_view b) {
  TTableImage img;
  std::size_t declared = 0;
  bool sized = false;
  img.layout = ReadTableImage(
      b,
      [&](TRecordImage&& r) {
        if (!sized) img.records.reserve(declared);
        sized = true;
        img.records.push_back(std::move(r));
      },
      &declared);
  return img;
}

std::string BuildFieldSection(const std::vector<TFieldDefBytes>& defs) {
  std::string s;
  for (const TFieldDefBytes& d : defs) {
    s += "XXX.";
    for (char c : d.name) s.push_back(c == ' ' ? '_' : c);
    s.push_back(' ');
    switch (d.type) {
      case ftSmallint:
      case ftWord: s += 'l'; break;
      case ftInteger: s += 'i'; break;
      case ftAutoInc: s += 'a'; break;
      case ftBoolean: s += 'b'; break;
      case ftFloat: s += 'f'; break;
      case ftCurrency: s += 'c'; break;
      case ftDate: s += 'd'; break;
      case ftTime: s += 'v'; break;
      case ftDateTime: s += 't'; break;
      case ftMemo: s += 'm'; break;
      case ftFmtMemo: s += 'r'; break;
      case ftBlob: s += 'o'; break;
      case ftGraphic: s += 'g'; break;
      case ftString:
        if (d.size >= 0 && d.size <= 9)
          s += static_cast<char>('0' + d.size);
        else if (d.size >= 10 && d.size <= 35)
          s += static_cast<char>('A' + d.size - 10);
        else
          s += "s" + std::to_string(d.size);
        break;
      default: s += 's'; break;  // reads back as a long string of 100 characters
    }
    s.push_back('\x12');
  }
  s.push_back('\x14');
  return s;
}

void TStringSink::Write(const void* data, std::size_t size) {
  out_.append(static_cast<const char*>(data), size);
}

void TStringSink::Patch(std::uint64_t offset, const void* data, std::size_t size) {
  std::memcpy(out_.data() + offset, data, size);
}

void TImageWriter::Begin() {
  start_ = sink_.Position();
  written_ = 0;
  std::string h;
  Append<std::uint32_t>(h, 0);
  h.push_back('S');
  Append<std::int32_t>(h, 0);
  Append<std::int32_t>(h, static_cast<std::int32_t>(layout_.fields.size()));
  Append<std::int32_t>(h, static_cast<std::int32_t>(layout_.section.size()));
  h += layout_.section;
  if (!layout_.comment.empty()) {
    h.push_back('*');
    Append<std::int16_t>(h, static_cast<std::int16_t>(layout_.comment.size()));
    h += layout_.comment;
  }
  sink_.Write(h.data(), h.size());
}

void TImageWriter::Record(const TRecordImage& rec) {
  const std::size_t nf = layout_.fields.size();
  buf_.assign(nf, '\0');
  for (std::size_t i = 0; i < nf; ++i) {
    const TMemField& f = layout_.fields[i];
    const char* slot = rec.fixed.data() + f.offset;
    unsigned char lb = 0;
    switch (f.type) {
      case ftSmallint:
      case ftWord:
      case ftBoolean: {
        std::int16_t v = Load<std::int16_t>(slot);
        if (v != 0) {
          if (f.type == ftBoolean) v = static_cast<std::int16_t>(-1);  // true is 0xFFFF
          Append(buf_, v);
          lb = 2;
        }
        break;
      }
      case ftInteger:
      case ftAutoInc:
      case ftDate:
      case ftTime: {
        std::int32_t v = Load<std::int32_t>(slot);
        if (v != 0) {
          Append(buf_, v);
          lb = 4;
        }
        break;
      }
      case ftFloat:
      case ftCurrency:
      case ftDateTime: {
        double v = Load<double>(slot);
        if (v != 0.0) {
          Append(buf_, v);
          lb = 8;
        }
        break;
      }
      case ftString:
      case ftMemo:
      case ftFmtMemo:
      case ftBlob:
      case ftGraphic: {
        if (!f.IsHeldApart()) {
          std::string_view text = UpToZero(std::string_view(slot, f.size));
          if (!text.empty()) {
            buf_.append(text);
            lb = static_cast<unsigned char>(text.size());
          }
          break;
        }
        const auto& v = rec.var[static_cast<std::size_t>(f.varIndex)];
        if (!v) break;
        std::string_view bytes = f.IsLongString() ? UpToZero(*v) : std::string_view(*v);
        if (bytes.empty()) break;
        Append(buf_, static_cast<std::int32_t>(bytes.size()));
        buf_.append(bytes);
        lb = 4;
        break;
      }
      default: break;  // a kind the format has no letter for is never written
    }
    buf_[i] = static_cast<char>(lb);
  }
  sink_.Write(buf_.data(), buf_.size());
  ++written_;
}

void TImageWriter::End() {
  std::int32_t count = written_;
  std::uint32_t length = static_cast<std::uint32_t>(sink_.Position() - start_);
  sink_.Patch(start_ + 5, &count, sizeof count);
  sink_.Patch(start_, &length, sizeof length);
}

std::string WriteTableImage(const TTableLayout& layout, const std::vector<TRecordImage>& records) {
  std::string out;
  TStringSink sink(out);
  TImageWriter w(layout, sink);
  w.Begin();
  for (const TRecordImage& r : records) w.Record(r);
  w.End();
  return out;
}

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil algorithms).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
const std::int64_t kDay1 = DaysFromCivil(1, 1, 1);
}  // namespace

void DayNumberToDate(std::int64_t day, int& y, int& m, int& d) {
  std::int64_t z = day - 1 + kDay1 + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

bool DateToDayNumber(int y, int m, int d, std::int32_t& day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int maxd = kDays[m - 1] + (m == 2 && leap ? 1 : 0);
  if (d > maxd) return false;
  day = static_cast<std::int32_t>(DaysFromCivil(y, static_cast<unsigned>(m),
                                                static_cast<unsigned>(d)) - kDay1 + 1);
  return true;
}

}  // namespace store
