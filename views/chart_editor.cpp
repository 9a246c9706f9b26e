#include "views/chart_editor.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QValueAxis>

#include "views/chart_file.h"
#include "views/chart_view.h"

namespace views {

namespace {

const QList<QPair<QString, Qt::PenStyle>> kPenStyles = {
    {QStringLiteral("Solid"), Qt::SolidLine},       {QStringLiteral("Dash"), Qt::DashLine},
    {QStringLiteral("Dot"), Qt::DotLine},           {QStringLiteral("Dash dot"), Qt::DashDotLine},
    {QStringLiteral("Dash dot dot"), Qt::DashDotDotLine}, {QStringLiteral("None"), Qt::NoPen}};

const QList<QPair<QString, MarkerShape>> kMarkers = {
    {QStringLiteral("Circle"), MarkerShape::Circle},   {QStringLiteral("Rectangle"), MarkerShape::Rectangle},
    {QStringLiteral("Diamond"), MarkerShape::Diamond}, {QStringLiteral("Triangle"), MarkerShape::Triangle},
    {QStringLiteral("Star"), MarkerShape::Star},       {QStringLiteral("Pentagon"), MarkerShape::Pentagon}};

const QList<QPair<QString, TextAlign>> kAligns = {{QStringLiteral("Left"), TextAlign::Left},
                                                  {QStringLiteral("Centre"), TextAlign::Center},
                                                  {QStringLiteral("Right"), TextAlign::Right}};

template <typename T>
QComboBox* MakeCombo(const QList<QPair<QString, T>>& items, T current, const QString& name) {
  auto* box = new QComboBox;
  box->setObjectName(name);
  for (const auto& [text, value] : items) {
    box->addItem(text);
    if (value == current) box->setCurrentIndex(box->count() - 1);
  }
  return box;
}

template <typename T>
T ComboValue(const QList<QPair<QString, T>>& items, const QComboBox* box) {
  const int i = box->currentIndex();
  return items[i >= 0 && i < items.size() ? i : 0].second;
}

template <typename T>
void SetCombo(const QList<QPair<QString, T>>& items, QComboBox* box, T value) {
  for (int i = 0; i < items.size(); ++i) {
    if (items[i].second == value) box->setCurrentIndex(i);
  }
}

QString FontText(const QFont& f) {
  return QStringLiteral("%1, %2 px%3%4")
      .arg(f.family())
      .arg(f.pixelSize() > 0 ? f.pixelSize() : qRound(f.pointSizeF()))
      .arg(f.bold() ? QStringLiteral(", bold") : QString())
      .arg(f.italic() ? QStringLiteral(", italic") : QString());
}

QDoubleSpinBox* MakeNumber(double value, double lo, double hi, int decimals, const QString& name) {
  auto* box = new QDoubleSpinBox;
  box->setObjectName(name);
  box->setRange(lo, hi);
  box->setDecimals(decimals);
  box->setValue(value);
  return box;
}

QCheckBox* MakeCheck(const QString& text, bool checked, const QString& name) {
  auto* box = new QCheckBox(text);
  box->setObjectName(name);
  box->setChecked(checked);
  return box;
}

}  // namespace

ColourButton::ColourButton(QWidget* parent) : QPushButton(parent) {
  connect(this, &QPushButton::clicked, this, [this] {
    const QColor c = QColorDialog::getColor(colour_, this);
    if (c.isValid()) SetColour(c);
  });
}

void ColourButton::SetColour(const QColor& colour) {
  colour_ = colour;
  QPixmap swatch(32, 14);
  swatch.fill(colour);
  setIcon(QIcon(swatch));
  setIconSize(swatch.size());
  setText(colour.name());
  emit colourChanged(colour);
}

ChartEditor::ChartEditor(const ChartLook& look, const QList<SeriesData>& series, QWidget* parent)
    : QDialog(parent), look_(look), series_(series) {
  setWindowTitle(tr("Edit chart"));
  setModal(true);
  pages_ = new QTabWidget;
  pages_->setObjectName(QStringLiteral("pages"));
  pages_->addTab(MakeTextPage(), tr("Titles"));
  pages_->addTab(MakeWallsPage(), tr("Walls"));
  pages_->addTab(MakeAxesPage(), tr("Axes"));
  pages_->addTab(MakeSeriesPage(), tr("Series"));
  pages_->setCurrentIndex(0);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  CheckLabelFormats();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pages_);
  layout->addWidget(buttons);
}

QWidget* ChartEditor::MakeTextGroup(const QString& caption, const QString& name,
                                    const TextLook& look, TextControls& c) {
  auto* group = new QGroupBox(caption);
  auto* form = new QFormLayout(group);
  c.text = new QPlainTextEdit(look.text);
  c.text->setObjectName(name + QStringLiteral("Text"));
  c.text->setFixedHeight(52);
  c.chosenFont = look.font;
  c.font = new QPushButton(FontText(look.font));
  c.font->setObjectName(name + QStringLiteral("Font"));
  QFont* chosen = &c.chosenFont;
  QPushButton* fontButton = c.font;
  connect(c.font, &QPushButton::clicked, this, [this, chosen, fontButton] {
    bool ok = false;
    const QFont f = QFontDialog::getFont(&ok, *chosen, this);
    if (!ok) return;
    *chosen = f;
    if (chosen->pixelSize() <= 0) chosen->setPixelSize(qMax(1, qRound(f.pointSizeF() * 96 / 72)));
    fontButton->setText(FontText(*chosen));
  });
  c.align = MakeCombo(kAligns, look.align, name + QStringLiteral("Align"));
  c.colour = new ColourButton;
  c.colour->setObjectName(name + QStringLiteral("Colour"));
  c.colour->SetColour(look.colour);
  c.visible = MakeCheck(tr("Visible"), look.visible, name + QStringLiteral("Visible"));
  form->addRow(tr("Text"), c.text);
  form->addRow(tr("Font"), c.font);
  form->addRow(tr("Alignment"), c.align);
  form->addRow(tr("Colour"), c.colour);
  form->addRow(QString(), c.visible);
  return group;
}

QWidget* ChartEditor::MakeTextPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(MakeTextGroup(tr("Title"), QStringLiteral("title"), look_.title, title_));
  layout->addWidget(MakeTextGroup(tr("Foot"), QStringLiteral("foot"), look_.foot, foot_));
  layout->addStretch();
  return page;
}

QWidget* ChartEditor::MakeWallsPage() {
  auto* page = new QWidget;
  auto* form = new QFormLayout(page);
  background_ = new ColourButton;
  background_->setObjectName(QStringLiteral("background"));
  background_->SetColour(look_.background);
  plotArea_ = new ColourButton;
  plotArea_->setObjectName(QStringLiteral("plotArea"));
  plotArea_->SetColour(look_.plotArea);
  legend_ = MakeCheck(tr("Show the legend"), look_.legendVisible, QStringLiteral("legend"));
  form->addRow(tr("Chart background"), background_);
  form->addRow(tr("Back wall (plot area)"), plotArea_);
  form->addRow(QString(), legend_);
  return page;
}

QWidget* ChartEditor::MakeAxisGroup(const QString& caption, const QString& name,
                                    const AxisLook& look, AxisControls& c) {
  auto* group = new QGroupBox(caption);
  auto* form = new QFormLayout(group);
  constexpr double kBig = 1e12;
  c.automatic =
      MakeCheck(tr("Automatic range"), look.automatic, name + QStringLiteral("Automatic"));
  c.min = MakeNumber(look.min, -kBig, kBig, 6, name + QStringLiteral("Min"));
  c.max = MakeNumber(look.max, -kBig, kBig, 6, name + QStringLiteral("Max"));
  c.increment = MakeNumber(look.increment, 0, kBig, 6, name + QStringLiteral("Increment"));
  c.increment->setSpecialValueText(tr("automatic"));
  c.minorTicks = new QSpinBox;
  c.minorTicks->setObjectName(name + QStringLiteral("MinorTicks"));
  c.minorTicks->setRange(0, 100);
  c.minorTicks->setValue(look.minorTicks);
  c.grid = MakeCheck(tr("Grid"), look.gridVisible, name + QStringLiteral("Grid"));
  c.gridStyle = MakeCombo(kPenStyles, look.gridStyle, name + QStringLiteral("GridStyle"));
  c.gridColour = new ColourButton;
  c.gridColour->setObjectName(name + QStringLiteral("GridColour"));
  c.gridColour->SetColour(look.gridColour);
  c.labels = MakeCheck(tr("Labels"), look.labelsVisible, name + QStringLiteral("Labels"));
  c.format = new QLineEdit(look.labelFormat);
  c.format->setObjectName(name + QStringLiteral("Format"));
  c.format->setPlaceholderText(tr("automatic, or e.g. %.2f"));
  c.format->setToolTip(LabelFormatHint());
  connect(c.format, &QLineEdit::textChanged, this, &ChartEditor::CheckLabelFormats);
  auto enableRange = [min = c.min, max = c.max](bool automatic) {
    min->setEnabled(!automatic);
    max->setEnabled(!automatic);
  };
  enableRange(look.automatic);
  connect(c.automatic, &QCheckBox::toggled, this, enableRange);
  form->addRow(QString(), c.automatic);
  form->addRow(tr("Minimum"), c.min);
  form->addRow(tr("Maximum"), c.max);
  form->addRow(tr("Increment"), c.increment);
  form->addRow(tr("Minor ticks"), c.minorTicks);
  form->addRow(QString(), c.grid);
  form->addRow(tr("Grid style"), c.gridStyle);
  form->addRow(tr("Grid colour"), c.gridColour);
  form->addRow(QString(), c.labels);
  form->addRow(tr("Label format"), c.format);
  return group;
}

QWidget* ChartEditor::MakeAxesPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);
  auto* layout = new QHBoxLayout;
  layout->addWidget(
      MakeAxisGroup(tr("Bottom axis"), QStringLiteral("bottom"), look_.bottom, bottom_));
  layout->addWidget(MakeAxisGroup(tr("Left axis"), QStringLiteral("left"), look_.left, left_));
  column->addLayout(layout);
  formatProblem_ = new QLabel;
  formatProblem_->setObjectName(QStringLiteral("formatProblem"));
  formatProblem_->setWordWrap(true);
  formatProblem_->setStyleSheet(QStringLiteral("color: #b00000"));
  column->addWidget(formatProblem_);
  return page;
}

QWidget* ChartEditor::MakeSeriesPage() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);
  seriesList_ = new QListWidget;
  seriesList_->setObjectName(QStringLiteral("seriesList"));
  for (const SeriesData& s : series_) seriesList_->addItem(s.title);
  layout->addWidget(seriesList_, 1);

  auto* form = new QFormLayout;
  seriesColour_ = new ColourButton;
  seriesColour_->setObjectName(QStringLiteral("seriesColour"));
  marker_ = MakeCombo(kMarkers, MarkerShape::Circle, QStringLiteral("marker"));
  markerSize_ = MakeNumber(5, 0, 100, 1, QStringLiteral("markerSize"));
  markersVisible_ = MakeCheck(tr("Markers on lines"), true, QStringLiteral("markersVisible"));
  penColour_ = new ColourButton;
  penColour_->setObjectName(QStringLiteral("penColour"));
  penWidth_ = MakeNumber(1, 0, 50, 1, QStringLiteral("penWidth"));
  penStyle_ = MakeCombo(kPenStyles, Qt::SolidLine, QStringLiteral("penStyle"));
  seriesVisible_ = MakeCheck(tr("Visible"), true, QStringLiteral("seriesVisible"));
  form->addRow(tr("Colour"), seriesColour_);
  form->addRow(tr("Marker"), marker_);
  form->addRow(tr("Marker size"), markerSize_);
  form->addRow(QString(), markersVisible_);
  form->addRow(tr("Outline / pen colour"), penColour_);
  form->addRow(tr("Pen width"), penWidth_);
  form->addRow(tr("Pen style"), penStyle_);
  form->addRow(QString(), seriesVisible_);
  auto* right = new QWidget;
  right->setLayout(form);
  right->setEnabled(!series_.isEmpty());
  layout->addWidget(right, 2);

  connect(seriesList_, &QListWidget::currentRowChanged, this, [this](int row) {
    StoreSeries();
    ShowSeries(row);
  });
  if (!series_.isEmpty()) seriesList_->setCurrentRow(0);
  return page;
}

void ChartEditor::CheckLabelFormats() {
  if (!ok_ || !formatProblem_) return;  // still building
  QStringList problems;
  const auto check = [&problems](const QString& axis, QLineEdit* field) {
    const QString why = LabelFormatProblem(field->text().trimmed());
    field->setStyleSheet(why.isEmpty() ? QString() : QStringLiteral("background: #ffd8d8"));
    if (!why.isEmpty()) problems << tr("The %1 axis label format %2.").arg(axis, why);
  };
  check(tr("bottom"), bottom_.format);
  check(tr("left"), left_.format);
  if (!problems.isEmpty()) problems << LabelFormatHint();
  formatProblem_->setText(problems.join(u' '));
  formatProblem_->setVisible(!problems.isEmpty());
  ok_->setEnabled(problems.isEmpty());
}

void ChartEditor::ShowSeries(int index) {
  shownSeries_ = index;
  if (index < 0 || index >= series_.size()) return;
  const SeriesLook& l = series_[index].look;
  const bool points = series_[index].kind == SeriesKind::Points;
  seriesColour_->SetColour(l.colour);
  SetCombo(kMarkers, marker_, l.marker);
  markerSize_->setValue(l.markerSize);
  markersVisible_->setChecked(l.markersVisible);
  penColour_->SetColour(l.penColour);
  penWidth_->setValue(l.penWidth);
  SetCombo(kPenStyles, penStyle_, l.penStyle);
  seriesVisible_->setChecked(l.visible);
  // A line is drawn in the series colour; markers of a point series have their own outline.
  marker_->setEnabled(points);
  markersVisible_->setEnabled(!points);
  penColour_->setEnabled(points);
}

void ChartEditor::StoreSeries() {
  if (shownSeries_ < 0 || shownSeries_ >= series_.size()) return;
  SeriesLook& l = series_[shownSeries_].look;
  l.colour = seriesColour_->Colour();
  l.marker = ComboValue(kMarkers, marker_);
  l.markerSize = markerSize_->value();
  l.markersVisible = markersVisible_->isChecked();
  l.penColour = series_[shownSeries_].kind == SeriesKind::Points ? penColour_->Colour() : l.colour;
  l.penWidth = penWidth_->value();
  l.penStyle = ComboValue(kPenStyles, penStyle_);
  l.visible = seriesVisible_->isChecked();
}

TextLook ChartEditor::ReadText(const TextControls& c) const {
  TextLook t;
  t.text = c.text->toPlainText();
  t.font = c.chosenFont;
  t.align = ComboValue(kAligns, c.align);
  t.colour = c.colour->Colour();
  t.visible = c.visible->isChecked();
  return t;
}

AxisLook ChartEditor::ReadAxis(const AxisControls& c) const {
  AxisLook a;
  a.automatic = c.automatic->isChecked();
  a.min = c.min->value();
  a.max = c.max->value();
  if (!(a.min < a.max)) {  // a fixed range needs two different ends; keep them ordered
    if (a.min > a.max) std::swap(a.min, a.max);
    if (a.min == a.max) a.max = a.min + 1;
  }
  a.increment = c.increment->value();
  a.minorTicks = c.minorTicks->value();
  a.gridVisible = c.grid->isChecked();
  a.gridStyle = ComboValue(kPenStyles, c.gridStyle);
  a.gridColour = c.gridColour->Colour();
  a.labelsVisible = c.labels->isChecked();
  a.labelFormat = c.format->text().trimmed();
  return a;
}

ChartLook ChartEditor::Look() const {
  ChartLook l = look_;
  l.title = ReadText(title_);
  l.foot = ReadText(foot_);
  l.background = background_->Colour();
  l.plotArea = plotArea_->Colour();
  l.legendVisible = legend_->isChecked();
  l.bottom = ReadAxis(bottom_);
  l.left = ReadAxis(left_);
  return l;
}

QList<SeriesLook> ChartEditor::SeriesLooks() const {
  const_cast<ChartEditor*>(this)->StoreSeries();
  QList<SeriesLook> looks;
  for (const SeriesData& s : series_) looks.append(s.look);
  return looks;
}

QWidget* ChartEditor::MakeLineGroup(const QString& caption, const QString& name,
                                    const LineLook& look, LineControls& c) {
  auto* group = new QGroupBox(caption);
  auto* form = new QFormLayout(group);
  c.visible = MakeCheck(tr("Visible"), look.visible, name + QStringLiteral("Visible"));
  c.colour = new ColourButton;
  c.colour->setObjectName(name + QStringLiteral("Colour"));
  c.colour->SetColour(look.colour);
  c.width = MakeNumber(look.width, 0, 50, 1, name + QStringLiteral("Width"));
  c.style = MakeCombo(kPenStyles, look.style, name + QStringLiteral("Style"));
  form->addRow(QString(), c.visible);
  form->addRow(tr("Colour"), c.colour);
  form->addRow(tr("Width"), c.width);
  form->addRow(tr("Style"), c.style);
  return group;
}

void ChartEditor::AddDiagramPage(const DiagramLook& look) {
  diagram_ = look;
  hasDiagram_ = true;
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  grid->addWidget(MakeLineGroup(tr("Phase boundaries"), QStringLiteral("boundaries"),
                                look.boundaries, boundaries_),
                  0, 0);
  grid->addWidget(MakeLineGroup(tr("Invariant lines"), QStringLiteral("invariants"),
                                look.invariants, invariants_),
                  0, 1);
  auto* other = new QGroupBox(tr("Labels and points"));
  auto* form = new QFormLayout(other);
  reactionTypes_ = MakeCheck(tr("Reaction type on invariant lines"), look.reactionTypes,
                             QStringLiteral("reactionTypes"));
  marks_ = MakeCheck(tr("Congruent and critical points"), look.marks, QStringLiteral("marks"));
  markColour_ = new ColourButton;
  markColour_->setObjectName(QStringLiteral("markColour"));
  markColour_->SetColour(look.markColour);
  fieldLabels_ =
      MakeCheck(tr("Phase-field labels"), look.fieldLabels, QStringLiteral("fieldLabels"));
  labelSize_ = new QSpinBox;
  labelSize_->setObjectName(QStringLiteral("labelSize"));
  labelSize_->setRange(6, 72);
  labelSize_->setValue(look.labelFont.pixelSize() > 0 ? look.labelFont.pixelSize() : 13);
  labelColour_ = new ColourButton;
  labelColour_->setObjectName(QStringLiteral("labelColour"));
  labelColour_->SetColour(look.labelColour);
  unit_ = new QComboBox;
  unit_->setObjectName(QStringLiteral("temperatureUnit"));
  unit_->addItem(tr("K"));
  unit_->addItem(tr("°C"));
  unit_->setCurrentIndex(look.celsius ? 1 : 0);
  composition_ = new QComboBox;
  composition_->setObjectName(QStringLiteral("compositionUnit"));
  composition_->addItem(tr("mole fraction"));
  composition_->addItem(tr("weight percent"));
  composition_->setCurrentIndex(look.weightPercent ? 1 : 0);
  form->addRow(QString(), reactionTypes_);
  form->addRow(QString(), marks_);
  form->addRow(tr("Point colour"), markColour_);
  form->addRow(QString(), fieldLabels_);
  form->addRow(tr("Label size, px"), labelSize_);
  form->addRow(tr("Label colour"), labelColour_);
  form->addRow(tr("Temperature in"), unit_);
  form->addRow(tr("Composition in"), composition_);
  grid->addWidget(other, 1, 0);
  grid->addWidget(MakeTextGroup(tr("Heading (empty: the problem's name)"),
                                QStringLiteral("heading"), look.heading, heading_),
                  1, 1);
  pages_->addTab(page, tr("Diagram"));
}

DiagramLook ChartEditor::GetDiagramLook() const {
  DiagramLook d = diagram_;
  if (!hasDiagram_) return d;
  auto line = [](const LineControls& c) {
    return LineLook{c.visible->isChecked(), c.colour->Colour(), c.width->value(),
                    ComboValue(kPenStyles, c.style)};
  };
  d.boundaries = line(boundaries_);
  d.invariants = line(invariants_);
  d.reactionTypes = reactionTypes_->isChecked();
  d.marks = marks_->isChecked();
  d.markColour = markColour_->Colour();
  d.fieldLabels = fieldLabels_->isChecked();
  d.labelFont.setPixelSize(labelSize_->value());
  d.labelColour = labelColour_->Colour();
  d.celsius = unit_->currentIndex() == 1;
  d.weightPercent = composition_->currentIndex() == 1;
  d.heading = ReadText(heading_);
  return d;
}

bool EditChart(ChartView* view, QWidget* parent, DiagramLook* diagram) {
  QList<SeriesData> series;
  for (int i = 0; i < view->SeriesCount(); ++i) {
    series.append(SeriesData{view->KindAt(i), view->TitleAt(i), view->SeriesLookAt(i), {}});
  }
  // An automatic axis offers the range it shows now, so unticking "Automatic range" starts
  // from what the user sees.
  ChartLook look = view->Look();
  auto shown = [](AxisLook& axis, const QValueAxis* qt) {
    if (!axis.automatic) return;
    axis.min = qt->min();
    axis.max = qt->max();
  };
  shown(look.bottom, view->BottomAxis());
  shown(look.left, view->LeftAxis());
  ChartEditor editor(look, series, parent ? parent : view->window());
  if (diagram) editor.AddDiagramPage(*diagram);
  if (editor.exec() != QDialog::Accepted) return false;
  if (diagram) *diagram = editor.GetDiagramLook();
  const QList<SeriesLook> looks = editor.SeriesLooks();
  for (int i = 0; i < looks.size() && i < view->SeriesCount(); ++i) view->SetSeriesLook(i, looks[i]);
  view->SetLook(editor.Look());
  return true;
}

}  // namespace views
