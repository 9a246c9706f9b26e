// The data-aware controls over a real table: a first change starts Edit, a post writes the
// controls' texts first, a text that is no number is refused by the field layer, and a move,
// a Cancel or a post shows the stored values again.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextCursor>
#include <QTest>

#include <filesystem>

#include <unistd.h>

#include "app/binding.h"

namespace {

class BindingTest : public ::testing::Test {
 public:
  void SetUp() override {
    t_.FieldDefs() = {{"Name", store::ftString, 30},
                      {"Sheet", store::ftMemo, 0},
                      {"Kind", store::ftString, 20},
                      {"Value", store::ftFloat, 0},
                      {"Count", store::ftInteger, 0},
                      {"Flag", store::ftBoolean, 0},
                      {"Shown", store::ftString, 10}};
    t_.SetIndexFieldNames("Name");
    t_.Open();
    for (const char* n : {"b", "a"}) {
      t_.Insert();
      t_.FieldByName("Name").SetAsString(n);
      t_.FieldByName("Sheet").SetAsString(std::string("line 1 of ") + n + "\r\nline 2");
      t_.FieldByName("Kind").SetAsString("Second");
      t_.FieldByName("Value").SetAsFloat(n[0] == 'a' ? 1.5 : 2.5);
      t_.FieldByName("Count").SetAsInteger(7);
      t_.FieldByName("Shown").SetAsString(n);
      t_.Post();
    }
    file_ = std::filesystem::temp_directory_path() /
            ("brelona-binding-" + std::to_string(::getpid()) + ".d");
    t_.SaveToFile(file_.string());
    t_.SetTableName(file_.string());
    t_.Open();  // name order: a, b
    kind_.addItems({"First", "Second"});
    b_ = std::make_unique<app::TDataBinding>(t_);
    b_->OnError = [this](const std::exception& e) { errors_.push_back(e.what()); };
    b_->BindGrid(&grid_, "Name", "Names");
    b_->BindEdit(&value_, "Value");
    b_->BindEdit(&count_, "Count");
    b_->BindMemo(&sheet_, "Sheet");
    b_->BindCombo(&kind_, "Kind");
    b_->BindCheck(&flag_, "Flag");
    b_->BindLabel(&shown_, "Shown");
  }
  void TearDown() override {
    b_.reset();
    std::filesystem::remove(file_);
  }

  static void Type(QLineEdit& e, const QString& text) {
    e.selectAll();
    QTest::keyClicks(&e, text);
  }

  std::filesystem::path file_;
  store::TMemTable t_;
  QTableView grid_;
  QLineEdit value_, count_;
  QPlainTextEdit sheet_;
  QComboBox kind_;
  QCheckBox flag_;
  QLabel shown_;
  std::unique_ptr<app::TDataBinding> b_;
  std::vector<std::string> errors_;
};

TEST_F(BindingTest, ControlsShowTheCurrentRecord) {
  EXPECT_EQ(value_.text(), "1.5");
  EXPECT_EQ(count_.text(), "7");
  EXPECT_EQ(sheet_.toPlainText(), "line 1 of a\nline 2");
  EXPECT_EQ(kind_.currentIndex(), 1);
  EXPECT_FALSE(flag_.isChecked());
  EXPECT_EQ(shown_.text(), "a");
  EXPECT_EQ(grid_.model()->rowCount(), 2);
  EXPECT_EQ(grid_.model()->data(grid_.model()->index(1, 0)).toString(), "b");
  EXPECT_EQ(grid_.model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Names");
  EXPECT_EQ(grid_.currentIndex().row(), 0);
  t_.Next();
  EXPECT_EQ(value_.text(), "2.5");
  EXPECT_EQ(shown_.text(), "b");
  EXPECT_EQ(grid_.currentIndex().row(), 1);
  t_.Close();
  EXPECT_EQ(value_.text(), "");
  EXPECT_EQ(grid_.model()->rowCount(), 0);
  EXPECT_EQ(kind_.currentIndex(), -1);
}

TEST_F(BindingTest, EachKindOfControlStartsEditAndIsWrittenAtThePost) {
  struct Case {
    const char* name;
    std::function<void(BindingTest&)> change;
    const char* field;
    std::string stored;
  };
  const Case cases[] = {
      {"edit", [](BindingTest& f) { Type(f.value_, "3.25"); }, "Value", "3.25"},
      {"integer edit", [](BindingTest& f) { Type(f.count_, "12"); }, "Count", "12"},
      {"memo, line breaks stored as CR LF",
       [](BindingTest& f) {
         f.sheet_.moveCursor(QTextCursor::End);
         QTest::keyClick(&f.sheet_, Qt::Key_Return);
         QTest::keyClicks(&f.sheet_, "three");
       },
       "Sheet", "line 1 of a\r\nline 2\r\nthree"},
      {"combo",
       [](BindingTest& f) {
         f.kind_.setCurrentIndex(0);
         emit f.kind_.activated(0);
       },
       "Kind", "First"},
      {"check box", [](BindingTest& f) { f.flag_.click(); }, "Flag", "True"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(t_.State(), store::dsBrowse);
    c.change(*this);
    EXPECT_EQ(t_.State(), store::dsEdit);
    EXPECT_TRUE(b_->HasPendingText() || std::string(c.name) == "combo" ||
                std::string(c.name) == "check box");
    t_.Post();
    EXPECT_EQ(t_.FieldByName(c.field).AsString(), c.stored);
    EXPECT_FALSE(b_->HasPendingText());
  }
  EXPECT_TRUE(errors_.empty());
}

TEST_F(BindingTest, ANumberFieldRefusesTextAndTheRecordStaysInEdit) {
  Type(value_, "abc");
  EXPECT_THROW(
      {
        try {
          t_.Post();
        } catch (const store::EDatabaseError& e) {
          EXPECT_STREQ(e.what(), "'abc' is not a valid floating point value for field 'Value'");
          throw;
        }
      },
      store::EDatabaseError);
  EXPECT_EQ(t_.State(), store::dsEdit);
  EXPECT_EQ(value_.text(), "abc");
  Type(count_, "1.5");
  Type(value_, "4");
  EXPECT_THROW(t_.Post(), store::EDatabaseError);
  EXPECT_EQ(count_.text(), "1.5");
  t_.Cancel();
  EXPECT_EQ(value_.text(), "1.5");
  EXPECT_EQ(count_.text(), "7");
  EXPECT_FALSE(b_->HasPendingText());
}

TEST_F(BindingTest, TheLabelKeepsItsTextUntilItsOwnFieldChanges) {
  Type(value_, "9");
  shown_.setText("changed by the window");
  Type(count_, "8");  // writing other fields leaves the label alone
  EXPECT_EQ(shown_.text(), "changed by the window");
  t_.FieldByName("Shown").SetAsString("stored");
  EXPECT_EQ(shown_.text(), "stored");
  t_.Cancel();
  EXPECT_EQ(shown_.text(), "a");
}

TEST_F(BindingTest, TheListShowsARecordBeingInsertedLastAndFollowsItsName) {
  t_.Insert();
  ASSERT_EQ(grid_.model()->rowCount(), 3);
  EXPECT_EQ(grid_.currentIndex().row(), 2);
  EXPECT_EQ(grid_.model()->headerData(2, Qt::Vertical, Qt::DisplayRole).toString(), "*");
  EXPECT_TRUE(grid_.model()->setData(grid_.model()->index(2, 0), "c", Qt::EditRole));
  EXPECT_EQ(t_.FieldByName("Name").AsString(), "c");
  EXPECT_EQ(grid_.model()->data(grid_.model()->index(2, 0)).toString(), "c");
  EXPECT_FALSE(grid_.model()->setData(grid_.model()->index(0, 0), "x", Qt::EditRole))
      << "only the current row is edited";
  t_.Cancel();
  EXPECT_EQ(grid_.model()->rowCount(), 2);
  EXPECT_EQ(grid_.currentIndex().row(), 0);

  // Renaming the current record in the list starts Edit.
  EXPECT_TRUE(grid_.model()->setData(grid_.model()->index(0, 0), "z", Qt::EditRole));
  EXPECT_EQ(t_.State(), store::dsEdit);
  EXPECT_EQ(grid_.model()->headerData(0, Qt::Vertical, Qt::DisplayRole).toString(), "I");
  t_.Post();
  EXPECT_EQ(grid_.model()->data(grid_.model()->index(0, 0)).toString(), "z");
}

TEST_F(BindingTest, PickingARowMovesTheTable) {
  grid_.setCurrentIndex(grid_.model()->index(1, 0));
  QCoreApplication::processEvents();
  EXPECT_EQ(t_.RecNo(), 2);
  EXPECT_EQ(value_.text(), "2.5");
  // A change to a closed table is refused and shows nothing.
  t_.Close();
  Type(value_, "5");
  EXPECT_EQ(value_.text(), "");
  EXPECT_EQ(t_.State(), store::dsInactive);
}

TEST_F(BindingTest, TypingIntoAnEmptyTableStartsAnInsertAndKeepsTheText) {
  t_.First();
  while (!t_.Eof() && t_.RecordCount() > 0) t_.Delete();
  ASSERT_EQ(t_.RecordCount(), 0);
  Type(value_, "6");
  EXPECT_EQ(t_.State(), store::dsInsert);
  EXPECT_EQ(value_.text(), "6");
  t_.FieldByName("Name").SetAsString("n");
  t_.Post();
  EXPECT_EQ(t_.FieldByName("Value").AsFloat(), 6);
}

}  // namespace
