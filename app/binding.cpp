#include "app/binding.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTextCursor>

namespace app {

namespace {

// Memo texts are kept with CR LF line breaks in the table, shown with LF.
QString MemoFromField(const std::string& s) {
  QString t = QString::fromStdString(s);
  t.replace("\r\n", "\n");
  t.replace('\r', '\n');
  return t;
}

std::string MemoToField(const QString& shown) {
  QString t = shown;
  t.replace("\n", "\r\n");
  return t.toStdString();
}

class Guard {
 public:
  explicit Guard(int& counter) : counter_(counter) { ++counter_; }
  ~Guard() { --counter_; }

 private:
  int& counter_;
};

}  // namespace

// ---------------------------------------------------------------- list model

TRecordListModel::TRecordListModel(TDataBinding& binding, std::string field, QString title)
    : QAbstractTableModel(&binding), binding_(binding), field_(std::move(field)),
      title_(std::move(title)) {
  rows_ = rowCount();
}

int TRecordListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  const store::TMemTable& t = binding_.table_;
  if (!t.Active()) return 0;
  // A record being inserted is shown after the others, where it goes when it is posted.
  return t.RecordCount() + (t.State() == store::dsInsert ? 1 : 0);
}

int TRecordListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 1;
}

int TRecordListModel::CurrentRow() const {
  store::TMemTable& t = binding_.table_;
  if (!t.Active()) return -1;
  if (t.State() == store::dsInsert) return t.RecordCount();
  return t.RecNo() - 1;
}

QVariant TRecordListModel::data(const QModelIndex& index, int role) const {
  // The tool tip shows a name too long for the column in full.
  if (!index.isValid() ||
      (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
    return {};
  store::TMemTable& t = binding_.table_;
  if (!t.Active()) return {};
  try {
    store::TField* f = t.FindField(field_);
    if (!f) return {};
    if (index.row() == CurrentRow()) return QString::fromStdString(f->AsString());
    if (index.row() >= t.RecordCount()) return {};
    return QString::fromStdString(t.TextAt(index.row() + 1, f->Index()));
  } catch (const std::exception&) {
    return {};
  }
}

QVariant TRecordListModel::headerData(int section, Qt::Orientation o, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (o == Qt::Horizontal) return section == 0 ? title_ : QVariant();
  if (section != CurrentRow()) return QString();
  switch (binding_.table_.State()) {
    case store::dsInsert: return QStringLiteral("*");
    case store::dsEdit: return QStringLiteral("I");
    default: return QStringLiteral("\u25B8");
  }
}

Qt::ItemFlags TRecordListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool TRecordListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.row() != CurrentRow()) return false;
  store::TMemTable& t = binding_.table_;
  bool done = false;
  binding_.Guarded([&] {
    const std::string text = value.toString().toStdString();
    store::TField& f = t.FieldByName(field_);
    if (t.State() == store::dsBrowse) {
      if (f.AsString() == text) return;
      t.Edit();
    }
    f.SetAsString(text);
    done = true;
  });
  return done;
}

void TRecordListModel::Reload() {
  const int rows = rowCount();
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
    return;
  }
  if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, 0));
  emit headerDataChanged(Qt::Vertical, 0, std::max(rows - 1, 0));
}

// ---------------------------------------------------------------- binding

TDataBinding::TDataBinding(store::TMemTable& table, QObject* parent)
    : QObject(parent), table_(table) {
  table_.AddDataLink(this);
}

TDataBinding::~TDataBinding() { table_.RemoveDataLink(this); }

template <typename F>
void TDataBinding::Guarded(F&& f) {
  try {
    f();
  } catch (const store::EAbort&) {
    // abandoned silently by a check that has already spoken
  } catch (const std::exception& e) {
    Report(e);
  }
}

void TDataBinding::Report(const std::exception& e) {
  if (OnError) OnError(e);
}

void TDataBinding::Add(Kind kind, QWidget* w, const std::string& field) {
  controls_.push_back({kind, w, field, false});
  Show(controls_.back());
}

void TDataBinding::BindEdit(QLineEdit* edit, const std::string& field) {
  const size_t i = controls_.size();
  Add(Kind::Edit, edit, field);
  connect(edit, &QLineEdit::textEdited, this, [this, i] {
    if (refreshing_) return;
    BeginChange(i);
  });
}

void TDataBinding::BindMemo(QPlainTextEdit* memo, const std::string& field) {
  const size_t i = controls_.size();
  Add(Kind::Memo, memo, field);
  connect(memo, &QPlainTextEdit::textChanged, this, [this, i] {
    if (refreshing_) return;
    BeginChange(i);
  });
}

void TDataBinding::BindCombo(QComboBox* combo, const std::string& field) {
  const size_t i = controls_.size();
  Add(Kind::Combo, combo, field);
  connect(combo, &QComboBox::activated, this, [this, i] {
    if (refreshing_) return;
    if (BeginChange(i)) Guarded([&] { WriteField(controls_[i]); });
  });
}

void TDataBinding::BindCheck(QCheckBox* check, const std::string& field) {
  const size_t i = controls_.size();
  Add(Kind::Check, check, field);
  connect(check, &QCheckBox::clicked, this, [this, i] {
    if (refreshing_) return;
    if (BeginChange(i)) Guarded([&] { WriteField(controls_[i]); });
  });
}

void TDataBinding::BindLabel(QLabel* label, const std::string& field) {
  Add(Kind::Label, label, field);
}

namespace {

// The grid's editor takes no more characters than the open table's string field holds, so a
// longer name is not cut without a word when it is stored.
class FieldSizeDelegate : public QStyledItemDelegate {
 public:
  FieldSizeDelegate(store::TMemTable& table, std::string field, QObject* parent)
      : QStyledItemDelegate(parent), table_(table), field_(std::move(field)) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    const store::TField* f = table_.Active() ? table_.FindField(field_) : nullptr;
    if (auto* line = qobject_cast<QLineEdit*>(editor); line && f && f->Size() > 0)
      line->setMaxLength(f->Size());
    return editor;
  }

 private:
  store::TMemTable& table_;
  std::string field_;
};

}  // namespace

void TDataBinding::BindGrid(QTableView* grid, const std::string& field, const QString& title) {
  grid_ = grid;
  list_ = new TRecordListModel(*this, field, title);
  grid->setModel(list_);
  grid->setItemDelegate(new FieldSizeDelegate(table_, field, grid));
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->horizontalHeader()->setStretchLastSection(true);
  connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (refreshing_ || !current.isValid()) return;
            const int row = current.row();
            // Moving the table changes the model; do it once the view has finished its own
            // bookkeeping for this click or key.
            QMetaObject::invokeMethod(
                this,
                [this, row] {
                  if (row != list_->CurrentRow() && table_.Active() &&
                      row < table_.RecordCount())
                    Guarded([&] { table_.SetRecNo(row + 1); });
                  SyncGrid();
                },
                Qt::QueuedConnection);
          });
  SyncGrid();
}

bool TDataBinding::BeginChange(size_t i) {
  Control& c = controls_[i];
  if (!table_.Active()) {
    Show(c);
    return false;
  }
  if (table_.State() == store::dsBrowse) {
    // Starting Edit refreshes the controls (on an empty table it even starts an Insert), so
    // keep what the user has just done and put it back afterwards.
    QString text;
    int cursor = 0;
    bool checked = false;
    int item = -1;
    switch (c.kind) {
      case Kind::Edit: {
        auto* e = static_cast<QLineEdit*>(c.widget);
        text = e->text();
        cursor = e->cursorPosition();
        break;
      }
      case Kind::Memo: {
        auto* m = static_cast<QPlainTextEdit*>(c.widget);
        text = m->toPlainText();
        cursor = m->textCursor().position();
        break;
      }
      case Kind::Combo: item = static_cast<QComboBox*>(c.widget)->currentIndex(); break;
      case Kind::Check: checked = static_cast<QCheckBox*>(c.widget)->isChecked(); break;
      case Kind::Label: return false;
    }
    bool ok = false;
    Guarded([&] {
      table_.Edit();
      ok = true;
    });
    if (!ok) {
      Show(c);
      return false;
    }
    Guard g(refreshing_);
    switch (c.kind) {
      case Kind::Edit: {
        auto* e = static_cast<QLineEdit*>(c.widget);
        if (e->text() != text) e->setText(text);
        e->setCursorPosition(cursor);
        break;
      }
      case Kind::Memo: {
        auto* m = static_cast<QPlainTextEdit*>(c.widget);
        if (m->toPlainText() != text) {
          m->setPlainText(text);
          QTextCursor tc = m->textCursor();
          tc.setPosition(std::min(cursor, static_cast<int>(text.size())));
          m->setTextCursor(tc);
        }
        break;
      }
      case Kind::Combo: static_cast<QComboBox*>(c.widget)->setCurrentIndex(item); break;
      case Kind::Check: static_cast<QCheckBox*>(c.widget)->setChecked(checked); break;
      case Kind::Label: break;
    }
  }
  c.modified = true;
  return true;
}

void TDataBinding::Show(Control& c) {
  Guard g(refreshing_);
  c.modified = false;
  std::string value;
  bool boolean = false;
  if (table_.Active()) {
    try {
      if (store::TField* f = table_.FindField(c.field)) {
        value = f->AsString();
        if (c.kind == Kind::Check) boolean = f->AsBoolean();
      }
    } catch (const std::exception&) {
      value.clear();
    }
  }
  switch (c.kind) {
    case Kind::Edit: {
      auto* e = static_cast<QLineEdit*>(c.widget);
      const QString t = QString::fromStdString(value);
      if (e->text() != t) e->setText(t);
      break;
    }
    case Kind::Memo: {
      auto* m = static_cast<QPlainTextEdit*>(c.widget);
      const QString t = MemoFromField(value);
      if (m->toPlainText() != t) m->setPlainText(t);
      break;
    }
    case Kind::Combo: {
      auto* cb = static_cast<QComboBox*>(c.widget);
      cb->setCurrentIndex(cb->findText(QString::fromStdString(value), Qt::MatchExactly));
      break;
    }
    case Kind::Check: static_cast<QCheckBox*>(c.widget)->setChecked(boolean); break;
    case Kind::Label: static_cast<QLabel*>(c.widget)->setText(QString::fromStdString(value)); break;
  }
}

void TDataBinding::WriteField(Control& c) {
  store::TField& f = table_.FieldByName(c.field);
  switch (c.kind) {
    case Kind::Edit: f.SetAsString(static_cast<QLineEdit*>(c.widget)->text().toStdString()); break;
    case Kind::Memo: f.SetAsString(MemoToField(static_cast<QPlainTextEdit*>(c.widget)->toPlainText())); break;
    case Kind::Combo: {
      auto* cb = static_cast<QComboBox*>(c.widget);
      if (cb->currentIndex() >= 0) f.SetAsString(cb->currentText().toStdString());
      break;
    }
    case Kind::Check: f.SetAsBoolean(static_cast<QCheckBox*>(c.widget)->isChecked()); break;
    case Kind::Label: break;
  }
  c.modified = false;
}

void TDataBinding::UpdateRecord(store::TMemTable&) {
  for (Control& c : controls_)
    if (c.modified) WriteField(c);
}

bool TDataBinding::HasPendingText() const {
  for (const Control& c : controls_)
    if (c.modified) return true;
  return false;
}

void TDataBinding::RefreshAll() {
  for (Control& c : controls_) Show(c);
  SyncGrid();
}

void TDataBinding::SyncGrid() {
  if (!list_ || !grid_) return;
  Guard g(refreshing_);
  list_->Reload();
  const int row = list_->CurrentRow();
  if (row < 0) {
    grid_->selectionModel()->clearCurrentIndex();
    return;
  }
  const QModelIndex idx = list_->index(row, 0);
  if (grid_->currentIndex() != idx)
    grid_->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
  grid_->scrollTo(idx);
}

void TDataBinding::ActiveChanged(store::TMemTable&) { RefreshAll(); }

void TDataBinding::StateChanged(store::TMemTable& t) {
  // Entering edit keeps what the user is typing; every other change shows the record again.
  if (t.State() == store::dsEdit) {
    SyncGrid();
    return;
  }
  RefreshAll();
}

void TDataBinding::DataSetChanged(store::TMemTable&) { RefreshAll(); }

void TDataBinding::RecordChanged(store::TMemTable&, store::TField* field) {
  for (Control& c : controls_) {
    if (c.modified) continue;
    if (field == nullptr || field->FieldName().size() == c.field.size()) {
      if (field != nullptr) {
        // Field names match without regard to letter case.
        const std::string& a = field->FieldName();
        bool same = true;
        for (size_t k = 0; k < a.size() && same; ++k)
          same = std::tolower(static_cast<unsigned char>(a[k])) ==
                 std::tolower(static_cast<unsigned char>(c.field[k]));
        if (!same) continue;
      }
      Show(c);
    }
  }
  if (list_) list_->Reload();
}

}  // namespace app
