#pragma once
// Helpers for the store tests: hand-built table images and scratch folders.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace store_test {

// Appends little-endian values and raw bytes; Image() assembles a whole table image.
struct Bytes {
  std::string b;
  Bytes& u8(unsigned v) {
    b.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& i16(std::int16_t v) { return raw(&v, 2); }
  Bytes& i32(std::int32_t v) { return raw(&v, 4); }
  Bytes& f64(double v) { return raw(&v, 8); }
  Bytes& str(const std::string& s) {
    b += s;
    return *this;
  }
  Bytes& raw(const void* p, std::size_t n) {
    b.append(static_cast<const char*>(p), n);
    return *this;
  }
};

// Header + section (+ optional comment) + record bytes. `length` -1 fills in the true length.
inline std::string Image(std::int32_t count, std::int32_t nfields, const std::string& section,
                         const std::string& rest, std::int64_t length = -1, char kind = 'S') {
  Bytes h;
  std::uint32_t len = static_cast<std::uint32_t>(length < 0 ? 17 + section.size() + rest.size()
                                                            : length);
  h.raw(&len, 4).u8(static_cast<unsigned char>(kind)).i32(count).i32(nfields);
  h.i32(static_cast<std::int32_t>(section.size())).str(section).str(rest);
  return h.b;
}

class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/brelona-store-XXXXXX";
    path_ = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }
  int EntryCount() const {
    int n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(path_)) ++n;
    return n;
  }

 private:
  std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace store_test
