#pragma once
// Data-aware controls: a small layer that binds Qt widgets to the fields of a store::TMemTable.
//
// A bound control shows its field of the current record. The user's first change starts Edit
// on the table; the control then keeps its text (it is "modified") until the table writes it
// into the field, which it does first thing in every Post (TDataLink::UpdateRecord). A text that
// is no number, in a number field, makes that Post fail with the field layer's message; the
// record stays in its mode and the control keeps the text. A move, Cancel, Post, Open or Close
// shows the fields' values again.
//
// The problem list is a bound control too: a one-column model over the table's view whose
// current row follows the table's current record and moves it when the user picks a row.

#include <QAbstractTableModel>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "store/memtable.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QWidget;

namespace app {

class TDataBinding;

// The list of records, one column bound to a field, for a data grid.
class TRecordListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  TRecordListModel(TDataBinding& binding, std::string field, QString title);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  // The model row of the table's current record, -1 when there is none.
  int CurrentRow() const;
  void Reload();

 private:
  TDataBinding& binding_;
  std::string field_;
  QString title_;
  int rows_ = 0;
};

class TDataBinding : public QObject, public store::TDataLink {
  Q_OBJECT
 public:
  explicit TDataBinding(store::TMemTable& table, QObject* parent = nullptr);
  ~TDataBinding() override;

  store::TMemTable& Table() { return table_; }

  void BindEdit(QLineEdit* edit, const std::string& field);
  // The memo shows line breaks as the platform does and stores them as CR LF.
  void BindMemo(QPlainTextEdit* memo, const std::string& field);
  // A fixed list: the field holds an item's text; any other text shows no selection.
  void BindCombo(QComboBox* combo, const std::string& field);
  void BindCheck(QCheckBox* check, const std::string& field);
  // Display only.
  void BindLabel(QLabel* label, const std::string& field);
  // The data grid: one column bound to `field`, titled `title`.
  void BindGrid(QTableView* grid, const std::string& field, const QString& title);
  TRecordListModel* ListModel() const { return list_; }

  // Errors raised while the user changes a control or picks a row (a closed table, a refused
  // post): the host shows them. store::EAbort is dropped here.
  std::function<void(const std::exception&)> OnError;

  // Shows the fields' values in every control and forgets pending texts.
  void RefreshAll();
  // Whether some control holds a change not yet written into its field.
  bool HasPendingText() const;

  // store::TDataLink
  void UpdateRecord(store::TMemTable&) override;
  void ActiveChanged(store::TMemTable&) override;
  void StateChanged(store::TMemTable&) override;
  void DataSetChanged(store::TMemTable&) override;
  void RecordChanged(store::TMemTable&, store::TField* field) override;

 private:
  enum class Kind { Edit, Memo, Combo, Check, Label };
  struct Control {
    Kind kind;
    QWidget* widget;
    std::string field;
    bool modified = false;
  };

  friend class TRecordListModel;

  void Add(Kind kind, QWidget* w, const std::string& field);
  // The user changed control i: start Edit when browsing. False when the change was refused.
  bool BeginChange(size_t i);
  void Show(Control& c);
  void WriteField(Control& c);
  void SyncGrid();
  void Report(const std::exception& e);
  template <typename F>
  void Guarded(F&& f);

  store::TMemTable& table_;
  std::vector<Control> controls_;
  TRecordListModel* list_ = nullptr;
  QTableView* grid_ = nullptr;
  int refreshing_ = 0;
};

}  // namespace app
