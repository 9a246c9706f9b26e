#include "store/safe_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <utility>

namespace store {
namespace {

std::function<int(int)> g_faultHook;
int g_writeCount = 0;

constexpr std::size_t kChunk = 1 << 20;

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a save of `path` must replace: a symbolic link is followed (a chain of them too, a
// relative target taken from the link's own folder), so that the save writes the file the
// link names and the link stays a link. The target need not exist yet.
bool FollowLinks(std::string& path, int& err) {
  for (int hops = 0;; ++hops) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    if (hops == 40) {
      err = ELOOP;
      return false;
    }
    std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) {
      err = errno;
      return false;
    }
    if (static_cast<std::size_t>(n) == target.size()) {  // the link changed under us
      err = ENAMETOOLONG;
      return false;
    }
    target.resize(static_cast<std::size_t>(n));
    if (target.empty()) {
      err = ENOENT;
      return false;
    }
    const std::size_t slash = path.rfind('/');
    path = target[0] == '/' || slash == std::string::npos ? target
                                                          : path.substr(0, slash + 1) + target;
  }
}

}  // namespace

void SetWriteFaultHook(std::function<int(int)> hook) {
  g_faultHook = std::move(hook);
  g_writeCount = 0;
}

TSafeFileWriter::TSafeFileWriter(std::string path) : path_(std::move(path)), target_(path_) {
  if (int err = 0; !FollowLinks(target_, err)) Fail("Cannot create file", err);
  std::size_t slash = target_.rfind('/');
  std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string tmpl = (slash == std::string::npos ? std::string() : target_.substr(0, slash + 1)) +
                     "." + base + ".tmp.XXXXXX";
  fd_ = ::mkstemp(tmpl.data());
  if (fd_ < 0) Fail("Cannot create file", errno);
  tmp_ = tmpl;
  // The new file gets the old file's permissions, or the usual ones for a new file.
  struct stat st;
  mode_t mode;
  if (::stat(target_.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
  buffer_.reserve(kChunk);
}

TSafeFileWriter::~TSafeFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !tmp_.empty()) ::unlink(tmp_.c_str());
}

void TSafeFileWriter::Fail(const char* what, int err) {
  throw EFileError(std::string(what) + " \"" + path_ + "\". " + std::strerror(err));
}

void TSafeFileWriter::WriteAll(const char* p, std::size_t n, std::uint64_t at) {
  while (n > 0) {
    if (g_faultHook) {
      int err = g_faultHook(++g_writeCount);
      if (err != 0) Fail("Cannot write file", err);
    }
    ssize_t w = ::pwrite(fd_, p, std::min(n, kChunk), static_cast<off_t>(at));
    if (w < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", errno);
    }
    if (w == 0) Fail("Cannot write file", ENOSPC);
    p += w;
    n -= static_cast<std::size_t>(w);
    at += static_cast<std::uint64_t>(w);
  }
}

void TSafeFileWriter::Flush() {
  if (buffer_.empty()) return;
  WriteAll(buffer_.data(), buffer_.size(), written_);
  written_ += buffer_.size();
  buffer_.clear();
}

void TSafeFileWriter::Write(const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  if (buffer_.size() + size > kChunk) Flush();
  if (size >= kChunk) {
    WriteAll(p, size, written_);
    written_ += size;
    return;
  }
  buffer_.append(p, size);
}

void TSafeFileWriter::Patch(std::uint64_t offset, const void* data, std::size_t size) {
  if (offset >= written_) {
    std::memcpy(buffer_.data() + (offset - written_), data, size);
    return;
  }
  Flush();
  WriteAll(static_cast<const char*>(data), size, offset);
}

void TSafeFileWriter::Commit() {
  Flush();
  if (::fsync(fd_) != 0) Fail("Cannot write file", errno);
  if (::close(fd_) != 0) {
    fd_ = -1;
    Fail("Cannot write file", errno);
  }
  fd_ = -1;
  if (::rename(tmp_.c_str(), target_.c_str()) != 0) Fail("Cannot create file", errno);
  committed_ = true;
  int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);  // best effort: the rename itself has already happened
    ::close(dir);
  }
}

void WriteFileSafely(const std::string& path, std::string_view bytes) {
  TSafeFileWriter w(path);
  w.Write(bytes.data(), bytes.size());
  w.Commit();
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  out.clear();
  // Room for the file and a little growth, so that finding the end costs no reallocation.
  out.reserve(static_cast<std::size_t>(st.st_size) + 65536);
  out.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (true) {
    if (got == out.size()) out.resize(out.size() + 65536);  // the file may have grown
    ssize_t r = ::read(fd, out.data() + got, out.size() - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    if (r == 0) break;
    got += static_cast<std::size_t>(r);
  }
  out.resize(got);
  ::close(fd);
  return true;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace store
