#include "tray/app_icon.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_dir.h"

namespace kesu::shell {
namespace {

std::uint32_t u16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8);
}
std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return u16(b, at) | (u16(b, at + 2) << 16);
}

TEST(AppIcon, WellFormedIcoWithThreeSizes) {
  const auto bytes = app_icon_bytes();
  EXPECT_EQ(bytes, app_icon_bytes());  // deterministic
  ASSERT_GE(bytes.size(), 6u + 3 * 16);
  EXPECT_EQ(u16(bytes, 0), 0u);
  EXPECT_EQ(u16(bytes, 2), 1u);
  ASSERT_EQ(u16(bytes, 4), 3u);
  std::size_t expected_offset = 6 + 3 * 16;
  const int sizes[] = {16, 32, 48};
  for (int i = 0; i < 3; ++i) {
    const std::size_t entry = 6 + 16 * i;
    const int size = sizes[i];
    EXPECT_EQ(bytes[entry], size);
    EXPECT_EQ(bytes[entry + 1], size);
    EXPECT_EQ(u16(bytes, entry + 4), 1u);   // planes
    EXPECT_EQ(u16(bytes, entry + 6), 32u);  // bits per pixel
    const std::uint32_t length = u32(bytes, entry + 8);
    const std::uint32_t offset = u32(bytes, entry + 12);
    EXPECT_EQ(offset, expected_offset);
    const std::size_t mask_row = ((size + 31) / 32) * 4;
    EXPECT_EQ(length, 40 + size * size * 4 + mask_row * size);
    ASSERT_LE(offset + length, bytes.size());
    EXPECT_EQ(u32(bytes, offset), 40u);
    EXPECT_EQ(u32(bytes, offset + 4), static_cast<std::uint32_t>(size));
    EXPECT_EQ(u32(bytes, offset + 8), static_cast<std::uint32_t>(2 * size));
    EXPECT_EQ(u16(bytes, offset + 14), 32u);
    // Corners transparent (rounded square), centre opaque and the microphone light.
    const std::size_t pixels = offset + 40;
    const auto alpha = [&](int x, int y) {
      return bytes[pixels + ((size - 1 - y) * size + x) * 4 + 3];
    };
    EXPECT_EQ(alpha(0, 0), 0);
    EXPECT_EQ(alpha(size - 1, size - 1), 0);
    EXPECT_EQ(alpha(size / 2, size / 2), 255);
    const std::size_t mic = pixels + ((size - 1 - size * 3 / 8) * size + size / 2) * 4;
    EXPECT_GT(bytes[mic], 200) << size;  // blue channel of the light microphone
    expected_offset += length;
  }
  EXPECT_EQ(expected_offset, bytes.size());
}

std::vector<std::uint8_t> read_all(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(AppIcon, FileWrittenOnceAndReplacedWhenDifferent) {
  TempDir tmp;
  const auto dir = tmp.path() / "AppData" / "Kesu";
  const auto bytes = app_icon_bytes();
  const auto path = ensure_icon_file(dir, bytes);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(*path, dir / "kesu.ico");
  EXPECT_EQ(read_all(*path), bytes);

  // Same bytes: left alone (an old modification time survives).
  std::filesystem::last_write_time(
      *path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(48));
  // Read back: the file system keeps the time at its own precision.
  const auto old_time = std::filesystem::last_write_time(*path);
  EXPECT_EQ(ensure_icon_file(dir, bytes), path);
  EXPECT_EQ(std::filesystem::last_write_time(*path), old_time);

  // Different bytes (an older icon, or a damaged file): rewritten.
  { std::ofstream(*path, std::ios::binary) << "not an icon"; }
  std::filesystem::last_write_time(*path, old_time);
  EXPECT_EQ(ensure_icon_file(dir, bytes), path);
  EXPECT_EQ(read_all(*path), bytes);
  EXPECT_NE(std::filesystem::last_write_time(*path), old_time);
}

TEST(AppIcon, UnusableDirectoryGivesNone) {
  TempDir tmp;
  const auto blocker = tmp.path() / "file";
  { std::ofstream(blocker) << "x"; }
  EXPECT_FALSE(ensure_icon_file(blocker / "Kesu", app_icon_bytes()).has_value());
  // A directory where the icon file should be.
  std::filesystem::create_directories(tmp.path() / "d" / "kesu.ico");
  EXPECT_FALSE(ensure_icon_file(tmp.path() / "d", app_icon_bytes()).has_value());
}

}  // namespace
}  // namespace kesu::shell
