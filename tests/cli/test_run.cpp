// brelona-calc run, driven as a process on a database built here.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "problem/problem_table.h"
#include "store/memtable.h"

namespace {

namespace fs = std::filesystem;

struct Problem {
  std::string name, functs, y;
  double ymin, ymax, z;
  int xpoints, ypoints;
};

const Problem kLens{"Lens",
                    "GL=(1-X)*10*(1200-T)+X*10*(800-T)-T*Sid\nGS=-T*Sid",
                    "Temperature, K", 700, 1300, 1, 20, 12};
const Problem kEutectic{"Eutectic, simple",
                        "GL=(1-X)*10*(1000-T)+X*10*(800-T)-T*Sid\nGS=20000*X*(1-X)-T*Sid",
                        "Temperature, K", 300, 1100, 1, 40, 40};
const Problem kBadRange{"Bad range", "GL=1\nGS=2", "Temperature, K", 600, 400, 1, 10, 10};
const Problem kBadLevel{"Bad level", "GL=1/(T-600)\nGS=0", "Temperature, K", 400, 800, 1, 4, 4};

void MakeDatabase(const fs::path& path, const std::vector<Problem>& problems) {
  using namespace store;
  TMemTable t;
  t.FieldDefs() = problem::ProblemFieldDefs();
  t.Open();
  for (const Problem& p : problems) {
    t.Insert();
    t.FieldByName("ProblemName").SetAsString(p.name);
    t.FieldByName("Functs").SetAsString(p.functs);
    t.FieldByName("Yparameter").SetAsString(p.y);
    t.FieldByName("Ymin").SetAsFloat(p.ymin);
    t.FieldByName("Ymax").SetAsFloat(p.ymax);
    t.FieldByName("Zparameter").SetAsString("P, bar");
    t.FieldByName("Zvalue").SetAsFloat(p.z);
    t.FieldByName("XPoints").SetAsInteger(p.xpoints);
    t.FieldByName("YPoints").SetAsInteger(p.ypoints);
    t.FieldByName("ShowMosaicDiagram").SetAsBoolean(true);
    t.FieldByName("ShowChart").SetAsBoolean(false);
    t.Post();
  }
  t.SaveToFile(path.string());
}

struct Result {
  int code = -1;
  std::string err, out;
};

// `shell` runs in the shell before the program (a limit, say).
Result RunCalc(const std::string& args, const fs::path& cwd, const std::string& shell = {}) {
  const fs::path err = cwd / "stderr.txt";
  const fs::path out = cwd / "stdout.txt";
  const std::string cmd = "cd '" + cwd.string() + "' && " + shell + " '" BRELONA_CALC "' run " +
                          args + " 2> '" + err.string() + "' > '" + out.string() + "'";
  const int status = std::system(cmd.c_str());
  Result r;
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream f(err);
  std::stringstream ss;
  ss << f.rdbuf();
  r.err = ss.str();
  std::ifstream o(out);
  std::stringstream os;
  os << o.rdbuf();
  r.out = os.str();
  return r;
}

std::string ReadAll(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

QJsonObject Summary(const fs::path& dir) {
  const std::string text = ReadAll(dir / "summary.json");
  return QJsonDocument::fromJson(QByteArray::fromStdString(text)).object();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::string line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  return out;
}

class RunCommand : public ::testing::Test {
 protected:
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("brelona_run_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    MakeDatabase(dir / "P.d", {kLens, kEutectic, kBadRange, kBadLevel});
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(RunCommand, OneProblemWritesEveryFile) {
  const Result r = RunCalc("P.d --problem Lens --mosaic-size 50x40", dir);
  ASSERT_EQ(r.code, 0) << r.err;
  const fs::path out = dir / "Lens";
  const QJsonObject s = Summary(out);
  EXPECT_EQ(s["problem"].toString(), "Lens");
  EXPECT_EQ(s["yparameter"].toString(), "Temperature, K");
  EXPECT_TRUE(s["completed"].toBool());
  EXPECT_EQ(s["levels"].toInt(), 13);
  ASSERT_EQ(s["xlevels"].toArray().size(), 21);
  EXPECT_EQ(s["xlevels"].toArray()[1].toDouble(), 0.05);
  EXPECT_TRUE(s["nodes"].toArray().isEmpty());
  EXPECT_EQ(s["special_points"].toArray().size(), 2);
  EXPECT_EQ(s["special_points"].toArray()[0].toObject()["X"].toDouble(), 0);
  EXPECT_EQ(s["special_points"].toArray()[0].toObject()["text"].toString().left(9), "T(X = 0) ");
  EXPECT_TRUE(s["messages"].toArray().isEmpty());
  EXPECT_GE(s["seconds"].toDouble(), 0);

  const std::vector<std::string> cells = Lines(ReadAll(out / "cells.csv"));
  ASSERT_EQ(cells.size(), 14u);
  EXPECT_EQ(cells[0].substr(0, 20), " Y/X,0,0.05,0.1,0.15");
  EXPECT_EQ(cells[1], "1300,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L,L");
  EXPECT_EQ(cells[13], "700,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S,S");

  const std::vector<std::string> points = Lines(ReadAll(out / "points.csv"));
  ASSERT_GT(points.size(), 2u);
  EXPECT_EQ(points[0], "level,X,Y,Column,Name");
  EXPECT_EQ(Lines(ReadAll(out / "nodes.csv")), std::vector<std::string>{"Y,XLeft,X,XRight"});
  const std::vector<std::string> special = Lines(ReadAll(out / "special.txt"));
  ASSERT_EQ(special.size(), 2u);
  EXPECT_EQ(special[0], s["special_points"].toArray()[0].toObject()["text"].toString().toStdString());

  const QImage mosaic(QString::fromStdString((out / "mosaic.png").string()));
  ASSERT_FALSE(mosaic.isNull());
  EXPECT_EQ(mosaic.width(), 50);
  EXPECT_EQ(mosaic.height(), 40);
  EXPECT_EQ(mosaic.pixelColor(0, 0).rgb() & 0xFFFFFF, 0xFFFFFFu);
  int green = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x) green += (mosaic.pixel(x, y) & 0xFFFFFF) == 0xC0DCC0;
  }
  EXPECT_GT(green, 20);
}

TEST_F(RunCommand, EutecticNodeAndCsvQuotingOfTheName) {
  const Result r = RunCalc("P.d --problem 'eutectic, SIMPLE' --out out --decimal-separator ,", dir);
  ASSERT_EQ(r.code, 0) << r.err;
  const QJsonObject s = Summary(dir / "out");
  EXPECT_EQ(s["problem"].toString(), "Eutectic, simple");
  ASSERT_EQ(s["nodes"].toArray().size(), 1);
  const QJsonObject node = s["nodes"].toArray()[0].toObject();
  EXPECT_LT(node["XLeft"].toDouble(), node["X"].toDouble());
  EXPECT_LT(node["X"].toDouble(), node["XRight"].toDouble());
  const std::vector<std::string> nodes = Lines(ReadAll(dir / "out" / "nodes.csv"));
  ASSERT_EQ(nodes.size(), 2u);
  // Header texts use the separator, so the grid's numbers are quoted in the CSV.
  const std::vector<std::string> cells = Lines(ReadAll(dir / "out" / "cells.csv"));
  EXPECT_EQ(cells[0].substr(0, 18), " Y/X,0,\"0,025\",\"0,");
}

TEST_F(RunCommand, ExactAnswersAndBoundariesUnlessNoRefine) {
  ASSERT_EQ(RunCalc("P.d --problem 'Eutectic, simple' --out on", dir).code, 0);
  const QJsonObject s = Summary(dir / "on");
  ASSERT_EQ(s["invariants"].toArray().size(), 1);
  const QJsonObject inv = s["invariants"].toArray()[0].toObject();
  EXPECT_EQ(inv["type"].toString(), "eutectic");
  EXPECT_FALSE(inv["approximate"].toBool());
  QStringList names;
  for (const auto& p : inv["phases"].toArray()) names << p.toObject()["name"].toString();
  EXPECT_EQ(names, (QStringList{"S", "L", "S"}));
  EXPECT_TRUE(inv["reaction"].toString().startsWith("L("));
  // The pure components melt where 10 (Tm - T) = 0.
  const QJsonArray transitions = s["transitions"].toArray();
  ASSERT_EQ(transitions.size(), 2);
  EXPECT_EQ(transitions[0].toObject()["Y"].toDouble(), 1000);
  EXPECT_EQ(transitions[1].toObject()["Y"].toDouble(), 800);
  EXPECT_EQ(transitions[0].toObject()["above"].toString(), "L");
  EXPECT_TRUE(s["critical_points"].toArray().isEmpty());
  EXPECT_TRUE(s["congruent_points"].toArray().isEmpty());
  // One refined line per tie line of points.csv (two points each), and beside them the few
  // of the lenses narrower than a column just under the melting points.
  const std::vector<std::string> b = Lines(ReadAll(dir / "on" / "boundaries.csv"));
  ASSERT_GT(b.size(), 1u);
  EXPECT_EQ(b[0], "level,Y,phase_left,X_left,phase_right,X_right");
  const size_t points = Lines(ReadAll(dir / "on" / "points.csv")).size() - 1;
  EXPECT_GE(2 * (b.size() - 1), points);
  EXPECT_LE(2 * (b.size() - 1), points + 2 * 8);

  ASSERT_EQ(RunCalc("P.d --problem 'Eutectic, simple' --out off --no-refine", dir).code, 0);
  const QJsonObject off = Summary(dir / "off");
  EXPECT_FALSE(off.contains("invariants"));
  EXPECT_FALSE(off.contains("transitions"));
  EXPECT_FALSE(fs::exists(dir / "off" / "boundaries.csv"));
  EXPECT_EQ(off["nodes"], s["nodes"]);
}

TEST_F(RunCommand, OverridesAndExitCodes) {
  struct Case {
    std::string args;
    int code;
    std::string err_start;
  };
  // Exit codes: 0 success, 1 an error, 2 a usage error, 3 a failed problem check.
  const std::vector<Case> cases = {
      {"P.d --problem Lens --xpoints 10 --ypoints 3 --out a", 0, ""},
      {"P.d --problem 'Bad range' --out b", 3, "warning: Ymax must be more that Ymin\n"},
      {"P.d --problem 'Bad level' --out c", 1, ""},
      {"P.d --problem Nothing", 1, "error: problem 'Nothing' not found\nproblems:\n  Bad level\n"},
      {"P.d --problem 'bad rnage'", 1,
       "error: problem 'bad rnage' not found; did you mean 'Bad range'?\n"},
      {"P.d", 2, "error: P.d holds 4 problems: give --problem NAME or --all\n"},
      {"P.d --problem=LENS --out=e --xpoints=10 --ypoints=3 --format=PNG,Svg -j1", 0, ""},
      {"P.d --problem Lens --ymin 300", 2, "error: --y, --ymin, --ymax and --z give the range"},
      {"P.d --problem Lens --quiet=yes", 2, "error: --quiet takes no value\n"},
      {"P.d --problem Lens --out", 2, "error: --out needs a value\n"},
      {"P.d --all --problem Lens", 2, "error: give either --problem NAME or --all\n"},
      {"Missing.d --all", 1, "error: "},
      {"P.d --problem Lens --xpoints 0", 2, "error: --xpoints needs a positive integer\n"},
      {"P.d --problem Lens --mosaic-size 10", 2,
       "error: --mosaic-size needs WxH, each 1 to 20000\n"},
      {"P.d --problem Lens --decimal-separator ';'", 2,
       "error: --decimal-separator needs '.' or ','\n"},
      {"P.d --problem Lens --help", 0, ""},
      {"P.d --problem Lens --xpoint 5", 2,
       "error: unknown option --xpoint; did you mean '--xpoints'?\n"},
  };
  for (const Case& c : cases) {
    const Result r = RunCalc(c.args, dir);
    EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
    EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start) << c.args;
  }
  EXPECT_EQ(RunCalc("P.d --problem Lens --out a", dir).out.rfind("Lens: 13 levels, 0 nodes, ", 0),
            0u);
  EXPECT_EQ(RunCalc("P.d --problem Lens --help", dir).out.rfind("usage: brelona-calc run DB.d", 0),
            0u);
  RunCalc("P.d --problem Lens --xpoints 10 --ypoints 3 --out a", dir);
  const QJsonObject a = Summary(dir / "a");
  EXPECT_EQ(a["levels"].toInt(), 4);
  EXPECT_EQ(a["xlevels"].toArray().size(), 11);
  const QJsonObject b = Summary(dir / "b");
  EXPECT_FALSE(b["completed"].toBool());
  EXPECT_EQ(b["levels"].toInt(), 0);
  ASSERT_EQ(b["messages"].toArray().size(), 1);
  EXPECT_EQ(b["messages"].toArray()[0].toObject()["type"].toString(), "warning");
  // The mosaic is written also when the check stops the run: blank, of the asked size.
  const QImage blank(QString::fromStdString((dir / "b" / "mosaic.png").string()));
  EXPECT_EQ(blank.size(), QSize(400, 500));
  EXPECT_EQ(blank.pixelColor(200, 250).rgb() & 0xFFFFFF, 0xFFFFFFu);
  const QJsonObject c = Summary(dir / "c");
  EXPECT_FALSE(c["completed"].toBool());
  EXPECT_EQ(c["levels"].toInt(), 2);
  const QJsonArray msgs = c["messages"].toArray();
  ASSERT_FALSE(msgs.isEmpty());
  EXPECT_EQ(msgs.last().toObject()["text"].toString(), "Floating point division by zero");
  EXPECT_EQ(msgs.last().toObject()["place"].toString(), "phase L at X = 0, T = 600");
  EXPECT_EQ(msgs.last().toObject()["type"].toString(), "error");
}

// A phase-sheet file is known by its text, whatever options come with it; its range is checked
// as the program's problem form checks it; --print gives the answers.
TEST_F(RunCommand, SheetFilesAndPrintedAnswers) {
  std::ofstream(dir / "sheet.txt") << kEutectic.functs << "\n";
  const struct {
    std::string args;
    int code;
    std::string err;
  } cases[] = {
      {"sheet.txt", 2, "error: sheet.txt: a phase-sheet file needs --ymin and --ymax\n"},
      {"sheet.txt --ymin 700 --ymax 1100 --z -5", 2, "error: --z must be above 0\n"},
      {"sheet.txt --y Pressur --ymin 1 --ymax 2", 2,
       "error: --y needs temperature or pressure; did you mean 'pressure'?\n"},
  };
  for (const auto& c : cases) {
    const Result r = RunCalc(c.args, dir);
    EXPECT_EQ(r.code, c.code) << c.args;
    EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << c.args;
  }
  const Result r = RunCalc("sheet.txt --y Temperature --ymin 300 --ymax 1100 --out s --print", dir);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("\n  eutectic at "), std::string::npos) << r.out;
  const QJsonObject s = Summary(dir / "s");
  EXPECT_EQ(s["yquantity"].toString(), "temperature");
  EXPECT_EQ(s["yunit"].toString(), "K");
}

TEST_F(RunCommand, AllProblemsOneFolderEach) {
  const Result r = RunCalc("P.d --all --out all --xpoints 10 --ypoints 4", dir);
  EXPECT_EQ(r.code, 1) << r.err;  // one problem fails with an error, one its check
  MakeDatabase(dir / "Q.d", {kLens, kBadRange});
  EXPECT_EQ(RunCalc("Q.d --all --out q", dir).code, 3);  // a failed check and no error
  for (const char* name : {"Lens", "Eutectic, simple", "Bad range", "Bad level"}) {
    EXPECT_TRUE(fs::exists(dir / "all" / name / "summary.json")) << name;
  }
  EXPECT_TRUE(Summary(dir / "all" / "Lens")["completed"].toBool());
}

}  // namespace

namespace {

// The run inputs of tests/repro (each crashed the run when it was found) give their pictures.
TEST_F(RunCommand, InputsThatOnceCrashedGiveTheirPictures) {
  const std::string repro = BRELONA_SOURCE_DIR "/tests/repro/";
  const char* const runs[] = {
      "run_hull_stack_overflow.txt --ymin 300 --ymax 560",
      "eutectic_sheet.txt --ymin 700 --ymax 700",
      "run_ymin_eq_ymax.json",
      "run_y_tiny_span.json",
  };
  int n = 0;
  for (const char* args : runs) {
    const fs::path out = dir / ("out" + std::to_string(n++));
    std::string file = args, rest;
    if (const size_t blank = file.find(' '); blank != std::string::npos) {
      rest = file.substr(blank);
      file.resize(blank);
    }
    const Result r =
        RunCalc("'" + repro + file + "'" + rest + " --out '" + out.string() + "'", dir);
    EXPECT_EQ(r.code, 0) << args << "\n" << r.err;
    EXPECT_FALSE(QImage(QString::fromStdString((out / "diagram.png").string())).isNull()) << args;
    EXPECT_TRUE(Summary(out).value("completed").toBool()) << args;
  }
  // The same energies from a typo in an assessed database (it imports cleanly).
  const std::string tdb = BRELONA_SOURCE_DIR "/tests/tdb/repro/tdb_typo_run_crash.tdb";
  ASSERT_EQ(std::system(("'" BRELONA_CALC "' import-tdb '" + tdb + "' --components PB SN --json '" +
                         (dir / "typo.json").string() + "' 2>/dev/null")
                            .c_str()),
            0);
  const Result typo = RunCalc("typo.json --out typo --xpoints 40 --ypoints 20", dir);
  EXPECT_EQ(typo.code, 0) << typo.err;
  EXPECT_TRUE(Summary(dir / "typo").value("completed").toBool());
  // A JSON problem is checked as the options are.
  const Result nan = RunCalc("'" + repro + "run_ymin_nan.json' --out nan", dir);
  EXPECT_EQ(nan.code, 1);
  EXPECT_NE(nan.err.find("run_ymin_nan.json: problem 'p': Ymin needs a number"), std::string::npos)
      << nan.err;
  EXPECT_FALSE(fs::exists(dir / "nan"));
}

}  // namespace

namespace {

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Two runs into one folder mixed their files, and a failed write (a full disk) left empty files
// that looked like results beside one message. A run's files are now a set: another run is
// refused while one writes, and a run that cannot write all its files reports each one that
// failed and leaves the folder as it was.
TEST_F(RunCommand, OutputsAreWrittenAsASet) {
  ASSERT_EQ(RunCalc("P.d --problem Lens --out out", dir).code, 0);
  const std::vector<std::string> files = Names(dir / "out");
  const std::string summary = ReadAll(dir / "out" / "summary.json");

  {
    // Another run holds the folder (it keeps the lock file beside it while it writes).
    const int fd = ::open((dir / ".out.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    const Result r = RunCalc("P.d --problem 'Eutectic, simple' --out out", dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("out is being written by another run"), std::string::npos) << r.err;
    ::close(fd);
  }
  EXPECT_EQ(ReadAll(dir / "out" / "summary.json"), summary);

  // Files over 8 blocks of the shell's limit (4 or 8 KB) cannot be written.
  const Result r = RunCalc("P.d --problem 'Eutectic, simple' --out out --xpoints 300", dir,
                           "trap '' XFSZ; ulimit -f 8;");
  EXPECT_EQ(r.code, 1);
  for (const char* file : {"summary.json", "cells.csv", "diagram.png"})
    EXPECT_NE(r.err.find(std::string("out/") + file + ": File too large"), std::string::npos)
        << file << "\n"
        << r.err;
  EXPECT_EQ(Names(dir / "out"), files);
  EXPECT_EQ(ReadAll(dir / "out" / "summary.json"), summary);
  std::vector<std::string> beside = Names(dir);
  EXPECT_EQ(std::count_if(beside.begin(), beside.end(),
                          [](const std::string& n) { return n.rfind(".out", 0) == 0; }),
            0)
      << "no lock file or unfinished folder is left";

  // A later run replaces the whole set: no file of the earlier one stays.
  ASSERT_EQ(RunCalc("P.d --problem 'Eutectic, simple' --out out --format png", dir).code, 0);
  EXPECT_NE(ReadAll(dir / "out" / "summary.json"), summary);
  EXPECT_FALSE(fs::exists(dir / "out" / "diagram.svg"));
  // Pictures can be left out altogether, and formats are named in any letter case.
  ASSERT_EQ(RunCalc("P.d --problem 'Eutectic, simple' --out out --format none", dir).code, 0);
  EXPECT_FALSE(fs::exists(dir / "out" / "diagram.png"));
  EXPECT_TRUE(fs::exists(dir / "out" / "summary.json"));
  ASSERT_EQ(RunCalc("P.d --problem 'Eutectic, simple' --out out --format PDF", dir).code, 0);
  EXPECT_TRUE(fs::exists(dir / "out" / "diagram.pdf"));
}

}  // namespace

namespace {

// A table's first byte is the low byte of its length: about one table in a hundred begins with
// "{" or "[" and was read as JSON ("not valid JSON"). Tables are told by their header's
// structure now.
TEST_F(RunCommand, ATableWhoseLengthBeginsLikeJsonIsATable) {
  for (const char first : {'{', '['}) {
    Problem lens = kLens;
    const fs::path db = dir / "J.d";
    for (int pad = 0; pad < 256; ++pad) {
      MakeDatabase(db, {lens});
      if (static_cast<char>(fs::file_size(db) & 0xFF) == first) break;
      lens.functs += pad == 0 ? "\n%" : "-";
    }
    ASSERT_EQ(ReadAll(db).front(), first);
    const Result r = RunCalc("J.d --problem Lens --out out", dir);
    EXPECT_EQ(r.code, 0) << first << "\n" << r.err;
  }
}

}  // namespace

namespace {

// A compound was named by its composition ("0.5") in summary.json and boundaries.csv while the
// reaction text named it by its line's key. Every output names it by the key now; a line GC,
// whose key names no compound, gives C(0.5).
TEST_F(RunCommand, CompoundsAreNamedByTheirLinesKey) {
  const std::string sheet =
      "GL = (1-X)*10*(1000-T) + X*10*(1100-T) - T*Sid\n"
      "GS = 30000*X*(1-X) - T*Sid\n"
      "X=0.5; G%s = -2000 - 5.763*T\n";
  for (const std::string key : {"AB", "C"}) {
    const std::string shown = key == "AB" ? "AB" : "C(0.5)";
    char text[256];
    std::snprintf(text, sizeof text, sheet.c_str(), key.c_str());
    std::ofstream(dir / "compound.txt") << text;
    const Result r = RunCalc("compound.txt --ymin 600 --ymax 1300 --out " + key, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject s = Summary(dir / key);
    QStringList names;
    for (const auto& inv : s["invariants"].toArray())
      for (const auto& p : inv.toObject()["phases"].toArray())
        names << p.toObject()["name"].toString();
    for (const auto& c : s["congruent_points"].toArray())
      for (const auto& p : c.toObject()["phases"].toArray()) names << p.toString();
    EXPECT_TRUE(names.contains(QString::fromStdString(shown))) << names.join(",").toStdString();
    EXPECT_FALSE(names.contains("0.5")) << names.join(",").toStdString();
    std::set<std::string> phases;  // columns phase_left and phase_right of boundaries.csv
    for (const std::string& line : Lines(ReadAll(dir / key / "boundaries.csv"))) {
      std::vector<std::string> f;
      std::istringstream fields(line);
      for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
      if (f.size() == 6) phases.insert({f[2], f[4]});
    }
    EXPECT_TRUE(phases.count(shown)) << key;
    EXPECT_FALSE(phases.count("0.5")) << key;
  }
}

}  // namespace

namespace {

// A table without the problem fields was read whole (1.4 GB for 8.4 million empty records) only
// to report the missing field; the fields are checked first now. This table's record count is
// beyond what it holds, which reading its records would have reported instead. An unknown name
// in a long table lists the few closest names, not every one.
TEST_F(RunCommand, TablesAreCheckedBeforeTheirRecordsAndLongListsAreCut) {
  store::TMemTable t;
  t.FieldDefs() = {{"ProblemName", store::ftString, 20}};
  t.Open();
  t.Insert();
  t.FieldByName("ProblemName").SetAsString("x");
  t.Post();
  t.SaveToFile((dir / "T.d").string());
  std::string bytes = ReadAll(dir / "T.d");
  bytes.replace(5, 4, std::string("\x00\xca\x9a\x3b", 4));  // 1e9 records
  std::ofstream(dir / "T.d", std::ios::binary) << bytes;
  const Result bad = RunCalc("T.d --problem x", dir);
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.err, "error: Field 'Functs' not found\n");

  std::vector<Problem> many;
  for (int i = 0; i < 30; ++i) {
    many.push_back(kLens);
    many.back().name = "Lens " + std::to_string(i);
  }
  MakeDatabase(dir / "M.d", many);
  const Result r = RunCalc("M.d --problem 'Lens 2x'", dir);
  EXPECT_EQ(r.code, 1);
  const std::vector<std::string> lines = Lines(r.err);
  ASSERT_EQ(lines.size(), 13u) << r.err;  // the error, "problems:", ten names, the rest counted
  EXPECT_EQ(lines[2], "  Lens 2");
  EXPECT_EQ(lines[12], "  ... and 20 more");
}

}  // namespace

// A sheet whose import left phases out says so in summary.json (and on the diagram).
TEST_F(RunCommand, PhasesLeftOutOfAnImportAreListed) {
  std::ofstream(dir / "left.txt") << "% Skipped phase IONIC_LIQ: ionic liquid model\n"
                                     "GL = (1-X)*10*(900-T) + X*10*(1100-T) - T*Sid\n"
                                     "GS = 25000*X*(1-X) - T*Sid\n";
  ASSERT_EQ(RunCalc("left.txt --ymin 600 --ymax 1200 --out left", dir).code, 0);
  const QJsonArray left = Summary(dir / "left")["left_out"].toArray();
  ASSERT_EQ(left.size(), 1);
  EXPECT_EQ(left[0].toObject()["phase"].toString(), "IONIC_LIQ");
  EXPECT_EQ(left[0].toObject()["reason"].toString(), "ionic liquid model");
  ASSERT_EQ(RunCalc("P.d --problem Lens", dir).code, 0);
  EXPECT_FALSE(Summary(dir / "Lens").contains("left_out"));
}

// The pictures speak the language the desktop program starts in for the same locale (their X
// axis was Russian in every locale), and name the components when the sheet does.
TEST_F(RunCommand, PicturesFollowTheLocalesLanguage) {
  std::ofstream(dir / "named.txt") << "% components: PB SN\n" << kEutectic.functs << "\n";
  struct Case {
    const char* lang;
    const char* file;
    const char* caption;  // the X axis title, or its first glyph run
  };
  for (const Case& c :
       {Case{"en_US.UTF-8", "P.d --problem Lens", "Mole fraction (X) of component B"},
        Case{"de_DE.UTF-8", "named.txt --ymin 700 --ymax 1100",
             "X(SN), mole fraction of SN in the system PB-SN"},
        Case{"C.UTF-8", "P.d --problem Lens", "Мольная доля"},
        Case{"ru_RU.UTF-8", "named.txt --ymin 700 --ymax 1100", "мольная доля "}}) {
    SCOPED_TRACE(std::string(c.lang) + " " + c.file);
    fs::remove_all(dir / "out");
    const std::string env = std::string("env -u LC_ALL -u LC_MESSAGES LANG=") + c.lang;
    ASSERT_EQ(RunCalc(std::string(c.file) + " --format svg --out out", dir, env).code, 0);
    const std::string svg = ReadAll(dir / "out" / "diagram.svg");
    EXPECT_NE(svg.find(c.caption), std::string::npos);
    const bool english = c.lang[0] != 'C' && c.lang[0] != 'r';
    EXPECT_EQ(svg.find(english ? "мольная" : "mole fraction"), std::string::npos);
  }
}

// --wt draws the diagram against the weight percent of B when the sheet's masses are known,
// and says on the picture why it cannot when they are not.
TEST_F(RunCommand, WeightPercentOnTheDiagram) {
  std::ofstream(dir / "named.txt") << "% components: PB SN\n" << kEutectic.functs << "\n";
  const std::string env = "env -u LC_ALL -u LC_MESSAGES LANG=en_US.UTF-8";
  ASSERT_EQ(RunCalc("named.txt --ymin 700 --ymax 1100 --wt --format svg --out wt", dir, env).code,
            0);
  const std::string svg = ReadAll(dir / "wt" / "diagram.svg");
  EXPECT_NE(svg.find("SN, weight percent in the system PB-SN"), std::string::npos);
  ASSERT_EQ(RunCalc("P.d --problem Lens --wt --format svg --out plain", dir, env).code, 0);
  const std::string plain = ReadAll(dir / "plain" / "diagram.svg");
  EXPECT_NE(plain.find("Mole fraction (X) of component B"), std::string::npos);
  EXPECT_NE(plain.find("weight percent needs the masses"), std::string::npos);
}
