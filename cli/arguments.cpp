#include "cli/arguments.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

namespace cli {

namespace {

// Bytes through Qt and back unchanged, whatever the encoding of a file name.
QString Bytes(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}
std::string Bytes(const QString& s) {
  return s.toLatin1().toStdString();
}

// An option as it was typed: "--name" or, for one letter, "-n" where "--n" was not given.
std::string Typed(const std::string& name, const Args& args) {
  if (name.size() > 1) return "--" + name;
  for (const std::string& a : args)
    if (a == "--" + name || a.rfind("--" + name + "=", 0) == 0) return "--" + name;
  return "-" + name;
}

}  // namespace

bool Arguments::Has(const std::string& name) const {
  for (const auto& g : given_)
    if (g.first == name) return true;
  return false;
}

std::string Arguments::Value(const std::string& name) const {
  std::string v;
  for (const auto& g : given_)
    if (g.first == name) v = g.second;
  return v;
}

std::string ParseArguments(const Args& args, const std::vector<OptionDef>& options,
                           Arguments& out) {
  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  parser.addOption(QCommandLineOption(QStringList{"h", "help"}));
  std::vector<std::string> known;
  for (const OptionDef& o : options) {
    QStringList names{QString::fromLatin1(o.name)};
    if (*o.short_name) names << QString::fromLatin1(o.short_name);
    QCommandLineOption option(names);
    if (o.value) option.setValueName("value");
    parser.addOption(option);
    known.push_back(std::string("--") + o.name);
  }
  QStringList list{"brelona-calc"};
  for (const std::string& a : args) list << Bytes(a);
  if (!parser.parse(list)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
      // A value missing at the end, or given to an option that takes none.
      for (const OptionDef& o : options) {
        for (const std::string& name :
             {std::string("--") + o.name, *o.short_name ? std::string("-") + o.short_name : ""}) {
          if (name.empty()) continue;
          if (o.value && args.back() == name) return name + " needs a value";
          for (const std::string& a : args)
            if (!o.value && a.rfind(name + "=", 0) == 0) return name + " takes no value";
        }
      }
      return parser.errorText().toStdString();
    }
    const std::string name = Typed(Bytes(unknown.front()), args);
    const std::string near = Nearest(name, known);
    return "unknown option " + name + (near.empty() ? "" : "; did you mean '" + near + "'?");
  }
  out = Arguments();
  // Each option's values in the order given: Value() takes the last.
  for (const OptionDef& o : options) {
    const QString name = QString::fromLatin1(o.name);
    if (!parser.isSet(name)) continue;
    if (!o.value) {
      out.given_.push_back({o.name, ""});
      continue;
    }
    for (const QString& v : parser.values(name)) out.given_.push_back({o.name, Bytes(v)});
  }
  for (const QString& p : parser.positionalArguments()) out.positional_.push_back(Bytes(p));
  return {};
}

std::string ChooseWord(const std::string& option, const std::string& word,
                       const std::vector<std::string>& words, std::string& complaint) {
  for (const std::string& w : words)
    if (Lower(w) == Lower(word)) return w;
  std::string list;
  for (size_t i = 0; i < words.size(); ++i)
    list += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  complaint = option + " needs " + list;
  const std::string near = Nearest(word, words);
  if (!near.empty()) complaint += "; did you mean '" + near + "'?";
  return {};
}

std::string ChooseFormats(const std::string& list, bool& png, bool& svg, bool& pdf) {
  png = svg = pdf = false;
  for (size_t start = 0; start <= list.size();) {
    const size_t comma = std::min(list.find(',', start), list.size());
    std::string complaint;
    const std::string f = ChooseWord("--format", list.substr(start, comma - start),
                                     {"png", "svg", "pdf", "none"}, complaint);
    if (f.empty()) return complaint;
    png = png || f == "png";
    svg = svg || f == "svg";
    pdf = pdf || f == "pdf";
    start = comma + 1;
  }
  return {};
}

}  // namespace cli
