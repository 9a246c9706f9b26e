#pragma once
// Scheil-Gulliver solidification of one alloy: the liquid stays mixed and in equilibrium with
// the solid forming at its surface, the solid already formed does not change. On cooling the
// liquid's composition follows the liquidus of the solid that forms, and its amount f_L
// follows d ln f_L = dx_L / (x_L - x_S), integrated along the exact tie lines of every
// temperature, until a second solid appears beside the first (the eutectic, where the last
// liquid freezes), the liquid is used up, or the lowest temperature is reached.

#include <string>
#include <vector>

#include "calc/masses.h"
#include "calc/phase_sheet.h"

namespace calc {

struct ScheilRequest {
  double X = 0.5;  // the alloy (mole fraction of B)
  // Temperatures in K, From above To, and how many points evenly between them.
  double From = 0, To = 0;
  int Points = 201;
  double P = 1;  // bar
  // The liquid phase by name; empty: LIQUID, L or the one solution phase whose name begins with
  // LIQ.
  std::string Liquid;
};

// How a Scheil path ended.
enum class ScheilEnd {
  Eutectic,     // a second solid appeared: the last liquid froze into both at EndT
  LiquidGone,   // the liquid reached the composition of its solid (a congruent point, a minimum)
  LowestLevel,  // liquid was left at To
  AtOnce,       // the alloy froze at one temperature (a pure component, a congruent point)
  Stopped,      // something the model cannot follow (see Note), or an error
};

// How a Scheil path ended, as the files and Python say it: "eutectic", "liquid used up",
// "lowest temperature", "froze at once", "stopped".
const char* ScheilEndText(ScheilEnd end);

struct ScheilEvent {
  double T = 0;
  std::string Text;  // "FCC_A1 forms", "BCT_A5 forms instead of FCC_A1", "eutectic LIQUID → ..."
};

struct ScheilResult {
  std::string Liquid;               // the liquid's name
  std::vector<std::string> Solids;  // the solids formed, in order of appearance
  // Along the path (the exact liquidus and event temperatures included; the eutectic twice,
  // before and after the last liquid froze): T, the fraction solid, the liquid's composition
  // (NaN once none is left), and the amount of each solid formed so far.
  std::vector<double> T, FractionSolid, LiquidX;
  std::vector<std::vector<double>> SolidAmounts;  // [solid][point]
  // The moles of B in each solid formed so far, per mole of the alloy (its mean composition is
  // this over its amount): what a mass fraction needs.
  std::vector<std::vector<double>> SolidB;  // [solid][point]
  double LiquidusT = 0;                     // where the first solid formed (NaN when none did)
  double EndT = 0;                          // where the path ended
  double LastLiquid = 0;                    // the fraction of liquid left just before the end
  ScheilEnd End = ScheilEnd::Stopped;
  std::vector<ScheilEvent> Events;
  std::string Note;   // why a path stopped short, for the user
  std::string Error;  // not empty when no path could be computed
};

// The liquid of a sheet as ScheilRequest::Liquid describes it; empty when there is none or the
// choice is not clear.
std::string FindLiquid(const PhaseSheet& sheet, const std::string& wanted);

std::string CheckScheilRequest(const ScheilRequest& request);

ScheilResult Scheil(PhaseSheet& sheet, const ScheilRequest& request);

// The same path with its fractions by mass (FractionSolid, SolidAmounts, LastLiquid) for the
// alloy x0 and the components' masses; compositions stay mole fractions.
ScheilResult ScheilByMass(const ScheilResult& r, double x0, const ComponentMasses& masses);

}  // namespace calc
