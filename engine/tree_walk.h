// The tree walk: visits the source tree depth first and pairs every source
// file with the entry of the same relative path under the destination tree.
#pragma once

#include <string_view>

#include "engine/run_state.h"

namespace zub {

// False when the status of the source root cannot be taken (reported on
// standard error and in the run log): the run has nothing to compare.
bool walk_tree(run_state& run, std::u16string_view src, std::u16string_view dst);

}  // namespace zub
