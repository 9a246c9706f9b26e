#pragma once
// The problem record as the calculation engine sees it: plain values, read by the host from the
// current record of the problem table just before they are needed.

#include <string>

namespace calc {

// Which quantity runs along the vertical axis (the item index of the Y parameter list).
enum class YParameter { None = -1, Temperature = 0, Pressure = 1 };

// The texts of the Y parameter list, as shown.
inline constexpr const char* kTemperatureText = "Temperature, K";
inline constexpr const char* kPressureText = "Pressure, bar";

// The shown text of a Y parameter; empty for None.
inline std::string YParameterText(YParameter y) {
  switch (y) {
    case YParameter::Temperature: return kTemperatureText;
    case YParameter::Pressure: return kPressureText;
    default: return std::string();
  }
}

struct ProblemInput {
  std::string ProblemName;
  // The phase sheet, lines separated by CR, LF or CR LF.
  std::string Functs;
  YParameter Yparameter = YParameter::Temperature;
  double Ymin = 0;
  double Ymax = 0;
  // The text of the fixed parameter's label ("P, bar" or "T, K"), used in the message about an
  // unassigned Y parameter.
  std::string Zparameter;
  double Zvalue = 0;
  int XPoints = 100;
  int YPoints = 100;
  bool ShowMosaicDiagram = false;
  bool ShowChart = false;
  // Solve the features the grid found from the Gibbs energies after a complete sweep
  // (Results::Refined); off leaves the grid-only results.
  bool Refine = true;
};

}  // namespace calc
