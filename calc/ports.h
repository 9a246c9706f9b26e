#pragma once
// The narrow interfaces through which the calculation engine talks to its user interface.
// The main window implements all of them; brelona-calc and the tests implement them with
// small headless or recording versions.

#include <cstdint>
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

// What one or more levels of a sweep on a worker thread leave for the user interface: the
// status line, the working chart of the last of them, their mosaic drawings in order and the
// messages they gave. A sweep on the user interface's thread hands these to the other ports
// instead.
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

// What a sweep on a worker thread uses instead of the host and the chart: every member is
// called on the worker thread and must be safe to call while the user interface runs.
class LevelPort {
 public:
  virtual ~LevelPort() = default;
  // One level is done: its output goes to the user interface's thread.
  virtual void PostLevel(PostedLevel level) = 0;
  // The check boxes "Рабочая диаграмма" and "Мозаичная диаграмма", read at every level.
  virtual bool ShowChart() const = 0;
  virtual bool ShowMosaic() const = 0;
};

// What the sweep needs from its host between and around levels. Every member is called on the
// user-interface thread from inside Engine::Run or Engine::CheckProblem.
class CalcHost {
 public:
  virtual ~CalcHost() = default;
  // Lets the user interface repaint and handle input; called after every level and set-up.
  // A Run started from here (F9 pressed again) is ignored by the engine.
  virtual void ProcessEvents() = 0;
  // The text of the first panel of the main window's status bar.
  virtual void SetStatusText(const std::string& text) = 0;
  // Width and height of the mosaic window's client area, taken at each set-up.
  virtual std::pair<int, int> MosaicSize() = 0;

  // Posts a pending edit of the current problem, if the table is in edit or insert state.
  // Returns false when the record's own checks refused the post (they have shown their
  // messages); true when nothing was pending or the post succeeded.
  virtual bool PostPendingEdit() = 0;
  // The current problem record, read after PostPendingEdit.
  virtual ProblemInput CurrentProblem() = 0;
  // The check boxes "Рабочая диаграмма" and "Мозаичная диаграмма" of the current problem; read
  // at every level, so a change takes effect at the next level.
  virtual bool ShowChart() = 0;
  virtual bool ShowMosaic() = 0;
  // The check box "По шагам" (one level per Run).
  virtual bool StepMode() = 0;
  // The decimal separator used for every number written as text and read back (headers,
  // point-phase compositions); taken at each problem check.
  virtual char DecimalSeparator() = 0;
  // The mosaic colour, red in the lowest byte, then green, then blue; taken at each set-up.
  virtual uint32_t MosaicColor() = 0;
  // Moves the focus to the edit box of the fixed parameter's value, when it can take it.
  virtual void FocusZValue() = 0;
  // Sets the captions of the mosaic, diagram and cell-grid windows to the problem name.
  virtual void SetCaptions(const std::string& problem_name) = 0;
  // Hides the mosaic window.
  virtual void HideMosaicWindow() = 0;
  // Shows the mosaic window; with keep_main_in_front the main window is shown again after it.
  virtual void ShowMosaicWindow(bool keep_main_in_front) = 0;
  // The mosaic raster of the results was replaced by a new one (set-up): rewrap it.
  virtual void MosaicReplaced() = 0;
  // Enables or disables the problem list, so the current problem cannot change under a sweep.
  virtual void SetProblemListEnabled(bool enabled) = 0;
  // A sweep completed: enable the "Диаграмма" and grid buttons.
  virtual void EnableResultCommands() = 0;
  // The diagram command: plots the diagram points, runs Engine::FindSpecialPoints and shows
  // the diagram window. Called once at the end of every complete sweep.
  virtual void BuildDiagram() = 0;
  // Whether the special points window is visible, and its command (rebuilds its tables).
  // ShowSpecialPoints is called after BuildDiagram only when the window is visible.
  virtual bool SpecialPointsWindowVisible() = 0;
  virtual void ShowSpecialPoints() = 0;
};

}  // namespace calc
