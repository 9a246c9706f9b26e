#pragma once
// Texts of the engine's notices beyond its errors: the warning about sheet lines the compiler
// skipped, and the information why a completed run left the diagram empty. %1 stands for the
// variable part, so that a translation can move it.

namespace calc {

// Warning of the problem check, followed by one "line N: text" per skipped line.
inline constexpr const char* kIgnoredLinesText =
    "These lines of the phase sheet were ignored (no phase, entropy or point-phase line, no "
    "\"=\", or no expression):";
// After that many lines the list ends with kMoreIgnoredLinesText.
inline constexpr int kIgnoredLinesListed = 20;
inline constexpr const char* kMoreIgnoredLinesText = "... and %1 more";

// Information at the end of a sweep whose diagram shows nothing: kBlankDiagramText with one
// of the reasons below in place of %1.
inline constexpr const char* kBlankDiagramText = "The diagram is empty: %1";
inline constexpr const char* kBlankOneSolutionPhaseText =
    "the phase sheet has a single solution phase (%1). The sweep needs at least two solution "
    "phases; point phases alone formed no tie line.";
inline constexpr const char* kBlankNoExpressionText =
    "the lines of the solution phases %1 have no expression, so fewer than two phases take "
    "part.";
inline constexpr const char* kBlankNoEnergyText =
    "no phase has a Gibbs energy below 1e10 at any X level of any level.";
inline constexpr const char* kBlankAtOrBelowZeroText =
    "every tie line lies at a Y of 0 or below, which the diagram does not show.";
inline constexpr const char* kBlankSingleFieldText =
    "no two-phase field and no change of phase lie in the range; the cells show %1 only.";

}  // namespace calc
