#include "tools/bless/TargetTree.h"
#include "shared/process/WriteAll.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

namespace bless {
namespace {

using xpc::UniqueFd;

std::string why() {
  return std::strerror(errno);
}

// Components of an absolute path, refusing "." and ".." so a target cannot leave the root.
std::optional<std::vector<std::string>> components(const std::string& path) {
  if (path.empty() || path.front() != '/') return std::nullopt;
  std::vector<std::string> parts;
  for (const auto& part : std::filesystem::path(path).relative_path()) {
    const std::string s = part.string();
    if (s.empty()) continue;
    if (s == "." || s == "..") return std::nullopt;
    parts.push_back(s);
  }
  return parts;
}

// Nobody but root (or the user running a scratch install) may be able to change it.
std::optional<std::string> unsafe(const struct stat& st, const std::string& shown) {
  if (!S_ISDIR(st.st_mode)) return shown + " is not a directory";
  if (st.st_uid != 0 && st.st_uid != ::geteuid()) return shown + " belongs to another user";
  if (st.st_mode & S_IWOTH) return shown + " is writable by every user";
  if ((st.st_mode & S_IWGRP) && st.st_gid != 0) return shown + " is writable by a group";
  return std::nullopt;
}

UniqueFd openDirectory(int parent, const std::string& name) {
  return UniqueFd(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

bool copyProgram(const SealedCopy& from, int to) {
  std::vector<char> buffer(1 << 16);
  for (std::uint64_t offset = 0; offset < from.size();) {
    const ssize_t n = ::pread(from.fd(), buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || !proc::writeAll(to, std::string_view(buffer.data(), static_cast<size_t>(n))))
      return false;
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

std::string temporaryName(const std::string& name) {
  unsigned char random[8] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
    std::memset(random, 0, sizeof random);
  static const char* hex = "0123456789abcdef";
  std::string out = "." + name + ".bless-";
  for (unsigned char c : random) {
    out.push_back(hex[c >> 4]);
    out.push_back(hex[c & 15]);
  }
  return out;
}

}  // namespace

struct TargetTree::State {
  struct Directory {
    std::string shown;                 // the directory as installed, for messages
    UniqueFd deepest;                  // the deepest component that exists
    std::vector<std::string> missing;  // components below it, created by install()
  };
  struct Created {
    int parent;  // a descriptor owned by `directories` or `opened`
    std::string name;
    bool isDirectory;
  };

  std::vector<TargetFile> files;
  std::map<std::string, Directory> directories;  // by the directory's installed path
  std::vector<UniqueFd> opened;                  // directories made by install()
  std::vector<Created> created;                  // what install() added, in order

  void undo() {
    for (auto it = created.rbegin(); it != created.rend(); ++it)
      ::unlinkat(it->parent, it->name.c_str(), it->isDirectory ? AT_REMOVEDIR : 0);
    created.clear();
  }
};

TargetTree::TargetTree(std::unique_ptr<State> state) : state_(std::move(state)) {}
TargetTree::TargetTree(TargetTree&&) noexcept = default;
TargetTree& TargetTree::operator=(TargetTree&&) noexcept = default;
TargetTree::~TargetTree() = default;

std::optional<TargetTree> TargetTree::check(const std::string& root, std::vector<TargetFile> files,
                                            std::string& error) {
  auto state = std::make_unique<State>();
  const std::string rootShown = root.empty() ? "/" : root;
  UniqueFd rootFd(::open(rootShown.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!rootFd.valid() || ::fstat(rootFd.get(), &st) != 0) {
    error = rootShown + ": " + why();
    return std::nullopt;
  }
  if (auto bad = unsafe(st, rootShown)) {
    error = *bad;
    return std::nullopt;
  }

  for (const auto& file : files) {
    const auto parts = components(file.path);
    if (!parts || parts->empty()) {
      error = "not an installable path: " + file.path;
      return std::nullopt;
    }
    const std::string dirPath = std::filesystem::path(file.path).parent_path().string();
    if (!state->directories.count(dirPath)) {
      State::Directory dir;
      dir.shown = root + dirPath;
      dir.deepest = UniqueFd(::fcntl(rootFd.get(), F_DUPFD_CLOEXEC, 0));
      std::string shown = root;
      for (size_t i = 0; i + 1 < parts->size(); ++i) {
        shown += "/" + (*parts)[i];
        if (!dir.missing.empty()) {
          dir.missing.push_back((*parts)[i]);
          continue;
        }
        UniqueFd next = openDirectory(dir.deepest.get(), (*parts)[i]);
        if (!next.valid() && errno == ENOENT) {
          dir.missing.push_back((*parts)[i]);
          continue;
        }
        if (!next.valid()) {
          error = shown + (errno == ELOOP || errno == ENOTDIR
                               ? std::string(" is a symbolic link or not a directory")
                               : ": " + why());
          return std::nullopt;
        }
        if (::fstat(next.get(), &st) != 0) {
          error = shown + ": " + why();
          return std::nullopt;
        }
        if (auto bad = unsafe(st, shown)) {
          error = *bad;
          return std::nullopt;
        }
        dir.deepest = std::move(next);
      }
      state->directories.emplace(dirPath, std::move(dir));
    }
    const auto& dir = state->directories.at(dirPath);
    if (dir.missing.empty()) {
      const std::string name = parts->back();
      if (::fstatat(dir.deepest.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISREG(st.st_mode)) {
          error = root + file.path + " exists and is not a regular file";
          return std::nullopt;
        }
      } else if (errno != ENOENT) {
        error = root + file.path + ": " + why();
        return std::nullopt;
      }
    }
  }
  state->files = std::move(files);
  return TargetTree(std::move(state));
}

bool TargetTree::install(std::string& error) {
  State& s = *state_;
  // Directories first, each created with a fixed mode whatever the umask.
  std::map<std::string, int> dirFds;
  for (auto& [path, dir] : s.directories) {
    int parent = dir.deepest.get();
    for (const auto& name : dir.missing) {
      // Two targets may share a missing ancestor; the second finds it made by the first.
      if (::mkdirat(parent, name.c_str(), 0755) == 0) {
        s.created.push_back({parent, name, true});
      } else if (errno != EEXIST) {
        error = "cannot create " + dir.shown + ": " + why();
        s.undo();
        return false;
      }
      UniqueFd made = openDirectory(parent, name);
      if (!made.valid() || ::fchmod(made.get(), 0755) != 0) {
        error = "cannot open " + dir.shown + ": " + why();
        s.undo();
        return false;
      }
      parent = made.get();
      s.opened.push_back(std::move(made));
    }
    dirFds[path] = parent;
  }

  struct Staged {
    int dir;
    std::string temporary, name;
  };
  std::vector<Staged> staged;
  for (const auto& file : s.files) {
    const std::filesystem::path target(file.path);
    const int dir = dirFds.at(target.parent_path().string());
    const std::string name = target.filename().string();
    std::string temporary;
    UniqueFd out;
    for (int attempt = 0; attempt < 8 && !out.valid(); ++attempt) {
      temporary = temporaryName(name);
      out = UniqueFd(::openat(dir, temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
      if (!out.valid() && errno != EEXIST) break;
    }
    if (!out.valid()) {
      error = "cannot write beside " + file.path + ": " + why();
      s.undo();
      return false;
    }
    s.created.push_back({dir, temporary, false});
    const bool written = (file.program ? copyProgram(*file.program, out.get())
                                       : proc::writeAll(out.get(), file.text)) &&
                         (::geteuid() != 0 || ::fchown(out.get(), 0, 0) == 0) &&
                         ::fchmod(out.get(), file.mode) == 0 && ::fsync(out.get()) == 0;
    if (!written) {
      error = "cannot write " + file.path + ": " + why();
      s.undo();
      return false;
    }
    staged.push_back({dir, temporary, name});
  }

  for (const auto& f : staged) {
    if (::renameat(f.dir, f.temporary.c_str(), f.dir, f.name.c_str()) != 0) {
      error = "cannot move " + f.name + " into place: " + why();
      // Files already renamed are complete new copies; only leftovers are removed.
      for (const auto& g : staged)
        ::unlinkat(g.dir, g.temporary.c_str(), 0);
      s.created.clear();
      return false;
    }
  }
  s.created.clear();
  for (const auto& [path, fd] : dirFds)
    ::fsync(fd);
  return true;
}

}  // namespace bless
