#pragma once

// Opening the selection rewrite palette (left Ctrl + left Alt + E).

namespace kesu::shell {

// The palette itself is not built yet: this says so in the trace and opens nothing.
void open_selection_palette();

}  // namespace kesu::shell
