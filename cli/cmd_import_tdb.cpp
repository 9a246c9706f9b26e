// brelona-calc import-tdb: a binary system from a TDB database becomes a problem.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "problem/problem_reader.h"
#include "problem/problem_table.h"
#include "store/memtable.h"
#include "store/safe_file.h"
#include "tdb/importer.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

const char* JsonType(store::TFieldType t) {
  switch (t) {
    case store::ftString:
      return "string";
    case store::ftMemo:
      return "memo";
    case store::ftFloat:
      return "float";
    case store::ftInteger:
      return "integer";
    case store::ftBoolean:
      return "boolean";
    default:
      return "string";
  }
}

Json RecordOf(const calc::ProblemInput& p) {
  Json r;
  r[problem::kProblemName] = p.ProblemName;
  r[problem::kFuncts] = p.Functs;
  r[problem::kYparameter] = calc::YParameterText(p.Yparameter);
  r[problem::kYmin] = p.Ymin;
  r[problem::kYmax] = p.Ymax;
  r[problem::kZparameter] = p.Zparameter;
  r[problem::kZvalue] = p.Zvalue;
  r[problem::kXPoints] = p.XPoints;
  r[problem::kYPoints] = p.YPoints;
  r[problem::kShowMosaicDiagram] = p.ShowMosaicDiagram;
  r[problem::kShowChart] = p.ShowChart;
  return r;
}

// Appends the problem to a table file, creating the file when it does not exist. A problem
// of the same name is not replaced.
void AddToDatabase(const std::string& file, calc::ProblemInput p) {
  store::TMemTable t;
  if (store::FileExists(file)) {
    t.SetTableName(file);
  } else {
    t.FieldDefs() = problem::ProblemFieldDefs();
    t.SetTableName("");
  }
  t.Open();
  if (!store::FileExists(file)) t.SetTableComment("Brelona problems");
  store::TField& name = t.FieldByName(problem::kProblemName);
  // The table's name field holds so many characters: a longer name is cut, and said so, before
  // it is compared with the names there.
  if (name.Size() > 0) {
    const std::string cut = problem::CutToCharacters(p.ProblemName, name.Size());
    if (cut != p.ProblemName) {
      std::fprintf(stderr, "note: the problem name is cut to the %d characters %s holds: '%s'\n",
                   name.Size(), file.c_str(), cut.c_str());
      p.ProblemName = cut;
    }
  }
  for (t.First(); !t.Eof(); t.Next())
    if (name.AsString() == p.ProblemName)
      throw Failure(file + " already holds a problem named '" + p.ProblemName + "'");
  const Json r = RecordOf(p);
  t.Insert();
  for (auto it = r.begin(); it != r.end(); ++it) {
    store::TField& f = t.FieldByName(it.key());
    if (it->is_string())
      f.SetAsString(it->get<std::string>());
    else if (it->is_boolean())
      f.SetAsBoolean(it->get<bool>());
    else if (it->is_number_integer())
      f.SetAsInteger(it->get<int>());
    else
      f.SetAsFloat(it->get<double>());
  }
  t.Post();
  t.SaveToFile(file);
}

// Appends the problem to a JSON file in the form of db-export / db-import.
void AddToJson(const std::string& file, const calc::ProblemInput& p) {
  Json doc;
  if (store::FileExists(file)) {
    std::ifstream in(file, std::ios::binary);
    try {
      doc = Json::parse(in);
    } catch (const Json::parse_error& e) {
      throw Failure(file + ": " + e.what());
    }
    if (!doc.is_object() || !doc.contains("records") || !doc["records"].is_array())
      throw Failure(file + ": an object with \"records\" is expected");
  } else {
    doc["comment"] = "Brelona problems";
    Json fields = Json::array();
    for (const store::TFieldDef& f : problem::ProblemFieldDefs()) {
      Json d;
      d["name"] = f.Name;
      d["type"] = JsonType(f.DataType);
      if (f.DataType == store::ftString) d["size"] = f.Size;
      fields.push_back(d);
    }
    doc["fields"] = fields;
    doc["records"] = Json::array();
  }
  for (const Json& r : doc["records"])
    if (r.is_object() && r.value("ProblemName", "") == p.ProblemName)
      throw Failure(file + " already holds a problem named '" + p.ProblemName + "'");
  doc["records"].push_back(RecordOf(p));
  std::string text = doc.dump(2, ' ', false, Json::error_handler_t::strict) + "\n";
  store::TSafeFileWriter w(file);
  w.Write(text.data(), text.size());
  w.Commit();
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "brelona-calc import-tdb: %s\n", why.c_str());
  return CommandUsage("import-tdb", false);
}

bool ReadKelvin(const std::string& s, double& v) {
  char* end = nullptr;
  v = std::strtod(s.c_str(), &end);
  return !s.empty() && *end == 0 && v > 0 && v < 1e6;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int CmdImportTdb(const Args& given) {
  std::string file, db, json, name;
  tdb::ImportOptions o;
  // "--components A B" takes two words: they travel as one value "A,B", the form
  // "--components=A,B" takes too.
  Args list;
  for (size_t i = 0; i < given.size(); ++i) {
    list.push_back(given[i]);
    if (given[i] == "--components" && i + 2 < given.size() &&
        given[i + 1].find(',') == std::string::npos && given[i + 2].rfind("-", 0) != 0) {
      list.push_back(given[i + 1] + "," + given[i + 2]);
      i += 2;
    }
  }
  Arguments args;
  if (std::string complaint = ParseArguments(list,
                                             {{"components", true},
                                              {"db", true},
                                              {"json", true},
                                              {"name", true},
                                              {"tmin", true},
                                              {"tmax", true},
                                              {"phases", true}},
                                             args);
      !complaint.empty()) {
    return Usage(complaint);
  }
  if (args.Has("components")) {
    const std::string v = args.Value("components");
    const size_t comma = v.find(',');
    if (comma == std::string::npos || comma == 0 || comma + 1 == v.size() ||
        v.find(',', comma + 1) != std::string::npos)
      return Usage("--components needs two element names");
    o.A = v.substr(0, comma);
    o.B = v.substr(comma + 1);
  }
  db = args.Value("db");
  json = args.Value("json");
  name = args.Value("name");
  if (args.Has("db") && db.empty()) return Usage("--db needs a file");
  if (args.Has("json") && json.empty()) return Usage("--json needs a file");
  if (args.Has("name") && name.empty()) return Usage("--name needs a text");
  for (const char* t : {"tmin", "tmax"}) {
    double k = 0;
    if (!args.Has(t)) continue;
    if (!ReadKelvin(args.Value(t), k))
      return Usage(std::string("--") + t + " needs a temperature in K");
    (t[2] == 'i' ? o.Tmin : o.Tmax) = k;
  }
  if (args.Has("phases")) {
    std::stringstream s(args.Value("phases"));
    for (std::string p; std::getline(s, p, ',');)
      if (!p.empty()) o.Phases.push_back(p);
  }
  if (args.Positional().size() > 1) return Usage("one TDB file only");
  if (!args.Positional().empty()) file = args.Positional().front();
  if (file.empty()) return Usage("no TDB file given");
  if (o.A.empty()) return Usage("--components A B is required");
  if (!db.empty() && !json.empty()) return Usage("--db and --json exclude each other");
  // The file's name becomes text of the sheet and of the problem's name: UTF-8 whatever it is.
  o.SourceName = tdb::Printable(BaseName(file));
  try {
    const tdb::Database database = tdb::ReadFile(file);
    const tdb::ImportResult r = tdb::Import(database, o);
    if (name.empty()) name = r.A + "-" + r.B + " (" + o.SourceName + ")";
    const calc::ProblemInput p = tdb::ProblemOf(r, name);
    for (const tdb::SkippedPhase& s : r.Skipped)
      std::fprintf(stderr, "skipped phase %s: %s\n", s.Phase.c_str(), s.Reason.c_str());
    for (const std::string& n : r.Notes) std::fprintf(stderr, "note: %s\n", n.c_str());
    std::string phases;
    for (const tdb::ImportedPhase& ph : r.Phases) phases += (phases.empty() ? "" : ", ") + ph.Name;
    if (db.empty() && json.empty()) {
      // No target: the sheet goes to standard output, one line per line.
      std::string text;
      for (char c : p.Functs)
        if (c != '\r') text += c;
      std::printf("%s\n", text.c_str());
      return kExitOk;
    }
    if (!db.empty()) AddToDatabase(db, p);
    if (!json.empty()) AddToJson(json, p);
    std::printf("added problem '%s' to %s: phases %s; Y %g..%g K\n", name.c_str(),
                (db.empty() ? json : db).c_str(), phases.c_str(), p.Ymin, p.Ymax);
    return kExitOk;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return kExitError;
  }
}

}  // namespace cli
