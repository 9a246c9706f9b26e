#pragma once
// Whole-file writes that never leave a half-written file behind: the bytes go to a temporary
// file in the same folder, are flushed to disk, and the temporary file is renamed over the
// target. On any failure the temporary file is removed and the target is untouched. A target
// that is a symbolic link (or a chain of them) is followed: the file it names is replaced and
// the link stays as it was.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "store/table_image.h"

namespace store {

// A failure of the file layer; what() names the file and the system's reason.
class EFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fault injection for tests: when set, the hook is asked before every write(2) of a
// TSafeFileWriter with the running number of that write (from 1, counted over all writers
// since the hook was set); a non-zero return is taken as the errno of a failed write.
void SetWriteFaultHook(std::function<int(int writeNumber)> hook);

// A sink that writes into a temporary file next to `path`; Commit makes it `path`.
class TSafeFileWriter : public TImageSink {
 public:
  explicit TSafeFileWriter(std::string path);  // throws EFileError
  ~TSafeFileWriter() override;                  // removes the temporary file unless committed
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  void Write(const void* data, std::size_t size) override;
  void Patch(std::uint64_t offset, const void* data, std::size_t size) override;
  std::uint64_t Position() const override { return written_ + buffer_.size(); }
  void Commit();  // flush, fsync, rename over the target, fsync the folder

 private:
  void Flush();
  void WriteAll(const char* p, std::size_t n, std::uint64_t at);
  [[noreturn]] void Fail(const char* what, int err);

  std::string path_;    // as given: named in messages
  std::string target_;  // path_ with symbolic links followed: the file replaced
  std::string tmp_;
  int fd_ = -1;
  bool committed_ = false;
  std::uint64_t written_ = 0;
  std::string buffer_;
};

// Writes `bytes` as the whole new content of `path`.
void WriteFileSafely(const std::string& path, std::string_view bytes);

// Reads a whole file; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

bool FileExists(const std::string& path);

}  // namespace store
