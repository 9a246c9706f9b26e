// Any bytes go to the table image reader. What it accepts is written, read again and written
// again: the second read must succeed and both writes must be equal, with the same field
// section, comment and number of records.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "store/table_image.h"

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
  return 0;
}
