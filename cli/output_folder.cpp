#include "cli/output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace cli {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& text) {
  throw std::runtime_error(text);
}

std::string Why(int err) {
  return std::strerror(err);
}

// Only a folder of nothing but a run's files is replaced whole: anything else in it stays.
bool HoldsOnlyRunOutputs(const fs::path& dir) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec)) {
    if (!e.is_regular_file(ec) || !IsRunOutputName(e.path().filename().string())) return false;
  }
  return !ec;
}

// A new folder "<parent>/.<name>.<kind>-<process>-<n>", made as an ordinary folder is (the
// user's umask applies); empty when it cannot be made (errno says why).
fs::path NewFolder(const fs::path& parent, const std::string& name, const char* kind) {
  for (int n = 0; n < 100; ++n) {
    const fs::path folder = parent / ("." + name + "." + kind + "-" + std::to_string(::getpid()) +
                                      "-" + std::to_string(n));
    if (::mkdir(folder.c_str(), 0777) == 0) return folder;
    if (errno != EEXIST) break;
  }
  return {};
}

}  // namespace

bool IsRunOutputName(const std::string& name) {
  static const char* const kNames[] = {
      "summary.json",   "cells.csv",  "points.csv",  "nodes.csv",   "special.txt",
      "boundaries.csv", "mosaic.png", "diagram.png", "diagram.svg", "diagram.pdf"};
  return std::any_of(std::begin(kNames), std::end(kNames),
                     [&](const char* n) { return name == n; });
}

OutputFolder::OutputFolder(const fs::path& dir) : dir_(dir) {
  path_ = fs::absolute(dir).lexically_normal();
  if (!path_.has_filename()) path_ = path_.parent_path();  // "out/" is "out"
  const fs::path parent = path_.parent_path();
  const std::string name = path_.filename().string();
  if (name.empty() || parent == path_) Fail("cannot write a run's files into " + dir.string());
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) Fail("cannot make the folder " + parent.string() + ": " + ec.message());
  if (fs::exists(path_, ec) && !fs::is_directory(path_, ec))
    Fail(dir.string() + " is not a folder");

  lock_ = parent / ("." + name + ".lock");
  for (;;) {
    lockFd_ = ::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd_ < 0) Fail("cannot make " + lock_.string() + ": " + Why(errno));
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      ::close(lockFd_);
      lockFd_ = -1;
      if (err == EWOULDBLOCK)
        Fail(dir.string() +
             " is being written by another run: wait for it to end or give "
             "another --out");
      Fail("cannot lock " + lock_.string() + ": " + Why(err));
    }
    // The run before may have removed the lock file after this one opened it: then this lock
    // guards nothing, and it is taken again on the file that is there now.
    struct stat held {
    }, now{};
    if (::fstat(lockFd_, &held) == 0 && ::stat(lock_.c_str(), &now) == 0 &&
        held.st_ino == now.st_ino && held.st_dev == now.st_dev) {
      break;
    }
    ::close(lockFd_);
    lockFd_ = -1;
  }

  // What a killed run left beside the folder; no run holds it now.
  const std::string leftover = "." + name + ".";
  for (const fs::directory_entry& e : fs::directory_iterator(parent, ec)) {
    const std::string n = e.path().filename().string();
    if (n.rfind(leftover + "new-", 0) == 0 || n.rfind(leftover + "old-", 0) == 0)
      fs::remove_all(e.path(), ec);
  }
  staging_ = NewFolder(parent, name, "new");
  if (staging_.empty()) {
    const int err = errno;
    ::unlink(lock_.c_str());
    ::close(lockFd_);
    Fail("cannot make a folder in " + parent.string() + ": " + Why(err));
  }
}

OutputFolder::~OutputFolder() {
  std::error_code ec;
  if (!staging_.empty()) fs::remove_all(staging_, ec);
  // Removed while still held, so no other run takes a lock on a file about to go.
  ::unlink(lock_.c_str());
  ::close(lockFd_);
}

void OutputFolder::Commit() {
  std::error_code ec;
  if (!fs::exists(path_, ec)) {
    if (::rename(staging_.c_str(), path_.c_str()) != 0)
      Fail("cannot put the files in " + dir_.string() + ": " + Why(errno));
    staging_.clear();
    return;
  }
  if (HoldsOnlyRunOutputs(path_) && !fs::equivalent(path_, fs::current_path(ec), ec)) {
    // The new set and the old change places at once; the old one goes with the staging name.
    if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, path_.c_str(), RENAME_EXCHANGE) == 0)
      return;
    // A file system without that: the old set is moved aside first.
    const fs::path old = NewFolder(path_.parent_path(), path_.filename().string(), "old");
    if (old.empty() || ::rename(path_.c_str(), old.c_str()) != 0)
      Fail("cannot put the files in " + dir_.string() + ": " + Why(errno));
    if (::rename(staging_.c_str(), path_.c_str()) != 0) {
      const int err = errno;
      ::rename(old.c_str(), path_.c_str());
      Fail("cannot put the files in " + dir_.string() + ": " + Why(err));
    }
    staging_ = old;
    return;
  }
  // A folder with other files in it: the new files go in one by one, summary.json last, so
  // that it marks a finished set.
  std::vector<fs::path> files;
  for (const fs::directory_entry& e : fs::directory_iterator(staging_, ec))
    files.push_back(e.path());
  std::stable_partition(files.begin(), files.end(),
                        [](const fs::path& f) { return f.filename() != "summary.json"; });
  for (const fs::path& f : files) {
    if (::rename(f.c_str(), (path_ / f.filename()).c_str()) != 0)
      Fail("cannot put " + f.filename().string() + " in " + dir_.string() + ": " + Why(errno));
  }
}

}  // namespace cli
