#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "problem_table.h"
#include "store/memtable.h"
#include "store/safe_file.h"
#include "store_test_util.h"

namespace store {
namespace {

using store_test::MakeProblemFile;
using store_test::ReadFile;
using store_test::TempDir;

struct HookGuard {
  ~HookGuard() { SetWriteFaultHook(nullptr); }
};

// A table large enough that the fast and the slow save need several writes.
void FillTable(TMemTable& t, int records) {
  t.FieldDefs() = problem::ProblemFieldDefs();
  t.Open();
  for (int i = 0; i < records; ++i) {
    t.Insert();
    t.FieldByName("ProblemName").SetAsString("p" + std::to_string(i));
    t.FieldByName("Functs").SetAsString(std::string(3000, 'x'));
    t.Post();
  }
}

TEST(SafeSave, AFailedWriteLeavesTheOldFileAsItWas) {
  HookGuard guard;
  TempDir dir;
  const std::string path = dir.File("Problems.d");
  MakeProblemFile(path, {"old"});
  const std::string old = ReadFile(path);
  TMemTable t;
  FillTable(t, 1000);  // about 3 MB: several 1 MB writes

  for (TSaveOptions opts : {0u, static_cast<unsigned>(savSlowMode)}) {
    // Count the writes of a whole save, then fail each one of them in turn.
    int writes = 0;
    SetWriteFaultHook([&writes](int n) {
      writes = n;
      return 0;
    });
    t.SetSaveOptions(opts);
    t.SaveToFile(dir.File("count.d"));
    std::filesystem::remove(dir.File("count.d"));
    ASSERT_GE(writes, 3);
    for (int failAt = 1; failAt <= writes; ++failAt) {
      SCOPED_TRACE(std::to_string(opts) + " write " + std::to_string(failAt));
      SetWriteFaultHook([failAt](int n) { return n == failAt ? ENOSPC : 0; });
      t.SetSaveOptions(opts);
      try {
        t.SaveToFile(path);
        ADD_FAILURE() << "saved";
      } catch (const EDatabaseError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot write file \"" + path + "\". No space left on device");
      }
      EXPECT_TRUE(ReadFile(path) == old) << "old file changed";
      EXPECT_EQ(dir.EntryCount(), 1);  // no temporary file left behind
    }
  }
  // Without faults both modes replace the file.
  SetWriteFaultHook(nullptr);
  t.SaveToFile(path);
  const std::string fresh = ReadFile(path);
  EXPECT_TRUE(fresh != old);
  TMemTable back;
  back.SetTableName(path);
  back.Open();
  EXPECT_EQ(back.RecordCount(), 1000);
}

TEST(SafeSave, MissingFolderIsReported) {
  TempDir dir;
  TMemTable t;
  FillTable(t, 1);
  const std::string path = dir.File("no/such/folder/x.d");
  try {
    t.SaveToFile(path);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + path + "\". No such file or directory");
  }
}

TEST(SafeSave, AFolderInTheWayIsReportedAndKept) {
  TempDir dir;
  const std::string path = dir.File("taken.d");
  std::filesystem::create_directory(path);
  TMemTable t;
  FillTable(t, 1);
  EXPECT_THROW(t.SaveToFile(path), EDatabaseError);
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_EQ(dir.EntryCount(), 1);
}

TEST(SafeSave, FailedBackupLeavesBothFiles) {
  HookGuard guard;
  TempDir dir;
  const std::string path = dir.File("Problems.d");
  MakeProblemFile(path, {"old"});
  const std::string old = ReadFile(path);
  TMemTable t;
  FillTable(t, 3);
  t.SetSaveOptions(savAutoBackup);
  SetWriteFaultHook([](int n) { return n == 1 ? EIO : 0; });  // the backup's write
  EXPECT_THROW(t.SaveToFile(path), EDatabaseError);
  EXPECT_TRUE(ReadFile(path) == old) << "old file changed";
  EXPECT_FALSE(std::filesystem::exists(dir.File("Problems.~d")));
}

TEST(SafeSave, PermissionsOfTheReplacedFileAreKept) {
  TempDir dir;
  const std::string path = dir.File("Problems.d");
  MakeProblemFile(path, {"old"});
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  TMemTable t;
  FillTable(t, 1);
  t.SaveToFile(path);
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// A save through a symbolic link replaces the file at the end of the chain; every link stays.
TEST(SafeSave, SymbolicLinksAreFollowedToTheirFile) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link -> target, as stored
    std::string file;                                        // where the table must land
  };
  const std::vector<Case> cases = {
      {"relative", {{"link.d", "data/real.d"}}, "data/real.d"},
      {"chain", {{"link.d", "data/mid.d"}, {"data/mid.d", "real.d"}}, "data/real.d"},
      {"absolute", {{"link.d", "@/data/real.d"}}, "data/real.d"},
      {"dangling", {{"link.d", "data/new.d"}}, "data/new.d"},
  };
  TMemTable t;
  FillTable(t, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    fs::create_directory(dir.File("data"));
    MakeProblemFile(dir.File("data/real.d"), {"old"});
    ASSERT_EQ(::chmod(dir.File("data/real.d").c_str(), 0640), 0);
    for (const auto& [link, target] : c.links)
      fs::create_symlink(target[0] == '@' ? dir.Path() + target.substr(1) : target, dir.File(link));
    t.SaveToFile(dir.File("link.d"));
    for (const auto& [link, target] : c.links) EXPECT_TRUE(fs::is_symlink(dir.File(link))) << link;
    TMemTable back;
    back.SetTableName(dir.File(c.file));
    back.Open();
    EXPECT_EQ(back.RecordCount(), 2);
    if (c.file == "data/real.d") {
      EXPECT_EQ(fs::status(dir.File(c.file)).permissions() & fs::perms::all,
                fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    }
    EXPECT_EQ(dir.EntryCount(), 2);  // link.d and data/: no temporary file left
  }
  TempDir dir;
  fs::create_symlink("b.d", dir.File("a.d"));
  fs::create_symlink("a.d", dir.File("b.d"));
  try {
    t.SaveToFile(dir.File("a.d"));
    ADD_FAILURE() << "a loop of links was saved through";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + dir.File("a.d") + "\". Too many levels of symbolic links");
  }
  EXPECT_TRUE(fs::is_symlink(dir.File("a.d")));
}

}  // namespace
}  // namespace store
