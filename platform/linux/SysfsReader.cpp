#include "platform/linux/SysfsReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "shared/process/UniqueFd.h"

namespace platform::linux_fs {

std::filesystem::path Root::at(std::string_view systemPath) const {
  while (!systemPath.empty() && systemPath.front() == '/')
    systemPath.remove_prefix(1);
  return root_ / std::filesystem::path(systemPath);
}

std::optional<std::string> Root::read(std::string_view systemPath) const {
  // O_NONBLOCK: a FIFO planted in a captured tree must not hang the reader.
  proc::UniqueFd fd(::open(at(systemPath).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  while (text.size() < kMaxFileBytes) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  if (text.size() > kMaxFileBytes) text.resize(kMaxFileBytes);
  return text;
}

std::optional<std::string> Root::readLine(std::string_view systemPath) const {
  auto text = read(systemPath);
  if (!text) return std::nullopt;
  std::string_view view(*text);
  view = view.substr(0, view.find('\n'));
  return trim(view);
}

std::optional<int64_t> Root::readInteger(std::string_view systemPath) const {
  auto line = readLine(systemPath);
  return line ? parseInteger(*line) : std::nullopt;
}

std::optional<uint64_t> Root::readUnsigned(std::string_view systemPath) const {
  auto text = read(systemPath);
  if (!text) return std::nullopt;
  std::string t = trim(*text);
  uint64_t v = 0;
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end == t.data()) return std::nullopt;
  // Only white space may follow: "12abc" is not a number we trust.
  if (end != t.data() + t.size() && !std::isspace(static_cast<unsigned char>(*end))) {
    return std::nullopt;
  }
  return v;
}

std::vector<std::string> Root::list(std::string_view systemPath) const {
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(at(systemPath), ec), end; !ec && it != end;
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
  return names;
}

bool Root::exists(std::string_view systemPath) const {
  std::error_code ec;
  return std::filesystem::exists(at(systemPath), ec);
}

std::optional<std::string> Root::linkName(std::string_view systemPath) const {
  std::error_code ec;
  auto target = std::filesystem::read_symlink(at(systemPath), ec);
  if (ec) return std::nullopt;
  auto name = target.filename().string();
  if (name.empty()) return std::nullopt;
  return name;
}

std::string trim(std::string_view text) {
  auto isJunk = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == '\0'; };
  while (!text.empty() && isJunk(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isJunk(text.back()))
    text.remove_suffix(1);
  return std::string(text);
}

std::optional<int64_t> parseInteger(std::string_view text) {
  std::string t = trim(text);
  std::string_view v(t);
  int base = 10;
  if (v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X')) {
    v.remove_prefix(2);
    base = 16;
  }
  if (v.empty()) return std::nullopt;
  int64_t value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value, base);
  if (ec != std::errc() || end != v.data() + v.size()) return std::nullopt;
  return value;
}

std::optional<std::vector<int>> parseCPUList(std::string_view text) {
  constexpr int kLimit = 65536;
  auto number = [](std::string_view s, int& v) {
    std::string t = trim(s);
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return !t.empty() && ec == std::errc() && end == t.data() + t.size() && v >= 0 && v < kLimit;
  };
  std::vector<int> cpus;
  std::string t = trim(text);
  if (t.empty()) return cpus;
  for (const std::string& piece : split(t, ',')) {
    auto dash = piece.find('-');
    int first = 0;
    int last = 0;
    if (!number(std::string_view(piece).substr(0, dash), first)) return std::nullopt;
    if (dash == std::string::npos) {
      last = first;
    } else if (!number(std::string_view(piece).substr(dash + 1), last) || last < first) {
      return std::nullopt;
    }
    for (int c = first; c <= last; ++c)
      cpus.push_back(c);
    // Repeated ranges are bounded too, not only each range.
    if (cpus.size() > static_cast<size_t>(kLimit)) return std::nullopt;
  }
  std::sort(cpus.begin(), cpus.end());
  cpus.erase(std::unique(cpus.begin(), cpus.end()), cpus.end());
  return cpus;
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t pos = text.find(separator, start);
    pieces.emplace_back(text.substr(start, pos - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return pieces;
}

bool naturalLess(std::string_view a, std::string_view b) {
  auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    if (digit(a[i]) && digit(b[j])) {
      size_t ei = i, ej = j;
      while (ei < a.size() && digit(a[ei]))
        ++ei;
      while (ej < b.size() && digit(b[ej]))
        ++ej;
      std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
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

}  // namespace platform::linux_fs
