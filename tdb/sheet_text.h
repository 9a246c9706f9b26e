#pragma once
// Expressions of the program's own language written from the piecewise functions of
// tdb/gibbs.h. The language nests sums one level per operator and allows at most 20 levels
// and 50 operations per level, so long sums are grouped into a tree that stays inside both
// limits.

#include <memory>
#include <string>
#include <vector>

#include "tdb/gibbs.h"

namespace tdb {

struct Node;
using NodePtr = std::shared_ptr<const Node>;

struct Node {
  enum Kind { Num, Var, Call, Sum, Sub, Mul, Div, Pow } kind;
  double num = 0;             // Num; the exponent of Pow
  std::string name;           // Var, Call
  std::vector<NodePtr> kids;  // Sum: any number of terms, grouped when written
};

NodePtr Number(double v);
NodePtr Variable(const std::string& name);
NodePtr CallOf(const std::string& name, NodePtr arg);
NodePtr SumOf(std::vector<NodePtr> terms);
NodePtr Difference(NodePtr a, NodePtr b);
NodePtr Product(NodePtr a, NodePtr b);
NodePtr Quotient(NodePtr a, NodePtr b);
NodePtr PowerOf(NodePtr base, int exponent);

// A sum of terms; a zero sum is the number 0.
NodePtr NodeOf(const Lin& l);
// Pieces joined with HEAV: p0 + HEAV(T-t1)*(p1-p0) + HEAV(T-t2)*(p2-p1) + ...
NodePtr NodeOf(const Piecewise& p);

// The shortest text of v that reads back as the same double, in the language's numeral form
// (exponent as E5 or E-7, never E+5).
std::string NumberText(double v);

// The operations the expression's text holds (a sum of k terms k - 1, every call one), counted
// up to a little beyond kMaxOperations.
int OperationCount(const NodePtr& n);

// Writes the expression. Sums are grouped so that the text stays inside the language's
// limits when that is possible; *fits tells whether it is. No text is written (and *why says
// so) when the expression is deeper than the language allows whatever the grouping, or holds
// more operations than kMaxOperations.
std::string Write(const NodePtr& n, bool* fits, std::string* why = nullptr);

}  // namespace tdb
