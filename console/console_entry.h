// The start-up of the console program zub64, from the UTF-16 argument vector
// to the exit status.
#pragma once

#include <string>
#include <vector>

namespace zub {

// Expands wildcard arguments, reserves the compare buffers, writes the banner
// to standard error, runs the engine once, releases the buffers and returns
// the run's exit status.
int zub64_main(std::vector<std::u16string> args);

}  // namespace zub
