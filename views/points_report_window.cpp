#include "views/points_report_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>

#include "numeric/format.h"
#include "views/chart_look.h"

namespace views {

namespace {

constexpr int kColumns = 4;

QString Number(double v, char separator) {
  return QString::fromStdString(" " + numeric::FormatFloatPattern(v, 3, separator));
}

// A refined composition: six significant digits.
QString Composition(double x, char separator) {
  QString s = QString::number(x, 'g', 6);
  if (separator != '.') s.replace('.', QChar(separator));
  return s;
}

// A phase as the exact-value tables show it: a point phase, named by its composition text,
// as C(composition) like the reaction texts; solution phase names begin with a letter.
QString PhaseText(const std::string& name) {
  const QString n = QString::fromStdString(name);
  return !name.empty() && (std::isdigit(static_cast<unsigned char>(name[0])) != 0)
             ? QStringLiteral("C(%1)").arg(n)
             : n;
}

QTableWidget* ExactTable(const QStringList& headers) {
  auto* t = new QTableWidget(0, static_cast<int>(headers.size()));
  t->setHorizontalHeaderLabels(headers);
  t->verticalHeader()->hide();
  t->verticalHeader()->setDefaultSectionSize(22);
  t->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  t->horizontalHeader()->setStretchLastSection(true);
  t->setEditTriggers(QAbstractItemView::NoEditTriggers);
  return t;
}

void AddRow(QTableWidget* t, const QStringList& cells) {
  const int r = t->rowCount();
  t->insertRow(r);
  for (int c = 0; c < cells.size(); ++c) t->setItem(r, c, new QTableWidgetItem(cells[c]));
}

}  // namespace

TfmSpecPoints::TfmSpecPoints(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle(tr("Special points coordinates"));
  setObjectName(QStringLiteral("fmSpecPoints"));
  resize(524, 640);
  move(185, 27);
  const QString point = QLocale().decimalPoint();
  if (point.size() == 1 && point[0].unicode() < 128)
    separator_ = static_cast<char>(point[0].unicode());

  table_ = new QTableWidget(1, kColumns);
  table_->setObjectName(QStringLiteral("sgSpecPoints"));
  table_->setFixedHeight(282);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(22);
  table_->horizontalHeader()->setDefaultSectionSize(120);
  table_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (int c = 0; c < kColumns; ++c) table_->setHorizontalHeaderItem(c, new QTableWidgetItem);

  memo_ = new QPlainTextEdit;
  memo_->setObjectName(QStringLiteral("Memo1"));
  memo_->setReadOnly(true);
  memo_->setFont(CyrillicFont({QStringLiteral("Courier New")}, 13, /*fixedPitch=*/true));
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setLineWrapMode(QPlainTextEdit::NoWrap);

  others_ = new QGroupBox(tr(" Прочие особые точки  "));
  auto* othersLayout = new QVBoxLayout(others_);
  othersLayout->addWidget(memo_);
  nodes_ = new QGroupBox(tr(" Ноды "));
  auto* nodesLayout = new QVBoxLayout(nodes_);
  nodesLayout->addWidget(table_);
  nodesLayout->addWidget(others_, 1);

  close_ = new QPushButton(tr("Закрыть"));
  connect(close_, &QPushButton::clicked, this, &QWidget::hide);
  auto* panel = new QWidget;
  panel->setFixedHeight(41);
  auto* panelLayout = new QHBoxLayout(panel);
  panelLayout->setContentsMargins(8, 4, 8, 4);
  panelLayout->addStretch(1);
  panelLayout->addWidget(close_);

  invariants_ = ExactTable(
      {tr("Type"), tr("Reaction"), tr("Y"), tr("X left"), tr("X middle"), tr("X right")});
  invariants_->setObjectName(QStringLiteral("sgInvariants"));
  points_ = ExactTable({tr("Kind"), tr("Phases"), tr("X"), tr("Y")});
  points_->setObjectName(QStringLiteral("sgExactPoints"));
  exact_ = new QGroupBox(tr("Exact values"));
  auto* exactLayout = new QVBoxLayout(exact_);
  exactLayout->addWidget(new QLabel(tr("Invariant reactions")));
  exactLayout->addWidget(invariants_, 1);
  exactLayout->addWidget(new QLabel(tr("Transitions, congruent and critical points")));
  exactLayout->addWidget(points_, 1);
  exact_->hide();

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 0);
  layout->addWidget(nodes_, 1);
  layout->addWidget(exact_, 1);
  layout->addWidget(panel);
}

void TfmSpecPoints::SetRefined(const calc::RefinedResults& refined, calc::YParameter yParameter,
                               const calc::Results* label) {
  auto shown = [&label](calc::PhaseIndex phase, const std::string& name) {
    return QString::fromStdString(label ? label->PhaseLabel(phase, name) : name);
  };
  invariants_->setRowCount(0);
  points_->setRowCount(0);
  if (!refined.Ran) {
    exact_->hide();
    return;
  }
  const double offset = CelsiusOffset(yParameter);
  const QString yHeader = yParameter == calc::YParameter::Pressure ? tr("P, bar")
                          : offset != 0                            ? QStringLiteral("T, °C")
                                                                   : tr("T, K");
  invariants_->horizontalHeaderItem(2)->setText(yHeader);
  points_->horizontalHeaderItem(3)->setText(yHeader);
  const char sep = separator_;
  auto y = [sep, offset](double v) {
    return QString::fromStdString(numeric::FormatFloatPattern(v - offset, 3, sep));
  };
  auto kind = [this](const std::string& type, bool approximate) {
    const QString k = QString::fromStdString(type);
    return approximate ? k + " " + tr("(approximate)") : k;
  };
  for (const calc::Invariant& inv : refined.Invariants) {
    QStringList row{kind(inv.Type.empty() ? "three-phase" : inv.Type, inv.Approximate),
                    QString::fromStdString(inv.Reaction), y(inv.Y)};
    for (const calc::RefinedPhase& p : inv.Phases) {
      // A point phase named by its composition alone (C(0.5)) needs it no second time.
      const bool bare = !p.Name.empty() && std::isdigit(static_cast<unsigned char>(p.Name[0]));
      const QString name = bare && !label ? PhaseText(p.Name) : shown(p.Phase, p.Name);
      row << (name.startsWith(QStringLiteral("C(")) ? name : name + " " + Composition(p.X, sep));
    }
    AddRow(invariants_, row);
  }
  for (const calc::Transition& t : refined.Transitions) {
    AddRow(points_, {kind("transition", t.Approximate),
                     shown(t.AbovePhase, t.Above) + " → " + shown(t.BelowPhase, t.Below),
                     Composition(t.X, sep), y(t.Y)});
  }
  for (const calc::CongruentPoint& c : refined.CongruentPoints) {
    QStringList phases;
    for (size_t i = 0; i < c.Phases.size(); ++i) {
      const calc::PhaseIndex phase = i < c.Indices.size() ? c.Indices[i] : calc::kNoRunPhase;
      phases << (label ? shown(phase, c.Phases[i]) : PhaseText(c.Phases[i]));
    }
    AddRow(points_,
           {kind(c.Type, c.Approximate), phases.join(" / "), Composition(c.X, sep), y(c.Y)});
  }
  for (const calc::CriticalPoint& c : refined.CriticalPoints) {
    AddRow(points_, {kind("critical point", c.Approximate), QString::fromStdString(c.Phase),
                     Composition(c.X, sep), y(c.Y)});
  }
  invariants_->resizeColumnsToContents();
  points_->resizeColumnsToContents();
  if (exact_->isHidden()) {
    exact_->show();
    // Room for the new group below the designed layout.
    if (height() < 900) resize(std::max(width(), 640), 900);
  }
}

void TfmSpecPoints::ShowSpecialPoints(const std::vector<calc::TNode>& nodes,
                                      calc::YParameter yParameter, bool show) {
  const int dataRows = nodes.empty() ? 1 : static_cast<int>(nodes.size());
  table_->setRowCount(dataRows);
  for (int r = 0; r < dataRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      QTableWidgetItem* item = table_->item(r, c);
      if (!item) table_->setItem(r, c, item = new QTableWidgetItem);
      item->setText(QString());
    }
  }
  const double offset = CelsiusOffset(yParameter);
  const QString headers[kColumns] = {yParameter != calc::YParameter::Temperature ? tr(" P, бар")
                                     : offset != 0 ? QStringLiteral(" T, °C")
                                                   : QStringLiteral(" T, K"),
                                     tr(" X(лев.)"), QStringLiteral(" X"), tr(" X(прав.)")};
  for (int c = 0; c < kColumns; ++c) table_->horizontalHeaderItem(c)->setText(headers[c]);
  for (size_t i = 0; i < nodes.size(); ++i) {
    const calc::TNode& n = nodes[i];
    const double values[kColumns] = {n.Y - offset, n.XLeft, n.X, n.XRight};
    for (int c = 0; c < kColumns; ++c) {
      table_->item(static_cast<int>(i), c)->setText(Number(values[c], separator_));
    }
  }
  table_->setCurrentItem(nullptr);
  table_->clearSelection();
  if (show) {
    this->show();
    raise();
  }
}

void TfmSpecPoints::SetMemoLines(const std::vector<std::string>& lines) {
  QStringList text;
  for (const std::string& line : lines) text.append(QString::fromStdString(line));
  memo_->setPlainText(text.join('\n'));
}

void TfmSpecPoints::SetMemo(const std::vector<std::string>& lines,
                            const std::vector<calc::SpecialPoint>& points,
                            calc::YParameter yParameter) {
  const double offset = CelsiusOffset(yParameter);
  if (offset == 0 || points.size() != lines.size()) {
    SetMemoLines(lines);
    return;
  }
  // The finder writes the grid's header texts: X with up to 8 decimals, Y with up to 6.
  std::vector<std::string> shown;
  for (const calc::SpecialPoint& p : points) {
    shown.push_back("T(X = " + numeric::FormatFloatPattern(p.X, 8, separator_) +
                    ") = " + numeric::FormatFloatPattern(p.Y - offset, 6, separator_) + " °C");
  }
  SetMemoLines(shown);
}

double TfmSpecPoints::CelsiusOffset(calc::YParameter yParameter) const {
  return celsius_ && yParameter == calc::YParameter::Temperature ? 273.15 : 0;
}

int TfmSpecPoints::RowCount() const {
  return table_->rowCount() + 1;
}

QString TfmSpecPoints::Cell(int col, int row) const {
  if (col < 0 || col >= kColumns || row < 0 || row >= RowCount()) return QString();
  if (row == 0) return table_->horizontalHeaderItem(col)->text();
  const QTableWidgetItem* item = table_->item(row - 1, col);
  return item ? item->text() : QString();
}

}  // namespace views
