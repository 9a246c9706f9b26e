#pragma once
// A table file in JSON, as brelona-calc db-export writes it and db-import reads it:
//   {"comment": text, "fields": [{"name", "type", "size" (strings only)}, ...],
//    "records": [{field name: value, ...}, ...]}
// Values: integers and booleans as JSON numbers and true/false; floats as numbers, and NaN and
// the infinities as the texts "NaN", "Infinity", "-Infinity"; texts, dates and times as texts;
// objects and pictures as base64 texts; an empty date as null.

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace store {

// A JSON text that cannot become a table; what() says where and why.
class ETableJsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The JSON of the table file `path`, records in file order, handed to `write` piece by piece
// while the records are read one at a time (the table is never held as a whole). The file is
// checked whole first, so nothing is written when it cannot be read. Two fields of the same
// name cannot be written as members of one object: ETableJsonError.
void ExportTableJson(const std::string& path, const std::function<void(std::string_view)>& write);

// Builds the table described by the JSON file `jsonFile` and saves it as `dbFile`. A record's
// members are matched to the fields by exact name first, then without regard to letter case
// (fields "A" and "a" are kept apart). Refused: a member that names a field already given, an
// integer outside its field's range, a text holding a NUL character. Auto-increment values are
// kept; a record without one is counted on from the highest.
void ImportTableJson(const std::string& jsonFile, const std::string& dbFile);

}  // namespace store
