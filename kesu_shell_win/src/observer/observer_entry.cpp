#include "observer/observer_entry.h"

namespace kesu::shell {

void start_correction_observer(std::string_view inserted_text) { (void)inserted_text; }

}  // namespace kesu::shell
