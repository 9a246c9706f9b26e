// The table: configuration, open and close, field lookup, the comment and saving to a file.

#include "store/memtable.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "store/bytes.h"
#include "store/cp1251.h"
#include "store/memtable_internal.h"
#include "store/safe_file.h"

namespace store {

using namespace detail;

// ---------------------------------------------------------------------------------------
// The table

TMemTable::TMemTable() = default;
TMemTable::~TMemTable() = default;

void TMemTable::SetTableName(const std::string& name) {
  if (name == tableName_) return;
  Close();
  tableName_ = name;
  SetLoadMode(name.empty() ? lmClear : lmFile);
}

void TMemTable::SetLoadMode(TMemLoadMode m) {
  if (m == loadMode_) return;
  Close();
  loadMode_ = m;
}

void TMemTable::DropStore() {
  fields_.clear();
  view_.clear();
  keys_.clear();
  store_.reset();
  cur_ = -1;
  eof_ = bof_ = true;
}

void TMemTable::MakeFields() {
  fields_.clear();
  const auto& defs = store_->layout.fields;
  for (std::size_t i = 0; i < defs.size(); ++i)
    fields_.push_back(
        std::unique_ptr<TField>(new TField(this, static_cast<int>(i), Cp1251ToUtf8(defs[i].name))));
}

int TMemTable::FieldIndex(std::string_view name) const {
  std::string bytes;
  if (!store_ || !Utf8ToCp1251(name, bytes).ok) return -1;
  const auto& defs = store_->layout.fields;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    const std::string& n = defs[i].name;
    if (n.size() == bytes.size() && CompareText(n, bytes, true) == 0) return static_cast<int>(i);
  }
  return -1;
}

const TField* TMemTable::FindField(std::string_view name) const {
  int i = FieldIndex(name);
  if (i < 0 || static_cast<std::size_t>(i) >= fields_.size()) return nullptr;  // closed: no objects
  return fields_[static_cast<std::size_t>(i)].get();
}

TField* TMemTable::FindField(std::string_view name) {
  return const_cast<TField*>(std::as_const(*this).FindField(name));
}

const TField& TMemTable::FieldByName(std::string_view name) const {
  const TField* f = FindField(name);
  if (!f) DbError("Field '" + std::string(name) + "' not found");
  return *f;
}

TField& TMemTable::FieldByName(std::string_view name) {
  return const_cast<TField&>(std::as_const(*this).FieldByName(name));
}

void TMemTable::Open() {
  if (Active()) return;
  auto fresh = std::make_unique<TStore>();
  if (loadMode_ == lmFile) {
    std::string bytes;
    if (!FileExists(tableName_) || !ReadWholeFile(tableName_, bytes)) {
      DropStore();
      DbError("Error opening file " + tableName_);
    }
    try {
      std::size_t declared = 0;
      bool sized = false;
      fresh->layout = ReadTableImage(
          bytes,
          [&](TRecordImage&& r) {
            if (!sized) fresh->entries.reserve(declared);
            sized = true;
            auto e = std::make_unique<TEntry>();
            e->image = std::move(r);
            fresh->entries.push_back(std::move(e));
          },
          &declared);
      std::string().swap(bytes);  // the file buffer is not needed any more
    } catch (const ETableImageError& e) {
      DropStore();
      DbError("Error opening table: " + Cp1251ToUtf8(e.what()));
    }
  } else {
    if (fieldDefs_.empty()) {
      DropStore();
      DbError("Error creating table (no field descriptions)");
    }
    std::vector<TFieldDefBytes> defs;
    for (const TFieldDef& d : fieldDefs_) {
      TFieldDefBytes b;
      TEncodeResult er = Utf8ToCp1251(d.Name, b.name);
      if (!er.ok) {
        DropStore();
        DbError(EncodeErrorMessage(er, d.Name));
      }
      b.type = d.DataType;
      b.size = d.Size;
      defs.push_back(std::move(b));
    }
    try {
      std::string section = BuildFieldSection(defs);
      fresh->layout = LayoutFromSection(section, static_cast<std::int32_t>(defs.size()));
    } catch (const ETableImageError& e) {
      DropStore();
      DbError("Error creating table: " + Cp1251ToUtf8(e.what()));
    }
  }

  // An auto-increment table is kept in counter order; new records continue the count.
  for (std::size_t i = 0; i < fresh->layout.fields.size(); ++i) {
    if (fresh->layout.fields[i].type != ftAutoInc) continue;
    const std::uint32_t off = fresh->layout.fields[i].offset;
    std::stable_sort(fresh->entries.begin(), fresh->entries.end(),
                     [off](const auto& x, const auto& y) {
                       return Load<std::int32_t>(x->image.fixed.data() + off) <
                              Load<std::int32_t>(y->image.fixed.data() + off);
                     });
    fresh->autoIncField = static_cast<int>(i);
    fresh->autoIncCount = fresh->entries.empty()
                              ? 0
                              : Load<std::int32_t>(fresh->entries.back()->image.fixed.data() + off);
    break;
  }

  store_ = std::move(fresh);
  MakeFields();
  try {
    BuildKeys();
  } catch (...) {
    DropStore();
    throw;
  }
  BuildView();
  modified_ = false;
  SetState(dsBrowse);
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->ActiveChanged(*this);
  NotifyDataSetChanged();
  DoEvent(AfterOpen);
  if (!view_.empty()) DoEvent(AfterScroll);
}

void TMemTable::Close() {
  if (!Active()) return;
  buffer_ = TRecordImage();
  modified_ = false;
  fields_.clear();
  view_.clear();
  keys_.clear();
  cur_ = -1;
  eof_ = bof_ = true;
  SetState(dsInactive);
  for (TDataLink* l : std::vector<TDataLink*>(links_)) l->ActiveChanged(*this);
}

std::string TMemTable::TableComment() const {
  return store_ ? Cp1251ToUtf8(store_->layout.comment) : std::string();
}

void TMemTable::SetTableComment(std::string_view utf8) {
  if (!store_) DbError(kClosed);
  std::string bytes;
  TEncodeResult er = Utf8ToCp1251(utf8, bytes);
  if (!er.ok) DbError(EncodeErrorMessage(er, "comment"));
  if (bytes.size() > 32767) DbError("The table comment is longer than 32767 characters");
  store_->layout.comment = std::move(bytes);
}

int TMemTable::StoreCount() const {
  return store_ ? static_cast<int>(store_->entries.size()) : 0;
}

TRecordState TMemTable::StoreState(int index) const {
  return store_->entries.at(static_cast<std::size_t>(index))->state;
}

const TTableLayout* TMemTable::Layout() const {
  return store_ ? &store_->layout : nullptr;
}

namespace {
// "name.ext" -> "name.~d"; a name without an extension gets one.
std::string BackupName(const std::string& file) {
  std::size_t slash = file.rfind('/');
  std::size_t dot = file.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return file + ".~d";
  return file.substr(0, dot) + ".~d";
}
}  // namespace

void TMemTable::SaveToFile(const std::string& fileName) {
  if (!store_) return;
  try {
    if ((saveOptions_ & savAutoBackup) && FileExists(fileName)) {
      std::string old;
      if (!ReadWholeFile(fileName, old)) DbError("Cannot read file \"" + fileName + "\"");
      WriteFileSafely(BackupName(fileName), old);
    }
    if (saveOptions_ & savSortOnIndex) {
      std::vector<int> keys = KeyFields();
      if (!keys.empty()) {
        // Records that are gone (never written) go last, in their order.
        auto& entries = store_->entries;
        auto gone = [](const auto& e) { return e->state == rsDeleted || e->state == rsRemoved; };
        auto mid = std::stable_partition(entries.begin(), entries.end(),
                                         [&](const auto& e) { return !gone(e); });
        const std::size_t live = static_cast<std::size_t>(mid - entries.begin());
        std::vector<const TRecordImage*> recs;
        recs.reserve(live);
        for (std::size_t i = 0; i < live; ++i) recs.push_back(&entries[i]->image);
        std::vector<std::size_t> order =
            SortOrder(recs, keys, sortOptions_ & vsoCaseInsensitive, true);
        std::vector<std::unique_ptr<TEntry>> sorted;
        sorted.reserve(entries.size());
        for (std::size_t i : order) sorted.push_back(std::move(entries[i]));
        for (std::size_t i = live; i < entries.size(); ++i) sorted.push_back(std::move(entries[i]));
        entries.swap(sorted);
      }
    }
    auto writeAll = [&](TImageSink& sink) {
      TImageWriter w(store_->layout, sink);
      w.Begin();
      for (const auto& e : store_->entries)
        if (e->state != rsDeleted && e->state != rsRemoved) w.Record(e->image);
      w.End();
    };
    if (saveOptions_ & savSlowMode) {
      TSafeFileWriter out(fileName);
      writeAll(out);
      out.Commit();
    } else {
      // The whole image in memory first, sized from the records so it is not regrown.
      std::size_t estimate = 17 + store_->layout.section.size() + 3 + store_->layout.comment.size();
      const std::size_t nf = store_->layout.fields.size();
      for (const auto& e : store_->entries) {
        if (e->state == rsDeleted || e->state == rsRemoved) continue;
        estimate += nf + e->image.fixed.size();
        for (const auto& v : e->image.var)
          if (v) estimate += 4 + v->size();
      }
      std::string image;
      image.reserve(estimate);
      TStringSink sink(image);
      writeAll(sink);
      WriteFileSafely(fileName, image);
    }
  } catch (const EFileError& e) {
    DbError(e.what());
  }
}

}  // namespace store
