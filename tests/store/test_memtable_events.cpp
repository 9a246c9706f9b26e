#include <gtest/gtest.h>

#include <functional>

#include "problem_table.h"
#include "store/memtable.h"
#include "store_test_util.h"

namespace store {
namespace {

using store_test::MakeProblemFile;
using store_test::TempDir;
using Log = std::vector<std::string>;

// Records every event and every data-link call in order.
struct Recorder : TDataLink {
  Log log;
  void Attach(TMemTable& t) {
    auto on = [this](const char* name) { return [this, name](TMemTable&) { log.push_back(name); }; };
    t.AfterOpen = on("AfterOpen");
    t.BeforeScroll = on("BeforeScroll");
    t.AfterScroll = on("AfterScroll");
    t.BeforeInsert = on("BeforeInsert");
    t.OnNewRecord = on("OnNewRecord");
    t.AfterInsert = on("AfterInsert");
    t.BeforePost = on("BeforePost");
    t.AfterPost = on("AfterPost");
    t.BeforeCancel = on("BeforeCancel");
    t.AfterCancel = on("AfterCancel");
    t.BeforeDelete = on("BeforeDelete");
    t.AfterDelete = on("AfterDelete");
    t.AddDataLink(this);
  }
  void UpdateRecord(TMemTable&) override { log.push_back("UpdateRecord"); }
};

struct Case {
  const char* what;
  std::vector<std::string> names;                 // table content before the action
  std::function<void(TMemTable&)> prepare;        // not recorded
  std::function<void(TMemTable&)> action;         // recorded
  Log expected;
};

std::vector<Case> Cases() {
  auto nothing = [](TMemTable&) {};
  auto editName = [](TMemTable& t) {
    t.Edit();
    t.FieldByName("ProblemName").SetAsString("x");
  };
  return {
      {"open with records", {"a"}, nothing, [](TMemTable& t) { t.Open(); },
       {"AfterOpen", "AfterScroll"}},
      {"open empty table: no AfterScroll", {}, nothing, [](TMemTable& t) { t.Open(); },
       {"AfterOpen"}},
      {"next", {"a", "b"}, nothing, [](TMemTable& t) { t.Next(); },
       {"BeforeScroll", "AfterScroll"}},
      {"next past the end still scrolls", {"a"}, nothing, [](TMemTable& t) { t.Next(); },
       {"BeforeScroll", "AfterScroll"}},
      {"next while editing with a change posts first", {"a", "b"}, editName,
       [](TMemTable& t) { t.Next(); },
       {"UpdateRecord", "UpdateRecord", "BeforePost", "AfterPost", "BeforeScroll", "AfterScroll"}},
      {"next while editing without a change cancels first", {"a", "b"},
       [](TMemTable& t) { t.Edit(); }, [](TMemTable& t) { t.Next(); },
       {"UpdateRecord", "BeforeCancel", "AfterCancel", "BeforeScroll", "AfterScroll"}},
      {"insert", {"a"}, nothing, [](TMemTable& t) { t.Insert(); },
       {"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert", "AfterScroll"}},
      {"insert while editing posts first", {"a"}, editName, [](TMemTable& t) { t.Insert(); },
       {"UpdateRecord", "UpdateRecord", "BeforePost", "AfterPost", "BeforeInsert", "BeforeScroll",
        "OnNewRecord", "AfterInsert", "AfterScroll"}},
      {"post of an edit", {"a"}, editName, [](TMemTable& t) { t.Post(); },
       {"UpdateRecord", "BeforePost", "AfterPost"}},
      {"post in browse mode does nothing", {"a"}, nothing, [](TMemTable& t) { t.Post(); }, {}},
      {"cancel of an edit", {"a"}, editName, [](TMemTable& t) { t.Cancel(); },
       {"BeforeCancel", "AfterCancel"}},
      {"cancel of an insert", {"a"}, [](TMemTable& t) { t.Insert(); },
       [](TMemTable& t) { t.Cancel(); },
       {"BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}},
      {"delete", {"a", "b"}, nothing, [](TMemTable& t) { t.Delete(); },
       {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}},
      {"delete while editing drops the edit", {"a", "b"}, editName,
       [](TMemTable& t) { t.Delete(); },
       {"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}},
      {"first", {"a", "b"}, [](TMemTable& t) { t.Last(); }, [](TMemTable& t) { t.First(); },
       {"BeforeScroll", "AfterScroll"}},
      {"edit raises no event", {"a"}, nothing, [](TMemTable& t) { t.Edit(); }, {}},
      {"delete while inserting is a cancel", {"a"}, [](TMemTable& t) { t.Insert(); },
       [](TMemTable& t) { t.Delete(); },
       {"BeforeCancel", "BeforeScroll", "AfterCancel", "AfterScroll"}},
  };
}

TEST(MemTableEvents, OrderOfEveryOperation) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    MakeProblemFile(dir.File("p.d"), c.names);
    TMemTable t;
    t.SetTableName(dir.File("p.d"));
    t.SetIndexFieldNames("ProblemName");
    bool opens = c.expected.size() && c.expected[0] == "AfterOpen";
    if (!opens) t.Open();
    c.prepare(t);
    Recorder rec;
    rec.Attach(t);
    c.action(t);
    EXPECT_EQ(rec.log, c.expected);
    t.RemoveDataLink(&rec);
  }
}

TEST(MemTableEvents, BeforePostAbandonsSilently) {
  TempDir dir;
  MakeProblemFile(dir.File("p.d"), {"a", "b"});
  TMemTable t;
  t.SetTableName(dir.File("p.d"));
  t.SetIndexFieldNames("ProblemName");
  t.Open();
  bool refuse = true;
  t.BeforePost = [&](TMemTable&) {
    if (refuse) throw EAbort();
  };
  int afterPost = 0;
  t.AfterPost = [&](TMemTable&) { ++afterPost; };
  // Post of an insert.
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("c");
  EXPECT_THROW(t.Post(), EAbort);
  EXPECT_EQ(t.State(), dsInsert);
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "c");
  EXPECT_EQ(t.RecordCount(), 2);
  // A move that has to post is abandoned too, and the table does not move.
  EXPECT_THROW(t.First(), EAbort);
  EXPECT_EQ(t.State(), dsInsert);
  refuse = false;
  t.Post();
  EXPECT_EQ(t.RecordCount(), 3);
  EXPECT_EQ(afterPost, 1);
  // Post of an edit.
  refuse = true;
  t.First();
  t.Edit();
  t.FieldByName("Ymin").SetAsFloat(5);
  EXPECT_THROW(t.Post(), EAbort);
  EXPECT_EQ(t.State(), dsEdit);
  EXPECT_EQ(t.RecordState(), rsUnchanged);
  t.Cancel();
  EXPECT_EQ(t.FieldByName("Ymin").AsFloat(), 0.0);
}

TEST(MemTableEvents, HandlersSeeTheNewRecordAndItsDefaults) {
  TempDir dir;
  MakeProblemFile(dir.File("p.d"), {"a"});
  TMemTable t;
  t.SetTableName(dir.File("p.d"));
  t.Open();
  // Defaults given after insert make the record modified, so a move posts it.
  t.AfterInsert = [](TMemTable& tb) {
    EXPECT_EQ(tb.State(), dsInsert);
    tb.FieldByName("XPoints").SetAsInteger(201);
  };
  t.Insert();
  EXPECT_TRUE(t.Modified());
  t.First();
  EXPECT_EQ(t.RecordCount(), 2);
  t.Last();
  EXPECT_EQ(t.FieldByName("XPoints").AsInteger(), 201);
  // Values written in OnNewRecord do not count as a change.
  t.AfterInsert = nullptr;
  t.OnNewRecord = [](TMemTable& tb) { tb.FieldByName("YPoints").SetAsInteger(7); };
  t.Insert();
  EXPECT_FALSE(t.Modified());
  EXPECT_EQ(t.FieldByName("YPoints").AsInteger(), 7);
  t.First();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST(MemTableEvents, HandlersThatCloseTheTableLeaveItConsistent) {
  TempDir dir;
  MakeProblemFile(dir.File("p.d"), {"a", "b"});
  TMemTable t;
  t.SetTableName(dir.File("p.d"));
  auto closeIt = [](TMemTable& tb) { tb.Close(); };
  struct Case {
    const char* what;
    TMemTable::TEvent TMemTable::*event;
    std::function<void(TMemTable&)> action;
  } cases[] = {
      {"BeforeDelete", &TMemTable::BeforeDelete, [](TMemTable& tb) { tb.Delete(); }},
      {"BeforeInsert", &TMemTable::BeforeInsert, [](TMemTable& tb) { tb.Insert(); }},
      {"BeforePost", &TMemTable::BeforePost,
       [](TMemTable& tb) {
         tb.Edit();
         tb.FieldByName("Ymin").SetAsFloat(1);
         tb.Post();
       }},
      {"BeforeCancel", &TMemTable::BeforeCancel,
       [](TMemTable& tb) {
         tb.Insert();
         tb.Cancel();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    t.Open();
    t.*(c.event) = closeIt;
    try {
      c.action(t);
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot perform this operation on a closed dataset");
    }
    EXPECT_FALSE(t.Active());
    t.*(c.event) = nullptr;
    t.Open();  // the store is intact
    EXPECT_EQ(t.RecordCount(), 2);
    t.Close();
  }
}

// A data link like a bound edit: keeps its own text and writes it at UpdateRecord.
struct EditLink : TDataLink {
  std::string text;
  bool dirty = false;
  int stateChanges = 0, dataChanges = 0, fieldChanges = 0, activeChanges = 0;
  void UpdateRecord(TMemTable& t) override {
    if (dirty) t.FieldByName("ProblemName").SetAsString(text);
    dirty = false;
  }
  void StateChanged(TMemTable&) override { ++stateChanges; }
  void DataSetChanged(TMemTable&) override { ++dataChanges; }
  void RecordChanged(TMemTable&, TField*) override { ++fieldChanges; }
  void ActiveChanged(TMemTable&) override { ++activeChanges; }
};

TEST(MemTableEvents, BoundControlsWriteTheirTextWhenTheRecordIsPosted) {
  TempDir dir;
  MakeProblemFile(dir.File("p.d"), {"a", "b"});
  TMemTable t;
  EditLink link;
  t.AddDataLink(&link);
  t.SetTableName(dir.File("p.d"));
  t.SetIndexFieldNames("ProblemName");
  t.Open();
  EXPECT_EQ(link.activeChanges, 1);
  t.Edit();  // the user's first key press
  link.text = "typed";
  link.dirty = true;
  t.Next();  // the move writes the control's text, sees the change and posts it
  t.First();
  EXPECT_EQ(t.FieldByName("ProblemName").AsString(), "typed");
  EXPECT_EQ(t.RecordState(), rsChanged);
  EXPECT_GE(link.stateChanges, 2);
  EXPECT_GE(link.dataChanges, 3);
  EXPECT_EQ(link.fieldChanges, 1);
  t.Close();
  EXPECT_EQ(link.activeChanges, 2);
}

}  // namespace
}  // namespace store
