// The output files of brelona-calc run. Each file is made in one piece in memory and written
// with a single call.

#include "cli/run_outputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <QImage>
#include <QString>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/masses.h"
#include "calc/mosaic.h"
#include "calc/phase_sheet.h"
#include "calc/results.h"
#include "views/diagram_export.h"
#include "views/diagram_image.h"

namespace cli {

namespace fs = std::filesystem;

namespace {

using Json = nlohmann::ordered_json;

// Shortest text that reads back to the same double.
void AppendNum(std::string& out, double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

std::string Num(double v) {
  std::string s;
  AppendNum(s, v);
  return s;
}

// One field of a CSV record: quoted when it holds a comma, a quote or a line break.
void AppendCsvField(std::string& out, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += s;
    return;
  }
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The whole file or none: a write that fails (a full disk) removes what it began and says why.
void WriteFile(const fs::path& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  int err = fd < 0 ? errno : 0;
  for (size_t done = 0; !err && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno != EINTR) err = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0 && !err) err = errno;
  if (!err) return;
  ::unlink(path.c_str());
  throw std::runtime_error("cannot write " + path.string() + ": " + std::strerror(err));
}

// Runs `write`; what it throws is kept in `errors`, so the writes after it are still made.
template <typename Write>
void Try(std::vector<std::string>& errors, Write write) {
  try {
    write();
  } catch (const std::exception& e) {
    errors.push_back(e.what());
  }
}

int LevelCount(const calc::Results& r) {
  return r.State.CheckFailed ? 0 : r.State.LevelIndex + 1;
}

// The exact answers of the refinement stage, when it ran. Phases are named as the user sees
// them: a point phase by its line's key (calc::RunPhase::Label).
void AppendRefined(Json& j, const calc::Results& r) {
  const calc::RefinedResults& refined = r.Refined;
  if (!refined.Ran) return;
  Json invariants = Json::array();
  for (const calc::Invariant& inv : refined.Invariants) {
    Json phases = Json::array();
    for (const calc::RefinedPhase& p : inv.Phases)
      phases.push_back({{"name", r.PhaseLabel(p.Phase, p.Name)}, {"X", p.X}});
    invariants.push_back({{"type", inv.Type},
                          {"reaction", inv.Reaction},
                          {"Y", inv.Y},
                          {"phases", std::move(phases)},
                          {"approximate", inv.Approximate}});
  }
  j["invariants"] = std::move(invariants);
  Json transitions = Json::array();
  for (const calc::Transition& t : refined.Transitions) {
    transitions.push_back({{"X", t.X},
                           {"Y", t.Y},
                           {"above", r.PhaseLabel(t.AbovePhase, t.Above)},
                           {"below", r.PhaseLabel(t.BelowPhase, t.Below)},
                           {"approximate", t.Approximate}});
  }
  j["transitions"] = std::move(transitions);
  Json critical = Json::array();
  for (const calc::CriticalPoint& c : refined.CriticalPoints) {
    critical.push_back(
        {{"phase", c.Phase}, {"X", c.X}, {"Y", c.Y}, {"approximate", c.Approximate}});
  }
  j["critical_points"] = std::move(critical);
  Json congruent = Json::array();
  for (const calc::CongruentPoint& c : refined.CongruentPoints) {
    Json phases = Json::array();
    for (size_t i = 0; i < c.Phases.size(); ++i)
      phases.push_back(
          r.PhaseLabel(i < c.Indices.size() ? c.Indices[i] : calc::kNoRunPhase, c.Phases[i]));
    congruent.push_back({{"type", c.Type},
                         {"phases", std::move(phases)},
                         {"X", c.X},
                         {"Y", c.Y},
                         {"approximate", c.Approximate}});
  }
  j["congruent_points"] = std::move(congruent);
  // Only where the grid cannot resolve something: a file of a well-resolved run keeps its keys.
  if (!refined.BelowResolution.empty()) {
    Json finer = Json::array();
    for (const calc::FinerFeature& f : refined.BelowResolution) {
      Json item = {{"kind", calc::FinerKindText(f.What)},
                   {"X", {f.XLeft, f.XRight}},
                   {"Y", {f.YLow, f.YHigh}}};
      if (f.What == calc::FinerFeature::Kind::FieldEnds)
        item["phase"] = r.PhaseLabel(f.Above != calc::kNoRunPhase ? f.Above : f.Below, "");
      finer.push_back(std::move(item));
    }
    j["below_resolution"] = std::move(finer);
  }
  if (!refined.CloserLooks.empty()) {
    Json looks = Json::array();
    for (const calc::CloserLook& l : refined.CloserLooks)
      looks.push_back({{"Y", {l.YLow, l.YHigh}}, {"xpoints", l.XPoints}, {"ypoints", l.YPoints}});
    j["closer_looks"] = std::move(looks);
  }
}

// level,Y,phase_left,X_left,phase_right,X_right: every refined tie line, level by level,
// each level's tie lines in ascending X (a tie line whose solve failed keeps its grid ends).
std::string BoundariesCsv(const calc::Results& r) {
  const calc::RefinedResults& refined = r.Refined;
  std::string csv = "level,Y,phase_left,X_left,phase_right,X_right\r\n";
  for (const calc::BoundaryEnd& b : refined.Boundaries) {
    csv += std::to_string(b.Level);
    csv += ',';
    AppendNum(csv, b.Y);
    csv += ',';
    AppendCsvField(csv, r.PhaseLabel(b.Left, b.PhaseLeft));
    csv += ',';
    AppendNum(csv, b.XLeft);
    csv += ',';
    AppendCsvField(csv, r.PhaseLabel(b.Right, b.PhaseRight));
    csv += ',';
    AppendNum(csv, b.XRight);
    csv += "\r\n";
  }
  return csv;
}

std::string SummaryJson(const calc::ProblemInput& problem, const RunHost& host, double seconds) {
  const calc::Results& r = host.results();
  Json j;
  j["problem"] = problem.ProblemName;
  j["yparameter"] = calc::YParameterText(problem.Yparameter);
  // The same as plain words: the quantity along Y and its unit.
  if (problem.Yparameter != calc::YParameter::None) {
    const bool temperature = problem.Yparameter == calc::YParameter::Temperature;
    j["yquantity"] = temperature ? "temperature" : "pressure";
    j["yunit"] = temperature ? "K" : "bar";
  }
  // Only for a sheet that names its components ("% components: A B"); others look as before.
  if (const calc::ComponentNames names = calc::ReadComponentNames(problem.Functs); names.Named()) {
    j["components"] = {{"A", names.A}, {"B", names.B}, {"X", "mole fraction of " + names.B}};
  }
  // The phases the sheet's import left out: the results may lack them.
  if (const auto left = calc::ReadLeftOutPhases(problem.Functs); !left.empty()) {
    Json out = Json::array();
    for (const calc::LeftOutPhase& p : left)
      out.push_back({{"phase", p.Phase}, {"reason", p.Reason}});
    j["left_out"] = std::move(out);
  }
  j["completed"] = host.completed();
  j["levels"] = LevelCount(r);
  Json xlevels = Json::array();
  for (const calc::XLevel& x : r.XLevels) xlevels.push_back(x.X);
  j["xlevels"] = std::move(xlevels);
  Json nodes = Json::array();
  for (const calc::TNode& n : r.Nodes) {
    nodes.push_back({{"Y", n.Y}, {"XLeft", n.XLeft}, {"X", n.X}, {"XRight", n.XRight}});
  }
  j["nodes"] = std::move(nodes);
  Json points = Json::array();
  for (size_t i = 0; i < r.MemoLines.size(); ++i) {
    const calc::SpecialPoint p = i < r.MemoPoints.size() ? r.MemoPoints[i] : calc::SpecialPoint{};
    points.push_back({{"X", p.X}, {"Y", p.Y}, {"text", r.MemoLines[i]}});
  }
  j["special_points"] = std::move(points);
  AppendRefined(j, r);
  Json messages = Json::array();
  for (const Message& m : host.messages()) {
    messages.push_back({{"type", m.type}, {"text", m.text}});
    if (!m.place.empty()) messages.back()["place"] = m.place;
  }
  j["messages"] = std::move(messages);
  j["seconds"] = seconds;
  // Texts that are not valid UTF-8 are written with U+FFFD in place of the bad bytes.
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The whole grid, header row and column included. A grid holds few distinct texts (the cell
// codes, the header numbers) and Cell() gives each distinct text from one place, so the CSV form
// of a text is made once and remembered by the text's address.
std::string CellsCsv(const calc::CellGrid& cells) {
  const int rows = cells.RowCount(), cols = cells.ColCount();
  std::string csv;
  // Data cells are one or two letters; the header row holds the compositions.
  csv.reserve(static_cast<size_t>(rows) * (static_cast<size_t>(cols) * 3 + 16) +
              16 * static_cast<size_t>(cols));
  struct Known {
    const std::string* text;
    std::string field;
  };
  std::vector<Known> known;  // the texts of the current row, most recent first
  for (int row = 0; row < rows; ++row) {
    known.clear();
    for (int col = 0; col < cols; ++col) {
      const std::string& text = cells.Cell(col, row);
      if (col) csv += ',';
      size_t k = 0;
      while (k < known.size() && known[k].text != &text) ++k;
      if (k == known.size()) {
        if (known.size() == 8) known.pop_back();
        std::string field;
        AppendCsvField(field, text);
        known.insert(known.begin(), Known{&text, std::move(field)});
        k = 0;
      }
      csv += known[k].field;
    }
    csv += "\r\n";
  }
  return csv;
}

// Every non-empty diagram point in table order.
std::string PointsCsv(const calc::Results& r) {
  std::string pts = "level,X,Y,Column,Name\r\n";
  for (int row = 0; row < r.ZPoints.RowCount(); ++row) {
    for (const calc::TZPoint& p : r.ZPoints.Row(row)) {
      if (!(p.Y > 0)) continue;
      pts += std::to_string(row);
      pts += ',';
      AppendNum(pts, p.X);
      pts += ',';
      AppendNum(pts, p.Y);
      pts += ',';
      pts += std::to_string(p.Column);
      pts += ',';
      AppendCsvField(pts, r.PhaseName(p.Phase));
      pts += "\r\n";
    }
  }
  return pts;
}

std::string NodesCsv(const calc::Results& r) {
  std::string nodes = "Y,XLeft,X,XRight\r\n";
  for (const calc::TNode& n : r.Nodes) {
    nodes += Num(n.Y) + "," + Num(n.XLeft) + "," + Num(n.X) + "," + Num(n.XRight) + "\r\n";
  }
  return nodes;
}

// The mosaic as drawn; a run that stopped before its set-up leaves a blank one of the asked
// size.
void WriteMosaic(const fs::path& png, const calc::MosaicRaster& drawn, const RunOptions& o) {
  calc::MosaicRaster blank;
  const calc::MosaicRaster* m = &drawn;
  if (drawn.Width() <= 0 || drawn.Height() <= 0) {
    blank.Reset(o.mosaic_w, o.mosaic_h);
    m = &blank;
  }
  QImage image(m->Bits(), m->Width(), m->Height(), m->BytesPerLine(), QImage::Format_RGB888);
  // A fixed resolution (100 dpi, what an image gets before the application object exists): the
  // default follows the screen once the diagram's renderer has made one, so the second problem
  // of a run would get other bytes than the first.
  image.setDotsPerMeterX(3937);
  image.setDotsPerMeterY(3937);
  const QByteArray bytes = views::PngBytes(image);
  WriteFile(png, bytes.toStdString());
}

}  // namespace

namespace {

// Adds the time since the last lap under a name, when times are kept.
class Laps {
 public:
  explicit Laps(OutputTimes* times) : times_(times) {}
  void operator()(const char* name) {
    if (!times_) return;
    const auto now = std::chrono::steady_clock::now();
    times_->emplace_back(name, std::chrono::duration<double>(now - start_).count());
    start_ = now;
  }

 private:
  OutputTimes* times_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Everything but the pictures (plain C++: no Qt on this thread).
void WriteDataFiles(const fs::path& dir, const calc::ProblemInput& problem, const RunHost& host,
                    double seconds, OutputTimes* times, std::vector<std::string>& errors) {
  const calc::Results& r = host.results();
  Laps lap(times);
  Try(errors, [&] { WriteFile(dir / "summary.json", SummaryJson(problem, host, seconds)); });
  lap("summary.json");
  Try(errors, [&] { WriteFile(dir / "cells.csv", CellsCsv(r.Cells())); });
  lap("cells.csv");
  Try(errors, [&] { WriteFile(dir / "points.csv", PointsCsv(r)); });
  Try(errors, [&] { WriteFile(dir / "nodes.csv", NodesCsv(r)); });
  std::string memo;
  for (const std::string& line : r.MemoLines) memo += line + "\n";
  Try(errors, [&] { WriteFile(dir / "special.txt", memo); });
  lap("points.csv, nodes.csv, special.txt");
  if (r.Refined.Ran) {
    Try(errors, [&] { WriteFile(dir / "boundaries.csv", BoundariesCsv(r)); });
    lap("boundaries.csv");
  }
}

// diagram.png, .svg and .pdf (as asked): the diagram window's renderer, drawn with no window.
void WriteDiagram(const fs::path& dir, const calc::ProblemInput& problem, const RunHost& host,
                  OutputTimes* times) {
  const calc::Results& r = host.results();
  Laps lap(times);
  const RunOptions& o = host.options();
  if (!o.png && !o.svg && !o.pdf) return;  // --format none
  views::DiagramImageOptions pictures;
  if (o.png) pictures.pngPath = QString::fromStdString((dir / "diagram.png").string());
  if (o.svg && views::CanWriteSvg())
    pictures.svgPath = QString::fromStdString((dir / "diagram.svg").string());
  if (o.pdf) pictures.pdfPath = QString::fromStdString((dir / "diagram.pdf").string());
  pictures.size = QSize(o.picture_w, o.picture_h);
  pictures.dpi = o.dpi;
  pictures.celsius = o.celsius;
  pictures.weightPercent = o.wt;
  pictures.masses = calc::ReadComponentMasses(problem.Functs);
  pictures.gridPoints = o.gridPoints;
  pictures.names = calc::ReadComponentNames(problem.Functs);
  pictures.leftOut = calc::ReadLeftOutPhases(problem.Functs);
  pictures.caption = QString::fromStdString(problem.ProblemName);
  pictures.decimalSeparator = r.State.DecimalSeparator;
  QString error;
  if (!views::RenderDiagram(r, problem.Yparameter, nullptr, pictures, &error)) {
    throw std::runtime_error(error.toStdString());
  }
  lap("diagram pictures");
}

}  // namespace

void WriteRunOutputs(const fs::path& dir, const calc::ProblemInput& problem, const RunHost& host,
                     double seconds, OutputTimes* times) {
  fs::create_directories(dir);
  // The pictures are drawn on this thread: Qt (the application object the diagram's renderer
  // makes, the image writers' plugin loader) must not be used from two threads at once. The
  // other files only read the results and are written meanwhile on another.
  OutputTimes data_times;
  std::vector<std::string> data_errors, errors;
  auto data = std::async(std::launch::async, [&] {
    WriteDataFiles(dir, problem, host, seconds, times ? &data_times : nullptr, data_errors);
  });
  Laps lap(times);
  Try(errors, [&] { WriteMosaic(dir / "mosaic.png", host.results().Mosaic, host.options()); });
  lap("mosaic.png");
  Try(errors, [&] { WriteDiagram(dir, problem, host, times); });
  data.get();
  if (times) times->insert(times->begin(), data_times.begin(), data_times.end());
  errors.insert(errors.begin(), data_errors.begin(), data_errors.end());
  if (errors.empty()) return;
  std::string all;
  for (const std::string& e : errors) all += (all.empty() ? "" : "\n") + e;
  throw std::runtime_error(all);
}

std::string RunSummaryLine(const calc::ProblemInput& problem, const RunHost& host, double seconds) {
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.3g", seconds);
  const calc::Results& r = host.results();
  std::string line = problem.ProblemName + ": " + std::to_string(LevelCount(r)) + " levels, " +
                     std::to_string(r.Nodes.size()) + " nodes, ";
  if (r.Refined.Ran) line += std::to_string(r.Refined.Invariants.size()) + " invariants, ";
  return line + secs + " s";
}

std::string RunAnswerLines(const calc::ProblemInput& problem, const RunHost& host) {
  const calc::Results& r = host.results();
  const char* unit = problem.Yparameter == calc::YParameter::Pressure ? "bar" : "K";
  auto at = [&](double y) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%.6g %s", y, unit);
    return std::string(buf);
  };
  auto x = [](double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "X = %.6g", v);
    return std::string(buf);
  };
  const std::string approximate = " (approximate)";
  std::string out;
  if (!r.Refined.Ran) {
    // The grid's own special points.
    for (const std::string& line : r.MemoLines) out += "  " + line + "\n";
    return out;
  }
  for (const calc::Invariant& inv : r.Refined.Invariants)
    out += "  " + inv.Type + " at " + at(inv.Y) + ": " + inv.Reaction +
           (inv.Approximate ? approximate : "") + "\n";
  for (const calc::CongruentPoint& c : r.Refined.CongruentPoints) {
    std::string phases;
    for (size_t i = 0; i < c.Phases.size(); ++i)
      phases += (i ? " + " : "") +
                r.PhaseLabel(i < c.Indices.size() ? c.Indices[i] : calc::kNoRunPhase, c.Phases[i]);
    out += "  " + c.Type + " at " + at(c.Y) + ", " + x(c.X) + ": " + phases +
           (c.Approximate ? approximate : "") + "\n";
  }
  for (const calc::CriticalPoint& c : r.Refined.CriticalPoints)
    out += "  critical point of " + c.Phase + " at " + at(c.Y) + ", " + x(c.X) +
           (c.Approximate ? approximate : "") + "\n";
  for (const calc::Transition& t : r.Refined.Transitions)
    out += "  transition at " + at(t.Y) + ", " + x(t.X) + ": " +
           r.PhaseLabel(t.AbovePhase, t.Above) + " above, " + r.PhaseLabel(t.BelowPhase, t.Below) +
           " below" + (t.Approximate ? approximate : "") + "\n";
  return out;
}

}  // namespace cli
