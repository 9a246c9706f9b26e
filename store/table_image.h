#pragma once
// The table image: the bytes of a table file, read and written whole.
//
// Layout (all integers little-endian; texts are Windows-1251 bytes, no terminator):
//
//   offset   size  meaning
//   ------   ----  -------------------------------------------------------------------------
//   0        4     image length, unsigned, this field included. Written by the writer,
//                  skipped by the reader (a wrong value does not matter).
//   4        1     kind: 'S' ordinary table, 'P' password-protected (refused),
//                  'E' error image: bytes 5..end are a message that becomes the failure
//                  reason; any other byte is read like 'S'.
//   5        4     record count, signed 32-bit: records stored in the image.
//   9        4     field count N, signed 32-bit.
//   13       4     section length D, signed 32-bit.
//   17       D     field section: N entries "prefix.name<blank>letter[size]" + 0x12 each;
//                  a section built by the engine ends with one more byte 0x14 (ignored).
//   17+D     3+L   optional comment: '*' (0x2A), signed 16-bit length L, L bytes of text.
//                  Taken only when the byte is '*' and at least N bytes remain.
//   then     rest  records, in store order. A record is N length bytes (one per field,
//                  in field order) followed by the value bytes of every field whose length
//                  byte is not 0, in field order.
//
// Field kinds by type letter, slot width in the in-memory record image, and value bytes:
//
//   letter      kind          width  value bytes in a record (length byte)
//   'l'         ftSmallint    2      int16 (1..2; ftWord is written as 'l' too)
//   'i'         ftInteger     4      int32 (1..4)
//   'a'         ftAutoInc     4      int32 (1..4)
//   'b'         ftBoolean     2      uint16, 0 false, else true; true written as 0xFFFF
//   'f'         ftFloat       8      IEEE double (1..8)
//   'c'         ftCurrency    8      IEEE double (1..8)
//   'd'         ftDate        4      int32 day number, 1 = 0001-01-01 (proleptic Gregorian)
//   'v'         ftTime        4      int32 milliseconds since midnight
//   't'         ftDateTime    8      double: day number * 86400000 + milliseconds
//   '0'..'9',
//   'A'..'Z'    ftString      size+1 size 0..35 in base 36; the characters (1..size)
//   's'[digits] ftString      ref    size > 35 (no digits: 100); int32 L (0..8191) + L bytes (4)
//   'm'         ftMemo        ref    int32 L (0..2^30-1) + L bytes (4)
//   'r'         ftFmtMemo     ref    as memo
//   'o'         ftBlob        ref    as memo
//   'g'         ftGraphic     ref    as memo
//
// A fixed-width value shorter than its width fills the low-order bytes; the rest reads 0.
//
// The reader treats every byte as untrusted: each length is checked against what is left
// before it is used, declared counts never size an allocation, and nothing is read past
// the buffer. Failures throw ETableImageError whose what() is the reason text alone (the
// table engine puts "Error opening table: " in front of it).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace store {

// Field kinds, named as the data-access layer names them.
enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftDate,
  ftTime,
  ftDateTime,
  ftAutoInc,
  ftMemo,
  ftFmtMemo,
  ftBlob,
  ftGraphic,
};

// True for the kinds whose value is held apart from the record image (long strings are
// not blobs, but are held apart too).
bool IsBlobType(TFieldType t);

// A failure reason of the reader (the text alone, without "Error opening table: ").
class ETableImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One field of a table as the image describes it. Names and prefixes are Windows-1251.
struct TMemField {
  std::string name;
  std::string prefix = "XXX";
  TFieldType type = ftUnknown;
  char letter = 0;          // the type letter of the entry
  std::uint16_t size = 0;   // declared string size, 0 for other kinds
  std::uint16_t width = 0;  // width of the value in a record (length word for held-apart values)
  std::uint32_t offset = 0; // slot offset in TRecordImage::fixed (fixed-width and short strings)
  int varIndex = -1;        // index in TRecordImage::var (long strings, memos, objects, pictures)
  bool compareFlag = false; // shorter-first rule for short string keys (set for right-aligned)

  bool IsLongString() const { return type == ftString && letter == 's'; }
  bool IsHeldApart() const { return varIndex >= 0; }
};

// A field definition, from which the engine builds a field section. Name is Windows-1251.
struct TFieldDefBytes {
  std::string name;
  TFieldType type = ftUnknown;
  int size = 0;
};

// One record. Fixed-width values and short strings live in `fixed` at their field's
// offset (short strings take size+1 bytes: the characters and at least one zero byte);
// long strings, memos, objects and pictures live in `var` (nullopt: absent).
struct TRecordImage {
  std::string fixed;
  std::vector<std::optional<std::string>> var;
};

// The field layout of a table plus the bytes that are written back unchanged.
struct TTableLayout {
  std::vector<TMemField> fields;
  std::string section;     // the D bytes of the field section, as read or built
  std::string comment;     // Windows-1251; empty: no comment written
  std::uint32_t fixedSize = 0;
  int varCount = 0;

  TRecordImage NewRecord() const;  // all zero bytes, no held-apart values
};

struct TTableImage {
  TTableLayout layout;
  std::vector<TRecordImage> records;
};

// Whether the file at `path` begins as a table image does: an image length equal to the file's
// size, a field count and a field section that fit in it, and the section's entries ended by
// the byte 0x12 (which JSON text never holds). Its first byte alone does not tell: a length
// word may begin with "{" or "[".
bool LooksLikeTableImage(const std::string& path);

// The names of the fields of the table file at `path`, read from its header and field section
// alone (not its records); nothing when the file does not begin as a table image (opening it
// then says what is wrong).
std::optional<std::vector<std::string>> ReadTableFieldNames(const std::string& path);

// Parses a whole image. Throws ETableImageError with the reason.
TTableImage ReadTableImage(std::string_view image);

// The same, handing each record over as it is read. `declaredRecords`, when given, receives
// the record count before the first record if the image can hold that many, else 0.
// `onLayout`, when given, sees the fields and the comment before the first record.
using TRecordSink = std::function<void(TRecordImage&&)>;
using TLayoutSink = std::function<void(const TTableLayout&)>;
TTableLayout ReadTableImage(std::string_view image, const TRecordSink& onRecord,
                            std::size_t* declaredRecords = nullptr,
                            const TLayoutSink& onLayout = nullptr);

// Parses a field section of `count` entries and lays the fields out (used by the reader and
// by the section builder). Throws ETableImageError.
TTableLayout LayoutFromSection(std::string_view section, std::int32_t count);

// Builds the field section from definitions: "XXX." + name (blanks as '_') + ' ' + letter
// [+ decimal size] + 0x12 per definition, then 0x14.
std::string BuildFieldSection(const std::vector<TFieldDefBytes>& defs);

// Where the writer puts its bytes. Patch overwrites bytes already written.
class TImageSink {
 public:
  virtual ~TImageSink() = default;
  virtual void Write(const void* data, std::size_t size) = 0;
  virtual void Patch(std::uint64_t offset, const void* data, std::size_t size) = 0;
  virtual std::uint64_t Position() const = 0;
};

class TStringSink : public TImageSink {
 public:
  explicit TStringSink(std::string& out) : out_(out) {}
  void Write(const void* data, std::size_t size) override;
  void Patch(std::uint64_t offset, const void* data, std::size_t size) override;
  std::uint64_t Position() const override { return out_.size(); }

 private:
  std::string& out_;
};

// Writes an image record by record: Begin, Record for each record, End.
class TImageWriter {
 public:
  TImageWriter(const TTableLayout& layout, TImageSink& sink) : layout_(layout), sink_(sink) {}
  void Begin();
  void Record(const TRecordImage& rec);
  void End();
  std::int32_t RecordsWritten() const { return written_; }

 private:
  const TTableLayout& layout_;
  TImageSink& sink_;
  std::uint64_t start_ = 0;
  std::int32_t written_ = 0;
  std::string buf_;
};

// The whole image of a layout and records, in memory.
std::string WriteTableImage(const TTableLayout& layout, const std::vector<TRecordImage>& records);

// Helpers for values in a record image (little-endian in memory as in the file).
std::string ShortStringValue(const TMemField& f, const TRecordImage& r);  // up to first zero
std::string_view UpToZero(std::string_view s);

// Day number (1 = 0001-01-01) to and from a calendar date; false for an impossible date.
void DayNumberToDate(std::int64_t day, int& y, int& m, int& d);
bool DateToDayNumber(int y, int m, int d, std::int32_t& day);

}  // namespace store
