// One whole run from an argument vector shaped like a console command line
// (element 0 the program name, then option clusters, then none or two
// folders). Returns the exit code: 0 after a completed walk, 1 otherwise; the
// dialog build adds 54 (run lock held elsewhere) and 1 after a stop request.
// The compare buffers (reserve_compare_buffers) must exist when a run starts:
// a run without them ends with 1 after parsing, before any result file is
// opened.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/run_state.h"

namespace zub {

inline constexpr int EXIT_LOCK_HELD = 54;

// The console build's usage text ("%s": the program name), also what
// `zub64 --help` prints.
inline constexpr std::u16string_view usage_text =
    u"usage: %s [-s|-d] [-r] [-z] [-t] [-e ext] [-p] [-q] [-a] [-v] [-l] [-c|-b] [-f ext] [-n] [-g] [-k] [-w] "
    u"[-i] [-m] [-1|2|3|4] [srcdir dstdir]\n";

int run_engine(run_state& run, const std::vector<std::u16string>& args);

}  // namespace zub
