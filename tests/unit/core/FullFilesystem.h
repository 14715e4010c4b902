// A small tmpfs on a fresh folder, filled to the last byte: a real disk that is full, for the
// tests of what happens when a write fails there. Mounting needs root (as the tests run in CI);
// elsewhere `skipReason` says why there is none and the test skips with it, visibly.
#pragma once

#include <locale.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fxtest {

struct FullFilesystem {
  // What a full disk is called in the messages of a program started with this environment: the
  // system's text, in the language the environment asks for.
  static std::string noSpaceText() {
    const std::string before = ::setlocale(LC_ALL, nullptr);
    ::setlocale(LC_ALL, "");
    std::string text = std::strerror(ENOSPC);
    ::setlocale(LC_ALL, before.c_str());
    return text;
  }

  std::filesystem::path path;
  std::string skipReason;  // non-empty when no full file system could be made

  // Mounts at `at` (created), makes `folders` inside, then fills what is left.
  explicit FullFilesystem(const std::filesystem::path& at,
                          const std::vector<std::string>& folders = {}) {
    if (::geteuid() != 0) {
      skipReason = "mounting a small tmpfs needs root";
      return;
    }
    std::error_code ec;
    std::filesystem::create_directories(at, ec);
    if (::mount("tmpfs", at.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0755") != 0) {
      skipReason = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    path = at;
    for (const std::string& f : folders)
      std::filesystem::create_directories(path / f, ec);
    std::ofstream filler(path / "filler", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
           filler.flush()) {
    }
  }
  ~FullFilesystem() {
    // Detached, so a file a test process still holds open cannot keep it mounted.
    if (!path.empty()) ::umount2(path.c_str(), MNT_DETACH);
  }
  FullFilesystem(const FullFilesystem&) = delete;
  FullFilesystem& operator=(const FullFilesystem&) = delete;
};

}  // namespace fxtest
