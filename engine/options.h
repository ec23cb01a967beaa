// The option parser: turns an argument vector shaped like a console command
// line (element 0 the program name, then option clusters, then none or two
// folders) into the run's options and the position of the folder arguments.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/run_state.h"

namespace zub {

enum class parse_outcome {
    PARSED,      // options stored; none or exactly two folder arguments remain
    HELP,        // h or ? met (console build only)
    BAD_OPTION,  // an unknown letter; its line has been written
    BAD_USAGE,   // the vector cannot describe a run
};

struct parse_result {
    parse_outcome outcome = parse_outcome::BAD_USAGE;
    size_t first_folder = 0;  // index of the first folder argument
    size_t folder_count = 0;  // 0 or 2 when PARSED
};

// Fills run.options (and run.load_level from the digits). The caller resets
// the options before. The bad-option line "%s: bad option %c\n" goes to the
// host's error stream and to zubaer.log. With the POSIX path style only '-'
// begins an option cluster (a leading '/' is an absolute path); with the
// Windows style '-' and '/' do.
parse_result parse_options(run_state& run, const std::vector<std::u16string>& args, path_style style = native_style());

}  // namespace zub
