#pragma once

// The executable carries its payloads as gzip streams; these read them back.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace kesu::shell {

// The unpacked length recorded in a gzip stream's trailer (modulo 4 GiB, which no payload
// reaches); 0 for a buffer too short to be a gzip stream.
std::uint64_t gzip_unpacked_size(std::span<const unsigned char> packed);

// Writes the unpacked bytes to `file`. Fails (and says why) on a damaged stream or one whose
// length is not the trailer's, so a half-written file is never taken for a good one.
bool gunzip_to_file(std::span<const unsigned char> packed, const std::filesystem::path& file,
                    std::string& error);

}  // namespace kesu::shell
