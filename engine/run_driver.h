// One whole run from an argument vector shaped like a console command line
// (element 0 the program name, then option clusters, then none or two
// folders). Returns the exit code: 0 after a completed walk, 1 otherwise; the
// dialog build adds 54 (run lock held elsewhere) and 1 after a stop request.
// The compare buffers (reserve_compare_buffers) must exist when a run starts:
// a run without them ends with 1 after parsing, before any result file is
// opened.
#pragma once

#include <string>
#include <vector>

#include "engine/run_state.h"

namespace zub {

inline constexpr int EXIT_LOCK_HELD = 54;

int run_engine(run_state& run, const std::vector<std::u16string>& args);

}  // namespace zub
