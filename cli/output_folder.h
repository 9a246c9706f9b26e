#pragma once
// The folder a run writes its files into, written as a set: the files are made in a new folder
// beside it and put in its place at the end, so a reader sees the old set or the new one,
// never a mix, and a run that fails or is killed halfway leaves the old set as it was. While a
// run holds the folder, a lock file beside it (".NAME.lock", gone when the run ends) makes
// another run refuse the same folder instead of mixing its files into it.
//
// A folder that holds other files than a run's (the current folder, say) is not replaced: the
// new files are moved into it one by one, summary.json last.

#include <filesystem>
#include <string>

namespace cli {

class OutputFolder {
 public:
  // Takes the folder; throws std::runtime_error when another run holds it, when it is not a
  // folder, or when the new folder cannot be made. Leftovers of a run that was killed there
  // are removed.
  explicit OutputFolder(const std::filesystem::path& dir);
  // Without Commit: the new files are removed and the folder is left as it was.
  ~OutputFolder();
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  // Where the files are written until Commit.
  const std::filesystem::path& Staging() const { return staging_; }
  // The folder as the user named it.
  const std::filesystem::path& Dir() const { return dir_; }
  // Puts the new files in the folder's place. Throws std::runtime_error when it cannot.
  void Commit();

 private:
  std::filesystem::path dir_;   // as given
  std::filesystem::path path_;  // absolute
  std::filesystem::path lock_;
  std::filesystem::path staging_;
  int lockFd_ = -1;
  bool committed_ = false;
};

// The names of the files a run writes.
bool IsRunOutputName(const std::string& name);

}  // namespace cli
