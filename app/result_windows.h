#pragma once
// What the main window needs from the result windows (mosaic, diagram, cell grid, special
// points). The program's entry creates the windows after the main window and hands them over
// through this interface; until then, and in tests that do without them, the main window works
// with none.

#include <QSize>
#include <QString>

namespace app {

class TResultWindows {
 public:
  virtual ~TResultWindows() = default;
  // Captions of the mosaic, diagram and cell-grid windows (the problem's name).
  virtual void SetCaptions(const QString& problemName) = 0;
  // The mosaic window's client area.
  virtual QSize MosaicClientSize() = 0;
  virtual void HideMosaic() = 0;
  virtual void ShowMosaic() = 0;
  // The run replaced the mosaic raster (a set-up); the window shows the new one.
  virtual void MosaicReplaced() = 0;
  // A level was computed: the windows that show the results as they grow repaint (at most
  // every few tens of milliseconds, so painting never holds a sweep back).
  virtual void LevelDone() = 0;
  // A command that computed levels has ended: the windows show its last level.
  virtual void RunEnded() = 0;
  // The levels are computed on another thread from now until SweepEnded: nothing may read the
  // cell grid meanwhile (the grid window shows it again afterwards).
  virtual void SweepStarted() {}
  virtual void SweepEnded() {}
  // The diagram command: plots the diagram points, finds the special points, shows the window.
  virtual void BuildDiagram() = 0;
  virtual bool SpecialPointsVisible() = 0;
  // The special points command: rebuilds the table and shows the window.
  virtual void ShowSpecialPoints() = 0;
  // Shows the cell-grid window with wide cells.
  virtual void ShowGrid() = 0;
  // "Export diagram…": the diagram's picture to a file the user chooses.
  virtual void ExportDiagram() {}
  // Live mode: while on, a diagram built keeps the zoom and the point's panel it had. A
  // non-empty `why` marks the diagram shown as stale, with the reason (the sheet on screen has
  // an error); empty, the mark goes.
  virtual void SetLive(bool) {}
  virtual void MarkStale(const QString&) {}
  // Whether a window of these is visible (tests and the run's window handling).
  virtual bool MosaicVisible() = 0;
};

}  // namespace app
