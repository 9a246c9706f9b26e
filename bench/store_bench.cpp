// Open and SaveToFile of a table of 100,000 problems, each with a 500-byte phase sheet.
// Besides the time, each benchmark reports the memory the operation needed at its peak
// (the process's peak resident set, reset before the operation, minus the resident set
// before it) and that peak relative to the file size.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

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

void ResetPeak() {
  std::ofstream f("/proc/self/clear_refs");
  f << "5";  // resets the peak resident set to the current one
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
    t.FieldDefs() = {{"ProblemName", store::ftString, 30}, {"Functs", store::ftMemo, 0},
                     {"Yparameter", store::ftString, 20},  {"Ymin", store::ftFloat, 0},
                     {"Ymax", store::ftFloat, 0},          {"Zparameter", store::ftString, 10},
                     {"Zvalue", store::ftFloat, 0},        {"XPoints", store::ftInteger, 0},
                     {"YPoints", store::ftInteger, 0},     {"ShowMosaicDiagram", store::ftBoolean, 0},
                     {"ShowChart", store::ftBoolean, 0}};
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

void Report(benchmark::State& state, long baseKb) {
  const double fileMb = FileSize(kFile) / 1048576.0;
  const double peakMb = (StatusKb("VmHWM:") - baseKb) / 1024.0;
  state.counters["file_MB"] = fileMb;
  state.counters["peak_extra_MB"] = peakMb;
  state.counters["peak_over_file"] = peakMb / fileMb;
}

void BM_Open(benchmark::State& state) {
  MakeFile();
  long base = StatusKb("VmRSS:");
  ResetPeak();
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
  Report(state, base);
}
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SaveToFile(benchmark::State& state) {
  MakeFile();
  store::TMemTable t;
  t.SetTableName(kFile);
  t.SetIndexFieldNames("ProblemName");
  t.Open();
  long base = StatusKb("VmRSS:");
  ResetPeak();
  for (auto _ : state) t.SaveToFile(kOut);
  Report(state, base);
  std::remove(kOut.c_str());
}
BENCHMARK(BM_SaveToFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
