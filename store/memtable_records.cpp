// Moving through the view, editing, posting, cancelling and deleting records, and the events
// and data-link notices each raises.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "store/bytes.h"
#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/memtable.h"
#include "store/memtable_internal.h"

namespace store {

using namespace detail;

void TMemTable::DoEvent(const TEvent& e) {
  if (e) e(*this);
}

void TMemTable::SetState(TDataSetState s) {
  if (s == state_) return;
  state_ = s;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->StateChanged(*this);
}

void TMemTable::NotifyDataSetChanged() {
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->DataSetChanged(*this);
}

void TMemTable::FieldChanged(TField* f) {
  modified_ = true;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->RecordChanged(*this, f);
}

void TMemTable::AddDataLink(TDataLink* link) {
  if (link && std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TMemTable::RemoveDataLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TMemTable::CheckActive() const {
  if (state_ == dsInactive) DbError(kClosed);
}

TRecordImage& TMemTable::Buffer() {
  if (state_ != dsEdit && state_ != dsInsert) DbError(kNotEditing);
  return buffer_;
}

const TRecordImage* TMemTable::CurrentImage() const {
  if (state_ == dsEdit || state_ == dsInsert) return &buffer_;
  if (state_ == dsBrowse && cur_ >= 0 && cur_ < static_cast<int>(view_.size()))
    return &view_[static_cast<std::size_t>(cur_)]->image;
  return nullptr;
}

void TMemTable::CheckBrowseMode() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) {
    for (TDataLink* l : std::vector<TDataLink*>(links_)) l->UpdateRecord(*this);
    if (modified_)
      Post();
    else
      Cancel();
  }
}

void TMemTable::Move(int target, bool toEnd, bool toStart) {
  CheckBrowseMode();
  DoEvent(BeforeScroll);
  const int n = static_cast<int>(view_.size());
  if (toStart) {  // First
    cur_ = n ? 0 : -1;
    bof_ = true;
    eof_ = n == 0;
  } else if (toEnd) {  // Last
    cur_ = n - 1;
    eof_ = true;
    bof_ = n == 0;
  } else if (target > 0) {  // Next
    if (!eof_) {
      bof_ = false;
      if (cur_ + 1 < n)
        ++cur_;
      else
        eof_ = true;
    }
  } else if (target < 0) {  // Prior
    if (!bof_) {
      eof_ = false;
      if (cur_ > 0)
        --cur_;
      else
        bof_ = true;
    }
  }
  NotifyDataSetChanged();
  DoEvent(AfterScroll);
}

void TMemTable::First() {
  Move(0, false, true);
}
void TMemTable::Last() {
  Move(0, true, false);
}
void TMemTable::Next() {
  Move(1, false, false);
}
void TMemTable::Prior() {
  Move(-1, false, false);
}

void TMemTable::SetRecNo(int recNo) {
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(view_.size())) return;
  if (state_ == dsBrowse && recNo - 1 == cur_) return;
  CheckBrowseMode();
  if (recNo > static_cast<int>(view_.size())) return;
  DoEvent(BeforeScroll);
  cur_ = recNo - 1;
  bof_ = eof_ = false;
  NotifyDataSetChanged();
  DoEvent(AfterScroll);
}

bool TMemTable::Eof() const {
  return eof_ || view_.empty();
}
bool TMemTable::Bof() const {
  return bof_ || view_.empty();
}
int TMemTable::RecordCount() const {
  return Active() ? static_cast<int>(view_.size()) : 0;
}

int TMemTable::RecNo() const {
  if (state_ != dsBrowse && state_ != dsEdit) return 0;
  return cur_ >= 0 ? cur_ + 1 : 0;
}

void TMemTable::Insert() {
  CheckBrowseMode();
  DoEvent(BeforeInsert);
  DoEvent(BeforeScroll);
  CheckActive();  // a handler may have closed the table
  insertFrom_ = cur_;
  buffer_ = store_->layout.NewRecord();
  autoIncGiven_ = false;
  bof_ = eof_ = false;
  SetState(dsInsert);
  NotifyDataSetChanged();
  try {
    DoEvent(OnNewRecord);
  } catch (...) {
    buffer_ = TRecordImage();
    cur_ = insertFrom_;
    eof_ = bof_ = view_.empty();
    SetState(dsBrowse);
    NotifyDataSetChanged();
    throw;
  }
  modified_ = false;
  DoEvent(AfterInsert);
  DoEvent(AfterScroll);
}

void TMemTable::Edit() {
  CheckActive();
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (view_.empty()) {  // nothing to change: a change starts a new record instead
    Insert();
    return;
  }
  TEntry* e = view_[static_cast<std::size_t>(cur_)];
  if (!e->undo) e->undo = std::make_unique<TRecordImage>(e->image);
  buffer_ = e->image;
  modified_ = false;
  SetState(dsEdit);
}

void TMemTable::Post() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->UpdateRecord(*this);
  DoEvent(BeforePost);
  if (state_ != dsEdit && state_ != dsInsert) return;  // a handler ended the edit itself
  if (state_ == dsInsert) {
    if (store_->autoIncField >= 0) {
      const TMemField& f = store_->layout.fields[static_cast<std::size_t>(store_->autoIncField)];
      char* slot = buffer_.fixed.data() + f.offset;
      if (autoIncGiven_) {
        store_->autoIncCount =
            std::max<std::int64_t>(store_->autoIncCount, Load<std::int32_t>(slot));
      } else {
        if (store_->autoIncCount >= std::numeric_limits<std::int32_t>::max())
          DbError("The auto-increment field '" + Cp1251ToUtf8(f.name) + "' has reached " +
                  std::to_string(std::numeric_limits<std::int32_t>::max()) +
                  "; no further record can be added");
        Store<std::int32_t>(slot, static_cast<std::int32_t>(++store_->autoIncCount));
      }
    }
    autoIncGiven_ = false;
    auto e = std::make_unique<TEntry>();
    e->image = std::move(buffer_);
    e->state = rsInserted;
    view_.push_back(e.get());
    store_->entries.push_back(std::move(e));
    cur_ = static_cast<int>(view_.size()) - 1;
  } else {
    if (cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
      DbError("Error saving record: Record is not found");
    TEntry* e = view_[static_cast<std::size_t>(cur_)];
    bool found = false;
    for (const auto& s : store_->entries)  // the entry must still belong to the store
      if (s.get() == e) found = true;
    if (!found) DbError("Error saving record: Record is not found");
    if (e->state == rsDeleted || e->state == rsRemoved)
      DbError("Error saving record: Record has been deleted");
    e->image = std::move(buffer_);
    if (e->state == rsUnchanged) e->state = rsChanged;
  }
  buffer_ = TRecordImage();
  modified_ = false;
  bof_ = eof_ = false;
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterPost);
}

void TMemTable::Cancel() {
  CheckActive();
  if (state_ != dsEdit && state_ != dsInsert) return;
  const bool inserting = state_ == dsInsert;
  DoEvent(BeforeCancel);
  if (state_ != dsEdit && state_ != dsInsert) return;  // a handler ended the edit itself
  if (inserting) DoEvent(BeforeScroll);
  buffer_ = TRecordImage();
  modified_ = false;
  if (inserting) {
    cur_ = std::min(insertFrom_, static_cast<int>(view_.size()) - 1);
    bof_ = eof_ = view_.empty();
  }
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterCancel);
  if (inserting) DoEvent(AfterScroll);
}

void TMemTable::Delete() {
  CheckActive();
  if (state_ == dsInsert) {
    Cancel();
    return;
  }
  if (view_.empty()) DbError(kEmpty);
  DoEvent(BeforeDelete);
  DoEvent(BeforeScroll);
  CheckActive();  // a handler may have closed the table or moved
  if (cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
    DbError("Error deleting record: Record is not found");
  TEntry* e = view_[static_cast<std::size_t>(cur_)];
  bool found = false;
  for (const auto& s : store_->entries)
    if (s.get() == e) found = true;
  if (!found) DbError("Error deleting record: Record is not found");
  if (e->state == rsDeleted || e->state == rsRemoved)
    DbError("Error deleting record: Record has been deleted");
  if (e->state == rsInserted) {
    e->state = rsRemoved;
    e->image = TRecordImage();  // a record added since the load has nothing to keep
    e->undo.reset();
  } else {
    e->state = rsDeleted;
  }
  view_.erase(view_.begin() + cur_);
  if (cur_ >= static_cast<int>(view_.size())) cur_ = static_cast<int>(view_.size()) - 1;
  buffer_ = TRecordImage();
  modified_ = false;
  bof_ = false;
  eof_ = view_.empty();
  SetState(dsBrowse);
  NotifyDataSetChanged();
  DoEvent(AfterDelete);
  DoEvent(AfterScroll);
}

TRecordState TMemTable::RecordState() const {
  if (state_ == dsInsert) return rsInserted;
  if (state_ == dsInactive || cur_ < 0 || cur_ >= static_cast<int>(view_.size()))
    return rsUnchanged;
  return view_[static_cast<std::size_t>(cur_)]->state;
}

std::string TMemTable::TextAt(int recNo, int fieldIndex) const {
  CheckActive();
  if (recNo < 1 || recNo > static_cast<int>(view_.size()) || fieldIndex < 0 ||
      fieldIndex >= static_cast<int>(fields_.size()))
    return {};
  const TRecordImage* img = (state_ == dsEdit && recNo - 1 == cur_)
                                ? &buffer_
                                : &view_[static_cast<std::size_t>(recNo - 1)]->image;
  const TMemField& f = store_->layout.fields[static_cast<std::size_t>(fieldIndex)];
  return TFieldReader{f, img}.Text(decimalSeparator_);
}

}  // namespace store
