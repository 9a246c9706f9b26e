#include "cli/run_host.h"

#include <cstdio>

#include "cli/messages.h"

namespace cli {

RunHost::RunHost(const calc::ProblemInput& p, const RunOptions& options)
    : options_(options), engine_(*this, *this, results_) {
  problem = p;
  settings.decimal_separator = options.separator;
  settings.mosaic_width = options.mosaic_w;
  settings.mosaic_height = options.mosaic_h;
}

void RunHost::Record(const std::string& type, const std::string& text, const std::string& place) {
  messages_.push_back({type, text, place});
  const std::string shown = place.empty() ? text : text + " (" + place + ")";
  std::fprintf(stderr, "%s: %s\n", type.c_str(), TerminalText(shown).c_str());
}

calc::DialogButton RunHost::MessageDlg(const std::string& text, calc::DialogType type,
                                       const std::vector<calc::DialogButton>& buttons) {
  Record(calc::MessageKind(type), text);
  return HeadlessHost::MessageDlg(text, type, buttons);
}

void RunHost::SweepCompleted() {
  completed_ = true;
  engine_.FindSpecialPoints(calc::YParameterText(problem.Yparameter));
}

}  // namespace cli
