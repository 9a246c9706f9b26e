#include "problem/problem_reader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <utility>

#include "problem/problem_table.h"
#include "store/bytes.h"
#include "store/table_image.h"

namespace problem {

namespace {

using Json = nlohmann::json;

calc::YParameter YParameterOf(const std::string& text) {
  if (text == calc::kTemperatureText) return calc::YParameter::Temperature;
  if (text == calc::kPressureText) return calc::YParameter::Pressure;
  return calc::YParameter::None;
}

// ---------------------------------------------------------------- JSON records

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Reads the members of one record object; every complaint starts with `where`.
class RecordReader {
 public:
  RecordReader(const Json& record, std::string where) : record_(record), where_(std::move(where)) {}

  // The member naming `field` (any letter case); nullptr when there is none.
  const Json* Find(const char* field) const {
    const Json* found = nullptr;
    std::string found_key;
    for (auto it = record_.begin(); it != record_.end(); ++it) {
      if (!SameName(it.key(), field)) continue;
      if (found) Fail(field, "given twice, as '" + found_key + "' and '" + it.key() + "'");
      found = &it.value();
      found_key = it.key();
    }
    return found;
  }

  const Json& Need(const char* field) const {
    const Json* v = Find(field);
    if (!v) Fail(field, "missing");
    return *v;
  }

  std::optional<std::string> Text(const char* field, bool required) const {
    const Json* v = required ? &Need(field) : Find(field);
    if (!v) return std::nullopt;
    if (v->is_null()) return std::string();
    if (!v->is_string()) Fail(field, "a text is expected");
    const std::string& s = v->get_ref<const std::string&>();
    if (s.find('\0') != std::string::npos) Fail(field, "the text holds a NUL character");
    return s;
  }

  std::optional<double> Float(const char* field, bool required) const {
    const Json* v = required ? &Need(field) : Find(field);
    if (!v) return std::nullopt;
    if (v->is_null()) return 0.0;
    if (v->is_number()) return v->get<double>();
    if (v->is_string()) {
      const std::string& s = v->get_ref<const std::string&>();
      if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
      if (s == "Infinity") return std::numeric_limits<double>::infinity();
      if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
    }
    Fail(field, "a number is expected");
  }

  std::optional<int> Integer(const char* field) const {
    const Json* v = Find(field);
    if (!v) return std::nullopt;
    if (v->is_null()) return 0;
    if (!v->is_number_integer()) Fail(field, "an integer is expected");
    const bool fits = v->is_number_unsigned() ? v->get<std::uint64_t>() <= std::uint64_t{INT32_MAX}
                                              : v->get<std::int64_t>() >= INT32_MIN &&
                                                    v->get<std::int64_t>() <= INT32_MAX;
    if (!fits) Fail(field, "the integer is out of range");
    return static_cast<int>(v->get<std::int64_t>());
  }

  std::optional<bool> Boolean(const char* field) const {
    const Json* v = Find(field);
    if (!v) return std::nullopt;
    if (v->is_null()) return false;
    if (!v->is_boolean()) Fail(field, "true or false is expected");
    return v->get<bool>();
  }

  [[noreturn]] void Fail(const char* field, const std::string& what) const {
    throw ProblemError(where_ + "field '" + field + "': " + what);
  }

 private:
  const Json& record_;
  std::string where_;
};

calc::ProblemInput FromJson(const Json& record, const std::string& where) {
  if (!record.is_object()) throw ProblemError(where + "an object is expected");
  const RecordReader r(record, where);
  calc::ProblemInput p;
  p.ShowChart = true;  // as a new problem starts
  p.ProblemName = r.Text(kProblemName, false).value_or("");
  p.Functs = *r.Text(kFuncts, true);
  p.Yparameter = YParameterOf(*r.Text(kYparameter, true));
  p.Ymin = *r.Float(kYmin, true);
  p.Ymax = *r.Float(kYmax, true);
  p.Zparameter = r.Text(kZparameter, false).value_or(ZparameterText(p.Yparameter));
  p.Zvalue = *r.Float(kZvalue, true);
  p.XPoints = r.Integer(kXPoints).value_or(p.XPoints);
  p.YPoints = r.Integer(kYPoints).value_or(p.YPoints);
  p.ShowMosaicDiagram = r.Boolean(kShowMosaicDiagram).value_or(p.ShowMosaicDiagram);
  p.ShowChart = r.Boolean(kShowChart).value_or(p.ShowChart);
  return p;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ProblemError(path + ": cannot be read: " + std::strerror(errno));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ProblemError(path + ": cannot be read");
  return bytes;
}

// The position of the first byte that does not belong to well-formed UTF-8, or npos.
std::size_t FirstBadUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0, min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3, cp = c & 0x07, min = 0x10000;
    } else {
      return i;
    }
    if (i + n >= s.size()) return i;  // cut short at the end
    for (std::size_t k = 1; k <= n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return i;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += n + 1;
  }
  return std::string::npos;
}

}  // namespace

std::string ZparameterText(calc::YParameter y) {
  switch (y) {
    case calc::YParameter::Temperature:
      return "P, bar";
    case calc::YParameter::Pressure:
      return "T, K";
    default:
      return std::string();
  }
}

calc::ProblemInput ReadProblem(const store::TMemTable& t, MissingField missing) {
  if (!t.Active()) throw store::EDatabaseError("Cannot perform this operation on a closed dataset");
  const auto field = [&](const char* name) -> const store::TField* {
    return missing == MissingField::Refuse ? &t.FieldByName(name) : t.FindField(name);
  };
  calc::ProblemInput p;
  if (auto* f = field(kProblemName)) p.ProblemName = f->AsString();
  if (auto* f = field(kFuncts)) p.Functs = f->AsString();
  if (auto* f = field(kYparameter)) p.Yparameter = YParameterOf(f->AsString());
  if (auto* f = field(kYmin)) p.Ymin = f->AsFloat();
  if (auto* f = field(kYmax)) p.Ymax = f->AsFloat();
  if (auto* f = field(kZparameter)) p.Zparameter = f->AsString();
  if (auto* f = field(kZvalue)) p.Zvalue = f->AsFloat();
  if (auto* f = field(kXPoints)) p.XPoints = f->AsInteger();
  if (auto* f = field(kYPoints)) p.YPoints = f->AsInteger();
  if (auto* f = field(kShowMosaicDiagram)) p.ShowMosaicDiagram = f->AsBoolean();
  if (auto* f = field(kShowChart)) p.ShowChart = f->AsBoolean();
  return p;
}

void CheckProblemTableFields(const std::string& path) {
  const auto names = store::ReadTableFieldNames(path);
  if (!names) return;
  for (const char* wanted : {kProblemName, kFuncts, kYparameter, kYmin, kYmax, kZparameter, kZvalue,
                             kXPoints, kYPoints, kShowMosaicDiagram, kShowChart}) {
    const bool there = std::any_of(names->begin(), names->end(), [&](const std::string& n) {
      return n.size() == std::strlen(wanted) &&
             std::equal(n.begin(), n.end(), wanted, [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
             });
    });
    if (!there) throw store::EDatabaseError("Field '" + std::string(wanted) + "' not found");
  }
}

std::vector<calc::ProblemInput> ReadProblemTable(const std::string& path) {
  CheckProblemTableFields(path);
  store::TMemTable t;
  t.SetTableName(path);
  t.SetLoadMode(store::lmFile);
  t.SetIndexFieldNames(kProblemName);
  t.Open();
  std::vector<calc::ProblemInput> out;
  for (t.First(); !t.Eof(); t.Next()) out.push_back(ReadProblem(t));
  return out;
}

std::vector<calc::ProblemInput> ParseProblemsJson(std::string_view text,
                                                  const std::string& source) {
  Json doc;
  try {
    doc = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    throw ProblemError(source + ": not valid JSON: " + e.what());
  }
  std::vector<calc::ProblemInput> out;
  const auto many = [&](const Json& list) {
    int n = 0;
    for (const Json& r : list)
      out.push_back(FromJson(r, source + ": record " + std::to_string(++n) + ": "));
  };
  if (doc.is_object() && (doc.contains("records") || doc.contains("fields"))) {
    if (!doc.contains("records")) return out;  // an exported table without records
    if (!doc["records"].is_array()) throw ProblemError(source + ": \"records\" must be an array");
    many(doc["records"]);
  } else if (doc.is_array()) {
    many(doc);
  } else if (doc.is_object()) {
    out.push_back(FromJson(doc, source + ": "));
  } else {
    throw ProblemError(source +
                       ": a record object, an array of them or an exported table is expected");
  }
  return out;
}

std::vector<calc::ProblemInput> ReadProblemsJson(const std::string& path) {
  return ParseProblemsJson(ReadWhole(path), path);
}

calc::ProblemInput ReadSheetFile(const std::string& path, const SheetRange& range) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (!ec && size >= static_cast<std::uintmax_t>(store::kBlobLengthLimit))
    throw ProblemError(path + ": a phase sheet must be smaller than " +
                       std::to_string(store::kBlobLengthLimit) + " bytes");
  std::string text = ReadWhole(path);
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  if (const std::size_t bad = FirstBadUtf8(text); bad != std::string::npos)
    throw ProblemError(path + ": not UTF-8 text (byte " + std::to_string(bad + 1) + ")");
  if (const std::size_t nul = text.find('\0'); nul != std::string::npos)
    throw ProblemError(path + ": holds a NUL character (byte " + std::to_string(nul + 1) + ")");
  calc::ProblemInput p;
  p.ProblemName = std::filesystem::path(path).stem().string();
  p.Functs = std::move(text);
  p.Yparameter = range.Yparameter;
  p.Ymin = range.Ymin;
  p.Ymax = range.Ymax;
  p.Zparameter = ZparameterText(range.Yparameter);
  p.Zvalue = range.Zvalue;
  p.XPoints = range.XPoints;
  p.YPoints = range.YPoints;
  p.ShowChart = true;
  return p;
}

std::string RunRangeProblem(const calc::ProblemInput& p) {
  const std::pair<const char*, double> numbers[] = {
      {kYmin, p.Ymin}, {kYmax, p.Ymax}, {kZvalue, p.Zvalue}};
  for (const auto& [name, value] : numbers) {
    if (!std::isfinite(value)) return std::string(name) + " needs a number";
  }
  const std::pair<const char*, int> sizes[] = {{kXPoints, p.XPoints}, {kYPoints, p.YPoints}};
  for (const auto& [name, value] : sizes) {
    if (value < 1) return std::string(name) + " needs a positive integer";
  }
  return {};
}

std::string CutToCharacters(const std::string& utf8, int size) {
  int chars = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    // A character begins at every byte that is not a continuation byte (10xxxxxx).
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && chars++ == size)
      return utf8.substr(0, i);
  }
  return utf8;
}

}  // namespace problem
