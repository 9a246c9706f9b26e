#pragma once
// Little-endian value access shared by the table image and the in-memory record images, and the
// length limits of the long values both must respect.

#include <cstdint>
#include <cstring>
#include <string>

namespace store {

// A long string holds at most this many bytes.
inline constexpr std::int32_t kMaxLongString = 8191;
// Memos, formatted memos, objects and pictures hold fewer bytes than this.
inline constexpr std::int32_t kBlobLengthLimit = 1 << 30;

template <typename T>
T Load(const char* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Store(char* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

template <typename T>
void Append(std::string& out, T v) {
  char b[sizeof v];
  std::memcpy(b, &v, sizeof v);
  out.append(b, sizeof v);
}

}  // namespace store
