// Small readers for /proc and /sys files below a root directory, so every Linux reader can be
// pointed at a captured tree in tests. Nothing here throws: a missing or unreadable file is an
// absent value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linux_fs {

class Root {
 public:
  explicit Root(std::filesystem::path root = "/") : root_(std::move(root)) {}

  // The path of an absolute system path ("/proc/stat") inside this root.
  std::filesystem::path at(std::string_view systemPath) const;

  // The whole file, or nullopt. Files of /proc and /sys are small; reading stops at 1 MiB.
  std::optional<std::string> read(std::string_view systemPath) const;
  // The first line, trimmed of surrounding white space and trailing NUL bytes (device-tree
  // strings end in one).
  std::optional<std::string> readLine(std::string_view systemPath) const;
  std::optional<int64_t> readInteger(std::string_view systemPath) const;
  // Names of the entries of a directory, sorted so that "card2" comes before "card10".
  std::vector<std::string> list(std::string_view systemPath) const;
  bool exists(std::string_view systemPath) const;
  // The last component of a symbolic link's target (a driver's name), or nullopt.
  std::optional<std::string> linkName(std::string_view systemPath) const;

 private:
  std::filesystem::path root_;
};

std::string trim(std::string_view text);
// A decimal or 0x-prefixed integer covering the whole trimmed text.
std::optional<int64_t> parseInteger(std::string_view text);
// A kernel CPU list such as "0-3,8,10-11"; nullopt when malformed.
std::optional<std::vector<int>> parseCPUList(std::string_view text);
// Splits on a separator, keeping empty pieces.
std::vector<std::string> split(std::string_view text, char separator);
// Orders names by their text with embedded numbers compared as numbers.
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace platform::linux_fs
