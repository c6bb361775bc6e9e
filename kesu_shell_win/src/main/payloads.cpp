#include "main/payloads.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

#include "main/gzip_stream.h"
#include "main/text.h"

namespace kesu::shell {

namespace fs = std::filesystem;

namespace {

std::string stamp_of(std::span<const unsigned char> bytes) {
  char hash[17];
  std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(fnv1a64(bytes)));
  return std::to_string(bytes.size()) + "-" + hash;
}

std::string os_error_text(const std::error_code& ec) { return sanitize_utf8(ec.message()); }

bool is_library(const Payload& p) {
  return p.kind == PayloadKind::CoreLibrary || p.kind == PayloadKind::Runtime;
}

const Payload* core_payload(std::span<const Payload> payloads) {
  for (const Payload& p : payloads) {
    if (p.kind == PayloadKind::CoreLibrary) return &p;
  }
  return nullptr;
}

}  // namespace

std::uint64_t fnv1a64(std::span<const unsigned char> bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char b : bytes) {
    hash ^= b;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string expected_stamp(std::span<const Payload> payloads) {
  std::string stamp;
  if (const Payload* core = core_payload(payloads)) stamp = stamp_of(core->bytes);
  for (const Payload& p : payloads) {
    if (p.kind != PayloadKind::Runtime) continue;
    stamp += " " + std::string(p.name) + "=" + stamp_of(p.bytes);
  }
  return stamp;
}

void write_models(const fs::path& data_dir, std::span<const Payload> payloads, const LogFn& log) {
  const fs::path dir = data_dir / "models";
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return;
  for (const Payload& p : payloads) {
    if (p.kind != PayloadKind::Model) continue;
    const fs::path file = dir / path_from_utf8(p.name);
    const auto size = fs::file_size(file, ec);
    if (!ec && size == gzip_unpacked_size(p.bytes)) continue;
    std::string ignored;
    if (gunzip_to_file(p.bytes, file, ignored)) log("内置模型已解出：" + path_to_utf8(file));
  }
}

Placement place_core_library(const std::optional<fs::path>& exe_dir, const fs::path& data_dir,
                             std::span<const Payload> payloads, const LogFn& log) {
  if (!exe_dir) return {{}, "拿不到 exe 所在目录"};
  const Payload* core = core_payload(payloads);
  if (core == nullptr) return {{}, "这个程序没有带核心库"};
  std::error_code ec;
  const fs::path beside = *exe_dir / path_from_utf8(core->name);
  if (fs::is_regular_file(beside, ec)) return {beside, {}};

  const fs::path bin = data_dir / "bin";
  fs::create_directories(bin, ec);
  if (ec) return {{}, "建目录失败：" + os_error_text(ec)};

  const std::string stamp = expected_stamp(payloads);
  const fs::path stamp_file = bin / "kesu_core.stamp";
  const fs::path library = bin / path_from_utf8(core->name);

  bool up_to_date = false;
  if (std::ifstream in{stamp_file, std::ios::binary}) {
    std::ostringstream text;
    text << in.rdbuf();
    up_to_date = trim(text.str()) == stamp;
  }
  for (const Payload& p : payloads) {
    if (up_to_date && is_library(p)) up_to_date = fs::is_regular_file(bin / path_from_utf8(p.name), ec);
  }
  if (up_to_date) return {library, {}};

  // The core first: its failure is the one the user must hear about. The stamp goes last so an
  // interrupted write is redone at the next start.
  std::string why;
  if (!gunzip_to_file(core->bytes, library, why)) return {{}, "写 dll 失败：" + why};
  for (const Payload& p : payloads) {
    if (p.kind != PayloadKind::Runtime) continue;
    const fs::path file = bin / path_from_utf8(p.name);
    if (!gunzip_to_file(p.bytes, file, why)) {
      return {{}, "写 dll 失败：" + path_to_utf8(file) + "：" + why};
    }
    // The core starts some of these (its model checker) as programs.
    fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add, ec);
  }
  if (std::ofstream out{stamp_file, std::ios::binary | std::ios::trunc}) out << stamp;
  log("CORE 内置 dll 已解出：" + path_to_utf8(library));
  return {library, {}};
}

}  // namespace kesu::shell
