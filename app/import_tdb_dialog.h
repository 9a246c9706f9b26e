#pragma once
// File > Import TDB…: a TDB database file, the two components and the phases chosen from lists;
// what the importer skipped is shown before the problem is added to the open database.

#include <QDialog>
#include <optional>
#include <string>

#include "calc/problem.h"
#include "store/memtable.h"
#include "tdb/database.h"
#include "tdb/importer.h"

class QComboBox;
class QDialogButtonBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;

namespace app {

class TdbImportDialog : public QDialog {
  Q_OBJECT
 public:
  explicit TdbImportDialog(QWidget* parent = nullptr);

  // Reads a TDB file and fills the component lists (the first two elements chosen). On an
  // unreadable file the lists are emptied, the reason is shown in the report and false returned.
  bool LoadFile(const QString& path);
  // Chooses the components by element name; the phase list is rebuilt with every phase checked.
  void SetComponents(const QString& a, const QString& b);
  // Checks or unchecks one phase of the list.
  void SetPhaseChecked(const QString& phase, bool checked);

  // The problem as the current choices give it, when they give one.
  const std::optional<calc::ProblemInput>& Problem() const { return problem_; }

  QComboBox* ComponentA() const { return cbA_; }
  QComboBox* ComponentB() const { return cbB_; }
  QListWidget* PhaseList() const { return phases_; }
  QPlainTextEdit* Report() const { return report_; }
  QLineEdit* NameEdit() const { return name_; }

 private:
  void Browse();
  void ComponentsChanged();
  void Update();

  QLineEdit* file_ = nullptr;
  QComboBox* cbA_ = nullptr;
  QComboBox* cbB_ = nullptr;
  QListWidget* phases_ = nullptr;
  QLineEdit* name_ = nullptr;
  QPlainTextEdit* report_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  std::optional<tdb::Database> db_;
  std::optional<calc::ProblemInput> problem_;
  bool filling_ = false;
  bool nameEdited_ = false;
};

// Appends the problem to the open problem table and posts it, so that it becomes the current
// record. A name longer than the table's name field is cut to it; a name the table already
// holds gets " (2)", " (3)", ... appended (within the field). Returns the name it was given.
std::string AddImportedProblem(store::TMemTable& table, calc::ProblemInput problem);

}  // namespace app
