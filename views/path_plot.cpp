#include "views/path_plot.h"

#include <QApplication>
#include <QBuffer>
#include <QFontMetricsF>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <algorithm>
#include <cmath>
#include <limits>

#ifdef BRELONA_HAVE_SVG
#include <QSvgGenerator>
#endif

#include "views/translation.h"

namespace views {

QString PhaseNames(const std::vector<calc::EquilibriumPhase>& phases) {
  if (phases.size() == 2 && phases[0].Name == phases[1].Name) {
    const QString name = QString::fromStdString(phases[0].Name);
    return name + QStringLiteral("′ + ") + name + QStringLiteral("″");
  }
  QStringList names;
  for (const calc::EquilibriumPhase& ph : phases) names << QString::fromStdString(ph.Name);
  return names.join(QStringLiteral(" + "));
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

const QColor kPalette[] = {{31, 119, 180},  {214, 39, 40}, {44, 160, 44},   {255, 127, 14},
                           {148, 103, 189}, {140, 86, 75}, {227, 119, 194}, {127, 127, 127},
                           {188, 189, 34},  {23, 190, 207}};

QColor PaletteColour(size_t i) {
  return kPalette[i % (sizeof kPalette / sizeof kPalette[0])];
}

// Tick values over lo..hi about `wanted` apart in count: steps of 1, 2 or 5 times a power of 10.
std::vector<double> Ticks(double lo, double hi, int wanted, double* stepOut) {
  std::vector<double> ticks;
  const double span = hi - lo;
  if (!(span > 0) || !std::isfinite(span)) return ticks;
  const double raw = span / std::max(wanted, 2);
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= raw) break;
  }
  *stepOut = step;
  for (double t = std::ceil(lo / step - 1e-9) * step; t <= hi + 1e-9 * step; t += step)
    ticks.push_back(std::abs(t) < 1e-12 * step ? 0.0 : t);
  return ticks;
}

QString TickText(double v, double step) {
  const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 8);
  return QString::number(v, 'f', decimals);
}

QFont PlotFont(double pixels, bool bold = false) {
  QFont f = QGuiApplication::font();
  f.setPixelSize(static_cast<int>(std::lround(pixels)));
  f.setBold(bold);
  return f;
}

}  // namespace

void DrawPlot(QPainter& p, QSizeF size, const PlotData& d) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.fillRect(QRectF(QPointF(0, 0), size), Qt::white);

  // Ranges.
  double x0 = d.xMin, x1 = d.xMax, y0 = d.yMin, y1 = d.yMax;
  if (!(x0 < x1) || !(y0 < y1)) {
    double lx = kInf, hx = -kInf, ly = kInf, hy = -kInf;
    for (const PlotCurve& c : d.curves) {
      for (const QPointF& pt : c.points) {
        if (!std::isfinite(pt.x()) || !std::isfinite(pt.y())) continue;
        lx = std::min(lx, pt.x());
        hx = std::max(hx, pt.x());
        ly = std::min(ly, pt.y());
        hy = std::max(hy, pt.y());
      }
    }
    if (!(x0 < x1)) {
      x0 = lx;
      x1 = hx;
    }
    if (!(x0 < x1)) {
      x0 = (std::isfinite(lx) ? lx : 0) - 0.5;
      x1 = x0 + 1;
    }
    if (!(y0 < y1)) {
      const double pad = 0.05 * (hy - ly);
      y0 = ly - pad;
      y1 = hy + pad;
    }
    if (!(y0 < y1)) {
      y0 = (std::isfinite(ly) ? ly : 0) - 0.5;
      y1 = y0 + 1;
    }
  }

  const QFont tickFont = PlotFont(11), titleFont = PlotFont(14, true), axisFont = PlotFont(12),
              markFont = PlotFont(10);
  const QFontMetricsF tickM(tickFont), titleM(titleFont), axisM(axisFont), markM(markFont);

  // Legend width, tick label width.
  double legendWidth = 0;
  for (const PlotCurve& c : d.curves)
    legendWidth = std::max(legendWidth, axisM.horizontalAdvance(c.name));
  if (legendWidth > 0) legendWidth += 40;
  double yStep = 1;
  const std::vector<double> yTicks =
      Ticks(y0, y1, static_cast<int>(std::max(2.0, size.height() / 60)), &yStep);
  double tickWidth = 0;
  for (double t : yTicks)
    tickWidth = std::max(tickWidth, tickM.horizontalAdvance(TickText(t, yStep)));

  const double top = (d.title.isEmpty() ? 10 : titleM.height() + 14);
  const double left = 12 + axisM.height() + 6 + tickWidth + 6;
  const double bottom = 8 + tickM.height() + 6 + axisM.height() + 8;
  const double right = 14 + legendWidth;
  const QRectF plot(left, top, std::max(10.0, size.width() - left - right),
                    std::max(10.0, size.height() - top - bottom));
  auto X = [&](double v) { return plot.left() + (v - x0) / (x1 - x0) * plot.width(); };
  auto Y = [&](double v) { return plot.bottom() - (v - y0) / (y1 - y0) * plot.height(); };

  // Title.
  if (!d.title.isEmpty()) {
    p.setFont(titleFont);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 6, size.width(), titleM.height()), Qt::AlignHCenter | Qt::AlignVCenter,
               titleM.elidedText(d.title, Qt::ElideRight, size.width() - 12));
  }

  // Regions: light bands, their labels at the top inside the plot.
  p.setFont(markFont);
  for (size_t i = 0; i < d.regions.size(); ++i) {
    const PlotRegion& r = d.regions[i];
    const double a = std::clamp(X(std::min(r.from, r.to)), plot.left(), plot.right());
    const double b = std::clamp(X(std::max(r.from, r.to)), plot.left(), plot.right());
    if (b <= a) continue;
    if (i % 2 == 1) p.fillRect(QRectF(a, plot.top(), b - a, plot.height()), QColor(242, 242, 248));
    const QString text = markM.elidedText(r.label, Qt::ElideRight, b - a - 4);
    p.setPen(QColor(70, 70, 90));
    p.drawText(QRectF(a + 2, plot.top() + 2, b - a - 4, markM.height()), Qt::AlignHCenter, text);
  }

  // Grid and ticks.
  double xStep = 1;
  const std::vector<double> xTicks =
      Ticks(x0, x1, static_cast<int>(std::max(2.0, plot.width() / 80)), &xStep);
  p.setFont(tickFont);
  for (double t : xTicks) {
    const double px = X(t);
    p.setPen(QPen(QColor(225, 225, 225), 0.8));
    p.drawLine(QPointF(px, plot.top()), QPointF(px, plot.bottom()));
    p.setPen(Qt::black);
    p.drawLine(QPointF(px, plot.bottom()), QPointF(px, plot.bottom() + 4));
    const QString s = TickText(t, xStep);
    p.drawText(QRectF(px - 50, plot.bottom() + 6, 100, tickM.height()), Qt::AlignHCenter, s);
  }
  for (double t : yTicks) {
    const double py = Y(t);
    p.setPen(QPen(QColor(225, 225, 225), 0.8));
    p.drawLine(QPointF(plot.left(), py), QPointF(plot.right(), py));
    p.setPen(Qt::black);
    p.drawLine(QPointF(plot.left() - 4, py), QPointF(plot.left(), py));
    p.drawText(
        QRectF(plot.left() - 6 - tickWidth, py - tickM.height() / 2, tickWidth, tickM.height()),
        Qt::AlignRight | Qt::AlignVCenter, TickText(t, yStep));
  }

  // Marks: dashed lines under the curves, their labels over them.
  auto markShown = [&](const PlotMark& m) {
    const double px = X(m.x);
    return px >= plot.left() - 0.5 && px <= plot.right() + 0.5;
  };
  for (const PlotMark& m : d.marks) {
    if (!markShown(m)) continue;
    p.setPen(QPen(QColor(110, 110, 110), 1, Qt::DashLine));
    p.drawLine(QPointF(X(m.x), plot.top()), QPointF(X(m.x), plot.bottom()));
  }

  // Curves, clipped to the plot.
  p.save();
  p.setClipRect(plot.adjusted(-1, -1, 1, 1));
  for (const PlotCurve& c : d.curves) {
    QPainterPath path;
    bool open = false;
    for (const QPointF& pt : c.points) {
      if (!std::isfinite(pt.x()) || !std::isfinite(pt.y())) {
        open = false;
        continue;
      }
      const QPointF at(X(pt.x()), Y(pt.y()));
      if (open) {
        path.lineTo(at);
      } else {
        path.moveTo(at);
        open = true;
      }
    }
    p.setPen(QPen(c.colour, c.width, c.style, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  }
  p.restore();

  p.setFont(markFont);
  for (const PlotMark& m : d.marks) {
    if (!markShown(m)) continue;
    p.save();
    // Running up from the bottom where region labels take the top, else down from the top.
    const double along = markM.horizontalAdvance(m.label);
    p.translate(X(m.x) - 3, d.regions.empty() ? plot.top() + 4 + along : plot.bottom() - 4);
    p.rotate(-90);
    // On a light ground, so the curves passing under it do not hide it.
    p.fillRect(QRectF(-1, -markM.ascent(), along + 2, markM.height()), QColor(255, 255, 255, 210));
    p.setPen(QColor(60, 60, 60));
    p.drawText(QPointF(0, 0), m.label);
    p.restore();
  }

  // Frame, axis titles.
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(plot);
  p.setFont(axisFont);
  p.drawText(QRectF(plot.left(), size.height() - 8 - axisM.height(), plot.width(), axisM.height()),
             Qt::AlignHCenter, d.xTitle);
  p.save();
  p.translate(12, plot.center().y());
  p.rotate(-90);
  p.drawText(QRectF(-plot.height() / 2, 0, plot.height(), axisM.height()), Qt::AlignHCenter,
             d.yTitle);
  p.restore();

  // Legend.
  double ly = plot.top() + 4;
  for (const PlotCurve& c : d.curves) {
    const double lx = plot.right() + 10;
    p.setPen(QPen(c.colour, c.width, c.style, Qt::FlatCap));
    p.drawLine(QPointF(lx, ly + axisM.height() / 2), QPointF(lx + 24, ly + axisM.height() / 2));
    p.setPen(Qt::black);
    p.drawText(QPointF(lx + 30, ly + axisM.ascent()), c.name);
    ly += axisM.height() + 4;
  }
  p.restore();
}

namespace {

void DrawScaled(QPainter& painter, const PlotData& plot, QSize size, int dpi, double zoom) {
  const double scale = dpi / 96.0 * zoom;
  painter.scale(scale, scale);
  DrawPlot(painter, QSizeF(size.width() / scale, size.height() / scale), plot);
}

}  // namespace

QImage PlotPicture(const PlotData& plot, QSize size, int dpi, double zoom) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  const int dotsPerMeter = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dotsPerMeter);
  image.setDotsPerMeterY(dotsPerMeter);
  QPainter painter(&image);
  DrawScaled(painter, plot, size, dpi, zoom);
  painter.end();
  return image;
}

namespace {

QtMessageHandler previousHandler = nullptr;

// What the offscreen platform says about hidden windows and the runtime folder says nothing to
// the user of a command-line program.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.startsWith(QLatin1String("This plugin does not support")) ||
      message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
    return;
  if (previousHandler) previousHandler(type, context, message);
}

}  // namespace

void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  previousHandler = qInstallMessageHandler(QuietHandler);
  // Made once and kept for the rest of the process, as the diagram's pictures do.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "brelona";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  FollowSystemLanguage();
}

bool WritePlot(const PlotData& plot, const QString& path, const PictureOptions& options,
               QString* error) {
  if (!CheckPictureOptions(options, error)) return false;
  auto cannot = [&] {
    if (error) *error = QObject::tr("Cannot write %1.").arg(path);
    return false;
  };
  switch (options.format) {
    case PictureFormat::Png:
      return WriteWholeFile(
          path, PngBytes(PlotPicture(plot, options.size, options.dpi, options.zoom)), error);
    case PictureFormat::Svg: {
#ifdef BRELONA_HAVE_SVG
      QBuffer buffer;
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(options.size);
      svg.setViewBox(QRect(QPoint(0, 0), options.size));
      svg.setResolution(options.dpi);
      svg.setTitle(options.title.isEmpty() ? plot.title : options.title);
      QPainter painter;
      if (!painter.begin(&svg)) return cannot();
      DrawScaled(painter, plot, options.size, options.dpi, options.zoom);
      if (!painter.end()) return cannot();
      return WriteWholeFile(path, buffer.data(), error);
#else
      if (error) *error = QObject::tr("This build cannot write SVG.");
      return false;
#endif
    }
    case PictureFormat::Pdf: {
      QBuffer buffer;
      buffer.open(QIODevice::WriteOnly);
      QPdfWriter pdf(&buffer);
      pdf.setResolution(options.dpi);
      pdf.setPageSize(QPageSize(QSizeF(options.size.width() * 72.0 / options.dpi,
                                       options.size.height() * 72.0 / options.dpi),
                                QPageSize::Point, QString(), QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setTitle(options.title.isEmpty() ? plot.title : options.title);
      pdf.setCreator(QStringLiteral("Brelona"));
      QPainter painter;
      if (!painter.begin(&pdf)) return cannot();
      DrawScaled(painter, plot, options.size, options.dpi, options.zoom);
      if (!painter.end()) return cannot();
      return WriteWholeFile(path, buffer.data(), error);
    }
  }
  return cannot();
}

namespace {

QString Component(const PathPlotOptions& o, bool b) {
  if (!o.names.Named()) return b ? QStringLiteral("B") : QStringLiteral("A");
  return QString::fromStdString(b ? o.names.B : o.names.A);
}

bool AlongTemperature(const calc::PathRequest& request) {
  return request.Along == calc::PathAxis::Y && request.Yparameter != calc::YParameter::Pressure;
}

bool WeightPercent(const PathPlotOptions& o) {
  return o.weightPercent && o.masses.Known();
}

QString Composition(double x, const PathPlotOptions& o) {
  if (WeightPercent(o))
    return QObject::tr("%1 wt% %2")
        .arg(QString::number(100 * calc::MassFractionB(x, o.masses), 'g', 4), Component(o, true));
  return QStringLiteral("X(%1) = %2").arg(Component(o, true), QString::number(x, 'g', 4));
}

QString MarkText(const calc::PathRequest& request, double at, const PathPlotOptions& o) {
  if (request.Along == calc::PathAxis::X) {
    return WeightPercent(o) ? QString::number(100 * calc::MassFractionB(at, o.masses), 'f', 2)
                            : QString::number(at, 'f', 4);
  }
  if (request.Yparameter == calc::YParameter::Pressure) return QString::number(at, 'f', 3) + " bar";
  return o.celsius ? QString::number(at - 273.15, 'f', 1) + " °C"
                   : QString::number(at, 'f', 1) + " K";
}

QString Level(const calc::PathRequest& request, const PathPlotOptions& o) {
  if (request.Yparameter == calc::YParameter::Pressure)
    return QStringLiteral("p = %1 bar").arg(QString::number(request.Y, 'g', 6));
  return o.celsius ? QStringLiteral("T = %1 °C").arg(QString::number(request.Y - 273.15, 'g', 6))
                   : QStringLiteral("T = %1 K").arg(QString::number(request.Y, 'g', 6));
}

QString Where(const calc::PathRequest& request, const PathPlotOptions& o) {
  return request.Along == calc::PathAxis::X ? Level(request, o) : Composition(request.X, o);
}

QString Names(const std::vector<calc::EquilibriumPhase>& phases) {
  return PhaseNames(phases);
}

}  // namespace

double ShownPathValue(const calc::PathRequest& request, double at, const PathPlotOptions& o) {
  if (request.Along == calc::PathAxis::X)
    return WeightPercent(o) ? 100 * calc::MassFractionB(at, o.masses) : at;
  return AlongTemperature(request) && o.celsius ? at - 273.15 : at;
}

QString PathAxisTitle(const calc::PathRequest& request, const PathPlotOptions& o) {
  if (request.Along == calc::PathAxis::X) {
    return WeightPercent(o) ? QObject::tr("%1, wt%").arg(Component(o, true))
                            : QObject::tr("X(%1), mole fraction").arg(Component(o, true));
  }
  if (request.Yparameter == calc::YParameter::Pressure) return QStringLiteral("p, bar");
  return o.celsius ? QStringLiteral("T, °C") : QStringLiteral("T, K");
}

PlotData PhaseFractionPlot(const calc::PathRequest& request, const calc::PathResult& path,
                           const calc::ScheilResult* scheil, const PathPlotOptions& o) {
  PlotData d;
  d.title = (o.title.isEmpty() ? QString() : o.title + QStringLiteral(": ")) + Where(request, o);
  d.xTitle = PathAxisTitle(request, o);
  d.yTitle = WeightPercent(o) ? QObject::tr("Phase fraction (by mass)")
                              : QObject::tr("Phase fraction (by moles of atoms)");
  d.yMin = -0.02;
  d.yMax = 1.02;
  const std::vector<const calc::PathPoint*> points = calc::PointsWithCrossings(path);
  const std::vector<calc::PhaseTrack> tracks = calc::TrackPhases(points);
  // A phase met twice at once (the two sides of a miscibility gap, tracked as S and S#2) is
  // named S′ and S″, as the diagram names them.
  auto shown = [&tracks](const std::string& name) {
    const std::string base = name.substr(0, name.find('#'));
    const bool twice = std::any_of(tracks.begin(), tracks.end(), [&](const calc::PhaseTrack& t) {
      return t.Name == base + "#2";
    });
    if (twice && name == base) return QString::fromStdString(base) + QStringLiteral("′");
    if (twice && name == base + "#2") return QString::fromStdString(base) + QStringLiteral("″");
    return QString::fromStdString(name);
  };
  for (size_t k = 0; k < tracks.size(); ++k) {
    PlotCurve c;
    c.name = shown(tracks[k].Name);
    c.colour = PaletteColour(k);
    for (size_t i = 0; i < points.size(); ++i) {
      double amount = tracks[k].Amount[i];
      if (WeightPercent(o))
        amount = calc::PhaseMassFraction(amount, tracks[k].X[i], points[i]->X, o.masses);
      c.points.emplace_back(ShownPathValue(request, points[i]->At, o), amount);
    }
    d.curves.push_back(std::move(c));
  }
  for (const calc::PathCrossing& c : path.Crossings)
    d.marks.push_back({ShownPathValue(request, c.At, o), MarkText(request, c.At, o)});
  if (scheil && !scheil->T.empty() && AlongTemperature(request)) {
    // The equilibrium's fraction solid: all but the liquid.
    for (const calc::PhaseTrack& t : tracks) {
      if (t.Name != scheil->Liquid) continue;
      PlotCurve c;
      c.name = QObject::tr("solid, equilibrium");
      c.colour = QColor(90, 90, 90);
      c.style = Qt::DashDotLine;
      c.width = 1.5;
      for (size_t i = 0; i < points.size(); ++i) {
        double liquid = t.Amount[i];
        if (WeightPercent(o))
          liquid = calc::PhaseMassFraction(liquid, t.X[i], points[i]->X, o.masses);
        c.points.emplace_back(ShownPathValue(request, points[i]->At, o), 1 - liquid);
      }
      d.curves.push_back(std::move(c));
    }
    PlotCurve c;
    c.name = QObject::tr("solid, Scheil");
    c.colour = Qt::black;
    c.style = Qt::DashLine;
    c.width = 2.2;
    const calc::ScheilResult shown =
        WeightPercent(o) ? calc::ScheilByMass(*scheil, request.X, o.masses) : *scheil;
    for (size_t i = 0; i < shown.T.size(); ++i)
      c.points.emplace_back(ShownPathValue(request, shown.T[i], o), shown.FractionSolid[i]);
    d.curves.push_back(std::move(c));
  }
  if (!path.Points.empty()) {
    d.xMin = ShownPathValue(request, path.Points.front().At, o);
    d.xMax = ShownPathValue(request, path.Points.back().At, o);
    if (d.xMin > d.xMax) std::swap(d.xMin, d.xMax);
  }
  return d;
}

PlotData ActivityPlot(const calc::PathRequest& request, const calc::PathResult& path,
                      const PathPlotOptions& o) {
  PlotData d;
  d.title = (o.title.isEmpty() ? QString() : o.title + QStringLiteral(": ")) +
            QObject::tr("activities at %1").arg(Where(request, o));
  d.xTitle = PathAxisTitle(request, o);
  d.yTitle = QObject::tr("Activity");
  const std::vector<const calc::PathPoint*> points = calc::PointsWithCrossings(path);
  const QString names[2] = {Component(o, false), Component(o, true)};
  for (int b = 0; b < 2; ++b) {
    PlotCurve c;
    c.name = QStringLiteral("a(%1)").arg(names[b]);
    c.colour = PaletteColour(static_cast<size_t>(b));
    for (const calc::PathPoint* pt : points)
      c.points.emplace_back(ShownPathValue(request, pt->At, o), b ? pt->ActivityB : pt->ActivityA);
    d.curves.push_back(std::move(c));
  }
  if (request.Along == calc::PathAxis::X) {
    // Raoult's law, a = x, for comparison.
    for (int b = 0; b < 2; ++b) {
      PlotCurve c;
      c.name = QObject::tr("ideal, %1").arg(names[b]);
      c.colour = PaletteColour(static_cast<size_t>(b)).lighter(150);
      c.style = Qt::DotLine;
      c.width = 1.2;
      for (const calc::PathPoint* pt : points)
        c.points.emplace_back(ShownPathValue(request, pt->At, o), b ? pt->X : 1 - pt->X);
      d.curves.push_back(std::move(c));
    }
  }
  // The phase regions between the crossings.
  if (!path.Points.empty()) {
    double from = path.Points.front().At;
    QString label = Names(path.Points.front().Phases);
    for (const calc::PathCrossing& c : path.Crossings) {
      d.regions.push_back(
          {ShownPathValue(request, from, o), ShownPathValue(request, c.At, o), label});
      from = c.At;
      label = Names(c.After.Phases);
    }
    d.regions.push_back({ShownPathValue(request, from, o),
                         ShownPathValue(request, path.Points.back().At, o), label});
    d.xMin = ShownPathValue(request, path.Points.front().At, o);
    d.xMax = ShownPathValue(request, path.Points.back().At, o);
    if (d.xMin > d.xMax) std::swap(d.xMin, d.xMax);
  }
  double top = 1;
  for (const calc::PathPoint* pt : points) {
    for (double a : {pt->ActivityA, pt->ActivityB})
      if (std::isfinite(a)) top = std::max(top, a);
  }
  d.yMin = 0;
  d.yMax = std::min(top * 1.05, 1e6);
  for (const calc::PathCrossing& c : path.Crossings)
    d.marks.push_back({ShownPathValue(request, c.At, o), MarkText(request, c.At, o)});
  return d;
}

PathPlotWidget::PathPlotWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(320, 240);
}

void PathPlotWidget::SetPlot(PlotData plot) {
  plot_ = std::move(plot);
  update();
}

void PathPlotWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  DrawPlot(painter, size(), plot_);
}

}  // namespace views
