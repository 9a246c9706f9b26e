// brelona-calc run: the Run command of the main window without a window. It reads problems
// from a database, runs the check, the set-up, every level and the special-point finder through
// the same engine as the program, and writes the results into a folder per problem.

#include <QImage>
#include <QString>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <set>
#include <string>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/engine.h"
#include "calc/headless_host.h"
#include "calc/ports.h"
#include "calc/results.h"
#include "cli/commands.h"
#include "cli/run_batch.h"
#include "store/memtable.h"
#include "views/diagram_image.h"

namespace cli {

namespace {

namespace fs = std::filesystem;


struct RunOptions {
  std::string database;
  std::string problem;
  bool all = false;
  std::string out;
  int xpoints = 0;  // 0: the problem's own
  int ypoints = 0;
  char separator = '.';
  int mosaic_w = 400;
  int mosaic_h = 500;
  int jobs = 0;  // problems run at once by --all; 0: one per processor
  bool quiet = false;
};

struct Message {
  std::string type;
  std::string text;
};

// The host of a headless run: messages are collected and echoed to stderr, confirmations are
// answered with their first button (Yes), nothing is shown, the mosaic is always drawn (it is
// one of the outputs).
class RunHost : public calc::HeadlessHost {
 public:
  RunHost(const calc::ProblemInput& p, const RunOptions& options)
      : options_(options), engine_(*this, *this, *this, results_) {
    problem = p;
  }

  calc::Engine& engine() { return engine_; }
  const calc::Results& results() const { return results_; }
  const std::vector<Message>& messages() const { return messages_; }
  void Record(const std::string& type, const std::string& text) {
    messages_.push_back({type, text});
    std::fprintf(stderr, "%s: %s\n", type.c_str(), text.c_str());
  }

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override {
    switch (type) {
      case calc::DialogType::Warning: Record("warning", text); break;
      case calc::DialogType::Error: Record("error", text); break;
      default: Record("info", text); break;
    }
    return HeadlessHost::MessageDlg(text, type, buttons);
  }
  void ShowMessage(const std::string& text) override { Record("info", text); }

  std::pair<int, int> MosaicSize() override { return {options_.mosaic_w, options_.mosaic_h}; }
  char DecimalSeparator() override { return options_.separator; }
  void BuildDiagram() override {
    completed_ = true;
    engine_.FindSpecialPoints(calc::YParameterText(problem.Yparameter));
  }

  bool completed() const { return completed_; }

 private:
  const RunOptions& options_;
  calc::Results results_;
  calc::Engine engine_;
  std::vector<Message> messages_;
  bool completed_ = false;
};

// Shortest text that reads back to the same double.
std::string Num(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

// One field of a CSV record: quoted when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& s) {
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

void WriteOutputs(const fs::path& dir, const calc::ProblemInput& problem, RunHost& host,
                  double seconds) {
  const calc::Results& r = host.results();
  const calc::CellGrid& cells = r.Cells();
  fs::create_directories(dir);

  // summary.json
  std::string j = "{\n";
  j += "  \"problem\": " + JsonString(problem.ProblemName) + ",\n";
  j += "  \"yparameter\": " + JsonString(calc::YParameterText(problem.Yparameter)) + ",\n";
  j += std::string("  \"completed\": ") + (host.completed() ? "true" : "false") + ",\n";
  const int levels = r.State.CheckFailed ? 0 : r.State.LevelIndex + 1;
  j += "  \"levels\": " + std::to_string(levels) + ",\n";
  j += "  \"xlevels\": [";
  for (size_t i = 0; i < r.XLevels.size(); ++i) j += (i ? ", " : "") + Num(r.XLevels[i].X);
  j += "],\n  \"nodes\": [";
  for (size_t i = 0; i < r.Nodes.size(); ++i) {
    const calc::TNode& n = r.Nodes[i];
    j += std::string(i ? ",\n    " : "\n    ") + "{\"Y\": " + Num(n.Y) + ", \"XLeft\": " +
         Num(n.XLeft) + ", \"X\": " + Num(n.X) + ", \"XRight\": " + Num(n.XRight) + "}";
  }
  j += r.Nodes.empty() ? "],\n" : "\n  ],\n";
  j += "  \"special_points\": [";
  for (size_t i = 0; i < r.MemoLines.size(); ++i) {
    const calc::SpecialPoint p = i < r.MemoPoints.size() ? r.MemoPoints[i] : calc::SpecialPoint{};
    j += std::string(i ? ",\n    " : "\n    ") + "{\"X\": " + Num(p.X) + ", \"Y\": " + Num(p.Y) +
         ", \"text\": " + JsonString(r.MemoLines[i]) + "}";
  }
  j += r.MemoLines.empty() ? "],\n" : "\n  ],\n";
  j += "  \"messages\": [";
  const auto& msgs = host.messages();
  for (size_t i = 0; i < msgs.size(); ++i) {
    j += std::string(i ? ",\n    " : "\n    ") + "{\"type\": " + JsonString(msgs[i].type) +
         ", \"text\": " + JsonString(msgs[i].text) + "}";
  }
  j += msgs.empty() ? "],\n" : "\n  ],\n";
  j += "  \"seconds\": " + Num(seconds) + "\n}\n";
  WriteFile(dir / "summary.json", j);

  // cells.csv: the whole grid, header row and column included.
  std::string csv;
  for (int row = 0; row < cells.RowCount(); ++row) {
    for (int col = 0; col < cells.ColCount(); ++col) {
      if (col) csv += ',';
      csv += CsvField(cells.Cell(col, row));
    }
    csv += "\r\n";
  }
  WriteFile(dir / "cells.csv", csv);

  // points.csv: every non-empty diagram point in table order.
  std::string pts = "level,X,Y,Column,Name\r\n";
  for (int row = 0; row < r.ZPoints.RowCount(); ++row) {
    for (const calc::TZPoint& p : r.ZPoints.Row(row)) {
      if (!(p.Y > 0)) continue;
      pts += std::to_string(row) + "," + Num(p.X) + "," + Num(p.Y) + "," +
             std::to_string(p.Column) + "," + CsvField(p.Name) + "\r\n";
    }
  }
  WriteFile(dir / "points.csv", pts);

  std::string nodes = "Y,XLeft,X,XRight\r\n";
  for (const calc::TNode& n : r.Nodes) {
    nodes += Num(n.Y) + "," + Num(n.XLeft) + "," + Num(n.X) + "," + Num(n.XRight) + "\r\n";
  }
  WriteFile(dir / "nodes.csv", nodes);

  std::string memo;
  for (const std::string& line : r.MemoLines) memo += line + "\n";
  WriteFile(dir / "special.txt", memo);

  if (r.Mosaic.Width() > 0 && r.Mosaic.Height() > 0) {
    const QImage image(r.Mosaic.Bits(), r.Mosaic.Width(), r.Mosaic.Height(),
                       r.Mosaic.BytesPerLine(), QImage::Format_RGB888);
    const fs::path png = dir / "mosaic.png";
    if (!image.save(QString::fromStdString(png.string()), "PNG")) {
      throw std::runtime_error("cannot write " + png.string());
    }
  }

  // diagram.png and diagram.svg: the diagram window's own build and chart, drawn offscreen.
  views::DiagramImageOptions pictures;
  pictures.pngPath = QString::fromStdString((dir / "diagram.png").string());
  if (views::CanWriteSvg()) pictures.svgPath = QString::fromStdString((dir / "diagram.svg").string());
  pictures.caption = QString::fromStdString(problem.ProblemName);
  pictures.decimalSeparator = r.State.DecimalSeparator;
  QString error;
  if (!views::RenderDiagram(r, problem.Yparameter, nullptr, pictures, &error)) {
    throw std::runtime_error(error.toStdString());
  }
}

// A folder name for a problem name: path separators and control characters become "_".
std::string FolderName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) out += (c < 32 || c == '/' || c == '\\') ? '_' : static_cast<char>(c);
  if (out.empty() || out == "." || out == "..") out = "_" + out;
  return out;
}

calc::ProblemInput ReadProblem(store::TMemTable& t) {
  calc::ProblemInput p;
  p.ProblemName = t.FieldByName("ProblemName").AsString();
  p.Functs = t.FieldByName("Functs").AsString();
  const std::string y = t.FieldByName("Yparameter").AsString();
  p.Yparameter = y == calc::kTemperatureText ? calc::YParameter::Temperature
                 : y == calc::kPressureText  ? calc::YParameter::Pressure
                                             : calc::YParameter::None;
  p.Ymin = t.FieldByName("Ymin").AsFloat();
  p.Ymax = t.FieldByName("Ymax").AsFloat();
  p.Zparameter = t.FieldByName("Zparameter").AsString();
  p.Zvalue = t.FieldByName("Zvalue").AsFloat();
  p.XPoints = t.FieldByName("XPoints").AsInteger();
  p.YPoints = t.FieldByName("YPoints").AsInteger();
  p.ShowMosaicDiagram = t.FieldByName("ShowMosaicDiagram").AsBoolean();
  p.ShowChart = t.FieldByName("ShowChart").AsBoolean();
  return p;
}

bool ParseInt(const std::string& s, int& out) {
  const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Returns an empty text on success, else the complaint.
std::string ParseArgs(const Args& args, RunOptions& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& v) {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::string v;
    if (a == "--all") {
      o.all = true;
    } else if (a == "--problem") {
      if (!value(o.problem)) return "--problem needs a name";
    } else if (a == "--out") {
      if (!value(o.out)) return "--out needs a folder";
    } else if (a == "--xpoints" || a == "--ypoints") {
      int n = 0;
      if (!value(v) || !ParseInt(v, n) || n < 1) return a + " needs a positive integer";
      (a == "--xpoints" ? o.xpoints : o.ypoints) = n;
    } else if (a == "--decimal-separator") {
      if (!value(v) || v.size() != 1) return "--decimal-separator needs one character";
      o.separator = v[0];
    } else if (a == "--mosaic-size") {
      const size_t x = value(v) ? v.find_first_of("xX") : std::string::npos;
      int w = 0, h = 0;
      if (x == std::string::npos || !ParseInt(v.substr(0, x), w) ||
          !ParseInt(v.substr(x + 1), h) || w < 1 || h < 1 || w > 20000 || h > 20000) {
        return "--mosaic-size needs WxH, each 1 to 20000";
      }
      o.mosaic_w = w;
      o.mosaic_h = h;
    } else if (a == "-j" || a == "--jobs") {
      if (!value(v) || !ParseInt(v, o.jobs) || o.jobs < 1) return a + " needs a positive integer";
    } else if (a == "--quiet") {
      o.quiet = true;
    } else if (!a.empty() && a[0] == '-') {
      return "unknown option " + a;
    } else if (o.database.empty()) {
      o.database = a;
    } else {
      return "unexpected argument " + a;
    }
  }
  if (o.database.empty()) return "missing database file";
  if (o.all == !o.problem.empty()) return "give either --problem NAME or --all";
  return {};
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// Runs one problem and writes its folder. Returns the exit code of that problem.
int RunOne(calc::ProblemInput problem, const RunOptions& o, const fs::path& dir) {
  if (o.xpoints > 0) problem.XPoints = o.xpoints;
  if (o.ypoints > 0) problem.YPoints = o.ypoints;
  RunHost host(problem, o);
  int code = 0;
  const auto start = std::chrono::steady_clock::now();
  try {
    host.engine().Run();
    if (host.results().State.CheckFailed) {
      code = 2;
    } else if (!host.completed()) {
      code = 1;
    }
  } catch (const std::exception& e) {
    host.Record("error", e.what());
    code = 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  try {
    WriteOutputs(dir, problem, host, seconds);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  return code;
}

}  // namespace

int CmdRun(const Args& args) {
  RunOptions o;
  const std::string complaint = ParseArgs(args, o);
  if (!complaint.empty()) {
    std::fprintf(stderr, "error: %s\n", complaint.c_str());
    return 1;
  }
  std::vector<calc::ProblemInput> problems;
  try {
    store::TMemTable table;
    table.SetTableName(o.database);
    table.SetLoadMode(store::lmFile);
    table.SetIndexFieldNames("ProblemName");
    table.SetDecimalSeparator(o.separator);
    table.Open();
    for (table.First(); !table.Eof(); table.Next()) problems.push_back(ReadProblem(table));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }

  if (!o.all) {
    // The exact name first, then the first one that differs only in letter case.
    const calc::ProblemInput* found = nullptr;
    for (const auto& p : problems) {
      if (p.ProblemName == o.problem) {
        found = &p;
        break;
      }
    }
    for (const auto& p : problems) {
      if (!found && Lower(p.ProblemName) == Lower(o.problem)) found = &p;
    }
    if (!found) {
      std::fprintf(stderr, "error: problem '%s' not found\n", o.problem.c_str());
      return 1;
    }
    const fs::path dir = o.out.empty() ? fs::path(FolderName(found->ProblemName)) : fs::path(o.out);
    return RunOne(*found, o, dir);
  }

  const fs::path base = o.out.empty() ? fs::path(".") : fs::path(o.out);
  std::set<std::string> used;
  std::vector<fs::path> dirs;
  for (const calc::ProblemInput& p : problems) {
    std::string name = FolderName(p.ProblemName);
    for (int k = 2; used.count(Lower(name)); ++k) name = FolderName(p.ProblemName) + "_" + std::to_string(k);
    used.insert(Lower(name));
    dirs.push_back(base / name);
  }
  // Every problem in a process of its own, several at once (see run_batch.h).
  BatchOptions batch;
  batch.jobs = o.jobs > 0 ? o.jobs : DefaultJobs();
  batch.progress = !o.quiet && ::isatty(STDERR_FILENO);
  const std::vector<int> codes = RunBatch(
      problems.size(), [&](size_t i) { return problems[i].ProblemName; },
      [&](size_t i) { return RunOne(problems[i], o, dirs[i]); }, batch);
  bool any_error = false, any_check_failed = false;
  for (const int code : codes) {
    any_error |= code == 1;
    any_check_failed |= code == 2;
  }
  return any_error ? 1 : any_check_failed ? 2 : 0;
}

}  // namespace cli
