#include "store/sorted_list.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "store/cp1251.h"
#include "store/field_reader.h"
#include "store/memtable.h"
#include "store/safe_file.h"
#include "store/table_image.h"

namespace store {

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Cp1251Lower(static_cast<unsigned char>(a[i])) !=
        Cp1251Lower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

bool WriteSortedTexts(const std::string& path, std::string_view field,
                      const std::function<void(std::string_view)>& write) {
  std::string bytes;
  if (!FileExists(path) || !ReadWholeFile(path, bytes))
    throw EDatabaseError("Error opening file " + path);
  std::string name;
  if (!Utf8ToCp1251(field, name).ok) return false;

  // All texts one after the other; text i runs from start[i] to start[i + 1].
  std::string texts;
  std::vector<std::uint64_t> start;
  const TMemField* key = nullptr;  // valid while the records are read
  bool found = false;
  try {
    ReadTableImage(
        bytes,
        [&](TRecordImage&& r) {
          if (!key) return;
          start.push_back(texts.size());
          texts += TFieldReader{*key, &r}.Bytes();
        },
        nullptr,
        [&](const TTableLayout& layout) {
          for (const TMemField& f : layout.fields) {
            if (!SameNameIgnoringCase(f.name, name)) continue;
            if (f.type == ftString) key = &f;
            found = key != nullptr;
            break;  // the first field of that name is the one the table finds
          }
        });
  } catch (const ETableImageError& e) {
    throw EDatabaseError("Error opening table: " + Cp1251ToUtf8(e.what()));
  }
  if (!found) return false;
  std::string().swap(bytes);
  start.push_back(texts.size());
  const auto text = [&](std::uint32_t i) {
    return std::string_view(texts).substr(start[i], start[i + 1] - start[i]);
  };
  // Byte order of the whole text is the view's order for a single text key: an empty text
  // first, then unsigned bytes, then the shorter.
  std::vector<std::uint32_t> order(start.size() - 1);
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::uint32_t a, std::uint32_t b) { return text(a) < text(b); });
  std::string out;
  for (std::uint32_t i : order) {
    out += Cp1251ToUtf8(text(i));
    out += '\n';
    if (out.size() >= (1u << 16)) {
      write(out);
      out.clear();
    }
  }
  if (!out.empty()) write(out);
  return true;
}

}  // namespace store
