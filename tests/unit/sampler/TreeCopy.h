// A private copy of a captured tree that a test may change, removed when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace sampler_test {

inline std::filesystem::path fixture(const std::string& relative) {
  return std::filesystem::path(FERROLUX_FIXTURES_DIR) / relative;
}

class TreeCopy {
 public:
  explicit TreeCopy(const std::filesystem::path& source) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fx-sampler-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) != nullptr) root_ = tmpl;
    if (!source.empty()) copyOver(source);
  }
  ~TreeCopy() {
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }
  TreeCopy(const TreeCopy&) = delete;
  TreeCopy& operator=(const TreeCopy&) = delete;

  const std::filesystem::path& root() const { return root_; }

  // Lays a tree over the copy, replacing the files it holds (the state after a window).
  void copyOver(const std::filesystem::path& source) {
    std::filesystem::copy(source, root_,
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing |
                              std::filesystem::copy_options::copy_symlinks);
  }
  void write(const std::string& relative, const std::string& text) {
    auto p = root_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  void remove(const std::string& relative) { std::filesystem::remove_all(root_ / relative); }

 private:
  std::filesystem::path root_;
};

}  // namespace sampler_test
