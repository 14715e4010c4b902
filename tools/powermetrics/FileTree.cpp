#include "tools/powermetrics/FileTree.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <system_error>

namespace sampler {

namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
    s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::string> FileTree::read(std::string_view relative) const {
  Fd fd(::open(path(relative).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  std::string out;
  char buf[4096];
  while (out.size() < kMaxFileBytes) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  if (out.size() > kMaxFileBytes) out.resize(kMaxFileBytes);
  return out;
}

std::optional<uint64_t> FileTree::readUnsigned(std::string_view relative) const {
  auto text = read(relative);
  if (!text) return std::nullopt;
  std::string_view t = trim(*text);
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end == t.data()) return std::nullopt;
  // Only white space may follow: "12abc" is not a number we trust.
  if (end != t.data() + t.size() && !std::isspace(static_cast<unsigned char>(*end))) {
    return std::nullopt;
  }
  return v;
}

std::optional<std::string> FileTree::readLine(std::string_view relative) const {
  auto text = read(relative);
  if (!text) return std::nullopt;
  std::string_view t(*text);
  t = t.substr(0, t.find('\n'));
  t = trim(t);
  if (t.empty()) return std::nullopt;
  return std::string(t);
}

std::vector<std::string> FileTree::list(std::string_view relative) const {
  std::vector<std::string> names;
  std::error_code ec;
  std::filesystem::directory_iterator it(path(relative), ec);
  if (ec) return names;
  for (const auto& entry : it)
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
  return names;
}

bool FileTree::exists(std::string_view relative) const {
  std::error_code ec;
  return std::filesystem::exists(path(relative), ec);
}

std::optional<std::vector<int>> parseCpuList(std::string_view text) {
  constexpr int kLimit = 65536;
  std::vector<int> cpus;
  text = trim(text);
  if (text.empty()) return cpus;
  while (!text.empty()) {
    size_t comma = text.find(',');
    std::string_view item = trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    size_t dash = item.find('-');
    int lo = 0;
    int hi = 0;
    auto parse = [](std::string_view s, int& v) {
      auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
      return ec == std::errc() && end == s.data() + s.size() && !s.empty() && v >= 0 && v < kLimit;
    };
    if (dash == std::string_view::npos) {
      if (!parse(item, lo)) return std::nullopt;
      hi = lo;
    } else if (!parse(item.substr(0, dash), lo) || !parse(item.substr(dash + 1), hi) || hi < lo) {
      return std::nullopt;
    }
    for (int c = lo; c <= hi; ++c)
      cpus.push_back(c);
    if (cpus.size() > static_cast<size_t>(kLimit)) return std::nullopt;
  }
  std::sort(cpus.begin(), cpus.end());
  cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
  return cpus;
}

bool naturalLess(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    bool da = std::isdigit(static_cast<unsigned char>(a[i]));
    bool db = std::isdigit(static_cast<unsigned char>(b[j]));
    if (da && db) {
      size_t ei = i;
      size_t ej = j;
      while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])))
        ++ei;
      while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])))
        ++ej;
      std::string_view na = a.substr(i, ei - i);
      std::string_view nb = b.substr(j, ej - j);
      while (na.size() > 1 && na.front() == '0')
        na.remove_prefix(1);
      while (nb.size() > 1 && nb.front() == '0')
        nb.remove_prefix(1);
      if (na.size() != nb.size()) return na.size() < nb.size();
      if (na != nb) return na < nb;
      i = ei;
      j = ej;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::optional<uint64_t> parseLeadingUnsigned(std::string_view text) {
  text = trim(text);
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  return v;
}

}  // namespace sampler
