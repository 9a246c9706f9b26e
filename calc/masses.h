#pragma once
// Mass fractions: the atomic (or molar) masses of the two components and the conversion of
// compositions between the mole fraction X of B and its mass fraction W, both ways.

#include <optional>
#include <string>
#include <string_view>

namespace calc {

// The standard atomic weight of an element (IUPAC, abridged to five significant digits;
// the mass number of the longest-lived isotope for an element without a stable one), by its
// symbol in any letter case ("PB", "Sn"). None for a name that is no element.
std::optional<double> StandardAtomicMass(std::string_view symbol);

struct ComponentMasses {
  double A = 0, B = 0;  // g/mol
  bool Known() const { return A > 0 && B > 0; }
};

// The masses of a sheet's components: a comment directive "% masses: 207.2 118.71" (any case
// for the word; two positive numbers separated by blanks or a comma; the first such line wins),
// else the standard atomic weights of the element names of "% components: PB SN". Unknown (0
// and 0) when the sheet gives neither.
ComponentMasses ReadComponentMasses(std::string_view functs);

// W = X mB / (X mB + (1 - X) mA) and back, X = W mA / (W mA + (1 - W) mB): 0 and 1 map onto
// themselves, and a composition converted there and back comes out within a few units in the
// last place.
double MassFractionB(double x, const ComponentMasses& m);
double MoleFractionB(double w, const ComponentMasses& m);

// The mass of a mole of atoms at composition x.
inline double MolarMass(double x, const ComponentMasses& m) {
  return (1 - x) * m.A + x * m.B;
}
// The mass fraction of a phase of composition x that holds the mole fraction n of the atoms of
// an alloy of composition `overall`.
inline double PhaseMassFraction(double n, double x, double overall, const ComponentMasses& m) {
  return n > 0 ? n * MolarMass(x, m) / MolarMass(overall, m) : n;
}

}  // namespace calc
