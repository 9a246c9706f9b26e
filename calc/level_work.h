#pragma once
// Internal to the engine: the work arrays of the level step.

#include <utility>
#include <vector>

#include "calc/engine.h"
#include "calc/hull.h"

namespace calc {

struct Engine::LevelWork {
  std::vector<double> x, g;
  Hull hull;
  // (lower X, higher X) of every segment written at this level.
  std::vector<std::pair<double, double>> segments;
};

}  // namespace calc
