#pragma once
// TMemTable: one table held wholly in memory, loaded from a table file and written back on
// request (SaveToFile). To its users it is a data set: states inactive/browse/edit/insert,
// a current record in a view ordered by IndexFieldNames, field objects reached by name,
// and events raised in a fixed order.
//
// Texts: the store keeps Windows-1251 bytes exactly as the file holds them; field objects,
// field names, the comment and every message give and take UTF-8. Text holding a character
// that Windows-1251 cannot represent is refused with EDatabaseError and nothing changes.
//
// Errors: every failure throws EDatabaseError whose what() is the message ("Field 'X' not
// found", "Cannot perform this operation on a closed dataset", ...); the table keeps its
// state from before the call.
//
// Abandoning silently: a BeforePost handler (or any handler raised inside Post, Insert or a
// move) may throw store::EAbort. It propagates out of the call that raised the event; the
// record stays in its mode and nothing was stored. Callers of Post/Next/Insert/... catch
// EAbort and drop it without a message (it is not an EDatabaseError).
//
// Event order (each event is a std::function member; empty ones are skipped):
//   Open:    load; AfterOpen; AfterScroll if the view is not empty
//   move:    pending edit stored (Post, or Cancel when nothing was changed); BeforeScroll;
//            the move; AfterScroll  (First, Next, Prior, Last, SetRecNo)
//   Insert:  pending edit stored; BeforeInsert; BeforeScroll; new record; OnNewRecord;
//            AfterInsert; AfterScroll
//   Post:    data links write their controls' text (TDataLink::UpdateRecord); BeforePost;
//            record stored; AfterPost
//   Cancel:  BeforeCancel; (insert) BeforeScroll; change dropped; AfterCancel;
//            (insert) AfterScroll
//   Delete:  while inserting, Delete is Cancel; else BeforeDelete; BeforeScroll; record
//            removed; AfterDelete; AfterScroll
//
// Binding controls: derive from TDataLink and AddDataLink it. The table calls
// UpdateRecord first in Post (controls write their pending text into the fields), and
// tells links when it opens/closes, changes state, changes the current record or the
// view, and when a field value of the current record changes.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "store/table_image.h"

namespace store {

// A database error: what() is the message shown to the user.
class EDatabaseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown by an event handler to abandon the current operation silently.
class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };
enum TMemLoadMode { lmClear, lmFile };
enum TRecordState { rsUnchanged, rsChanged, rsInserted, rsDeleted, rsRemoved };

// Option sets are bit masks of these values.
enum TSortOption : unsigned { vsoCaseInsensitive = 1u, vsoDescendSort = 2u };
enum TSaveOption : unsigned { savAutoBackup = 1u, savSlowMode = 2u, savSortOnIndex = 4u };
using TSortOptions = unsigned;
using TSaveOptions = unsigned;

// A field definition for a table built by Open with LoadMode lmClear. Name is UTF-8.
struct TFieldDef {
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;  // string size; ignored for other kinds
};

class TMemTable;

// A field object: reads and writes one field of the current record (or of the record
// being inserted). Valid from Open to Close; Close and the next Open replace them.
//
// Reading: a number never set reads 0 (text "0"), a boolean false, a short or long string,
// memo, date or date-and-time empty (text ""). Dates read as text "YYYY-MM-DD", times
// "HH:MM:SS.mmm", date-and-times "YYYY-MM-DDTHH:MM:SS.mmm".
// Writing needs edit or insert mode ("Table is not in edit or insert mode"); the first write
// in browse mode does NOT start Edit by itself (data-aware controls call Edit first).
// Values written to an auto-increment field are ignored.
class TField {
 public:
  const std::string& FieldName() const { return name_; }  // UTF-8
  TFieldType DataType() const;
  int Size() const;        // declared size of a string field, 0 otherwise
  int Index() const { return index_; }
  bool IsBlob() const;     // memo, formatted memo, object, picture
  bool IsNumeric() const;  // right-aligned kinds: integers, floats, money
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }

  bool IsNull() const;  // "empty" as the field object sees it (numbers never are)

  // Text in UTF-8. Float and money fields use the table's DecimalSeparator and the general
  // 15-digit format; booleans read "True"/"False". Writing "" to a number, date or boolean
  // field clears it. Errors: "'%s' is not a valid floating point value for field '%s'",
  // "'%s' is not a valid integer value for field '%s'", ...
  std::string AsString() const;
  void SetAsString(std::string_view utf8);

  double AsFloat() const;
  void SetAsFloat(double v);
  std::int32_t AsInteger() const;
  void SetAsInteger(std::int32_t v);
  bool AsBoolean() const;
  void SetAsBoolean(bool v);

  // For reading a table back from its exported form: any double, NaN and infinities included,
  // as a table file can hold it (float, money and date-and-time fields).
  void SetAsStoredFloat(double v);
  // In insert mode, the value an auto-increment field keeps when the record is posted, instead
  // of the next count; later records count on from the highest value.
  void SetAutoIncValue(std::int32_t v);

  // Raw bytes (Windows-1251 for texts; any bytes for objects and pictures).
  std::string AsBytes() const;
  void SetAsBytes(std::string_view bytes);

  // Text for display: float (not money) fields use DisplayFormat ("0.######" unless set)
  // with the table's DecimalSeparator; other kinds as AsString.
  std::string DisplayText() const;
  const std::string& DisplayFormat() const { return displayFormat_; }
  void SetDisplayFormat(std::string f) { displayFormat_ = std::move(f); }

  void Clear();  // zero bytes into the slot; a long string or memo loses its text

  TMemTable& DataSet() const { return *table_; }

 private:
  friend class TMemTable;
  friend class TMemBlobStream;
  TField(TMemTable* table, int index, std::string name);
  const TMemField& Def() const;

  TMemTable* table_;
  int index_;
  std::string name_;
  std::string displayFormat_;
  bool readOnly_ = false;
};

// A stream over a memo, formatted memo, object or picture value of the current record.
// bmRead: a copy of the stored bytes. bmWrite: starts empty (same mode and read-only checks
// as writing a field); its bytes become the field's value at Close (or destruction).
class TMemBlobStream {
 public:
  enum TBlobStreamMode { bmRead, bmWrite };
  TMemBlobStream(TField& field, TBlobStreamMode mode);
  ~TMemBlobStream();
  TMemBlobStream(const TMemBlobStream&) = delete;
  TMemBlobStream& operator=(const TMemBlobStream&) = delete;

  std::size_t Read(void* buffer, std::size_t count);
  void Write(const void* buffer, std::size_t count);
  std::size_t Size() const { return data_.size(); }
  std::size_t Position() const { return pos_; }
  void Seek(std::size_t pos) { pos_ = pos < data_.size() ? pos : data_.size(); }
  const std::string& Bytes() const { return data_; }
  void Close();  // write mode: commit the bytes (no bytes: the value is empty)

 private:
  TField* field_;
  TBlobStreamMode mode_;
  std::string data_;
  std::size_t pos_ = 0;
  bool open_ = true;
};

// Observer for bound controls. All callbacks are optional.
class TDataLink {
 public:
  virtual ~TDataLink() = default;
  // First step of Post: write pending control text into the fields (may throw EAbort or
  // EDatabaseError, which ends the Post with nothing stored).
  virtual void UpdateRecord(TMemTable&) {}
  virtual void ActiveChanged(TMemTable&) {}    // opened or closed
  virtual void StateChanged(TMemTable&) {}     // State() changed
  virtual void DataSetChanged(TMemTable&) {}   // current record or the view changed
  virtual void RecordChanged(TMemTable&, TField*) {}  // a value of the current record changed
};

class TMemTable {
 public:
  using TEvent = std::function<void(TMemTable&)>;

  TMemTable();
  ~TMemTable();
  TMemTable(const TMemTable&) = delete;
  TMemTable& operator=(const TMemTable&) = delete;

  // --- configuration
  const std::string& TableName() const { return tableName_; }
  // Same name (case-sensitive): nothing. Else closes, stores the name, LoadMode becomes
  // lmFile (non-empty name) or lmClear (empty name).
  void SetTableName(const std::string& name);
  TMemLoadMode LoadMode() const { return loadMode_; }
  void SetLoadMode(TMemLoadMode m);  // a change closes an open table
  const std::string& IndexFieldNames() const { return indexFieldNames_; }
  void SetIndexFieldNames(const std::string& names);  // ";"-separated; rebuilds an open view
  TSortOptions SortOptions() const { return sortOptions_; }
  void SetSortOptions(TSortOptions o);  // rebuilds an open view
  TSaveOptions SaveOptions() const { return saveOptions_; }
  void SetSaveOptions(TSaveOptions o) { saveOptions_ = o; }
  char DecimalSeparator() const { return decimalSeparator_; }
  void SetDecimalSeparator(char c) { decimalSeparator_ = c; }
  std::vector<TFieldDef>& FieldDefs() { return fieldDefs_; }  // for lmClear

  // --- open / close
  // lmFile: "Error opening file %s" when missing, "Error opening table: <reason>" when the
  // image is bad. lmClear: an empty table from FieldDefs ("Error creating table (no field
  // descriptions)"). A failed Open leaves the table inactive with no store.
  void Open();
  void Close();  // drops a pending edit or insert, the field objects and the view; keeps the store
  bool Active() const { return state_ != dsInactive; }
  TDataSetState State() const { return state_; }
  bool HasStore() const { return store_ != nullptr; }

  // --- navigation (view positions; record numbers count from 1)
  void First();
  void Next();
  void Prior();
  void Last();
  bool Eof() const;
  bool Bof() const;
  int RecordCount() const;  // records in the view
  int RecNo() const;        // 1-based view position of the current record; 0 if none/insert
  void SetRecNo(int recNo); // a move (events as for Next)
  bool IsEmpty() const { return RecordCount() == 0; }

  // --- editing
  void Insert();
  void Append() { Insert(); }  // a posted new record goes to the end either way
  void Edit();    // on an empty view, Edit starts an Insert
  void Post();    // nothing in browse mode
  void Cancel();  // nothing in browse mode
  void Delete();
  bool Modified() const { return modified_; }
  TRecordState RecordState() const;  // state of the current store entry (rsInserted in insert)

  // --- fields
  TField& FieldByName(std::string_view name);  // "Field '%s' not found"
  TField* FindField(std::string_view name);    // nullptr when missing
  const TField& FieldByName(std::string_view name) const;
  const TField* FindField(std::string_view name) const;
  int FieldCount() const { return static_cast<int>(fields_.size()); }
  TField& Fields(int index) { return *fields_.at(static_cast<std::size_t>(index)); }

  // Text of a field of any view record without moving (for lists and grids); recNo from 1.
  std::string TextAt(int recNo, int fieldIndex) const;

  // --- table comment (UTF-8); needs a store
  std::string TableComment() const;
  void SetTableComment(std::string_view utf8);

  // --- saving
  // Writes the whole store (open or closed table) as a table image. Nothing when there is no
  // store. The image goes to a temporary file in the same folder, is flushed to disk and
  // renamed over the old file; any failure throws EDatabaseError and leaves the old file as
  // it was.
  void SaveToFile(const std::string& fileName);

  // --- events
  TEvent AfterOpen, BeforeScroll, AfterScroll, BeforeInsert, OnNewRecord, AfterInsert,
      BeforePost, AfterPost, BeforeCancel, AfterCancel, BeforeDelete, AfterDelete;

  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  // --- inspection (tests, tools): store entries in store order
  int StoreCount() const;
  TRecordState StoreState(int index) const;
  const TTableLayout* Layout() const;

  struct TStore;  // internal
  struct TEntry;  // internal

 private:
  friend class TField;
  friend class TMemBlobStream;

  int FieldIndex(std::string_view name) const;  // in the store's field list, or -1
  void CheckActive() const;
  void CheckBrowseMode();
  void CheckEditMode() const;
  void DoEvent(const TEvent& e);
  void MakeFields();
  void BuildKeys();
  void BuildView();
  void RefreshCurrent();
  TRecordImage& Buffer();
  const TRecordImage* CurrentImage() const;
  void FieldChanged(TField* f);
  void SetState(TDataSetState s);
  void NotifyDataSetChanged();
  void Move(int target, bool toEnd, bool toStart);
  void DropStore();
  // The permutation that puts `recs` in key order.
  std::vector<std::size_t> SortOrder(const std::vector<const TRecordImage*>& recs,
                                     const std::vector<int>& keys, TSortOptions opts,
                                     bool stable) const;
  std::vector<int> KeyFields() const;

  std::string tableName_;
  TMemLoadMode loadMode_ = lmClear;
  std::string indexFieldNames_;
  TSortOptions sortOptions_ = 0;
  TSaveOptions saveOptions_ = 0;
  char decimalSeparator_ = '.';
  std::vector<TFieldDef> fieldDefs_;

  TDataSetState state_ = dsInactive;
  std::unique_ptr<TStore> store_;
  std::vector<std::unique_ptr<TField>> fields_;
  std::vector<int> keys_;
  std::vector<TEntry*> view_;
  int cur_ = -1;       // view position of the current record
  bool eof_ = true;
  bool bof_ = true;
  int insertFrom_ = -1;  // view position that was current when Insert started
  TRecordImage buffer_;  // the record being edited or inserted
  bool autoIncGiven_ = false;  // the record being inserted keeps its auto-increment value
  bool modified_ = false;
  std::vector<TDataLink*> links_;
};

}  // namespace store
