#include "calc/masses.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "calc/phase_sheet.h"

namespace calc {

namespace {

struct Element {
  const char* symbol;
  double mass;
};

// Standard atomic weights (IUPAC 2021, abridged); in brackets in the table, and here, the mass
// number of the longest-lived isotope of an element without a stable one.
constexpr Element kElements[] = {
    {"H", 1.008},   {"He", 4.0026}, {"Li", 6.94},   {"Be", 9.0122}, {"B", 10.81},   {"C", 12.011},
    {"N", 14.007},  {"O", 15.999},  {"F", 18.998},  {"Ne", 20.180}, {"Na", 22.990}, {"Mg", 24.305},
    {"Al", 26.982}, {"Si", 28.085}, {"P", 30.974},  {"S", 32.06},   {"Cl", 35.45},  {"Ar", 39.95},
    {"K", 39.098},  {"Ca", 40.078}, {"Sc", 44.956}, {"Ti", 47.867}, {"V", 50.942},  {"Cr", 51.996},
    {"Mn", 54.938}, {"Fe", 55.845}, {"Co", 58.933}, {"Ni", 58.693}, {"Cu", 63.546}, {"Zn", 65.38},
    {"Ga", 69.723}, {"Ge", 72.630}, {"As", 74.922}, {"Se", 78.971}, {"Br", 79.904}, {"Kr", 83.798},
    {"Rb", 85.468}, {"Sr", 87.62},  {"Y", 88.906},  {"Zr", 91.224}, {"Nb", 92.906}, {"Mo", 95.95},
    {"Tc", 97},     {"Ru", 101.07}, {"Rh", 102.91}, {"Pd", 106.42}, {"Ag", 107.87}, {"Cd", 112.41},
    {"In", 114.82}, {"Sn", 118.71}, {"Sb", 121.76}, {"Te", 127.60}, {"I", 126.90},  {"Xe", 131.29},
    {"Cs", 132.91}, {"Ba", 137.33}, {"La", 138.91}, {"Ce", 140.12}, {"Pr", 140.91}, {"Nd", 144.24},
    {"Pm", 145},    {"Sm", 150.36}, {"Eu", 151.96}, {"Gd", 157.25}, {"Tb", 158.93}, {"Dy", 162.50},
    {"Ho", 164.93}, {"Er", 167.26}, {"Tm", 168.93}, {"Yb", 173.05}, {"Lu", 174.97}, {"Hf", 178.49},
    {"Ta", 180.95}, {"W", 183.84},  {"Re", 186.21}, {"Os", 190.23}, {"Ir", 192.22}, {"Pt", 195.08},
    {"Au", 196.97}, {"Hg", 200.59}, {"Tl", 204.38}, {"Pb", 207.2},  {"Bi", 208.98}, {"Po", 209},
    {"At", 210},    {"Rn", 222},    {"Fr", 223},    {"Ra", 226},    {"Ac", 227},    {"Th", 232.04},
    {"Pa", 231.04}, {"U", 238.03},  {"Np", 237},    {"Pu", 244},    {"Am", 243},    {"Cm", 247},
    {"Bk", 247},    {"Cf", 251},    {"Es", 252},    {"Fm", 257},    {"Md", 258},    {"No", 259},
    {"Lr", 262},
};

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The words after "% masses:" on the first line that has it, split at blanks and commas.
std::vector<std::string> DirectiveWords(std::string_view functs, std::string_view word) {
  for (const std::string& line : SplitLines(functs)) {
    const size_t pct = line.find('%');
    if (pct == std::string::npos) continue;
    const size_t i = line.find_first_not_of(" \t", pct + 1);
    if (i == std::string::npos || !SameLetters(std::string_view(line).substr(i, word.size()), word))
      continue;
    std::vector<std::string> words;
    std::string cur;
    for (size_t k = i + word.size(); k <= line.size(); ++k) {
      const char c = k < line.size() ? line[k] : ' ';
      if (c == ' ' || c == '\t' || c == ',' || c == ';') {
        if (!cur.empty()) words.push_back(std::move(cur));
        cur.clear();
      } else {
        cur += c;
      }
    }
    return words;
  }
  return {};
}

double Positive(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(v) && v > 0 ? v : 0;
}

}  // namespace

std::optional<double> StandardAtomicMass(std::string_view symbol) {
  for (const Element& e : kElements) {
    if (SameLetters(symbol, e.symbol)) return e.mass;
  }
  return std::nullopt;
}

ComponentMasses ReadComponentMasses(std::string_view functs) {
  const std::vector<std::string> given = DirectiveWords(functs, "masses:");
  if (given.size() == 2) {
    const ComponentMasses m{Positive(given[0]), Positive(given[1])};
    if (m.Known()) return m;
  }
  const ComponentNames names = ReadComponentNames(functs);
  if (!names.Named()) return {};
  const auto a = StandardAtomicMass(names.A), b = StandardAtomicMass(names.B);
  if (!a || !b) return {};
  return {*a, *b};
}

double MassFractionB(double x, const ComponentMasses& m) {
  const double b = x * m.B;
  return b / (b + (1 - x) * m.A);
}

double MoleFractionB(double w, const ComponentMasses& m) {
  const double b = w * m.A;
  return b / (b + (1 - w) * m.B);
}

}  // namespace calc
