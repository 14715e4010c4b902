// A fresh directory under the system's temporary directory, removed with everything in it when
// the owner goes away, also when a test stops at a failed assertion.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace fxtest {

struct ScratchDir {
  std::filesystem::path path;  // empty when no directory could be made

  explicit ScratchDir(const std::string& prefix = "fx-test") {
    std::string tmpl = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
};

}  // namespace fxtest
