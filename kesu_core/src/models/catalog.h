#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kesu {

// One model the core can download and install.
struct CatalogRow {
  std::string_view id;
  std::string_view release_tag;
  std::string_view file_name;  // as published; also its name on a mirror
  std::string_view marker;     // relative to the models directory; exists once installed
  std::uint32_t approx_mb;
  bool archive;  // a .tar.bz2 unpacked into the models directory, else one file copied there
};

std::span<const CatalogRow> download_catalog();

// Exact, case-sensitive match; nullptr for any id not in the catalog (including "stub").
const CatalogRow* find_catalog_row(std::string_view id);

// Download root of the upstream releases; KESU_MODEL_RELEASE_BASE replaces it (tests point it at
// a loopback server).
std::string release_base();

// <release base>/<release tag>/<file name>.
std::string official_url(const CatalogRow& row);

}  // namespace kesu
