// Read-only access to a directory tree that looks like the root of a Linux system (/sys, /proc).
// Production code reads "/"; tests point it at captured trees under tests/fixtures.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sampler {

class FileTree {
 public:
  explicit FileTree(std::filesystem::path root = "/") : root_(std::move(root)) {}

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path path(std::string_view relative) const { return root_ / relative; }

  // The file's contents, at most 64 KiB (pseudo files are small; a bound keeps a strange tree
  // from making a root process read without end). nullopt when it cannot be read.
  std::optional<std::string> read(std::string_view relative) const;
  // The file's first token as a non-negative decimal integer.
  std::optional<uint64_t> readUnsigned(std::string_view relative) const;
  // The file's first line without surrounding white space; nullopt when unreadable or empty.
  std::optional<std::string> readLine(std::string_view relative) const;
  // Names in a directory, sorted in natural order (card2 before card10); empty when missing.
  std::vector<std::string> list(std::string_view relative) const;
  bool exists(std::string_view relative) const;

 private:
  std::filesystem::path root_;
};

// Parses a kernel CPU list such as "0-3,8,10-11\n". nullopt when malformed; bounded to CPU
// numbers below 65536 so a bad file cannot ask for a huge vector.
std::optional<std::vector<int>> parseCpuList(std::string_view text);

// "card10" sorts after "card2": compares embedded decimal numbers by value.
bool naturalLess(std::string_view a, std::string_view b);

// Leading decimal digits of a string as a number; nullopt when there are none.
std::optional<uint64_t> parseLeadingUnsigned(std::string_view text);

}  // namespace sampler
