// The output files of brelona-calc run. Each file is made in one piece in memory and written
// with a single call.

#include "cli/run_outputs.h"

#include <QImage>
#include <QString>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "calc/cell_grid.h"
#include "calc/mosaic.h"
#include "calc/results.h"
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

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.close();
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

int LevelCount(const calc::Results& r) {
  return r.State.CheckFailed ? 0 : r.State.LevelIndex + 1;
}

std::string SummaryJson(const calc::ProblemInput& problem, const RunHost& host, double seconds) {
  const calc::Results& r = host.results();
  Json j;
  j["problem"] = problem.ProblemName;
  j["yparameter"] = calc::YParameterText(problem.Yparameter);
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
  Json messages = Json::array();
  for (const Message& m : host.messages()) messages.push_back({{"type", m.type}, {"text", m.text}});
  j["messages"] = std::move(messages);
  j["seconds"] = seconds;
  // Texts that are not valid UTF-8 are written with U+FFFD in place of the bad bytes.
  return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The whole grid, header row and column included.
std::string CellsCsv(const calc::CellGrid& cells) {
  std::string csv;
  const int rows = cells.RowCount(), cols = cells.ColCount();
  // Data cells are one or two letters; the header row holds the compositions.
  csv.reserve(static_cast<size_t>(rows) * (static_cast<size_t>(cols) * 3 + 16) +
              16 * static_cast<size_t>(cols));
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < cols; ++col) {
      if (col) csv += ',';
      AppendCsvField(csv, cells.Cell(col, row));
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
      AppendCsvField(pts, p.Name);
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
  const QImage image(m->Bits(), m->Width(), m->Height(), m->BytesPerLine(), QImage::Format_RGB888);
  // Level 1 of 9: the mosaic is mostly flat colour, so stronger compression buys little.
  if (!image.save(QString::fromStdString(png.string()), "PNG", 90)) {
    throw std::runtime_error("cannot write " + png.string());
  }
}

}  // namespace

void WriteRunOutputs(const fs::path& dir, const calc::ProblemInput& problem, const RunHost& host,
                     double seconds) {
  const calc::Results& r = host.results();
  fs::create_directories(dir);
  WriteFile(dir / "summary.json", SummaryJson(problem, host, seconds));
  WriteFile(dir / "cells.csv", CellsCsv(r.Cells()));
  WriteFile(dir / "points.csv", PointsCsv(r));
  WriteFile(dir / "nodes.csv", NodesCsv(r));
  std::string memo;
  for (const std::string& line : r.MemoLines) memo += line + "\n";
  WriteFile(dir / "special.txt", memo);
  WriteMosaic(dir / "mosaic.png", r.Mosaic, host.options());

  // diagram.png and diagram.svg: the diagram window's own build and chart, drawn offscreen.
  views::DiagramImageOptions pictures;
  pictures.pngPath = QString::fromStdString((dir / "diagram.png").string());
  if (views::CanWriteSvg())
    pictures.svgPath = QString::fromStdString((dir / "diagram.svg").string());
  pictures.caption = QString::fromStdString(problem.ProblemName);
  pictures.decimalSeparator = r.State.DecimalSeparator;
  QString error;
  if (!views::RenderDiagram(r, problem.Yparameter, nullptr, pictures, &error)) {
    throw std::runtime_error(error.toStdString());
  }
}

std::string RunSummaryLine(const calc::ProblemInput& problem, const RunHost& host, double seconds) {
  char secs[32];
  std::snprintf(secs, sizeof secs, "%.3g", seconds);
  return problem.ProblemName + ": " + std::to_string(LevelCount(host.results())) + " levels, " +
         std::to_string(host.results().Nodes.size()) + " nodes, " + secs + " s";
}

}  // namespace cli
