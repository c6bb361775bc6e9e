// The headless Linux build has no logon registry: nothing can be registered, so nothing is.

#include "settings/autostart.h"

namespace kesu::shell {

namespace {

class NoLogonRegistry final : public AutostartRegistry {
 public:
  SetOutcome set(bool enable) override {
    // Removing what cannot exist succeeds, as removing a missing Run value does on Windows.
    if (!enable) return {};
    return {"这台机器没有开机自启的注册表"};
  }
  std::optional<std::string> read() override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<AutostartRegistry> make_system_autostart_registry() {
  return std::make_unique<NoLogonRegistry>();
}

}  // namespace kesu::shell
