#include "selection/palette_entry.h"

#include "main/logs.h"

namespace kesu::shell {

void open_selection_palette() { trace("选区改写面板尚未实现"); }

}  // namespace kesu::shell
