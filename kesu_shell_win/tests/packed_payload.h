#pragma once

// Test payloads are packed the way the build packs the real ones (a gzip stream).

#include <zlib.h>

#include <string_view>
#include <vector>

inline std::vector<unsigned char> gzip_packed(std::string_view bytes) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::vector<unsigned char> out(deflateBound(&z, static_cast<uLong>(bytes.size())) + 32);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}
