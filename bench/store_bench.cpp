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

#include "problem/problem_table.h"
#include "store/memtable.h"

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
      std::printf("%s: process peak %.1f MiB = %.2f x file (at start %.1f MiB, table held %.1f MiB)\n",
                  save ? "open + save" : "open", peakMb, peakMb / fileMb, startKb / 1024.0,
                  (openKb - startKb) / 1024.0);
      std::fflush(stdout);
      _exit(0);
    }
    int st;
    waitpid(pid, &st, 0);
  }
  std::remove(kOut.c_str());
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
