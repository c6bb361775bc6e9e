#include "settings/control_reuse.h"

#include <cstddef>

namespace kesu::shell {

ControlShape control_shape(const ControlSpec& spec) {
  switch (spec.kind) {
    case ControlKind::label:
    case ControlKind::heading:
      return ControlShape::static_text;
    case ControlKind::level_bar:
      return ControlShape::owner_drawn_static;
    case ControlKind::button:
    case ControlKind::primary_button:
    case ControlKind::toggle:
      return ControlShape::owner_drawn_button;
    case ControlKind::edit:
      return spec.read_only ? ControlShape::read_only_edit : ControlShape::edit;
    case ControlKind::password_edit:
      return ControlShape::password_edit;
    case ControlKind::multiline_edit:
      return spec.read_only ? ControlShape::read_only_multiline_edit : ControlShape::multiline_edit;
    case ControlKind::list_box:
      return ControlShape::list_box;
    case ControlKind::key_capture:
      return ControlShape::key_capture;
    case ControlKind::info_marker:
      return ControlShape::none;
  }
  return ControlShape::none;
}

ReusePlan plan_reuse(const std::vector<ExistingWindow>& existing,
                     const std::vector<ControlSpec>& next) {
  ReusePlan plan;
  plan.take.assign(next.size(), -1);
  std::vector<bool> taken(existing.size(), false);
  const auto reusable = [](ControlShape shape) {
    return shape != ControlShape::none && shape != ControlShape::key_capture;
  };
  const auto claim = [&](std::size_t i, bool same_id) {
    const ControlShape shape = control_shape(next[i]);
    if (!reusable(shape)) return;
    for (std::size_t w = 0; w < existing.size(); ++w) {
      if (taken[w] || existing[w].shape != shape) continue;
      if (same_id && existing[w].id != next[i].id) continue;
      taken[w] = true;
      plan.take[i] = static_cast<int>(w);
      return;
    }
  };
  for (std::size_t i = 0; i < next.size(); ++i) {
    if (next[i].id != kIdNone) claim(i, true);
  }
  for (std::size_t i = 0; i < next.size(); ++i) {
    if (plan.take[i] < 0) claim(i, false);
  }
  for (std::size_t w = 0; w < existing.size(); ++w) {
    if (!taken[w]) plan.destroy.push_back(static_cast<int>(w));
  }
  return plan;
}

}  // namespace kesu::shell
