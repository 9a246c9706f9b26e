#pragma once
// The chart appearance editor: a modal dialog over a ChartView (the diagram and the main
// window's working chart). Pages: titles (title and foot: text, font, alignment, colour), walls
// (chart and plot colours, legend), axes (automatic or fixed range, increment, minor ticks,
// grid, labels and their format) and series (colour, marker shape and size, pen). Nothing
// reaches the chart until the dialog is closed with OK.

#include <QDialog>
#include <QList>
#include <QPushButton>

#include "views/chart_look.h"
#include "views/diagram_look.h"

QT_BEGIN_NAMESPACE
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;
class QTabWidget;
QT_END_NAMESPACE

namespace views {

class ChartView;

// A push button that shows a colour and lets the user pick another.
class ColourButton : public QPushButton {
  Q_OBJECT
 public:
  explicit ColourButton(QWidget* parent = nullptr);
  QColor Colour() const { return colour_; }
  void SetColour(const QColor& colour);
 signals:
  void colourChanged(QColor colour);

 private:
  QColor colour_;
};

class ChartEditor : public QDialog {
  Q_OBJECT

 public:
  // `series` gives the titles, kinds and looks of the chart's series (points are not used).
  ChartEditor(const ChartLook& look, const QList<SeriesData>& series, QWidget* parent = nullptr);

  // The look and the series looks as they stand in the dialog's controls.
  ChartLook Look() const;
  QList<SeriesLook> SeriesLooks() const;

  QTabWidget* Pages() const { return pages_; }

  // The "Diagram" page (phase diagrams only): boundaries, invariant lines, marks, field
  // labels, heading, temperature unit.
  void AddDiagramPage(const DiagramLook& look);
  DiagramLook GetDiagramLook() const;

 private:
  struct TextControls {
    QPlainTextEdit* text;
    QPushButton* font;
    QFont chosenFont;
    QComboBox* align;
    ColourButton* colour;
    QCheckBox* visible;
  };
  struct AxisControls {
    QCheckBox* automatic;
    QDoubleSpinBox* min;
    QDoubleSpinBox* max;
    QDoubleSpinBox* increment;
    QSpinBox* minorTicks;
    QCheckBox* grid;
    QComboBox* gridStyle;
    ColourButton* gridColour;
    QCheckBox* labels;
    QLineEdit* format;
  };

  QWidget* MakeTextPage();
  QWidget* MakeWallsPage();
  QWidget* MakeAxesPage();
  QWidget* MakeSeriesPage();
  QWidget* MakeTextGroup(const QString& caption, const QString& name, const TextLook& look,
                         TextControls& c);
  QWidget* MakeAxisGroup(const QString& caption, const QString& name, const AxisLook& look,
                         AxisControls& c);
  TextLook ReadText(const TextControls& c) const;
  AxisLook ReadAxis(const AxisControls& c) const;
  void ShowSeries(int index);
  void StoreSeries();
  // OK is offered only while both label formats can be drawn; otherwise a line under the
  // axes says what is wrong and what is expected.
  void CheckLabelFormats();

  ChartLook look_;
  QList<SeriesData> series_;
  QTabWidget* pages_ = nullptr;
  TextControls title_{}, foot_{};
  AxisControls bottom_{}, left_{};
  ColourButton* background_ = nullptr;
  ColourButton* plotArea_ = nullptr;
  QCheckBox* legend_ = nullptr;
  QLabel* formatProblem_ = nullptr;
  QPushButton* ok_ = nullptr;
  QListWidget* seriesList_ = nullptr;
  int shownSeries_ = -1;
  ColourButton* seriesColour_ = nullptr;
  QComboBox* marker_ = nullptr;
  QDoubleSpinBox* markerSize_ = nullptr;
  QCheckBox* markersVisible_ = nullptr;
  ColourButton* penColour_ = nullptr;
  QDoubleSpinBox* penWidth_ = nullptr;
  QComboBox* penStyle_ = nullptr;
  QCheckBox* seriesVisible_ = nullptr;

  struct LineControls {
    QCheckBox* visible;
    ColourButton* colour;
    QDoubleSpinBox* width;
    QComboBox* style;
  };
  QWidget* MakeLineGroup(const QString& caption, const QString& name, const LineLook& look,
                         LineControls& c);
  DiagramLook diagram_;
  bool hasDiagram_ = false;
  LineControls boundaries_{}, invariants_{};
  QCheckBox* reactionTypes_ = nullptr;
  QCheckBox* marks_ = nullptr;
  ColourButton* markColour_ = nullptr;
  QCheckBox* fieldLabels_ = nullptr;
  QSpinBox* labelSize_ = nullptr;
  ColourButton* labelColour_ = nullptr;
  QComboBox* unit_ = nullptr;
  QComboBox* composition_ = nullptr;  // mole fraction or weight percent
  TextControls heading_{};
};

// Opens the editor for `view` as a modal dialog on its first page; OK applies the edited look
// and series looks to the chart. Returns whether they were applied. With `diagram` the editor
// also has the "Diagram" page, and OK writes the edited diagram look back into it.
bool EditChart(ChartView* view, QWidget* parent = nullptr, DiagramLook* diagram = nullptr);

}  // namespace views
