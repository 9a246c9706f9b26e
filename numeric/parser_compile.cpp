// The expression compiler: preparation of the text, the form tests, the reading of the terms,
// the slot table with its limits, and the flat program the evaluator runs.
//
// There is no tokenizer: an operand is read by trying its possible forms in a fixed order, and
// the binary forms try every occurrence of their operator with the text on either side. The
// same substrings are tested again and again, so the validity of every (form, substring) pair
// is memoised; every text the compiler looks at is a substring of the prepared text, so a
// substring is named by its start and end.

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "numeric/errors.h"
#include "numeric/parser_impl.h"

namespace numeric::detail {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kMaxDepth = 20;    // deepest row of the slot table
constexpr int kMaxColumns = 50;  // operations per row

// The forms an operand text can have.
enum Form : int {
  fV = 0,  // variable
  fN,      // number
  fB,      // bracketed valid expression
  fNeg,
  fSum,
  fDiff,
  fProd,
  fIDiv,
  fMod,
  fQuot,
  fPow,
  fCall,
  fCall2,
  kFormCount
};
using FormSet = uint32_t;
constexpr FormSet Bit(Form f) { return FormSet{1} << f; }

constexpr FormSet kCalls = Bit(fCall) | Bit(fCall2);
constexpr FormSet kAtoms = Bit(fV) | Bit(fN) | Bit(fB) | kCalls;
constexpr FormSet kFactors = kAtoms | Bit(fIDiv) | Bit(fMod) | Bit(fQuot) | Bit(fPow);
constexpr FormSet kValid = (FormSet{1} << kFormCount) - 1;
constexpr FormSet kSumLeft = kFactors | Bit(fNeg) | Bit(fDiff) | Bit(fProd);
constexpr FormSet kSumRight = kFactors | Bit(fSum) | Bit(fDiff) | Bit(fProd);
constexpr FormSet kDiffRight = kFactors | Bit(fProd);
constexpr FormSet kProdLeft = kFactors | Bit(fNeg);
constexpr FormSet kProdRight = kFactors | Bit(fProd);
constexpr FormSet kQuotRight = kAtoms | Bit(fPow);
constexpr FormSet kPowPart = kAtoms;
constexpr FormSet kNegArg = kAtoms | Bit(fPow);

// Operators searched in the text.
enum OpKind : int { kPlus = 0, kMinus, kStar, kSlash, kCaret, kComma, kDivOp, kModOp, kOpKinds };
// Further position lists: '+' and '+'/'-' that can only be the operator of a sum or a difference
// (see Analyzer::Index).
enum : int { kRealPlus = kOpKinds, kRealPM, kBareDivMod, kLists };

struct BinaryForm {
  Form form;
  OpKind op;
  int len;              // characters of the operator
  bool stop_at_first;   // an occurrence at the first character ends the search (+ * / ^)
  bool stop_at_last;    // an occurrence at the last character ends the search
  FormSet left, right;  // the forms each part may have
  uint8_t code;
};

const BinaryForm kBinary[] = {
    {fSum, kPlus, 1, true, true, kSumLeft, kSumRight, opAdd},
    {fDiff, kMinus, 1, false, true, kSumLeft, kDiffRight, opSubtract},
    {fProd, kStar, 1, true, true, kProdLeft, kProdRight, opMultiply},
    {fIDiv, kDivOp, 3, false, false, kProdLeft, kQuotRight, opDiv},
    {fMod, kModOp, 3, false, false, kProdLeft, kQuotRight, opMod},
    {fQuot, kSlash, 1, true, true, kProdLeft, kQuotRight, opDivide},
    {fPow, kCaret, 1, true, true, kPowPart, kPowPart, opPower},
};

const BinaryForm& BinaryOf(Form f) {
  for (const BinaryForm& b : kBinary)
    if (b.form == f) return b;
  throw EParserInternalError();
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || IsDigit(c) || c == '_'; }
bool StartChar(char c) { return IsNameChar(c) || c == '.' || c == '(' || c == '+' || c == '-'; }
bool EndChar(char c) { return IsNameChar(c) || c == '.' || c == ')'; }

// Thrown inside the form tests when the recursion gets too deep; the test is then completed
// from the deepest pending question upwards (see Analyzer::Top).
struct TooDeep {};

// A substring [a, b) of the prepared text; `set` false is the initial single blank of a
// recorded part.
struct Part {
  bool set = false;
  int a = 0, b = 0;
};

// Form tests over substrings of one prepared text.
class Analyzer {
 public:
  Analyzer(std::string_view s, const CompileInput& in) : s_(s), n_(static_cast<int>(s.size())), in_(in) {
    Index();
  }

  std::string_view Text(int i, int j) const { return s_.substr(i, j - i); }
  char At(int k) const { return s_[k]; }
  bool Balanced(int i, int j) const { return depth_[i] == depth_[j]; }

  // Entry points that may be called from outside the recursive tests.
  bool Valid(int i, int j) { return Top([&] { return AnyOf(kValid, i, j); }); }
  bool AnyOfTop(FormSet set, int i, int j) { return Top([&] { return AnyOf(set, i, j); }); }
  bool FitsTop(Form f, int i, int j) { return Top([&] { return Fits(f, i, j); }); }
  int SplitTop(const BinaryForm& bf, int i, int j) {
    return Top([&] { return FindSplit(bf, i, j); });
  }
  bool IsB(int i, int j) { return FitsTop(fB, i, j); }
  bool IsVariable(int i, int j) const { return FindVariable(i, j) != nullptr; }
  double* FindVariable(int i, int j) const {
    if (j - i <= 0 || static_cast<size_t>(j - i) > in_.vars->MaxNameLength()) return nullptr;
    double* const* cell = in_.vars->Find(Text(i, j));
    return cell ? *cell : nullptr;
  }
  bool IsNumber(int i, int j) const;
  double NumberValue(int i, int j) const;

  // First '(' at or after k, or n.
  int FirstParen(int k) const { return next_paren_[k]; }
  // Where the text [i, j), which is no valid expression, goes wrong.
  int Locate(int i, int j);
  // Every occurrence of op (regardless of brackets), sorted.
  const std::vector<int>& Occurrences(OpKind op) const { return all_[op]; }

 private:
  void Index();

  template <class F>
  auto Top(F f) -> decltype(f()) {
    for (;;) {
      try {
        level_ = 0;
        return f();
      } catch (const TooDeep&) {
        SolvePending();
      }
    }
  }
  void SolvePending() {
    while (!pending_.empty()) {
      auto [f, i, j] = pending_.back();
      try {
        level_ = 0;
        Fits(static_cast<Form>(f), i, j);
        pending_.pop_back();
      } catch (const TooDeep&) {
        // a deeper question was queued; it is answered first
      }
    }
  }

  bool AnyOf(FormSet set, int i, int j);
  bool Fits(Form f, int i, int j);
  bool Compute(Form f, int i, int j);
  int FindSplit(const BinaryForm& bf, int i, int j);

  // Positions at depth d in [lo, hi) of an index list: the first one, or the last one, or
  // `none`.
  int First(int list, int d, int lo, int hi, int none) const {
    const auto& v = by_depth_[list];
    auto it = std::lower_bound(v.begin(), v.end(), std::make_pair(d, lo));
    return it != v.end() && it->first == d && it->second < hi ? it->second : none;
  }
  // The last DIV or MOD lying wholly in [i, j) that is no part of a variable name, or -1.
  int LastDivMod(int d, int i, int j) const { return Last(kBareDivMod, d, i, j - 2, -1); }
  int Last(int list, int d, int lo, int hi, int none) const {
    const auto& v = by_depth_[list];
    auto it = std::lower_bound(v.begin(), v.end(), std::make_pair(d, hi));
    if (it == v.begin()) return none;
    --it;
    return it->first == d && it->second >= lo ? it->second : none;
  }

  // Memo: key (i, j) -> bits [0, 13) known, [16, 29) value. Open addressing, Fibonacci hash.
  uint32_t* MemoSlot(int i, int j);
  bool IsRealSumOperator(int k) const;
  size_t Hash(uint64_t key) const { return (key * 0x9E3779B97F4A7C15ull) >> (64 - memo_bits_); }
  int memo_bits_ = 10;

  std::string_view s_;
  int n_;
  const CompileInput& in_;
  std::vector<int> depth_;       // depth_[k]: count of '(' minus count of ')' in s[0, k)
  std::vector<int> drop_;        // first q > k with depth_[q] < depth_[k], or n + 1
  std::vector<int> next_paren_;  // first '(' at or after k, or n
  std::vector<int> digits_end_;  // first non-digit at or after k
  std::vector<int> all_[kOpKinds];
  std::vector<std::pair<int, int>> by_depth_[kLists];  // (depth, position), sorted
  std::vector<uint64_t> memo_keys_;
  std::vector<uint32_t> memo_vals_;
  size_t memo_count_ = 0;
  int level_ = 0;
  std::vector<std::tuple<int, int, int>> pending_;
};

constexpr int kMaxRecursion = 300;

void Analyzer::Index() {
  const int n = n_;
  depth_.assign(n + 1, 0);
  for (int k = 0; k < n; ++k)
    depth_[k + 1] = depth_[k] + (s_[k] == '(' ? 1 : 0) - (s_[k] == ')' ? 1 : 0);
  drop_.assign(n + 1, n + 1);
  {
    std::vector<int> stack;  // positions with increasing depth
    for (int q = 0; q <= n; ++q) {
      while (!stack.empty() && depth_[stack.back()] > depth_[q]) {
        drop_[stack.back()] = q;
        stack.pop_back();
      }
      stack.push_back(q);
    }
  }
  next_paren_.assign(n + 1, n);
  digits_end_.assign(n + 1, n);
  for (int k = n - 1; k >= 0; --k) {
    next_paren_[k] = s_[k] == '(' ? k : next_paren_[k + 1];
    digits_end_[k] = IsDigit(s_[k]) ? digits_end_[k + 1] : k;
  }
  for (int k = 0; k < n; ++k) {
    int op = -1;
    switch (s_[k]) {
      case '+': op = kPlus; break;
      case '-': op = kMinus; break;
      case '*': op = kStar; break;
      case '/': op = kSlash; break;
      case '^': op = kCaret; break;
      case ',': op = kComma; break;
      case 'D':
        if (s_.substr(k, 3) == "DIV") op = kDivOp;
        break;
      case 'M':
        if (s_.substr(k, 3) == "MOD") op = kModOp;
        break;
      default: break;
    }
    if (op >= 0) {
      all_[op].push_back(k);
      by_depth_[op].push_back({depth_[k], k});
    }
    if ((op == kPlus || op == kMinus) && k > 0 && IsRealSumOperator(k)) {
      if (op == kPlus) by_depth_[kRealPlus].push_back({depth_[k], k});
      by_depth_[kRealPM].push_back({depth_[k], k});
    }
  }
  // An operand of a power or on the right of DIV, MOD or '/' holds no DIV or MOD outside
  // brackets, unless inside a variable's name. The DIV and MOD that no occurrence of a
  // variable name with DIV or MOD in it covers are "bare".
  std::vector<char> in_name(n + 1, 0);
  for (const auto& [name, cell] : in_.vars->items()) {
    if (name.find("DIV") == std::string::npos && name.find("MOD") == std::string::npos) continue;
    for (size_t at = s_.find(name); at != std::string_view::npos; at = s_.find(name, at + 1))
      std::fill(in_name.begin() + at, in_name.begin() + at + name.size(), 1);
  }
  for (int op : {kDivOp, kModOp})
    for (int k : all_[op])
      if (!in_name[k] && !in_name[k + 1] && !in_name[k + 2])
        by_depth_[kBareDivMod].push_back({depth_[k], k});
  for (auto& v : by_depth_) std::sort(v.begin(), v.end());
  memo_keys_.assign(1024, 0);
  memo_vals_.assign(1024, 0);
}

// Inside an operand of any form but a sum or a difference, a '+' or '-' outside brackets is a
// numeral's sign or a negation (at the start of an operand, so after an operator, '(' or ','),
// or an exponent's sign (after the E of a numeral whose exponent digits end the operand). Any
// other '+' or '-' at k can only be the operator of a sum or a difference: "real".
bool Analyzer::IsRealSumOperator(int k) const {
  const char c = s_[k - 1];
  if (std::strchr("+-*/^(,", c)) return false;
  auto ends_divmod = [&](int end) {  // "DIV" or "MOD" ends just before `end`
    return end >= 3 && (s_.substr(end - 3, 3) == "DIV" || s_.substr(end - 3, 3) == "MOD");
  };
  auto starts_divmod = [&](int at) {
    return s_.substr(at, 3) == "DIV" || s_.substr(at, 3) == "MOD";
  };
  if ((c == 'V' || c == 'D') && ends_divmod(k)) return false;
  if (c == 'P' && !in_.fixed_number_format) return false;  // hexadecimal numerals
  if (c != 'E') return true;
  if (!in_.fixed_number_format) return false;
  // The mantissa [digits][.digits] before E must start an operand ...
  int m0 = k - 1;
  while (m0 > 0 && (IsDigit(s_[m0 - 1]) || s_[m0 - 1] == '.')) --m0;
  const bool starts_operand = m0 == 0 || !IsNameChar(s_[m0 - 1]) || ends_divmod(m0);
  // ... and the exponent digits must end it.
  const int e_end = digits_end_[k + 1];
  const bool ends_operand = e_end > k + 1 && (e_end == n_ || std::strchr("+-*/^),", s_[e_end]) ||
                                              starts_divmod(e_end));
  return !(starts_operand && ends_operand);
}

uint32_t* Analyzer::MemoSlot(int i, int j) {
  if ((memo_count_ + 1) * 2 > memo_keys_.size()) {
    std::vector<uint64_t> keys(memo_keys_.size() * 2, 0);
    std::vector<uint32_t> vals(keys.size(), 0);
    const size_t mask = keys.size() - 1;
    ++memo_bits_;
    for (size_t t = 0; t < memo_keys_.size(); ++t) {
      if (!memo_keys_[t]) continue;
      size_t h = Hash(memo_keys_[t]);
      while (keys[h]) h = (h + 1) & mask;
      keys[h] = memo_keys_[t];
      vals[h] = memo_vals_[t];
    }
    memo_keys_.swap(keys);
    memo_vals_.swap(vals);
  }
  const uint64_t key = (static_cast<uint64_t>(i) << 32 | static_cast<uint32_t>(j)) + 1;
  const size_t mask = memo_keys_.size() - 1;
  size_t h = Hash(key);
  while (memo_keys_[h] && memo_keys_[h] != key) h = (h + 1) & mask;
  if (!memo_keys_[h]) {
    memo_keys_[h] = key;
    ++memo_count_;
  }
  return &memo_vals_[h];
}

bool Analyzer::IsNumber(int i, int j) const {
  std::string_view t = Text(i, j);
  if (t == "PI" || t == "-PI") return true;
  if (in_.fixed_number_format) {
    // [sign] digits [. digits] [E [sign] digit digits], something after the sign
    int k = i;
    if (k < j && (s_[k] == '+' || s_[k] == '-')) ++k;
    if (k >= j) return false;
    k = std::min(digits_end_[k], j);
    if (k < j && s_[k] == '.') k = std::min(digits_end_[k + 1], j);
    if (k < j && s_[k] == 'E') {
      ++k;
      if (k < j && (s_[k] == '+' || s_[k] == '-')) ++k;
      if (k >= j || !IsDigit(s_[k])) return false;
      k = std::min(digits_end_[k], j);
    }
    return k == j;
  }
  // The platform's conversion with the locale's decimal separator; the whole text must be
  // taken and the value must lie in the double range.
  if (t.empty() || std::isspace(static_cast<unsigned char>(t[0]))) return false;
  std::string copy(t);
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return false;
  return std::isfinite(v);
}

double Analyzer::NumberValue(int i, int j) const {
  std::string_view t = Text(i, j);
  if (t == "PI") return kPi;
  if (t == "-PI") return -kPi;
  if (in_.fixed_number_format) return FixedNumeralValue(t);
  std::string copy(t);
  return std::strtod(copy.c_str(), nullptr);
}

// The place shown to the reader of a syntax error. The text is cut into pieces at its operators
// outside brackets (signs of numerals and exponents stay with them); the place is the first
// piece that is missing or no valid expression (looked into when it is bracketed or the
// arguments of a known function), else the operator at which the text read from the start
// stops being valid.
int Analyzer::Locate(int i, int j) {
  if (i >= j) return i;
  if (s_[i] == '(' && drop_[i + 1] == j) return Locate(i + 1, j - 1);
  const int d = depth_[i];
  auto bare_divmod = [&](int k) {
    const auto& v = by_depth_[kBareDivMod];
    return std::binary_search(v.begin(), v.end(), std::make_pair(d, k));
  };
  auto after_operator = [&](int k) {
    return k == i || std::strchr("+-*/^(,", s_[k - 1]) || (k - 3 >= i && bare_divmod(k - 3));
  };
  struct Separator {
    int at, len;
  };
  std::vector<Separator> seps;
  for (int k = i; k < j; ++k) {
    if (depth_[k] != d) continue;
    const char c = s_[k];
    if (c == ')') return k;  // closes a bracket opened before the text
    if (c == '*' || c == '/' || c == '^' || c == ',') {
      seps.push_back({k, 1});
    } else if (c == '+' || c == '-') {
      if (after_operator(k)) {
        // the sign of a numeral belongs to it
        const char next = k + 1 < j ? s_[k + 1] : ' ';
        if (IsDigit(next) || next == '.' || s_.substr(k + 1, 2) == "PI") continue;
        seps.push_back({k, 1});
      } else if (IsRealSumOperator(k)) {
        seps.push_back({k, 1});
      }
    } else if ((c == 'D' || c == 'M') && k > i && bare_divmod(k)) {
      seps.push_back({k, 3});
      k += 2;
    }
  }
  int a = i;
  for (size_t t = 0; t <= seps.size(); ++t) {
    const int b = t < seps.size() ? seps[t].at : j;
    if (a == b) {
      const bool negation = t == 0 && !seps.empty() && s_[seps[0].at] == '-';
      if (!negation) return t < seps.size() ? seps[t].at : seps[t - 1].at;
    } else if (!Valid(a, b)) {
      if (s_[a] == '(' && drop_[a + 1] == b) return Locate(a + 1, b - 1);
      const int p = next_paren_[a];
      if (p > a && p < b && s_[b - 1] == ')' && drop_[p + 1] == b) {
        const std::string_view name = Text(a, p);
        if (!in_.funcs1->Find(name) && !in_.funcs2->Find(name)) return a;
        // the arguments, between commas inside the call's brackets
        int from = p + 1;
        for (int k = p + 1; k <= b - 1; ++k) {
          if (k < b - 1 && (depth_[k] != d + 1 || s_[k] != ',')) continue;
          if (from == k) return k;
          if (!Valid(from, k)) return Locate(from, k);
          from = k + 1;
        }
      }
      return a;
    }
    if (t < seps.size()) a = seps[t].at + seps[t].len;
  }
  for (size_t t = 1; t <= seps.size(); ++t) {
    const int b = t < seps.size() ? seps[t].at : j;
    if (!Valid(i, b)) return seps[t - 1].at;
  }
  return i;
}

bool Analyzer::AnyOf(FormSet set, int i, int j) {
  if (i >= j) return false;
  // Every valid text is properly nested: cheap rejection of the rest.
  if (depth_[i] != depth_[j] || drop_[i] <= j) return false;
  // A valid text begins with a name, a numeral or '(' and ends with a name, a numeral or ')'.
  if (!StartChar(s_[i]) || !EndChar(s_[j - 1])) return false;
  if ((set & Bit(fV)) && IsVariable(i, j)) return true;
  if ((set & Bit(fN)) && IsNumber(i, j)) return true;
  for (int f = fB; f < kFormCount; ++f)
    if ((set & Bit(static_cast<Form>(f))) && Fits(static_cast<Form>(f), i, j)) return true;
  return false;
}

bool Analyzer::Fits(Form f, int i, int j) {
  if (f == fV) return IsVariable(i, j);
  if (f == fN) return IsNumber(i, j);
  uint32_t* slot = MemoSlot(i, j);
  if (*slot & (1u << f)) return (*slot >> (16 + f)) & 1;
  if (level_ >= kMaxRecursion) {
    pending_.emplace_back(f, i, j);
    throw TooDeep{};
  }
  ++level_;
  const bool v = Compute(f, i, j);
  --level_;
  slot = MemoSlot(i, j);  // the table may have grown meanwhile
  *slot |= (1u << f) | (static_cast<uint32_t>(v) << (16 + f));
  return v;
}

bool Analyzer::Compute(Form f, int i, int j) {
  switch (f) {
    case fB:
      return j - i >= 2 && s_[i] == '(' && s_[j - 1] == ')' && AnyOf(kValid, i + 1, j - 1);
    case fNeg:
      return j - i >= 2 && s_[i] == '-' && AnyOf(kNegArg, i + 1, j);
    case fCall:
    case fCall2: {
      const int p = next_paren_[i];
      if (p >= j || p == i || s_[j - 1] != ')' || j - 1 <= p) return false;
      const std::string_view name = s_.substr(i, p - i);
      if (f == fCall) return in_.funcs1->Find(name) && AnyOf(kValid, p + 1, j - 1);
      if (!in_.funcs2->Find(name)) return false;
      // ',' inside the brackets, the parts only have to be valid expressions
      const auto& list = by_depth_[kComma];
      const int d = depth_[p + 1];
      auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(d, p + 1));
      for (; it != list.end() && it->first == d && it->second < j - 1; ++it) {
        const int k = it->second;
        if (k == p + 1 || k == j - 2) return false;
        if (AnyOf(kValid, p + 1, k) && AnyOf(kValid, k + 1, j - 1)) return true;
      }
      return false;
    }
    default:
      return FindSplit(BinaryOf(f), i, j) >= 0;
  }
}

// The first occurrence of the form's operator at which the form is taken, or -1. Only the
// occurrences outside brackets (the parts hold as many '(' as ')') can be taken.
int Analyzer::FindSplit(const BinaryForm& bf, int i, int j) {
  if (!Balanced(i, j)) return -1;
  const int d = depth_[i];
  static const char kOpChar[] = {'+', '-', '*', '/', '^', ','};
  if (bf.stop_at_first && s_[i] == kOpChar[bf.op]) return -1;
  // The range [lo, hi] of positions where the operator can be taken. Without pruning it is
  // every position; with it, the operators the parts cannot contain narrow it down (see
  // real_pm_): a part that is no sum has no real '+', a part that is no sum or difference no
  // real '+' or '-', a factor no '*', the right part of a quotient no '/', and the parts of a
  // power no '^'.
  int lo = i, hi = j - 1;
  if (!in_.exhaustive) {
    switch (bf.form) {
      case fSum:
        hi = First(kRealPlus, d, i + 1, j, j - 1);
        break;
      case fDiff:
        hi = First(kRealPlus, d, i + 1, j, j - 1);
        lo = Last(kRealPM, d, i + 1, j, i);
        break;
      case fProd:
        if (Last(kRealPM, d, i + 1, j, -1) >= 0) return -1;
        lo = hi = First(kStar, d, i, j, -1);
        if (lo < 0) return -1;
        break;
      case fIDiv:
      case fMod:
        if (Last(kRealPM, d, i + 1, j, -1) >= 0 || First(kStar, d, i, j, -1) >= 0) return -1;
        lo = Last(kSlash, d, i, j, i);
        lo = std::max(lo, LastDivMod(d, i, j) - 2);
        break;
      case fQuot:
        if (Last(kRealPM, d, i + 1, j, -1) >= 0 || First(kStar, d, i, j, -1) >= 0) return -1;
        lo = hi = Last(kSlash, d, i, j, -1);
        if (lo < 0 || LastDivMod(d, i, j) > lo) return -1;
        break;
      case fPow: {
        if (Last(kRealPM, d, i + 1, j, -1) >= 0 || First(kStar, d, i, j, -1) >= 0 ||
            First(kSlash, d, i, j, -1) >= 0 || LastDivMod(d, i, j) >= 0)
          return -1;
        lo = hi = First(kCaret, d, i, j, -1);
        if (lo < 0 || Last(kCaret, d, i, j, -1) != lo) return -1;
        break;
      }
      default: break;
    }
  }
  const auto& list = by_depth_[bf.op];
  auto it = std::lower_bound(list.begin(), list.end(), std::make_pair(d, lo));
  for (; it != list.end() && it->first == d && it->second <= hi && it->second < j; ++it) {
    const int k = it->second;
    if (k + bf.len > j) break;
    if (k == i) continue;  // a sign, or passed over
    if (bf.stop_at_last && k == j - 1) return -1;
    if (AnyOf(bf.left, i, k) && AnyOf(bf.right, k + bf.len, j)) return k;
  }
  return -1;
}

// ---------------------------------------------------------------------------------------------
// Reading terms and building the slot table.

struct Reading {
  uint8_t code = 0;  // opVariable, opConstant, or an operation
  Form form = fV;
  Part left, right;  // the recorded parts (children of an operation)
  double* cell = nullptr;
  double number = 0;
  Func1 f1 = nullptr;
  Func2 f2 = nullptr;
};

struct Operand {
  enum Kind : uint8_t { kNone, kCell, kConstant, kNode } kind = kNone;
  double* cell = nullptr;
  double constant = 0;
  int node = -1;
};

struct CNode {
  uint8_t code = opVariable;
  Operand a, b;
  Func1 f1 = nullptr;
  Func2 f2 = nullptr;
  int64_t n = 0;
};

class Compiler {
 public:
  Compiler(const CompileInput& in, std::string_view prepared)
      : in_(in), an_(prepared, in), root_b_(static_cast<int>(prepared.size())) {}

  Program Run();

 private:
  Reading Read(int i, int j);
  [[noreturn]] void SyntaxError(int i, int j, const Part& l, const Part& r);
  void RecordBinary(const BinaryForm& bf, int i, int j, Part& l, Part& r);
  void Walk(int i, int j, int depth, int column, int side);
  Operand& OperandOf(int depth, int column, int side) {
    CNode& node = nodes_[slots_[depth][column]];
    return side == 1 ? node.a : node.b;
  }

  const CompileInput& in_;
  Analyzer an_;
  int root_a_ = 0, root_b_;
  std::vector<CNode> nodes_;
  int slots_[kMaxDepth + 1][kMaxColumns + 1] = {};
  int count_[kMaxDepth + 1] = {};
};

void Compiler::SyntaxError(int i, int j, const Part& l, const Part& r) {
  std::string msg = "Error parsing expression:\r";
  if (!l.set && !r.set) {
    msg += an_.Text(i, j);
  } else {
    msg += l.set ? std::string(an_.Text(l.a, l.b)) : std::string(" ");
    msg += '\r';
    msg += r.set ? std::string(an_.Text(r.a, r.b)) : std::string(" ");
  }
  ESyntaxError error(msg);
  error.SetPosition(an_.Locate(i, j));
  throw error;
}

// What a failed binary attempt leaves recorded: the parts around the last occurrence that
// passed the position test (each later occurrence overwrites the earlier one).
void Compiler::RecordBinary(const BinaryForm& bf, int i, int j, Part& l, Part& r) {
  static const char kOpChar[] = {'+', '-', '*', '/', '^', ','};
  if (bf.stop_at_first && an_.At(i) == kOpChar[bf.op]) return;
  const auto& all = an_.Occurrences(bf.op);
  // last occurrence k with i < k and (k < j - 1 for one-character operators | k + 3 <= j)
  const int limit = bf.len == 1 ? j - 1 : j - bf.len + 1;  // exclusive
  auto it = std::lower_bound(all.begin(), all.end(), limit);
  if (it == all.begin()) return;
  --it;
  const int k = *it;
  if (k <= i) return;
  l = {true, i, k};
  r = {true, k + bf.len, j};
  if (!an_.Balanced(i, k)) return;  // the parts are not examined
  if (an_.IsB(i, k)) l = {true, i + 1, k - 1};
  if (!an_.AnyOfTop(bf.left, i, k)) return;
  if (an_.IsB(k + bf.len, j)) r = {true, k + bf.len + 1, j - 1};
}

Reading Compiler::Read(int i, int j) {
  Reading rd;
  Part& l = rd.left;
  Part& r = rd.right;
  if (double* cell = an_.FindVariable(i, j)) {
    rd.code = opVariable;
    rd.cell = cell;
    return rd;
  }
  if (an_.IsNumber(i, j)) {
    rd.code = opConstant;
    rd.form = fN;
    rd.number = an_.NumberValue(i, j);
    return rd;
  }
  if (j > i && an_.At(i) == '-') {
    l = {true, i + 1, j};
    if (an_.IsB(i + 1, j)) l = {true, i + 2, j - 1};
    if (an_.AnyOfTop(kNegArg, i + 1, j)) {
      rd.code = opNegate;
      rd.form = fNeg;
      return rd;
    }
  }
  for (const BinaryForm& bf : kBinary) {
    const int k = j > i ? an_.SplitTop(bf, i, j) : -1;
    if (k < 0) {
      if (j > i) RecordBinary(bf, i, j, l, r);
      continue;
    }
    l = {true, i, k};
    r = {true, k + bf.len, j};
    // A bracketed part stands for its inner text, through any number of bracket pairs (so
    // that X^((2)) is still a square).
    while (an_.IsB(l.a, l.b)) l = {true, l.a + 1, l.b - 1};
    while (an_.IsB(r.a, r.b)) r = {true, r.a + 1, r.b - 1};
    rd.form = bf.form;
    rd.code = bf.code;
    if (bf.form == fPow && an_.IsNumber(r.a, r.b) && !an_.IsVariable(r.a, r.b)) {
      // An exponent that is a numeral with an integer value picks a fixed routine. A numeral
      // beyond the double range is reported when the exponent itself is read.
      double e = 0.5;
      try {
        e = an_.NumberValue(r.a, r.b);
      } catch (const EOverflow&) {
      }
      if (e == std::trunc(e) && e >= -2147483648.0 && e <= 2147483647.0) {
        rd.code = e == 2 ? opSquare : e == 3 ? opCube : e == 4 ? opFourth : opIntPower;
        rd.number = e;
      }
    }
    return rd;
  }
  const int p = j > i ? an_.FirstParen(i) : j;
  if (p < j && p > i && an_.At(j - 1) == ')' && j - 1 > p) {
    std::string_view name = an_.Text(i, p);
    if (const Func1* f = in_.funcs1->Find(name)) {
      l = {true, p + 1, j - 1};
      if (an_.IsB(p + 1, j - 1)) l = {true, p + 2, j - 2};
      if (an_.Valid(p + 1, j - 1)) {
        rd.code = opFunc1;
        rd.form = fCall;
        rd.f1 = *f;
        return rd;
      }
    }
    if (const Func2* f = in_.funcs2->Find(name)) {
      const auto& commas = an_.Occurrences(kComma);
      auto it = std::lower_bound(commas.begin(), commas.end(), p + 1);
      for (; it != commas.end() && *it < j - 1; ++it) {
        const int k = *it;
        if (k == p + 1 || k == j - 2) break;
        l = {true, p + 1, k};
        if (an_.IsB(p + 1, k)) l = {true, p + 2, k - 1};
        if (!an_.Valid(p + 1, k)) continue;
        r = {true, k + 1, j - 1};
        if (an_.IsB(k + 1, j - 1)) r = {true, k + 2, j - 2};
        if (an_.Valid(k + 1, j - 1)) {
          rd.code = opFunc2;
          rd.form = fCall2;
          rd.f2 = *f;
          return rd;
        }
      }
    }
  }
  SyntaxError(i, j, l, r);
}

void Compiler::Walk(int i, int j, int depth, int column, int side) {
  // An operand whose brackets were dropped once can be bracketed again, as in ((X))+1 or
  // -((2)): it stands for its inner text. No form but the bracketed one fits such a text, so
  // this only turns what would be a syntax error into the reading of the inner text.
  while (j - i >= 2 && an_.IsB(i, j)) {
    ++i;
    --j;
  }
  const Reading rd = Read(i, j);
  if (rd.code == opVariable) {
    Operand& o = OperandOf(depth, column, side);
    o.kind = Operand::kCell;
    o.cell = rd.cell;
    return;
  }
  if (rd.code == opConstant) {
    Operand& o = OperandOf(depth, column, side);
    o.kind = Operand::kConstant;
    o.constant = rd.number;
    return;
  }
  const int d = depth + 1;
  if (d > kMaxDepth) throw ETooManyNestings();
  int k = count_[d] + 1;
  if (k > kMaxColumns) throw EExpressionTooComplex();
  CNode node;
  node.code = rd.code;
  node.f1 = rd.f1;
  node.f2 = rd.f2;
  node.n = static_cast<int64_t>(rd.number);
  nodes_.push_back(node);
  slots_[d][k] = static_cast<int>(nodes_.size()) - 1;
  {
    Operand& o = OperandOf(depth, column, side);
    o.kind = Operand::kNode;
    o.node = slots_[d][k];
  }
  // Codes 2, 11, 12, 13 and 14 have one operand; the exponent of a square, cube or fourth
  // power is part of the code and makes no term.
  const bool unary = rd.code == opNegate || rd.code == opFunc1 || rd.code == opSquare ||
                     rd.code == opCube || rd.code == opFourth;
  if (unary) ++count_[d];
  Walk(rd.left.a, rd.left.b, d, k, 1);
  if (unary) return;
  if (d > kMaxDepth) throw ETooManyNestings();
  k = count_[d] + 1;
  if (k > kMaxColumns) throw EExpressionTooComplex();
  ++count_[d];
  Walk(rd.right.a, rd.right.b, d, k, 2);
}

Program Compiler::Run() {
  // Enclosing brackets around a valid expression are dropped, as often as they occur.
  while (root_b_ - root_a_ >= 2 && an_.At(root_a_) == '(' && an_.At(root_b_ - 1) == ')' &&
         an_.Valid(root_a_ + 1, root_b_ - 1)) {
    ++root_a_;
    --root_b_;
  }
  // Row 0 holds the node that receives the value of the whole expression.
  nodes_.push_back(CNode{});
  slots_[0][1] = 0;
  count_[0] = 1;
  Walk(root_a_, root_b_, 0, 1, 1);

  Program prog;
  prog.compiled = true;
  if (nodes_.size() == 1) {
    const Operand& o = nodes_[0].a;
    if (o.kind == Operand::kCell) {
      prog.single = o.cell;
    } else {
      prog.single_constant = o.constant;
      prog.single = nullptr;
    }
    return prog;
  }
  // Registers: variables, constants, results.
  std::map<const double*, uint16_t> var_regs;
  std::vector<double> constants;
  auto collect = [&](const Operand& o) {
    if (o.kind == Operand::kCell && !var_regs.count(o.cell)) {
      uint16_t idx = static_cast<uint16_t>(var_regs.size());
      var_regs.emplace(o.cell, idx);
    }
  };
  for (size_t t = 1; t < nodes_.size(); ++t) {
    collect(nodes_[t].a);
    collect(nodes_[t].b);
  }
  const size_t nv = var_regs.size();
  size_t nc = 0;
  for (size_t t = 1; t < nodes_.size(); ++t)
    nc += (nodes_[t].a.kind == Operand::kConstant) + (nodes_[t].b.kind == Operand::kConstant);
  const size_t nr = nodes_.size() - 1;
  prog.regs.assign(nv + nc + nr, 0.0);
  for (auto& [cell, idx] : var_regs) prog.vars.push_back({idx, cell});
  size_t next_const = nv;
  auto reg_of = [&](const Operand& o) -> uint16_t {
    switch (o.kind) {
      case Operand::kCell: return var_regs.at(o.cell);
      case Operand::kConstant:
        prog.regs[next_const] = o.constant;
        return static_cast<uint16_t>(next_const++);
      case Operand::kNode: return static_cast<uint16_t>(nv + nc + o.node - 1);
      default: return 0;
    }
  };
  // Evaluation order: the deepest row first, each row from column 1 to its count.
  int deepest = 0;
  for (int d = 1; d <= kMaxDepth; ++d)
    if (count_[d] > 0) deepest = d;
  for (int d = deepest; d >= 1; --d) {
    for (int c = 1; c <= count_[d]; ++c) {
      const int id = slots_[d][c];
      const CNode& node = nodes_[id];
      Instr ins{};
      ins.op = node.code;
      ins.a = reg_of(node.a);
      ins.b = node.b.kind == Operand::kNone ? 0 : reg_of(node.b);
      ins.r = static_cast<uint16_t>(nv + nc + id - 1);
      if (node.code == opFunc1)
        ins.f1 = node.f1;
      else if (node.code == opFunc2)
        ins.f2 = node.f2;
      else
        ins.n = node.n;
      if (node.code == opFunc1 && node.f1 == &Random) prog.has_random = true;
      prog.code.push_back(ins);
    }
  }
  prog.result = prog.code.back().r;
  Instr end{};
  end.op = opEnd;
  prog.code.push_back(end);
  return prog;
}

}  // namespace

double FixedNumeralValue(std::string_view s) {
  // Rewritten into the C library's syntax (no empty mantissa) and converted in the C locale.
  std::string t;
  t.reserve(s.size() + 4);
  size_t k = 0;
  if (k < s.size() && (s[k] == '+' || s[k] == '-')) t += s[k++];
  size_t start = k;
  while (k < s.size() && IsDigit(s[k])) ++k;
  t.append(s.substr(start, k - start));
  bool any = k > start;
  if (k < s.size() && s[k] == '.') {
    ++k;
    start = k;
    while (k < s.size() && IsDigit(s[k])) ++k;
    if (k > start) {
      t += '.';
      t.append(s.substr(start, k - start));
      any = true;
    }
  }
  if (!any) t += '0';
  if (k < s.size()) {
    t += 'e';
    t.append(s.substr(k + 1));
  }
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  const double v = strtod_l(t.c_str(), nullptr, c_locale);
  if (std::isinf(v)) throw EOverflow();
  return v;
}

Program Compile(const CompileInput& in) {
  // Upper case (ASCII letters only), trimmed of blanks at both ends.
  std::string text(in.text);
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    text.clear();
  } else {
    size_t last = text.find_last_not_of(' ');
    text = text.substr(first, last - first + 1);
  }
  if (text.find(' ') != std::string::npos) throw EExpressionHasBlanks();
  // The place of a missing bracket: the first ')' closing nothing, else the first '(' never
  // closed.
  std::vector<int> open;
  int unmatched = -1;
  for (int k = 0; k < static_cast<int>(text.size()); ++k) {
    if (text[k] == '(') {
      open.push_back(k);
    } else if (text[k] == ')') {
      if (open.empty()) {
        if (unmatched < 0) unmatched = k;
      } else {
        open.pop_back();
      }
    }
  }
  size_t opened = 0, closed = 0;
  for (char c : text) {
    opened += c == '(';
    closed += c == ')';
  }
  const int shift = first == std::string::npos ? 0 : static_cast<int>(first);
  if (opened != closed) {
    EMissMatchingBracket error;
    error.SetPosition(shift + (unmatched >= 0 ? unmatched : open.front()));
    throw error;
  }

  CompileInput with_text = in;
  with_text.text = text;
  try {
    Compiler c(with_text, text);
    return c.Run();
  } catch (EMathParserError& e) {
    if (e.Position() >= 0) e.SetPosition(e.Position() + shift);
    throw;
  }
}

}  // namespace numeric::detail
