// The benchmark's targets (doc/benchmark.md), each judged on the medians of
// a full run and printed with its figures: "met" or "NOT met".
#pragma once

#include <vector>

#include "tools/benchmark/bench.h"

namespace kestrune::bench {

struct Case;

void printTargets(const std::vector<Case>& cases, const Sizes& sizes);

}  // namespace kestrune::bench
