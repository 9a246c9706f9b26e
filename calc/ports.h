#pragma once
// The narrow interfaces through which the calculation engine talks to its user interface.
// The main window implements all of them; brelona-calc and the tests implement them with
// small headless or recording versions.

#include <string>
#include <utility>
#include <vector>

namespace calc {

enum class DialogType { Warning, Error, Information, Confirmation };

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

// What the sweep needs from its host between and around levels.
class CalcHost {
 public:
  virtual ~CalcHost() = default;
  // Lets the user interface repaint and handle input; called after every level and set-up.
  virtual void ProcessEvents() = 0;
  // The text of the first panel of the main window's status bar.
  virtual void SetStatusText(const std::string& text) = 0;
  // Width and height of the mosaic window's client area, taken at each set-up.
  virtual std::pair<int, int> MosaicSize() = 0;
};

}  // namespace calc
