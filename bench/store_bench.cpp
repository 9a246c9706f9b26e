// Open and SaveToFile of a table of 100,000 problems, each with a 500-byte phase sheet.
// `store_bench` times them; `store_bench --memory` reports their peak memory against the file
// size (each in a fresh child process, so that nothing else is counted).
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "problem/problem_table.h"
#include "store/memtable.h"
#include "store/sorted_list.h"
#include "store/table_image.h"
#include "store/table_json.h"

namespace {

const int kRecords = 100000;
const std::string kFile = "/tmp/brelona_store_bench.d";
const std::string kOut = "/tmp/brelona_store_bench_out.d";

long StatusKb(const char* key) {
  std::ifstream f("/proc/self/status");
  std::string line;
  while (std::getline(f, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return 0;
}

long FileSize(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  return static_cast<long>(f.tellg());
}

// The table is made in a child process so that its memory is not counted by the parent.
void MakeFile() {
  pid_t pid = fork();
  if (pid == 0) {
    store::TMemTable t;
    t.FieldDefs() = problem::ProblemFieldDefs();
    t.Open();
    std::string sheet;
    while (sheet.size() < 500) sheet += "Liq: 8000*x*(1-x) + R*T*Sid\r\n";
    sheet.resize(500);
    for (int i = 0; i < kRecords; ++i) {
      t.Insert();
      t.FieldByName("ProblemName").SetAsString("Problem " + std::to_string((i * 7919) % kRecords));
      t.FieldByName("Functs").SetAsString(sheet);
      t.FieldByName("Yparameter").SetAsString("Temperature, K");
      t.FieldByName("Ymin").SetAsFloat(300);
      t.FieldByName("Ymax").SetAsFloat(1800 + i);
      t.FieldByName("Zparameter").SetAsString("P, bar");
      t.FieldByName("Zvalue").SetAsFloat(1);
      t.FieldByName("XPoints").SetAsInteger(201);
      t.FieldByName("YPoints").SetAsInteger(101);
      t.FieldByName("ShowMosaicDiagram").SetAsBoolean(true);
      t.Post();
    }
    t.SaveToFile(kFile);
    _exit(0);
  }
  int st;
  waitpid(pid, &st, 0);
}

void BM_Open(benchmark::State& state) {
  MakeFile();
  for (auto _ : state) {
    auto t = std::make_unique<store::TMemTable>();
    t->SetTableName(kFile);
    t->SetIndexFieldNames("ProblemName");
    t->Open();
    benchmark::DoNotOptimize(t->RecordCount());
    state.PauseTiming();
    t.reset();  // freeing the table is not part of the open
    state.ResumeTiming();
  }
  state.counters["file_MB"] = FileSize(kFile) / 1048576.0;
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveToFile(benchmark::State& state) {
  MakeFile();
  store::TMemTable t;
  t.SetTableName(kFile);
  t.SetIndexFieldNames("ProblemName");
  t.Open();
  for (auto _ : state) t.SaveToFile(kOut);
  state.counters["file_MB"] = FileSize(kFile) / 1048576.0;
  std::remove(kOut.c_str());
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Hostile tables, written byte by byte: `records` records of one empty field each (one byte per
// record), or one record over `fields` one-character fields.
const std::string kHostile = "/tmp/brelona_store_bench_hostile.d";

void MakeHostileFile(int records, int fields) {
  std::vector<store::TFieldDefBytes> defs;
  for (int i = 0; i < fields; ++i)
    defs.push_back(
        {fields == 1 ? std::string("ProblemName") : "F" + std::to_string(i), store::ftString, 1});
  const std::string section = store::BuildFieldSection(defs);
  std::string body = fields == 1 ? std::string(static_cast<std::size_t>(records), '\0')
                                 : std::string(static_cast<std::size_t>(fields), '\1') +
                                       std::string(static_cast<std::size_t>(fields), 'a');
  std::string image(4, '\0');
  image += 'S';
  for (std::int32_t v : {records, fields, static_cast<std::int32_t>(section.size())})
    image.append(reinterpret_cast<const char*>(&v), 4);
  image += section + body;
  const auto len = static_cast<std::uint32_t>(image.size());
  std::memcpy(image.data(), &len, 4);
  std::ofstream(kHostile, std::ios::binary)
      .write(image.data(), static_cast<std::streamsize>(image.size()));
}

// db-export of N one-byte records and of one record of N fields: both should grow linearly.
void BM_ExportOneByteRecords(benchmark::State& state) {
  MakeHostileFile(static_cast<int>(state.range(0)), 1);
  for (auto _ : state)
    store::ExportTableJson(kHostile,
                           [](std::string_view s) { benchmark::DoNotOptimize(s.data()); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ExportOneByteRecords)
    ->Arg(1 << 20)
    ->Arg(1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

void BM_ExportWideRecord(benchmark::State& state) {
  MakeHostileFile(1, static_cast<int>(state.range(0)));
  for (auto _ : state)
    store::ExportTableJson(kHostile,
                           [](std::string_view s) { benchmark::DoNotOptimize(s.data()); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ExportWideRecord)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->Complexity();

void BM_ListOneByteRecords(benchmark::State& state) {
  MakeHostileFile(static_cast<int>(state.range(0)), 1);
  for (auto _ : state)
    store::WriteSortedTexts(kHostile, "ProblemName",
                            [](std::string_view s) { benchmark::DoNotOptimize(s.data()); });
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ListOneByteRecords)
    ->Arg(1 << 20)
    ->Arg(1 << 22)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// Peak memory of one open, and of one open followed by one save, each in a fresh child of a
// small process: the peak resident set (VmHWM) of the child against the file size.
int MemoryReport() {
  MakeFile();
  const double fileMb = FileSize(kFile) / 1048576.0;
  std::printf("file: %.1f MiB, %d records\n", fileMb, kRecords);
  for (int save = 0; save < 2; ++save) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      const long startKb = StatusKb("VmRSS:");
      store::TMemTable t;
      t.SetTableName(kFile);
      t.SetIndexFieldNames("ProblemName");
      t.Open();
      const long openKb = StatusKb("VmRSS:");
      if (save) t.SaveToFile(kOut);
      const double peakMb = StatusKb("VmHWM:") / 1024.0;
      std::printf(
          "%s: process peak %.1f MiB = %.2f x file (at start %.1f MiB, table held %.1f MiB)\n",
          save ? "open + save" : "open", peakMb, peakMb / fileMb, startKb / 1024.0,
          (openKb - startKb) / 1024.0);
      std::fflush(stdout);
      _exit(0);
    }
    int st;
    waitpid(pid, &st, 0);
  }
  std::remove(kOut.c_str());

  // An 8 MiB table of one-byte records: listed, exported, and opened as a table for reference.
  MakeHostileFile(8 << 20, 1);
  const double hostileMb = FileSize(kHostile) / 1048576.0;
  const char* what[] = {"list", "export", "open"};
  for (int k = 0; k < 3; ++k) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
      const auto sink = [](std::string_view) {};
      if (k == 0) store::WriteSortedTexts(kHostile, "ProblemName", sink);
      if (k == 1) store::ExportTableJson(kHostile, sink);
      if (k == 2) {
        store::TMemTable t;
        t.SetTableName(kHostile);
        t.SetIndexFieldNames("ProblemName");
        t.Open();
      }
      const double peakMb = StatusKb("VmHWM:") / 1024.0;
      std::printf("one-byte records, %s: peak %.1f MiB = %.1f x file (%.1f MiB)\n", what[k], peakMb,
                  peakMb / hostileMb, hostileMb);
      std::fflush(stdout);
      _exit(0);
    }
    int st;
    waitpid(pid, &st, 0);
  }
  std::remove(kHostile.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--memory") return MemoryReport();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
