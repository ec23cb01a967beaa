// The tree walk: visits the source tree depth first and pairs every source
// file with the entry of the same relative path under the destination tree.
#pragma once

#include <string_view>

#include "run_state.h"

namespace zub {

void walk_tree(run_state& run, std::u16string_view src, std::u16string_view dst);

}  // namespace zub
