#pragma once
// One text field of a table file, in the order of a view sorted by that field, read without
// opening the table: only the field's texts are kept, so a file of millions of small records
// lists in memory proportional to its size.

#include <functional>
#include <string>
#include <string_view>

namespace store {

// Hands `write` the UTF-8 text of `field` of every record, each followed by "\n", in the order
// of a view with IndexFieldNames = field (byte order of the Windows-1251 text, the empty text
// first). Returns false, having written nothing, when the table has no string field of that
// name (letter case ignored): the caller then opens the table, which reports why. A file that
// cannot be read throws EDatabaseError as Open does.
bool WriteSortedTexts(const std::string& path, std::string_view field,
                      const std::function<void(std::string_view)>& write);

}  // namespace store
