#include "store/table_json.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <unordered_map>
#include <vector>

#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/memtable.h"
#include "store/safe_file.h"
#include "store/table_image.h"

namespace store {

namespace {

// Members of a record are looked up by name, so an object of many members must not be an ordered
// list (each insertion would search it whole).
using Json = nlohmann::json;

struct TypeName {
  TFieldType type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {ftSmallint, "smallint"}, {ftInteger, "integer"}, {ftAutoInc, "autoinc"},
    {ftBoolean, "boolean"},   {ftFloat, "float"},     {ftCurrency, "currency"},
    {ftDate, "date"},         {ftTime, "time"},       {ftDateTime, "datetime"},
    {ftString, "string"},     {ftMemo, "memo"},       {ftFmtMemo, "fmtmemo"},
    {ftBlob, "blob"},         {ftGraphic, "graphic"},
};

const char* NameOfType(TFieldType t) {
  for (const TypeName& n : kTypeNames)
    if (n.type == t) return n.name;
  return "unknown";
}

bool TypeOfName(const std::string& s, TFieldType& t) {
  for (const TypeName& n : kTypeNames)
    if (s == n.name) {
      t = n.type;
      return true;
    }
  return false;
}

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const std::string& in) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) |
                 (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += kB64[v >> 18];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += kB64[v & 63];
  }
  if (i + 1 == in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kB64[v >> 18];
    out += kB64[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    unsigned v =
        (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += kB64[v >> 18];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& in, std::string& out) {
  if (in.size() % 4 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < in.size(); i += 4) {
    unsigned v = 0;
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      char c = in[i + k];
      const char* p = c ? std::strchr(kB64, c) : nullptr;
      if (c == '=' && i + 4 == in.size() && k >= 2) {
        ++pad;
        v <<= 6;
        continue;
      }
      if (!p || pad) return false;
      v = (v << 6) | static_cast<unsigned>(p - kB64);
    }
    out += static_cast<char>(v >> 16);
    if (pad < 2) out += static_cast<char>((v >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(v & 0xFF);
  }
  return true;
}

std::size_t CodePoints(const std::string& utf8) {
  std::size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string Quoted(const std::string& utf8) {
  return Json(utf8).dump(-1, ' ', false, Json::error_handler_t::strict);
}

// ---------------------------------------------------------------- export

const char* NonFiniteText(double v) {
  return std::isnan(v) ? "NaN" : v > 0 ? "Infinity" : "-Infinity";
}

// The JSON text of one value, as a field object reads it.
std::string ValueJson(const TMemField& f, const TRecordImage& r) {
  const TFieldReader rd{f, &r};
  switch (f.type) {
    case ftSmallint:
    case ftWord:
    case ftInteger:
    case ftAutoInc:
      return std::to_string(rd.Int());
    case ftBoolean:
      return rd.Int() != 0 ? "true" : "false";
    case ftFloat:
    case ftCurrency: {
      const double v = rd.Dbl();
      return std::isfinite(v) ? Json(v).dump() : Quoted(NonFiniteText(v));
    }
    case ftDate:
    case ftDateTime:
      return rd.IsNull() ? "null" : Quoted(rd.Text('.'));
    case ftBlob:
    case ftGraphic:
      return Quoted(Base64Encode(rd.Bytes()));
    default:
      return Quoted(rd.Text('.'));
  }
}

// Pieces of output gathered into blocks, so that `write` is called rarely.
class Output {
 public:
  explicit Output(const std::function<void(std::string_view)>& write) : write_(write) {}
  ~Output() = default;
  Output& operator<<(std::string_view s) {
    buf_ += s;
    if (buf_.size() >= (1u << 16)) Flush();
    return *this;
  }
  void Flush() {
    if (!buf_.empty()) write_(buf_);
    buf_.clear();
  }

 private:
  const std::function<void(std::string_view)>& write_;
  std::string buf_;
};

}  // namespace

void ExportTableJson(const std::string& path, const std::function<void(std::string_view)>& write) {
  std::string bytes;
  if (!FileExists(path) || !ReadWholeFile(path, bytes))
    throw EDatabaseError("Error opening file " + path);
  // The whole file is checked first. A table with an auto-increment field lists its records in
  // counter order, as an opened table holds them; they are gathered only when the file does
  // not already hold them in that order.
  TTableLayout layout;
  std::vector<std::int32_t> counts;
  const TMemField* counter = nullptr;
  try {
    layout = ReadTableImage(
        bytes,
        [&](TRecordImage&& r) {
          if (counter) counts.push_back(TFieldReader{*counter, &r}.Int());
        },
        nullptr,
        [&](const TTableLayout& l) {
          for (const TMemField& f : l.fields)
            if (f.type == ftAutoInc && !counter) counter = &f;
        });
  } catch (const ETableImageError& e) {
    throw EDatabaseError("Error opening table: " + Cp1251ToUtf8(e.what()));
  }
  const bool inOrder = std::is_sorted(counts.begin(), counts.end());
  std::vector<std::int32_t>().swap(counts);
  std::vector<std::string> keys;  // each field's name as a JSON text, with its ": "
  std::set<std::string> seen;
  for (const TMemField& f : layout.fields) {
    const std::string name = Cp1251ToUtf8(f.name);
    if (!seen.insert(name).second)
      throw ETableJsonError("the table has two fields named '" + name +
                            "'; a JSON record cannot hold both");
    keys.push_back(Quoted(name) + ": ");
  }

  Output out(write);
  out << "{\n  \"comment\": " << Quoted(Cp1251ToUtf8(layout.comment)) << ",\n  \"fields\": [";
  for (std::size_t i = 0; i < layout.fields.size(); ++i) {
    const TMemField& f = layout.fields[i];
    out << (i ? ",\n" : "\n") << "    {\n      \"name\": " << keys[i].substr(0, keys[i].size() - 2)
        << ",\n      \"type\": \"" << NameOfType(f.type) << "\"";
    if (f.type == ftString) out << ",\n      \"size\": " << std::to_string(f.size);
    out << "\n    }";
  }
  out << (layout.fields.empty() ? "],\n" : "\n  ],\n") << "  \"records\": [";
  bool any = false;
  const auto record = [&](const TRecordImage& r) {
    out << (any ? ",\n    {" : "\n    {");
    any = true;
    for (std::size_t i = 0; i < layout.fields.size(); ++i)
      out << (i ? ",\n      " : "\n      ") << keys[i] << ValueJson(layout.fields[i], r);
    out << "\n    }";
  };
  if (inOrder) {
    ReadTableImage(bytes, [&](TRecordImage&& r) { record(r); });
  } else {
    TTableImage all = ReadTableImage(bytes);
    const TMemField& f = *std::find_if(layout.fields.begin(), layout.fields.end(),
                                       [](const TMemField& m) { return m.type == ftAutoInc; });
    std::stable_sort(all.records.begin(), all.records.end(), [&](const auto& a, const auto& b) {
      return TFieldReader{f, &a}.Int() < TFieldReader{f, &b}.Int();
    });
    for (const TRecordImage& r : all.records) record(r);
  }
  out << (any ? "\n  ]\n}\n" : "]\n}\n");
  out.Flush();
}

// ---------------------------------------------------------------- import

namespace {

// A failure reported with its place.
[[noreturn]] void Fail(const std::string& message) {
  throw ETableJsonError(message);
}

void SetValue(TField& f, const Json& v, const std::string& where) {
  if (v.is_null()) {
    f.Clear();
    return;
  }
  switch (f.DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftAutoInc: {
      if (!v.is_number_integer()) Fail(where + "an integer is expected");
      const bool fits =
          v.is_number_unsigned()
              ? v.get<std::uint64_t>() <=
                    static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
              : v.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                    v.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max();
      if (!fits) Fail(where + "the integer is out of range");
      const auto i = static_cast<std::int32_t>(v.get<std::int64_t>());
      if (f.DataType() == ftAutoInc)
        f.SetAutoIncValue(i);
      else
        f.SetAsInteger(i);
      return;
    }
    case ftFloat:
    case ftCurrency:
      if (v.is_number()) {
        f.SetAsFloat(v.get<double>());
        return;
      }
      if (v.is_string()) {
        const std::string& s = v.get_ref<const std::string&>();
        for (double x :
             {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
              -std::numeric_limits<double>::infinity()}) {
          if (s == NonFiniteText(x)) {
            f.SetAsStoredFloat(x);
            return;
          }
        }
      }
      Fail(where + "a number is expected");
    case ftBoolean:
      if (!v.is_boolean()) Fail(where + "true or false is expected");
      f.SetAsBoolean(v.get<bool>());
      return;
    case ftBlob:
    case ftGraphic: {
      std::string bytes;
      if (!v.is_string() || !Base64Decode(v.get<std::string>(), bytes))
        Fail(where + "base64 text is expected");
      f.SetAsBytes(bytes);
      return;
    }
    default: {
      if (!v.is_string()) Fail(where + "a text is expected");
      const std::string& s = v.get_ref<const std::string&>();
      if (s.find('\0') != std::string::npos) Fail(where + "the text holds a NUL character");
      if (f.DataType() == ftString && CodePoints(s) > static_cast<std::size_t>(f.Size()))
        Fail(where + "the text is longer than the field size " + std::to_string(f.Size()));
      f.SetAsString(s);
      return;
    }
  }
}

}  // namespace

void ImportTableJson(const std::string& jsonFile, const std::string& dbFile) {
  std::ifstream in(jsonFile, std::ios::binary);
  if (!in) Fail("cannot read " + jsonFile);
  Json doc;
  try {
    doc = Json::parse(in);
  } catch (const Json::parse_error& e) {
    Fail(jsonFile + ": " + e.what());
  }
  if (!doc.is_object() || !doc.contains("fields") || !doc["fields"].is_array())
    Fail(jsonFile + ": an object with \"fields\" is expected");

  TMemTable t;
  std::set<std::string> names;
  for (const Json& d : doc["fields"]) {
    if (!d.is_object() || !d.contains("name") || !d["name"].is_string() || !d.contains("type") ||
        !d["type"].is_string())
      Fail(jsonFile + ": every field needs a \"name\" and a \"type\"");
    TFieldDef def;
    def.Name = d["name"].get<std::string>();
    if (!names.insert(def.Name).second) Fail("field '" + def.Name + "' is defined twice");
    if (!TypeOfName(d["type"].get<std::string>(), def.DataType))
      Fail("field '" + def.Name + "': unknown type '" + d["type"].get<std::string>() + "'");
    if (def.DataType == ftString) {
      if (!d.contains("size") || !d["size"].is_number_integer() || d["size"].get<long long>() < 0 ||
          d["size"].get<long long>() > 8191)
        Fail("field '" + def.Name + "': a string needs a size from 0 to 8191");
      def.Size = d["size"].get<int>();
    }
    t.FieldDefs().push_back(def);
  }
  t.SetTableName("");  // build from the definitions
  t.Open();
  if (doc.contains("comment")) {
    if (!doc["comment"].is_string()) Fail(jsonFile + ": \"comment\" must be a text");
    t.SetTableComment(doc["comment"].get<std::string>());
  }
  if (doc.contains("records")) {
    if (!doc["records"].is_array()) Fail(jsonFile + ": \"records\" must be an array");
    // Member name -> field, found once per distinct name: the exact name first (blanks of a
    // field name are kept as '_'), then the table's own lookup, which ignores letter case.
    std::unordered_map<std::string, TField*> fieldOf;
    for (int i = 0; i < t.FieldCount(); ++i) fieldOf.emplace(t.Fields(i).FieldName(), &t.Fields(i));
    const auto find = [&](const std::string& key) -> TField* {
      if (auto it = fieldOf.find(key); it != fieldOf.end()) return it->second;
      std::string name = key;
      std::replace(name.begin(), name.end(), ' ', '_');
      TField* f = fieldOf.count(name) ? fieldOf[name] : t.FindField(name);
      fieldOf.emplace(key, f);
      return f;
    };
    std::vector<int> givenIn(static_cast<std::size_t>(t.FieldCount()), 0);
    int recNo = 0;
    for (const Json& r : doc["records"]) {
      ++recNo;
      const std::string rec = "record " + std::to_string(recNo);
      if (!r.is_object()) Fail(rec + " is not an object");
      t.Insert();
      for (auto it = r.begin(); it != r.end(); ++it) {
        TField* f = find(it.key());
        if (!f) Fail(rec + ": Field '" + it.key() + "' not found");
        int& given = givenIn[static_cast<std::size_t>(f->Index())];
        if (given == recNo) Fail(rec + ": field '" + f->FieldName() + "' is given twice");
        given = recNo;
        SetValue(*f, it.value(), rec + ", field '" + f->FieldName() + "': ");
      }
      t.Post();
    }
  }
  t.SaveToFile(dbFile);
}

}  // namespace store
