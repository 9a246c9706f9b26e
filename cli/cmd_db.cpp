// The database commands of brelona-calc: db-export, db-import and list.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/commands.h"
#include "store/memtable.h"
#include "store/safe_file.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;
using store::TFieldType;

// A failure reported as "error: ..." with exit code 1.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct TypeName {
  TFieldType type;
  const char* name;
};
constexpr TypeName kTypeNames[] = {
    {store::ftSmallint, "smallint"}, {store::ftInteger, "integer"},
    {store::ftAutoInc, "autoinc"},   {store::ftBoolean, "boolean"},
    {store::ftFloat, "float"},       {store::ftCurrency, "currency"},
    {store::ftDate, "date"},         {store::ftTime, "time"},
    {store::ftDateTime, "datetime"}, {store::ftString, "string"},
    {store::ftMemo, "memo"},         {store::ftFmtMemo, "fmtmemo"},
    {store::ftBlob, "blob"},         {store::ftGraphic, "graphic"},
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
                 (static_cast<unsigned char>(in[i + 1]) << 8) | static_cast<unsigned char>(in[i + 2]);
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
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
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

void OpenTable(store::TMemTable& t, const std::string& file, const std::string& index) {
  t.SetTableName(file);
  t.SetIndexFieldNames(index);
  try {
    t.Open();
  } catch (const std::exception& e) {
    const std::string hint = NotATableHint(file);
    if (hint.empty()) throw;
    throw Failure(std::string(e.what()) + "\r" + hint);
  }
}

Json ValueOf(store::TField& f) {
  switch (f.DataType()) {
    case store::ftSmallint:
    case store::ftWord:
    case store::ftInteger:
    case store::ftAutoInc: return f.AsInteger();
    case store::ftBoolean: return f.AsBoolean();
    case store::ftFloat:
    case store::ftCurrency: return f.AsFloat();
    case store::ftDate:
    case store::ftDateTime:
      if (f.IsNull()) return nullptr;
      return f.AsString();
    case store::ftBlob:
    case store::ftGraphic: return Base64Encode(f.AsBytes());
    default: return f.AsString();
  }
}

int Export(const std::string& file) {
  store::TMemTable t;
  OpenTable(t, file, "");  // no index: the view is the store order
  Json doc;
  doc["comment"] = t.TableComment();
  Json fields = Json::array();
  for (int i = 0; i < t.FieldCount(); ++i) {
    store::TField& f = t.Fields(i);
    Json d;
    d["name"] = f.FieldName();
    d["type"] = NameOfType(f.DataType());
    if (f.DataType() == store::ftString) d["size"] = f.Size();
    fields.push_back(std::move(d));
  }
  doc["fields"] = std::move(fields);
  Json records = Json::array();
  for (t.First(); !t.Eof(); t.Next()) {
    Json r = Json::object();
    for (int i = 0; i < t.FieldCount(); ++i) r[t.Fields(i).FieldName()] = ValueOf(t.Fields(i));
    records.push_back(std::move(r));
  }
  doc["records"] = std::move(records);
  std::string out = doc.dump(2, ' ', false, Json::error_handler_t::strict);
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

void SetValue(store::TField& f, const Json& v, int recNo) {
  const std::string where = "record " + std::to_string(recNo) + ", field '" + f.FieldName() + "': ";
  if (v.is_null()) {
    f.Clear();
    return;
  }
  switch (f.DataType()) {
    case store::ftSmallint:
    case store::ftInteger:
    case store::ftAutoInc:
      if (!v.is_number_integer()) throw Failure(where + "an integer is expected");
      if (v.get<long long>() < INT32_MIN || v.get<long long>() > INT32_MAX)
        throw Failure(where + "the integer is out of range");
      f.SetAsInteger(static_cast<std::int32_t>(v.get<long long>()));
      return;
    case store::ftFloat:
    case store::ftCurrency:
      if (!v.is_number()) throw Failure(where + "a number is expected");
      f.SetAsFloat(v.get<double>());
      return;
    case store::ftBoolean:
      if (!v.is_boolean()) throw Failure(where + "true or false is expected");
      f.SetAsBoolean(v.get<bool>());
      return;
    case store::ftBlob:
    case store::ftGraphic: {
      std::string bytes;
      if (!v.is_string() || !Base64Decode(v.get<std::string>(), bytes))
        throw Failure(where + "base64 text is expected");
      f.SetAsBytes(bytes);
      return;
    }
    default: {
      if (!v.is_string()) throw Failure(where + "a text is expected");
      const std::string s = v.get<std::string>();
      if (f.DataType() == store::ftString && CodePoints(s) > static_cast<std::size_t>(f.Size()))
        throw Failure(where + "the text is longer than the field size " + std::to_string(f.Size()));
      f.SetAsString(s);
      return;
    }
  }
}

int Import(const std::string& jsonFile, const std::string& dbFile, bool force) {
  if (!force && store::FileExists(dbFile))
    throw Failure(dbFile + " already exists (use --force to replace it)");
  std::ifstream in(jsonFile, std::ios::binary);
  if (!in) throw Failure("cannot read " + jsonFile);
  Json doc;
  try {
    doc = Json::parse(in);
  } catch (const Json::parse_error& e) {
    throw Failure(jsonFile + ": " + e.what());
  }
  if (!doc.is_object() || !doc.contains("fields") || !doc["fields"].is_array())
    throw Failure(jsonFile + ": an object with \"fields\" is expected");

  store::TMemTable t;
  for (const Json& d : doc["fields"]) {
    if (!d.is_object() || !d.contains("name") || !d["name"].is_string() || !d.contains("type") ||
        !d["type"].is_string())
      throw Failure(jsonFile + ": every field needs a \"name\" and a \"type\"");
    store::TFieldDef def;
    def.Name = d["name"].get<std::string>();
    if (!TypeOfName(d["type"].get<std::string>(), def.DataType))
      throw Failure("field '" + def.Name + "': unknown type '" + d["type"].get<std::string>() + "'");
    if (def.DataType == store::ftString) {
      if (!d.contains("size") || !d["size"].is_number_integer() || d["size"].get<long long>() < 0 ||
          d["size"].get<long long>() > 8191)
        throw Failure("field '" + def.Name + "': a string needs a size from 0 to 8191");
      def.Size = d["size"].get<int>();
    }
    t.FieldDefs().push_back(def);
  }
  t.SetTableName("");  // build from the definitions
  t.Open();
  if (doc.contains("comment")) {
    if (!doc["comment"].is_string()) throw Failure(jsonFile + ": \"comment\" must be a text");
    t.SetTableComment(doc["comment"].get<std::string>());
  }
  if (doc.contains("records")) {
    if (!doc["records"].is_array()) throw Failure(jsonFile + ": \"records\" must be an array");
    int recNo = 0;
    for (const Json& r : doc["records"]) {
      ++recNo;
      if (!r.is_object()) throw Failure("record " + std::to_string(recNo) + " is not an object");
      t.Insert();
      for (auto it = r.begin(); it != r.end(); ++it) {
        store::TField* f = t.FindField(it.key());
        if (!f) {  // the table keeps blanks of field names as '_'
          std::string name = it.key();
          std::replace(name.begin(), name.end(), ' ', '_');
          f = t.FindField(name);
        }
        if (!f) throw Failure("record " + std::to_string(recNo) + ": Field '" + it.key() + "' not found");
        SetValue(*f, it.value(), recNo);
      }
      t.Post();
    }
  }
  t.SaveToFile(dbFile);
  return 0;
}

int List(const std::string& file) {
  store::TMemTable t;
  OpenTable(t, file, "ProblemName");
  store::TField& name = t.FieldByName("ProblemName");
  std::string out;
  for (t.First(); !t.Eof(); t.Next()) out += name.AsString() + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

template <typename F>
int Guard(F&& f) {
  try {
    return f();
  } catch (const std::exception& e) {
    PrintError(e.what());
    return kExitError;
  }
}

}  // namespace

int CmdDbExport(const Args& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) return CommandUsage("db-export", false);
  return Guard([&] { return Export(args[0]); });
}

int CmdDbImport(const Args& args) {
  std::vector<std::string> files;
  bool force = false;
  for (const std::string& a : args) {
    if (a == "--force")
      force = true;
    else if (a.rfind("--", 0) == 0)
      return CommandUsage("db-import", false);
    else
      files.push_back(a);
  }
  if (files.size() != 2) return CommandUsage("db-import", false);
  return Guard([&] { return Import(files[0], files[1], force); });
}

int CmdList(const Args& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) return CommandUsage("list", false);
  return Guard([&] { return List(args[0]); });
}

}  // namespace cli
