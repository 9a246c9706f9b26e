// Any bytes go to the table image reader. What it accepts is
//  - written, read again and written again: the second read must succeed and both writes must
//    be equal, with the same field section, comment and number of records;
//  - opened as a file by the table engine, ordered by its first field that can be a key, every
//    value read through the field objects, and saved: the saved file must be the image the
//    writer makes of the records (tables without an auto-increment field keep file order).
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "store/cp1251.h"
#include "store/memtable.h"
#include "store/table_image.h"

namespace {

const std::string& Dir() {
  static const std::string dir = [] {
    char tmpl[] = "/dev/shm/brelona-fuzz-XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (!d) std::abort();
    return std::string(d);
  }();
  return dir;
}

void Exercise(std::string_view bytes, const store::TTableImage& image, const std::string& written) {
  const std::string in = Dir() + "/in.d", out = Dir() + "/out.d";
  {
    std::ofstream f(in, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  store::TMemTable t;
  t.SetTableName(in);
  bool autoInc = false;
  for (const store::TMemField& f : image.layout.fields) {
    if (f.type == store::ftAutoInc) autoInc = true;
  }
  auto folded = [](std::string s) {
    for (char& c : s) c = static_cast<char>(store::Cp1251Lower(static_cast<unsigned char>(c)));
    return s;
  };
  const auto& fields = image.layout.fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const store::TMemField& f = fields[i];
    if (store::IsBlobType(f.type)) continue;
    if (f.name.find_first_of(";\t") != std::string::npos) continue;
    bool shadowed = false;  // lookups by name find the first field of that name
    for (std::size_t j = 0; j < i; ++j) shadowed |= folded(fields[j].name) == folded(f.name);
    if (shadowed) continue;
    t.SetIndexFieldNames(store::Cp1251ToUtf8(f.name));
    break;
  }
  try {
    t.Open();
  } catch (const store::EDatabaseError&) {
    std::abort();  // the reader accepted the image, so the engine must open it
  }
  if (t.RecordCount() != static_cast<int>(image.records.size())) std::abort();
  std::size_t chars = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    for (int i = 0; i < t.FieldCount(); ++i) {
      store::TField& f = t.Fields(i);
      chars += f.AsString().size() + f.DisplayText().size() + (f.IsNull() ? 1 : 0);
      if (f.IsNumeric()) chars += static_cast<std::size_t>(f.AsFloat() != 0);
    }
  }
  t.SaveToFile(out);
  std::ifstream f(out, std::ios::binary);
  std::string saved((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  if (!autoInc && saved != written) std::abort();
  if (chars == static_cast<std::size_t>(-1)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  store::TTableImage first;
  try {
    first = store::ReadTableImage(bytes);
  } catch (const store::ETableImageError&) {
    return 0;
  }
  const std::string written = store::WriteTableImage(first.layout, first.records);
  store::TTableImage second;
  try {
    second = store::ReadTableImage(written);
  } catch (const store::ETableImageError&) {
    std::abort();  // the writer produced an image its own reader refuses
  }
  if (second.layout.section != first.layout.section) std::abort();
  if (second.layout.comment != first.layout.comment) std::abort();
  if (second.records.size() != first.records.size()) std::abort();
  if (store::WriteTableImage(second.layout, second.records) != written) std::abort();
  Exercise(bytes, first, written);
  return 0;
}
