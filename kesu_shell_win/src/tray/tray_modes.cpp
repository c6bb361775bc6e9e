#include "tray/tray_modes.h"

#include <string>

namespace kesu::shell {

namespace {

std::string yes_no(bool v) { return v ? "true" : "false"; }

}  // namespace

std::string tray_drop_line(bool dropped, bool back) {
  return "TRAYDROP dropped=" + yes_no(dropped) + " back=" + yes_no(back);
}

std::optional<int> run_tray_modes(const TrayModeContext& ctx) {
  const Args& a = ctx.args;
  using namespace std::chrono_literals;
  if (a.has("--mini-toggle")) {
    ctx.actions.toggle_mini();
    ctx.sleep(400ms);
    ctx.log("MINI shown=" + yes_no(ctx.mini_visible()));
    return 0;
  }
  if (a.has("--tray-cmd")) {
    const int id = int_value(a.value("--tray-cmd"), -1);
    if (id < 0) {
      ctx.log("USAGE --tray-cmd <id>：1001 复制 1002 诊断 1003 退出 1004 设置 1006 历史 1009 主窗");
      return 0;
    }
    const bool before = ctx.mini_visible();
    ctx.log("TRAYCMD start id=" + std::to_string(id));
    run_tray_command(id, ctx.state, ctx.actions);
    ctx.log("TRAYCMD ran id=" + std::to_string(id));
    // Lets the window settle and an asynchronous message be written before the lines end.
    ctx.sleep(400ms);
    ctx.log("TRAYCMD id=" + std::to_string(id) + " mini_before=" + yes_no(before) +
            " mini_after=" + yes_no(ctx.mini_visible()));
    return 0;
  }
  if (a.has("--tray-menu-dump")) {
    ctx.log(dump_tray_menu(build_tray_menu(read_tray_menu_inputs(ctx.state, ctx.developer_mode))));
    return 0;
  }
  if (a.has("--tray-menu-demo")) {
    ctx.open_menu();
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace kesu::shell
