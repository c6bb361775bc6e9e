#include "main/gzip_stream.h"

#include <zlib.h>

#include <array>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "main/text.h"

namespace kesu::shell {

namespace {

// inflateEnd on every path out.
struct Inflater {
  z_stream z{};
  bool ready = false;
  Inflater() { ready = inflateInit2(&z, 16 + MAX_WBITS) == Z_OK; }  // 16: gzip framing only
  ~Inflater() {
    if (ready) inflateEnd(&z);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
};

std::string os_error_text() {
  return sanitize_utf8(std::error_code(errno, std::generic_category()).message());
}

}  // namespace

std::uint64_t gzip_unpacked_size(std::span<const unsigned char> packed) {
  if (packed.size() < 18) return 0;
  const unsigned char* t = packed.data() + packed.size() - 4;
  return std::uint64_t{t[0]} | std::uint64_t{t[1]} << 8 | std::uint64_t{t[2]} << 16 |
         std::uint64_t{t[3]} << 24;
}

bool gunzip_to_file(std::span<const unsigned char> packed, const std::filesystem::path& file,
                    std::string& error) {
  Inflater inflater;
  if (!inflater.ready) {
    error = "解压器起不来";
    return false;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = os_error_text();
    return false;
  }
  z_stream& z = inflater.z;
  // zlib counts in uInt; every payload is far below 4 GiB.
  z.next_in = const_cast<Bytef*>(packed.data());
  z.avail_in = static_cast<uInt>(packed.size());
  std::array<unsigned char, 1 << 16> chunk;
  std::uint64_t written = 0;
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = chunk.data();
    z.avail_out = static_cast<uInt>(chunk.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    const std::size_t produced = chunk.size() - z.avail_out;
    out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(produced));
    written += produced;
    if (rc == Z_OK && produced == 0 && z.avail_in == 0) break;  // truncated input
  }
  out.close();
  if (!out) {
    error = os_error_text();
  } else if (rc != Z_STREAM_END || written != gzip_unpacked_size(packed)) {
    error = "内置文件已损坏";
  } else {
    return true;
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return false;
}

}  // namespace kesu::shell
