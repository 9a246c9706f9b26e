#pragma once
// Colour values as the program stores them (settings file, chart appearance): 32-bit integers
// with red in the lowest byte, then green, then blue.

#include <QColor>
#include <cstdint>

namespace app {

inline QColor ColorFromValue(std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                static_cast<int>((v >> 16) & 0xFF));
}

inline std::int32_t ValueFromColor(const QColor& c) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(c.red()) |
                                   (static_cast<std::uint32_t>(c.green()) << 8) |
                                   (static_cast<std::uint32_t>(c.blue()) << 16));
}

}  // namespace app
