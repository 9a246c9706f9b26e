#pragma once
// The narrow interfaces through which the calculation engine talks to whoever runs it: messages,
// the problem and the end of a sweep (RunHost), the levels as they are done (LevelPort) and the
// working chart's series. The main window implements all of them; brelona-calc, Python and the
// tests implement what they use.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "calc/mosaic.h"
#include "calc/problem.h"

namespace calc {

enum class DialogType { Warning, Error, Information, Confirmation };

// How a window-less host names a message of this type in its reports: "warning", "error", or
// "info" for the rest.
inline const char* MessageKind(DialogType type) {
  return type == DialogType::Warning ? "warning" : type == DialogType::Error ? "error" : "info";
}

enum class DialogButton { OK, Yes, No, Cancel };

// Messages to the user. MessageDlg shows a modal dialog of the given type with the given buttons
// and returns the button pressed; ShowMessage is the plain message box with one OK button.
class MessagePort {
 public:
  virtual ~MessagePort() = default;
  virtual DialogButton MessageDlg(const std::string& text, DialogType type,
                                  const std::vector<DialogButton>& buttons) = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

// A message port for a sheet compiled beside the run (an equilibrium panel, a path window, an
// importer's own check): it shows nothing, answers the first button and keeps the last text,
// so the caller can say what went wrong its own way.
class KeepLastMessage : public MessagePort {
 public:
  DialogButton MessageDlg(const std::string& text, DialogType,
                          const std::vector<DialogButton>& buttons) override {
    last = text;
    return buttons.empty() ? DialogButton::OK : buttons.front();
  }
  void ShowMessage(const std::string& text) override { last = text; }
  std::string last;
};

// One point of a working-chart series: composition and Gibbs energy.
struct ChartPoint {
  double x;
  double g;
};

// The working G(X) chart of the main window. A sweep hands over whole series, never single
// points.
class WorkingChartSink {
 public:
  virtual ~WorkingChartSink() = default;
  // Removes every series and creates one line series per title, in order.
  virtual void RebuildSeries(const std::vector<std::string>& titles) = 0;
  // Empties every series.
  virtual void ClearSeries() = 0;
  // Replaces the points of series `index`.
  virtual void SetSeriesPoints(int index, const std::vector<ChartPoint>& points) = 0;
  // The desired increment of the bottom axis labels.
  virtual void SetBottomAxisIncrement(double increment) = 0;
};

// What one or more levels of a sweep leave for the user interface: the status line, the working
// chart of the last of them, their mosaic drawings in order and the messages they gave.
struct PostedLevel {
  int levels = 0;        // how many levels this holds
  int level_index = -1;  // the last of them
  double y = 0;
  std::string status;  // empty: the status line keeps its text
  bool chart = false;  // whether series holds the working chart of the last level
  std::vector<std::vector<ChartPoint>> series;
  std::vector<MosaicMark> mosaic;
  std::vector<std::string> messages;  // for MessagePort::ShowMessage, in order
};

// Where a sweep reports its levels as they are done: every member is called on the sweep's
// thread (a worker's, or the caller's for a sweep run in place) and, for a worker, must be safe
// to call while the user interface runs.
class LevelPort {
 public:
  virtual ~LevelPort() = default;
  // One level is done: its output goes to the user interface's thread.
  virtual void PostLevel(PostedLevel level) = 0;
  // The check boxes "Рабочая диаграмма" and "Мозаичная диаграмма", read at every level.
  virtual bool ShowChart() const = 0;
  virtual bool ShowMosaic() const = 0;
};

// How a run is made besides its problem, read at each Run, problem check and set-up.
struct RunSettings {
  // The decimal separator of every number written as text and read back (headers, point-phase
  // compositions).
  char decimal_separator = '.';
  // One level per Run (the check box "По шагам").
  bool step_mode = false;
  // The mosaic raster's size, and its colour: red in the lowest byte, then green, then blue.
  int mosaic_width = 400;
  int mosaic_height = 500;
  uint32_t mosaic_color = 12639424;
};

// Whoever runs the engine: the problem to compute and how, and the end of a complete sweep.
// Every member is called on the thread that calls Run, BeginRun, EndRun or CheckProblem. The
// levels themselves go to a LevelPort (or, without one, only into the results).
class RunHost {
 public:
  virtual ~RunHost() = default;
  // The current problem, read at each problem check after a pending edit of it was posted;
  // nothing when the record's own checks refused the post (they have shown their messages).
  virtual std::optional<ProblemInput> CurrentProblem() = 0;
  virtual RunSettings Settings() = 0;
  // A sweep reached Ymin and its results are complete: a window builds its diagram, a batch run
  // finds the special points.
  virtual void SweepCompleted() = 0;
};

}  // namespace calc
