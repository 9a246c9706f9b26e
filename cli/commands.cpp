#include "cli/commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "store/table_image.h"

namespace cli {

namespace {

struct Help {
  const char* name;
  const char* text;
};

// What each command does and its options, after its usage line.
constexpr Help kHelp[] = {
    {"eval",
     "Compiles EXPR the way a phase sheet formula is compiled, assigns each NAME=VALUE (a plain\n"
     "decimal number) in the order given and prints the value with 17 significant digits.\n"},
    {"db-export", "Prints the problem database FILE.d as JSON (fields and records, file order).\n"},
    {"db-import",
     "Builds the table file FILE.d from the JSON of db-export.\n"
     "  --force   replace FILE.d when it exists\n"},
    {"list",
     "Prints the problem names of FILE.d in list order (of a JSON problem file in its order).\n"},
    {"run",
     "Computes phase diagrams as the Run command of the program does and writes summary.json,\n"
     "cells.csv, points.csv, nodes.csv, special.txt, mosaic.png, the diagram pictures\n"
     "(diagram.png and diagram.svg, or as --format asks), and with the exact answers\n"
     "(invariants, transitions, critical and congruent points in summary.json)\n"
     "boundaries.csv: every tie line refined.\n"
     "  --problem NAME           the problem to run (exact name first, then any letter case)\n"
     "  --all                    every problem, one folder each under DIR\n"
     "  --out DIR                the output folder (default: the problem's name; with --all .)\n"
     "  --xpoints N, --ypoints N the grid for this run instead of the problem's\n"
     "  --decimal-separator C    '.' or ',' in the grid's header texts (default '.')\n"
     "  --mosaic-size WxH        the mosaic picture's size (default 400x500)\n"
     "  --format LIST            diagram pictures to write: png,svg,pdf, or none (default\n"
     "                           png,svg; any letter case)\n"
     "  --size WxH               the diagram pictures' size in pixels (default 696x482)\n"
     "  --dpi N                  their resolution; fonts and lines scale with N/96 (default 96)\n"
     "  --celsius                temperatures in degrees Celsius on the diagram (the data files\n"
     "                           stay in K)\n"
     "  --wt                     compositions in weight percent of B on the diagram (masses\n"
     "                           from '% masses:' or the element names of '% components:';\n"
     "                           the data files stay in mole fractions)\n"
     "  --grid-points            draw the grid's points too (they make thick bands on a fine\n"
     "                           grid; by default the pictures show the boundaries only)\n"
     "  --no-refine              the grid's answers only: no exact values, no boundaries.csv\n"
     "  -j N, --jobs N           with --all: problems run at once (default: one per processor)\n"
     "  --quiet                  no line per problem, no progress line\n"
     "  --print                  the answers below that line: invariants, congruent and\n"
     "                           critical points, transitions of the pure components\n"
     "DB.d is a problem table, or a JSON file of one problem or a list of them (the records\n"
     "db-export writes), or a phase-sheet text file with its range given by\n"
     "  --y temperature|pressure (default temperature), --ymin Y, --ymax Y,\n"
     "  --z VALUE (the fixed pressure, bar, default 1; or the fixed temperature, K)\n"
     "A file of one problem needs neither --problem nor --all.\n"
     "Options: --name value or --name=value, before or after the file.\n"
     "Prints one line per completed problem: NAME: N levels, N nodes[, N invariants], S s\n"},
    {"import-tdb",
     "Takes the binary system A-B out of a TDB database and writes it as a problem: one sheet\n"
     "line per phase it can hold, comment lines naming the phases it skipped and why.\n"
     "  --components A B   the two elements; X is the mole fraction of B\n"
     "  --db DB.d          add the problem to this table file (created when missing)\n"
     "  --json FILE.json   add it to this JSON file (the form of db-export, created when missing)\n"
     "                     without --db or --json the sheet is printed\n"
     "  --name NAME        the problem's name (default: A-B (FILE.tdb))\n"
     "  --tmin K, --tmax K the temperature range (default: around the melting points)\n"
     "  --phases P1,P2,... only these phases\n"
     "Skipped phases and notes go to stderr.\n"},
    {"point",
     "Prints as JSON the equilibrium at level Y (temperature or pressure, as the problem sweeps)\n"
     "and composition X of the problem NAME: the stable phases with their compositions and\n"
     "amounts, the Gibbs energy and the chemical potentials of A and B.\n"
     "DB.d is a table, a JSON problem file or a phase-sheet file (a temperature diagram at\n"
     "--z P bar, default 1); a file of one problem needs no --problem.\n"},
    {"step",
     "Follows one alloy of the problem along a path and writes into DIR: step.json and\n"
     "step.csv (the stable phases' amounts and compositions at every point, mu of A and B, G,\n"
     "H, Cp, the activities, and every phase boundary crossed at its exact Y), the pictures\n"
     "step.png (phase fractions) and activities.png (and .svg, or as --format asks), with\n"
     "--scheil also scheil.json and scheil.csv (Scheil-Gulliver solidification, drawn in\n"
     "step.png beside the equilibrium).\n"
     "  --x X                  the alloy: mole fraction of B (with --wt: weight percent of B)\n"
     "  --from Y, --to Y       the path's ends (default: the problem's Ymax down to Ymin)\n"
     "  --points N             points from --from to --to (default 201)\n"
     "  --along x --y Y        along the composition at level Y instead (--from/--to: 0..1)\n"
     "  --scheil               Scheil solidification too (--liquid NAME: the liquid phase)\n"
     "  --reference-a PHASE    the phase of pure A the activity of A is referred to (default:\n"
     "  --reference-b PHASE    the stable one at each point); the same for B\n"
     "  --wt                   compositions in weight percent of B, amounts as mass fractions\n"
     "                         (masses from '% masses:' or the element names of the sheet)\n"
     "  --out DIR              the output folder (default: the problem's name)\n"
     "  --format LIST, --size WxH, --dpi N, --celsius   the pictures, as for run\n"
     "Prints the boundaries crossed, and with --scheil how the Scheil path ended.\n"},
};

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"eval", CmdEval, "'EXPR' [NAME=VALUE ...]", "evaluate an expression"},
      {"db-export", CmdDbExport, "FILE.d", "print a problem database as JSON"},
      {"db-import", CmdDbImport, "FILE.json FILE.d [--force]",
       "build a problem database from JSON"},
      {"list", CmdList, "FILE.d", "print the problem names in list order"},
      {"run", CmdRun,
       "DB.d (--problem NAME | --all) [--out DIR] [--xpoints N] [--ypoints N]\n"
       "      [--decimal-separator C] [--mosaic-size WxH] [-j N] [--quiet] [--print]\n"
       "      [--y temperature|pressure --ymin Y --ymax Y --z VALUE]\n"
       "      [--format png,svg,pdf] [--size WxH] [--dpi N] [--celsius] [--wt]\n"
       "      [--grid-points]",
       "compute phase diagrams and write the results"},
      {"point", CmdPoint, "DB.d --problem NAME --y Y --x X [--z P]",
       "the equilibrium at one point of a diagram, as JSON"},
      {"step", CmdStep,
       "DB.d --problem NAME --x X [--from Y --to Y] [--points N] [--scheil] [--wt]\n"
       "      [--along x --y Y] [--reference-a PHASE] [--reference-b PHASE] [--liquid NAME]\n"
       "      [--out DIR] [--format png,svg,pdf] [--size WxH] [--dpi N] [--celsius]",
       "one alloy along a path: phase amounts, Scheil, activities"},
      {"import-tdb", CmdImportTdb,
       "FILE.tdb --components A B [--db DB.d | --json FILE.json] [--name NAME]\n"
       "      [--tmin K --tmax K] [--phases P1,P2,...]",
       "a binary system of a TDB database as a problem"},
  };
  return commands;
}

bool WantsHelp(const Args& args) {
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "-h" || a == "--help"; });
}

int CommandUsage(const char* name, bool asked) {
  std::FILE* out = asked ? stdout : stderr;
  for (const Command& c : Commands()) {
    if (std::strcmp(c.name, name) != 0) continue;
    std::fprintf(out, "usage: brelona-calc %s %s\n", c.name, c.usage);
    if (asked) {
      for (const Help& h : kHelp)
        if (std::strcmp(h.name, name) == 0) std::fputs(h.text, out);
    }
  }
  return asked ? kExitOk : kExitUsage;
}

std::string NotATableHint(const std::string& file) {
  if (store::LooksLikeTableImage(file)) return {};
  std::ifstream f(file, std::ios::binary);
  char c = 0;
  while (f.get(c) && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
  }
  if (!f || (c != '{' && c != '[')) return {};
  return file +
         " is a JSON file, not a table file; make a table from it with "
         "'brelona-calc db-import " +
         file + " FILE.d'";
}

size_t EditDistance(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t substitute = diagonal + (lower(a[i - 1]) == lower(b[j - 1]) ? 0 : 1);
      row[j] = std::min({above + 1, row[j - 1] + 1, substitute});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Nearest(std::string_view word, const std::vector<std::string>& candidates) {
  // Up to one edit in three characters, at least one and at most three.
  const size_t limit = std::clamp<size_t>(word.size() / 3, 1, 3);
  std::string best;
  size_t best_distance = limit + 1;
  for (const std::string& c : candidates) {
    const size_t d = EditDistance(word, c);
    if (d < best_distance) {
      best_distance = d;
      best = c;
    }
  }
  return best;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string JsonNumber(double v) {
  if (std::isinf(v)) return v < 0 ? "\"-Infinity\"" : "\"Infinity\"";
  if (!std::isfinite(v)) return "null";
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace cli
