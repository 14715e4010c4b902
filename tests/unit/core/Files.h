// Whole-file reads and writes for tests: a file that cannot be read reads as empty, which the
// comparison that follows reports; a write that fails throws, which fails the test that made it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace fxtest {

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Creates the parent folders; `executable` gives the owner every permission, for a script.
inline void writeFile(const std::filesystem::path& p, const std::string& text,
                      bool executable = false) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw std::runtime_error("could not write " + p.string());
  if (executable) std::filesystem::permissions(p, std::filesystem::perms::owner_all);
}

}  // namespace fxtest
