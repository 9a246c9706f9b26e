#include "app/import_tdb_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>
#include <set>

#include "problem/problem_reader.h"
#include "problem/problem_table.h"

namespace app {

TdbImportDialog::TdbImportDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Import TDB"));
  setObjectName("TdbImportDialog");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  auto* fileRow = new QHBoxLayout;
  file_ = new QLineEdit(this);
  file_->setReadOnly(true);
  auto* browse = new QPushButton(tr("Browse…"), this);
  fileRow->addWidget(file_, 1);
  fileRow->addWidget(browse);
  form->addRow(tr("TDB file:"), fileRow);
  auto* compRow = new QHBoxLayout;
  cbA_ = new QComboBox(this);
  cbB_ = new QComboBox(this);
  compRow->addWidget(cbA_, 1);
  compRow->addWidget(new QLabel(tr("and (X is its mole fraction)"), this));
  compRow->addWidget(cbB_, 1);
  form->addRow(tr("Components:"), compRow);
  phases_ = new QListWidget(this);
  phases_->setMinimumHeight(110);
  form->addRow(tr("Phases:"), phases_);
  name_ = new QLineEdit(this);
  form->addRow(tr("Problem name:"), name_);
  layout->addLayout(form);
  report_ = new QPlainTextEdit(this);
  report_->setReadOnly(true);
  report_->setMinimumHeight(110);
  layout->addWidget(new QLabel(tr("What the import gives:"), this));
  layout->addWidget(report_, 1);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->button(QDialogButtonBox::Ok)->setText(tr("Import"));
  layout->addWidget(buttons_);
  resize(560, 480);

  connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(cbA_, &QComboBox::currentIndexChanged, this, [this] { ComponentsChanged(); });
  connect(cbB_, &QComboBox::currentIndexChanged, this, [this] { ComponentsChanged(); });
  connect(phases_, &QListWidget::itemChanged, this, [this] { Update(); });
  connect(name_, &QLineEdit::textEdited, this, [this] {
    nameEdited_ = true;
    Update();
  });
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  Update();
}

void TdbImportDialog::Browse() {
  const QString path = QFileDialog::getOpenFileName(
      this, tr("Import TDB"), QString(), tr("TDB databases (*.tdb *.TDB);;All files (*)"));
  if (!path.isEmpty()) LoadFile(path);
}

bool TdbImportDialog::LoadFile(const QString& path) {
  file_->setText(path);
  filling_ = true;
  cbA_->clear();
  cbB_->clear();
  phases_->clear();
  db_.reset();
  bool ok = true;
  try {
    db_ = tdb::ReadFile(path.toStdString());
    for (const std::string& e : db_->Elements) {
      cbA_->addItem(QString::fromStdString(e));
      cbB_->addItem(QString::fromStdString(e));
    }
    if (cbB_->count() > 1) cbB_->setCurrentIndex(1);
  } catch (const std::exception& e) {
    report_->setPlainText(QString::fromStdString(e.what()));
    ok = false;
  }
  filling_ = false;
  if (ok)
    ComponentsChanged();
  else {
    problem_.reset();
    buttons_->button(QDialogButtonBox::Ok)->setEnabled(false);
  }
  return ok;
}

void TdbImportDialog::SetComponents(const QString& a, const QString& b) {
  filling_ = true;
  cbA_->setCurrentText(a.toUpper());
  cbB_->setCurrentText(b.toUpper());
  filling_ = false;
  ComponentsChanged();
}

void TdbImportDialog::SetPhaseChecked(const QString& phase, bool checked) {
  for (int i = 0; i < phases_->count(); ++i)
    if (phases_->item(i)->text() == phase || phases_->item(i)->data(Qt::UserRole) == phase)
      phases_->item(i)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TdbImportDialog::ComponentsChanged() {
  if (filling_) return;
  filling_ = true;
  phases_->clear();
  if (db_) {
    for (const std::string& p : tdb::PhasesOf(*db_, cbA_->currentText().toStdString(),
                                              cbB_->currentText().toStdString())) {
      auto* item = new QListWidgetItem(QString::fromStdString(p), phases_);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
      // A phase the file rejects is left aside unless it is checked.
      const bool rejected = db_->Rejected.count(p) > 0;
      item->setCheckState(rejected ? Qt::Unchecked : Qt::Checked);
      if (rejected) {
        item->setText(tr("%1 (rejected by the file)").arg(QString::fromStdString(p)));
        item->setData(Qt::UserRole, QString::fromStdString(p));
        item->setToolTip(
            tr("The file's REJECT_PHASE command leaves this phase aside; check it "
               "to take it in."));
      }
    }
  }
  filling_ = false;
  Update();
}

// Runs the import with the current choices and shows what it gives.
void TdbImportDialog::Update() {
  if (filling_) return;
  problem_.reset();
  if (db_) {
    tdb::ImportOptions o;
    o.A = cbA_->currentText().toStdString();
    o.B = cbB_->currentText().toStdString();
    o.SourceName = QFileInfo(file_->text()).fileName().toStdString();
    // As the file gives them (every phase but those it rejects): the importer's own choice,
    // which leaves a gas out; any other choice names the phases.
    bool all = true;
    for (int i = 0; i < phases_->count(); ++i) {
      const QListWidgetItem* item = phases_->item(i);
      const bool rejected = item->data(Qt::UserRole).isValid();
      const bool checked = item->checkState() == Qt::Checked;
      if (checked)
        o.Phases.push_back(
            (rejected ? item->data(Qt::UserRole).toString() : item->text()).toStdString());
      if (checked == rejected) all = false;
    }
    if (all) o.Phases.clear();
    QString text;
    try {
      if (!all && o.Phases.empty()) throw tdb::Error(tr("No phase is chosen.").toStdString());
      const tdb::ImportResult r = tdb::Import(*db_, o);
      if (!nameEdited_)
        name_->setText(QString::fromStdString(r.A + "-" + r.B + " (" + o.SourceName + ")"));
      problem_ = tdb::ProblemOf(r, name_->text().trimmed().toStdString());
      QStringList phases;
      for (const tdb::ImportedPhase& ph : r.Phases)
        phases
            << QString::fromStdString(ph.Name) +
                   (ph.IsCompound
                        ? tr(" (compound, X = %1)").arg(QString::fromStdString(ph.Compound.XText))
                    : ph.IsSublattice
                        ? (ph.PartOnly ? tr(" (disordered part only)") : tr(" (on sublattices)"))
                        : QString());
      text += tr("Phases written: %1\n").arg(phases.join(", "));
      text += tr("Temperature range: %1..%2 K, %3 levels\n")
                  .arg(problem_->Ymin)
                  .arg(problem_->Ymax)
                  .arg(problem_->YPoints);
      for (const tdb::SkippedPhase& s : r.Skipped)
        text += tr("Skipped phase %1: %2\n")
                    .arg(QString::fromStdString(s.Phase), QString::fromStdString(s.Reason));
      for (const std::string& n : r.Notes) text += tr("Note: %1\n").arg(QString::fromStdString(n));
    } catch (const std::exception& e) {
      text = QString::fromStdString(e.what());
    }
    report_->setPlainText(text);
  } else if (file_->text().isEmpty()) {
    report_->setPlainText(tr("Choose a TDB file."));
  }
  if (problem_ && problem_->ProblemName.empty()) {
    report_->appendPlainText(tr("The problem needs a name."));
    problem_.reset();
  }
  buttons_->button(QDialogButtonBox::Ok)->setEnabled(problem_.has_value());
}

std::string AddImportedProblem(store::TMemTable& table, calc::ProblemInput p) {
  std::set<std::string> names;
  store::TField& nameField = table.FieldByName(problem::kProblemName);
  for (int rec = 1; rec <= table.RecordCount(); ++rec) {
    for (int f = 0; f < table.FieldCount(); ++f)
      if (&table.Fields(f) == &nameField) names.insert(table.TextAt(rec, f));
  }
  // The name as the field holds it (and with room for a " (2)" that tells it from a name there),
  // so the comparison is with what is stored.
  const int size = nameField.Size() > 0 ? nameField.Size() : std::numeric_limits<int>::max();
  const std::string asked = p.ProblemName;
  p.ProblemName = problem::CutToCharacters(asked, size);
  for (int k = 2; names.count(p.ProblemName); ++k) {
    const std::string suffix = " (" + std::to_string(k) + ")";
    p.ProblemName =
        problem::CutToCharacters(asked, size - static_cast<int>(suffix.size())) + suffix;
  }
  table.Insert();
  table.FieldByName(problem::kProblemName).SetAsString(p.ProblemName);
  table.FieldByName(problem::kFuncts).SetAsString(p.Functs);
  table.FieldByName(problem::kYparameter).SetAsString(calc::YParameterText(p.Yparameter));
  table.FieldByName(problem::kYmin).SetAsFloat(p.Ymin);
  table.FieldByName(problem::kYmax).SetAsFloat(p.Ymax);
  table.FieldByName(problem::kZparameter).SetAsString(p.Zparameter);
  table.FieldByName(problem::kZvalue).SetAsFloat(p.Zvalue);
  table.FieldByName(problem::kXPoints).SetAsInteger(p.XPoints);
  table.FieldByName(problem::kYPoints).SetAsInteger(p.YPoints);
  table.FieldByName(problem::kShowMosaicDiagram).SetAsBoolean(p.ShowMosaicDiagram);
  table.FieldByName(problem::kShowChart).SetAsBoolean(p.ShowChart);
  table.Post();
  return p.ProblemName;
}

}  // namespace app
