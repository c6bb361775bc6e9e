#include "inject/insert_now.h"

#ifdef _WIN32
#include "inject/insert_platform_win.h"
#include "inject/ui_automation_win.h"
#include "main/logs.h"
#include "main/platform.h"
#endif

namespace kesu::shell {

InsertOutcome insert_now(std::string_view text, std::string_view mode) {
#ifdef _WIN32
  win::WinInsertPlatform platform(true);
  const auto uia = win::open_ui_automation();
  InsertContext ctx{platform, *uia, {}};
  if (platform::env_var("KESU_INJECT_DEBUG")) ctx.debug = [](std::string_view t) { stderr_line(t); };
  return insert_text(ctx, text, mode, 0);
#else
  (void)text, (void)mode;
  return {"undelivered", "没有桌面，无法上屏"};
#endif
}

}  // namespace kesu::shell
