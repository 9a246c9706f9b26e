#pragma once
// Pictures of the phase diagram for reports: the diagram window's renderer (diagram_renderer.h)
// drawn to PNG, SVG (when Qt SVG is available) and PDF, with no window and no event loop.

#include <QSize>
#include <QString>
#include <functional>

#include "calc/masses.h"
#include "calc/phase_sheet.h"
#include "calc/problem.h"
#include "calc/results.h"

namespace views {

struct DiagramImageOptions {
  QString pngPath;        // empty: no PNG
  QString svgPath;        // empty: no SVG
  QString pdfPath;        // empty: no PDF
  QSize size{696, 482};   // the chart area of the diagram window at its designed size
  int dpi = 96;           // fonts and lines scale with dpi / 96
  bool celsius = false;   // temperatures in °C
  bool weightPercent = false;    // compositions in weight percent of B (with `masses`)
  calc::ComponentMasses masses;  // unknown: mole fractions, and a note on the plot
  bool gridPoints = false;  // the grid's points (thick bands on a fine grid); off: boundaries only
  calc::ComponentNames names;  // the X axis title names them when given
  std::vector<calc::LeftOutPhase> leftOut;  // said on the plot when the import left some out
  QString chartFile;  // a chart file whose appearance (chart and diagram) to use; empty: the
                      // designed look
  QString caption;    // the plot's heading (unless the look has one) and the SVG's and PDF's title
  char decimalSeparator = '.';
};

// Whether SVG pictures can be written by this build.
bool CanWriteSvg();

// Builds the diagram of `results` exactly as the diagram window does (see
// DiagramRenderer::Build; `findSpecialPoints` may be empty to draw the nodes and special
// points already in `results`) and writes the pictures. Makes no widget, but the chart is a
// graphics item and needs a QApplication; when there is none (a command-line program) one is
// made on the offscreen platform and kept.
// Every picture asked for is tried. Returns false with `error` set when one could not be
// written: one line for each that failed, naming its file and why.
bool RenderDiagram(const calc::Results& results, calc::YParameter yParameter,
                   const std::function<void()>& findSpecialPoints, const DiagramImageOptions& options,
                   QString* error = nullptr);

}  // namespace views
