// Small readers for /proc and /sys files below a root directory, so every Linux reader (the
// platform back end and the root sampler alike) can be pointed at a captured tree in tests.
// Nothing here throws: a missing or unreadable file is an absent value.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::linux_fs {

// Paths are system paths: "/proc/stat" and "proc/stat" name the same file, and neither can
// leave the root through a leading slash.
class Root {
 public:
  explicit Root(std::filesystem::path root = "/") : root_(std::move(root)) {}

  const std::filesystem::path& root() const { return root_; }
  // The path of a system path inside this root.
  std::filesystem::path at(std::string_view systemPath) const;

  // The file's contents, or nullopt. Reading stops at kMaxFileBytes: the sampler runs as root,
  // and a strange tree must not make it read without end.
  std::optional<std::string> read(std::string_view systemPath) const;
  // The first line, trimmed of surrounding white space and trailing NUL bytes (device-tree
  // strings end in one).
  std::optional<std::string> readLine(std::string_view systemPath) const;
  // A decimal or 0x-prefixed integer covering the whole first line.
  std::optional<int64_t> readInteger(std::string_view systemPath) const;
  // The file's first token as a non-negative decimal integer ("12 34" is 12, "12abc" nothing):
  // the form of the kernel's counters and frequencies.
  std::optional<uint64_t> readUnsigned(std::string_view systemPath) const;
  // Names of the entries of a directory, sorted so that "card2" comes before "card10".
  std::vector<std::string> list(std::string_view systemPath) const;
  bool exists(std::string_view systemPath) const;
  // The last component of a symbolic link's target (a driver's name), or nullopt.
  std::optional<std::string> linkName(std::string_view systemPath) const;

 private:
  std::filesystem::path root_;
};

// 1 MiB: /proc/cpuinfo of a 256-CPU machine is about 500 KiB and must arrive whole; sysfs
// attributes are a page at most.
inline constexpr size_t kMaxFileBytes = size_t{1} << 20;

std::string trim(std::string_view text);
// A decimal or 0x-prefixed integer covering the whole trimmed text.
std::optional<int64_t> parseInteger(std::string_view text);
// A kernel CPU list such as "0-3,8,10-11\n", sorted and without repeats; nullopt when malformed.
// CPU numbers stay below 65536 and the list below 65536 entries, so a bad file cannot ask for a
// huge vector.
std::optional<std::vector<int>> parseCPUList(std::string_view text);
// Splits on a separator, keeping empty pieces.
std::vector<std::string> split(std::string_view text, char separator);
// Orders names by their text with embedded numbers compared as numbers.
bool naturalLess(std::string_view a, std::string_view b);

}  // namespace platform::linux_fs
